// The command file frame's buttons on the main window drive the runner.

#include "../common/testfiles.h"

#include "ui/commandfileframe.h"
#include "cmdrun/commandfilerunner.h"
#include "core/eventwait.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "sim/ptysimulator.h"
#include "terminal/terminalcore.h"

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TstCommandFileFrame : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void buttons()
    {
        QTemporaryDir dir;
        SettingsStore store(dir.filePath("settings.json"));
        ScriptedPrompter prompter;
        Settings settings(store, prompter);
        settings.record.ComPort = 1;
        SettingsInForce cfg;
        cfg.Dir1 = dir.path();
        SimOptions options;
        options.status = 0;
        PtySimulator sim(options);
        QVERIFY(sim.start());
        QList<QByteArray> lines;
        connect(&sim, &PtySimulator::lineReceived, [&](const QByteArray& l) { lines << l; });
        TerminalCore core(settings, cfg, prompter);
        core.overrideDevice = sim.slavePath();
        core.Openport();
        core.currentWorkingDir = dir.path();
        QVERIFY(writeFile(dir.filePath("a.cmd"), "0 HO\r\n"));
        core.filelistPath = dir.path();
        core.refreshFilelist();
        main2 window(core);
        CommandFileRunner runner(core, prompter);
        QStringList started;
        runner.editor().starter = [&](const QString& program, const QStringList&) {
            started << program;
            return true;
        };
        bindCommandFileFrame(window, runner);
        window.refreshView();
        const auto& c = window.commandFileButtons();
        QVERIFY(!c.PauseCmd->isEnabled());
        QVERIFY(!c.CancelCmd->isEnabled());

        QListWidgetItem* item = c.Filelist->item(0);
        QVERIFY(item);
        Q_EMIT c.Filelist->itemClicked(item);
        QCOMPARE(core.Filename, QStringLiteral("a.cmd"));

        prompter.answers = { PromptAnswer::No };
        c.ExecuteCmdFile->click();
        bool done = false;
        QTimer::singleShot(150, [&] { done = true; });
        waitUntil([&] { return done; });
        QVERIFY(lines.contains("0 HO"));
        QVERIFY(c.ExecuteCmdFile->isEnabled());

        c.Command3->click();
        QCOMPARE(started.size(), 1);
    }
};

QTEST_MAIN(TstCommandFileFrame)
#include "tst_commandfileframe.moc"
