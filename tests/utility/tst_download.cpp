// The single-file download and the directory read through the real serial path
// against the simulated controller: the exact lines it received, in order, and its
// memory image afterwards.

#include "../common/corerig.h"
#include "../common/datarow.h"
#include "../common/simargs.h"
#include "../common/testfiles.h"

#include "core/eventwait.h"
#include "core/ticktimer.h"
#include "eeprom/e2promrecord.h"
#include "utility/utilitycore.h"

#include <QTest>
#include <QTimer>

namespace {

using Lines = QList<QByteArray>;
using Outcome = UtilityCore::Outcome;

const Lines Header { "1 EES 501", "1 EEN 0", "1 EEW", "1 EEN 1", "1 EEW", "1 EEDAT X", "1 EEW",
    "1 EES 1024" };
const Lines MarkLines { "1 EEU 4826", "1 EEADDR 503,I", "\n1 EES" };
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

struct Rig : SimCoreRig
{
    std::unique_ptr<UtilityCore> u;

    explicit Rig(const QString& options = {}, bool verify = false)
        : SimCoreRig(simOptions("--baud 57600 " + options))
    {
        writeFixture(dir.filePath("e2prom.dat"), E2promRecord::build("1", "1", verify));
        u = std::make_unique<UtilityCore>(*core, prompter);
        u->Form_Load();
    }

    // "Download File" on x.cmd holding `file` (no file when null), then lets the
    // last lines reach the controller.
    void download(const QByteArray& file, PromptAnswer completion = PromptAnswer::No)
    {
        if (!file.isNull())
            writeFixture(dir.filePath("x.cmd"), file);
        u->Filename = QStringLiteral("x.cmd");
        prompter.answers = { PromptAnswer::Ok, completion };
        u->DnloadButton_Click();
        TickTimer& t = TickTimer::instance();
        t.setTicks(0);
        waitUntil([&] { return t.ticks() >= 20 || !t.isRunning(); });
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
    // text after the current byte.
    void download_data()
    {
        addColumns<QString, bool, QByteArray, Lines, int, QStringList>(
            "sim", "verify", "cancelAt", "lines", "outcome", "texts");
        const Lines verified = Lines { "1 EEC 0", "1 EEC" } + Header + Text + Lines { "1 EEC" };
        addRow("worked example, reset", QString(), false, QByteArray(),
            Header + Text + Name + Lines { "\n1 EES", "1 RN" }, int(Outcome::Completed),
            QStringList { NoChecksums, UtilityCore::CompletionText });
        addRow("verified", QString(), true, QByteArray(), verified + Name + Lines { "\n1 EES" },
            int(Outcome::Completed), QStringList { UtilityCore::CompletionText });
        addRow("bad cell", QString("--bad-write-every 7"), true, QByteArray(),
            verified + MarkLines + Lines { "\n1 EES" }, int(Outcome::Failed),
            QStringList { EepromProtocol::MismatchText });
        addRow("cancel mid-text", QString(), false, QByteArray("1 EED H"),
            Header + Text.mid(0, 5) + MarkLines + Lines { "\n1 EEW", "1 EES" },
            int(Outcome::Cancelled), QStringList { NoChecksums });
        addRow("hang-up", QString("--hangup-after 12"), false, QByteArray(),
            Header + Text.mid(0, 4), int(Outcome::PortLost),
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
        QObject::connect(
            r.sim.get(), &PtySimulator::lineReceived, r.u.get(), [&](const QByteArray& l) {
                if (!cancelAt.isEmpty() && l == cancelAt)
                    QTimer::singleShot(0, r.u.get(), &UtilityCore::CmdEEAbort_Click);
            });
        const bool reset = QTest::currentDataTag() == QByteArray("worked example, reset");
        r.download("1 HO\r\n", reset ? PromptAnswer::Yes : PromptAnswer::No);
        QCOMPARE(r.lines, lines);
        QCOMPARE(int(r.u->lastDownload), outcome);
        if (outcome != int(Outcome::PortLost))
            QCOMPARE(r.memory(503, 1), QByteArray(outcome == int(Outcome::Completed) ? "X" : "I"));
        QCOMPARE(r.prompter.texts(), texts);
        QVERIFY(r.u->windowEnabled && r.u->DownFrameEnabled && !r.u->Form1Visible);
        if (outcome != int(Outcome::Completed))
            return;
        QCOMPARE(r.memory(492, 12), QByteArray("\r\r\r\r\r\r\rX\xff\0\x01X", 12));
        QCOMPARE(r.memory(516, 4), QByteArray("\x04\x00\x04\x0d", 4));
        QCOMPARE(r.memory(1024, 14), QByteArray("1 HO\rMACRO 0\r\xff"));
        // The controller summed what it stored as the download did.
        QCOMPARE(r.u->protocol.DownloadSum, (29 + 4 + 0 + 4 + 13) % 256);
        QCOMPARE(r.u->protocol.DownloadSum, r.sim->controller().memoryChecksum());
    }

    // Files that must not reach the controller: nothing at all is sent, not even the
    // macro an earlier preparation left in "macro.tmp".
    void refused_data()
    {
        addColumns<QByteArray, QString>("file", "message");
        addRow("empty", QByteArray(""), QString("Command file is empty."));
        addRow("DELAY first", QByteArray("DELAY 3\r\n1 HO\r\n"),
            QString("The first line of a macro must begin with the node address.\r\n\r\nDELAY 15"));
        addRow("missing", QByteArray(), QString(" Please select a file"));
    }
    void refused()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        Rig r;
        writeFixture(r.dir.filePath("macro.tmp"), "1 HO\rMACRO 0\r");
        r.download(file);
        QCOMPARE(r.prompter.texts().last(), message);
        QCOMPARE(r.lines, Lines());
        QCOMPARE(r.u->lastDownload, Outcome::NotStarted);
    }

    // The directory after a download (100 bytes; 13, whose end 1037 has a CR as its
    // low byte), and the states it refuses.
    void directory_data()
    {
        addColumns<int, char, QStringList, QString, QString>(
            "size", "poke", "names", "total", "message"); // size 0: poke 502 or 503 ('i')
        addRow("100 bytes", 100, '\0', QStringList { "X" }, QString(" 100"), QString());
        addRow("13 bytes", 13, '\0', QStringList { "X" }, QString(" 13"), QString());
        addRow("erased", 0, '\xff', QStringList(), QString(),
            QString("The Macro Directory could not be Read or\r\nmore than 40 macros are stored "
                    "in the TYX EEprom memory"));
        addRow("incomplete", 0, 'i', QStringList(), QString(),
            QString("TYX Programming is incomplete"));
    }
    void directory()
    {
        QFETCH(int, size);
        QFETCH(char, poke);
        QFETCH(QStringList, names);
        QFETCH(QString, total);
        QFETCH(QString, message);
        Rig r;
        if (size > 0) {
            r.download(macroOfSize(size));
            QCOMPARE(r.memory(516, 4), QByteArray("\x04\x00\x04", 3) + char(size));
        } else {
            QByteArray image = r.sim->controller().memory();
            image[poke == 'i' ? 503 : 502] = poke;
            r.sim->controller().setMemory(image);
        }
        r.prompter.shown.clear();
        r.lines.clear();
        r.u->Command6_Click();
        QCOMPARE(r.u->ComboMacro1, names);
        QCOMPARE(r.u->LabelTotBytes, total);
        QCOMPARE(r.prompter.texts().value(0), message);
        Lines expected { "1 EEU 4826", "1 EEADR 503" };
        if (poke != 'i')
            expected << "1 EEADR 502";
        for (int a = 499; a > 499 - 8 * names.size(); --a)
            expected << "1 EEADR " + QByteArray::number(a);
        if (!names.isEmpty())
            expected << "1 EEU 4826"
                     << "1 EEADR 518"
                     << "1 EEADR 519";
        QCOMPARE(r.lines, expected);
    }
};

QTEST_GUILESS_MAIN(TstDownload)
#include "tst_download.moc"
