// zaziruv-cli combo save NAME.CMB [--boot-macro N] FILE...
// zaziruv-cli combo show NAME.CMB
// zaziruv-cli combo download NAME.CMB [--reset]
// zaziruv-cli macro run N
//
// The download window's combination panel on the same logic: save writes a
// combination as "Save" does, show prints its boot macro line and its files, download
// runs "Download Combination" with the boot macro the file holds, and macro run is
// "Execute Macro Selected" for entry N (" ME" to node 0, as the button sends it).
// Names are files of the working directory. The download settings come from
// "e2prom.dat" (never written here); --node N, --delay MS and --verify/--no-verify
// change them for this run. Ctrl-C is the progress window's Cancel (exit 130).
// Failures exit 1 with the window's message on stderr; usage errors exit 2.

#include "commands.h"
#include "core/numbers.h"
#include "settings/settings.h"
#include "terminal/terminalcore.h"
#include "utility/combinationcontroller.h"
#include "utility/downloadcontroller.h"
#include "utilitysession.h"

#include <cstdio>

namespace {

QString workingDir(CliContext& ctx)
{
    return ctx.dir.isEmpty() ? ctx.settings().record.WorkingDir : ctx.dir;
}

int comboSave(CliContext& ctx, QStringList& args)
{
    QString bootText;
    bool present = false;
    if (!takeOption(args, QStringLiteral("--boot-macro"), bootText, present))
        return 2;
    if (present && !readIntOption(bootText, 0, ComboFile::MaxFiles)) {
        CliContext::error(
            QStringLiteral("combo save: --boot-macro needs a macro number from 0 to %1, not \"%2\"")
                .arg(ComboFile::MaxFiles)
                .arg(bootText));
        return 2;
    }
    if (!noUnknownOption(QStringLiteral("combo save"), args))
        return 2;
    if (args.size() < 2) {
        CliContext::error(QStringLiteral("combo save needs a combination name and its files"));
        return 2;
    }
    const QString name = args.takeFirst();
    return CombinationController::save(
               ctx.prompter, workingDir(ctx), name, args, present ? bootText : QStringLiteral("0"))
        ? 0
        : 1;
}

int comboShow(CliContext& ctx, QStringList& args)
{
    if (!noUnknownOption(QStringLiteral("combo show"), args))
        return 2;
    if (args.size() != 1) {
        CliContext::error(QStringLiteral("combo show needs one combination name"));
        return 2;
    }
    const auto c
        = CombinationController::readCombination(ctx.prompter, workingDir(ctx), args.first());
    if (!c)
        return 1;
    std::printf("BootMacro=%s\n", qPrintable(c->bootMacro.value_or(QStringLiteral("0"))));
    for (const QString& file : c->files)
        std::printf("%s\n", file.toLocal8Bit().constData());
    return 0;
}

int comboDownload(CliContext& ctx, QStringList& args, const DownloadOptions& o)
{
    int status = 0;
    const auto u = openForDownload(ctx, args, o, QStringLiteral("combo download"),
        QStringLiteral("one combination name"), status);
    if (!u)
        return status;
    CombinationController& combo = u->combo;
    if (!combo.select(args.first())) {
        CliContext::error(
            QStringLiteral("no combination file \"%1\" in %2").arg(args.first(), u->workingDir()));
        return 1;
    }
    Interrupt interrupt(progressCancel(*u));
    {
        ProgressLine progress(*u);
        combo.downloadCombination();
    }
    status = outcomeStatus(combo.lastDownload(),
        QStringLiteral("download cancelled; the TYX memory is marked incomplete"));
    if (status != 0 || combo.leftOut().isEmpty())
        return status;
    // The rest is stored and verified, but not the combination that was asked for.
    CliContext::error(QStringLiteral("combo download: %1 left out of the combination")
                          .arg(combo.leftOut().join(QStringLiteral(", "))));
    return 1;
}

} // namespace

int runCombo(CliContext& ctx, QStringList& args)
{
    DownloadOptions o;
    if (!takeDownloadOptions(QStringLiteral("combo"), args, o))
        return 2;
    const QString action = args.isEmpty() ? QString() : args.takeFirst();
    if (action == QLatin1String("save"))
        return comboSave(ctx, args);
    if (action == QLatin1String("show"))
        return comboShow(ctx, args);
    if (action == QLatin1String("download"))
        return comboDownload(ctx, args, o);
    CliContext::error(QStringLiteral("combo needs save, show or download, not \"%1\"").arg(action));
    return 2;
}

int runMacro(CliContext& ctx, QStringList& args)
{
    DownloadOptions o;
    if (!takeDownloadOptions(QStringLiteral("macro"), args, o))
        return 2;
    if (!noUnknownOption(QStringLiteral("macro run"), args))
        return 2;
    const auto n = args.size() == 2 && args.first() == QLatin1String("run")
        ? readIntOption(args.at(1), 1, ComboFile::MaxFiles)
        : std::nullopt;
    if (!n) {
        CliContext::error(QStringLiteral("macro needs run and a macro number from 1 to %1")
                              .arg(ComboFile::MaxFiles));
        return 2;
    }
    const auto u = openUtility(ctx, o);
    if (!u)
        return 1;
    return u->combo.executeMacro(*n) ? 0 : 1;
}
