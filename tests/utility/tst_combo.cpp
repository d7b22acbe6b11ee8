// "Download Combination" through the real serial path against the simulated
// controller: the lines it received, its memory image, and the directory read back.

#include "../common/corerig.h"
#include "../common/datarow.h"
#include "../common/simargs.h"
#include "../common/testfiles.h"

#include "core/eventwait.h"
#include "core/ticktimer.h"
#include "eeprom/e2promrecord.h"
#include "utility/combopanel.h"
#include "utility/utilitycore.h"

#include <QDir>
#include <QTest>

namespace {

using Lines = QList<QByteArray>;
using Outcome = UtilityCore::Outcome;

// A command file that prepares to `size` bytes, "MACRO 0" and its CR included.
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

// 30 bytes: "1 STJ 0008", "GOTO " and the address of L, "MACRO 0".
const QByteArray Jump = "L:1 ST 8>L\r\n";

struct Rig : SimCoreRig
{
    std::unique_ptr<UtilityCore> u;

    explicit Rig(bool verify = false)
        : SimCoreRig(simOptions("--baud 57600"))
    {
        writeFixture(dir.filePath("e2prom.dat"), E2promRecord::build("1", "1", verify));
        u = std::make_unique<UtilityCore>(*core, prompter);
        u->Form_Load();
    }

    // "Combination" (which loads the only *.CMB file), then "Download Combination".
    void download(const QByteArray& cmb)
    {
        writeFixture(dir.filePath("C.CMB"), cmb);
        u->Command7_Click();
        u->combo.DnLdCombo_Click();
        TickTimer& t = TickTimer::instance();
        t.setTicks(0);
        waitUntil([&] { return t.ticks() >= 20 || !t.isRunning(); });
    }
};

} // namespace

class TstCombo : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // a.cmd (100 bytes), b.cmd (50), c.cmd (30, a jump to its first line) with a boot
    // line between them; b.cmd missing or empty keeps its number with a zero size.
    void download_data()
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
    void download()
    {
        QFETCH(QByteArray, b);
        QFETCH(QByteArray, table);
        QFETCH(QString, message);
        Rig r(true);
        writeFixture(r.dir.filePath("a.cmd"), macroOfSize(100));
        if (!b.isNull())
            writeFixture(r.dir.filePath("b.cmd"), b);
        writeFixture(r.dir.filePath("c.cmd"), Jump);
        r.download("BootMacro=0\r\na.cmd\r\nb.cmd\r\nx bootMACRO=2\r\nc.cmd\r\n");
        QCOMPARE(r.u->combo.lastDownload, Outcome::Completed);
        QCOMPARE(r.prompter.texts(),
            (message.isEmpty() ? QStringList() : QStringList { message })
                << UtilityCore::CompletionText);
        QCOMPARE(r.lines.mid(0, 2), Lines({ "1 EEC 0", "1 EEC" }));
        QCOMPARE(r.lines.mid(2, 8),
            Lines({ "1 EES 501", "1 EEN 2", "1 EEW", "1 EEN 3", "1 EEW", "1 EEDAT X", "1 EEW",
                "1 EES 1024" }));
        QVERIFY(r.lines.join('|').contains("1 EES 516|1 EEN 4|1 EEW|1 EEN 0|1 EEW|1 EEN 4|1 EEW|"
                                           "1 EEN 100|1 EEW"));
        QCOMPARE(r.lines.last(), "1 RN");
        QCOMPARE(r.memory(501, 3), QByteArray("\x02\x03X"));
        QCOMPARE(r.memory(516, 10), table);
        const int c = b.isEmpty() ? 100 : 150;
        QCOMPARE(r.memory(1024 + c, 31),
            "1 STJ 0008\rGOTO 00" + QByteArray::number(c) + "\rMACRO 0\r\xff");
        QCOMPARE(r.u->protocol.DownloadSum, r.sim->controller().memoryChecksum());

        r.prompter.shown.clear();
        r.u->Command6_Click();
        QCOMPARE(r.u->ComboMacro1, QStringList({ "A", b.isEmpty() ? "" : "B", "C" }));
        QCOMPARE(r.u->LabelTotBytes, b.isEmpty() ? " 130" : " 180");
    }

    // Whatever would end the download part way, or store a macro other than as
    // prepared, is refused before a single line goes out.
    void refused_data()
    {
        addColumns<QByteArray, QString>("cmb", "message");
        addRow("first line", QByteArray("a.cmd\r\nd.cmd\r\n"),
            QString("D.CMD: The first line of a macro must begin with the node address.\r\n\r\n"
                    "DELAY 15"));
        addRow("syntax", QByteArray("a.cmd\r\ns.cmd\r\n"),
            QString("Download Aborted!\r\n\r\nError found in file S.CMD."));
        addRow("41 files", QByteArray("a.cmd\r\n").repeated(41),
            QString("C.CMB cannot be used: it has 41 lines naming 41 files"));
        addRow("no files", QByteArray("BootMacro=1\r\n"), QString("C.CMB lists no command files"));
    }
    void refused()
    {
        QFETCH(QByteArray, cmb);
        QFETCH(QString, message);
        Rig r;
        writeFixture(r.dir.filePath("a.cmd"), "1 HO\r\n");
        writeFixture(r.dir.filePath("d.cmd"), "DELAY 3\r\n1 HO\r\n");
        writeFixture(r.dir.filePath("s.cmd"), "1 HO\r\n1 HO \r\n");
        r.download(cmb);
        QCOMPARE(r.lines, Lines());
        QCOMPARE(r.u->combo.lastDownload, Outcome::NotStarted);
        QVERIFY(r.u->windowEnabled && !r.u->Form1Visible);
        QVERIFY2(
            r.prompter.texts().last().startsWith(message), qPrintable(r.prompter.texts().last()));
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
        UtilityCore u(*r.core, r.prompter);
        u.combo.comboActiveText = name;
        u.combo.ComboFileList = files;
        u.combo.Text1 = box;
        u.combo.Command8_Click();
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
        ComboPanel& c = r.u->combo;
        r.u->Command7_Click();
        QCOMPARE(c.ComboFileList, QStringList({ "a.cmd", "b.cmd" }));
        QCOMPARE(c.Text1, "2");
        QCOMPARE(c.comboFileListIndex, 1);
        c.ComboFileList_Click(0);
        c.Text1_Change("3");
        QCOMPARE(c.comboFileListIndex, 0);
        c.MacExeCmd_Click();
        QTRY_VERIFY_WITH_TIMEOUT(r.lines.contains("0 ME 1"), 10000);
        c.File2_Click(0);
        c.AddFileCmd_Click();
        c.AddFileCmd_Click();
        QCOMPARE(c.ComboFileList, QStringList({ "a.cmd", "b.cmd", "b.cmd", "b.cmd" }));

        r.core->link.close();
        c.MacExeCmd_Click();
        QCOMPARE(r.prompter.texts().last(), "Serial Port not configured properly!");
        QVERIFY(QFile::remove(r.dir.filePath("L.CMB")));
        c.Command10_Click();
        QCOMPARE(r.prompter.texts().last(), "There is no combination file \"L.CMB\" to delete.");
        QCOMPARE(c.comboActiveText, QString());
    }
};

QTEST_GUILESS_MAIN(TstCombo)
#include "tst_combo.moc"
