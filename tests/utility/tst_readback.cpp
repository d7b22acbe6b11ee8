// Reading the controller's memory back: "Read Back" of the upload panel, the manual
// upload and "Clear Macros" of the special functions window, against the simulated
// controller holding three stored macros.

#include "../common/corerig.h"
#include "../common/datarow.h"
#include "../common/simargs.h"
#include "../common/testfiles.h"

#include "eeprom/e2promrecord.h"
#include "utility/specialcore.h"
#include "utility/utilitycore.h"

#include <QTest>

namespace {

using Outcome = UtilityCore::Outcome;

// Three macros as a combination download leaves them: "TWO" (two lines), "A" (a name
// of one character) and "LETTER" (the letter A and a CR).
QByteArray memoryImage()
{
    const QList<QPair<QByteArray, QByteArray>> macros { { "TWO", "1 HO\rMACRO 0\r" },
        { "A", "1 A\r" }, { "LETTER", "A\r" } };
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
    UtilityCore u { *core, prompter };
    SpecialCore special { u };

    Rig()
        : SimCoreRig(simOptions(QStringLiteral("--baud 57600 --pace")))
    {
        writeFixture(dir.filePath("e2prom.dat"), E2promRecord::build("1", "1", false));
        sim->controller().setMemory(memoryImage());
        u.Form_Load();
    }
};

} // namespace

class TstReadBack : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The file "Read Back" writes, byte for byte. Rows 1 and 2 of ReadRanges hold an
    // earlier read-back's ranges, which an entry without an equal name must not read.
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
        addRow("overwrite answered Yes", QStringList { "LETTER" }, true, QString("out.txt"),
            int(PromptAnswer::Yes), QByteArray("A\r\n"), done);
        addRow("overwrite answered No", QStringList { "LETTER" }, true, QString("out.txt"),
            int(PromptAnswer::No), QByteArray("<missing>"), int(Outcome::NotStarted));
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
        Rig r;
        r.u.Command6_Click();
        QCOMPARE(r.u.ComboMacro1, QStringList({ "TWO", "A", "LETTER" }));
        r.u.ReadRanges[1] = { 1024, 1030 };
        r.u.ReadRanges[2] = { 1024, 1030 };
        r.u.ComboFileList2 = list;
        r.u.protocol.ReadAsText = asText;
        r.u.Filename2 = target;
        if (answer >= 0)
            r.prompter.answers = { PromptAnswer(answer) };
        r.u.CmdReadBack_Click();
        QCOMPARE(readFileOrMissing(r.dir.filePath(target)), file);
        QCOMPARE(int(r.u.lastReadBack), outcome);
        const QStringList texts = r.prompter.texts();
        QCOMPARE(texts.size(), answer >= 0 || outcome == int(Outcome::Failed) ? 1 : 0);
        if (answer >= 0)
            QCOMPARE(texts.first(), "Are you sure you want to Overwrite OUT.TXT?");
        QVERIFY(r.u.windowEnabled && r.u.UpFrameEnabled && !r.u.Form1Visible);
        // Reading never marks the memory.
        QCOMPARE(r.memory(503, 1), QByteArray("X"));
    }

    // The manual upload: start and count as typed, text or numbers.
    void manualUpload_data()
    {
        addColumns<QString, QString, bool, QByteArray, QStringList>(
            "start", "count", "asText", "file", "texts");
        addRow("502/1 Read Number", QString("502"), QString("1"), false, QByteArray(" 3\r\n"),
            QStringList());
        addRow("1024/10 Read Ascii", QString("1024"), QString("10"), true,
            QByteArray("1 HO\r\nMACRO"), QStringList());
        addRow("count 0 reads nothing", QString("1024"), QString("0"), true, QByteArray(),
            QStringList());
        addRow("count too large", QString("1024"), QString("40000"), true, QByteArray("<missing>"),
            QStringList { SpecialCore::CountText });
    }
    void manualUpload()
    {
        QFETCH(QString, start);
        QFETCH(QString, count);
        QFETCH(bool, asText);
        QFETCH(QByteArray, file);
        QFETCH(QStringList, texts);
        Rig r;
        r.special.Text1 = start;
        r.special.Text2 = count;
        r.special.AsciiOpt = asText;
        r.special.Command2_Click();
        QCOMPARE(readFileOrMissing(r.dir.filePath("Temporary.cmd")), file);
        QCOMPARE(r.prompter.texts(), texts);
    }

    // "Clear Macros" stops the macros and marks the memory incomplete; the next
    // directory read and manual upload say so.
    void clearMacros()
    {
        Rig r;
        r.special.Command1_Click();
        QCOMPARE(r.special.lastClear, Outcome::Completed);
        QCOMPARE(r.lines.mid(0, 20), QList<QByteArray>(20, "1 ME 0"));
        QCOMPARE(r.lines.mid(20), QList<QByteArray>({ "1 EEU 4826", "1 EEADDR 503,I", "\n1 EES" }));
        QCOMPARE(r.memory(503, 1), QByteArray("I"));
        r.u.Command6_Click();
        r.special.Text1 = "503";
        r.special.Text2 = "1";
        r.special.Command2_Click();
        QCOMPARE(r.prompter.texts(),
            QStringList({ "TYX Programming is incomplete", EepromProtocol::IncompleteText }));
        QCOMPARE(readFile(r.dir.filePath("Temporary.cmd")), QByteArray("I"));
    }
};

QTEST_GUILESS_MAIN(TstReadBack)
#include "tst_readback.moc"
