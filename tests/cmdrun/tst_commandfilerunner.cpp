// Command file runs on the main window's logic against the simulated controller (or a
// bare pseudo-terminal where the exact bytes matter), and the command file frame's
// file management.

#include "../common/corerig.h"
#include "../common/ptypair.h"
#include "../common/testfiles.h"

#include "cmdrun/commandfilerunner.h"
#include "core/eventwait.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "sim/ptysimulator.h"
#include "terminal/terminalcore.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

const QStringList RunControls = { "EditCmd", "ExecuteCmdFile", "DeleteCmd", "Filename", "Filelist", "TransmitText",
    "CmdManual", "CmdTerminal", "CmdHome", "DownloadButton" };

SimOptions fastSim(quint16 status = 0x0000)
{
    SimOptions o;
    o.moveMs = 150;
    o.status = status;
    return o;
}

struct Rig : CoreRig
{
    std::unique_ptr<PtySimulator> sim;
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<CommandFileRunner> runner;
    QList<QByteArray> lines; // what the controller received, line by line
    QList<QPair<QString, QStringList>> started; // editor launches

    explicit Rig(const SimOptions& options = fastSim(), bool bare = false)
    {
        if (bare) {
            pty = std::make_unique<PtyPair>();
            core->overrideDevice = pty->slavePath();
        } else {
            sim = std::make_unique<PtySimulator>(options);
            if (!sim->start())
                qFatal("simulator: %s", qPrintable(sim->errorString()));
            QObject::connect(sim.get(), &PtySimulator::lineReceived, [this](const QByteArray& l) { lines << l; });
            core->overrideDevice = sim->slavePath();
        }
        core->Openport();
        core->currentWorkingDir = dir.path();
        runner = std::make_unique<CommandFileRunner>(*core, prompter);
        runner->editor().configured.clear();
        runner->editor().environment = [](const char*) { return QString(); };
        runner->editor().finder = [](const QString& name) {
            return name == QLatin1String("xdg-open") ? QStringLiteral("/usr/bin/xdg-open") : QString();
        };
        runner->editor().starter = [this](const QString& program, const QStringList& args) {
            started << qMakePair(program, args);
            return true;
        };
    }

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        writeFixture(path, bytes);
        return path;
    }

    // Runs file `name` as the Execute button does, answering the repeat question.
    void run(const QString& name, PromptAnswer repeat = PromptAnswer::No)
    {
        core->Filename = name;
        prompter.answers = { repeat };
        runner->ExecuteCmdFile_Click();
        settle();
    }

    // Lets the last lines reach the controller.
    void settle(int ms = 120)
    {
        bool done = false;
        QTimer::singleShot(ms, [&] { done = true; });
        waitUntil([&] { return done; });
    }

    QList<QByteArray> sent() const
    {
        QList<QByteArray> out;
        for (const QByteArray& l : lines) {
            if (!l.isEmpty())
                out << l;
        }
        return out;
    }

    void verifyIdle()
    {
        for (const QString& c : RunControls)
            QVERIFY2(core->controlEnabled(c), qPrintable(c));
        QVERIFY(!core->controlEnabled(QStringLiteral("PauseCmd")));
        QVERIFY(!core->controlEnabled(QStringLiteral("CancelCmd")));
        QVERIFY(core->stopRequest);
        QVERIFY(!core->statusWaitMode);
        QVERIFY(!core->messageCaptionFlag);
        QVERIFY(!runner->isRunning());
    }
};

using Lines = QList<QByteArray>;

} // namespace

class TstCommandFileRunner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void repeatBlock()
    {
        Rig rig;
        rig.write("r.cmd", "0 HO\r\nREPEAT 3\r\n0 EEADR 500+REPEAT\r\n0 B\r\nREND\r\n0 C\r\n");
        rig.run("r.cmd");
        QCOMPARE(rig.runner->lastOutcome(), CommandFileRunner::Outcome::Finished);
        QCOMPARE(rig.sent(),
            Lines({ "0 HO", "REPEAT 3", "0 EEADR 501", "0 B", "0 EEADR 502", "0 B", "0 EEADR 503", "0 B", "REND", "0 C" }));
        QCOMPARE(rig.core->repeatCounter, qint16(1));
        QCOMPARE(rig.prompter.texts(), QStringList { CommandFileRunner::RepeatQuestion });
        rig.verifyIdle();
    }

    void literalIsUnframed()
    {
        Rig rig(fastSim(), true);
        rig.write("l.cmd", "0 HO\r\n\"HELLO\",13,10\r\n\"A\",7\r\n");
        rig.core->Filename = "l.cmd";
        rig.prompter.answers = { PromptAnswer::No };
        rig.runner->ExecuteCmdFile_Click();
        QCOMPARE(rig.pty->readAll(), QByteArray("\r0 HO\rHELLO\r\nA\0\x07", 16));
        QCOMPARE(rig.core->CommandHistory.last(), QString::fromLatin1("A\0\x07", 3));
    }

    void statusWaitJumps()
    {
        Rig rig;
        rig.write("w.cmd", "0 HO\r\n0 ST 2>DONE\r\n0 SKIPPED\r\nDONE: 0 EN\r\n");
        rig.run("w.cmd");
        const Lines sent = rig.sent();
        QCOMPARE(sent.first(), QByteArray("0 HO"));
        QCOMPARE(sent.last(), QByteArray("0 EN"));
        QVERIFY(!sent.contains("0 SKIPPED"));
        QVERIFY(sent.count("0 ST") >= 2); // moving (0001) first, then in position (0002)
        QCOMPARE(sent.count("0 ST"), sent.size() - 2);
        QCOMPARE(rig.runner->lastOutcome(), CommandFileRunner::Outcome::Finished);
    }

    void stopDuringStatusWait_data()
    {
        QTest::addColumn<bool>("abort");
        QTest::newRow("Cancel") << false;
        QTest::newRow("Abort") << true;
    }
    void stopDuringStatusWait()
    {
        QFETCH(bool, abort);
        Rig rig;
        rig.write("s.cmd", "0 ST 4096>X\r\n0 AFTER\r\nX: 0 X\r\n");
        int atStop = -1;
        QObject::connect(rig.sim.get(), &PtySimulator::lineReceived, [&](const QByteArray& l) {
            if (l == "0 ST" && rig.sent().count("0 ST") == 3 && atStop < 0) {
                atStop = 3;
                QTimer::singleShot(0, [&] { abort ? rig.core->CmdAbort_Click() : rig.core->CancelCmd_Click(); });
            }
        });
        rig.run("s.cmd");
        QCOMPARE(rig.runner->lastOutcome(), CommandFileRunner::Outcome::Stopped);
        const Lines sent = rig.sent();
        QVERIFY(!sent.contains("0 AFTER"));
        QVERIFY(!sent.contains("0 X"));
        QVERIFY(sent.count("0 ST") <= atStop + 1);
        QCOMPARE(sent.contains("0 AB"), abort);
        rig.verifyIdle();
    }

    void cancelAtQuestion()
    {
        Rig rig;
        rig.write("q.cmd", "0 HO\r\n");
        rig.run("q.cmd", PromptAnswer::Cancel);
        QVERIFY(rig.sent().isEmpty());
        QCOMPARE(rig.runner->lastOutcome(), CommandFileRunner::Outcome::Stopped);
        rig.verifyIdle();
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // null: no file at all
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QByteArray() << "Command file is empty.";
        QTest::newRow("empty") << QByteArray("") << "Command file is empty.";
        QTest::newRow("REPEAT without REND")
            << QByteArray("0 A\r\nREPEAT 2\r\n0 B\r\n") << "REPEAT on line 2 has no REND after it; the command file was not run.";
        QByteArray big;
        for (int i = 0; i < 501; ++i)
            big += "0 A\r\n";
        QTest::newRow("501 lines") << big
                                   << "The command file has more than 500 command lines (line 501 is the first beyond "
                                      "them); it was not run.";
        QTest::newRow("bad literal")
            << QByteArray("\"A\",999\r\n") << "Line 1 cannot be sent: the character code 999 is not between 0 and 255; "
                                              "the command file was not run.";
    }
    void refused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        Rig rig;
        const QString path = rig.dir.filePath("f.cmd");
        if (!bytes.isNull())
            rig.write("f.cmd", bytes);
        rig.run("f.cmd");
        QCOMPARE(rig.prompter.texts(), QStringList { message });
        QVERIFY(rig.sent().isEmpty());
        QCOMPARE(rig.runner->lastOutcome(), CommandFileRunner::Outcome::Refused);
        // The file is left as it was: a missing one is not created.
        QCOMPARE(QFile::exists(path), !bytes.isNull());
        if (!bytes.isNull()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), bytes);
        }
        rig.verifyIdle();
    }

    void closedPortAndNoName()
    {
        Rig rig;
        rig.core->link.close();
        rig.core->Filename = "x.cmd";
        rig.runner->ExecuteCmdFile_Click();
        rig.core->Openport();
        rig.core->Filename.clear();
        rig.runner->ExecuteCmdFile_Click();
        QCOMPARE(rig.prompter.texts(), QStringList({ "Please check Port Configuration", "Please select a command file!" }));
        QCOMPARE(rig.prompter.shown[0].icon, PromptIcon::Exclamation);
        QCOMPARE(rig.prompter.shown[1].icon, PromptIcon::Critical);
    }

    void messages()
    {
        Rig rig;
        rig.write("m.cmd", "REPEAT 2\r\nMESSAGE pass\r\nREND\r\nMESSAGE\r\n0 NEXT\r\nMESSAGE say \"hi\"\r\n0 LAST\r\n");
        QSignalSpy shown(rig.runner.get(), &CommandFileRunner::messageShown);
        QString captionDuringRun;
        QObject::connect(rig.runner.get(), &CommandFileRunner::messageShown, [&] { captionDuringRun = rig.core->caption; });
        rig.run("m.cmd");
        QCOMPARE(shown.count(), 4);
        QCOMPARE(shown[0][0].toString(), QStringLiteral(" pass"));
        QCOMPARE(shown[1][0].toString(), QStringLiteral(" pass"));
        QCOMPARE(shown[2][0].toString(), QString());
        QCOMPARE(shown[3][0].toString(), QStringLiteral(" say \"hi\""));
        QCOMPARE(captionDuringRun, QStringLiteral(" say \"hi\""));
        // No message text reaches the controller, and none swallows the next command.
        QCOMPARE(rig.sent(), Lines({ "REPEAT 2", "REND", "0 NEXT", "0 LAST" }));
        QVERIFY(!rig.core->skipNext);
        rig.verifyIdle();
    }

    void pauses()
    {
        Rig rig;
        rig.write("p.cmd", "0 A\r\nPAUSE\r\n0 B\r\n");
        rig.prompter.onShow = [&](const PromptMessage& m) {
            if (m.text == QLatin1String("Pause"))
                rig.settle(50); // the box is modal: the run waits
        };
        rig.run("p.cmd");
        QCOMPARE(rig.prompter.texts(), QStringList({ CommandFileRunner::RepeatQuestion, "Pause" }));
        QCOMPARE(rig.prompter.shown[1].icon, PromptIcon::None);
        QCOMPARE(rig.sent(), Lines({ "0 A", "0 B" }));
        rig.runner->PauseCmd_Click();
        QCOMPARE(rig.prompter.shown.last().icon, PromptIcon::Exclamation);
    }

    void continuousRun()
    {
        Rig rig;
        rig.write("c.cmd", "REPEAT 2\r\n0 X 10+REPEAT\r\nREND\r\n");
        rig.runner->passLimit = 2;
        rig.run("c.cmd", PromptAnswer::Yes);
        QCOMPARE(rig.runner->lastOutcome(), CommandFileRunner::Outcome::Finished);
        QCOMPARE(rig.sent(), Lines({ "REPEAT 2", "0 X 11", "0 X 12", "REND", "REPEAT 2", "0 X 11", "0 X 12", "REND" }));
    }

    void continuousRunWithNothingToSend()
    {
        // Only labels: nothing is ever sent, yet Cancel must still get through.
        Rig rig;
        rig.write("n.cmd", "A:\r\nB:\r\n");
        QTimer::singleShot(200, [&] { rig.core->CancelCmd_Click(); });
        rig.run("n.cmd", PromptAnswer::Yes);
        QCOMPARE(rig.runner->lastOutcome(), CommandFileRunner::Outcome::Stopped);
        rig.verifyIdle();

        rig.write("o.cmd", "/* only a comment\r\n");
        rig.run("o.cmd", PromptAnswer::Yes);
        QCOMPARE(rig.runner->lastOutcome(), CommandFileRunner::Outcome::Finished);
        QVERIFY(rig.sent().isEmpty());
    }

    void delayEnds_data()
    {
        QTest::addColumn<bool>("closePort");
        QTest::newRow("port closes") << true;
        QTest::newRow("Cancel") << false;
    }
    void delayEnds()
    {
        QFETCH(bool, closePort);
        Rig rig;
        rig.write("d.cmd", "0 A\r\nDELAY 1000000\r\n0 B\r\n");
        QTimer::singleShot(300, [&] { closePort ? rig.core->link.close() : rig.core->CancelCmd_Click(); });
        rig.run("d.cmd");
        QCOMPARE(rig.runner->lastOutcome(),
            closePort ? CommandFileRunner::Outcome::PortClosed : CommandFileRunner::Outcome::Stopped);
        QCOMPARE(rig.sent(), Lines({ "0 A" })); // "DELAY ..." itself is never sent
    }

    void jumpOutOfRepeatPass()
    {
        // The wait matches at once (status 0002) and jumps past REND: each pass ends at
        // the end of the line table.
        Rig rig(fastSim(0x0002));
        rig.write("j.cmd", "REPEAT 3\r\n0 ST 2>OUT\r\nREND\r\nOUT: 0 END\r\n");
        rig.run("j.cmd");
        QCOMPARE(rig.runner->lastOutcome(), CommandFileRunner::Outcome::Finished);
        QCOMPARE(rig.sent(), Lines({ "REPEAT 3", "0 ST", "0 END", "0 ST", "0 END", "0 ST", "0 END" }));
    }

    // ---- file management ----

    void filelistClick()
    {
        Rig rig;
        rig.write("b.cmd", "0 A\r\n");
        rig.write("A.CMD", "0 A\r\n");
        rig.write("c.txt", "x");
        rig.core->filelistPath = rig.dir.path();
        rig.core->filelistPattern = "*.Cmd";
        rig.core->refreshFilelist();
        QCOMPARE(rig.core->Filelist, QStringList({ "A.CMD", "b.cmd" }));
        rig.runner->Filelist_Click(1);
        QCOMPARE(rig.core->Filename, QStringLiteral("b.cmd"));
        rig.runner->Filelist_Click(7); // nothing there
        QCOMPARE(rig.core->Filename, QStringLiteral("b.cmd"));
    }

    void deleteFile_data()
    {
        QTest::addColumn<PromptAnswer>("answer");
        QTest::newRow("Yes") << PromptAnswer::Yes;
        QTest::newRow("No") << PromptAnswer::No;
    }
    void deleteFile()
    {
        QFETCH(PromptAnswer, answer);
        Rig rig;
        const QString path = rig.write("gone.cmd", "0 A\r\n");
        rig.core->Filename = "gone.cmd";
        rig.core->filelistPath = rig.dir.path();
        rig.prompter.answers = { answer };
        rig.runner->DeleteCmd_Click();
        QCOMPARE(rig.prompter.texts(), QStringList { "Are you sure you want to delete GONE.CMD?" });
        QCOMPARE(rig.prompter.shown[0].buttons, PromptButtons::YesNo);
        QCOMPARE(rig.prompter.shown[0].icon, PromptIcon::Question);
        QCOMPARE(QFile::exists(path), answer == PromptAnswer::No);
        QVERIFY(rig.core->Filename.isEmpty());
        QCOMPARE(rig.core->filelistPattern, QStringLiteral("*.Cmd"));
        QCOMPARE(rig.core->Filelist.contains("gone.cmd"), answer == PromptAnswer::No);
    }

    void deleteNothing()
    {
        Rig rig;
        rig.core->Filename = "missing.cmd";
        rig.runner->DeleteCmd_Click();
        rig.runner->DeleteCmd_Click(); // Filename now empty
        QCOMPARE(rig.prompter.texts(),
            QStringList({ "There is no file MISSING.CMD to delete.", "Please select a command file!" }));
    }

    void editor()
    {
        Rig rig;
        rig.runner->EditCmd_Click();
        QCOMPARE(rig.prompter.texts(), QStringList { "Please select a file or Enter new file name!" });
        QVERIFY(rig.started.isEmpty());

        rig.runner->editor().configured = QStringLiteral("/opt/ed/my editor");
        rig.core->Filename = "new one.cmd";
        rig.runner->EditCmd_Click();
        QCOMPARE(rig.started.size(), 1);
        QCOMPARE(rig.started[0].first, QStringLiteral("/opt/ed/my editor"));
        QCOMPARE(rig.started[0].second, QStringList { rig.dir.filePath("new one.cmd") });
        QCOMPARE(rig.core->selectedCommandFile, rig.dir.filePath("new one.cmd"));
        QVERIFY(!QFile::exists(rig.dir.filePath("new one.cmd")));

        rig.runner->Command3_Click(); // New: no file, whatever Filename holds
        QCOMPARE(rig.started.size(), 2);
        QVERIFY(rig.started[1].second.isEmpty());
        QCOMPARE(rig.prompter.shown.last().text,
            QStringLiteral("Please use the '*.CMD' extension\rwhen saving the file and choose type 'All Files'"));
        QCOMPARE(rig.prompter.shown.last().icon, PromptIcon::Information);

        rig.runner->editor().starter = [](const QString&, const QStringList&) { return false; };
        rig.runner->EditCmd_Click();
        QCOMPARE(rig.prompter.shown.last().text, QStringLiteral("The editor \"/opt/ed/my editor\" could not be started."));
    }

    void editorChoice()
    {
        ExternalEditor e;
        QHash<QString, QString> env;
        QStringList installed;
        e.environment = [&](const char* name) { return env.value(QLatin1String(name)); };
        e.finder = [&](const QString& name) { return installed.contains(name) ? "/usr/bin/" + name : QString(); };
        QCOMPARE(e.launchFor("/f.cmd").program, QString()); // nothing at all
        installed << "xdg-open";
        ExternalEditor::Launch l = e.launchFor("/f.cmd");
        QCOMPARE(l.program, QStringLiteral("/usr/bin/xdg-open"));
        QVERIFY(l.createFirst);
        QCOMPARE(e.launchFor(QString()).program, QString()); // xdg-open needs a file
        installed << "mousepad" << "kate";
        l = e.launchFor("/f.cmd");
        QCOMPARE(l.program, QStringLiteral("/usr/bin/kate"));
        QVERIFY(!l.createFirst);
        env["VISUAL"] = "vis";
        QCOMPARE(e.launchFor("/f.cmd").program, QStringLiteral("vis"));
        env["ZAZIRUV_EDITOR"] = "zed";
        QCOMPARE(e.launchFor("/f.cmd").program, QStringLiteral("zed"));
        e.configured = "conf";
        l = e.launchFor("/a b;rm -rf x.cmd");
        QCOMPARE(l.program, QStringLiteral("conf"));
        QCOMPARE(l.arguments, QStringList { "/a b;rm -rf x.cmd" }); // one argument, no shell
    }

    void xdgOpenCreatesTheFile()
    {
        QTemporaryDir dir;
        ExternalEditor e;
        e.environment = [](const char*) { return QString(); };
        e.finder = [](const QString& name) { return name == "xdg-open" ? QStringLiteral("/bin/xdg-open") : QString(); };
        e.starter = [](const QString&, const QStringList&) { return true; };
        const QString path = dir.filePath("n.cmd");
        QString why;
        QVERIFY(e.open(path, &why));
        QVERIFY(QFile::exists(path));
        QCOMPARE(QFileInfo(path).size(), 0);
    }
};

QTEST_GUILESS_MAIN(TstCommandFileRunner)
#include "tst_commandfilerunner.moc"
