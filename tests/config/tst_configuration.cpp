// Auto Configure, the port test, the diagnostic log and the directory choice of the
// configuration window, against the simulated controller (echoing, silent or vanishing
// as its options say), a silent pseudo-terminal and devices that are not there; and zaziruv-cli
// autoconfigure and debuglog.

#include "configrig.h"

#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/ptypair.h"
#include "../common/simprocess.h"

#include <QTest>

namespace {

const QStringList Queries = { "0 ST", "0 ST", "0 SR", "0 POR", "0 I", "0 DER", "0 EEBOOT" };

} // namespace

class TestConfiguration : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // (2.5 to even through the window: tst_mainwindow's saveAndExit.)
    void txDelayFromText_data()
    {
        addColumns<QString, int>("text", "stored");
        addRow("0.4 is below 1", "0.4", 1);
        addRow("3.5 to even", "3.5", 4);
        addRow("whole", "7", 7);
        addRow("blanks around", " 12 ", 12);
        addRow("zero", "0", 1);
        addRow("negative", "-3", 1);
        addRow("empty", "", 1);
        addRow("letters", "abc", 1);
        addRow("number then letters", "2abc", 1);
        addRow("decimal comma", "2,5", 1);
        addRow("beyond 32 bits", "1e12", 2147483647);
    }

    void txDelayFromText()
    {
        QFETCH(QString, text);
        QFETCH(int, stored);
        QCOMPARE(ConfigurationCore::txDelayFromText(text), stored);
    }

    // COM1's controller hangs up on the probe's status query before it answers; the
    // search goes on past the missing COM2 and finds the one on COM3, which echoes
    // before it answers.
    void autoConfigureFindsControllerInOrder()
    {
        ConfigRig rig({ { 1, "sim: --hangup-after 1 --answer-delay-ms 2000" },
            { 3, "sim: --baud 19200 --echo" } });
        const QString vanishing = rig.devices[1];
        const QString sim = rig.devices[3];
        QVERIFY(rig.config.autoConfigure());

        // Gone after the probe at 9600: the other speeds of COM1 are not tried.
        QCOMPARE(rig.opens,
            QStringList({ "open " + vanishing + "@9600", "fail " + vanishing + "@19200",
                "fail " + missingDevice(2) + "@9600", "open " + sim + "@9600",
                "open " + sim + "@19200" }));
        QCOMPARE(rig.writes.filter(sim),
            QStringList({ sim + "@9600 \r", sim + "@9600 \r0 ST\r", sim + "@19200 \r",
                sim + "@19200 \r0 ST\r" }));
        // The loss is said once, before the success on COM3.
        const QStringList said = rig.prompter.texts();
        QCOMPARE(said.size(), 3);
        QCOMPARE(said.at(0), ConfigurationCore::OneControllerText);
        QVERIFY2(said.at(1).startsWith("The serial port Com1 closed during its probe"),
            qPrintable(said.at(1)));
        QCOMPARE(said.at(2), PortProbe::ProbeSuccessText);
        QCOMPARE(rig.prompter.shown.at(0).icon, PromptIcon::Information);
        QCOMPARE(rig.prompter.shown.at(2).icon, PromptIcon::Information);

        QCOMPARE(QList<int>({ rig.cfg.comPort, rig.cfg.baudRate, rig.cfg.CheckSumChk }),
            QList<int>({ 3, 19200, 0 }));
        QCOMPARE(storedPortOf(rig.storePath), "3 19200 False");
        QVERIFY(rig.core->link().isOpen());
        QVERIFY(rig.idle());
    }

    // Neither an echo alone (COM1), nor an answer without "00" (COM2), nor nothing at
    // all (COM3) is a controller; an earlier success does not count.
    void autoConfigureNoAnswer()
    {
        ConfigRig rig({ { 1, "sim: --echo --drop-every 1" }, { 2, "sim: --status 1234" },
            { 3, "sim: --drop-every 1" } });
        rig.probe.setProbeSuccess(true);
        QVERIFY(!rig.config.autoConfigure());

        QStringList opens;
        for (size_t n = 1; n <= 3; ++n) {
            for (const int baud : ConfigurationCore::Bauds)
                opens << QStringLiteral("open %1@%2").arg(rig.devices[n]).arg(baud);
        }
        for (int n = 4; n <= 8; ++n)
            opens << "fail " + missingDevice(n) + "@9600";
        QCOMPARE(rig.opens, opens);
        // Nothing is said when no port answers.
        QCOMPARE(rig.prompter.texts(), QStringList({ ConfigurationCore::OneControllerText }));
        QVERIFY(!rig.probe.probeSuccess());
        QCOMPARE(storedPortOf(rig.storePath), "8 9600 False");
        QVERIFY(rig.idle());
        QVERIFY(!rig.core->link().isOpen());
    }

    void autoConfigureSimulatedPort()
    {
        // The simulator stands for the configured COM5 alone: the search opens nothing
        // on COM1 to COM4 and stores 5, not the first port it tries.
        ConfigRig rig({ { 0, "sim:" } }, 5);
        const QString sim = rig.devices[0];
        rig.core->setDeviceOverride(sim, true);
        rig.core->load();
        rig.opens.clear();
        QVERIFY(rig.config.autoConfigure());
        QCOMPARE(rig.opens.first(), "fail @9600");
        QCOMPARE(rig.opens.filter(sim), QStringList({ "open " + sim + "@9600" }));
        QCOMPARE(rig.stored()["ComPort"].toInt(), 5);
    }

    // On the wire: CR, then each query with its CR and a lone CR. The file: each query,
    // " = " and the answer as it came (none from a silent port; 300 characters written
    // as the query leaves), padded or cut to 1000 bytes, replacing a longer old log
    // whole. When the port is closed or lost, or the file cannot be written, the
    // operator is told why, no log is left and the selected command file stays.
    void debugLog_data()
    {
        addColumns<QString, QByteArray, QString, PromptIcon>("how", "answer", "said", "icon");
        const QString notWritten = "'TYXLOG' could not be written";
        addRow(
            "silent port", "", QByteArray(), PortProbe::DebugSuccessText, PromptIcon::Information);
        addRow("cut at 1000", "", QByteArray(300, 'A') + "\r\n", PortProbe::DebugSuccessText,
            PromptIcon::Information);
        addRow("closed from the start", "closed", QByteArray(), PortProbe::DebugPortClosedText,
            PromptIcon::Exclamation);
        addRow("lost half-way", "lost", QByteArray(), PortProbe::DebugPortLostText.left(40),
            PromptIcon::Critical);
        addRow("directory gone", "gone", QByteArray(), notWritten, PromptIcon::Exclamation);
        addRow("log name taken by a directory", "taken", QByteArray(), notWritten,
            PromptIcon::Exclamation);
    }

    void debugLog()
    {
        QFETCH(QString, how);
        QFETCH(QByteArray, answer);
        QFETCH(QString, said);
        QFETCH(PromptIcon, icon);
        PtyPair pair;
        QVERIFY(pair.isValid());
        const QString device = how == "closed" ? QString()
            : how == "lost"                    ? QStringLiteral("sim: --hangup-after 4")
                                               : pair.slavePath();
        ConfigRig rig({ { 2, device } });
        QCOMPARE(rig.core->link().isOpen(), how != "closed");
        qint64 sent = 0;
        rig.onWrite = [&](const QByteArray& bytes) {
            if (bytes != "\r" && !answer.isEmpty()) {
                pair.write(answer);
                sent += answer.size();
            }
        };
        rig.farEnds[pair.slavePath()] = [&](qint64, qint64 read) { return read >= sent; };
        if (how == "gone")
            rig.core->setWorkingDir(rig.dir.filePath("gone"));
        const QString path = rig.logPath();
        if (how == "taken")
            QVERIFY(QDir().mkpath(path));
        const bool success = how.isEmpty();
        if (success)
            QVERIFY(writeFile(path, QByteArray(3000, 'Z')));
        const QString before = rig.core->selectedCommandFile();
        QCOMPARE(rig.config.writeDiagnosticLog(), success);
        QCOMPARE(rig.prompter.shown.size(), 1);
        const QString text = rig.prompter.shown[0].text;
        QVERIFY2(
            success ? text == said + "\r\nIt is " + path : text.startsWith(said), qPrintable(text));
        QCOMPARE(rig.prompter.shown[0].icon, icon);
        QVERIFY(rig.idle());
        if (!success) {
            QVERIFY(!QFileInfo(path).isFile());
            QCOMPARE(rig.core->selectedCommandFile(), before);
            return;
        }

        QByteArray wire = "\r";
        QByteArray log;
        for (const QString& q : Queries) {
            wire += q.toLatin1() + "\r\r";
            log += q.toLatin1() + " = " + answer;
        }
        QCOMPARE(pair.read(wire.size(), 10000), wire);
        QCOMPARE(pair.readAll(50), QByteArray());
        QCOMPARE(readFile(path), log.leftJustified(1000, ' ', true));
        QCOMPARE(rig.core->selectedCommandFile(), path);
        // Listed among the command files once the list is refreshed.
        rig.core->showFiles(rig.core->workingDir(), rig.core->fileList().pattern);
        QVERIFY(rig.core->fileList().entries.contains("TYXLOG.CMD"));
    }

    // A directory that is not there at all, and one accepted: tst_mainwindow's saveAndExit.
    // "drive:" chooses a drive (the chosenDrive list) instead of a directory.
    void dir1Change_data()
    {
        addColumns<QString, bool>("name", "accepted");
        addRow("a file", "file.txt", false);
        addRow("empty", "", false);
        addRow("drive /", "drive:/", true);
        addRow("drive not there", "drive:/nonexistent-root", false);
    }

    void dir1Change()
    {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        ConfigRig rig;
        QVERIFY(writeFile(QDir(rig.workDir).filePath("file.txt"), "x"));
        const bool drive = name.startsWith("drive:");
        const QString path = drive ? name.mid(6)
            : name.isEmpty()       ? QString()
                                   : QDir(rig.workDir).filePath(name);
        QCOMPARE(drive ? rig.config.driveChosen(path) : rig.config.directoryChosen(path), accepted);
        const QString now = accepted ? path : rig.workDir;
        QCOMPARE(rig.cfg.chosenDir, now);
        QCOMPARE(rig.core->workingDir(), now);
        QCOMPARE(rig.cfg.chosenDrive, "/");
        // The store changes only on Save and Exit.
        QCOMPARE(rig.stored()["WorkingDir"].toString(), rig.workDir);
        QCOMPARE(rig.prompter.shown.size(), accepted ? 0 : 1);
        if (!accepted) {
            QCOMPARE(rig.prompter.shown[0].icon, PromptIcon::Exclamation);
            QVERIFY(rig.prompter.shown[0].text.contains("cannot be read"));
        }
    }

    // The command line's autoconfigure cannot use the simulator inside zaziruv-cli (it
    // refuses --simulate), so its success row talks to a zaziruv-sim process. "@" is
    // the settings' directory, where the stored COM2 is never there. debuglog writes
    // each query, " = " and the answer as it came, padded to 1000 bytes, where --dir
    // says.
    void cli_data()
    {
        addColumns<QString, QString, int, QString, QString, QString>(
            "args", "sim", "exitCode", "out", "err", "stored"); // stored: empty when kept
        addRow("autoconfigure finds COM3", "autoconfigure", "--baud 19200", 0,
            "ComPort=3\nBaudRate=19200\n", PortProbe::ProbeSuccessText, "3 19200 False");
        addRow("autoconfigure, nothing answers", "autoconfigure", "", 1, "",
            "no controller answered", "8 9600 False");
        addRow("autoconfigure with --port", "--port /nonexistent/ttyQ autoconfigure", "", 2, "",
            "--port", "");
        addRow("debuglog, port closed", "debuglog", "", 1, "", "not open", "");
        addRow("debuglog, simulated", "--simulate --dir @/logs debuglog", "", 0,
            "@/logs/TYXLOG.CMD\n", PortProbe::DebugSuccessText, "");
    }

    void cli()
    {
        QFETCH(QString, args);
        QFETCH(QString, sim);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QString, stored);
        std::unique_ptr<SimProcess> process;
        std::array<QString, 9> devices {};
        if (!sim.isEmpty()) {
            process = std::make_unique<SimProcess>(sim.split(' '));
            QVERIFY(process->isValid());
            devices[3] = process->path();
        }
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath("logs")));
        const QString store = dir.filePath("s.json");
        const QByteArray before = storeText(devices, 2, dir.path());
        QVERIFY(writeFile(store, before));
        ProcessOptions options;
        options.timeoutMs = 120000;
        const ProcessRun r = runProcess(appBinary("zaziruv-cli"),
            QStringList { "--settings", store } + args.replace('@', dir.path()).split(' '),
            options);
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(r.outText(), out.replace('@', dir.path()));
        QVERIFY2(r.errText().contains(err), qPrintable(r.errText()));
        if (stored.isEmpty())
            QCOMPARE(readFile(store), before);
        else
            QCOMPARE(storedPortOf(store), stored);
        QVERIFY(!QFile::exists(dir.filePath("TYXLOG.CMD")));
        const QByteArray log("0 ST = 0 0100\r\n0 ST = 0 0100\r\n0 SR = 0 00000100\r\n"
                             "0 POR = 0 00000000\r\n0 I = 0 0000\r\n0 DER = 0 0000\r\n"
                             "0 EEBOOT = 0 00FF\r\n");
        QCOMPARE(readFile(dir.filePath("logs/TYXLOG.CMD")),
            exitCode == 0 && args.contains("debuglog") ? log.leftJustified(1000, ' ') : "");
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "tst_configuration.moc"
