// zaziruv-cli image save FILE
// zaziruv-cli image restore FILE [--verify-readback]
//
// Copies a controller's program to another: save reads the directory region, the
// memory header, the address table and the macro text (address 100 to the end of the
// last macro) into FILE, a memory image; restore checks FILE (a wrong magic, version
// or CRC sends nothing), writes it into the controller with the checksum verified
// and, with --verify-readback, reads every byte back. FILE is a path; a relative one
// is taken from the working directory. The download settings and options are those
// of download; Ctrl-C is the progress window's Cancel (exit 130).

#include "commands.h"
#include "utility/downloadcontroller.h"
#include "utility/imagetransfer.h"
#include "utilitysession.h"

#include <cstdio>

int runImage(CliContext& ctx, QStringList& args)
{
    DownloadOptions o;
    if (!takeDownloadOptions(QStringLiteral("image"), args, o))
        return 2;
    const bool readBack = takeFlag(args, QStringLiteral("--verify-readback"));
    if (!noUnknownOption(QStringLiteral("image"), args))
        return 2;
    const QString action = args.value(0);
    if (args.size() != 2 || (action != QLatin1String("save") && action != QLatin1String("restore"))
        || (readBack && action != QLatin1String("restore"))) {
        CliContext::error(QStringLiteral(
            "image needs \"save FILE\" or \"restore FILE\" (--verify-readback: restore only)"));
        return 2;
    }
    const auto u = openUtility(ctx, o);
    if (!u)
        return 1;
    Interrupt interrupt(progressCancel(*u));
    ImageTransfer transfer(*u);
    DownloadController::Outcome outcome;
    {
        ProgressLine progress(*u);
        outcome = action == QLatin1String("save") ? transfer.save(args[1])
                                                  : transfer.restore(args[1], readBack);
    }
    switch (outcome.kind) {
    case DownloadController::Outcome::Completed:
        for (qsizetype i = 0; i < transfer.names.size(); ++i)
            std::printf("%lld %s\n", qlonglong(i + 1), transfer.names[i].toLocal8Bit().constData());
        std::printf("%s %lld bytes from address %d\n",
            action == QLatin1String("save") ? "Saved" : "Restored",
            qlonglong(transfer.image.bytes.size()), transfer.image.start);
        return 0;
    case DownloadController::Outcome::Cancelled:
        CliContext::error(action == QLatin1String("save")
                ? QStringLiteral("image save cancelled; no file was written")
                : QStringLiteral("image restore cancelled; the TYX memory is marked incomplete"));
        return Interrupt::cancelStatus();
    default:
        return 1; // the message is on stderr
    }
}
