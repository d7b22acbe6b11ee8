// The command file frame's buttons on the main window drive the runner.

#include "../common/corerig.h"

#include "cmdrun/commandfilerunner.h"
#include "core/eventwait.h"
#include "ui/commandfileframe.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TstCommandFileFrame : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void buttons()
    {
        SimOptions options;
        options.status = 0;
        SimCoreRig rig(options);
        TerminalCore& core = *rig.core;
        core.currentWorkingDir = rig.dir.path();
        QVERIFY(writeFile(rig.dir.filePath("a.cmd"), "0 HO\r\n"));
        core.filelistPath = rig.dir.path();
        core.refreshFilelist();
        main2 window(core);
        CommandFileRunner runner(core, rig.prompter);
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

        rig.prompter.answers = { PromptAnswer::No };
        c.ExecuteCmdFile->click();
        QTimer cap; // against a hang, not a measure of speed
        cap.setSingleShot(true);
        cap.start(10000);
        waitUntil([&] { return rig.lines.contains("0 HO") || !cap.isActive(); });
        QVERIFY(rig.lines.contains("0 HO"));
        QVERIFY(c.ExecuteCmdFile->isEnabled());

        c.Command3->click();
        QCOMPARE(started.size(), 1);
    }
};

QTEST_MAIN(TstCommandFileFrame)
#include "tst_commandfileframe.moc"
