// zaziruv-cli run against the zaziruv-sim program: what the controller logs, what the
// command prints and its exit status.

#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/simprocess.h"
#include "../common/testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
// The simulated controller, logging what it received to log.
struct Sim : SimProcess
{
    QString log;
    Sim(const QString& logPath, const QStringList& extra = {})
        : SimProcess(QStringList { "--log", logPath, "--move-ms", "150" } + extra)
        , log(logPath)
    {
    }
    QList<QByteArray> lines() const
    {
        QList<QByteArray> out;
        for (const QByteArray& l : readFile(log).split('\n')) {
            if (!l.isEmpty())
                out << l;
        }
        return out;
    }
};

// Runs zaziruv-cli with its settings in dir. FILE names are relative to the WorkingDir
// setting, which the tests set to dir, not to the current directory (elsewhere).
ProcessRun cli(const QTemporaryDir& dir, const QStringList& args)
{
    ProcessOptions options;
    options.workingDirectory = dir.filePath("elsewhere");
    QDir().mkpath(options.workingDirectory);
    options.closeInput = true;
    options.timeoutMs = 30000;
    const QStringList settings { "--settings", dir.filePath("s.json") };
    if (!QFile::exists(dir.filePath("s.json"))
        && runProcess(appBinary("zaziruv-cli"),
               settings + QStringList { "settings", "--set", "WorkingDir=" + dir.path() }, options)
                .exitCode
            != 0)
        return {};
    return runProcess(appBinary("zaziruv-cli"), settings + args, options);
}
} // namespace

class TstRunCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void repeatBlockAndMessages()
    {
        QTemporaryDir dir;
        Sim sim(dir.filePath("sim.log"), { "--status", "0" });
        QVERIFY(!sim.path().isEmpty());
        QVERIFY(writeFile(dir.filePath("r.cmd"),
            "0 HO\r\nREPEAT 3\r\n0 EEADR 500+REPEAT\r\nMESSAGE step\r\nREND\r\n"
            "0 ST 2>END\r\n0 NO\r\nEND: PAUSE\r\n"));
        const ProcessRun r = cli(dir, { "--port", sim.path(), "run", "r.cmd" });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray(" step\n step\n step\n"));
        QVERIFY(r.err.contains("Pause\n"));
        QList<QByteArray> lines = sim.lines();
        lines.removeAll("0 ST");
        QCOMPARE(lines,
            QList<QByteArray>(
                { "0 HO", "REPEAT 3", "0 EEADR 501", "0 EEADR 502", "0 EEADR 503", "REND" }));
    }

    // Runs with their exit status and what the controller received; the port is the
    // simulator's unless a row names another. A failure says why and sends nothing.
    void runs_data()
    {
        addColumns<QByteArray, QStringList, int, QByteArray, int>(
            "bytes", "args", "status", "message", "lines");
        addRow("three passes", QByteArray("0 A\r\n"),
            QStringList { "run", "--repeat", "--passes", "3", "f.cmd" }, 0, QByteArray(), 3);
        addRow("missing file", QByteArray(), QStringList { "run", "none.cmd" }, 1,
            QByteArray("none.cmd\" does not exist"), 0);
        addRow("--dir before WorkingDir", QByteArray("0 A\r\n"),
            QStringList { "--dir", "/nonexistent", "run", "f.cmd" }, 1,
            QByteArray("/nonexistent/f.cmd\" does not exist"), 0);
        addRow("REPEAT without REND", QByteArray("REPEAT 2\r\n0 A\r\n"),
            QStringList { "run", "f.cmd" }, 1, QByteArray("REPEAT on line 1 has no REND after it"),
            0);
        addRow("no file named", QByteArray(), QStringList { "run" }, 2,
            QByteArray("no command file given"), 0);
        addRow("unknown option", QByteArray(), QStringList { "run", "--fast", "f.cmd" }, 2,
            QByteArray("unknown option --fast"), 0);
        addRow("bad --passes", QByteArray(), QStringList { "run", "--passes", "x", "f.cmd" }, 2,
            QByteArray("--passes needs a positive number"), 0);
        addRow("port that does not open", QByteArray("0 A\r\n"),
            QStringList { "--port", "/nonexistent/no-such-tty", "run", "f.cmd" }, 1,
            QByteArray("serial port is not open"), 0);
    }
    void runs()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QByteArray, message);
        QFETCH(int, lines);
        QTemporaryDir dir;
        Sim sim(dir.filePath("sim.log"));
        if (!bytes.isNull())
            QVERIFY(writeFile(dir.filePath("f.cmd"), bytes));
        if (!args.contains("--port"))
            args = QStringList { "--port", sim.path() } + args;
        const ProcessRun r = cli(dir, args);
        QCOMPARE(r.exitCode, status);
        QVERIFY2(r.err.contains(message), r.err.constData());
        QCOMPARE(sim.lines(), QList<QByteArray>(lines, "0 A"));
        QVERIFY(!QFile::exists(dir.filePath("none.cmd")));
    }

    void rejectedAnswerIsNotDecoded()
    {
        QTemporaryDir dir;
        Sim sim(dir.filePath("sim.log"), { "--corrupt-every", "1" });
        const ProcessRun r
            = cli(dir, { "--port", sim.path(), "send", "--checksum", "--decode", "0 ST" });
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QByteArray("\n"));
        QVERIFY2(
            r.err.contains("the answer to \"0 ST\" failed its checksum check"), r.err.constData());
    }

    void portLost()
    {
        // The controller hangs up on the first line, during the delay after it.
        QTemporaryDir dir;
        Sim sim(dir.filePath("sim.log"), { "--hangup-after", "1" });
        QVERIFY(writeFile(dir.filePath("f.cmd"), "0 A\r\nDELAY 2000\r\n0 B\r\n"));
        const ProcessRun r = cli(dir, { "--port", sim.path(), "run", "f.cmd" });
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err.count("closed during the run"), 1);
        QVERIFY2(!r.err.contains("not configured"), r.err.constData());
        QCOMPARE(sim.lines(), QList<QByteArray>({ "0 A" }));
    }
};

QTEST_GUILESS_MAIN(TstRunCli)
#include "tst_runcli.moc"
