// The download window's exchanges through the real serial path against the simulated
// controller: "Download File", "Download Combination", the directory read, "Read
// Back", the manual upload and "Clear Macros". The exact lines the controller
// received, in order, its memory image afterwards, and the files and messages left.
// Then zaziruv-cli download, dir, stop, combo, macro, readback, upload, clear, image and
// program against the simulated controller: what it logged, what the command printed and
// wrote, its exit status, and the controller's memory afterwards.

#include "../common/corerig.h"
#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/simargs.h"
#include "../common/simprocess.h"
#include "../common/testfiles.h"
#include "../common/waitfor.h"

#include "core/eventwait.h"
#include "core/operation.h"
#include "core/operationrunner.h"
#include "core/ticktimer.h"
#include "eeprom/e2promrecord.h"
#include "eeprom/unitrecord.h"
#include "link/commandset.h"
#include "utility/combinationcontroller.h"
#include "utility/downloadcontroller.h"
#include "utility/specialfunctions.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <sys/stat.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Lines = QList<QByteArray>;
using Outcome = DownloadController::Outcome;

// The one read that shows a controller answers, before anything is written.
const Lines Probe { "1 EEU 4826", "1 EEADR 503", "1 EES" };
const Lines MarkLines { "1 EEU 4826", "1 EEADDR 503,I", "\n1 EES" };
// The header marks the program incomplete ("I") before the boot value and the count;
// "X" comes last, after Finish's reads.
const Lines Header { "1 EES 503", "1 EEDAT I", "1 EEW", "1 EES 501", "1 EEN 0", "1 EEW", "1 EEN 1",
    "1 EEW", "1 EES 1024" };
const QString NoChecksums = QStringLiteral("Please note this Download will not use Checksums!");

// The lines that store `text` from 1024 on, and the " EES" that ends them.
Lines textLines(const QByteArray& text)
{
    Lines out;
    for (char c : text)
        out << (c == '\r' ? QByteArray("1 EED ") : QByteArray("1 EED ") + c) << "1 EEW";
    return out << "1 EES";
}

// The worked example's text "1 HO" and its table entries 0 and 1 (1024, 1037).
const Lines Text = textLines("1 HO\rMACRO 0\r")
    + Lines { "1 EES 516", "1 EEN 4", "1 EEW", "1 EEN 0", "1 EEW", "1 EEN 4", "1 EEW", "1 EEN 13",
          "1 EEW" };

// The directory name of "x.cmd" at 499, then the seven empty name bytes.
const Lines Name { "1 EEU 4826", "1 EEADR 499,X", "\n1 EEADR 498,", "\n1 EEADR 497,",
    "\n1 EEADR 496,", "\n1 EEADR 495,", "\n1 EEADR 494,", "\n1 EEADR 493,", "\n1 EEADR 492," };

// The end of the worked example: the name, the header and the table read back, then
// "X" written and read back.
const Lines Finish { "\n1 EES", "1 EEU 4826", "1 EEADR 499", "1 EEADR 501", "1 EEADR 502",
    "1 EEADR 503", "1 EEADR 516", "1 EEADR 517", "1 EEADR 518", "1 EEADR 519", "1 EEADDR 503,X",
    "\n1 EEADR 503", "1 EES" };

// A macro file that prepares to `size` bytes ("MACRO 0" and its CR included): lines
// of 12 bytes ("1 A ", digits, CR) and one "1 HO" where 5 bytes are left.
QByteArray macroOfSize(int size)
{
    QByteArray file;
    for (int left = size - 8; left > 0;) {
        const int n = std::min(left, 12);
        file += (n == 5 ? QByteArray("1 HO") : "1 A " + QByteArray(n - 5, '7')) + "\r\n";
        left -= n;
    }
    return file;
}

using Macros = QList<QPair<QByteArray, QByteArray>>;

// The memory a combination download leaves, by default of three macros: "TWO" (two
// lines), "A" (a name of one character) and "LETTER" (the letter A and a CR).
QByteArray memoryImage(
    const Macros& macros = { { "TWO", "1 HO\rMACRO 0\r" }, { "A", "1 A\r" }, { "LETTER", "A\r" } })
{
    QByteArray image(8192, char(0xFF));
    image[502] = char(macros.size());
    image[503] = 'X';
    int end = 1024;
    for (int i = 0; i < macros.size(); ++i) {
        const QByteArray name = macros[i].first + '\r';
        for (int k = 0; k < name.size(); ++k)
            image[499 - 10 * i - k] = name[k];
        image.replace(end, macros[i].second.size(), macros[i].second);
        end += int(macros[i].second.size());
        image[516 + 2 * (i + 1)] = char(end / 256);
        image[517 + 2 * (i + 1)] = char(end % 256);
    }
    image[516] = char(1024 / 256);
    image[517] = char(1024 % 256);
    return image;
}

struct Rig : SimCoreRig
{
    DownloadController u { *core, prompter };
    SpecialFunctions special { u };

    explicit Rig(const QString& options = {}, bool verify = false)
        : SimCoreRig(simOptions("--baud 57600 " + options))
    {
        writeFixture(dir.filePath("e2prom.dat"), E2promRecord::build("1", "1", verify));
        u.load();
    }

    // "Download File" on x.cmd holding `file` (no file when null).
    void download(const QByteArray& file, PromptAnswer completion = PromptAnswer::No)
    {
        if (!file.isNull())
            writeFixture(dir.filePath("x.cmd"), file);
        u.setDownloadFileName(QStringLiteral("x.cmd"));
        prompter.answers = { PromptAnswer::Ok, completion };
        u.downloadFile();
        settle();
    }

    // "Combination" (which loads the only *.CMB file), then "Download Combination".
    void downloadCombo(const QByteArray& cmb)
    {
        writeFixture(dir.filePath("C.CMB"), cmb);
        u.showCombinationPanel();
        u.combo.downloadCombination();
        settle();
    }

    // Lets the last lines reach the controller.
    void settle()
    {
        TickTimer& t = TickTimer::instance();
        const TickTimer::Demand everyTick(t); // also where it wakes on demand
        t.setTicks(0);
        waitUntil([&] { return t.ticks() >= 20 || !t.isRunning(); });
    }
};

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
        writeFixture(dir.filePath("M.CMB"), "run.cmd\r\nnone.cmd\r\n");
        writeFixture(dir.filePath("G.CMB"), "none.cmd\r\ngone.cmd\r\n");
        // Names another editor wrote in UTF-8, and one holding a NUL.
        writeFixture(dir.filePath(QString::fromUtf8("caf\xc3\xa9.cmd")), "1 HO\r\n");
        writeFixture(dir.filePath("U.CMB"), "caf\xc3\xa9.cmd\r\n");
        writeFixture(dir.filePath("N.CMB"), QByteArray("run.cmd\0.x\r\n", 12));
    }
    Lines lines() const { return readFile(dir.filePath("sim.log")).split('\n'); }
    QByteArray memory() const { return readFile(dir.filePath("mem.bin")); }
    QStringList args(const QStringList& args) const
    {
        return QStringList { "--settings", dir.filePath("s.json"), "--dir", dir.path(),
            "--simulate", "--sim-option", sim.trimmed(), "--baud", "57600" }
        + args;
    }
    ProcessRun run(const QStringList& a, qint64 fileSizeLimit = -1) const
    {
        ProcessOptions options;
        options.workingDirectory = dir.path();
        options.closeInput = true;
        options.fileSizeLimit = fileSizeLimit;
        return runProcess(appBinary("zaziruv-cli"), args(a), options);
    }
    // "run.cmd" downloaded and read back (13 bytes: "1 HO", CR, "MACRO 0", CR).
    bool prime() const
    {
        return run(QStringList { "download", "run.cmd", "--verify-readback" } + Fast).exitCode == 0;
    }
};

} // namespace

class TstDownload : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // "1 HO" to node 1 with boot off: the lines, the outcome, the incomplete mark at
    // 503 and the messages. Verification resets and queries the checksum around the
    // text; on a failing cell the mark stays, with no directory entry and no question.
    // Cancel (at the line given) sends the mark inside the running wait and stops the
    // text after the current byte; a port that stops sending there ends the download
    // as a lost port does.
    void download_data()
    {
        addColumns<QString, bool, QByteArray, Lines, int, QStringList>(
            "sim", "verify", "cancelAt", "lines", "outcome", "texts");
        const Lines verified
            = Probe + Lines { "1 EEC 0", "1 EEC" } + Header + Text + Lines { "1 EEC" };
        addRow("worked example, reset", QString(), false, QByteArray(),
            Probe + Header + Text + Name + Finish + Lines { "1 RN" }, int(Outcome::Completed),
            QStringList { NoChecksums, DownloadController::completionText(false) });
        addRow("verified", QString(), true, QByteArray(), verified + Name + Finish,
            int(Outcome::Completed), QStringList { DownloadController::CompletionText });
        addRow("bad cell", QString("--bad-write-every 7"), true, QByteArray(), verified + MarkLines,
            int(Outcome::Failed), QStringList { EepromProtocol::MismatchText });
        // The byte in flight is finished (its " EEW"), then the mark, and nothing after it.
        addRow("cancel mid-text", QString(), false, QByteArray("1 EED H"),
            Probe + Header + Text.mid(0, 6) + MarkLines, int(Outcome::Cancelled),
            QStringList { NoChecksums });
        addRow("hang-up", QString("--hangup-after 16"), false, QByteArray(),
            Probe + Header + Text.mid(0, 4), int(Outcome::PortLost),
            QStringList { NoChecksums, EepromProtocol::PortLostText });
        // A controller on another node, or one that takes only checksummed lines: one
        // read, nothing written, no success.
        const Lines unanswered = Probe.mid(0, 2) + Lines { "1 EEADR 503", "1 EEADR 503", "1 EES" };
        for (const char* deaf : { "--node 2", "--checksum" })
            addRow(deaf, QString(deaf), false, QByteArray(), unanswered, int(Outcome::Refused),
                QStringList { NoChecksums,
                    QString("The TYX at node 1 did not answer; nothing was written.") });
        addRow("output stops", QString(), false, QByteArray("1 EED H"),
            Probe + Header + Text.mid(0, 5), int(Outcome::PortLost),
            QStringList { NoChecksums, EepromProtocol::PortLostText });
    }
    void download()
    {
        QFETCH(QString, sim);
        QFETCH(bool, verify);
        QFETCH(QByteArray, cancelAt);
        QFETCH(Lines, lines);
        QFETCH(int, outcome);
        QFETCH(QStringList, texts);
        Rig r(sim, verify);
        const bool stops = QTest::currentDataTag() == QByteArray("output stops");
        const int slave = stops ? ::open(qPrintable(r.sim->slavePath()), O_RDWR | O_NOCTTY) : -1;
        QObject::connect(r.sim.get(), &PtySimulator::lineReceived, &r.u, [&](const QByteArray& l) {
            if (stops && l == cancelAt)
                tcflow(slave, TCOOFF);
            else if (!cancelAt.isEmpty() && l == cancelAt)
                QTimer::singleShot(0, &r.u, &DownloadController::cancelOperation);
        });
        const bool reset = QTest::currentDataTag() == QByteArray("worked example, reset");
        r.download("1 HO\r\n", reset ? PromptAnswer::Yes : PromptAnswer::No);
        if (slave >= 0)
            ::close(slave);
        QCOMPARE(r.lines, lines);
        QCOMPARE(int(r.u.lastDownload().kind), outcome);
        if (stops) {
            QVERIFY(r.core->link().statusText().contains("The serial port does not send ("));
            // Nothing is written behind the one line the stopped output holds: the
            // pause after a line begins once the line has left.
            qint64 received = 0;
            for (const QByteArray& l : std::as_const(r.lines))
                received += l.size() + 1; // and its CR
            QVERIFY(r.u.sender().totals.bytes - received <= 8);
        }
        if (outcome == int(Outcome::Refused))
            QCOMPARE(r.memory(503, 1), QByteArray("\xff"));
        else if (outcome != int(Outcome::PortLost))
            QCOMPARE(r.memory(503, 1), QByteArray(outcome == int(Outcome::Completed) ? "X" : "I"));
        QCOMPARE(r.prompter.texts(), texts);
        QVERIFY(r.u.windowEnabled() && r.u.panelsEnabled() && !r.u.progress().visible);
        if (outcome != int(Outcome::Completed))
            return;
        QCOMPARE(r.memory(492, 12), QByteArray("\r\r\r\r\r\r\rX\xff\0\x01X", 12));
        QCOMPARE(r.memory(516, 4), QByteArray("\x04\x00\x04\x0d", 4));
        QCOMPARE(r.memory(1024, 14), QByteArray("1 HO\rMACRO 0\r\xff"));
        // The controller summed what it stored as the download did.
        QCOMPARE(r.u.protocol().downloadSum(),
            (0 + 1 + 'I' + 708 + 4 + 0 + 4 + 13) % 256); // header, text, table
        QCOMPARE(r.u.protocol().downloadSum(), r.sim->controller().memoryChecksum());
    }

    // The same downloads as zaziruv-cli runs them, its tick timer waking on demand
    // (a line's drain and its pause in one wake-up): the same lines, outcomes and
    // messages; a line stuck in the driver is waited out and lost as before.
    void downloadOnDemand_data() { download_data(); }
    void downloadOnDemand()
    {
        TickTimer::instance().setWakesOnDemand(true);
        const auto restore = qScopeGuard([] { TickTimer::instance().setWakesOnDemand(false); });
        download();
    }

    // A download cut by the controller's line going away ends as a lost port and stays
    // ended: the device that comes back under the same name is reopened while the
    // download window is still open, and the first line the controller then receives is
    // the operator's next command, not the rest of the macro. The controller keeps "I".
    void interruptedNotResumed()
    {
        QTemporaryDir devices;
        const QString link = devices.filePath(QStringLiteral("ttyTYX"));
        std::unique_ptr<PtySimulator> back; // outlives the rig: the port goes first
        Rig r("--link " + link);
        r.core->setReconnectWhenIdle(true);
        r.core->setDeviceOverride(link);
        r.core->openPort();
        QVERIFY(r.core->link().isOpen());
        QObject::connect(r.sim.get(), &PtySimulator::lineReceived, &r.u, [&](const QByteArray& l) {
            if (l == "1 EED H")
                QTimer::singleShot(0, r.sim.get(), [&] { r.sim->stop(); });
        });
        r.download("1 HO\r\n");
        QCOMPARE(int(r.u.lastDownload().kind), int(Outcome::PortLost));
        QCOMPARE(r.memory(503, 1), QByteArray("I"));
        QVERIFY(!r.lines.contains("1 EES 516")); // the table was never reached
        QVERIFY(r.core->waitingForPort());

        back = std::make_unique<PtySimulator>(simOptions("--baud 57600 --link " + link));
        Lines received;
        QObject::connect(
            back.get(), &PtySimulator::lineReceived, [&](const QByteArray& l) { received << l; });
        QVERIFY(back->start());
        QVERIFY(waitFor([&] { return r.core->link().isOpen(); }));
        QVERIFY(!r.u.busy());
        r.core->setCommandText(QStringLiteral("1 ST"));
        r.core->sendCommand();
        QVERIFY(waitFor([&] { return !received.isEmpty(); }));
        QCOMPARE(received.first(), QByteArray("1 ST"));
        QCOMPARE(int(r.u.lastDownload().kind), int(Outcome::PortLost));
    }

    // The command texts as the controller reads them: the sign's place, the CR that ends
    // a " EED " line, the two addressed writes, the broadcast to node 0.
    void commandTexts_data()
    {
        addColumns<QString, QString>("text", "expected");
        addRow("number", Tyx::loadNumber(0), QString(" EEN 0"));
        addRow("negative number", Tyx::loadNumber(-1), QString(" EEN-1"));
        addRow("character", Tyx::loadCharacter(u'A'), QString(" EED A"));
        addRow("CR", Tyx::loadCharacter(u'\r'), QString(" EED "));
        addRow("data", Tyx::loadData(u'I'), QString(" EEDAT I"));
        addRow("address", Tyx::setAddress(1024), QString(" EES 1024"));
        addRow("read at", Tyx::readAt(503), QString(" EEADR 503"));
        addRow("name byte", Tyx::writeAt(499, "X"), QString(" EEADR 499,X"));
        addRow("mark", Tyx::storeAt(503, u'I'), QString(" EEADDR 503,I"));
        addRow("stop", Tyx::runMacro(0), QString(" ME 0"));
        addRow("run everywhere", Tyx::runMacroEverywhere(3), QString("0 ME 3"));
    }
    void commandTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    // The busy state ends however the operation does: returning, cancelled or throwing.
    // Cancel only reaches an operation while it runs.
    void runnerRestores()
    {
        struct Step final : Operation
        {
            bool throws = false;
            OperationRunner* runner = nullptr;
            QString label() const override { return QStringLiteral("Stepping.."); }
            Outcome run() override
            {
                Q_EMIT progressChanged(40);
                runner->cancel();
                if (throws)
                    throw std::runtime_error("step");
                return cancelRequested() ? Outcome::Cancelled : Outcome::Completed;
            }
        };
        OperationRunner runner;
        QList<bool> busy;
        QObject::connect(&runner, &OperationRunner::busyChanged, [&](bool b) { busy << b; });
        for (const bool throws : { false, true }) {
            Step step;
            step.throws = throws;
            step.runner = &runner;
            try {
                QCOMPARE(runner.run(step).kind, Outcome::Cancelled);
                QVERIFY(!throws);
            } catch (const std::runtime_error&) {
                QVERIFY(throws);
            }
            QVERIFY(!runner.busy() && !runner.progress().visible);
            QCOMPARE(runner.progress().label, "cancelling..");
        }
        QCOMPARE(busy, QList<bool>({ true, false, true, false }));
        Step idle;
        runner.cancel();
        QVERIFY(!idle.cancelRequested());
    }

    // A wait of k ticks counts them from its own start: a line's wait run from inside
    // it (as Cancel sends one) neither makes it start its count again nor shortens it.
    void nestedWaits()
    {
        Rig r;
        TickTimer& t = TickTimer::instance();
        const qint64 outerStart = t.count();
        qint64 inner = -1;
        QObject::connect(&t, &TickTimer::ticked, &r.u, [&] {
            if (inner >= 0 || t.count() - outerStart < 5)
                return;
            inner = 0;
            QTimer::singleShot(0, &r.u, [&] {
                const qint64 start = t.count();
                r.u.sender().waitTicks(3);
                inner = t.count() - start;
            });
        });
        r.u.sender().waitTicks(10);
        const qint64 outer = t.count() - outerStart;
        QCOMPARE_GE(inner, 3);
        QCOMPARE_GE(outer, 10);
        QCOMPARE_LT(outer, 5 + 10); // a count started again at the inner wait
    }

    // The directory after the worked example's download (13 bytes, whose end 1037 has
    // a CR as its low byte), and the states it refuses: a mark poked at 503, or 255
    // macros at 502. (Totals of other sizes: the combination download's.)
    void directory_data()
    {
        addColumns<char, QStringList, QString, QString>("poke", "names", "total", "message");
        addRow("13 bytes", '\0', QStringList { "X" }, QString(" 13"), QString());
        // Cancel while the table is read ends the read, as during the names.
        addRow("cancel at the table", '\0', QStringList { "X" }, QString(), QString());
        addRow("erased", '\xff', QStringList(), QString(),
            QString("The Macro Directory could not be Read or\r\nmore than 40 macros are stored "
                    "in the TYX EEprom memory"));
        for (char mark : { 'i', 'I' })
            addRow(mark == 'i' ? "incomplete" : "cleared", mark, QStringList(), QString(),
                QString("TYX Programming is incomplete"));
    }
    void directory()
    {
        QFETCH(char, poke);
        QFETCH(QStringList, names);
        QFETCH(QString, total);
        QFETCH(QString, message);
        Rig r;
        if (poke == '\0') {
            r.download("1 HO\r\n");
        } else {
            QByteArray image = r.sim->controller().memory();
            image[poke == '\xff' ? 502 : 503] = poke;
            r.sim->controller().setMemory(image);
        }
        r.prompter.shown.clear();
        r.lines.clear();
        const bool cancel = QTest::currentDataTag() == QByteArray("cancel at the table");
        QObject::connect(r.sim.get(), &PtySimulator::lineReceived, &r.u, [&](const QByteArray& l) {
            if (cancel && l == "1 EEU 4826" && r.lines.count(l) == 2)
                QTimer::singleShot(0, &r.u, &DownloadController::cancelOperation);
        });
        r.u.readDirectory();
        QCOMPARE(r.u.lastDirectory() == EepromProtocol::DirectoryOutcome::Cancelled, cancel);
        QCOMPARE(r.u.storedMacros(), names);
        QCOMPARE(r.u.bytesStoredText(), total);
        QCOMPARE(r.prompter.texts().value(0), message);
        Lines expected { "1 EEU 4826", "1 EEADR 503" };
        if (poke == '\0' || poke == '\xff')
            expected << "1 EEADR 502";
        for (int a = 499; a > 499 - 8 * names.size(); --a)
            expected << "1 EEADR " + QByteArray::number(a);
        if (!names.isEmpty())
            expected += Lines { "1 EEU 4826", "1 EEADR 518", "1 EEADR 519" };
        QCOMPARE(r.lines, expected);
    }

    // a.cmd (100 bytes), b.cmd (50), c.cmd (30, a jump to its first line) with a boot
    // line between them; b.cmd missing or empty keeps its number with a zero size.
    void comboDownload_data()
    {
        addColumns<QByteArray, QByteArray, QString>("b", "table", "message");
        addRow("three files", macroOfSize(50),
            QByteArray("\x04\x00\x04\x64\x04\x96\x04\xb4\x04\xb4", 10), QString());
        addRow("b missing", QByteArray(),
            QByteArray("\x04\x00\x04\x64\x04\x64\x04\x82\x04\x82", 10),
            QString("B.CMD File Not Found !\r\nPlease Remove it from Combination."));
        addRow("b empty", QByteArray(""),
            QByteArray("\x04\x00\x04\x64\x04\x64\x04\x82\x04\x82", 10),
            QString("B.CMD File is empty !\r\nIt is left out of the Combination."));
    }
    void comboDownload()
    {
        QFETCH(QByteArray, b);
        QFETCH(QByteArray, table);
        QFETCH(QString, message);
        Rig r({}, true);
        writeFixture(r.dir.filePath("a.cmd"), macroOfSize(100));
        if (!b.isNull())
            writeFixture(r.dir.filePath("b.cmd"), b);
        // 30 bytes: "1 STJ 0008", "GOTO " and the address of L, "MACRO 0".
        writeFixture(r.dir.filePath("c.cmd"), "L:1 ST 8>L\r\n");
        r.downloadCombo("BootMacro=0\r\na.cmd\r\nb.cmd\r\nx bootMACRO=2\r\nc.cmd\r\n");
        QCOMPARE(r.u.combo.lastDownload().kind, Outcome::Completed);
        QCOMPARE(r.prompter.texts(),
            (message.isEmpty() ? QStringList() : QStringList { message })
                << DownloadController::CompletionText);
        QCOMPARE(r.lines.mid(0, 14),
            Probe
                + Lines({ "1 EEC 0", "1 EEC", "1 EES 503", "1 EEDAT I", "1 EEW", "1 EES 501",
                    "1 EEN 2", "1 EEW", "1 EEN 3", "1 EEW", "1 EES 1024" }));
        // Marked complete by the last line, after the names and the table were read back.
        QCOMPARE(r.lines.mid(r.lines.size() - 4),
            Lines({ "1 EEADDR 503,X", "\n1 EEADR 503", "1 EES", "1 RN" }));
        QVERIFY(r.lines.join('|').contains("1 EES 516|1 EEN 4|1 EEW|1 EEN 0|1 EEW|1 EEN 4|1 EEW|"
                                           "1 EEN 100|1 EEW"));
        QCOMPARE(r.lines.last(), "1 RN");
        QCOMPARE(r.memory(501, 3), QByteArray("\x02\x03X"));
        QCOMPARE(r.memory(516, 10), table);
        const int c = b.isEmpty() ? 100 : 150;
        QCOMPARE(r.memory(1024 + c, 31),
            "1 STJ 0008\rGOTO 00" + QByteArray::number(c) + "\rMACRO 0\r\xff");
        QCOMPARE(r.u.protocol().downloadSum(), r.sim->controller().memoryChecksum());

        r.prompter.shown.clear();
        r.u.readDirectory();
        QCOMPARE(r.u.storedMacros(), QStringList({ "A", b.isEmpty() ? "" : "B", "C" }));
        QCOMPARE(r.u.bytesStoredText(), b.isEmpty() ? " 130" : " 180");
    }

    // A blank before the node address of the first line is not stored and the jump
    // still lands on the first byte of its labelled line, for a single file and for
    // the second macro of a combination (after "1 HO", CR, "MACRO 0", CR).
    void blankBeforeNode_data()
    {
        addColumns<bool, int>("combo", "base");
        addRow("single file", false, 0);
        addRow("combination", true, 13);
    }
    void blankBeforeNode()
    {
        QFETCH(bool, combo);
        QFETCH(int, base);
        Rig r({}, true);
        const QByteArray file(" 1 HO\r\nLOOP:1 ST 8>LOOP\r\n");
        if (combo) {
            writeFixture(r.dir.filePath("a.cmd"), "1 HO\r\n");
            writeFixture(r.dir.filePath("x.cmd"), file);
            r.downloadCombo("a.cmd\r\nx.cmd\r\n");
        } else {
            r.download(file);
        }
        QCOMPARE((combo ? r.u.combo.lastDownload() : r.u.lastDownload()).kind, Outcome::Completed);
        const QByteArray macro = r.memory(1024 + base, 36);
        QCOMPARE(macro.left(16), QByteArray("1 HO\r1 STJ 0008\r"));
        QVERIFY(macro.mid(16, 5) == "GOTO ");
        const int target = macro.mid(21, 5).toInt();
        QCOMPARE(target, base + 5); // the line after "1 HO" and its CR
        QCOMPARE(r.memory(1024 + target - 1, 11), QByteArray("\r1 STJ 0008"));
        QCOMPARE(macro.mid(26), QByteArray("\rMACRO 0\r\xff"));
        // The address table ends the macro where its stored bytes end.
        const int end = 1024 + base + 35;
        QCOMPARE(r.memory(516 + 2 * (combo ? 2 : 1), 2),
            QByteArray(1, char(end / 256)) + char(end % 256));
    }

    // Files and combinations that must not reach the controller: whatever would end
    // the download part way, or store a macro other than as prepared, is refused before
    // a single line goes out, not even the macro an earlier preparation left in
    // "macro.tmp".
    void refused_data()
    {
        addColumns<bool, QByteArray, QString>("combo", "bytes", "message");
        addRow("empty", false, QByteArray(""), QString("Command file is empty."));
        addRow("DELAY first", false, QByteArray("DELAY 3\r\n1 HO\r\n"),
            QString("The first line of a macro must begin with the node address.\r\n\r\nDELAY 15"));
        addRow("missing", false, QByteArray(), QString(" Please select a file"));
        addRow("combination, first line", true, QByteArray("a.cmd\r\nd.cmd\r\n"),
            QString("D.CMD: The first line of a macro must begin with the node address.\r\n\r\n"
                    "DELAY 15"));
        addRow("combination, syntax", true, QByteArray("a.cmd\r\ns.cmd\r\n"),
            QString("Download Aborted!\r\n\r\nError found in file S.CMD.\r\nLine 2 contains spaces "
                    "after the last character.\r\nPut cursor on first character and hit *End* "
                    "key to fix.\r\n"));
        addRow("combination, 41 files", true, QByteArray("a.cmd\r\n").repeated(41),
            QString(
                "C.CMB cannot be used: it has 41 lines naming 41 files, and a combination holds "
                "at most 40 files (the TYX directory has 40 names) in at most 255 lines."));
        addRow("combination, no files", true, QByteArray("BootMacro=1\r\n"),
            QString("C.CMB lists no command files: there is nothing to download."));
    }
    void refused()
    {
        QFETCH(bool, combo);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        Rig r;
        writeFixture(r.dir.filePath("macro.tmp"), "1 HO\rMACRO 0\r");
        writeFixture(r.dir.filePath("a.cmd"), "1 HO\r\n");
        writeFixture(r.dir.filePath("d.cmd"), "DELAY 3\r\n1 HO\r\n");
        writeFixture(r.dir.filePath("s.cmd"), "1 HO\r\n1 HO \r\n");
        if (combo)
            r.downloadCombo(bytes);
        else
            r.download(bytes);
        QCOMPARE(r.prompter.texts().last(), message);
        QCOMPARE(r.lines, Lines());
        QCOMPARE((combo ? r.u.combo.lastDownload() : r.u.lastDownload()).kind, Outcome::Refused);
        QVERIFY(r.u.windowEnabled() && !r.u.progress().visible);
    }

    // Save byte for byte; a refused save writes nothing.
    void save_data()
    {
        addColumns<QString, QStringList, QString, QByteArray, QString>(
            "name", "files", "box", "bytes", "message");
        const QStringList two { "a.cmd", "b.cmd" };
        const QByteArray saved("\r\na.cmd\r\nb.cmd\r\n");
        addRow("two files, boot 2", QString("TWO.CMB"), two, QString("2"), "BootMacro=2" + saved,
            QString("File Saved!"));
        addRow("boot not a number", QString("x.cmb"), two, QString("abc"), "BootMacro=0" + saved,
            QString("File Saved!"));
        addRow("fraction kept", QString("x.cmb"), two, QString(" +02.50x"), "BootMacro=2.5" + saved,
            QString("File Saved!"));
        addRow("after New", QString(" "), two, QString("1"), QByteArray(),
            QString("Please use the *.CMB extension for this type of file."));
        addRow("start text", QString("Use extension   *.CMB"), two, QString("1"), QByteArray(),
            QString("\"Use extension   *.CMB\" cannot be the name of a combination file"));
        addRow("41 files", QString("F.CMB"), QStringList(41, "a.cmd"), QString("1"), QByteArray(),
            QString("A combination holds at most 40 files"));
        addRow("boot line as a name", QString("F.CMB"), QStringList { "x BootMacro=1" },
            QString("1"), QByteArray(), QString("The file name \"x BootMacro=1\" cannot be kept"));
    }
    void save()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, files);
        QFETCH(QString, box);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        CoreRig r;
        DownloadController u(*r.core, r.prompter);
        u.combo.typeCombinationName(name);
        u.combo.setCombinationList(files);
        u.combo.setBootMacroText(box);
        u.combo.saveCombination();
        QVERIFY2(r.prompter.texts().value(0).startsWith(message),
            qPrintable(r.prompter.texts().value(0)));
        QCOMPARE(QDir(r.dir.path()).entryList({ "*.cmb" }),
            bytes.isNull() ? QStringList() : QStringList { name });
        if (!bytes.isNull())
            QCOMPARE(readFile(r.dir.filePath(name)), bytes);
    }

    // Loading (a lower-case boot line selects its entry), the boot box, Add, "Execute
    // Macro Selected" to node 0 and with the port closed, and Delete of a file gone.
    void panel()
    {
        Rig r;
        writeFixture(r.dir.filePath("b.cmd"), "1 HO\r\n");
        writeFixture(r.dir.filePath("L.CMB"), "a.cmd\r\nb.cmd\r\nbootmacro=2\r\n");
        CombinationController& c = r.u.combo;
        r.u.showCombinationPanel();
        QCOMPARE(c.combinationList(), QStringList({ "a.cmd", "b.cmd" }));
        QCOMPARE(c.bootMacroText(), "2");
        QCOMPARE(c.combinationListIndex(), 1);
        c.selectListedFile(0);
        c.setBootMacroText("3");
        QCOMPARE(c.combinationListIndex(), 0);
        c.executeSelectedMacro();
        QTRY_VERIFY_WITH_TIMEOUT(r.lines.contains("0 ME 1"), 10000);
        c.pickFile(0);
        c.addSelectedFile();
        c.addSelectedFile();
        QCOMPARE(c.combinationList(), QStringList({ "a.cmd", "b.cmd", "b.cmd", "b.cmd" }));

        r.core->link().close();
        c.executeSelectedMacro();
        QCOMPARE(r.prompter.texts().last(), "Serial Port not configured properly!");
        QVERIFY(QFile::remove(r.dir.filePath("L.CMB")));
        c.deleteCombination();
        QCOMPARE(r.prompter.texts().last(), "There is no combination file \"L.CMB\" to delete.");
        QCOMPARE(c.combinationName(), QString());
    }

    // The file "Read Back" writes, byte for byte. An entry without an equal name reads
    // nothing, not the range of the entry before it.
    void readBack_data()
    {
        addColumns<QStringList, bool, QString, int, QByteArray, int>(
            "list", "asText", "target", "answer", "file", "outcome");
        const QString temporary("Temporary.cmd");
        const int done = int(Outcome::Completed);
        addRow("two lines as text", QStringList { "TWO" }, true, temporary, -1,
            QByteArray("1 HO\r\nMACRO 0\r\n"), done);
        addRow("A and CR as numbers", QStringList { "LETTER" }, false, temporary, -1,
            QByteArray(" 65\r\n 13\r\n 10\r\n"), done);
        addRow("same macro twice", QStringList { "LETTER", "LETTER" }, true, temporary, -1,
            QByteArray("A\r\nA\r\n"), done);
        addRow("unmatched and one-character names read nothing",
            QStringList { "NONE", "A", "LETTER" }, true, temporary, -1, QByteArray("A\r\n"), done);
        addRow("any case of temporary.cmd", QStringList { "LETTER" }, true,
            QString("old_temporary.CMD"), -1, QByteArray("A\r\n"), done);
        addRow("overwrite answered Yes", QStringList { "LETTER" }, true, QString("Out.txt"),
            int(PromptAnswer::Yes), QByteArray("A\r\n"), done);
        addRow("overwrite answered No", QStringList { "LETTER" }, true, QString("Out.txt"),
            int(PromptAnswer::No), QByteArray("earlier\r\n"), int(Outcome::Refused));
        addRow("no file to overwrite: no question", QStringList { "LETTER" }, true,
            QString("new.txt"), -1, QByteArray("A\r\n"), done);
        addRow("no such directory", QStringList { "LETTER" }, true, QString("no/Temporary.cmd"), -1,
            QByteArray("<missing>"), int(Outcome::Failed));
    }
    void readBack()
    {
        QFETCH(QStringList, list);
        QFETCH(bool, asText);
        QFETCH(QString, target);
        QFETCH(int, answer);
        QFETCH(QByteArray, file);
        QFETCH(int, outcome);
        Rig r("--pace");
        r.sim->controller().setMemory(memoryImage());
        r.u.readDirectory();
        QCOMPARE(r.u.storedMacros(), QStringList({ "TWO", "A", "LETTER" }));
        r.u.setReadBackList(list);
        r.u.setReadBackAsText(asText);
        r.u.setReadBackFile(target);
        if (answer >= 0) {
            writeFixture(r.dir.filePath(target), "earlier\r\n");
            r.prompter.answers = { PromptAnswer(answer) };
        }
        r.u.readBack();
        QCOMPARE(readFileOrMissing(r.dir.filePath(target)), file);
        QCOMPARE(int(r.u.lastReadBack().kind), outcome);
        const QStringList texts = r.prompter.texts();
        QCOMPARE(texts.size(), answer >= 0 || outcome == int(Outcome::Failed) ? 1 : 0);
        if (answer >= 0)
            QCOMPARE(texts.first(), "Are you sure you want to Overwrite Out.txt?");
        QVERIFY(r.u.windowEnabled() && r.u.panelsEnabled() && !r.u.progress().visible);
        // Reading never marks the memory.
        QCOMPARE(r.memory(503, 1), QByteArray("X"));
    }

    // The manual upload: start and count as typed, text or numbers. "Clear Macros"
    // first stops the macros and marks the memory incomplete, which the upload says.
    void manualUpload_data()
    {
        addColumns<bool, QString, QString, bool, QByteArray, QStringList>(
            "clear", "start", "count", "asText", "file", "texts");
        addRow("502/1 Read Number", false, QString("502"), QString("1"), false,
            QByteArray(" 3\r\n"), QStringList());
        addRow("1024/10 Read Ascii", false, QString("1024"), QString("10"), true,
            QByteArray("1 HO\r\nMACRO"), QStringList());
        addRow("count 0 reads nothing", false, QString("1024"), QString("0"), true, QByteArray(),
            QStringList());
        addRow("count too large", false, QString("1024"), QString("40000"), true,
            QByteArray("<missing>"), QStringList { SpecialFunctions::CountText });
        addRow("after Clear Macros", true, QString("503"), QString("1"), true, QByteArray("I"),
            QStringList { EepromProtocol::IncompleteText });
    }
    void manualUpload()
    {
        QFETCH(bool, clear);
        QFETCH(QString, start);
        QFETCH(QString, count);
        QFETCH(bool, asText);
        QFETCH(QByteArray, file);
        QFETCH(QStringList, texts);
        Rig r("--pace");
        r.sim->controller().setMemory(memoryImage());
        if (clear) {
            r.special.clearMacros();
            QCOMPARE(r.special.lastClear().kind, Outcome::Completed);
            const Lines markRead { "\n1 EEU 4826", "1 EEADR 503", "1 EES" };
            QCOMPARE(r.lines, Lines(20, "1 ME 0") + MarkLines + markRead);
            QCOMPARE(r.memory(503, 1), QByteArray("I"));
        }
        r.special.setStartText(start);
        r.special.setCountText(count);
        r.special.setReadAscii(asText);
        r.special.manualUpload();
        QCOMPARE(readFileOrMissing(r.dir.filePath("Temporary.cmd")), file);
        QCOMPARE(r.prompter.texts(), texts);
    }

    // With node and delay from "e2prom.dat" (read, never written): a download answered
    // Yes (--reset); a combination saved, shown and downloaded with the reset answered
    // Yes (the boot macro comes from the file) and read back; macro 2 run; "stop" to
    // node 2. (What "dir" prints: cliImageRoundTrip.)
    void cliSession()
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
        QVERIFY2(d.err.contains(NoChecksums.toUtf8()), d.err.constData());
        QCOMPARE(sent().mid(3, 2), Lines({ "1 EES 503", "1 EEDAT I" }));
        QVERIFY(sent().join('|').contains("1 EES 501|1 EEN-1"));
        QVERIFY(sent().contains("1 RN"));
        QCOMPARE(
            run({ "combo", "save", "X.CMB", "--boot-macro", "2", "run.cmd", "b.cmd" }).exitCode, 0);
        QCOMPARE(run({ "combo", "show", "X.CMB" }).out, "BootMacro=2\nrun.cmd\nb.cmd\n");
        QCOMPARE(run({ "combo", "download", "X.CMB", "--reset", "--verify" }).exitCode, 0);
        QVERIFY(sent().join('|').contains("1 EES 501|1 EEN 2|1 EEW|1 EEN 2"));
        QVERIFY(sent().contains("1 RN"));
        // "B" has one character, which Read Back never matches: left out and said.
        const ProcessRun b = run({ "readback", "--all" });
        QCOMPARE(b.exitCode, 1);
        QVERIFY2(b.err.contains("B not read back"), b.err.constData());
        QCOMPARE(readFile(c.dir.filePath("Temporary.cmd")), QByteArray("1 HO\r\nMACRO 0\r\n"));
        QCOMPARE(run({ "macro", "run", "2" }).exitCode, 0);
        QCOMPARE(sent().at(sent().size() - 2), "0 ME 2");
        QCOMPARE(run({ "stop", "--node", "1" }).exitCode, 0);
        // Nothing at node 2 takes the stop: the read after it says so.
        const ProcessRun stop = run({ "stop", "--node", "2" });
        QCOMPARE(stop.exitCode, 1);
        QVERIFY2(stop.err.contains("The TYX at node 2 did not answer."), stop.err.constData());
        QCOMPARE(sent().mid(0, 20), Lines(20, "2 ME 0"));
        QCOMPARE(readFile(c.dir.filePath("e2prom.dat")), record);
    }

    // One command (node 1, delay 1 added) on a fresh controller or on one that holds
    // run.cmd ("primed"). "Temporary.cmd" afterwards, whether any line reached the
    // controller and whether the memory was marked incomplete. The settings file is
    // never written. (A download failing its 8-bit checksum check: download()'s "bad
    // cell"; here it fails by the read back.)
    void cliCommands_data()
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
            true);
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
        addRow("combo missing file", false, QString(), QString("combo download M.CMB"), 1,
            QByteArray("NONE.CMD left out of the combination"), none, true, false);
        addRow("combo of a UTF-8 name", false, QString(), QString("combo download U.CMB"), 0,
            QByteArray(), none, true, false);
        addRow("combo name with a NUL", false, QString(), QString("combo download N.CMB"), 1,
            QByteArray("N.CMB cannot be used: line 1 holds a NUL character"), none, false, false);
        addRow("readback --all", true, QString(), QString("readback --all"), 0, QByteArray(),
            QByteArray("1 HO\r\nMACRO 0\r\n"), true, false);
        addRow("name not stored", true, QString(), QString("readback NOPE"), 1,
            QByteArray("\"NOPE\" is not in the TYX directory"), none, true, false);
        addRow("upload 502 1 numbers", true, QString(), QString("upload 502 1 --numbers"), 0,
            QByteArray(), QByteArray(" 1\r\n"), true, false);
        addRow("upload count too large", true, QString(), QString("upload 1024 40000"), 2,
            QByteArray("from 0 to 32767"), none, false, false);
        addRow("clear", true, QString(), QString("clear"), 0, QByteArray(), none, true, true);
        // Silence is never a success: nothing at node 1 answers the first read.
        const QByteArray deaf("The TYX at node 1 did not answer");
        addRow("download, deaf", false, QString("--node 2"), QString("download run.cmd"), 1,
            deaf + "; nothing was written.", none, true, false);
        addRow("dir, deaf", false, QString("--node 2"), QString("dir"), 1, deaf, none, true, false);
        addRow("clear, deaf", false, QString("--node 2"), QString("clear"), 1, deaf, none, true,
            false);
        addRow("past the memory", false, QString(), QString("download run.cmd --memory-size 1030"),
            1, QByteArray("would end at address 1037, past the end of the TYX memory (1030 bytes)"),
            none, false, false);
        addRow("memory size out of range", false, QString(),
            QString("download run.cmd --memory-size 9"), 2,
            QByteArray("--memory-size needs bytes from 1024 to 32768"), none, false, false);
        addRow("combo, no file exists", false, QString(), QString("combo download G.CMB"), 1,
            QByteArray("G.CMB lists no command file that can be stored"), none, false, false);
        // One answer in 7 lost: each byte without one is read again at its own address.
        addRow("readback, answers lost", true, QString("--drop-every 7"), QString("readback --all"),
            0, QByteArray(), QByteArray("1 HO\r\nMACRO 0\r\n"), true, false);
        // Past the end of the memory nothing answers: the read fails and names the
        // addresses, and the file it would have replaced stays.
        addRow("upload, no answer", true, QString(), QString("upload 8190 4"), 1,
            QByteArray("The TYX gave no answer for addresses 8192, 8193 (3 tries each): the read "
                       "failed. Temporary.cmd was not written."),
            QByteArray("kept\r\n"), true, false);
        addRow("restore no image", true, QString(), QString("image restore run.cmd"), 1,
            QByteArray("it is not a TYX memory image. Nothing was sent"), none, false, false);
    }
    void cliCommands()
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
        if (file == "kept\r\n")
            writeFixture(c.dir.filePath("Temporary.cmd"), file);
        const Lines before = c.lines();
        const ProcessRun r = c.run(args.split(' ') + Fast);
        QCOMPARE(r.exitCode, status);
        QVERIFY2(r.err.contains(message), r.err.constData());
        QCOMPARE(readFileOrMissing(c.dir.filePath("Temporary.cmd")), file);
        QCOMPARE(c.lines().size() != before.size(), sends);
        // Left marked incomplete.
        QCOMPARE(c.memory().size() > 503 && c.memory().at(503) == 'I', marks);
        if (primed)
            QCOMPARE(c.memory().at(503), marks ? 'I' : 'X');
        QVERIFY(!QFile::exists(c.dir.filePath("e2prom.dat")));
    }

    // The examples a first run starts on (examples/): each passes the check, downloads
    // and reads back as its prepared macro, the combination too. The MESSAGE lines
    // of the one with a message and a pause work from the main window only, and the
    // check says so.
    void cliExamples_data()
    {
        addColumns<QString, QString, QByteArray, QByteArray>("file", "name", "readBack", "message");
        // Labels go, each jump becomes a status-jump line and a GOTO with the address of
        // its label in the stored text (counted from the combination's first macro).
        const QByteArray waitJump("0 EN\r\n0 HO\r\n0 STJ 0002\r\nGOTO %1\r\n0 DI\r\n 0 MA "
                                  "4000\r\nMACRO 0\r\n");
        addRow("home and move", QString("homemove.cmd"), QString("HOMEMOVE"),
            QByteArray("0 EN\r\n0 HO\r\n0 ST 0002\r\n0 MA 4000\r\nMACRO 0\r\n"), QByteArray());
        addRow("repeat loop", QString("repeat.cmd"), QString("REPEAT"),
            QByteArray("0 EN\r\nREPEAT 3\r\n0 MR 1000*REPEAT\r\nDELAY 500\r\nREND\r\n0 "
                       "ST\r\nMACRO 0\r\n"),
            QByteArray());
        addRow("status wait and jump", QString("waitjump.cmd"), QString("WAITJUMP"),
            QByteArray(waitJump).replace("%1", "00037"), QByteArray());
        addRow("combination", QString("demo.CMB"), QString("WAITJUMP"),
            QByteArray(waitJump).replace("%1", "00075"), QByteArray());
        addRow("message and pause", QString("message.cmd"), QString(), QByteArray(),
            QByteArray("Line 1 has MESSAGE Statement which cannot be downloaded."));
    }
    void cliExamples()
    {
        QFETCH(QString, file);
        QFETCH(QString, name);
        QFETCH(QByteArray, readBack);
        QFETCH(QByteArray, message);
        Cli c;
        const QDir examples(QStringLiteral(ZZ_SOURCE_DIR "/examples"));
        for (const QString& example : examples.entryList(QDir::Files))
            QVERIFY(QFile::copy(examples.filePath(example), c.dir.filePath(example)));
        const bool combination = file.endsWith(".CMB");
        if (!combination) {
            const ProcessRun check = c.run({ "check", file });
            QCOMPARE(check.exitCode, message.isEmpty() ? 0 : 1);
            QVERIFY2(check.err.contains(message), check.err.constData());
        }
        if (!message.isEmpty())
            return;
        const QStringList download = combination
            ? QStringList { "combo", "download", file, "--verify" }
            : QStringList { "download", file, "--verify-readback" };
        const ProcessRun d = c.run(download + Fast);
        QVERIFY2(d.exitCode == 0, d.err.constData());
        const ProcessRun r = c.run(QStringList { "readback", name } + Fast);
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(readFile(c.dir.filePath("Temporary.cmd")), readBack);
    }

    // --log on a command: the same rows as --trace, one a line with the date; rotated
    // at --log-size with three files kept. A log on a full disk stops with one message
    // and the command ends as it would without it. (The row format byte for byte:
    // tst_terminalcore's trafficRowFormat.)
    void cliLog_data()
    {
        addColumns<QString, QString, QByteArray, int>("args", "log", "message", "sizeLimit");
        addRow("download logged", QString("download run.cmd --reset"), QString("LOG"), QByteArray(),
            -1);
        addRow("download traced", QString("download run.cmd --reset --trace"), QString(),
            QByteArray(), -1);
        addRow("rotated", QString("download run.cmd --reset"), QString("LOG"), QByteArray(), 300);
        const QByteArray full("Traffic log stopped: /dev/full: No space left on device");
        addRow("download, full disk", QString("download run.cmd --reset"), QString("/dev/full"),
            full, -1);
        addRow("dir, deaf, full disk", QString("dir --node 2 --delay 1"), QString("/dev/full"),
            full, -1);
    }
    void cliLog()
    {
        QFETCH(QString, args);
        QFETCH(QString, log);
        QFETCH(QByteArray, message);
        QFETCH(int, sizeLimit);
        Cli c;
        const QStringList plain
            = args.split(' ') + (args.contains("--node") ? QStringList() : Fast);
        const int without = c.run(plain).exitCode;
        const QString file = log == "LOG" ? c.dir.filePath("t.log") : log;
        QStringList logged = plain;
        if (!log.isEmpty())
            logged << "--log" << file;
        if (sizeLimit > 0)
            logged << "--log-size" << QString::number(sizeLimit);
        const ProcessRun r = c.run(logged);
        QCOMPARE(r.exitCode, without);
        QCOMPARE(r.err.count("Traffic log"), message.isEmpty() ? 0 : 1);
        QVERIFY2(r.err.contains(message), r.err.constData());
        if (log != "LOG" && !args.contains("--trace"))
            return;
        QByteArray rows;
        if (log == "LOG") {
            for (const QString& name : { file + ".3", file + ".2", file + ".1", file })
                rows += readFile(name);
        } else {
            rows = r.err;
        }
        const QRegularExpression line(
            "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} (→|←|--) ",
            QRegularExpression::MultilineOption);
        const QString text = QString::fromUtf8(rows);
        // (A log rotated at 300 bytes holds the download's last rows alone.)
        if (sizeLimit < 0) {
            QVERIFY2(text.contains(QRegularExpression("^.{24}-- port \\S+ opened at 57600 baud$",
                         QRegularExpression::MultilineOption)),
                rows.constData());
            QVERIFY(text.contains(" → 1 EES 503<CR>\n"));
            // The operation's own rows frame its lines.
            const qsizetype start = text.indexOf(" -- start: Downloading..\n");
            QVERIFY2(start >= 0 && start < text.indexOf(" → 1 EES 503<CR>\n")
                    && text.indexOf(" -- end: Downloading.. completed\n") > start,
                rows.constData());
        }
        QVERIFY(text.contains(QRegularExpression(" ← [^\\n]*<CR><LF>\\n")));
        QCOMPARE(text.count(line), text.count(" → ") + text.count(" ← ") + text.count(" -- "));
        if (sizeLimit > 0) {
            QVERIFY(!QFile::exists(file + ".4"));
            for (const QString& name : { file + ".3", file + ".2", file + ".1", file })
                QVERIFY(QFileInfo(name).size() <= sizeLimit);
        }
    }

    // A file the command cannot write whole (a file size limit of 512 bytes stands for
    // a full disk: the port's lock file still fits) leaves the operator's earlier file
    // byte for byte, no temporary file, exit 1 and the reason; a pipe where a file
    // should be is refused without blocking. The controller holds one macro "BIG" of
    // 600 bytes.
    void cliFilesRefused_data()
    {
        addColumns<QString, QString, int, QString, QByteArray>(
            "pipe", "args", "limit", "target", "message");
        QString many = "combo save X.CMB --node 1 --delay 1";
        for (int i = 0; i < 20; ++i)
            many += QStringLiteral(" a-rather-long-file-name-%1.cmd").arg(i);
        const QByteArray tooLarge(" could not be written: File too large");
        addRow("readback --out", QString(),
            QString("readback --all --out out.cmd --node 1 --delay 1"), 512, QString("out.cmd"),
            "out.cmd" + tooLarge);
        addRow("upload --out", QString(),
            QString("upload 1024 600 --out out.cmd --node 1 --delay 1"), 512, QString("out.cmd"),
            "out.cmd" + tooLarge);
        addRow("image save", QString(), QString("image save out.img --node 1 --delay 1"), 512,
            QString("out.img"), "out.img" + tooLarge);
        addRow("combo save", QString(), many, 512, QString("X.CMB"),
            QByteArray("X.CMB: File too large"));
        addRow("download's macro.tmp", QString(), QString("download big.cmd --node 1 --delay 1"),
            512, QString("macro.tmp"), "macro.tmp" + tooLarge);
        const QByteArray pipe(": it is not a regular file");
        addRow("check of a pipe", QString("p.cmd"), QString("check p.cmd"), -1, QString(),
            "p.cmd could not be read" + pipe);
        addRow("run of a pipe", QString("p.cmd"), QString("run p.cmd"), -1, QString(),
            "p.cmd cannot be read" + pipe);
        addRow("e2prom.dat a pipe", QString("e2prom.dat"), QString("dir --node 1 --delay 1"), -1,
            QString(), "e2prom.dat" + pipe);
        addRow("image restore of a pipe", QString("p.img"),
            QString("image restore p.img --node 1 --delay 1"), -1, QString(),
            "p.img could not be read" + pipe);
        addRow("combo show of a pipe", QString("P.CMB"), QString("combo show P.CMB"), -1, QString(),
            "P.CMB could not be read" + pipe);
    }
    void cliFilesRefused()
    {
        QFETCH(QString, pipe);
        QFETCH(QString, args);
        QFETCH(int, limit);
        QFETCH(QString, target);
        QFETCH(QByteArray, message);
        Cli c;
        writeFixture(c.dir.filePath("mem.bin"),
            memoryImage({ { "BIG", QByteArray("1 A 7777777\r").repeated(50) } }));
        writeFixture(c.dir.filePath("big.cmd"), macroOfSize(608));
        const QByteArray earlier("earlier\r\n");
        if (!target.isEmpty())
            writeFixture(c.dir.filePath(target), earlier);
        if (!pipe.isEmpty())
            QCOMPARE(::mkfifo(QFile::encodeName(c.dir.filePath(pipe)).constData(), 0600), 0);
        const QStringList before
            = QDir(c.dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden);
        const ProcessRun r = c.run(args.split(' '), limit);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(message), r.err.constData());
        if (!target.isEmpty())
            QCOMPARE(readFile(c.dir.filePath(target)), earlier);
        // The simulated controller's log and the settings made at the first start aside,
        // nothing was added.
        QStringList after
            = QDir(c.dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden);
        after.removeOne("sim.log");
        after.removeOne("s.json");
        QCOMPARE(after.join(' '), before.join(' '));
    }

    // Ctrl-C is the Cancel button: exit 130 (SIGTERM 143, SIGHUP 129, which stop as it
    // does). A download finishes the byte in flight, then marks the memory incomplete
    // and sends nothing more; a read back of what a download stored leaves it as it
    // was. Downloads are stopped at moments spread over the macro text.
    void cliInterrupt_data()
    {
        addColumns<bool, QString, int, int>("primed", "args", "signal", "after");
        for (const int after : { 20, 80, 140, 200, 260, 320, 400, 480 })
            addRow(qPrintable(QString("download at line %1").arg(after)), false,
                QString("download run.cmd --node 1 --delay 2"), SIGINT, after);
        addRow("download, SIGTERM", false, QString("download run.cmd --node 1 --delay 2"), SIGTERM,
            100);
        addRow(
            "download, SIGHUP", false, QString("download run.cmd --node 1 --delay 2"), SIGHUP, 100);
        addRow("combo download", false, QString("combo download R.CMB --node 1 --delay 2"), SIGINT,
            20);
        addRow("readback", true, QString("readback RUN --node 1 --delay 1"), SIGINT, 20);
    }
    void cliInterrupt()
    {
        QFETCH(bool, primed);
        QFETCH(QString, args);
        QFETCH(int, signal);
        QFETCH(int, after);
        Cli c(QString(), QByteArray("1 A 1234567\r\n").repeated(20));
        QVERIFY(!primed || c.prime());
        const qsizetype before = c.lines().size();
        QProcess cli;
        cli.setWorkingDirectory(c.dir.path());
        cli.start(appBinary("zaziruv-cli"), c.args(args.split(' ')));
        QVERIFY(QTest::qWaitFor([&] { return c.lines().size() > before + after; }, 20000));
        ::kill(pid_t(cli.processId()), signal);
        QVERIFY(cli.waitForFinished(20000));
        QCOMPARE(cli.exitCode(), 128 + signal);
        Lines sent = c.lines().mid(before);
        sent.removeAll(QByteArray());
        const qsizetype mark = sent.lastIndexOf("1 EEADDR 503,I");
        if (primed) {
            QCOMPARE(mark, -1);
            QCOMPARE(c.memory().at(503), 'X');
            return;
        }
        QVERIFY(mark >= 2);
        // The byte in flight was written before the mark, and nothing after it.
        QVERIFY2(!sent.at(mark - 2).startsWith("1 EED"), sent.at(mark - 2).constData());
        QCOMPARE(sent.size(), mark + 2);
        QCOMPARE(c.memory().at(503), 'I');
    }

    // A line cut anywhere in a download over a stored program: the program is either
    // left as it was (cut before the first write) or marked incomplete, never the old
    // table over part of the new text marked complete.
    void cliCutSweep()
    {
        Cli c;
        QVERIFY(c.prime());
        writeFixture(c.dir.filePath("new.cmd"), "L:1 ST 8>L\r\n1 A 7777\r\n");
        const QString base = c.sim;
        for (const int cut : { 2, 5, 8, 12, 20, 40, 60, 80, 100, 104, 108, 111 }) {
            const QByteArray old = c.memory();
            c.sim = base + QString(" --hangup-after %1").arg(cut);
            const ProcessRun r = c.run(QStringList { "download", "new.cmd" } + Fast);
            const QByteArray now = c.memory();
            QVERIFY2(
                r.exitCode == 1, qPrintable(QString("cut %1: exit %2").arg(cut).arg(r.exitCode)));
            QVERIFY2(now == old || now.at(503) == 'I', qPrintable(QString("cut %1").arg(cut)));
            c.sim = base;
            QCOMPARE(c.run(QStringList { "download", "run.cmd" } + Fast).exitCode, 0);
        }
        // Uncut, the same download completes.
        QCOMPARE(c.run(QStringList { "download", "new.cmd" } + Fast).exitCode, 0);
        QCOMPARE(c.memory().at(503), 'X');
    }

    // The program killed outright (SIGKILL, no handler runs) at moments over a download
    // into a separate simulated controller that holds a program: that program is left
    // as it was or marked incomplete, never the old table over new text marked "X".
    void cliKilled()
    {
        for (const int after : { 2, 6, 10, 30, 60, 90, 110 }) {
            QTemporaryDir dir;
            const QString mem = dir.filePath("mem.bin");
            const QString log = dir.filePath("sim.log");
            const QByteArray old = memoryImage();
            QVERIFY(writeFile(mem, old));
            writeFixture(dir.filePath("run.cmd"), QByteArray("1 A 1234567\r\n").repeated(4));
            QByteArray now;
            {
                SimProcess sim({ "--baud", "57600", "--eeprom", mem, "--log", log });
                QVERIFY(sim.isValid());
                QProcess cli;
                cli.setWorkingDirectory(dir.path());
                cli.start(appBinary("zaziruv-cli"),
                    QStringList { "--settings", dir.filePath("s.json"), "--dir", dir.path(),
                        "--port", sim.path(), "--baud", "57600", "download", "run.cmd" }
                        + Fast);
                QVERIFY(QTest::qWaitFor(
                    [&] {
                        return readFileOrMissing(log).count('\n') >= after
                            || cli.state() == QProcess::NotRunning;
                    },
                    20000));
                QVERIFY2(
                    cli.state() != QProcess::NotRunning, cli.readAllStandardError().constData());
                cli.kill();
                QVERIFY(cli.waitForFinished(10000));
                QCOMPARE(sim.stop(), 0);
                now = readFile(mem);
            }
            QVERIFY2(now == old || now.at(503) == 'I', qPrintable(QString("after %1").arg(after)));
        }
    }

    // A controller's program copied into another whose memory is erased: the same
    // directory, and the same bytes over the saved range. A damaged image sends nothing;
    // a restore cut short leaves the program marked incomplete.
    void cliImageRoundTrip()
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
        QCOMPARE(to.lines(), Lines { "" });

        const ProcessRun restored = to.run(
            QStringList { "image", "restore", from.dir.filePath("copy.img"), "--verify-readback" }
            + Fast);
        QCOMPARE(restored.exitCode, 0);
        QCOMPARE(to.run(QStringList { "dir" } + Fast).out,
            QByteArray("1 RUN\nTotal Bytes Stored: 13\n"));
        QCOMPARE(to.memory().mid(100, 937), from.memory().mid(100, 937));

        // A line lost after address 503 is written leaves the program marked incomplete.
        Cli cut("--hangup-after 1000");
        QCOMPARE(cut.run(QStringList { "image", "restore", from.dir.filePath("copy.img") } + Fast)
                     .exitCode,
            1);
        QCOMPARE(cut.memory().mid(503, 1), QByteArray("I"));
    }

    // image verify against the controller the image came from, one holding another
    // program and a silent one; image info of a combination's image, without a port.
    void cliImageVerify()
    {
        Cli from;
        QCOMPARE(from.run(QStringList {
                              "combo", "save", "X.CMB", "--boot-macro", "2", "run.cmd", "b.cmd" })
                     .exitCode,
            0);
        QCOMPARE(from.run(QStringList { "combo", "download", "X.CMB" } + Fast).exitCode, 0);
        QCOMPARE(from.run(QStringList { "image", "save", "c.img" } + Fast).exitCode, 0);
        const ProcessRun info = from.run({ "image", "info", "c.img" });
        QCOMPARE(info.exitCode, 0);
        QCOMPARE(info.outText().section("\n", 3),
            "Boot macro: 2\nMarked: complete (X)\n1 RUN 13 bytes\n2 B 30 bytes\n");
        const ProcessRun equal = from.run(QStringList { "image", "verify", "c.img" } + Fast);
        QCOMPARE(equal.exitCode, 0);
        QCOMPARE(equal.out, "Equal: 967 bytes from address 100\n");

        Cli other;
        QVERIFY(other.prime());
        const ProcessRun different = other.run(
            QStringList { "image", "verify", from.dir.filePath("c.img"), "--json" } + Fast);
        QCOMPARE(different.exitCode, 1);
        QVERIFY2(different.out.startsWith("{\"differences\":"), different.out.constData());
        QVERIFY2(different.out.contains("{\"address\":501,\"image\":2,\"tyx\":0}"),
            different.out.constData());
        QCOMPARE(different.out.count("\"address\""), 20);
        QCOMPARE(other.memory().at(503), 'X'); // nothing written

        Cli silent("--node 2");
        const ProcessRun deaf
            = silent.run(QStringList { "image", "verify", from.dir.filePath("c.img") } + Fast);
        QCOMPARE(deaf.exitCode, 1);
        QVERIFY2(deaf.err.contains("The TYX at node 1 did not answer."), deaf.err.constData());
    }

    // program to separate zaziruv-sim processes, each on its own pseudo-terminal. One
    // hangs up half way: the others finish ok, it is recorded failed and left marked
    // incomplete. Two nodes on one port run one after another in one child, a failed
    // one (node 2 absent) tried again (--retries) with a row for each attempt; on a line
    // where both answer, both are ok.
    void cliProgram()
    {
        Cli c;
        QTemporaryDir sims;
        QList<std::shared_ptr<SimProcess>> sim;
        for (const char* extra : { "", "", "--hangup-after 30" }) {
            const QString n = QString::number(sim.size());
            sim << std::make_shared<SimProcess>(
                QStringList { "--baud", "57600", "--eeprom", sims.filePath("mem" + n), "--log",
                    sims.filePath("log" + n) }
                + QString(extra).split(QLatin1Char(' '), Qt::SkipEmptyParts));
            QVERIFY(sim.back()->isValid());
        }
        const auto program = [&](const QStringList& args) {
            ProcessOptions options;
            options.workingDirectory = c.dir.path();
            options.closeInput = true;
            return runProcess(appBinary("zaziruv-cli"),
                QStringList { "--settings", c.dir.filePath("s.json"), "--dir", c.dir.path(),
                    "--baud", "57600", "--timeout", "500", "program", "run.cmd", "--delay", "1" }
                    + args,
                options);
        };
        const ProcessRun r = program({ "--target", sim[0]->path() + "@1", "--target",
            sim[1]->path() + "@1", "--target", sim[2]->path() + "@1", "--record", "r.csv" });
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.contains("2 of 3 units ok, 1 not ok"), r.out.constData());
        const QList<QByteArray> rows = readFile(c.dir.filePath("r.csv")).split('\n');
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0], UnitRecord::csvHeader().chopped(1));
        QByteArray results;
        for (const QByteArray& row : rows.mid(1, 3)) {
            const QList<QByteArray> f = row.split(',');
            QCOMPARE(f.at(7), "run.cmd");
            results += f.at(2) == sim[2]->path().toUtf8() ? "hung:" + f.at(9).left(44)
                                                          : f.at(9) + ' ' + f.at(10);
            results += ';';
        }
        QCOMPARE(results.count("ok 13;"), 2);
        QVERIFY2(results.contains("hung:\"failed: The serial port closed during the"),
            results.constData());
        QCOMPARE(sim[2]->stop(), 0);
        QCOMPARE(readFile(sims.filePath("mem2")).at(503), 'I');

        // Node 2 is not there: after node 1, in the same child, and once more.
        const ProcessRun multi
            = program({ "--target", sim[0]->path() + "@1", "--target", sim[0]->path() + "@2",
                "--retries", "1", "--record", "m.jsonl", "--record-format", "jsonl", "--json" });
        QCOMPARE(multi.exitCode, 1);
        QVERIFY2(multi.out.contains("\"notOk\":1,\"ok\":1"), multi.out.constData());
        QByteArray attempts;
        for (const QByteArray& line : readFile(c.dir.filePath("m.jsonl")).split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (!o.isEmpty())
                attempts += QStringLiteral("%1/%2 %3;")
                                .arg(o["node"].toString())
                                .arg(o["attempt"].toInt())
                                .arg(o["result"].toString().left(30))
                                .toUtf8();
        }
        QCOMPARE(attempts,
            "1/1 ok;2/1 failed: The TYX at node 2 did ;2/2 failed: The TYX at node 2 did ;");
        const QList<QByteArray> sent = readFile(sims.filePath("log0")).split('\n');
        qsizetype lastOne = 0, firstTwo = 0;
        for (qsizetype i = 0; i < sent.size(); ++i) {
            if (sent[i].startsWith("1 ") && !firstTwo)
                lastOne = i;
            if (sent[i].startsWith("2 ") && !firstTwo)
                firstTwo = i;
        }
        QVERIFY(lastOne < firstTwo);

        // Nodes 1 and 2 both answer on one line: each gets the program in its own memory.
        SimProcess line({ "--baud", "57600", "--nodes", "1,2", "--eeprom", sims.filePath("line"),
            "--log", sims.filePath("linelog") });
        QVERIFY(line.isValid());
        const ProcessRun both = program({ "--target", line.path() + "@1", "--target",
            line.path() + "@2", "--record", "b.csv" });
        QCOMPARE(both.exitCode, 0);
        QVERIFY2(both.out.contains("2 of 2 units ok, 0 not ok"), both.out.constData());
        QByteArray stored;
        for (const QByteArray& row : readFile(c.dir.filePath("b.csv")).split('\n').mid(1)) {
            const QList<QByteArray> f = row.split(',');
            if (f.size() > 10)
                stored += f.at(5) + ' ' + f.at(9) + ' ' + f.at(10) + ';';
        }
        QCOMPARE(stored, "1 ok 13;2 ok 13;");
        for (const char* node : { "1", "2" }) {
            const ProcessRun dir = runProcess(appBinary("zaziruv-cli"),
                { "--settings", c.dir.filePath("s.json"), "--dir", c.dir.path(), "--baud", "57600",
                    "--port", line.path(), "dir", "--node", node, "--delay", "1" });
            QCOMPARE(dir.exitCode, 0);
            QCOMPARE(dir.out, "1 RUN\nTotal Bytes Stored: 13\n");
        }
        QCOMPARE(line.stop(), 0);
        const QByteArray one = readFile(sims.filePath("line.1"));
        QCOMPARE(one.at(503), 'X');
        QCOMPARE(readFile(sims.filePath("line.2")), one);
    }

    // Ctrl-C on program cancels every running unit: each child finishes the byte in
    // flight, marks its controller incomplete, and every unit is recorded cancelled.
    void cliProgramInterrupt()
    {
        Cli c(QString(), QByteArray("1 A 1234567\r\n").repeated(20));
        QTemporaryDir sims;
        QList<std::shared_ptr<SimProcess>> sim;
        QStringList args { "--settings", c.dir.filePath("s.json"), "--dir", c.dir.path(), "--baud",
            "57600", "program", "run.cmd", "--delay", "2", "--record", "r.csv" };
        for (int i = 0; i < 2; ++i) {
            const QString n = QString::number(i);
            sim << std::make_shared<SimProcess>(QStringList { "--baud", "57600", "--eeprom",
                sims.filePath("mem" + n), "--log", sims.filePath("log" + n) });
            QVERIFY(sim.back()->isValid());
            args << "--target" << sim.back()->path() + "@1";
        }
        QProcess cli;
        cli.setWorkingDirectory(c.dir.path());
        cli.start(appBinary("zaziruv-cli"), args);
        QVERIFY(QTest::qWaitFor(
            [&] {
                return readFileOrMissing(sims.filePath("log0")).count('\n') > 60
                    && readFileOrMissing(sims.filePath("log1")).count('\n') > 60;
            },
            20000));
        ::kill(pid_t(cli.processId()), SIGINT);
        QVERIFY(cli.waitForFinished(20000));
        QCOMPARE(cli.exitCode(), 130);
        const QByteArray record = readFile(c.dir.filePath("r.csv"));
        QCOMPARE(record.count(",cancelled,"), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(sim[i]->stop(), 0);
            QCOMPARE(readFile(sims.filePath("mem" + QString::number(i))).at(503), 'I');
        }
    }
};

QTEST_GUILESS_MAIN(TstDownload)
#include "tst_download.moc"
