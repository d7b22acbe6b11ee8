// zaziruv-cli download, dir and stop against the zaziruv-sim program: what the
// controller logged, what the command printed and its exit status.

#include "../common/processrun.h"
#include "../common/testfiles.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

// The simulated controller inside zaziruv-cli (--simulate), so that it answers on the
// program's own event loop as a controller answers within its stated time; it logs
// every line it received and keeps its memory in dir across runs.
struct Sim
{
    QString log;
    QStringList options;

    Sim(const QTemporaryDir& dir, const QStringList& extra = {})
        : log(dir.filePath("sim.log"))
    {
        options
            = QStringList { "--baud", "57600", "--log", log, "--eeprom", dir.filePath("mem.bin") }
            + extra;
    }
    QList<QByteArray> lines() const { return readFile(log).split('\n'); }
    QStringList args() const
    {
        return { "--simulate", "--sim-option", options.join(' '), "--baud", "57600" };
    }
};

QStringList cliArgs(const QTemporaryDir& dir, const Sim& sim, const QStringList& args)
{
    return QStringList { "--settings", dir.filePath("s.json"), "--dir", dir.path() } + sim.args()
        + args;
}

ProcessRun cli(const QTemporaryDir& dir, const Sim& sim, const QStringList& args)
{
    ProcessOptions options;
    options.workingDirectory = dir.path();
    options.closeInput = true;
    return runProcess(appBinary("zaziruv-cli"), cliArgs(dir, sim, args), options);
}

} // namespace

class TstDownloadCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A download answered Yes (--reset), then the directory it left.
    void downloadThenDir()
    {
        QTemporaryDir dir;
        Sim sim(dir);
        QVERIFY(writeFile(dir.filePath("e2prom.dat"), QByteArray("0101").leftJustified(500, ' ')));
        QVERIFY(writeFile(dir.filePath("run.cmd"), "1 HO\r\n"));
        const ProcessRun d = cli(dir, sim, { "download", "run.cmd", "--boot", "--reset" });
        QCOMPARE(d.exitCode, 0);
        QVERIFY2(
            d.err.contains("Please note this Download will not use Checksums!"), d.err.constData());
        QCOMPARE(sim.lines().mid(0, 2), QList<QByteArray>({ "1 EES 501", "1 EEN-1" }));
        QVERIFY(sim.lines().contains("1 RN"));
        const ProcessRun l = cli(dir, sim, { "dir" });
        QCOMPARE(l.exitCode, 0);
        QCOMPARE(l.out, QByteArray("1 RUN\nTotal Bytes Stored: 13\n"));
        // The settings file is read, never written.
        QCOMPARE(readFile(dir.filePath("e2prom.dat")), QByteArray("0101").leftJustified(500, ' '));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("sim");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("mismatch") << QStringList { "--bad-write-every", "7" }
                                  << QStringList { "download", "run.cmd", "--verify", "--node", "1",
                                         "--delay", "1" }
                                  << 1 << QByteArray("Download Failed Please try again.");
        QTest::newRow("hang-up") << QStringList { "--hangup-after",
            "12" } << QStringList { "download", "run.cmd", "--node", "1", "--delay", "1" }
                                 << 1
                                 << QByteArray(
                                        "The serial port closed during the exchange with the TYX.");
        QTest::newRow("erased") << QStringList()
                                << QStringList { "dir", "--node", "1", "--delay", "1" } << 1
                                << QByteArray(
                                       "more than 40 macros are stored in the TYX EEprom memory");
        QTest::newRow("bad node") << QStringList() << QStringList { "dir", "--node", "x" } << 2
                                  << QByteArray("--node needs a node address");
        QTest::newRow("both verify")
            << QStringList() << QStringList { "stop", "--verify", "--no-verify" } << 2
            << QByteArray("exclude each other");
    }
    void failures()
    {
        QFETCH(QStringList, sim);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QByteArray, message);
        QTemporaryDir dir;
        Sim s(dir, sim);
        QVERIFY(writeFile(dir.filePath("run.cmd"), "1 HO\r\n"));
        const ProcessRun r = cli(dir, s, args);
        QCOMPARE(r.exitCode, status);
        QVERIFY2(r.err.contains(message), r.err.constData());
        QVERIFY(!QFile::exists(dir.filePath("e2prom.dat")));
    }

    // Ctrl-C is the Cancel button: the memory is marked incomplete, exit 130.
    void interrupt()
    {
        QTemporaryDir dir;
        Sim sim(dir);
        QVERIFY(writeFile(dir.filePath("run.cmd"), QByteArray("1 A 1234567\r\n").repeated(20)));
        QProcess cli;
        cli.setWorkingDirectory(dir.path());
        cli.start(appBinary("zaziruv-cli"),
            cliArgs(dir, sim, { "download", "run.cmd", "--node", "1", "--delay", "2" }));
        QVERIFY(QTest::qWaitFor([&] { return sim.lines().size() > 20; }, 20000));
        ::kill(pid_t(cli.processId()), SIGINT);
        QVERIFY(cli.waitForFinished(20000));
        QCOMPARE(cli.exitCode(), 130);
        QVERIFY(sim.lines().contains("1 EEADDR 503,I"));
    }

    void stop()
    {
        QTemporaryDir dir;
        Sim sim(dir);
        const ProcessRun r = cli(dir, sim, { "stop", "--node", "2", "--delay", "1" });
        QCOMPARE(r.exitCode, 0);
        QList<QByteArray> expected(20, "2 ME 0");
        QCOMPARE(sim.lines().mid(0, 20), expected);
    }
};

QTEST_GUILESS_MAIN(TstDownloadCli)
#include "tst_downloadcli.moc"
