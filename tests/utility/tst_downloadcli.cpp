// zaziruv-cli download, dir, stop, combo, macro, readback, upload, clear and image
// against the simulated controller: what it logged, what the command printed and
// wrote, its exit status, and the controller's memory afterwards.

#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/testfiles.h"

#include <QTest>
#include <csignal>

namespace {

const QStringList Fast { "--node", "1", "--delay", "1" };

// zaziruv-cli in a temporary directory with the simulated controller inside it
// (--simulate), so that it answers on the program's own event loop as a controller
// answers within its stated time however busy the machine is. It logs every line it
// received in "sim.log" and keeps its memory in "mem.bin" across runs. "run.cmd" holds
// `macro`, "D.CMB" a file whose first line lacks the node address, "R.CMB" run.cmd.
struct Cli
{
    QTemporaryDir dir;
    QString sim;

    explicit Cli(const QString& simExtra = {}, const QByteArray& macro = "1 HO\r\n")
        : sim("--baud 57600 --log " + dir.filePath("sim.log") + " --eeprom "
            + dir.filePath("mem.bin") + ' ' + simExtra)
    {
        writeFixture(dir.filePath("run.cmd"), macro);
        writeFixture(dir.filePath("b.cmd"), "L:1 ST 8>L\r\n");
        writeFixture(dir.filePath("d.cmd"), "DELAY 3\r\n1 HO\r\n");
        writeFixture(dir.filePath("D.CMB"), "d.cmd\r\n");
        writeFixture(dir.filePath("R.CMB"), "run.cmd\r\n");
    }
    QList<QByteArray> lines() const { return readFile(dir.filePath("sim.log")).split('\n'); }
    QByteArray memory() const { return readFile(dir.filePath("mem.bin")); }
    QStringList args(const QStringList& args) const
    {
        return QStringList { "--settings", dir.filePath("s.json"), "--dir", dir.path(),
            "--simulate", "--sim-option", sim.trimmed(), "--baud", "57600" }
        + args;
    }
    ProcessRun run(const QStringList& a) const
    {
        ProcessOptions options;
        options.workingDirectory = dir.path();
        options.closeInput = true;
        return runProcess(appBinary("zaziruv-cli"), args(a), options);
    }
    // "run.cmd" downloaded and read back (13 bytes: "1 HO", CR, "MACRO 0", CR).
    bool prime() const
    {
        return run(QStringList { "download", "run.cmd", "--verify-readback" } + Fast).exitCode == 0;
    }
};

} // namespace

class TstDownloadCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // With node and delay from "e2prom.dat" (read, never written): a download answered
    // Yes (--reset) and the directory it left; a combination saved, shown and downloaded
    // with the reset answered Yes (the boot macro comes from the file) and read back;
    // macro 2 run;
    // "stop" to node 2.
    void session()
    {
        Cli c;
        const QByteArray record = QByteArray("0101").leftJustified(500, ' ');
        QVERIFY(writeFile(c.dir.filePath("e2prom.dat"), record));
        qsizetype from = 0; // the first line the current command sent
        const auto run = [&](const QStringList& args) {
            from = c.lines().size() - 1;
            return c.run(args);
        };
        const auto sent = [&] { return c.lines().mid(from); };
        const ProcessRun d = run({ "download", "run.cmd", "--boot", "--reset" });
        QCOMPARE(d.exitCode, 0);
        QVERIFY2(
            d.err.contains("Please note this Download will not use Checksums!"), d.err.constData());
        QCOMPARE(sent().mid(0, 2), QList<QByteArray>({ "1 EES 501", "1 EEN-1" }));
        QVERIFY(sent().contains("1 RN"));
        const ProcessRun l = run({ "dir" });
        QCOMPARE(l.exitCode, 0);
        QCOMPARE(l.out, QByteArray("1 RUN\nTotal Bytes Stored: 13\n"));
        QCOMPARE(
            run({ "combo", "save", "X.CMB", "--boot-macro", "2", "run.cmd", "b.cmd" }).exitCode, 0);
        QCOMPARE(run({ "combo", "show", "X.CMB" }).out, "BootMacro=2\nrun.cmd\nb.cmd\n");
        QCOMPARE(run({ "combo", "download", "X.CMB", "--reset", "--verify" }).exitCode, 0);
        QCOMPARE(
            sent().mid(2, 4), QList<QByteArray>({ "1 EES 501", "1 EEN 2", "1 EEW", "1 EEN 2" }));
        QVERIFY(sent().contains("1 RN"));
        // "B" has one character, which Read Back never matches: left out and said.
        const ProcessRun b = run({ "readback", "--all" });
        QCOMPARE(b.exitCode, 1);
        QVERIFY2(b.err.contains("B not read back"), b.err.constData());
        QCOMPARE(readFile(c.dir.filePath("Temporary.cmd")), QByteArray("1 HO\r\nMACRO 0\r\n"));
        QCOMPARE(run({ "macro", "run", "2" }).exitCode, 0);
        QCOMPARE(sent().at(sent().size() - 2), "0 ME 2");
        QCOMPARE(run({ "stop", "--node", "2" }).exitCode, 0);
        QCOMPARE(sent().mid(0, 20), QList<QByteArray>(20, "2 ME 0"));
        QCOMPARE(readFile(c.dir.filePath("e2prom.dat")), record);
    }

    // One command (node 1, delay 1 added) on a fresh controller or on one that holds
    // run.cmd ("primed"). "Temporary.cmd" afterwards, whether any line reached the
    // controller and whether the memory was marked incomplete. The settings file is
    // never written. (A download failing its 8-bit checksum check: tst_download's "bad
    // cell"; here it fails by the read back.)
    void commands_data()
    {
        addColumns<bool, QString, QString, int, QByteArray, QByteArray, bool, bool>(
            "primed", "sim", "args", "status", "message", "file", "sends", "marks");
        const QByteArray none("<missing>");
        // A failing cell that the 8-bit checksum is not asked about: the read back finds
        // it and names its address.
        addRow("read-back mismatch", false, QString("--bad-write-every 9"),
            QString("download run.cmd --verify-readback"), 1,
            QByteArray("Read-back verification failed at address 517: 0 was written, the TYX "
                       "holds 1."),
            none, true, true);
        addRow("hang-up", false, QString("--hangup-after 12"), QString("download run.cmd"), 1,
            QByteArray("The serial port closed during the exchange with the TYX."), none, true,
            false);
        addRow("erased", false, QString(), QString("dir"), 1,
            QByteArray("more than 40 macros are stored in the TYX EEprom memory"), none, true,
            false);
        addRow("bad node", false, QString(), QString("dir --node x"), 2,
            QByteArray("--node needs a node address"), none, false, false);
        addRow("both verify", false, QString(), QString("stop --verify --no-verify"), 2,
            QByteArray("exclude each other"), none, false, false);
        addRow("combo save without extension", false, QString(), QString("combo save X run.cmd"), 1,
            QByteArray("Please use the *.CMB extension for this type of file."), none, false,
            false);
        addRow("no such combination", false, QString(), QString("combo download Y.CMB"), 1,
            QByteArray("no combination file \"Y.CMB\""), none, false, false);
        addRow("combo first line", false, QString(), QString("combo download D.CMB"), 1,
            QByteArray("D.CMD: The first line of a macro must begin with the node address."), none,
            false, false);
        addRow("readback --all", true, QString(), QString("readback --all"), 0, QByteArray(),
            QByteArray("1 HO\r\nMACRO 0\r\n"), true, false);
        addRow("name not stored", true, QString(), QString("readback NOPE"), 1,
            QByteArray("\"NOPE\" is not in the TYX directory"), none, true, false);
        addRow("upload 502 1 numbers", true, QString(), QString("upload 502 1 --numbers"), 0,
            QByteArray(), QByteArray(" 1\r\n"), true, false);
        addRow("upload count too large", true, QString(), QString("upload 1024 40000"), 2,
            QByteArray("from 0 to 32767"), none, false, false);
        addRow("clear", true, QString(), QString("clear"), 0, QByteArray(), none, true, true);
        addRow("restore no image", true, QString(), QString("image restore run.cmd"), 1,
            QByteArray("it is not a TYX memory image. Nothing was sent"), none, false, false);
    }
    void commands()
    {
        QFETCH(bool, primed);
        QFETCH(QString, sim);
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, file);
        QFETCH(bool, sends);
        QFETCH(bool, marks);
        Cli c(sim);
        QVERIFY(!primed || c.prime());
        const QList<QByteArray> before = c.lines();
        const ProcessRun r = c.run(args.split(' ') + Fast);
        QCOMPARE(r.exitCode, status);
        QVERIFY2(r.err.contains(message), r.err.constData());
        QCOMPARE(readFileOrMissing(c.dir.filePath("Temporary.cmd")), file);
        QCOMPARE(c.lines().size() != before.size(), sends);
        QCOMPARE(c.lines().contains("1 EEADDR 503,I"), marks);
        if (primed)
            QCOMPARE(c.memory().at(503), marks ? 'I' : 'X');
        QVERIFY(!QFile::exists(c.dir.filePath("e2prom.dat")));
    }

    // Ctrl-C is the Cancel button: exit 130. A download is marked incomplete; a read
    // back of what a download stored leaves it as it was.
    void interrupt_data()
    {
        addColumns<bool, QString, bool>("primed", "args", "marks");
        addRow("download", false, QString("download run.cmd --node 1 --delay 2"), true);
        addRow("combo download", false, QString("combo download R.CMB --node 1 --delay 2"), true);
        addRow("readback", true, QString("readback RUN --node 1 --delay 1"), false);
    }
    void interrupt()
    {
        QFETCH(bool, primed);
        QFETCH(QString, args);
        QFETCH(bool, marks);
        Cli c(QString(), QByteArray("1 A 1234567\r\n").repeated(20));
        QVERIFY(!primed || c.prime());
        const qsizetype before = c.lines().size();
        QProcess cli;
        cli.setWorkingDirectory(c.dir.path());
        cli.start(appBinary("zaziruv-cli"), c.args(args.split(' ')));
        QVERIFY(QTest::qWaitFor([&] { return c.lines().size() > before + 20; }, 20000));
        ::kill(pid_t(cli.processId()), SIGINT);
        QVERIFY(cli.waitForFinished(20000));
        QCOMPARE(cli.exitCode(), 130);
        QCOMPARE(c.lines().contains("1 EEADDR 503,I"), marks);
        if (primed)
            QCOMPARE(c.memory().at(503), 'X');
    }

    // A controller's program copied into another whose memory is erased: the same
    // directory, and the same bytes over the saved range. A damaged image sends nothing.
    void imageRoundTrip()
    {
        Cli from;
        QVERIFY(from.prime());
        QCOMPARE(from.run(QStringList { "image", "save", "copy.img" } + Fast).exitCode, 0);
        const QByteArray image = readFile(from.dir.filePath("copy.img"));
        QCOMPARE(image.size(), 20 + 1037 - 100);

        Cli to;
        QByteArray damaged = image;
        damaged[30] = char(damaged[30] ^ 1);
        QVERIFY(writeFile(to.dir.filePath("damaged.img"), damaged));
        const ProcessRun refused = to.run({ "image", "restore", "damaged.img" });
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("CRC-32"), refused.err.constData());
        QCOMPARE(to.lines(), QList<QByteArray> { "" });

        const ProcessRun restored = to.run(
            QStringList { "image", "restore", from.dir.filePath("copy.img"), "--verify-readback" }
            + Fast);
        QCOMPARE(restored.exitCode, 0);
        QCOMPARE(to.run(QStringList { "dir" } + Fast).out,
            QByteArray("1 RUN\nTotal Bytes Stored: 13\n"));
        QCOMPARE(to.memory().mid(100, 937), from.memory().mid(100, 937));
    }
};

QTEST_GUILESS_MAIN(TstDownloadCli)
#include "tst_downloadcli.moc"
