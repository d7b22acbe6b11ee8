#pragma once

#include "clicontext.h"

// One function per command; each is registered in commandlist.h.
#define ZZ_CLI_COMMAND(name, fn, usage) int fn(CliContext& ctx, QStringList& args);
#include "commandlist.h"
#undef ZZ_CLI_COMMAND
