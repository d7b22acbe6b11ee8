// The simulated controller: its interpreter byte for byte, in-process on a
// pseudo-terminal (as --simulate runs it, PtySimulator and a QSerialPort on one event
// loop), and zaziruv-sim as a process serving until a signal.

#include "../common/datarow.h"
#include "../common/simargs.h"
#include "../common/simprocess.h"
#include "../common/testfiles.h"
#include "../common/waitfor.h"

#include "link/framing.h"
#include "link/portscanner.h"
#include "link/seriallink.h"
#include "link/telnetcodec.h"
#include "sim/ptysimulator.h"
#include "sim/simulatedcontroller.h"
#include "sim/simulatedline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

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
Q_DECLARE_METATYPE(PortEntry)

class TestSim : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answers_data()
    {
        addColumns<QString, Script>("args", "script");
        // Most rows start the simulator without options. What the diagnostic log and a
        // download rely on byte for byte (the queries, the status word, EED, EEDAT, EER,
        // EEADR, EEADDR, EEC, RN, the hang-up) is checked there: tst_configuration's cli,
        // tst_mainwindow, tst_download (the controller's memory afterwards) and line() below.
        auto row = [](const char* name, const QByteArray& in, const QByteArray& out,
                       const char* args = "") {
            addRow(name, QString::fromLatin1(args), Script { { 0, in, out } });
        };
        auto script = [](const char* name, const char* args, const Script& steps) {
            addRow(name, QString::fromLatin1(args), steps);
        };
        // Status word
        row("XST is a status query", "\r1 XST\r", "1 0100\r\n");
        row("own node answered", "\r5 ST\r", "5 0100\r\n", "--node 5");
        row("other node ignored", "\r1 ST\r\r2 ST\r", "", "--node 5");
        row("node as received", "\r01 ST\r", "01 0100\r\n");
        row("DI sets bit 8", "\r0 EN\r\r0 DI\r\r0 ST\r", "0 0100\r\n");
        row("HO starts a move", "\r0 EN\r\r0 HO\r\r0 ST\r", "0 0001\r\n");
        row("RN restores the start status", "\r0 DI\r\r0 RN\r\r0 ST\r", "0 0004\r\n",
            "--status 0004");
        row("lower-case command", "\r0 st\r", "0 0100\r\n");
        // Line handling
        row("LF ignored anywhere", "\n0 S\nT\r\n", "0 0100\r\n");
        row("empty lines ignored", "\r\r\n\r", "");
        row("unknown command ignored", "\r0 FOO 12\r\r0 ST\r", "0 0100\r\n");
        row("line without address ignored", "\rST\r\r ST\r", "");
        row("binary garbage ignored", QByteArray("\x00\xff\x80#\x1b[A\r", 8), "");
        row("over-long line dropped, next served", QByteArray(10000, 'A') + "0 ST\r\r0 ST\r",
            "0 0100\r\n");
        // Queries
        row("EEBOOT boot macro 2", "1 EES 501\r1 EEN 2\r1 EEW\r0 EEBOOT\r", "0 0002\r\n");
        // Memory: writes and reads
        row("erased memory reads 255", "1 EES 0\r1 EER\r", "00FF \xff\r\n");
        row("EED with a second blank loads a blank", "1 EES 10\r1 EED  \r1 EEW\r1 EES 10\r1 EER\r",
            "0020  \r\n");
        row("EEN-1 is 255", "1 EES 5\r1 EEN-1\r1 EEW\r1 EES 5\r1 EER\r", "00FF \xff\r\n");
        row("EEN 300 modulo 256", "1 EES 5\r1 EEN 300\r1 EEW\r1 EES 5\r1 EER\r", "002C ,\r\n");
        row("EEN -256 is 0", "1 EES 5\r1 EEN -256\r1 EEW\r1 EES 5\r1 EER\r",
            QByteArray("0000 \0\r\n", 8));
        row("EEN without number keeps the byte",
            "1 EES 5\r1 EED Q\r1 EEN x\r1 EEW\r1 EES 5\r1 EER\r", "0051 Q\r\n");
        // Memory checksum
        row("EEC 0 resets", "1 EEN 200\r1 EEW\r1 EEC 0\r1 EEC\r", "0001 0000\r\n");
        row("EEC carries own node", "10 EEN 1\r10 EEW\r0 EEC\r", "000A 0001\r\n", "--node 10");
        row("EEADR write leaves the checksum", "1 EEU 4826\r1 EEADR 10,A\r1 EEC\r",
            "0001 0000\r\n");
        // Addressed access
        row("EEADR needs EEU", "1 EEADR 503\r1 EEADR 503,I\r1 EEU 4826\r1 EEADR 503\r",
            "00FF \xff\r\n");
        row("EEADR leaves the address",
            "1 EES 20\r1 EEU 4826\r1 EEADR 3,Z\r1 EED q\r1 EEW\r1 EES 20\r1 EER\r", "0071 q\r\n");
        row("wrong unlock number locks", "1 EEU 4826\r1 EEU 4827\r1 EEADR 503\r", "");
        row("EES alone locks", "1 EEU 4826\r1 EES\r1 EEADR 503\r", "");
        row("RN locks", "1 EEU 4826\r1 RN\r1 EEADR 503\r", "");
        // Outside the memory
        row("EEW/EER past the end", "1 EES 8192\r1 EED A\r1 EEW\r1 EER\r1 EEC\r", "0001 0000\r\n");
        row("last byte is inside", "1 EES 8191\r1 EED A\r1 EEW\r1 EES 8191\r1 EER\r1 EER\r",
            "0041 A\r\n");
        row("small memory", "1 EES 16\r1 EER\r0 EEBOOT\r", "0 0000\r\n", "--eeprom-size 16");
        row("huge address", "1 EES 99999999999999999999999\r1 EEW\r1 EER\r", "");
        row("negative address ignored", "1 EES 3\r1 EES -2\r1 EED r\r1 EEW\r1 EES 3\r1 EER\r",
            "0072 r\r\n");
        row("EEADR out of range", "1 EEU 4826\r1 EEADR 9000,A\r1 EEADR 9000\r", "");
        row("huge node is not ours", "99999999999999999999 ST\r", "");
        // Macros
        row("ME and RN answer nothing", "\r0 ME 3\r\r0 ME 0\r\r0 RN\r", "");
        // Line options
        row("echo", "\r0 ST\r", "\r0 ST\r0 0100\r\n", "--echo");
        row("echo of other nodes too", "2 ST\r", "2 ST\r", "--echo");
        row("checksum worked value", "\r0 ST#?7\r", "0 0100#11\r\n", "--checksum");
        row("checksum bad", "\r0 ST#?8\r", "", "--checksum");
        row("checksum missing", "\r0 ST\r", "", "--checksum");
        row("checksum bad not executed", "\r0 EN#>4\r\r0 ST#?7\r", "0 0100#11\r\n", "--checksum");
        row("checksum on EED of CR", checked({ "1 EES 4", "1 EED ", "1 EEW", "1 EES 4", "1 EER" }),
            withCheck("000D \r") + "\r\n", "--checksum");
        row("checksum on EED of #", checked({ "1 EED #", "1 EEW", "1 EES 0", "1 EER" }),
            withCheck("0023 #") + "\r\n", "--checksum");
        // Faults
        row("drop every 2nd", "0 ST\r1 ST\r01 ST\r", "0 0100\r\n01 0100\r\n", "--drop-every 2");
        row("corrupt every 2nd", checked({ "0 ST", "1 ST" }), "0 0100#11\r\n1 0100#13\r\n",
            "--checksum --corrupt-every 2"); // 1 0100 sums to 0x12
        row("bad write every 2nd",
            "1 EEC 0\r1 EES 9\r1 EED A\r1 EEW\r1 EED B\r1 EEW\r1 EES 9\r1 EER\r1 EER\r1 EEC\r",
            "0041 A\r\n0043 C\r\n0001 0084\r\n", "--bad-write-every 2");
        row("corrupt without checksum changes nothing", "0 ST\r", "0 0100\r\n",
            "--corrupt-every 1");
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
        // The half line from before the change is spoilt; EN never arrived.
        script("other line speed loses everything", "--echo",
            { { 0, "\r0 EN\r\r0 ST\r0 S", "", 19200 },
                { 0, "T\r0 ST\r", "T\r0 ST\r0 0100\r\n", 9600 },
                { 0, "0 ST\r", "", -1 } }); // a speed the terminal table does not know
    }
    // The whole input of each step at once, and one character at a time: the same bytes out.
    void answers()
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

    // Several controllers on one line (--nodes): which of them answers a line, and that
    // each keeps its own memory and state. "answers": the answers each made, in the order
    // of --nodes. As above, the input whole and one character at a time.
    void sharedLine_data()
    {
        addColumns<QString, QByteArray, QByteArray, QList<qint64>>("args", "in", "out", "answers");
        const char* two = "--nodes 1,2";
        const auto row = [](const char* name, const char* args, const QByteArray& in,
                             const QByteArray& out, const QList<qint64>& answers) {
            addRow(name, QString::fromLatin1(args), in, out, answers);
        };
        row("to node 1: node 1 alone", two, "1 ST\r", "1 0100\r\n", QList<qint64> { 1, 0 });
        row("to node 2: node 2 alone", two, "2 ST\r", "2 0100\r\n", QList<qint64> { 0, 1 });
        row("to node 3: nobody", two, "3 ST\r3 EEC\r", "", QList<qint64> { 0, 0 });
        row("each checksum names its node", two, "2 EEC\r1 EEC\r", "0002 0000\r\n0001 0000\r\n",
            QList<qint64> { 1, 1 });
        row("broadcast: the first answers", two, "0 ST\r0 EEC\r", "0 0100\r\n0001 0000\r\n",
            QList<qint64> { 2, 0 });
        row("broadcast: the first as listed", "--nodes 2,1", "0 EEC\r", "0002 0000\r\n",
            QList<qint64> { 1, 0 });
        row("broadcast: every node carries it out", two, "0 EN\r1 ST\r2 ST\r",
            "1 0000\r\n2 0000\r\n", QList<qint64> { 1, 1 });
        row("broadcast write reaches every memory", two,
            "0 EES 10\r0 EED A\r0 EEW\r1 EES 10\r1 EER\r2 EES 10\r2 EER\r", "0041 A\r\n0041 A\r\n",
            QList<qint64> { 1, 1 });
        row("memories apart", two, "1 EES 10\r1 EED A\r1 EEW\r2 EES 10\r2 EER\r1 EES 10\r1 EER\r",
            "00FF \xff\r\n0041 A\r\n", QList<qint64> { 1, 1 });
        row("states apart", two, "1 EN\r1 ST\r2 ST\r", "1 0000\r\n2 0100\r\n",
            QList<qint64> { 1, 1 });
        row("answers in the order asked", "--nodes 1,2,3", "3 ST\r2 ST\r1 ST\r3 ST\r",
            "3 0100\r\n2 0100\r\n1 0100\r\n3 0100\r\n", QList<qint64> { 1, 1, 2 });
        row("one echo, the first node's", "--nodes 1,2 --echo", "2 ST\r", "2 ST\r2 0100\r\n",
            QList<qint64> { 0, 1 });
        row("one node as --node", "--nodes 2", "0 ST\r2 ST\r1 ST\r", "0 0100\r\n2 0100\r\n",
            QList<qint64> { 2 });
    }
    void sharedLine()
    {
        QFETCH(QString, args);
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        QFETCH(QList<qint64>, answers);
        SimulatedLine whole(simOptions(args));
        SimulatedLine single(simOptions(args));
        whole.receive(in, 0);
        QByteArray bytewise;
        for (char c : in) {
            single.receive(QByteArrayView(&c, 1), 0);
            bytewise += single.takeOutput(0);
        }
        QCOMPARE(whole.takeOutput(0), out);
        QCOMPARE(bytewise, out);
        QCOMPARE(whole.size(), answers.size());
        for (qsizetype i = 0; i < whole.size(); ++i) {
            QCOMPARE(whole.controller(i).answersMade(), answers[i]);
            QCOMPARE(single.controller(i).answersMade(), answers[i]);
        }
        QCOMPARE(whole.nextOutputMs(), qint64(-1));
    }

    // Answers due later (an answer delay) still leave in the order the lines came, and
    // a shared line's queue is bounded as one controller's.
    void sharedLineQueue()
    {
        SimulatedLine line(simOptions(QStringLiteral("--nodes 1,2 --answer-delay-ms 50")));
        line.receive("2 ST\r1 ST\r", 100);
        line.receive("2 ST\r", 120);
        QCOMPARE(line.nextOutputMs(), qint64(150));
        QCOMPARE(line.takeOutput(149), QByteArray());
        QCOMPARE(line.takeOutput(150), QByteArray("2 0100\r\n1 0100\r\n"));
        QCOMPARE(line.takeOutput(170), QByteArray("2 0100\r\n"));
        for (int i = 0; i < 100000; ++i)
            line.receive(i % 2 ? "1 ST\r" : "2 ST\r", 200);
        const QByteArray flood = line.takeOutput(1000);
        QVERIFY(flood.size() <= SimulatedController::kMaxPendingOutput);
        QVERIFY(flood.startsWith("2 0100\r\n1 0100\r\n"));
        QCOMPARE(line.nextOutputMs(), qint64(-1));
    }

    void outputQueueStaysBounded()
    {
        SimulatedController c(simOptions(QStringLiteral("--echo --answer-delay-ms 1000")));
        const QByteArray line = "0 ST\r";
        for (int i = 0; i < 100000; ++i)
            c.receive(line, i / 100);
        const QByteArray out = c.takeOutput(1'000'000);
        QVERIFY(out.size() <= SimulatedController::kMaxPendingOutput);
        QVERIFY(out.startsWith("0 ST\r"));
        QVERIFY(!c.hasPendingOutput());
        // Room again once taken; the echo is due at once, the answer 1000 ms later.
        c.receive(line, 2'000'000);
        QCOMPARE(c.nextOutputMs(), qint64(2'000'000));
        QCOMPARE(c.takeOutput(2'000'999), QByteArray("0 ST\r"));
        QCOMPARE(c.nextOutputMs(), qint64(2'001'000));
        QCOMPARE(c.takeOutput(2'001'000), QByteArray("0 0100\r\n"));
        QCOMPARE(c.nextOutputMs(), qint64(-1));
    }

    void options_data()
    {
        // (The "--name=value" form: refusedStart and linkAndMemoryImage.)
        addColumns<QString, QString>("args", "error"); // empty: accepted
        addRow("unknown", "--nod 3", "unknown option \"--nod\" (see --help)");
        addRow("positional", "extra", "unexpected argument \"extra\" (options start with --)");
        addRow("missing value", "--node", "option --node needs a value");
        addRow("not a number", "--node x1", "option --node: \"x1\" is not a whole number");
        addRow("signed", "--move-ms -5", "option --move-ms: \"-5\" is not a whole number");
        addRow("node range", "--node 256", "option --node: 256 is outside 0 to 255");
        addRow("status hex", "--status 10000", "option --status: 10000 is outside 0 to FFFF");
        addRow("status not hex", "--status 0x12",
            "option --status: \"0x12\" is not a hexadecimal number");
        addRow("odd baud", "--baud 10000", "option --baud: 10000 is not a standard line speed");
        addRow("zero memory", "--eeprom-size 0", "option --eeprom-size: 0 is outside 1 to 1048576");
        addRow("flag with value", "--echo=1", "option --echo takes no value");
        addRow("empty file", "--log=", "option --log needs a file name");
        const char* notNodes = "option --nodes: \"%1\" is not a list of nodes from 1 to 255 "
                               "(node 0 is everybody's)";
        addRow("nodes not a number", "--nodes 1,x", QString::fromLatin1(notNodes).arg("1,x"));
        addRow("nodes with node 0", "--nodes 0,1", QString::fromLatin1(notNodes).arg("0,1"));
        addRow("nodes empty item", "--nodes 1,,2", QString::fromLatin1(notNodes).arg("1,,2"));
        addRow("nodes twice the same", "--nodes 1,2,1", "option --nodes: node 1 is given twice");
        addRow("node and nodes", "--nodes 1,2 --node 3", "give --node or --nodes, not both");
        addRow("two nodes", "--nodes 1,2", "");
    }
    void options()
    {
        QFETCH(QString, args);
        QFETCH(QString, error);
        QString why;
        const QStringList argv = args.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const auto o = parseSimOptions(argv, &why);
        QCOMPARE(why, error);
        QCOMPARE(o.has_value(), error.isEmpty());
        if (o)
            return;
        // The executable refuses it too: status 2 and the message.
        const ProcessRun r = runProcess(appBinary("zaziruv-sim"), argv);
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.errText(), "zaziruv-sim: " + error + '\n');
        QVERIFY(r.out.isEmpty());
    }

    // The simulator on its pseudo-terminal as the host sees it: the answers; under
    // --pace, at no moment more characters taken or sent than the line could have carried
    // since they were written (10 bits a character; the first one too); under
    // --hangup-after, the answers made first still arrive, the last line is never read,
    // and the host sees the line go away. With nothing to deliver the line goes at once,
    // even in the simulator's first moments (a probe that waits only a few ms must see it
    // gone).
    void line_data()
    {
        addColumns<QString, QByteArray, QByteArray>("args", "sent", "answers");
        const QByteArray st = frameCommand(QStringLiteral("0 ST"), false).repeated(20);
        const QByteArray echoed = QByteArray("\r0 ST\r0 0100\r\n").repeated(20);
        addRow("pace at 9600", "--echo --pace --baud 9600", st, echoed);
        addRow("pace at 57600", "--echo --pace --baud 57600", st, echoed);
        addRow("two nodes, paced: one whole answer at a time", "--nodes 1,2 --pace --baud 57600",
            QByteArray("\r1 ST\r\r2 ST\r").repeated(20),
            QByteArray("1 0100\r\n2 0100\r\n").repeated(20));
        addRow("hang-up: the answers made first still arrive", "--hangup-after 2",
            QByteArray("\r0 ST\r\r1 ST\r\r0 ST\r"), QByteArray("0 0100\r\n1 0100\r\n"));
        addRow("hang-up with nothing answered yet", "--hangup-after 1 --answer-delay-ms 60000",
            QByteArray("\r0 ST\r"), QByteArray());
    }
    void line()
    {
        QFETCH(QString, args);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answers);
        const SimOptions options = simOptions(args);
        PtySimulator sim(options);
        QVERIFY(sim.start());
        QSignalSpy hung(&sim, &PtySimulator::hungUp);
        QSerialPort port(sim.slavePath()); // no flow control
        port.setBaudRate(options.baud);
        QVERIFY(port.open(QIODevice::ReadWrite));
        bool withinRate = true;
        bool lagged = false; // the controller had hung up while the line was still there
        const qint64 charNs = 10'000'000'000LL / options.baud;
        QElapsedTimer sinceWrite;
        const auto check = [&] {
            const qint64 allowed = sinceWrite.nsecsElapsed() / charNs;
            withinRate = withinRate && sim.bytesReceived() <= allowed && sim.bytesSent() <= allowed;
        };
        connect(&sim, &PtySimulator::lineReceived, this, check);
        sinceWrite.start();
        port.write(sent);
        QByteArray got;
        QVERIFY(waitFor([&] {
            check();
            got += port.readAll();
            lagged = lagged || (sim.controller().hungUp() && hung.isEmpty());
            return options.hangupAfter ? hung.count() == 1 : got.size() >= answers.size();
        }));
        QCOMPARE(got, answers);
        QVERIFY(withinRate || !options.pace);
        if (!options.hangupAfter)
            return;
        QVERIFY(sim.hasHungUp());
        QCOMPARE(sim.controller().linesReceived(), qint64(options.hangupAfter));
        QCOMPARE(lagged, !answers.isEmpty());
        QVERIFY(waitFor([&] { return port.error() != QSerialPort::NoError || !port.isOpen(); }));
        QVERIFY(sim.stop());
    }

    // A start that would spoil a file is refused and leaves it as it was: a link over a
    // plain file, a memory image smaller or larger than the memory ("@": the file).
    void refusedStart_data()
    {
        addColumns<QString, QByteArray, QString>("args", "file", "error");
        const QByteArray image(100, 'i');
        addRow("link over a plain file", "--link @", QByteArray("keep me"),
            "@ exists and is not a symbolic link; it is left alone");
        addRow("smaller image", "--eeprom @", image,
            "the memory image @ holds 100 bytes, not the 8192 of --eeprom-size; give "
            "--eeprom-size to match it");
        addRow("larger image", "--eeprom-size=99 --eeprom @", image,
            "the memory image @ holds 100 bytes, not the 99 of --eeprom-size; give "
            "--eeprom-size to match it");
    }
    void refusedStart()
    {
        QFETCH(QString, args);
        QFETCH(QByteArray, file);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tyx"));
        QVERIFY(writeFile(path, file));
        PtySimulator sim(simOptions(args.split(' ').replaceInStrings("@", path)));
        QVERIFY(!sim.start());
        QCOMPARE(sim.errorString(), error.replace('@', path));
        QVERIFY(!sim.isRunning());
        QCOMPARE(readFile(path), file);
    }

    // A stale link from an earlier run is replaced, and removed at the end. The memory
    // image is written at the end, atomically, and read at the next start.
    void linkAndMemoryImage()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyTYX"));
        const QString image = dir.filePath(QStringLiteral("tyx.eeprom"));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), link));
        const QStringList args { "--eeprom-size=100", "--eeprom", image, "--link", link };
        PtySimulator made(simOptions(args));
        QVERIFY(made.start());
        QCOMPARE(QFileInfo(link).symLinkTarget(), made.slavePath());
        QVERIFY(!QFileInfo::exists(image));
        made.controller().receive("1 EES 99\r1 EED q\r1 EEW\r", 0);
        QVERIFY(made.stop());
        QVERIFY(!QFileInfo(link).isSymLink());
        const QByteArray bytes = QByteArray(99, char(0xFF)) + 'q';
        QCOMPARE(readFile(image), bytes);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { "tyx.eeprom" });
        PtySimulator again(simOptions(args));
        QVERIFY(again.start());
        QCOMPARE(again.controller().memory(), bytes);
    }

    // With --nodes each node keeps its memory in a file of its own, the node's number
    // appended to the name, written at the end and read at the next start; a bad one is
    // refused by its name.
    void memoryPerNode()
    {
        QTemporaryDir dir;
        const QString image = dir.filePath(QStringLiteral("tyx.eeprom"));
        const QStringList args { "--eeprom-size=100", "--eeprom", image, "--nodes", "3,1" };
        PtySimulator made(simOptions(args));
        QVERIFY(made.start());
        made.line().receive("1 EES 99\r1 EED q\r1 EEW\r", 0);
        QVERIFY(made.stop());
        const QByteArray erased(100, char(0xFF));
        const QByteArray bytes = QByteArray(99, char(0xFF)) + 'q';
        QCOMPARE(readFile(image + ".3"), erased);
        QCOMPARE(readFile(image + ".1"), bytes);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
            QStringList({ "tyx.eeprom.1", "tyx.eeprom.3" }));
        PtySimulator again(simOptions(args));
        QVERIFY(again.start());
        QCOMPARE(again.line().node(1), 1);
        QCOMPARE(again.line().controller(1).memory(), bytes);
        QCOMPARE(again.line().controller(0).memory(), erased);
        QVERIFY(again.stop());

        QVERIFY(writeFile(image + ".3", "short"));
        PtySimulator refused(simOptions(args));
        QVERIFY(!refused.start());
        QCOMPARE(refused.errorString(),
            "the memory image " + image
                + ".3 holds 5 bytes, not the 100 of --eeprom-size; give --eeprom-size to "
                  "match it");
    }

    // zaziruv-sim through its pseudo-terminal to a real serial port: the memory byte
    // written is in the image at exit; the log keeps what was there and gets every
    // line, escaped, a line feed leading into a line included.
    void servesUntilSignal_data()
    {
        addColumns<int>("signo");
        addRow("SIGTERM", int(SIGTERM));
        addRow("SIGINT", int(SIGINT));
    }
    void servesUntilSignal()
    {
        QFETCH(int, signo);
        QTemporaryDir dir;
        const QString log = dir.filePath("sim.log");
        const QString image = dir.filePath("tyx.eeprom");
        QVERIFY(writeFile(log, "earlier\n"));
        SimProcess sim({ "--log", log, "--eeprom", image });
        QVERIFY(sim.isValid());

        QSerialPort port(sim.path()); // 9600 baud, 8 data bits, no parity: the simulator's
        QVERIFY(port.open(QIODevice::ReadWrite));
        port.write(QByteArray("\r0 ST\r1 EEADR 4,\r\n9 X\x01\x7f\\\xe9\r", 26)
            + "1 EES 2000\r1 EED Z\r1 EEW\r1 EES 2000\r1 EER\r");
        QVERIFY(port.waitForBytesWritten(10000));
        const QByteArray expected = "0 0100\r\n005A Z\r\n";
        QByteArray got;
        while (got.size() < expected.size() && port.waitForReadyRead(10000))
            got += port.readAll();
        QCOMPARE(got, expected);
        QCOMPARE(sim.stop(signo), 0);

        QCOMPARE(readFile(log),
            "earlier\n0 ST\n1 EEADR 4,\n\\n9 X\\x01\\x7F\\\\\\xE9\n1 EES 2000\n1 EED Z\n1 EEW\n"
            "1 EES 2000\n1 EER\n");
        QByteArray memory(8192, char(0xFF));
        memory[2000] = 'Z';
        QCOMPARE(readFile(image), memory);
    }

    // The port list as people and scripts read it, byte for byte.
    void portList_data()
    {
        addColumns<PortEntry, QString, QByteArray>("port", "text", "json");
        PortEntry usb;
        usb.device = "/dev/ttyUSB1";
        usb.stablePath = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
        usb.vendorId = "0403";
        usb.productId = "6001";
        usb.serialNumber = "A9\"1";
        usb.description = "FTDI FT232R USB UART";
        usb.driver = "ftdi_sio";
        usb.locked = true;
        usb.holderPid = 4242;
        usb.holderProgram = "minicom";
        addRow("usb adapter held by minicom", usb,
            QString("/dev/ttyUSB1\n  stable name: /dev/serial/by-id/usb-FTDI_FT232R-if00-port0\n"
                    "  usb: 0403:6001\n  serial number: A9\"1\n  usb name: usb:0403:6001:A9\"1\n"
                    "  description: FTDI FT232R USB UART\n  driver: ftdi_sio\n"
                    "  in use: by minicom (PID 4242)\n  access: yes\n"),
            QByteArray("[\n    {\n        \"accessible\": true,\n        \"description\": \"FTDI "
                       "FT232R USB UART\",\n        \"device\": \"/dev/ttyUSB1\",\n        "
                       "\"driver\": \"ftdi_sio\",\n        \"group\": null,\n        "
                       "\"holderPid\": 4242,\n        \"holderProgram\": \"minicom\",\n        "
                       "\"locked\": true,\n        \"productId\": \"6001\",\n        "
                       "\"serialNumber\": \"A9\\\"1\",\n        \"stablePath\": "
                       "\"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0\",\n        \"usbName\": "
                       "\"usb:0403:6001:A9\\\"1\",\n        \"vendorId\": \"0403\"\n    }\n]\n"));
        PortEntry uart;
        uart.device = "/dev/ttyS0";
        uart.driver = "serial8250";
        uart.locked = true; // EBUSY, and no process the system shows
        uart.accessible = false;
        uart.group = "dialout";
        addRow("uart of another user", uart,
            QString("/dev/ttyS0\n  driver: serial8250\n  in use: by another program\n"
                    "  access: no: join the group dialout (sudo adduser $USER dialout, then log "
                    "in again)\n"),
            QByteArray("[\n    {\n        \"accessible\": false,\n        \"description\": null,\n"
                       "        \"device\": \"/dev/ttyS0\",\n        \"driver\": \"serial8250\",\n"
                       "        \"group\": \"dialout\",\n        \"holderPid\": null,\n        "
                       "\"holderProgram\": null,\n        \"locked\": true,\n        "
                       "\"productId\": null,\n        \"serialNumber\": null,\n        "
                       "\"stablePath\": null,\n        \"usbName\": null,\n        \"vendorId\": "
                       "null\n    }\n]\n"));
    }
    void portList()
    {
        QFETCH(PortEntry, port);
        QFETCH(QString, text);
        QFETCH(QByteArray, json);
        QCOMPARE(formatPortsText({ port }), text);
        QCOMPARE(formatPortsJson({ port }), json);
        QCOMPARE(formatPortsText({}), QString("no serial devices found\n"));
        QCOMPARE(formatPortsJson({}), QByteArray("[\n]\n"));
    }

    // A fake machine in a scratch directory: two FTDI adapters (one under udev's
    // by-id name, one locked by a running program, the other's lock stale), a UART,
    // a 16550 node without one, a console. Names resolve as an open resolves them.
    void portScan_data()
    {
        addColumns<QString, QString>("name", "resolved");
        addRow("by-id", QString("@dev/serial/by-id/usb-FTDI-A1-if00"), QString("@dev/ttyUSB3"));
        addRow("usb with serial", QString("usb:0403:6001:A1"), QString("@dev/ttyUSB3"));
        addRow("usb, upper case ids", QString("usb:0403:6001:B2"), QString("@dev/ttyUSB0"));
        addRow("usb, gone", QString("usb:0403:6001:C3"),
            QString("!no adapter usb:0403:6001:C3 is plugged in"));
        addRow("usb, ambiguous", QString("usb:0403:6001"),
            QString("!2 adapters match usb:0403:6001 (@dev/ttyUSB0, @dev/ttyUSB3): name one by its "
                    "serial number"));
        addRow(
            "by-id, unplugged", QString("@dev/serial/by-id/usb-gone"), QString("!no such device"));
        addRow("node", QString("@dev/ttyS9"), QString("@dev/ttyS9"));
        addRow("network", QString("rfc2217://h:2217"), QString("rfc2217://h:2217"));
    }
    void portScan()
    {
        QFETCH(QString, name);
        QFETCH(QString, resolved);
        QTemporaryDir tmp;
        const QString root = tmp.path() + '/';
        const auto mk = [&](const QString& path, const QByteArray& content = {}) {
            QDir().mkpath(QFileInfo(root + path).path());
            return writeFile(root + path, content);
        };
        const auto ln = [&](const QString& target, const QString& path) {
            QDir().mkpath(QFileInfo(root + path).path());
            return QFile::link(target, root + path);
        };
        const auto usbAdapter = [&](const QString& usbDir, const QString& tty,
                                    const QByteArray& vid, const QByteArray& serial) {
            const QString port = usbDir + "/1-1:1.0/" + tty;
            return mk(usbDir + "/idVendor", vid + "\n") && mk(usbDir + "/idProduct", "6001\n")
                && mk(usbDir + "/serial", serial + "\n") && mk(usbDir + "/manufacturer", "FTDI\n")
                && mk(usbDir + "/product", "FT232R USB UART\n")
                && ln(root + "sys/bus/usb-serial/drivers/ftdi_sio", port + "/driver")
                && ln(root + port, "sys/class/tty/" + tty + "/device") && mk("dev/" + tty);
        };
        QVERIFY(QDir().mkpath(root + "sys/bus/usb-serial/drivers/ftdi_sio"));
        QVERIFY(QDir().mkpath(root + "sys/bus/platform/drivers/serial8250"));
        QVERIFY(usbAdapter("sys/devices/usb1/1-1", "ttyUSB3", "0403", "A1"));
        QVERIFY(usbAdapter("sys/devices/usb1/1-2", "ttyUSB0", "0403", "B2"));
        QVERIFY(ln("../../ttyUSB3", "dev/serial/by-id/usb-FTDI-A1-if00"));
        QVERIFY(ln("../../ttyUSB7", "dev/serial/by-id/usb-gone"));
        for (const QString uart : { "ttyS0", "ttyS1" }) {
            QVERIFY(mk("sys/devices/platform/serial8250/" + uart + "/x"));
            QVERIFY(ln(root + "sys/devices/platform/serial8250/" + uart,
                "sys/class/tty/" + uart + "/device"));
            QVERIFY(ln(root + "sys/bus/platform/drivers/serial8250",
                "sys/devices/platform/serial8250/" + uart + "/driver"));
            QVERIFY(mk("sys/class/tty/" + uart + "/type", uart == "ttyS0" ? "4\n" : "0\n"));
            QVERIFY(mk("dev/" + uart));
        }
        QVERIFY(mk("sys/class/tty/tty0/dev") && mk("dev/tty0"));
        QVERIFY(mk("run/lock/LCK..ttyUSB3", "      4242\n") && mk("proc/4242/comm", "minicom\n"));
        QVERIFY(mk("var/lock/LCK..ttyUSB0", "      4343\n"));
        QVERIFY(mk("proc/4343x/comm"));
        QVERIFY(mk("dev/ttyS9"));

        PortScanner::Roots roots;
        roots.dev = root + "dev";
        roots.sys = root + "sys";
        roots.proc = root + "proc";
        roots.lockDirs = QStringList { root + "run/lock", root + "var/lock" };
        const PortScanner scanner(roots);
        const QList<PortEntry> ports = scanner.scan();
        QStringList seen;
        for (const PortEntry& p : ports)
            seen << p.summary().replace(root, "@") + " " + p.driver;
        QCOMPARE(seen,
            QStringList({ "@dev/ttyS0, free serial8250",
                "@dev/ttyUSB0, 0403:6001, FTDI FT232R USB UART, free ftdi_sio",
                "@dev/ttyUSB3, 0403:6001, FTDI FT232R USB UART, in use by minicom (PID 4242) "
                "ftdi_sio" }));
        QCOMPARE(ports[2].preferredName(), root + "dev/serial/by-id/usb-FTDI-A1-if00");
        QCOMPARE(ports[1].preferredName(), QString("usb:0403:6001:B2"));

        QString error;
        QString got = scanner.resolve(name.replace(QChar(0x40), root), &error);
        QCOMPARE(got.isEmpty() ? '!' + error.replace(root, "@") : got.replace(root, "@"), resolved);
    }

    void lockPid_data()
    {
        addColumns<QByteArray, qint64>("content", "pid");
        addRow("ascii", QByteArray("      1234\n"), qint64(1234));
        addRow("binary", QByteArray("\xd2\x04\0\0", 4), qint64(1234));
        addRow("empty", QByteArray(), qint64(0));
        addRow("text", QByteArray("locked by me\n"), qint64(0));
    }
    void lockPid()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, pid);
        QCOMPARE(PortScanner::parseLockPid(content).value_or(0), pid);
    }

    // A port another program holds is named with that program; `ports` lists a
    // pseudo-terminal it is given, without a stable name.
    void portHeld()
    {
        SimProcess sim;
        QVERIFY(sim.isValid());
        SerialLink first;
        QVERIFY(first.open(sim.path(), 9600));
        SerialLink second;
        QVERIFY(!second.open(sim.path(), 9600));
        QCOMPARE(second.failureReason(),
            QString("busy (in use by tst_sim, PID %1)").arg(qint64(::getpid())));
        first.close();

        const ProcessRun r
            = runProcess(appBinary("zaziruv-cli"), { "--port", sim.path(), "ports", "--json" });
        QCOMPARE(r.exitCode, 0);
        const QJsonArray list = QJsonDocument::fromJson(r.out).array();
        const auto pty = std::find_if(list.begin(), list.end(), [&](const QJsonValue& v) {
            return v["device"].toString() == QFileInfo(sim.path()).canonicalFilePath();
        });
        QVERIFY2(pty != list.end(), r.out.constData());
        QCOMPARE(pty->toObject()["driver"].toString(), QString("pseudo-terminal"));
        QVERIFY(pty->toObject()["stablePath"].isNull());
        QCOMPARE(pty->toObject()["accessible"].toBool(), true);
    }

    // A controller behind ser2net, raw TCP or RFC 2217 (with a banner before the
    // server's answers), is programmed as one on the local port: the same memory
    // image, the same directory.
    void networkPort_data()
    {
        addColumns<QString>("scheme");
        addRow("raw tcp", QString("socket"));
        addRow("rfc 2217", QString("rfc2217"));
    }
    void networkPort()
    {
        QFETCH(QString, scheme);
        const QString ser2net = QStandardPaths::findExecutable("ser2net", { "/usr/sbin", "/sbin" });
        if (ser2net.isEmpty())
            QSKIP("ser2net is not installed (scripts/setup installs it)");
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("run.cmd"), "1 HO\r\n1 ST 8\r\n"));
        QMap<QString, QByteArray> dirOutput;
        QMap<QString, QByteArray> memory;
        for (const QString& way : { QString("local"), scheme }) {
            const QString image = dir.filePath(way + ".eeprom");
            SimProcess sim({ "--eeprom", image });
            QVERIFY(sim.isValid());
            QString port = sim.path();
            QProcess server;
            if (way != "local") {
                QTcpServer probe; // a free port for the server
                QVERIFY(probe.listen(QHostAddress::LocalHost));
                const quint16 tcp = probe.serverPort();
                probe.close();
                const QString accepter = way == "socket"
                    ? QString("tcp,127.0.0.1,%1").arg(tcp)
                    : QString("telnet(rfc2217),tcp,127.0.0.1,%1").arg(tcp);
                server.start(ser2net,
                    { "-n", "-u", "-P", dir.filePath("ser2net.pid"), "-Y", "connection: &tyx", "-Y",
                        "  accepter: " + accepter, "-Y",
                        "  connector: serialdev," + sim.path() + ",9600n81,local", "-Y",
                        "  options:", "-Y",
                        way == "socket" ? QString("    kickolduser: true")
                                        : QString("    banner: \"tyx line\\r\\n\"") });
                QVERIFY(server.waitForStarted());
                QVERIFY(waitFor([&] {
                    QTcpSocket knock;
                    knock.connectToHost(QHostAddress::LocalHost, tcp);
                    return knock.waitForConnected(1000) || server.state() == QProcess::NotRunning;
                }));
                QVERIFY2(server.state() == QProcess::Running, server.readAllStandardError());
                port = QString("%1://127.0.0.1:%2").arg(way).arg(tcp);
            }
            const auto cli = [&](const QStringList& args) {
                ProcessOptions options;
                options.workingDirectory = dir.path();
                options.closeInput = true;
                options.environment = homeEnvironment(dir);
                return runProcess(appBinary("zaziruv-cli"),
                    QStringList { "--settings", dir.filePath("s.json"), "--dir", dir.path(),
                        "--port", port, "--baud", "9600" }
                        + args + QStringList { "--node", "1", "--delay", "1" },
                    options);
            };
            const ProcessRun load = cli({ "download", "run.cmd", "--reset" });
            QVERIFY2(load.exitCode == 0, load.err.constData());
            const ProcessRun listing = cli({ "dir" });
            QVERIFY2(listing.exitCode == 0, listing.err.constData());
            dirOutput[way] = listing.out;
            if (way != "local") {
                server.terminate();
                QVERIFY(server.waitForFinished());
            }
            QCOMPARE(sim.stop(), 0);
            memory[way] = readFile(image);
        }
        QCOMPARE(dirOutput[scheme], dirOutput["local"]);
        QCOMPARE(memory[scheme], memory["local"]);
    }

    // The Telnet framing of RFC 2217, byte for byte: data in with commands and
    // doubled 0xFF, data out, and what the client answers.
    void telnet_data()
    {
        addColumns<QByteArray, QByteArray, QByteArray, bool>("in", "data", "replies", "acked");
        addRow("plain", QByteArray("0 0100\r\n"), QByteArray("0 0100\r\n"), QByteArray(), false);
        addRow("doubled 0xff",
            QByteArray("a\xff\xff"
                       "b"),
            QByteArray("a\xff"
                       "b"),
            QByteArray(), false);
        addRow("our options, agreed",
            QByteArray("\xff\xfd\x00\xff\xfb\x03\xff\xfd\x2c"
                       "x",
                10),
            QByteArray("x"), QByteArray(), false);
        addRow("echo and others refused once",
            QByteArray("\xff\xfb\x01\xff\xfd\x18\xff\xfb\x01"
                       "y"),
            QByteArray("y"), QByteArray("\xff\xfe\x01\xff\xfc\x18"), false);
        addRow("purge answered, banner kept as data",
            QByteArray("hi\r\n\xff\xfa\x2c\x70\x03\xff\xf0"
                       "z"),
            QByteArray("hi\r\nz"), QByteArray(), true);
        addRow("0xff inside a subnegotiation",
            QByteArray("\xff\xfa\x2c\x65\x00\x00\xff\xff\xff\xf0\xff\xfa\x2c\x70\x03\xff\xf0", 17),
            QByteArray(), QByteArray(), true);
        addRow("nop and go-ahead",
            QByteArray("\xff\xf1"
                       "a\xff\xf9"),
            QByteArray("a"), QByteArray(), false);
    }
    void telnet()
    {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, replies);
        QFETCH(bool, acked);
        // Whole, and cut after every byte: a command split over two reads.
        for (const qsizetype step : { in.size(), qsizetype(1) }) {
            TelnetCodec codec;
            QByteArray gotData;
            QByteArray gotReplies;
            for (qsizetype at = 0; at < in.size(); at += step)
                gotData += codec.decode(in.mid(at, step), gotReplies);
            QCOMPARE(gotData, data);
            QCOMPARE(gotReplies, replies);
            QCOMPARE(codec.acknowledged(TelnetCodec::PurgeData), acked);
        }
        QCOMPARE(TelnetCodec::escape("a\xff"
                                     "b\xff"),
            QByteArray("a\xff\xff"
                       "b\xff\xff"));
        QCOMPARE(TelnetCodec::openingSequence(57600),
            QByteArray("\xff\xfb\x00\xff\xfd\x00\xff\xfb\x03\xff\xfd\x03\xff\xfb\x2c"
                       "\xff\xfa\x2c\x01\x00\x00\xe1\x00\xff\xf0\xff\xfa\x2c\x02\x08\xff\xf0"
                       "\xff\xfa\x2c\x03\x01\xff\xf0\xff\xfa\x2c\x04\x01\xff\xf0"
                       "\xff\xfa\x2c\x05\x01\xff\xf0\xff\xfa\x2c\x0c\x03\xff\xf0",
                60));
    }

    // --help and --version answer on standard output and start nothing: no pseudo-
    // terminal, no port (the CLI's --port names one that does not exist).
    void programInfo_data()
    {
        addColumns<QString, QStringList, QString>("program", "args", "out");
        const QString version
            = QStringLiteral("^%1 " ZZ_PROJECT_VERSION "( \\(\\S+\\))?\nQt 6\\.\\d+\\.\\d+\n$");
        addRow("sim usage", QString("zaziruv-sim"), QStringList { "--help" },
            "^Usage: zaziruv-sim .*" + QRegularExpression::escape(simOptionsHelp()));
        addRow("sim version", QString("zaziruv-sim"), QStringList { "--version" },
            version.arg("zaziruv-sim"));
        addRow("cli version", QString("zaziruv-cli"), QStringList { "--version" },
            version.arg("zaziruv-cli"));
        addRow("cli version among options", QString("zaziruv-cli"),
            QStringList { "--port", "/nonexistent/ttyQ", "--version", "dir" },
            version.arg("zaziruv-cli"));
    }
    void programInfo()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        const ProcessRun r = runProcess(appBinary(program), args);
        QCOMPARE(r.exitCode, 0);
        const QRegularExpression expected(out, QRegularExpression::DotMatchesEverythingOption);
        QVERIFY2(expected.match(r.outText()).hasMatch(), r.out.constData());
        QVERIFY(r.err.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
