// zaziruv-cli autoconfigure: the configuration window's Auto Configure.
// zaziruv-cli debuglog: its DEBUG button (the diagnostic log "TYXLOG.CMD").

#include "commands.h"

#include "config/configuration.h"
#include "config/portprobe.h"
#include "terminal/terminalcore.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <memory>

namespace {

// The configuration window's logic on the headless main window, as both commands use it.
struct ConfigSession
{
    explicit ConfigSession(CliContext& ctx)
        : core(ctx.session())
    {
        if (!core)
            return;
        probe = std::make_unique<PortProbe>(*core, ctx.prompter);
        config = std::make_unique<ConfigurationCore>(*core, *probe);
    }
    TerminalCore* core = nullptr;
    // Declared in the order they are built, so the configuration goes first.
    std::unique_ptr<PortProbe> probe;
    std::unique_ptr<ConfigurationCore> config;
};

} // namespace

int runAutoconfigure(CliContext& ctx, QStringList& args)
{
    if (!noArguments(QStringLiteral("autoconfigure"), args))
        return 2;
    // The search goes over COM1 to COM8 as mapped in the settings and stores what it
    // finds; a device or speed for this run only would store a port that means
    // something else afterwards.
    if (!ctx.shared.port.isEmpty() || ctx.shared.simulate || ctx.shared.baud > 0) {
        CliContext::error(
            QStringLiteral("autoconfigure: --port, --simulate and --baud do not apply; map the "
                           "ports with ComDevice1..ComDevice8 in the settings"));
        return 2;
    }
    ConfigSession session(ctx);
    if (!session.core)
        return 1;
    TerminalCore* core = session.core;
    if (!session.config->autoConfigure()) {
        CliContext::error(
            QStringLiteral("autoconfigure: no controller answered on COM1 to COM8 at any speed"));
        return 1;
    }
    std::printf("ComPort=%d\nBaudRate=%d\n", int(core->settings.record.ComPort),
        int(core->settings.record.BaudRate));
    std::fflush(stdout);
    return 0;
}

int runDebuglog(CliContext& ctx, QStringList& args)
{
    if (!noArguments(QStringLiteral("debuglog"), args))
        return 2;
    if (!ctx.dir.isEmpty() && !QFileInfo(ctx.dir).isDir()) {
        CliContext::error(QStringLiteral("debuglog: --dir \"%1\" is not a directory").arg(ctx.dir));
        return 2;
    }
    ConfigSession session(ctx);
    if (!session.core)
        return 1;
    TerminalCore* core = session.core;
    if (!session.config->writeDiagnosticLog())
        return 1;
    std::printf("%s\n", qPrintable(QDir::toNativeSeparators(core->selectedCommandFile())));
    std::fflush(stdout);
    return 0;
}
