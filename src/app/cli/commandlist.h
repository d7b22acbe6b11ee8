// The commands of zaziruv-cli: ZZ_CLI_COMMAND(name, function, usage line).
// No include guard: included with different definitions of ZZ_CLI_COMMAND.
ZZ_CLI_COMMAND("settings", runSettings, "settings [--set Name=Value]...   load the settings as at start and print them")
