// The single-file download and the directory read through the real serial path
// against the simulated controller: the exact lines it received, in order, and its
// memory image afterwards.

#include "../common/corerig.h"
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

// The table entries 0 and 1 for a macro of `size` bytes.
Lines tableLines(int size)
{
    Lines out { "1 EES 516" };
    for (int v : { 1024, 1024 + size })
        out << "1 EEN " + QByteArray::number(v / 256) << "1 EEW"
            << "1 EEN " + QByteArray::number(v % 256) << "1 EEW";
    return out;
}

// The directory name of "x.cmd" at 499, then the seven empty name bytes.
Lines nameLines()
{
    Lines out { "1 EEU 4826", "1 EEADR 499,X" };
    for (int a = 498; a >= 492; --a)
        out << "\n1 EEADR " + QByteArray::number(a) + ',';
    return out;
}

SimOptions fastSim(const QStringList& extra = {})
{
    QString why;
    const auto o = parseSimOptions(QStringList { "--baud", "57600" } + extra, &why);
    if (!o)
        qFatal("%s", qPrintable(why));
    return *o;
}

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

    explicit Rig(const SimOptions& options, bool verify = false)
        : SimCoreRig(options)
    {
        writeFixture(dir.filePath("e2prom.dat"), E2promRecord::build("1", "1", verify));
        u = std::make_unique<UtilityCore>(*core, prompter);
        u->Form_Load();
    }

    // "Download File" on x.cmd holding `file` (no file when null).
    void download(const QByteArray& file, PromptAnswer completion = PromptAnswer::No)
    {
        if (!file.isNull())
            writeFixture(dir.filePath("x.cmd"), file);
        u->Filename = QStringLiteral("x.cmd");
        prompter.answers = { PromptAnswer::Ok, completion };
        u->DnloadButton_Click();
        settle();
    }

    // Lets the last lines reach the controller.
    void settle()
    {
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
    // The worked example: verify off, boot off, node 1, "1 HO"; Yes resets.
    void workedExample()
    {
        Rig r(fastSim());
        r.download("1 HO\r\n", PromptAnswer::Yes);
        const Lines expected = Header + textLines("1 HO\rMACRO 0\r") + tableLines(13) + nameLines()
            + Lines { "\n1 EES", "1 RN" };
        QCOMPARE(r.lines, expected);
        QCOMPARE(r.u->lastDownload, Outcome::Completed);
        QCOMPARE(r.prompter.texts(), QStringList({ NoChecksums, UtilityCore::CompletionText }));
        QCOMPARE(r.memory(492, 12), QByteArray("\r\r\r\r\r\r\rX\xff\0\x01X", 12));
        QCOMPARE(r.memory(516, 4), QByteArray("\x04\x00\x04\x0d", 4));
        QCOMPARE(r.memory(1024, 14), QByteArray("1 HO\rMACRO 0\r\xff"));
        // The controller summed what it stored as the download did.
        QCOMPARE(r.u->protocol.DownloadSum, (29 + 4 + 0 + 4 + 13) % 256);
        QCOMPARE(r.u->protocol.DownloadSum, r.sim->controller().memoryChecksum());
    }

    // Verification: the checksum reset and query around the text, and on a failing
    // cell the incomplete mark, the message, no directory entry and no question.
    void verify_data()
    {
        QTest::addColumn<QStringList>("sim");
        QTest::addColumn<bool>("matches");
        QTest::newRow("matching") << QStringList() << true;
        QTest::newRow("bad cell") << QStringList { "--bad-write-every", "7" } << false;
    }
    void verify()
    {
        QFETCH(QStringList, sim);
        QFETCH(bool, matches);
        Rig r(fastSim(sim), true);
        r.download("1 HO\r\n");
        const Lines tail = matches ? nameLines() : MarkLines;
        const Lines expected = Lines { "1 EEC 0", "1 EEC" } + Header + textLines("1 HO\rMACRO 0\r")
            + tableLines(13) + Lines { "1 EEC" } + tail + Lines { "\n1 EES" };
        QCOMPARE(r.lines, expected);
        QCOMPARE(r.u->lastDownload, matches ? Outcome::Completed : Outcome::Failed);
        QCOMPARE(r.memory(503, 1), matches ? QByteArray("X") : QByteArray("I"));
        QCOMPARE(r.prompter.texts(),
            QStringList({ matches ? UtilityCore::CompletionText : EepromProtocol::MismatchText }));
    }

    // Cancel during the text: the mark goes out inside the running wait, the text
    // stops after the current byte, and nothing is asked.
    void cancelMidText()
    {
        Rig r(fastSim());
        QObject::connect(
            r.sim.get(), &PtySimulator::lineReceived, r.u.get(), [&](const QByteArray& line) {
                if (line == "1 EED H")
                    QTimer::singleShot(0, r.u.get(), &UtilityCore::CmdEEAbort_Click);
            });
        r.download("1 HO\r\n");
        const Lines expected = Header + Lines { "1 EED 1", "1 EEW", "1 EED  ", "1 EEW", "1 EED H" }
            + MarkLines + Lines { "\n1 EEW", "1 EES" };
        QCOMPARE(r.lines, expected);
        QCOMPARE(r.u->lastDownload, Outcome::Cancelled);
        QCOMPARE(r.memory(503, 1), QByteArray("I"));
        QCOMPARE(r.prompter.texts(), QStringList({ NoChecksums }));
        QVERIFY(r.u->windowEnabled && r.u->DownFrameEnabled && !r.u->Form1Visible);
    }

    void hangUpMidDownload()
    {
        Rig r(fastSim({ "--hangup-after", "12" }));
        r.download("1 HO\r\n");
        QCOMPARE(r.lines.size(), 12);
        QCOMPARE(r.u->lastDownload, Outcome::PortLost);
        QCOMPARE(r.prompter.texts(), QStringList({ NoChecksums, EepromProtocol::PortLostText }));
    }

    // Files that must not reach the controller: nothing at all is sent, not even the
    // macro an earlier preparation left in "macro.tmp".
    void refused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QByteArray("") << "Command file is empty.";
        QTest::newRow("DELAY first")
            << QByteArray("DELAY 3\r\n1 HO\r\n")
            << "The first line of a macro must begin with the node address.\r\n\r\nDELAY 15";
        QTest::newRow("missing") << QByteArray() << " Please select a file";
    }
    void refused()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        Rig r(fastSim());
        writeFixture(r.dir.filePath("macro.tmp"), "1 HO\rMACRO 0\r");
        r.download(file);
        QCOMPARE(r.prompter.texts().last(), message);
        QCOMPARE(r.lines, Lines());
        QCOMPARE(r.u->lastDownload, Outcome::NotStarted);
    }

    // The directory after a download of 100 bytes, and the states it refuses.
    // The directory after a download (100 bytes; 13, whose end 1037 has a CR as its
    // low byte), and the states it refuses.
    void directory_data()
    {
        QTest::addColumn<int>("size"); // download a macro of this size first; 0: poke
        QTest::addColumn<char>("poke"); // the byte put at 502 ("\xff") or 503 ("i")
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("message");
        QTest::newRow("100 bytes") << 100 << '\0' << QStringList { "X" } << " 100"
                                   << "";
        QTest::newRow("13 bytes") << 13 << '\0' << QStringList { "X" } << " 13"
                                  << "";
        QTest::newRow("erased") << 0 << '\xff' << QStringList() << ""
                                << "The Macro Directory could not be Read or\r\nmore than 40 "
                                   "macros are stored in the TYX EEprom memory";
        QTest::newRow("incomplete") << 0 << 'i' << QStringList() << ""
                                    << "TYX Programming is incomplete";
    }
    void directory()
    {
        QFETCH(int, size);
        QFETCH(char, poke);
        QFETCH(QStringList, names);
        QFETCH(QString, total);
        QFETCH(QString, message);
        Rig r(fastSim());
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
