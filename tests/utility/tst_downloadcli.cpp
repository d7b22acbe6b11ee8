// zaziruv-cli download, dir and stop against the simulated controller: what the
// controller logged, what the command printed and its exit status.

#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/testfiles.h"

#include <QTest>
#include <csignal>

namespace {

// zaziruv-cli in a temporary directory with the simulated controller inside it
// (--simulate), so that it answers on the program's own event loop as a controller
// answers within its stated time; it logs every line it received and keeps its
// memory in the directory across runs.
struct Cli
{
    QTemporaryDir dir;
    QStringList sim;

    explicit Cli(const QString& simExtra = {})
    {
        sim = QStringList { "--baud 57600 --log", dir.filePath("sim.log"), "--eeprom",
            dir.filePath("mem.bin"), simExtra };
        writeFixture(dir.filePath("run.cmd"), "1 HO\r\n");
    }
    QList<QByteArray> lines() const { return readFile(dir.filePath("sim.log")).split('\n'); }
    QStringList args(const QStringList& args) const
    {
        return QStringList { "--settings", dir.filePath("s.json"), "--dir", dir.path(),
            "--simulate", "--sim-option", sim.join(' ').trimmed(), "--baud", "57600" }
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

} // namespace

class TstDownloadCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A download answered Yes (--reset), then the directory it left; the settings
    // file is read, never written.
    void downloadThenDir()
    {
        Cli c;
        const QByteArray record = QByteArray("0101").leftJustified(500, ' ');
        QVERIFY(writeFile(c.dir.filePath("e2prom.dat"), record));
        const ProcessRun d = c.run({ "download", "run.cmd", "--boot", "--reset" });
        QCOMPARE(d.exitCode, 0);
        QVERIFY2(
            d.err.contains("Please note this Download will not use Checksums!"), d.err.constData());
        QCOMPARE(c.lines().mid(0, 2), QList<QByteArray>({ "1 EES 501", "1 EEN-1" }));
        QVERIFY(c.lines().contains("1 RN"));
        const ProcessRun l = c.run({ "dir" });
        QCOMPARE(l.exitCode, 0);
        QCOMPARE(l.out, QByteArray("1 RUN\nTotal Bytes Stored: 13\n"));
        QCOMPARE(readFile(c.dir.filePath("e2prom.dat")), record);
    }

    void failures_data()
    {
        addColumns<QString, QStringList, int, QByteArray>("sim", "args", "status", "message");
        const QStringList download { "download", "run.cmd", "--node", "1", "--delay", "1" };
        addRow("mismatch", QString("--bad-write-every 7"), download + QStringList { "--verify" }, 1,
            QByteArray("Download Failed Please try again."));
        addRow("hang-up", QString("--hangup-after 12"), download, 1,
            QByteArray("The serial port closed during the exchange with the TYX."));
        addRow("erased", QString(), QStringList { "dir", "--node", "1", "--delay", "1" }, 1,
            QByteArray("more than 40 macros are stored in the TYX EEprom memory"));
        addRow("bad node", QString(), QStringList { "dir", "--node", "x" }, 2,
            QByteArray("--node needs a node address"));
        addRow("both verify", QString(), QStringList { "stop", "--verify", "--no-verify" }, 2,
            QByteArray("exclude each other"));
    }
    void failures()
    {
        QFETCH(QString, sim);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QByteArray, message);
        Cli c(sim);
        const ProcessRun r = c.run(args);
        QCOMPARE(r.exitCode, status);
        QVERIFY2(r.err.contains(message), r.err.constData());
        QVERIFY(!QFile::exists(c.dir.filePath("e2prom.dat")));
    }

    // Ctrl-C is the Cancel button: the memory is marked incomplete, exit 130.
    void interrupt()
    {
        Cli c;
        QVERIFY(writeFile(c.dir.filePath("run.cmd"), QByteArray("1 A 1234567\r\n").repeated(20)));
        QProcess cli;
        cli.setWorkingDirectory(c.dir.path());
        cli.start(appBinary("zaziruv-cli"),
            c.args({ "download", "run.cmd", "--node", "1", "--delay", "2" }));
        QVERIFY(QTest::qWaitFor([&] { return c.lines().size() > 20; }, 20000));
        ::kill(pid_t(cli.processId()), SIGINT);
        QVERIFY(cli.waitForFinished(20000));
        QCOMPARE(cli.exitCode(), 130);
        QVERIFY(c.lines().contains("1 EEADDR 503,I"));
    }

    void stop()
    {
        Cli c;
        QCOMPARE(c.run({ "stop", "--node", "2", "--delay", "1" }).exitCode, 0);
        QCOMPARE(c.lines().mid(0, 20), QList<QByteArray>(20, "2 ME 0"));
    }
};

QTEST_GUILESS_MAIN(TstDownloadCli)
#include "tst_downloadcli.moc"
