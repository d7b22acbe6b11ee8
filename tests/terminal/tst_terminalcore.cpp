// Number reading, command framing and answer checksums byte for byte, and the drain
// of the serial port; then the main window's logic against a pseudo-terminal: what
// goes out on the wire for each command, and what each answer turns into. Arbitrary
// answers and text are the fuzz harnesses' (fuzz/framing.cpp: framed and unframed text
// comes back, one check character off loses it; fuzz/numbers.cpp: hexadecimal reads
// only its leading digits, decimals stay finite and survive writing).

#include "../common/corerig.h"
#include "../common/datarow.h"
#include "../common/ptypair.h"
#include "../common/simargs.h"
#include "../common/waitfor.h"

#include "cmdrun/commandfilerunner.h"
#include "core/eventwait.h"
#include "core/numbers.h"
#include "core/ticktimer.h"
#include "link/framing.h"
#include "link/trafficlog.h"
#include "link/trafficrecorder.h"
#include "sim/ptysimulator.h"
#include "terminal/answerparser.h"
#include "terminal/terminalcore.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

struct Rig : CoreRig
{
    PtyPair pty;
    qint64 bytesRead = 0; // what the receive handler has taken from the port so far
    qint64 bytesWritten = 0; // what the program queued on the port so far
    qint64 bytesTaken = 0; // what the test took off the wire so far

    Rig()
    {
        core->setDeviceOverride(pty.slavePath());
        core->openPort();
        core->link().setTracer([this](SerialLink::Direction d, const QByteArray& bytes) {
            (d == SerialLink::Direction::Read ? bytesRead : bytesWritten) += bytes.size();
        });
    }

    // The port goes before the pseudo-terminal behind it (see the runner's rig).
    ~Rig() { core.reset(); }

    // Feeds an answer as the controller would, and waits until the receive handler
    // has read it.
    void answer(const QByteArray& bytes)
    {
        const qint64 target = bytesRead + bytes.size();
        pty.write(bytes);
        QVERIFY(waitFor([&] { return bytesRead >= target; }));
    }

    // Everything the program wrote since the last call, once all of it is on the wire.
    QByteArray wire()
    {
        const QByteArray got = pty.read(bytesWritten - bytesTaken, 10000);
        bytesTaken += got.size();
        return got;
    }

    // Sends a command as the Send button does, and takes it off the wire.
    void send(const QString& command)
    {
        core->setCommandText(command);
        core->sendCommand();
        wire();
    }
};

// A row as "→ text", with "@n" after it when it began with chunk n (counted from 1).
QString rowSummary(const TrafficRow& row, bool withChunk)
{
    QString s = trafficArrow(row.kind) + QLatin1Char(' ') + trafficRowText(row);
    if (withChunk)
        s += QStringLiteral(" @%1").arg(row.monoNs);
    return s;
}

// Every row the port's recorder hands on, as rowSummary.
struct RowLog
{
    QStringList rows;
    explicit RowLog(SerialLink& link)
    {
        QObject::connect(&link.traffic(), &TrafficRecorder::rowReady, &link,
            [this](const TrafficRow& row) { rows << rowSummary(row, false); });
    }
};

QByteArray withCheck(const QByteArray& text)
{
    return text + '#' + checkCharacters(QString::fromLatin1(text)).toLatin1();
}

} // namespace

class TstTerminalCore : public QObject
{
    Q_OBJECT
private Q_SLOTS:

    // A local port that goes is watched for under the same name and opened again when
    // it is back and no other window works; the traffic record says so.
    // Ticks on demand (the CLI): a wait woken once, at its last tick or its time,
    // sees its whole count then; one nested in it is woken on every tick; between
    // waits the ticks are counted unseen. (Waits that never end fail by waitFor's
    // guard; no wait is timed.)
    void ticksOnDemand_data()
    {
        addColumns<int, qint64, bool>("ticks", "notBeforeNs", "nested");
        addRow("one tick", 1, qint64(0), false);
        addRow("five ticks", 5, qint64(0), false);
        addRow("a time, no tick", 0, qint64(3'000'000), false);
        addRow("ticks and a later time", 2, qint64(6'000'000), false);
        addRow("nested every-tick wait", 4, qint64(0), true);
    }
    void ticksOnDemand()
    {
        QFETCH(int, ticks);
        QFETCH(qint64, notBeforeNs);
        QFETCH(bool, nested);
        TickTimer& timer = TickTimer::instance();
        const bool wasRunning = timer.isRunning();
        timer.setPeriodMs(1);
        timer.start();
        timer.setWakesOnDemand(true);
        const auto restore = qScopeGuard([&] {
            timer.setWakesOnDemand(false);
            if (!wasRunning)
                timer.stop();
        });
        for (int round = 0; round < 20; ++round) {
            QElapsedTimer clock;
            clock.start();
            const TickTimer::Demand demand(timer, ticks, notBeforeNs);
            const qint64 start = timer.count();
            if (nested) {
                const TickTimer::Demand inner(timer);
                const qint64 innerStart = timer.count();
                QVERIFY(waitFor([&] { return timer.since(innerStart) >= 2; }));
            }
            QVERIFY(waitFor([&] {
                return timer.since(start) >= ticks && clock.nsecsElapsed() >= notBeforeNs;
            }));
        }
    }

    void reconnectWhenIdle()
    {
        CoreRig rig;
        const QString link = rig.dir.filePath(QStringLiteral("ttyTYX"));
        const SimOptions options = simOptions(QStringLiteral("--link ") + link);
        auto first = std::make_unique<PtySimulator>(options);
        QVERIFY(first->start());
        rig.core->setReconnectWhenIdle(true);
        rig.core->setDeviceOverride(link);
        rig.core->openPort();
        QVERIFY(rig.core->link().isOpen());
        RowLog log(rig.core->link());
        rig.core->holdPort(); // an operation runs
        QVERIFY(first->stop());
        QVERIFY(waitFor([&] { return !rig.core->link().isOpen(); }));
        QVERIFY(rig.core->waitingForPort());
        PtySimulator second(options);
        QVERIFY(second.start());
        QVERIFY(!rig.core->link().isOpen());
        rig.core->releasePort();
        QVERIFY(waitFor([&] { return rig.core->link().isOpen(); }));
        QVERIFY(!rig.core->waitingForPort());
        QCOMPARE(log.rows.filter(QStringLiteral("reconnected")),
            QStringList { "-- port " + link + " reconnected" });
        rig.core.reset(); // the port goes before the simulator behind it
    }
    void checksum_data()
    {
        // The check characters: the sum modulo 256, a character from "0" on for each half.
        // ("0 HO#>7" on the wire: sending().)
        addColumns<QString, QString>("text", "check");
        addRow("0 EN", QStringLiteral("0 EN"), QStringLiteral(">3"));
        addRow("0 DI", QStringLiteral("0 DI"), QStringLiteral("=="));
        addRow("abc wraps", QStringLiteral("abc"), QStringLiteral("26"));
        addRow("empty", QString(), QStringLiteral("00"));
        addRow("multiple of 256", QString(2, QChar(128)), QStringLiteral("00"));
    }
    void checksum()
    {
        QFETCH(QString, text);
        QFETCH(QString, check);
        ChecksumState s;
        s.text = text;
        calc_cksum(s);
        const QChar chars[2] = { QChar(s.check1), QChar(s.check2) };
        QCOMPARE(QString(chars, 2), check);
    }

    void verify_data()
    {
        // (A good check and a wrong one on an answer: answers().)
        addColumns<QString, QString>("buffer", "after");
        addRow("trailing text after check", "1 ST#?8junk\r", "1 ST");
        addRow("A-F form does not verify", "0 HO#E7\r", "");
        addRow("one check character", "1 ST#?", "");
        addRow("no check character", "1 ST#", "");
        addRow("no hash unchanged", "1 ST\r", "1 ST\r");
    }
    void verify()
    {
        QFETCH(QString, buffer);
        QFETCH(QString, after);
        Calc_RX_Cksum(buffer);
        QCOMPARE(buffer, after);
    }

    // Hexadecimal as the controller answers: readHex takes the leading digits (up to
    // four a 16-bit value, up to eight a 32-bit one), calc32bit the last eight before a
    // CR, lower-case letters counting 0.
    void hex_data()
    {
        addColumns<QString, int, int>("text", "hex", "bits32");
        addRow("empty", "", 0, 0);
        addRow("four digits", "0103", 0x103, 0x103);
        addRow("16-bit negative", "8000", -32768, 0x8000);
        addRow("16-bit -1", "FFFF", -1, 0xFFFF);
        addRow("five digits are 32-bit", "0FFFF", 0xFFFF, 0xFFFF);
        addRow("-100", "FFFFFF9C", -100, -100);
        addRow("-1", "FFFFFFFF", -1, -1);
        addRow("max", "7FFFFFFF", 2147483647, 2147483647);
        addRow("min", "80000000", int(-2147483647 - 1), int(-2147483647 - 1));
        addRow("100", "00000064", 100, 100);
        addRow("500 short", "0001F4", 500, 500);
        addRow("cut at CR", "1F4\rFF", 500, 500);
        addRow("lower case is no digit", "ff", 0, 0);
        addRow("lower case after digits", "000000ff", 0, 0);
        addRow("nine digits overflow; the last eight", "123456789", 0, 0x23456789);
        addRow("ten digits", "12345678FF", 0, 0x345678FF);
    }
    void hex()
    {
        QFETCH(QString, text);
        QFETCH(int, hex);
        QFETCH(int, bits32);
        QCOMPARE(readHex(text), hex);
        QCOMPARE(calc32bit(text), bits32);
    }

    // (Fractions: tst_commandfilerunner's waits, which round what this reads.)
    void decimal_data()
    {
        addColumns<QString, double>("text", "value");
        addRow("plain", "500", 500.0);
        addRow("leading blanks", "   3 apples", 3.0);
        addRow("negative", "-8>A", -8.0);
        addRow("nothing", "x12", 0.0);
        addRow("empty", "", 0.0);
    }
    void decimal()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(readDecimal(text), value);
    }

    // The drain ends no earlier than the line time of what was written, and at once
    // when the port goes away (300 bytes at 300 baud: ten seconds of line time). A
    // port that stops sending ends it as a lost port, with the bytes it kept.
    void drain_data()
    {
        addColumns<int, int, QString>("baud", "bytes", "end");
        addRow("9600", 9600, 48, QString());
        addRow("57600", 57600, 200, QString());
        addRow("port closes", 300, 300, QString("closed"));
        addRow("output stopped", 9600, 48, QString("stalled"));
    }
    void drain()
    {
        QFETCH(int, baud);
        QFETCH(int, bytes);
        QFETCH(QString, end);
        PtyPair pty;
        SerialLink link;
        QVERIFY(link.open(pty.slavePath(), baud));
        QSignalSpy lost(&link, &SerialLink::lost);
        if (end == "stalled")
            pty.stopOutput();
        QElapsedTimer clock;
        clock.start();
        // The second half queues behind the first: the line is busy until both left.
        link.write(QByteArray(bytes / 2, 'a'));
        link.write(QByteArray(bytes - bytes / 2, 'b'));
        if (end == "closed")
            QTimer::singleShot(20, &link, &SerialLink::close);
        link.waitForDrain();
        QCOMPARE(link.isOpen(), end.isEmpty());
        if (end == "stalled") {
            const QString reason = "The serial port does not send (" + pty.slavePath() + ": "
                + QString::number(bytes) + " bytes stayed queued)";
            QCOMPARE(lost, QList<QVariantList> { { reason } });
            QCOMPARE(link.failureReason(), reason);
            QVERIFY(link.statusText().endsWith(reason));
            link.waitForDrain(); // over at once: nothing is waited for again
            return;
        }
        QVERIFY(lost.isEmpty());
        QCOMPARE(link.lineBusyNs() > 0, !end.isEmpty());
        if (!end.isEmpty())
            return;
        QVERIFY(clock.nsecsElapsed() >= link.lineTimeNs(bytes));
        QCOMPARE(pty.read(bytes).size(), bytes);
    }

    // Flags: l sent as a literal, s with the skip-next flag set, r one message box,
    // q a status query ("0 ST" kept for the answer filter), c the port closed (its one
    // box, and no history). An empty wire: nothing goes out.
    // (A plain command, +REPEAT and a literal on the wire: tst_commandfilerunner's runs
    // and literalIsUnframed.)
    void sending_data()
    {
        addColumns<QString, int, int, QString, QString>(
            "command", "checksum", "counter", "wire", "flags");
        addRow("0 HO checksum", "0 HO", 1, 1, "\r0 HO#>7\r", "");
        addRow("status wait sends the query only", "0 ST 8 16>DONE", 0, 1, "\r0 ST\r", "q");
        addRow("checksum covers the query only", "0 ST 8", 1, 1,
            "\r" + QString::fromLatin1(withCheck("0 ST")) + '\r', "q");
        addRow("lower case without trailing blank", "0 st", 0, 1, "\r0 st\r", "");
        addRow("trailing blank", "0 ST ", 0, 1, "\r0 ST\r", "q");
        addRow("-REPEAT", "0 EEADR 0.5-repeat", 0, 3, "\r0 EEADR -2.5\r", "");
        addRow("*REPEAT", "0 EEADR 500*REPEAT", 0, 3, "\r0 EEADR 1500\r", "");
        addRow("%REPEAT", "0 EEADR 1000%REPEAT", 0, 3, "\r0 EEADR 333.333333333333\r", "");
        addRow("DELAY is never sent", "delay 100", 0, 1, "", "");
        addRow("skip-next flag", "0 HO", 0, 1, "", "s");
        addRow("%REPEAT with counter 0", "0 EEADR 1000%REPEAT", 0, 0, "", "r");
        addRow("no blank before the number", "0 EEADR+REPEAT", 0, 1, "", "r");
        addRow("port closed", "0 HO", 0, 1, "", "cr");
        addRow("port closed, literal", "0 HO", 0, 1, "", "clr");
    }
    void sending()
    {
        QFETCH(QString, command);
        QFETCH(int, checksum);
        QFETCH(int, counter);
        QFETCH(QString, wire);
        QFETCH(QString, flags);
        Rig rig;
        QVERIFY(rig.core->link().isOpen());
        if (flags.contains('c'))
            rig.core->link().close();
        rig.cfg.CheckSumChk = checksum;
        rig.core->setRepeatCounter(qint16(counter));
        rig.core->setSkipNext(flags.contains('s'));
        rig.core->setCommandText(command);
        flags.contains('l') ? rig.core->sendLiteral() : rig.core->sendCommand();
        QCOMPARE(rig.wire(), wire.toLatin1());
        QCOMPARE(rig.core->commandHistory(),
            flags.contains('c') ? QStringList() : QStringList { command });
        QVERIFY(!rig.core->skipNext());
        QCOMPARE(rig.prompter.shown.size(), flags.contains('r') ? 1 : 0);
        if (flags.contains('c'))
            QCOMPARE(rig.prompter.texts(), QStringList { "Serial Port not configured properly!" });
        if (!flags.contains('l') && !wire.isEmpty()) {
            QCOMPARE(rig.core->statusQueryPrefix(),
                flags.contains('q') ? QStringLiteral("0 ST") : QString());
            QCOMPARE(rig.core->awaitingAnswer(), 1);
        }
    }

    // What the command mode takes as the answer from what it has received so far,
    // and what it keeps when that is no answer yet.
    void parse_data()
    {
        addColumns<QString, QString, QString, bool, bool, bool, QString, QString, bool, bool>(
            "received", "command", "prefix", "wait", "checksum", "complete", "line", "buffer",
            "rejected", "status");
        addRow("plain", "0 00000004\r", "0 PFB", "", false, false, true, "0 00000004",
            "0 00000004\r", false, false);
        addRow("leading LF, first of two lines", "\n0 0100\r\n0 0200\r\n", "0 ST", "", false, false,
            true, "0 0100", "0 0100\r", false, true);
        addRow("lower-case st is a status query", "0 0100\r", "0 st", "", false, false, true,
            "0 0100", "0 0100\r", false, true);
        addRow(
            "no line end yet", "\n0 01", "0 ST", "", false, false, false, "", "0 01", false, true);
        addRow("longest text without a line end", QString(TerminalCore::MaxPending, 'A'), "0 ST",
            "", false, false, false, "", QString(TerminalCore::MaxPending, 'A'), false, true);
        addRow("longer is dropped", QString(TerminalCore::MaxPending + 1, 'A'), "0 ST", "", false,
            false, false, "", "", false, true);
        addRow(
            "too short stays", "OK\r", "0 HO", "", false, false, false, "", "OK\r", false, false);
        addRow("echo and 3 after it", "0 PFB\r\r\n0 00000004\r", "0 PFB", "", false, false, true,
            "0 00000004", "0 00000004\r", false, false);
        addRow("echo and 5 after it, checksum",
            QString::fromLatin1(withCheck("0 PFB") + "\r\n" + withCheck("0 00000004") + "\r"),
            "0 PFB", "", false, true, true, "0 00000004", "0 00000004", false, false);
        addRow("status query echo", "0 ST\r\r\n0 0100\r\n", "0 ST 8", "0 ST", false, false, true,
            "0 0100", "0 0100\r", false, true);
        addRow("status query echo, answer to come", "0 ST\r\r\n0 01", "0 ST 8", "0 ST", false,
            false, false, "", "0 01", false, true);
        addRow("checksum wrong", "0 00000004#00\r", "0 PFB", "", false, true, true, "", "", true,
            false);
        addRow("checksum missing", "0 00000004\r", "0 PFB", "", false, true, true, "", "", true,
            false);
        addRow("wait: another node's status", "10 0003\r\n", "0 ST", "", true, false, false, "", "",
            false, true);
        addRow("wait: high byte set", "0 0103\r\n", "0 ST", "", true, false, true, "0 0103",
            "0 0103\r", false, true);
        // The older rule: any text with a blank and "00" in its first three characters.
        addRow("wait: 00 in front", "X 00ZZ\r", "0 ST", "", true, false, true, "X 00ZZ", "X 00ZZ\r",
            false, true);
    }
    void parse()
    {
        QFETCH(QString, received);
        QFETCH(QString, command);
        QFETCH(QString, prefix);
        QFETCH(bool, wait);
        QFETCH(bool, checksum);
        const ParsedAnswer a = parseAnswer(received,
            { .command = command,
                .statusQueryPrefix = prefix,
                .statusWait = wait,
                .checksum = checksum,
                .maxPending = TerminalCore::MaxPending });
        QTEST(a.complete, "complete");
        QTEST(a.line, "line");
        QTEST(a.buffer, "buffer");
        QTEST(a.rejected, "rejected");
        QTEST(a.statusQuery, "status");
    }

    void answers_data()
    {
        addColumns<QString, int, int, QByteArray, QString, QString>(
            "command", "decimal", "checksum", "answer", "shown", "last");
        const QString none; // no line in the receive list
        addRow("32-bit decimal", "0 PFB", 1, 0, QByteArray("0 00000004\r"), "0  4", "0 00000004");
        addRow("status decimal", "0 ST", 1, 0, QByteArray("0 0100\r\n"), "0  256", "0 0100");
        addRow("-100", "1 PFB", 1, 0, QByteArray("1 FFFFFF9C\r"), "1 -100", "1 FFFFFF9C");
        addRow(
            "hex node", "10 PFB", 0, 0, QByteArray("0A 000001F4\r"), "10  000001F4", "0A 000001F4");
        addRow("checksum good", "0 ST", 1, 1, withCheck("0 0100") + "\r\n", "0  256", "0 0100");
        addRow("checksum wrong", "0 PFB", 1, 1, QByteArray("0 00000004#00\r"), "", "");
        addRow("checksum wrong on a status", "0 ST", 1, 1, QByteArray("0 0100#00\r\n"), "", "");
        addRow("checksum missing", "0 PFB", 1, 1, QByteArray("0 00000004\r"), "", "");
        addRow("two answers in one read", "0 ST", 0, 0, QByteArray("0 0100\r\n0 0200\r\n"),
            "0  0100", "0 0100");
        addRow("too short stays", "0 HO", 1, 0, QByteArray("OK\r"), none, "");
        addRow("binary garbage", "0 ST", 1, 0, QByteArray("\xff\xfe\x01\x80 \x7f\r", 7), "0  0",
            QString::fromLatin1("\xff\xfe\x01\x80 \x7f"));
        addRow("one byte per event", "0 ST", 1, 0, QByteArray("0 0100\r\n"), "0  256", "0 0100");
        addRow("read length 1", "0 ST", 1, 0, QByteArray("0 0103\r\n"), "0  259", "0 0103");
        // What the reception filter of a status wait ("wait" rows) keeps of an answer to
        // "0 ST": only four hexadecimal digits of node 0, "00" at position 3 before the
        // high byte.
        addRow("wait: 00 in front", "0 ST", 1, 0, QByteArray("0 0004\r\n"), "0  4", "");
        addRow("wait: high byte set", "0 ST", 1, 0, QByteArray("0 0103\r\n"), "0  259", "");
        addRow("wait: negative limit", "0 ST", 1, 0, QByteArray("0 8000\r\n"), "0 -32768", "");
        addRow(
            "wait: high byte, checksum", "0 ST", 1, 1, withCheck("0 0103") + "\r\n", "0  259", "");
        addRow("wait: high byte, no check characters", "0 ST", 1, 1, QByteArray("0 0103\r\n"), none,
            "");
        for (const char* refused : { "10 0003", "10 0004", "000004", "0 12345", "0 12G4" })
            addRow(qPrintable(QStringLiteral("wait: %1").arg(refused)), "0 ST", 1, 0,
                QByteArray(refused) + "\r\n", none, "");
    }
    void answers()
    {
        QFETCH(QString, command);
        QFETCH(int, decimal);
        QFETCH(int, checksum);
        QFETCH(QByteArray, answer);
        QFETCH(QString, shown);
        QFETCH(QString, last);
        Rig rig;
        rig.cfg.ChkDecimal = decimal;
        rig.cfg.CheckSumChk = checksum;
        rig.cfg.ChkStatus = 1;
        const QByteArray tag = QTest::currentDataTag();
        if (tag == "read length 1") {
            rig.core->enterCommand(command);
            rig.core->openPort(); // as Execute does
            QCOMPARE(rig.core->readLength(), 1);
            rig.wire();
        } else {
            rig.send(command);
        }
        const bool wait = tag.startsWith("wait");
        rig.core->setStatusWaitMode(wait);
        for (; tag == "one byte per event" && answer.size() > 1; answer.remove(0, 1)) {
            QVERIFY(rig.core->recentAnswers().isEmpty());
            rig.answer(answer.left(1));
        }
        rig.answer(answer);
        QCOMPARE(rig.core->recentAnswers(), shown.isNull() ? QStringList() : QStringList { shown });
        if (wait)
            return;
        QCOMPARE(rig.core->lastResponse(), last);
        if (!shown.isEmpty())
            QCOMPARE(rig.core->awaitingAnswer(), 0);
        // A rejected answer is never decoded as a status.
        const bool rejected = checksum == 1 && !shown.isNull() && shown.isEmpty();
        QCOMPARE(rig.core->answerRejected(), rejected);
        QCOMPARE(rig.core->statusLines().low.isEmpty(), !command.contains("ST") || last.isEmpty());
    }

    // A flood without line ends, far faster than reads of one character take it, on a
    // line of its own that counts what it took.
    void endlessAnswerIsBounded()
    {
        Rig rig;
        int master = -1;
        int slave = -1;
        QString path;
        QVERIFY(openRawPty(master, slave, path));
        rig.core->setDeviceOverride(path);
        rig.core->openPort();
        rig.core->enterCommand(QStringLiteral("0 ST"));
        qint64 fed = rig.bytesRead;
        const QByteArray flood(32 * 1024, 'A');
        for (int i = 0; i < 64; ++i) {
            fed += std::max<ssize_t>(0, ::write(master, flood.constData(), size_t(flood.size())));
            processPendingEvents();
            QVERIFY(rig.core->link().bytesAvailable() <= SerialLink::MaxReadBuffer);
            QVERIFY(rig.core->responseBuffer().size() <= TerminalCore::MaxPending);
        }
        rig.core->setReadLength(0);
        QVERIFY(waitFor([&] { return rig.bytesRead >= fed; }));
        QCOMPARE(::write(master, "0 0100\r\n", 8), ssize_t(8));
        QVERIFY(waitFor([&] { return !rig.core->recentAnswers().isEmpty(); }));
        QCOMPARE(rig.core->recentAnswers().size(), 1);
        rig.core->link().close();
        ::close(master);
        ::close(slave);
    }

    void decoding_data()
    {
        addColumns<int, QByteArray, QStringList, QStringList, bool>(
            "decode", "answer", "list1", "list2", "red");
        using L = QStringList;
        addRow("0010 not an alert", 1, QByteArray("0 0010\r\n"),
            L { "Motor Stopped", "Out of Position", "Position Mode",
                "*** Trajectory percent complete ***", "Drive Enabled" },
            L { "Remote Mode active" }, false);
        addRow("every bit", 1, QByteArray("0 FFFF\r\n"),
            L { "Move in progress", "In position", "Velocity Mode",
                "*** Trajectory percent complete ***", "*** DeviceNet Error ***",
                "*** Following Error ***", "*** Drive disabled ***" },
            L { "*** Range Limit Reached ***", "Local Mode active", "*** Emergency Stop active ***",
                "*** External Event#1 (J2-8) active ***", "*** Positive Limit active ***",
                "*** External Event#2 (J2-7) active ***", "*** Negative Limit active ***" },
            true);
        addRow("decoding off", 0, QByteArray("0 0103\r\n"), L(), L(), false);
    }
    void decoding()
    {
        QFETCH(int, decode);
        QFETCH(QByteArray, answer);
        QFETCH(QStringList, list1);
        QFETCH(QStringList, list2);
        QFETCH(bool, red);
        Rig rig;
        rig.cfg.ChkStatus = decode;
        rig.core->setCommandText(QStringLiteral("0 ST"));
        rig.answer(answer);
        QCOMPARE(rig.core->statusLines().low, list1);
        QCOMPARE(rig.core->statusLines().high, list2);
        QCOMPARE(rig.core->statusLines().alert, red);
        QCOMPARE(
            rig.core->receivedText(), decode ? QString::fromLatin1(answer.left(6)) : QString());
        QCOMPARE(rig.core->recentAnswers().size(), 1);
    }

    void statusCheck_data()
    {
        // Line 4 waits on "0 ST 2 3>DONE"; DONE is the label of line 9, START of line 2.
        addColumns<int, QString, bool, int>("from", "status", "match", "line");
        addRow("second entry jumps", 4, "0003", true, 8);
        addRow("first entry continues", 4, "0002", true, 4);
        addRow("no entry matches", 4, "0004", false, 4);
        addRow("status 0 never matches", 4, "0000", false, 4);
        addRow("too long leaves the wait", 4, "00003", false, 4);
        addRow("outside the tables", 9999, "0003", false, 9999);
    }
    void statusCheck()
    {
        QFETCH(int, from);
        QFETCH(QString, status);
        QFETCH(bool, match);
        QFETCH(int, line);
        Rig rig;
        CommandFileRunner runner(*rig.core, rig.prompter);
        CommandFileTables tables
            = readCommandFile("0 A\r\nSTART: 0 B\r\n0 C\r\n0 ST 2 3>DONE\r\n0 D\r\n0 E\r\n0 F\r\n"
                              "0 G\r\nDONE: 0 H\r\n")
                  .tables;
        ParseCommandFile(tables);
        runner.setPosition(std::move(tables), from);
        rig.send(QStringLiteral("0 ST 2 3>DONE"));
        rig.answer("0 " + status.toLatin1() + "\r\n");
        QCOMPARE(rig.core->statusMatch(), match);
        QCOMPARE(runner.currentLine(), line);
    }

    void statusWaitEnds_data()
    {
        addColumns<bool>("deviceVanishes");
        addRow("port closes", false);
        addRow("device vanishes", true);
    }
    void statusWaitEnds()
    {
        QFETCH(bool, deviceVanishes);
        Rig rig;
        rig.core->setStatusWaitMode(true);
        rig.core->setCommandText(QStringLiteral("0 ST 4"));
        QTimer::singleShot(
            200, [&] { deviceVanishes ? rig.pty.closeMaster() : rig.core->link().close(); });
        rig.core->sendCommand();
        QVERIFY(!rig.core->statusMatch());
        if (!deviceVanishes)
            QVERIFY(!rig.core->link().isOpen());
    }

    // The download window's branch: the text from the marker on goes to the channel,
    // and into the collected answers only while collecting.
    void downloadBranch_data()
    {
        addColumns<QByteArray, bool, QString, QString, int>(
            "bytes", "collect", "marked", "collected", "updates");
        const QString answer = QStringLiteral("0 RD\r0 0012\r");
        addRow(
            "collected from the marker", QByteArray("xx0 RD\r0 0012\r"), true, answer, answer, 1);
        addRow("not collecting", QByteArray("0 RD\r0 0012\r"), false, answer, QString(), 1);
        addRow("no line end yet", QByteArray("0 RD"), true, QString(), QString(), 0);
        addRow(
            "no 00: held back", QByteArray("0 12\r"), true, QStringLiteral("0 12\r"), QString(), 1);
    }
    void downloadBranch()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, collect);
        QFETCH(QString, marked);
        QFETCH(QString, collected);
        QFETCH(int, updates);
        Rig rig;
        AnswerChannel& a = rig.core->answers();
        a.setDownloadBranch(true);
        a.setAnswerMarker(QStringLiteral("0 RD\r"));
        if (collect)
            a.startReading();
        QSignalSpy spy(&a, &AnswerChannel::updated);
        rig.answer(bytes);
        QCOMPARE(a.markedAnswer(), marked);
        QCOMPARE(spy.size(), updates);
        QCOMPARE(a.endReading(), collected);
        QVERIFY(!a.collecting());
        QVERIFY(a.collectedAnswers().isEmpty());
        QVERIFY(rig.core->recentAnswers().isEmpty());
    }

    // A row of each kind on the screen and in a log file: control characters spelled
    // out, a backslash escaped so that \x always means a byte, hex on demand, the time
    // since the row before to the microsecond.
    void trafficRowFormat_data()
    {
        addColumns<int, QByteArray, qint64, QString, QString, QString, QString>(
            "kind", "bytes", "deltaNs", "text", "hex", "delta", "line");
        const QString at = QStringLiteral("2026-03-04 05:06:07.089 ");
        addRow("sent command", int(TrafficRow::Kind::Sent), QByteArray("1 E\r"), qint64(12345678),
            QString("1 E<CR>"), QString("31 20 45 0D"), QString("+12.346"),
            at + QStringLiteral("→ 1 E<CR>"));
        addRow("received answer", int(TrafficRow::Kind::Received), QByteArray("1 0100\r\n"),
            qint64(0), QString("1 0100<CR><LF>"), QString("31 20 30 31 30 30 0D 0A"),
            QString("+0.000"), at + QStringLiteral("← 1 0100<CR><LF>"));
        addRow("control and high bytes", int(TrafficRow::Kind::Received),
            QByteArray("\x00\x1b\t\x7f\xff\\<", 7), qint64(999),
            QString("\\x00\\x1B\\x09\\x7F\\xFF\\x5C<"), QString("00 1B 09 7F FF 5C 3C"),
            QString("+0.001"), at + QStringLiteral("← \\x00\\x1B\\x09\\x7F\\xFF\\x5C<"));
        addRow("marker", int(TrafficRow::Kind::Marker),
            QString("port /dev/x opened · 9600").toUtf8(), qint64(2'000'000'000'000),
            QString("port /dev/x opened · 9600"), QString("70 6F"), QString("+2000000.000"),
            at + QStringLiteral("-- port /dev/x opened · 9600"));
    }
    void trafficRowFormat()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, deltaNs);
        QFETCH(QString, text);
        QFETCH(QString, hex);
        QFETCH(QString, delta);
        QFETCH(QString, line);
        TrafficRow row;
        row.kind = TrafficRow::Kind(kind);
        row.bytes = bytes;
        row.wallMs = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 89)).toMSecsSinceEpoch();
        QCOMPARE(trafficRowText(row), text);
        QVERIFY(trafficHex(bytes).startsWith(hex));
        QCOMPARE(trafficDelta(deltaNs), delta);
        QCOMPARE(trafficClock(row.wallMs), QStringLiteral("05:06:07.089"));
        QCOMPARE(trafficLogLine(row), line);
    }

    // Chunks of each direction ("<" received, ">" sent; "|" a marker) cut into rows of
    // one line; a row's time is that of the chunk it began with ("@n").
    void trafficRows_data()
    {
        addColumns<QByteArrayList, QStringList>("chunks", "rows");
        addRow("CR LF in one chunk", QByteArrayList { "<1 0100\r\n0 02" },
            QStringList { "← 1 0100<CR><LF> @1", "← 0 02 @1" });
        addRow("CR LF split", QByteArrayList { "<1 0100\r", "<\n2\r\n" },
            QStringList { "← 1 0100<CR><LF> @1", "← 2<CR><LF> @2" });
        addRow("CR alone ends a row", QByteArrayList { ">1 ST\r2 ST\r", ">3" },
            QStringList { "→ 1 ST<CR> @1", "→ 2 ST<CR> @1", "→ 3 @2" });
        addRow("LF alone ends a row", QByteArrayList { "<a\nb", "<c\n" },
            QStringList { "← a<LF> @1", "← bc<LF> @1" });
        addRow("direction change", QByteArrayList { ">1 S", "<1 0", ">T\r" },
            QStringList { "→ 1 S @1", "← 1 0 @2", "→ T<CR> @3" });
        addRow("marker closes the row", QByteArrayList { "<1 0", "|", "<1\r\n" },
            QStringList { "← 1 0 @1", "← 1<CR><LF> @3" });
        addRow("no line end", QByteArrayList { "<" + QByteArray(300, 'x') },
            QStringList { "← " + QString(256, 'x') + " @1", "← " + QString(44, 'x') + " @1" });
    }
    void trafficRows()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QStringList, rows);
        TrafficRowSplitter splitter;
        std::vector<TrafficRow> done;
        qint64 n = 0;
        for (const QByteArray& chunk : chunks) {
            ++n;
            if (chunk == "|")
                splitter.close(done);
            else
                splitter.feed(
                    chunk.front() == '<' ? TrafficRow::Kind::Received : TrafficRow::Kind::Sent,
                    chunk.mid(1), n, n, done);
        }
        splitter.close(done);
        QStringList got;
        for (const TrafficRow& row : done)
            got << rowSummary(row, true);
        QCOMPARE(got, rows);
    }

    // The port's recorder: what went each way in rows, a partial answer closed by the
    // quiet line, markers for the port closed, opened and lost.
    void trafficRecorder()
    {
        Rig rig;
        RowLog log(rig.core->link());
        const QString device = rig.pty.slavePath();
        rig.core->link().close();
        rig.core->openPort();
        rig.send(QStringLiteral("1 ST"));
        rig.answer("1 0100\r\n");
        rig.answer("1 01");
        QVERIFY(waitFor([&] { return log.rows.size() == 6; }));
        rig.pty.closeMaster();
        QVERIFY(waitFor([&] { return !rig.core->link().isOpen(); }));
        QCOMPARE(log.rows,
            QStringList({ "-- port " + device + " closed",
                "-- port " + device + " opened at 9600 baud", "→ <CR>", "→ 1 ST<CR>",
                "← 1 0100<CR><LF>", "← 1 01", "-- port " + device + " lost: device lost" }));
    }

    // The log rotates at its size (every file within it, three kept, no row lost
    // between them) and stops at the first failed write with one message.
    void trafficLog()
    {
        QTemporaryDir dir;
        TrafficRecorder recorder;
        TrafficLog log;
        const QString path = dir.filePath(QStringLiteral("t.log"));
        QVERIFY(log.start(recorder, path, 200, nullptr));
        for (int i = 0; i < 40; ++i)
            recorder.marker(QStringLiteral("m%1").arg(i, 2, 10, QLatin1Char('0')));
        log.stop();
        QByteArray all;
        for (const QString& name : { path + ".3", path + ".2", path + ".1", path }) {
            QFile f(name);
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(name));
            QVERIFY(f.size() <= 200);
            all += f.readAll();
        }
        QVERIFY(!QFile::exists(path + ".4"));
        const QList<QByteArray> lines = all.trimmed().split('\n');
        QVERIFY(lines.size() > 12);
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY(lines[i].endsWith(QStringLiteral(" -- m%1")
                                          .arg(40 - lines.size() + i, 2, 10, QLatin1Char('0'))
                                          .toUtf8()));

        QSignalSpy failed(&log, &TrafficLog::failed);
        QVERIFY(log.start(recorder, QStringLiteral("/dev/full"), 200, nullptr));
        recorder.marker(QStringLiteral("a"));
        QVERIFY(waitFor([&] { return !failed.isEmpty(); }));
        recorder.marker(QStringLiteral("b"));
        log.stop();
        QCOMPARE(failed,
            QList<QVariantList>({ { "Traffic log stopped: /dev/full: No space left on device" } }));
        QVERIFY(!log.isActive());
    }

    void terminalMode()
    {
        Rig rig;
        rig.core->setCommandText(QStringLiteral("0 ST"));
        rig.answer("0 01");
        QCOMPARE(rig.core->responseBuffer(), QStringLiteral("0 01"));
        // (The terminal frame shown, and nothing in the receive list: tst_mainwindow's.)
        rig.core->terminalMode();
        QVERIFY(rig.core->commandText().isEmpty() && rig.core->responseBuffer().isEmpty());
        // Received lines refresh the terminal text only, never the whole window, and
        // once for all the lines of one read.
        QSignalSpy view(rig.core.get(), &TerminalCore::viewChanged);
        QSignalSpy text(rig.core.get(), &TerminalCore::terminalTextChanged);
        rig.answer("0 0100\r\n0 0200\r\n");
        QCOMPARE(rig.core->terminalText(), QStringLiteral("0 0100\r\n0 0200\r\n"));
        QCOMPARE(view.count(), 0);
        QCOMPARE(text.count(), 1);
        rig.core->terminalKey(QLatin1Char('A'));
        QVERIFY(!rig.core->terminalLineFlag());
        QCOMPARE(rig.wire(), QByteArray("A"));
        rig.answer("dropped\r\n");
        QCOMPARE(rig.core->terminalText(), QStringLiteral("0 0100\r\n0 0200\r\nA"));
        rig.core->terminalKey(QLatin1Char('\r'));
        QVERIFY(rig.core->terminalLineFlag());
        rig.answer("\r0 0300\r\n");
        QCOMPARE(rig.core->terminalText(), QStringLiteral("0 0100\r\n0 0200\r\nA\r\n0 0300\r\n"));
        // Past 1000 characters the box starts again empty.
        rig.answer(QByteArray(1001 - 2 - rig.core->terminalText().size(), 'x') + "\r\n");
        QCOMPARE(rig.core->terminalText().size(), 1001);
        rig.answer("0 0100\r\n");
        QCOMPARE(rig.core->terminalText(), QStringLiteral("0 0100\r\n"));
    }

    // Home/Enable waits twice the delay between its two commands; the main timer counts
    // to 10000 and starts again, and keeps a MESSAGE caption. The history keeps the six
    // latest commands, the receive list the five latest answers.
    void homeTimerAndHistory()
    {
        Rig rig;
        rig.cfg.TXdelay = QStringLiteral("1");
        rig.core->home();
        QCOMPARE(rig.wire(), QByteArray("\r0 HO\r\r0 EN\r"));
        QVERIFY(rig.core->ticks() >= 2);
        QCOMPARE(rig.core->commandHistory(), QStringList({ "0 HO", "0 EN" }));

        for (int i = 1; i <= 7; ++i)
            rig.send(QStringLiteral("0 C%1").arg(i));
        QCOMPARE(rig.core->commandHistory(),
            QStringList({ "0 C2", "0 C3", "0 C4", "0 C5", "0 C6", "0 C7" }));
        rig.core->setCommandText(QStringLiteral("0 PFB"));
        for (int i = 1; i <= 6; ++i)
            rig.answer(QStringLiteral("0 000%1\r").arg(i).toLatin1());
        QCOMPARE(
            rig.core->recentAnswers(), QStringList({ "0  2", "0  3", "0  4", "0  5", "0  6" }));

        rig.core->resetTicks();
        for (int i = 0; i < 10000; ++i)
            rig.core->tick();
        QCOMPARE(rig.core->ticks(), 10000);
        rig.core->tick();
        QCOMPARE(rig.core->ticks(), 0);
        QVERIFY(!rig.core->panels().receive); // the status frame stands in for the answers
        rig.cfg.CheckSumChk = 1;
        rig.core->tick();
        QCOMPARE(rig.core->caption(),
            rig.core->savedCaption() + QStringLiteral("                 Checksum Active"));
        rig.core->showMessageCaption(QStringLiteral("from a MESSAGE line"));
        rig.core->tick();
        QCOMPARE(rig.core->caption(), QStringLiteral("from a MESSAGE line"));
    }
};

QTEST_GUILESS_MAIN(TstTerminalCore)
#include "tst_terminalcore.moc"
