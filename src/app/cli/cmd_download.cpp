// zaziruv-cli dir
// zaziruv-cli download FILE [--boot] [--reset] [--verify-readback]
// zaziruv-cli stop
//
// The download window's commands on the same logic: dir reads the controller's macro
// directory as "Read TYX Directory" does, download runs "Download File" on FILE (of
// the working directory), stop sends the stop of running macros. The download
// settings come from "e2prom.dat" of the working directory (never written here);
// --node N, --delay MS and --verify/--no-verify change them for this run only.
// --verify-readback reads every byte the download wrote back and compares it.
// Ctrl-C is the progress window's Cancel (exit 130). Failures exit 1 with the
// window's message on stderr.

#include "commands.h"
#include "eeprom/memorymap.h"
#include "jsonoutput.h"
#include "terminal/terminalcore.h"
#include "utility/downloadcontroller.h"
#include "utilitysession.h"

#include <QJsonArray>
#include <cstdio>

int runDir(CliContext& ctx, QStringList& args)
{
    DownloadOptions o;
    if (!takeDownloadOptions(QStringLiteral("dir"), args, o))
        return 2;
    const bool json = takeJson(args);
    if (!noArguments(QStringLiteral("dir"), args))
        return 2;
    const auto u = openUtility(ctx, o);
    if (!u)
        return 1;
    Interrupt interrupt([&u] { u->cancelOperation(); });
    u->readDirectory();
    using D = EepromProtocol::DirectoryOutcome;
    switch (u->lastDirectory()) {
    case D::Listed:
    case D::Empty:
        if (json) {
            QJsonArray macros;
            for (qsizetype i = 0; i < u->storedMacros().size(); ++i)
                macros.append(
                    QJsonObject { { "number", int(i + 1) }, { "name", u->storedMacros()[i] } });
            printJson({ { "macros", macros },
                { "bytesStored",
                    u->lastDirectory() == D::Listed ? u->macrosEnd() - MemoryMap::TextStart
                                                    : 0 } });
            return 0;
        }
        for (qsizetype i = 0; i < u->storedMacros().size(); ++i)
            std::printf(
                "%lld %s\n", qlonglong(i + 1), u->storedMacros()[i].toLocal8Bit().constData());
        std::printf("Total Bytes Stored: %d\n",
            u->lastDirectory() == D::Listed ? u->macrosEnd() - MemoryMap::TextStart : 0);
        return 0;
    case D::Cancelled:
        return Interrupt::cancelStatus();
    default:
        return 1; // the message is on stderr
    }
}

int runDownload(CliContext& ctx, QStringList& args)
{
    DownloadOptions o;
    if (!takeDownloadOptions(QStringLiteral("download"), args, o))
        return 2;
    const bool boot = takeFlag(args, QStringLiteral("--boot"));
    const bool readBack = takeFlag(args, QStringLiteral("--verify-readback"));
    int status = 0;
    const auto u = openForDownload(
        ctx, args, o, QStringLiteral("download"), QStringLiteral("one command file name"), status);
    if (!u)
        return status;
    u->setDownloadFileName(args.first());
    u->setExecuteOnBoot(boot);
    u->setVerifiesReadBack(readBack);
    Interrupt interrupt(progressCancel(*u));
    {
        ProgressLine progress(*u);
        u->downloadFile();
    }
    return outcomeStatus(u->lastDownload(),
        QStringLiteral("download cancelled; the TYX memory is marked incomplete"));
}

int runStop(CliContext& ctx, QStringList& args)
{
    DownloadOptions o;
    if (!takeDownloadOptions(QStringLiteral("stop"), args, o))
        return 2;
    if (!noArguments(QStringLiteral("stop"), args))
        return 2;
    const auto u = openUtility(ctx, o);
    if (!u)
        return 1;
    if (!u->core.link().isOpen()) {
        CliContext::error(
            QStringLiteral("the serial port is not open: %1").arg(u->core.link().statusText()));
        return 1;
    }
    u->stopMacros();
    // " ME 0" has no answer: a read shows that a controller took it.
    if (u->core.link().isOpen() && !u->protocol().probe(false))
        return 1;
    if (!u->core.link().isOpen()) {
        CliContext::error(
            QStringLiteral("the serial port closed: %1").arg(u->core.link().statusText()));
        return 1;
    }
    return 0;
}
