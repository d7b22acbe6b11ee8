#include "../common/simargs.h"

#include "link/framing.h"
#include "sim/simulatedcontroller.h"

#include <QTest>

namespace {

// Bytes received at `ms` (after the host set the line to `baud`, unless 0) and the
// bytes due by then.
struct Step
{
    qint64 ms = 0;
    QByteArray in;
    QByteArray out;
    int baud = 0;
};
using Script = QList<Step>;

QByteArray withCheck(const QByteArray& text)
{
    return text + '#' + toWire(checkCharacters(fromWire(text)));
}

// Lines with their check characters, each ended by CR.
QByteArray checked(std::initializer_list<QByteArray> lines)
{
    QByteArray out;
    for (const QByteArray& line : lines)
        out += withCheck(line) + '\r';
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Step)

class TestSimController : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answers_data();
    void answers();
    void nextOutputIsDue();
    void outputQueueStaysBounded();
    void memoryImageMustFit();
    void options_data();
    void options();
    void outerOptionsRead();
};

void TestSimController::answers_data()
{
    QTest::addColumn<QString>("args");
    QTest::addColumn<Script>("script");
    auto row = [](const char* name, const char* args, const QByteArray& in, const QByteArray& out) {
        QTest::newRow(name) << QString::fromLatin1(args) << Script { { 0, in, out } };
    };
    auto script = [](const char* name, const char* args, const Script& steps) {
        QTest::newRow(name) << QString::fromLatin1(args) << steps;
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
        checked({ "1 EES 4", "1 EED ", "1 EEW", "1 EES 4", "1 EER" }),
        withCheck("000D \r") + "\r\n");
    row("checksum on EED of #", "--checksum", checked({ "1 EED #", "1 EEW", "1 EES 0", "1 EER" }),
        withCheck("0023 #") + "\r\n");
    // Faults
    row("drop every 2nd", "--drop-every 2", "0 ST\r1 ST\r01 ST\r", "0 0100\r\n01 0100\r\n");
    row("corrupt every 2nd", "--checksum --corrupt-every 2", checked({ "0 ST", "1 ST" }),
        "0 0100#11\r\n1 0100#13\r\n"); // 1 0100 sums to 0x12
    row("bad write every 2nd", "--bad-write-every 2",
        "1 EEC 0\r1 EES 9\r1 EED A\r1 EEW\r1 EED B\r1 EEW\r1 EES 9\r1 EER\r1 EER\r1 EEC\r",
        "0041 A\r\n0043 C\r\n0001 0084\r\n");
    row("corrupt without checksum changes nothing", "--corrupt-every 1", "0 ST\r", "0 0100\r\n");
    // On the clock, and at other line speeds
    script("move runs for the move time", "--move-ms 250",
        { { 1000, "\r0 EN\r\r0 HO\r", "" }, { 1249, "\r0 ST\r", "0 0001\r\n" },
            { 1250, "\r0 ST\r", "0 0002\r\n" }, { 5000, "\r0 ST\r", "0 0002\r\n" },
            // A second home starts out of position again.
            { 6000, "\r0 HO\r\r0 ST\r", "0 0001\r\n" }, { 6250, "\r0 ST\r", "0 0002\r\n" } });
    script("a move takes 300 ms by default", "",
        { { 0, "\r0 EN\r\r0 HO\r", "" }, { 299, "\r0 ST\r", "0 0001\r\n" },
            { 300, "\r0 ST\r", "0 0002\r\n" } });
    // The aborted move does not come back into position later.
    script("abort ends the move at once", "",
        { { 0, "\r0 HO\r", "" }, { 10, "\r0 ST\r\r0 AB\r\r0 ST\r", "0 0101\r\n0 0100\r\n" },
            { 1000, "\r0 ST\r", "0 0100\r\n" } });
    script("answer delay", "--answer-delay-ms 50 --echo",
        { { 100, "0 ST\r", "0 ST\r" }, { 149, "", "" }, { 150, "", "0 0100\r\n" } });
    // The second line is still served and answered, nothing after it.
    script("hang-up after lines", "--hangup-after 2",
        { { 0, "\r0 EN\r\r0 ST\r\r0 ST\r", "0 0000\r\n" }, { 1, "\r0 ST\r", "" } });
    // The half line from before the change is spoilt; EN never arrived.
    script("other line speed loses everything", "--echo",
        { { 0, "\r0 EN\r\r0 ST\r0 S", "", 19200 }, { 0, "T\r0 ST\r", "T\r0 ST\r0 0100\r\n", 9600 },
            { 0, "0 ST\r", "", -1 } }); // a speed the terminal table does not know
}

// The whole input of each step at once, and one character at a time: the same bytes out.
void TestSimController::answers()
{
    QFETCH(QString, args);
    QFETCH(Script, script);
    SimulatedController whole(simOptions(args));
    SimulatedController single(simOptions(args));
    for (const Step& step : script) {
        if (step.baud) {
            whole.setLineBaud(step.baud);
            single.setLineBaud(step.baud);
        }
        whole.receive(step.in, step.ms);
        QCOMPARE(whole.takeOutput(step.ms), step.out);
        QByteArray out;
        for (char c : step.in) {
            single.receive(QByteArrayView(&c, 1), step.ms);
            out += single.takeOutput(step.ms);
        }
        QCOMPARE(out + single.takeOutput(step.ms), step.out);
    }
}

void TestSimController::nextOutputIsDue()
{
    SimulatedController c(simOptions(QStringLiteral("--answer-delay-ms 50")));
    c.receive("0 ST\r", 100);
    QCOMPARE(c.nextOutputMs(), qint64(150));
    c.takeOutput(150);
    QCOMPARE(c.nextOutputMs(), qint64(-1));
}

void TestSimController::outputQueueStaysBounded()
{
    SimulatedController c(simOptions(QStringLiteral("--echo --answer-delay-ms 1000")));
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
    SimulatedController c(simOptions(QStringLiteral("--eeprom-size 4")));
    QCOMPARE(c.memory(), QByteArray(4, char(0xFF)));
    QVERIFY(!c.setMemory("abc"));
    QVERIFY(!c.setMemory("abcde"));
    QCOMPARE(c.memory(), QByteArray(4, char(0xFF)));
    QVERIFY(c.setMemory("abcd"));
    c.receive("1 EES 2\r1 EER\r", 0);
    QCOMPARE(c.takeOutput(0), QByteArray("0063 c\r\n"));
}

void TestSimController::options_data()
{
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("error"); // empty: accepted
    auto row = [](const char* name, const char* args, const char* error) {
        QTest::newRow(name) << QString::fromLatin1(args) << QString::fromLatin1(error);
    };
    row("equals form", "--node=3 --baud=57600", "");
    row("unknown", "--nod 3", "unknown option \"--nod\" (see --help)");
    row("positional", "extra", "unexpected argument \"extra\" (options start with --)");
    row("missing value", "--node", "option --node needs a value");
    row("not a number", "--node x1", "option --node: \"x1\" is not a whole number");
    row("signed", "--move-ms -5", "option --move-ms: \"-5\" is not a whole number");
    row("node range", "--node 256", "option --node: 256 is outside 0 to 255");
    row("status hex", "--status 10000", "option --status: 10000 is outside 0 to FFFF");
    row("status not hex", "--status 0x12", "option --status: \"0x12\" is not a hexadecimal number");
    row("odd baud", "--baud 10000", "option --baud: 10000 is not a standard line speed");
    row("zero memory", "--eeprom-size 0", "option --eeprom-size: 0 is outside 1 to 1048576");
    row("flag with value", "--echo=1", "option --echo takes no value");
    row("empty file", "--log=", "option --log needs a file name");
}

void TestSimController::options()
{
    QFETCH(QString, args);
    QFETCH(QString, error);
    QString why;
    const auto o = parseSimOptions(args.split(QLatin1Char(' '), Qt::SkipEmptyParts), &why);
    QCOMPARE(why, error);
    QCOMPARE(o.has_value(), error.isEmpty());
}

// The options the interpreter does not act on itself (the rest show in the answers).
void TestSimController::outerOptionsRead()
{
    const SimOptions o = simOptions(
        QStringLiteral("--baud 19200 --pace --eeprom m.bin --log l.txt --link /tmp/x --help"));
    QCOMPARE(o.baud, 19200);
    QVERIFY(o.pace && o.help);
    QCOMPARE(QStringList({ o.eepromFile, o.logFile, o.linkPath }),
        QStringList({ "m.bin", "l.txt", "/tmp/x" }));
}

QTEST_GUILESS_MAIN(TestSimController)
#include "tst_simcontroller.moc"
