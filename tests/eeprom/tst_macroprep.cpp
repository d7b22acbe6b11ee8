// Macro preparation byte for byte: the line rewrite, the label and mask pass, the
// whole preparation into "macro.tmp", and the refusals of files that cannot become
// a macro. Random files are the fuzz harness's (fuzz/macroprep.cpp): refused with a
// message, or a macro the checker accepts with every jump at its label.

#include "../common/datarow.h"
#include "../common/testfiles.h"

#include "core/prompter.h"
#include "eeprom/macroprep.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

// A command file with `labels` labels and `jumps` status jumps to them.
QString labelledFile(int labels, int jumps)
{
    QString out;
    for (int i = 0; i < labels; ++i)
        out += QStringLiteral("L%1:1 MV %1\n").arg(i);
    for (int j = 0; j < jumps; ++j)
        out += QStringLiteral("1 ST 8>L%1\n").arg(j % qMax(labels, 1));
    return out;
}

QString aborted(const QString& why)
{
    return "Download Aborted!\r\n\r\nError found in file TEST.CMD.\r\n" + why;
}

const QString body(90000, u'A');

} // namespace

class TstMacroPrep : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    ScriptedPrompter m_prompter;
    std::unique_ptr<MacroPrep> m_prep;

    QString workFile() const { return m_dir.filePath(QStringLiteral("macro.tmp")); }

private Q_SLOTS:
    void init()
    {
        m_prompter = {};
        m_prep = std::make_unique<MacroPrep>(m_prompter, m_dir.path());
        QFile::remove(workFile());
    }

    // The whole preparation of "test.cmd" (Latin-1) at a base address into the macro,
    // or its refusal with a message (no check when empty). The command file itself is
    // never changed, and a file that is not prepared leaves an earlier macro alone.
    void prepare_data()
    {
        addColumns<QString, int, PrepResult, QString>("file", "base", "result", "expected");
        const QString worked("1 HO\r1 STJ 0008\rGOTO 00005\rMACRO 0\r");
        const auto ok = PrepResult::Prepared;
        addRow("LF", QString("1 HO\nLOOP:1 ST 8>LOOP\n"), 0, ok, worked);
        addRow("CR LF", QString("1 HO\r\nLOOP:1 ST 8>LOOP\r\n"), 0, ok, worked);
        addRow("CR", QString("1 HO\rLOOP:1 ST 8>LOOP\r"), 0, ok, worked);
        addRow("no final line end", QString("1 HO\r\nLOOP:1 ST 8>LOOP"), 0, ok, worked);
        addRow("lower case", QString("1 ho\nloop:1 st 8>loop\n"), 0, ok, worked);
        const QString moving("A:1 HO\n1 ST 8>B\nB:1 MV 5\n1 ST 16>A ST 32>B\n");
        addRow("base 0", moving, 0, ok,
            QString("1 HO\r1 STJ 0008\rGOTO 00027\r1 MV 5\r1 STJ 0010\rGOTO 00000\r"
                    "1 STJ 0020\rGOTO 00027\rMACRO 0\r"));
        addRow("base 1234 moves every jump", moving, 1234, ok,
            QString("1 HO\r1 STJ 0008\rGOTO 01261\r1 MV 5\r1 STJ 0010\rGOTO 01234\r"
                    "1 STJ 0020\rGOTO 01261\rMACRO 0\r"));
        addRow("MACRO 0 added", QString("1 HO\n"), 0, ok, QString("1 HO\rMACRO 0\r"));
        addRow(
            "MACRO line kept", QString("1 macro 3\n1 HO\n"), 0, ok, QString("1 MACRO 3\r1 HO\r"));
        addRow("delay scaled", QString("delay 3\n"), 0, ok, QString("DELAY 15\rMACRO 0\r"));
        addRow("only an empty line", QString("\r\n"), 0, ok, QString("MACRO 0\r"));
        addRow("bytes above 127 kept", QString::fromLatin1("1 HO \xe4\xdf\xff\x80\n"), 0, ok,
            QString::fromLatin1("1 HO \xe4\xdf\xff\x80\rMACRO 0\r"));
        addRow("NUL kept", QString::fromLatin1("1 H\0O\n", 6), 0, ok,
            QString::fromLatin1("1 H\0O\rMACRO 0\r", 14));
        addRow("100 labels and jumps", labelledFile(100, 100), 0, ok, QString());
        addRow("last five-digit address", QString("1 HO\nA:1 ST 8>A\n"), 99994, ok,
            QString("1 HO\r1 STJ 0008\rGOTO 99999\rMACRO 0\r"));
        addRow("90,000-character line", "1 HO" + body + "\nX:1 ST 8>X\n", 0, ok,
            "1 HO" + body + "\r1 STJ 0008\rGOTO 90005\rMACRO 0\r");

        const auto no = PrepResult::Refused;
        addRow("101 labels", labelledFile(101, 0), 0, no,
            aborted("Line 101 has more labels than a macro can hold (at most 100)."));
        addRow("101 jumps", labelledFile(1, 101), 0, no,
            aborted("Line 102 has more jumps than a macro can hold (at most 100)."));
        addRow("32000 jumps on one line", "A:1 HO\n1" + QString(" ST 8>A").repeated(32000) + "\n",
            0, no, aborted("Line 2 has more jumps than a macro can hold (at most 100)."));
        addRow("over 1 MiB", QString("1 HO\n").repeated(MacroPrep::MaxFileBytes / 5 + 1), 0, no,
            aborted("The file is larger than 1048576 bytes, more than a macro can hold."));
        addRow("label defined nowhere", QString("A:1 HO\n1 ST 8>A ST 16>NOWHERE\n"), 0, no,
            aborted("Line 2 jumps to label NOWHERE, which is defined nowhere in the file."));
        addRow("jump sign at the end", QString("1 HO\n1 ST 8>\n"), 0, no,
            aborted("Line 2 has a GOTO without a label."));
        addRow("GOTO alone", QString("1 HO\n\nGOTO\n"), 0, no,
            aborted("Line 3 has a GOTO without a label."));
        addRow("mask beyond 32 bits", QString("1 HO\n1 ST 99999999999\n"), 0, no,
            aborted("Line 2 has a status mask that is out of range."));
        addRow("mask beyond 32 bits in a jump", QString("A:1 ST 4294967296>A\n"), 0, no,
            aborted("Line 1 has a status mask that is out of range."));
        addRow("split leaves a mask the checker refuses", QString("A:1 HO\n1 ST .>A\n"), 0, no,
            aborted("Line 2 becomes the macro line \"1 STJ .\", which contains spaces after the "
                    "last character.\r\nPut cursor on first character and hit *End* key to "
                    "fix.\r\n"));
        addRow("address beyond five digits", QString("1 HO\nA:1 ST 8>A\n"), 99995, no,
            aborted("Line 2 jumps to address 100000, which does not fit in five digits."));
        addRow("label beyond five digits, not cut", "1 HO" + body + body + "\nX:1 ST 8>X\n", 0, no,
            aborted("Line 2 jumps to address 180005, which does not fit in five digits."));
        addRow("syntax error", QString("1 HO\n1 MESSAGE X\n"), 0, PrepResult::SyntaxError,
            aborted("Line 2 has MESSAGE Statement which cannot be downloaded."));
        addRow("empty", QString(), 0, PrepResult::Empty, QString("Command file is empty."));
    }
    void prepare()
    {
        QFETCH(QString, file);
        QFETCH(int, base);
        QFETCH(PrepResult, result);
        QFETCH(QString, expected);
        const QString source = m_dir.filePath(QStringLiteral("test.cmd"));
        QVERIFY(writeFile(source, file.toLatin1()));
        QVERIFY(writeFile(workFile(), "earlier macro\r"));
        m_prep->MacroText = QStringLiteral("earlier macro\r");
        m_prep->MacroBaseAddress = base;
        m_prep->MacroFileName = QStringLiteral("test.cmd");
        QCOMPARE(m_prep->PrepFile(m_prep->MacroFileName), result);
        QCOMPARE(readFile(source), file.toLatin1());
        QCOMPARE(m_prep->MacroFileName, QStringLiteral("test.cmd"));
        QCOMPARE(m_prep->SyntaxErrorFlag, result != PrepResult::Prepared);
        if (result == PrepResult::Prepared) {
            QVERIFY(m_prompter.shown.isEmpty());
            QCOMPARE(readFileOrMissing(workFile()), m_prep->MacroText.toLatin1());
            if (!expected.isEmpty())
                QCOMPARE(m_prep->MacroText, expected);
            // The worked example's two command lines, whatever ends them.
            if (expected.startsWith(QStringLiteral("1 HO\r1 STJ 0008\rGOTO 00005")))
                QCOMPARE(m_prep->MacroLineCount, 2);
            return;
        }
        // Nothing prepared, and nothing that looks prepared.
        QVERIFY(m_prep->MacroText.isEmpty());
        QCOMPARE(readFile(workFile()), QByteArray("earlier macro\r"));
        QCOMPARE(m_prompter.texts(), QStringList { expected });
        const PromptMessage& box = m_prompter.shown.first();
        QCOMPARE(box.buttons, PromptButtons::Ok);
        if (result != PrepResult::Empty) {
            QCOMPARE(box.title, QStringLiteral("Syntax Checker"));
            QCOMPARE(box.icon, PromptIcon::Critical);
        }
    }

    void notFound_data()
    {
        addColumns<QString, PrepResult, QString>("name", "result", "message");
        addRow("no such file", QStringLiteral("missing.cmd"), PrepResult::NotFound, QString());
        addRow("empty name", QString(), PrepResult::NotFound, QString());
        addRow("a directory", QStringLiteral("."), PrepResult::NotFound, QString());
        addRow("the work file itself", QStringLiteral("macro.tmp"), PrepResult::FileError,
            QStringLiteral("The work file macro.tmp cannot be prepared as a command file."));
    }
    void notFound()
    {
        QFETCH(QString, name);
        QFETCH(PrepResult, result);
        QFETCH(QString, message);
        QVERIFY(writeFile(workFile(), "1 HO\n"));
        QString fileName = name;
        QCOMPARE(m_prep->PrepFile(fileName), result);
        if (result == PrepResult::NotFound)
            QCOMPARE(fileName, QStringLiteral("NOT FOUND"));
        QCOMPARE(m_prompter.texts(), message.isEmpty() ? QStringList() : QStringList { message });
        QCOMPARE(readFile(workFile()), QByteArray("1 HO\n"));
    }

    void rewrite_data()
    {
        addColumns<QString, QString>("line", "rewritten");
        addRow("one jump", "1 ST 8>LOOP", "1 STJ 8\rGOTO LOOP\r\r");
        addRow("two jumps", "1 ST 8>A ST 16>B", "1 STJ 8\rGOTO A\r1 STJ 16\rGOTO B\r\r\r");
        addRow("jump then wait", "1 ST 8>A ST 16", "1 STJ 8\rGOTO A\r1 ST 16\r");
        addRow("label on the line", "LOOP:1 ST 8>LOOP", "LOOP:1 STJ 8\rGOTO LOOP\r\r");
        addRow("no jump unchanged", "1 ST 8 16", "1 ST 8 16\r");
        addRow("label ending in ST", "1 ST 8>LAST ST 16>B",
            "1 STJ 8\rGOTO LAST\r1 STJ 16\rGOTO B\r\r\r");
        addRow("jump sign at the end", "1 ST 8>", "1 STJ 8\rGOTO \r\r");
        addRow("delay scaled", "DELAY 100", "DELAY 500\r");
        addRow("delay half to even", "DELAY 0.5", "DELAY 2\r");
        addRow("delay 0.3 rounds up", "DELAY 0.3", "DELAY 2\r");
        addRow("delay negative", "DELAY -3", "DELAY-15\r");
        addRow("delay without number", "DELAYED", "DELAY 0\r");
        addRow("delay inside a line unchanged", "1 DELAY 3", "1 DELAY 3\r");
    }
    void rewrite()
    {
        QFETCH(QString, line);
        QFETCH(QString, rewritten);
        QCOMPARE(MacroPrep::rewriteLine(line), rewritten);
    }

    // "!" starts the end of the message of a refused text.
    void labelsAndMasks_data()
    {
        addColumns<QString, QString>("input", "macro");
        addRow("mask 1234", "1 ST 1234\r\n", "1 ST 04D2\r");
        addRow("mask 65535", "1 ST 65535\r\n", "1 ST FFFF\r");
        addRow("mask 70000 keeps four digits", "1 ST 70000\r\n", "1 ST 1170\r");
        addRow("status jump mask", "1 STJ 8\r\n", "1 STJ 0008\r");
        addRow("mask 0 as written", "1 ST 0\r\n", "1 ST 0\r");
        addRow("mask not a number", "1 ST ABC\r\n", "1 ST ABC\r");
        addRow("mask missing", "1 ST \r\n", "1 ST \r");
        addRow("mask fraction", "1 ST 8.5\r\n", "1 ST 0008\r");
        addRow("mask below one", "1 ST 0.4\r\n", "1 ST 0000\r");
        addRow("two-digit node", "12 ST 255\r\n", "12 ST 00FF\r");
        addRow("label takes no room", "A:\r\n1 HO\r\nGOTO A\r\n", "1 HO\rGOTO 00000\r");
        addRow(
            "label on a command", "1 HO\r\nLOOP:1 HO\r\nGOTO LOOP\r\n", "1 HO\r1 HO\rGOTO 00005\r");
        addRow("same name twice: the first", "A:1 HO\r\nA:1 MV 1\r\nGOTO A\r\n",
            "1 HO\r1 MV 1\rGOTO 00000\r");
        addRow("label without a name", ":1 HO\r\n", "1 HO\r");
        addRow("empty lines dropped", "\r\n\r1 HO\r\r\n", "1 HO\r");
        addRow("jump before its label", "GOTO END\r\n1 HO\r\nEND:1 MV 2\r\n",
            "GOTO 00016\r1 HO\r1 MV 2\r");
        // The syntax check stops a line ending in blanks before this pass.
        addRow(
            "GOTO with blanks only", ":1 HO\r\nGOTO   \r\n", "!Line 2 has a GOTO without a label.");
    }
    void labelsAndMasks()
    {
        QFETCH(QString, input);
        QFETCH(QString, macro);
        const bool refused = macro.startsWith(u'!');
        QCOMPARE(m_prep->setLabelsAndMasks(input), !refused);
        if (refused) {
            QCOMPARE(m_prompter.shown.size(), 1);
            QVERIFY(m_prompter.shown.first().text.endsWith(macro.mid(1)));
        } else {
            QCOMPARE(m_prep->MacroText, macro);
            QCOMPARE(m_prompter.shown.size(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TstMacroPrep)
#include "tst_macroprep.moc"
