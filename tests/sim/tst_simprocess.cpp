// Drives the zaziruv-sim executable through its pseudo-terminal with a real serial port.

#include "simhost.h"

#include "../common/processrun.h"
#include "../common/simprocess.h"
#include "../common/testfiles.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// Runs it to the end (for options that make it refuse to start).
ProcessRun runToEnd(const QStringList& args)
{
    ProcessOptions options;
    options.timeoutMs = 10000;
    return runProcess(appBinary(QStringLiteral("zaziruv-sim")), args, options);
}

} // namespace

class TestSimProcess : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void statusWord();
    void answers_data();
    void answers();
    void baudMismatch();
    void memoryImageSurvivesRestart();
    void logFile();
    void refusesBadStart_data();
    void refusesBadStart();
    void help();
};

void TestSimProcess::statusWord()
{
    SimProcess sim({ QStringLiteral("--move-ms"), QStringLiteral("2000") });
    QVERIFY(sim.isValid());
    SimHost host;
    QVERIFY(host.open(sim.path()));
    QCOMPARE(host.ask(QStringLiteral("0 ST")), QByteArray("0 0100\r\n"));
    host.command(QStringLiteral("0 EN"));
    QCOMPARE(host.ask(QStringLiteral("0 ST")), QByteArray("0 0000\r\n"));
    host.command(QStringLiteral("0 DI"));
    QCOMPARE(host.ask(QStringLiteral("0 ST")), QByteArray("0 0100\r\n"));
    host.command(QStringLiteral("0 EN"));

    QElapsedTimer sinceHome;
    sinceHome.start();
    host.command(QStringLiteral("0 HO"));
    QCOMPARE(host.ask(QStringLiteral("0 ST")), QByteArray("0 0001\r\n"));
    QByteArray status;
    for (int i = 0; i < 100; ++i) {
        status = host.ask(QStringLiteral("0 ST"));
        if (status != "0 0001\r\n")
            break;
        QTest::qWait(100);
    }
    QCOMPARE(status, QByteArray("0 0002\r\n"));
    // The move never ends before its time.
    QVERIFY(sinceHome.elapsed() >= 2000);
    QCOMPARE(sim.stop(), 0);
}

void TestSimProcess::answers_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("expected");
    // Download lines as the download window writes them: node, command, CR.
    QTest::newRow("memory byte written and read back")
        << QStringList {} << QByteArray("1 EES 1024\r1 EED A\r1 EEW\r1 EES 1024\r1 EER\r")
        << QByteArray("0041 A\r\n");
    // 255 + 1 + 88 = 344, modulo 256 = 88 = 0x58; the 7 written before the reset is gone.
    QTest::newRow("checksum after EEC 0 and writes")
        << QStringList {}
        << QByteArray("1 EEN 7\r1 EEW\r1 EEC 0\r1 EES 501\r1 EEN-1\r1 EEW\r1 EEN 1\r1 EEW\r"
                      "1 EEDAT X\r1 EEW\r1 EEC\r")
        << QByteArray("0001 0058\r\n");
    // The first EEADR, before the unlock, is not answered.
    QTest::newRow("EEU 4826 and EEADR")
        << QStringList {}
        << QByteArray("1 EEADR 503\r1 EEU 4826\r1 EEADDR 503,I\r\n1 EEADR 499,T\r\n"
                      "1 EEADR 498,\r\n1 EEADR 503\r1 EEADR 499\r1 EEADR 498\r1 EEADR 497\r")
        << QByteArray("0049 I\r\n0054 T\r\n000D \r\r\n00FF \xff\r\n");
    // Wrong check characters, then none: neither is answered.
    QTest::newRow("checksum mode good and bad")
        << QStringList { QStringLiteral("--checksum") }
        << QByteArray("\r0 ST#?8\r\r0 ST\r") + frameCommand(QStringLiteral("1 ST"), true)
        << QByteArray("1 0100#12\r\n");
}

void TestSimProcess::answers()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, expected);
    SimProcess sim(args);
    QVERIFY(sim.isValid());
    SimHost host;
    QVERIFY(host.open(sim.path()));
    host.send(sent);
    QByteArray got;
    for (qsizetype lines = expected.count("\r\n"); lines > 0; --lines)
        got += host.answer();
    QCOMPARE(got, expected);
    QCOMPARE(sim.stop(), 0);
}

void TestSimProcess::baudMismatch()
{
    SimProcess sim({ QStringLiteral("--baud"), QStringLiteral("9600") });
    QVERIFY(sim.isValid());
    SimHost host;
    QVERIFY(host.open(sim.path(), 19200));
    host.command(QStringLiteral("0 ST"));
    // Nothing answers at the wrong speed (the in-process test proves the bytes arrived).
    QVERIFY(!host.port().waitForReadyRead(1000));
    QVERIFY(host.port().setBaudRate(9600));
    QCOMPARE(host.ask(QStringLiteral("1 ST")), QByteArray("1 0100\r\n"));
    QCOMPARE(sim.stop(), 0);
}

void TestSimProcess::memoryImageSurvivesRestart()
{
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("tyx.eeprom"));
    {
        SimProcess sim({ QStringLiteral("--eeprom"), image });
        QVERIFY(sim.isValid());
        SimHost host;
        QVERIFY(host.open(sim.path()));
        host.send("1 EES 2000\r1 EED Z\r1 EEW\r1 EES 2000\r1 EER\r");
        QCOMPARE(host.answer(), QByteArray("005A Z\r\n"));
        QCOMPARE(sim.stop(), 0);
    }
    QFile f(image);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    f.close();
    QCOMPARE(bytes.size(), 8192);
    QCOMPARE(bytes[2000], 'Z');
    QCOMPARE(bytes.count(char(0xFF)), 8191);
    {
        SimProcess sim({ QStringLiteral("--eeprom"), image });
        QVERIFY(sim.isValid());
        SimHost host;
        QVERIFY(host.open(sim.path()));
        host.send("1 EES 2000\r1 EER\r1 EER\r");
        QCOMPARE(host.answer(), QByteArray("005A Z\r\n"));
        QCOMPARE(host.answer(), QByteArray("00FF \xff\r\n"));
        QCOMPARE(sim.stop(SIGINT), 0);
    }
}

void TestSimProcess::logFile()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("sim.log"));
    QVERIFY(writeFile(log, "earlier\n"));
    SimProcess sim({ QStringLiteral("--log"), log });
    QVERIFY(sim.isValid());
    SimHost host;
    QVERIFY(host.open(sim.path()));
    host.send("\r0 ST\r");
    host.send(QByteArray("1 EEADR 4,\r\n9 X\x01\x7f\\\xe9\r", 20));
    QCOMPARE(host.ask(QStringLiteral("0 XST")), QByteArray("0 0100\r\n"));
    QCOMPARE(sim.stop(), 0);
    QFile f(log);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(
        f.readAll(), QByteArray("earlier\n0 ST\n1 EEADR 4,\n\\n9 X\\x01\\x7F\\\\\\xE9\n0 XST\n"));
}

void TestSimProcess::refusesBadStart_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown option") << QStringList { QStringLiteral("--bogus") } << 2
                                    << QStringLiteral("unknown option \"--bogus\"");
    QTest::newRow("bad value") << QStringList { QStringLiteral("--baud"), QStringLiteral("9601") }
                               << 2 << QStringLiteral("not a standard line speed");
}

void TestSimProcess::refusesBadStart()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const ProcessRun r = runToEnd(args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.errText().contains(message), r.err.constData());
    QVERIFY(r.out.isEmpty());
}

void TestSimProcess::help()
{
    const ProcessRun r = runToEnd({ QStringLiteral("--help") });
    QCOMPARE(r.exitCode, 0);
    for (const char* option : { "--node", "--status", "--move-ms", "--eeprom-size", "--echo",
             "--checksum", "--answer-delay-ms", "--baud", "--pace", "--drop-every",
             "--corrupt-every", "--hangup-after", "--eeprom", "--log", "--link" })
        QVERIFY2(r.out.contains(option), option);
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
