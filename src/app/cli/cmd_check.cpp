// zaziruv-cli check FILE
// zaziruv-cli prep FILE [--base N]
//
// check runs the macro syntax check a download makes; prep prepares the stored macro
// into "macro.tmp" in the working directory (--dir, else the WorkingDir setting), with
// jump addresses counted from N (default 0). FILE is relative to the working
// directory. Both print nothing and exit 0 on success; on failure the message goes to
// stderr and the exit code is 1. Usage errors exit with 2.

#include "commands.h"
#include "core/numbers.h"
#include "eeprom/macroprep.h"
#include "settings/settings.h"

namespace {

QString workingDir(CliContext& ctx)
{
    return ctx.dir.isEmpty() ? ctx.settings().record.WorkingDir : ctx.dir;
}

// The one positional argument; false (and a message) when there is not exactly one.
bool takeFile(const QString& command, const QStringList& args, QString& file)
{
    if (!noUnknownOption(command, args))
        return false;
    if (args.size() != 1) {
        CliContext::error(QStringLiteral("%1 needs one command file name").arg(command));
        return false;
    }
    file = args.first();
    return true;
}

int finish(PrepResult result, const QString& file, const QString& dir)
{
    switch (result) {
    case PrepResult::Prepared:
        return 0;
    case PrepResult::NotFound:
        CliContext::error(QStringLiteral("no command file \"%1\" in %2").arg(file, dir));
        return 1;
    default:
        return 1; // the prompter has written the message
    }
}

} // namespace

int runCheck(CliContext& ctx, QStringList& args)
{
    QString file;
    if (!takeFile(QStringLiteral("check"), args, file))
        return 2;
    const QString dir = workingDir(ctx);
    MacroPrep prep(ctx.prompter, dir);
    prep.MacroFileName = file;
    return finish(prep.checkFile(prep.MacroFileName), file, dir);
}

int runPrep(CliContext& ctx, QStringList& args)
{
    QString baseText;
    bool present = false;
    if (!takeOption(args, QStringLiteral("--base"), baseText, present))
        return 2;
    int base = 0;
    if (present) {
        const auto n = readIntOption(baseText, 0, 65535);
        if (!n) {
            CliContext::error(QStringLiteral("--base needs an address from 0 to 65535, not \"%1\"")
                                  .arg(baseText));
            return 2;
        }
        base = *n;
    }
    QString file;
    if (!takeFile(QStringLiteral("prep"), args, file))
        return 2;
    const QString dir = workingDir(ctx);
    MacroPrep prep(ctx.prompter, dir);
    prep.MacroBaseAddress = base;
    prep.MacroFileName = file;
    return finish(prep.PrepFile(prep.MacroFileName), file, dir);
}
