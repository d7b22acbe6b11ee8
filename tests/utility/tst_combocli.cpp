// zaziruv-cli combo and macro against the simulated controller: what the controller
// logged, what the command printed, the files it left and its exit status.

#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/testfiles.h"

#include <QTest>
#include <csignal>

namespace {

// zaziruv-cli in a temporary directory holding two command files, with the simulated
// controller inside it (--simulate) logging its lines and keeping its memory there.
struct Cli
{
    QTemporaryDir dir;

    Cli()
    {
        writeFixture(dir.filePath("a.cmd"), "1 HO\r\n");
        writeFixture(dir.filePath("b.cmd"), "L:1 ST 8>L\r\n");
        writeFixture(dir.filePath("d.cmd"), "DELAY 3\r\n1 HO\r\n");
    }
    QList<QByteArray> lines() const { return readFile(dir.filePath("sim.log")).split('\n'); }
    QStringList args(const QStringList& args) const
    {
        return QStringList { "--settings", dir.filePath("s.json"), "--dir", dir.path(),
            "--simulate", "--sim-option",
            "--baud 57600 --log " + dir.filePath("sim.log") + " --eeprom "
                + dir.filePath("mem.bin"),
            "--baud", "57600" }
        + args;
    }
    ProcessRun run(const QStringList& a) const
    {
        ProcessOptions options;
        options.workingDirectory = dir.path();
        options.closeInput = true;
        return runProcess(appBinary("zaziruv-cli"), args(a), options);
    }
};

const QStringList Fast { "--node", "1", "--delay", "1" };

} // namespace

class TstComboCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Saved, shown, downloaded with the reset answered Yes (the boot macro comes from
    // the file), then macro 2 run.
    void saveShowDownload()
    {
        Cli c;
        QCOMPARE(
            c.run({ "combo", "save", "X.CMB", "--boot-macro", "2", "a.cmd", "b.cmd" }).exitCode, 0);
        QCOMPARE(c.run({ "combo", "show", "X.CMB" }).out, "BootMacro=2\na.cmd\nb.cmd\n");
        QCOMPARE(c.run(QStringList { "combo", "download", "X.CMB", "--reset", "--verify" } + Fast)
                     .exitCode,
            0);
        QCOMPARE(
            c.lines().mid(2, 4), QList<QByteArray>({ "1 EES 501", "1 EEN 2", "1 EEW", "1 EEN 2" }));
        QVERIFY(c.lines().contains("1 RN"));
        QCOMPARE(c.run({ "macro", "run", "2" }).exitCode, 0);
        QCOMPARE(c.lines().at(c.lines().size() - 2), "0 ME 2");
    }

    void failures_data()
    {
        addColumns<QByteArray, QStringList, int, QByteArray>("cmb", "args", "status", "message");
        addRow("save without extension", QByteArray(),
            QStringList { "combo", "save", "X", "a.cmd" }, 1,
            QByteArray("Please use the *.CMB extension for this type of file."));
        addRow("no such combination", QByteArray(), QStringList { "combo", "download", "Y.CMB" }, 1,
            QByteArray("no combination file \"Y.CMB\""));
        addRow("first line", QByteArray("d.cmd\r\n"), QStringList { "combo", "download", "C.CMB" },
            1, QByteArray("D.CMD: The first line of a macro must begin with the node address."));
    }
    void failures()
    {
        QFETCH(QByteArray, cmb);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QByteArray, message);
        Cli c;
        if (!cmb.isNull())
            QVERIFY(writeFile(c.dir.filePath("C.CMB"), cmb));
        const ProcessRun r = c.run(args + Fast);
        QCOMPARE(r.exitCode, status);
        QVERIFY2(r.err.contains(message), r.err.constData());
        QCOMPARE(readFile(c.dir.filePath("sim.log")), QByteArray());
    }

    // Ctrl-C is the Cancel button: the memory is marked incomplete, exit 130.
    void interrupt()
    {
        Cli c;
        QVERIFY(writeFile(c.dir.filePath("a.cmd"), QByteArray("1 A 1234567\r\n").repeated(20)));
        QVERIFY(writeFile(c.dir.filePath("C.CMB"), "a.cmd\r\n"));
        QProcess cli;
        cli.setWorkingDirectory(c.dir.path());
        cli.start(appBinary("zaziruv-cli"),
            c.args({ "combo", "download", "C.CMB", "--node", "1", "--delay", "2" }));
        QVERIFY(QTest::qWaitFor([&] { return c.lines().size() > 20; }, 20000));
        ::kill(pid_t(cli.processId()), SIGINT);
        QVERIFY(cli.waitForFinished(20000));
        QCOMPARE(cli.exitCode(), 130);
        QVERIFY(c.lines().contains("1 EEADDR 503,I"));
    }
};

QTEST_GUILESS_MAIN(TstComboCli)
#include "tst_combocli.moc"
