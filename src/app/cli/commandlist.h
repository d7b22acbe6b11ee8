// The commands of zaziruv-cli: ZZ_CLI_COMMAND(name, function, usage line).
// No include guard: included with different definitions of ZZ_CLI_COMMAND.
ZZ_CLI_COMMAND("settings", runSettings,
    "settings [--set Name=Value]... [--answer-ok]   load the settings as at start and print them")
ZZ_CLI_COMMAND("ports", runPorts,
    "ports [--json]   list the serial devices: stable name, USB ids and serial number, driver, "
    "who holds it, whether this user may open it")
ZZ_CLI_COMMAND("send", runSend,
    "send [--decode] [--checksum|--no-checksum] [--decimal|--hex] TEXT...   send commands, print "
    "the answers")
ZZ_CLI_COMMAND("check", runCheck, "check FILE   run the macro syntax check of a download on FILE")
ZZ_CLI_COMMAND("prep", runPrep,
    "prep FILE [--base N]   prepare FILE into macro.tmp, jumps counted from address N")
ZZ_CLI_COMMAND("autoconfigure", runAutoconfigure,
    "autoconfigure   search COM1 to COM8 and the four speeds for the controller, store and print "
    "the match")
ZZ_CLI_COMMAND("debuglog", runDebuglog,
    "debuglog   write the diagnostic log TYXLOG.CMD into the working directory (--dir DIR)")
ZZ_CLI_COMMAND("download", runDownload,
    "download FILE [--boot] [--reset] [--node N] [--delay MS] [--verify|--no-verify] "
    "[--verify-readback] [--memory-size BYTES]   download FILE into the TYX EEPROM as \"Download "
    "File\" does (--reset: answer the reset question Yes; --verify-readback: read every written "
    "byte back; --memory-size: the TYX memory, 8192 unless given)")
ZZ_CLI_COMMAND("dir", runDir,
    "dir [--json] [--node N] [--delay MS]   read the TYX macro directory and print the stored "
    "macros and "
    "the bytes stored")
ZZ_CLI_COMMAND(
    "stop", runStop, "stop [--node N] [--delay MS]   stop running macros (\" ME 0\" twenty times)")
ZZ_CLI_COMMAND("readback", runReadback,
    "readback (--all | NAME...) [--out FILE] [--numbers] [--json] [--node N] [--delay MS]   read "
    "the named "
    "stored macros back into FILE (default Temporary.cmd) as \"Read Back\" does (--numbers: \"Read "
    "Number\")")
ZZ_CLI_COMMAND("upload", runUpload,
    "upload START COUNT [--out FILE] [--numbers] [--node N] [--delay MS]   read COUNT bytes of TYX "
    "memory from address START into FILE (default Temporary.cmd)")
ZZ_CLI_COMMAND("clear", runClear,
    "clear [--node N] [--delay MS]   \"Clear Macros\": stop running macros and mark the stored "
    "ones incomplete")
ZZ_CLI_COMMAND("image", runImage,
    "image (save FILE | restore FILE [--verify-readback]) [--node N] [--delay MS]   copy the TYX "
    "program (directory, header, table, macro text) into a memory image FILE, or write one into "
    "the TYX\n  image verify FILE [--json] [--node N] [--delay MS]   compare the TYX with FILE, "
    "writing nothing (exit 1 when they differ, the first 20 differing addresses listed)\n  image "
    "info FILE [--json]   print the start, length and CRC-32 of FILE, the macros it holds and "
    "the boot macro")
ZZ_CLI_COMMAND("run", runRun,
    "run FILE [--repeat] [--passes N]   run a command file as Execute does (repeat question: No; "
    "--repeat: Yes)")
ZZ_CLI_COMMAND("combo", runCombo,
    "combo save NAME.CMB [--boot-macro N] FILE...   write a combination as \"Save\" does\n  combo "
    "show NAME.CMB   print its boot macro line and its files\n  combo download NAME.CMB [--reset] "
    "[--node N] [--delay MS] [--verify|--no-verify] [--memory-size BYTES]   download it as "
    "\"Download Combination\" does (--reset: answer the reset question Yes)")
ZZ_CLI_COMMAND("macro", runMacro,
    "macro run N   run stored macro N as \"Execute Macro Selected\" does (\"0 ME N\")")
ZZ_CLI_COMMAND("program", runProgram,
    "program FILE (--target PORT[@NODE]... | --targets LIST) [--verify-readback] [--reset] "
    "[--retries N] [--jobs N] [--record FILE] [--record-format csv|jsonl] [--json] [--delay MS] "
    "[--verify|--no-verify] [--memory-size BYTES]   write an image, combination or command file "
    "into many controllers, each port in its own process, and keep a record of each unit "
    "(--child NODES: the program's own child for one port, reporting JSON lines)")
