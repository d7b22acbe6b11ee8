// zaziruv-cli: the program's logic without windows, for scripts and tests.

#include "clicontext.h"
#include "commands.h"

#include "app/common/versiontext.h"
#include "core/numbers.h"
#include "core/ticktimer.h"

#include <QCoreApplication>
#include <climits>
#include <cstdio>

namespace {

struct CommandEntry
{
    const char* name;
    CliCommand run;
    const char* usage;
};

const CommandEntry commands[] = {
// Registered commands, in the order the help lists them.
#define ZZ_CLI_COMMAND(name, fn, usage) { name, fn, usage },
#include "commandlist.h"
#undef ZZ_CLI_COMMAND
};

void printUsage(FILE* out)
{
    std::fprintf(out,
        "usage: zaziruv-cli [common options] COMMAND [arguments]\n\n"
        "common options:\n"
        "  --settings FILE     settings store to use (default: $ZAZIRUV_SETTINGS, else the "
        "user's)\n"
        "  --port DEV          serial device for this run\n"
        "  --baud N            line speed for this run\n"
        "  --simulate          use the built-in simulated controller\n"
        "  --sim-option OPT    pass OPT to the simulated controller (repeatable)\n"
        "  --dir DIR           working directory for this run\n"
        "  --timeout MS        answer time-out (default 2000)\n"
        "  --wait-port SECONDS wait up to SECONDS for the device to appear before opening it\n"
        "  --trace             print every byte written and read on stderr\n"
        "  --log FILE          append every byte written and read to FILE, with times\n"
        "  --log-size BYTES    size at which FILE becomes FILE.1 (default 10485760; 3 kept)\n"
        "  --help              show this text\n"
        "  --version           show the version and the Qt version\n\n"
        "commands:\n");
    for (const auto& c : commands)
        std::fprintf(out, "  %s\n", c.usage);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zaziruv-cli"));
    // No window follows the ticks here: only the waits need them.
    TickTimer::instance().setWakesOnDemand(true);
    QStringList args = app.arguments().mid(1);

    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        printUsage(stdout);
        return 0;
    }
    if (args.contains(QStringLiteral("--version"))) {
        printVersion("zaziruv-cli");
        return 0;
    }

    CliContext ctx;
    QString error;
    if (!ctx.shared.takeAll(args, error)) {
        CliContext::error(error);
        return 2;
    }
    bool present = false;
    QString value;
    if (!takeOption(args, QStringLiteral("--dir"), ctx.dir, present))
        return 2;
    if (!takeOption(args, QStringLiteral("--timeout"), value, present))
        return 2;
    if (present) {
        const auto ms = readIntOption(value, 0, INT_MAX);
        if (!ms) {
            CliContext::error(
                QStringLiteral("--timeout needs a number of milliseconds, not \"%1\"").arg(value));
            return 2;
        }
        ctx.timeoutMs = *ms;
    }
    if (!takeOption(args, QStringLiteral("--wait-port"), value, present))
        return 2;
    if (present) {
        const auto seconds = readIntOption(value, 0, 24 * 3600);
        if (!seconds) {
            CliContext::error(
                QStringLiteral("--wait-port needs a number of seconds, not \"%1\"").arg(value));
            return 2;
        }
        ctx.waitPortSeconds = *seconds;
    }
    ctx.trace = takeFlag(args, QStringLiteral("--trace"));
    if (!takeOption(args, QStringLiteral("--log"), ctx.logPath, present))
        return 2;
    if (!takeOption(args, QStringLiteral("--log-size"), value, present))
        return 2;
    if (present) {
        const auto bytes = readIntOption(value, 1, INT_MAX);
        if (!bytes) {
            CliContext::error(
                QStringLiteral("--log-size needs a number of bytes, not \"%1\"").arg(value));
            return 2;
        }
        ctx.logMaxBytes = *bytes;
    }

    qsizetype at = -1;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (!args[i].startsWith(QLatin1String("--"))) {
            at = i;
            break;
        }
    }
    if (at < 0) {
        const QString unknown = firstUnknownOption(args);
        if (!unknown.isEmpty())
            CliContext::error(QStringLiteral("unknown option %1").arg(unknown));
        else
            CliContext::error(QStringLiteral("no command given"));
        printUsage(stderr);
        return 2;
    }
    const QString name = args.takeAt(at);
    for (const auto& c : commands) {
        if (name == QLatin1String(c.name))
            return c.run(ctx, args);
    }
    CliContext::error(QStringLiteral("unknown command \"%1\"").arg(name));
    printUsage(stderr);
    return 2;
}
