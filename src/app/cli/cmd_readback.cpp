// zaziruv-cli readback [--out FILE] [--numbers] [--json] (--all | NAME...)
// zaziruv-cli upload START COUNT [--out FILE] [--numbers]
// zaziruv-cli clear
//
// Reading the controller's memory back, on the download window's logic: readback
// reads the directory, puts the named macros (or all, as "Select     All") into the
// read-back list and runs "Read Back"; upload is the manual upload of the special
// functions window; clear is its "Clear Macros". FILE (default "Temporary.cmd") is
// taken from the working directory and replaced whole; --numbers is "Read Number".
// The download settings and options are those of download and dir. Ctrl-C is the
// progress window's Cancel (exit 130); a cancelled read never marks the memory.

#include "commands.h"
#include "core/numbers.h"
#include "core/text.h"
#include "jsonoutput.h"
#include "terminal/terminalcore.h"
#include "utility/downloadcontroller.h"
#include "utility/specialfunctions.h"
#include "utilitysession.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

namespace {

using Outcome = DownloadController::Outcome;

struct ReadOptions
{
    DownloadOptions link;
    QString out = QStringLiteral("Temporary.cmd");
    bool numbers = false;
};

bool takeReadOptions(const QString& command, QStringList& args, ReadOptions& o)
{
    bool present = false;
    if (!takeDownloadOptions(command, args, o.link)
        || !takeOption(args, QStringLiteral("--out"), o.out, present))
        return false;
    o.numbers = takeFlag(args, QStringLiteral("--numbers"));
    return noUnknownOption(command, args);
}

} // namespace

int runReadback(CliContext& ctx, QStringList& args)
{
    ReadOptions o;
    const bool all = takeFlag(args, QStringLiteral("--all"));
    const bool json = takeJson(args);
    if (!takeReadOptions(QStringLiteral("readback"), args, o))
        return 2;
    if (all == !args.isEmpty()) {
        CliContext::error(QStringLiteral("readback needs --all or the names of stored macros"));
        return 2;
    }
    const auto u = openUtility(ctx, o.link);
    if (!u)
        return 1;
    Interrupt interrupt(progressCancel(*u));
    if (!u->uploadPortReady())
        return 1;
    ProgressLine progress(*u);
    u->readDirectory();
    using D = EepromProtocol::DirectoryOutcome;
    if (u->lastDirectory() == D::Cancelled)
        return outcomeStatus(Outcome::Cancelled, QStringLiteral("readback cancelled"));
    if (u->lastDirectory() == D::Empty) {
        CliContext::error(QStringLiteral("readback: no macros are stored in the TYX"));
        return 1;
    }
    if (u->lastDirectory() != D::Listed)
        return 1;
    if (all) {
        u->selectAllForReadBack();
        // Its waits show no progress window, so Ctrl-C there only noted the wish.
        if (interrupt.interrupted)
            return outcomeStatus(Outcome::Cancelled, QStringLiteral("readback cancelled"));
    } else {
        for (const QString& name : std::as_const(args)) {
            u->setStoredIndex(int(u->storedMacros().indexOf(name)));
            if (u->storedIndex() < 0) {
                CliContext::error(
                    QStringLiteral("readback: \"%1\" is not in the TYX directory (%2)")
                        .arg(name, u->storedMacros().join(QLatin1Char(' '))));
                return 1;
            }
            u->addToReadBackList();
        }
    }
    u->setReadBackFile(o.out);
    u->setReadBackAsText(!o.numbers);
    // Naming the file on the command line is the answer to "Overwrite".
    ctx.prompter.presets.append(
        { QStringLiteral("Are you sure you want to Overwrite ") + o.out + QStringLiteral("?"),
            PromptAnswer::Yes });
    // "Read Back" never matches a one-character name, so such a macro reads nothing:
    // the file holds the others, and the run says what it left out.
    QStringList unread;
    for (const QString& name : std::as_const(u->readBackList())) {
        if (name.size() < 2 && !unread.contains(name))
            unread << name;
    }
    const QStringList asked = u->readBackList();
    u->readBack();
    const int status = outcomeStatus(u->lastReadBack(), QStringLiteral("readback cancelled"));
    if (json && status == 0) {
        // What was read, by name: the file holds the text.
        QJsonArray read;
        for (const QString& name : asked) {
            if (!unread.contains(name) && !read.contains(name))
                read.append(name);
        }
        const QString file = QDir(u->workingDir()).filePath(o.out);
        printJson({ { "file", QDir::toNativeSeparators(file) }, { "read", read },
            { "unread", QJsonArray::fromStringList(unread) }, { "bytes", QFileInfo(file).size() },
            { "numbers", o.numbers } });
    }
    if (status != 0 || unread.isEmpty())
        return status;
    CliContext::error(
        QStringLiteral("readback: %1 not read back: a one-character name is never read")
            .arg(unread.join(QStringLiteral(", "))));
    return 1;
}

int runUpload(CliContext& ctx, QStringList& args)
{
    ReadOptions o;
    if (!takeReadOptions(QStringLiteral("upload"), args, o))
        return 2;
    const auto start
        = args.size() == 2 ? readIntOption(args[0], 0, SpecialFunctions::MaxCount) : std::nullopt;
    const auto count
        = args.size() == 2 ? readIntOption(args[1], 0, SpecialFunctions::MaxCount) : std::nullopt;
    if (!start || !count) {
        CliContext::error(QStringLiteral(
            "upload needs a start address and a count of characters, each from 0 to 32767"));
        return 2;
    }
    const auto u = openUtility(ctx, o.link);
    if (!u)
        return 1;
    SpecialFunctions special(*u);
    special.setStartText(QString::number(*start));
    special.setCountText(QString::number(*count));
    special.setUploadFile(o.out);
    special.setReadAscii(!o.numbers);
    Interrupt interrupt(progressCancel(*u));
    ProgressLine progress(*u);
    special.manualUpload();
    return outcomeStatus(special.lastUpload(), QStringLiteral("upload cancelled"));
}

int runClear(CliContext& ctx, QStringList& args)
{
    DownloadOptions o;
    if (!takeDownloadOptions(QStringLiteral("clear"), args, o)
        || !noArguments(QStringLiteral("clear"), args))
        return 2;
    const auto u = openUtility(ctx, o);
    if (!u)
        return 1;
    SpecialFunctions special(*u);
    Interrupt interrupt(progressCancel(*u));
    special.clearMacros();
    if (special.lastClear() == Outcome::Cancelled) {
        CliContext::error(QStringLiteral("clear cancelled; the TYX memory is marked incomplete"));
        return Interrupt::cancelStatus();
    }
    return outcomeStatus(special.lastClear(), QStringLiteral("clear cancelled"));
}
