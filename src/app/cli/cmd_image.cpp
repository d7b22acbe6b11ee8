// zaziruv-cli image save FILE
// zaziruv-cli image restore FILE [--verify-readback]
// zaziruv-cli image verify FILE [--json]
// zaziruv-cli image info FILE [--json]
//
// Copies a controller's program to another: save reads the directory region, the
// memory header, the address table and the macro text (address 100 to the end of the
// last macro) into FILE, a memory image; restore checks FILE (a wrong magic, version
// or CRC sends nothing), writes it into the controller with the checksum verified
// and, with --verify-readback, reads every byte back. verify reads the memory under
// FILE and compares, writing nothing: exit 0 when equal, 1 with the first differing
// addresses. info lists what FILE holds without a port. FILE is a path; a relative one
// is taken from the working directory. The download settings and options are those
// of download; Ctrl-C is the progress window's Cancel (exit 130).

#include "commands.h"
#include "core/wholefile.h"
#include "eeprom/imagecontents.h"
#include "jsonoutput.h"
#include "settings/settings.h"
#include "utility/downloadcontroller.h"
#include "utility/imagetransfer.h"
#include "utilitysession.h"

#include <QDir>
#include <QJsonArray>
#include <cstdio>

namespace {

QString hex32(quint32 value)
{
    return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0'));
}

QString bootText(int boot)
{
    if (boot == 0)
        return QStringLiteral("none");
    if (boot == -1)
        return QStringLiteral("1 (execute on boot)");
    return QString::number(boot);
}

int imageInfo(CliContext& ctx, const QString& path, bool json)
{
    const QString dir = ctx.dir.isEmpty() ? ctx.settings().record.WorkingDir : ctx.dir;
    const QString full = QDir(dir).filePath(path);
    QString why;
    const auto bytes = readRegularFile(full, MemoryImage::MaxFileSize, &why);
    const auto image = bytes ? MemoryImage::read(*bytes, &why) : std::nullopt;
    if (!image) {
        CliContext::error(
            QStringLiteral("image info: %1: %2").arg(QDir::toNativeSeparators(full), why));
        return 1;
    }
    const ImageContents c = ImageContents::of(*image);
    if (json) {
        QJsonObject o { { "file", path }, { "start", image->start },
            { "length", int(image->bytes.size()) }, { "crc32", hex32(c.crc) } };
        if (c.boot)
            o.insert("boot", *c.boot);
        if (c.mark)
            o.insert("complete", *c.mark == 'X');
        QJsonArray macros;
        for (const auto& m : c.macros)
            macros.append(QJsonObject { { "number", m.number }, { "name", m.name },
                { "start", m.start }, { "size", m.size } });
        o.insert("macros", macros);
        if (!c.problem.isEmpty())
            o.insert("problem", c.problem);
        printJson(o);
    } else {
        std::printf("Start address: %d\nLength: %lld bytes\nCRC-32: %s\n", image->start,
            qlonglong(image->bytes.size()), qPrintable(hex32(c.crc)));
        if (c.boot)
            std::printf("Boot macro: %s\n", qPrintable(bootText(*c.boot)));
        if (c.mark)
            std::printf("Marked: %s\n", *c.mark == 'X' ? "complete (X)" : "incomplete");
        for (const auto& m : c.macros)
            std::printf("%d %s %d bytes\n", m.number, m.name.toLocal8Bit().constData(), m.size);
    }
    if (c.problem.isEmpty())
        return 0;
    CliContext::error(QStringLiteral("image info: the macros cannot be listed: %1").arg(c.problem));
    return 1;
}

int imageVerify(ImageTransfer& transfer, const QString& path, bool json)
{
    const DownloadController::Outcome outcome = transfer.verify(path);
    if (outcome == DownloadController::Outcome::Cancelled) {
        CliContext::error(QStringLiteral("image verify cancelled; nothing was written"));
        return Interrupt::cancelStatus();
    }
    if (outcome != DownloadController::Outcome::Completed)
        return 1; // the message is on stderr
    const bool equal = transfer.differenceCount == 0;
    if (json) {
        QJsonArray listed;
        for (const auto& d : std::as_const(transfer.differences))
            listed.append(QJsonObject { { "address", d.address }, { "image", d.expected },
                { "tyx", d.read < 0 ? QJsonValue() : QJsonValue(d.read) } });
        printJson({ { "file", path }, { "start", transfer.image.start },
            { "length", int(transfer.image.bytes.size()) }, { "equal", equal },
            { "differences", transfer.differenceCount }, { "listed", listed } });
    } else if (equal) {
        std::printf("Equal: %lld bytes from address %d\n", qlonglong(transfer.image.bytes.size()),
            transfer.image.start);
    } else {
        std::printf("Different: %d of %lld bytes from address %d\n", transfer.differenceCount,
            qlonglong(transfer.image.bytes.size()), transfer.image.start);
        for (const auto& d : std::as_const(transfer.differences)) {
            if (d.read < 0)
                std::printf("%d: image %d, no answer\n", d.address, d.expected);
            else
                std::printf("%d: image %d, TYX %d\n", d.address, d.expected, d.read);
        }
    }
    return equal ? 0 : 1;
}

} // namespace

int runImage(CliContext& ctx, QStringList& args)
{
    DownloadOptions o;
    if (!takeDownloadOptions(QStringLiteral("image"), args, o))
        return 2;
    const bool readBack = takeFlag(args, QStringLiteral("--verify-readback"));
    const bool json = takeJson(args);
    if (!noUnknownOption(QStringLiteral("image"), args))
        return 2;
    const QString action = args.value(0);
    const bool reports = action == QLatin1String("verify") || action == QLatin1String("info");
    if (args.size() != 2
        || (action != QLatin1String("save") && action != QLatin1String("restore") && !reports)
        || (readBack && action != QLatin1String("restore")) || (json && !reports)) {
        CliContext::error(QStringLiteral("image needs \"save FILE\", \"restore FILE\", \"verify "
                                         "FILE\" or \"info FILE\" (--verify-readback: restore "
                                         "only; --json: verify and info only)"));
        return 2;
    }
    if (action == QLatin1String("info"))
        return imageInfo(ctx, args[1], json);
    const auto u = openUtility(ctx, o);
    if (!u)
        return 1;
    Interrupt interrupt(progressCancel(*u));
    ImageTransfer transfer(*u);
    if (action == QLatin1String("verify")) {
        ProgressLine progress(*u);
        return imageVerify(transfer, args[1], json);
    }
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
