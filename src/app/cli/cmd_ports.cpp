// zaziruv-cli ports: the serial devices of this machine, for people and scripts.

#include "commands.h"

#include "link/portscanner.h"
#include "link/seriallink.h"
#include "settings/settings.h"

#include <cstdio>

int runPorts(CliContext& ctx, QStringList& args)
{
    const bool json = takeFlag(args, QStringLiteral("--json"));
    if (!noArguments(QStringLiteral("ports"), args))
        return 2;
    // The devices the kernel knows, and those the settings and --port name: a
    // pseudo-terminal or a link has no entry in /sys but is a port all the same.
    QStringList named;
    if (!ctx.shared.port.isEmpty())
        named << ctx.shared.port;
    Settings& settings = ctx.settings();
    for (int n = 1; n <= 8; ++n) {
        const QString device = settings.comDevice(n);
        if (device != SerialLink::defaultDevice(n))
            named << device;
    }
    const QList<PortEntry> ports = PortScanner().scan(named);
    const QByteArray out = json ? formatPortsJson(ports) : formatPortsText(ports).toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return 0;
}
