#include "link/framing.h"
#include "sim/simoptions.h"
#include "sim/simulatedcontroller.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

SimOptions optionsFrom(const QString& args)
{
    QString error;
    const auto o = parseSimOptions(args.split(QLatin1Char(' '), Qt::SkipEmptyParts), &error);
    if (!o)
        qFatal("bad options in test: %s", qPrintable(error));
    return *o;
}

QByteArray withCheck(const QByteArray& text)
{
    return text + '#' + toWire(checkCharacters(fromWire(text)));
}

} // namespace

class TestSimController : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answers_data();
    void answers();
    void moveRunsForTheMoveTime();
    void abortEndsMoveAtOnce();
    void answerDelay();
    void hangUpAfterLines();
    void speedMismatchLosesEverything();
    void outputQueueStaysBounded();
    void memoryImageMustFit();
    void garbageNeverBreaksIt();
    void options_data();
    void options();
};

void TestSimController::answers_data()
{
    QTest::addColumn<QString>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");

    auto row = [](const char* name, const char* args, const QByteArray& in, const QByteArray& out) {
        QTest::newRow(name) << QString::fromLatin1(args) << in << out;
    };
    // Status word
    row("status at start", "", "\r0 ST\r", "0 0100\r\n");
    row("XST is a status query", "", "\r1 XST\r", "1 0100\r\n");
    row("own node answered", "--node 5", "\r5 ST\r", "5 0100\r\n");
    row("other node ignored", "--node 5", "\r1 ST\r\r2 ST\r", "");
    row("node as received", "", "\r01 ST\r", "01 0100\r\n");
    row("EN clears bit 8", "", "\r0 EN\r\r0 ST\r", "0 0000\r\n");
    row("DI sets bit 8", "", "\r0 EN\r\r0 DI\r\r0 ST\r", "0 0100\r\n");
    row("HO starts a move", "", "\r0 EN\r\r0 HO\r\r0 ST\r", "0 0001\r\n");
    row("start status option", "--status 8a03", "\r0 ST\r", "0 8A03\r\n");
    row("RN restores the start status", "--status 0004", "\r0 DI\r\r0 RN\r\r0 ST\r", "0 0004\r\n");
    row("lower-case command", "", "\r0 st\r", "0 0100\r\n");
    // Line handling
    row("LF ignored anywhere", "", "\n0 S\nT\r\n", "0 0100\r\n");
    row("empty lines ignored", "", "\r\r\n\r", "");
    row("unknown command ignored", "", "\r0 FOO 12\r\r0 ST\r", "0 0100\r\n");
    row("line without address ignored", "", "\rST\r\r ST\r", "");
    row("binary garbage ignored", "", QByteArray("\x00\xff\x80#\x1b[A\r", 8), "");
    row("over-long line dropped, next served", "", QByteArray(10000, 'A') + "0 ST\r\r0 ST\r",
        "0 0100\r\n");
    // Queries
    row("SR", "", "\r0 SR\r", "0 00000100\r\n");
    row("POR", "", "\r0 POR\r", "0 00000000\r\n");
    row("I", "", "\r0 I\r", "0 0000\r\n");
    row("DER", "", "\r0 DER\r", "0 0000\r\n");
    row("EEBOOT of erased memory", "", "\r0 EEBOOT\r", "0 00FF\r\n");
    row("EEBOOT after header", "", "1 EES 501\r1 EEN-1\r1 EEW\r0 EEBOOT\r", "0 00FF\r\n");
    row("EEBOOT boot macro 2", "", "1 EES 501\r1 EEN 2\r1 EEW\r0 EEBOOT\r", "0 0002\r\n");
    // Memory: writes and reads
    row("EED write and EER read", "", "1 EES 1024\r1 EED A\r1 EEW\r1 EES 1024\r1 EER\r",
        "0041 A\r\n");
    row("erased memory reads 255", "", "1 EES 0\r1 EER\r", "00FF \xff\r\n");
    row("EER advances", "", "1 EES 7\r1 EED x\r1 EEW\r1 EED y\r1 EEW\r1 EES 7\r1 EER\r1 EER\r",
        "0078 x\r\n0079 y\r\n");
    row("EED with only the CR loads CR", "", "1 EES 10\r1 EED \r1 EEW\r1 EES 10\r1 EER\r",
        "000D \r\r\n");
    row("EED with a second blank loads a blank", "", "1 EES 10\r1 EED  \r1 EEW\r1 EES 10\r1 EER\r",
        "0020  \r\n");
    row("EEDAT", "", "1 EES 503\r1 EEDAT X\r1 EEW\r1 EES 503\r1 EER\r", "0058 X\r\n");
    row("EEN-1 is 255", "", "1 EES 5\r1 EEN-1\r1 EEW\r1 EES 5\r1 EER\r", "00FF \xff\r\n");
    row("EEN 300 modulo 256", "", "1 EES 5\r1 EEN 300\r1 EEW\r1 EES 5\r1 EER\r", "002C ,\r\n");
    row("EEN -256 is 0", "", "1 EES 5\r1 EEN -256\r1 EEW\r1 EES 5\r1 EER\r",
        QByteArray("0000 \0\r\n", 8));
    row("EEN without number keeps the byte", "",
        "1 EES 5\r1 EED Q\r1 EEN x\r1 EEW\r1 EES 5\r1 EER\r", "0051 Q\r\n");
    row("RN keeps memory", "", "1 EES 9\r1 EED M\r1 EEW\r1 RN\r1 EES 9\r1 EER\r", "004D M\r\n");
    row("header written by a download", "",
        "1 EES 501\r1 EEN 0\r1 EEW\r1 EEN 1\r1 EEW\r1 EEDAT X\r1 EEW\r1 EES 501\r1 EER\r1 EER\r1 "
        "EER\r",
        QByteArray("0000 \0\r\n0001 \x01\r\n0058 X\r\n", 24));
    // Memory checksum
    row("EEC after EEC 0 and writes", "",
        "1 EEC 0\r1 EES 1024\r1 EED A\r1 EEW\r1 EED B\r1 EEW\r1 EEC\r", "0001 0083\r\n");
    row("EEC is modulo 256", "", "1 EEN 200\r1 EEW\r1 EEN 100\r1 EEW\r1 EEC\r", "0001 002C\r\n");
    row("EEC 0 resets", "", "1 EEN 200\r1 EEW\r1 EEC 0\r1 EEC\r", "0001 0000\r\n");
    row("EEC carries own node", "--node 10", "10 EEN 1\r10 EEW\r0 EEC\r", "000A 0001\r\n");
    row("EEADR write leaves the checksum", "", "1 EEU 4826\r1 EEADR 10,A\r1 EEC\r",
        "0001 0000\r\n");
    // Addressed access
    row("EEADR needs EEU", "", "1 EEADR 503\r1 EEADR 503,I\r1 EEU 4826\r1 EEADR 503\r",
        "00FF \xff\r\n");
    row("EEADR write and read", "", "1 EEU 4826\r1 EEADR 499,T\r\n1 EEADR 499\r", "0054 T\r\n");
    row("EEADR nothing after comma writes CR", "", "1 EEU 4826\r1 EEADR 498,\r\n1 EEADR 498\r",
        "000D \r\r\n");
    row("EEADDR writes", "", "1 EEU 4826\r1 EEADDR 503,I\r\n1 EEADR 503\r", "0049 I\r\n");
    row("EEADR leaves the address", "",
        "1 EES 20\r1 EEU 4826\r1 EEADR 3,Z\r1 EED q\r1 EEW\r1 EES 20\r1 EER\r", "0071 q\r\n");
    row("wrong unlock number locks", "", "1 EEU 4826\r1 EEU 4827\r1 EEADR 503\r", "");
    row("EES alone locks", "", "1 EEU 4826\r1 EES\r1 EEADR 503\r", "");
    row("RN locks", "", "1 EEU 4826\r1 RN\r1 EEADR 503\r", "");
    // Outside the memory
    row("EEW/EER past the end", "", "1 EES 8192\r1 EED A\r1 EEW\r1 EER\r1 EEC\r", "0001 0000\r\n");
    row("last byte is inside", "", "1 EES 8191\r1 EED A\r1 EEW\r1 EES 8191\r1 EER\r1 EER\r",
        "0041 A\r\n");
    row("small memory", "--eeprom-size 16", "1 EES 16\r1 EER\r0 EEBOOT\r", "0 0000\r\n");
    row("huge address", "", "1 EES 99999999999999999999999\r1 EEW\r1 EER\r", "");
    row("negative address ignored", "", "1 EES 3\r1 EES -2\r1 EED r\r1 EEW\r1 EES 3\r1 EER\r",
        "0072 r\r\n");
    row("EEADR out of range", "", "1 EEU 4826\r1 EEADR 9000,A\r1 EEADR 9000\r", "");
    row("huge node is not ours", "", "99999999999999999999 ST\r", "");
    // Macros
    row("ME and RN answer nothing", "", "\r0 ME 3\r\r0 ME 0\r\r0 RN\r", "");
    // Line options
    row("echo", "--echo", "\r0 ST\r", "\r0 ST\r0 0100\r\n");
    row("echo of other nodes too", "--echo", "2 ST\r", "2 ST\r");
    row("checksum worked value", "--checksum", "\r0 ST#?7\r", "0 0100#11\r\n");
    row("checksum bad", "--checksum", "\r0 ST#?8\r", "");
    row("checksum missing", "--checksum", "\r0 ST\r", "");
    row("checksum bad not executed", "--checksum", "\r0 EN#>4\r\r0 ST#?7\r", "0 0100#11\r\n");
    row("checksum on EED of CR", "--checksum",
        withCheck("1 EES 4") + "\r" + withCheck("1 EED ") + "\r" + withCheck("1 EEW") + "\r"
            + withCheck("1 EES 4") + "\r" + withCheck("1 EER") + "\r",
        withCheck("000D \r") + "\r\n");
    row("checksum on EED of #", "--checksum",
        withCheck("1 EED #") + "\r" + withCheck("1 EEW") + "\r" + withCheck("1 EES 0") + "\r"
            + withCheck("1 EER") + "\r",
        withCheck("0023 #") + "\r\n");
    // Faults
    row("drop every 2nd", "--drop-every 2", "0 ST\r1 ST\r01 ST\r", "0 0100\r\n01 0100\r\n");
    row("corrupt every 2nd", "--checksum --corrupt-every 2",
        withCheck("0 ST") + "\r" + withCheck("1 ST") + "\r",
        "0 0100#11\r\n1 0100#13\r\n"); // 1 0100 sums to 0x12
    row("bad write every 2nd", "--bad-write-every 2",
        "1 EEC 0\r1 EES 9\r1 EED A\r1 EEW\r1 EED B\r1 EEW\r1 EES 9\r1 EER\r1 EER\r1 EEC\r",
        "0041 A\r\n0043 C\r\n0001 0084\r\n");
    row("corrupt without checksum changes nothing", "--corrupt-every 1", "0 ST\r", "0 0100\r\n");
}

void TestSimController::answers()
{
    QFETCH(QString, args);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    const SimOptions options = optionsFrom(args);

    SimulatedController whole(options);
    whole.receive(input, 0);
    QCOMPARE(whole.takeOutput(0), expected);

    SimulatedController single(options);
    QByteArray out;
    for (char c : input) {
        single.receive(QByteArrayView(&c, 1), 0);
        out += single.takeOutput(0);
    }
    QCOMPARE(out, expected);
}

void TestSimController::moveRunsForTheMoveTime()
{
    SimulatedController c(optionsFrom(QStringLiteral("--move-ms 300")));
    c.receive("\r0 EN\r\r0 HO\r", 1000);
    c.receive("\r0 ST\r", 1299);
    QCOMPARE(c.takeOutput(1299), QByteArray("0 0001\r\n"));
    c.receive("\r0 ST\r", 1300);
    QCOMPARE(c.takeOutput(1300), QByteArray("0 0002\r\n"));
    QCOMPARE(c.statusWord(5000), quint16(0x0002));
    // A second home starts out of position again.
    c.receive("\r0 HO\r", 6000);
    QCOMPARE(c.statusWord(6000), quint16(0x0001));
    QCOMPARE(c.statusWord(6300), quint16(0x0002));
}

void TestSimController::abortEndsMoveAtOnce()
{
    SimulatedController c;
    c.receive("\r0 HO\r", 0);
    QCOMPARE(c.statusWord(10), quint16(0x0101));
    c.receive("\r0 AB\r", 10);
    QCOMPARE(c.statusWord(10), quint16(0x0100));
    // The aborted move does not come back into position later.
    QCOMPARE(c.statusWord(1000), quint16(0x0100));
}

void TestSimController::answerDelay()
{
    SimulatedController c(optionsFrom(QStringLiteral("--answer-delay-ms 50 --echo")));
    c.receive("0 ST\r", 100);
    QCOMPARE(c.takeOutput(100), QByteArray("0 ST\r"));
    QCOMPARE(c.nextOutputMs(), qint64(150));
    QCOMPARE(c.takeOutput(149), QByteArray());
    QCOMPARE(c.takeOutput(150), QByteArray("0 0100\r\n"));
    QCOMPARE(c.nextOutputMs(), qint64(-1));
}

void TestSimController::hangUpAfterLines()
{
    SimulatedController c(optionsFrom(QStringLiteral("--hangup-after 2")));
    c.receive("\r0 ST\r\r", 0);
    QVERIFY(!c.hungUp());
    c.receive("0 EN\r\r0 ST\r", 0);
    QVERIFY(c.hungUp());
    QCOMPARE(c.linesReceived(), qint64(2));
    QCOMPARE(c.takeOutput(0), QByteArray("0 0100\r\n"));
    QCOMPARE(c.statusWord(0), quint16(0x0000));
    c.receive("\r0 ST\r", 0);
    QCOMPARE(c.takeOutput(0), QByteArray());
}

void TestSimController::speedMismatchLosesEverything()
{
    SimulatedController c(optionsFrom(QStringLiteral("--echo")));
    c.setLineBaud(19200);
    c.receive("\r0 EN\r\r0 ST\r0 S", 0);
    QCOMPARE(c.takeOutput(0), QByteArray());
    QCOMPARE(c.linesReceived(), qint64(0));
    c.setLineBaud(9600);
    c.receive("T\r0 ST\r", 0);
    // The half line from before the change is spoilt; EN never arrived.
    QCOMPARE(c.takeOutput(0), QByteArray("T\r0 ST\r0 0100\r\n"));
    c.setLineBaud(-1); // a speed the terminal table does not know
    c.receive("0 ST\r", 0);
    QCOMPARE(c.takeOutput(0), QByteArray());
}

void TestSimController::outputQueueStaysBounded()
{
    SimulatedController c(optionsFrom(QStringLiteral("--echo --answer-delay-ms 1000")));
    const QByteArray line = "0 ST\r";
    for (int i = 0; i < 100000; ++i)
        c.receive(line, i / 100);
    const QByteArray out = c.takeOutput(1'000'000);
    QVERIFY(out.size() <= SimulatedController::kMaxPendingOutput);
    QVERIFY(out.startsWith("0 ST\r"));
    QVERIFY(!c.hasPendingOutput());
    // Room again once taken.
    c.receive(line, 2'000'000);
    QCOMPARE(c.takeOutput(3'000'000), QByteArray("0 ST\r0 0100\r\n"));
}

void TestSimController::memoryImageMustFit()
{
    SimulatedController c(optionsFrom(QStringLiteral("--eeprom-size 4")));
    QCOMPARE(c.memory(), QByteArray(4, char(0xFF)));
    QVERIFY(!c.setMemory("abc"));
    QVERIFY(!c.setMemory("abcde"));
    QCOMPARE(c.memory(), QByteArray(4, char(0xFF)));
    QVERIFY(c.setMemory("abcd"));
    c.receive("1 EES 2\r1 EER\r", 0);
    QCOMPARE(c.takeOutput(0), QByteArray("0063 c\r\n"));
}

void TestSimController::garbageNeverBreaksIt()
{
    // Random bytes with the command vocabulary mixed in, so that many lines parse.
    const char* words[] = { "1 EES ", "1 EEW", "1 EER", "1 EEN", "1 EED ", "1 EEU 4826", "1 EEADR ",
        ",", "1 EEC", "\r", "\n", "-", "99999999999", "8191", "0 HO", "0 ST", "#", " " };
    QRandomGenerator rng(12345);
    SimulatedController c(optionsFrom(QStringLiteral("--eeprom-size 8192 --echo")));
    qint64 total = 0;
    for (int round = 0; round < 20000; ++round) {
        QByteArray chunk;
        const int parts = rng.bounded(1, 8);
        for (int p = 0; p < parts; ++p) {
            if (rng.bounded(2)) {
                chunk += words[rng.bounded(int(std::size(words)))];
            } else {
                QByteArray junk(rng.bounded(1, 40), '\0');
                for (char& ch : junk)
                    ch = char(rng.bounded(256));
                chunk += junk;
            }
        }
        c.receive(chunk, round);
        total += c.takeOutput(round).size();
    }
    QCOMPARE(c.memory().size(), 8192);
    QVERIFY(total > 0);
    // Still in its right mind afterwards.
    c.receive("\r\r0 RN\r0 ST\r", 30000);
    QVERIFY(c.takeOutput(30000).endsWith("\r0 ST\r0 0100\r\n"));
}

void TestSimController::options_data()
{
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::newRow("defaults") << QString() << QString();
    QTest::newRow("all") << QStringLiteral(
        "--node 7 --status 0103 --move-ms 10 --eeprom-size 16 --echo --checksum "
        "--answer-delay-ms 5 --baud 19200 --pace --drop-every 3 --corrupt-every 4 "
        "--hangup-after 9 --bad-write-every 6 --eeprom m.bin --log l.txt --link /tmp/x --help")
                         << QString();
    QTest::newRow("equals form") << QStringLiteral("--node=3 --baud=57600") << QString();
    QTest::newRow("unknown") << QStringLiteral("--nod 3")
                             << QStringLiteral("unknown option \"--nod\" (see --help)");
    QTest::newRow("positional") << QStringLiteral(
        "extra") << QStringLiteral("unexpected argument \"extra\" (options start with --)");
    QTest::newRow("missing value")
        << QStringLiteral("--node") << QStringLiteral("option --node needs a value");
    QTest::newRow("not a number") << QStringLiteral("--node x1")
                                  << QStringLiteral("option --node: \"x1\" is not a whole number");
    QTest::newRow("signed") << QStringLiteral("--move-ms -5")
                            << QStringLiteral("option --move-ms: \"-5\" is not a whole number");
    QTest::newRow("node range") << QStringLiteral("--node 256")
                                << QStringLiteral("option --node: 256 is outside 0 to 255");
    QTest::newRow("status hex") << QStringLiteral("--status 10000")
                                << QStringLiteral("option --status: 10000 is outside 0 to FFFF");
    QTest::newRow("status not hex") << QStringLiteral(
        "--status 0x12") << QStringLiteral("option --status: \"0x12\" is not a hexadecimal number");
    QTest::newRow("odd baud") << QStringLiteral(
        "--baud 10000") << QStringLiteral("option --baud: 10000 is not a standard line speed");
    QTest::newRow("zero memory") << QStringLiteral(
        "--eeprom-size 0") << QStringLiteral("option --eeprom-size: 0 is outside 1 to 1048576");
    QTest::newRow("flag with value")
        << QStringLiteral("--echo=1") << QStringLiteral("option --echo takes no value");
    QTest::newRow("empty file") << QStringLiteral("--log=")
                                << QStringLiteral("option --log needs a file name");
}

void TestSimController::options()
{
    QFETCH(QString, args);
    QFETCH(QString, error);
    QString why;
    const auto o = parseSimOptions(args.split(QLatin1Char(' '), Qt::SkipEmptyParts), &why);
    QCOMPARE(why, error);
    QCOMPARE(o.has_value(), error.isEmpty());
    if (QByteArray(QTest::currentDataTag()) == "all") {
        QCOMPARE(o->node, 7);
        QCOMPARE(o->status, quint16(0x0103));
        QCOMPARE(o->moveMs, 10);
        QCOMPARE(o->eepromSize, 16);
        QVERIFY(o->echo && o->checksum && o->pace && o->help);
        QCOMPARE(o->answerDelayMs, 5);
        QCOMPARE(o->baud, 19200);
        QCOMPARE(o->dropEvery, 3);
        QCOMPARE(o->corruptEvery, 4);
        QCOMPARE(o->hangupAfter, 9);
        QCOMPARE(o->badWriteEvery, 6);
        QCOMPARE(o->eepromFile, QStringLiteral("m.bin"));
        QCOMPARE(o->logFile, QStringLiteral("l.txt"));
        QCOMPARE(o->linkPath, QStringLiteral("/tmp/x"));
    }
    if (QByteArray(QTest::currentDataTag()) == "defaults") {
        QCOMPARE(o->node, 1);
        QCOMPARE(o->status, quint16(0x0100));
        QCOMPARE(o->moveMs, 300);
        QCOMPARE(o->eepromSize, 8192);
        QCOMPARE(o->baud, 9600);
        QVERIFY(!o->echo && !o->checksum && !o->pace && !o->help);
    }
}

QTEST_GUILESS_MAIN(TestSimController)
#include "tst_simcontroller.moc"
