// The syntax check as a download runs it: each rule through a command file that
// breaks it, the exact message box, and the order in which rules override each other.

#include "../common/datarow.h"
#include "../common/testfiles.h"

#include "core/prompter.h"
#include "eeprom/macroprep.h"
#include "eeprom/syntaxchecker.h"

#include <QTemporaryDir>

namespace {

const QString spacesText
    = QStringLiteral(" contains spaces after the last character.\r\n"
                     "Put cursor on first character and hit *End* key to fix.\r\n");
const QString separatedText
    = QStringLiteral(" contains instructions separated by more than 1 space.\r\n"
                     "Please correct this or remove and rewrite the instructions.");
const QString jumpText = QStringLiteral(" has a > Syntax Error.");
const QString noStText = QStringLiteral(" has a > without an ST.");
const QString moreSpaceText = QStringLiteral(" has a command with more than one space.");
const QString macroText = QStringLiteral(" has MACRO syntax error.");
const QString messageText = QStringLiteral(" has MESSAGE Statement which cannot be downloaded.");
const QString commentText = QStringLiteral(" has COMMENTS(/*)which cannot be downloaded.");
const QString semicolonText = QStringLiteral(" has a possible label with ; instead of : ");

QString negativeText(const QString& n, const QString& p)
{
    return " has a Negative Status Mask Statement.\r\n\r\n*ST " + n
        + "*  Must be changed to its Positive mask *ST " + p
        + "*\r\nsince the Macros only work with only Positive masks.";
}

QByteArray everyByte()
{
    QByteArray line("1 HO");
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            line.append(char(b));
    }
    return line + "\n";
}

} // namespace

class TstSyntaxChecker : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rules_data()
    {
        addColumns<QByteArray, int, QString>("file", "line", "text"); // line 0: passes
        // Rule 1
        addRow("MACRO without blank", QByteArray("1 MACRO3\n"), 1, macroText);
        addRow("MACRO alone", QByteArray("MACRO\n"), 1, macroText);
        addRow("MACRO with blank passes", QByteArray("1 MACRO 3\n"), 0, QString());
        addRow("lower case counts", QByteArray("1 macro3\n"), 1, macroText);
        // Rules 2 to 4
        addRow("MESSAGE", QByteArray("MESSAGE hello\n"), 1, messageText);
        addRow("comment", QByteArray("1 HO /*home\n"), 1, commentText);
        addRow("semicolon label", QByteArray("LOOP;1 HO\n"), 1, semicolonText);
        // Rule 5
        addRow("ends in blank", QByteArray("1 HO \n"), 1, spacesText);
        addRow("ends in full stop", QByteArray("1 HO.\n"), 1, spacesText);
        addRow("ends in minus", QByteArray("1 HO-\n"), 1, spacesText);
        addRow("ends in asterisk", QByteArray("1 HO*\n"), 1, spacesText);
        addRow("ends in slash", QByteArray("1 HO/\n"), 1, spacesText);
        addRow("ends in tab", QByteArray("1 HO\t\n"), 1, spacesText);
        addRow("ends in digit", QByteArray("1 MV 100\n"), 0, QString());
        addRow("ends in colon", QByteArray("LOOP:\n"), 0, QString());
        addRow("ends in jump sign", QByteArray("1 ST 8>\n"), 0, QString());
        addRow("blank line fails", QByteArray("1 HO\n\n \n"), 3, spacesText);
        addRow("empty line passes", QByteArray("\n\n1 HO\n"), 0, QString());
        // Rules 6 and 7
        addRow("double blank", QByteArray("1 HO  2 HO\n"), 1, separatedText);
        addRow("negative mask", QByteArray("1 ST -8\n"), 1, negativeText("-8", "65528"));
        addRow("negative mask -32768", QByteArray("1 ST -32768>A\nA:\n"), 1,
            negativeText("-32768", "32768"));
        addRow("minus alone", QByteArray("1 ST -\n"), 1, spacesText);
        // Rule 8 overrides 6 and 7
        addRow("double blank with ST", QByteArray("1 ST 8  2 HO\n"), 1, moreSpaceText);
        addRow("negative mask and double blank", QByteArray("1 ST  -8\n"), 1, moreSpaceText);
        // Rules 9 and 10
        addRow("blank before jump", QByteArray("1 ST 8 >A\n"), 1, jumpText);
        addRow("blank after jump", QByteArray("1 ST 8> A\n"), 1, jumpText);
        addRow("9 overrides 8", QByteArray("1 ST  8 >A\n"), 1, jumpText);
        // Rule 11
        addRow("second jump without ST", QByteArray("1 ST 8>A>B\n"), 1, noStText);
        addRow("two clauses pass", QByteArray("1 ST 8>A ST 16>B\n"), 0, QString());
        addRow("ST after the jump", QByteArray("1 XX 8>A ST 16\n"), 1, noStText);
        addRow("no ST anywhere: rule skipped", QByteArray("1 HO>A\n"), 0, QString());
        addRow("11 overrides 9", QByteArray("1 ST 8 >A>B\n"), 1, noStText);
        addRow("11 overrides 10", QByteArray("1 ST 8> A>B\n"), 1, noStText);
        // The line ends in byte 255, so rule 5 holds back; its ">" (62) comes before its
        // "ST" (83, 84), so rule 11 is the last to fire.
        addRow("every byte value", everyByte(), 1, noStText);
        addRow("line of 200,000 characters",
            "1 ST 8>A" + QByteArray(200000, 'B') + " ST 16>A\nA:1 HO\n", 0, QString());
        // Later rules replace earlier ones
        addRow("2 overrides 1", QByteArray("1 MACRO3 MESSAGE\n"), 1, messageText);
        addRow("3 overrides 2", QByteArray("MESSAGE /*x\n"), 1, commentText);
        addRow("4 overrides 3", QByteArray("1 HO /*;x\n"), 1, semicolonText);
        addRow("6 overrides 4", QByteArray("A;1  HO\n"), 1, separatedText);
        // Rule 5 reports at once, over the earlier rules and instead of the later
        addRow("5 overrides 2", QByteArray("MESSAGE HI.\n"), 1, spacesText);
        addRow("5 stops before 6 to 11", QByteArray("1 ST  8 >A>B \n"), 1, spacesText);
        // Line numbers: empty lines count, the first failing line is the one reported
        addRow("line 1", QByteArray("1 MACRO3\n1 HO \n"), 1, macroText);
        addRow("line 12",
            QByteArray(
                "1 HO\n1 HO\n1 HO\n1 HO\n\n1 HO\n1 HO\n1 HO\n1 HO\n1 HO\n1 HO\n1 ST -8\n1 HO \n"),
            12, negativeText("-8", "65528"));
        addRow("mixed line ends", QByteArray("1 HO\r\n2 HO\r3 HO\n\r\n1 MACRO3"), 5, macroText);
        addRow("every line good", QByteArray("1 HO\r\nLOOP:1 ST 8>LOOP\r\n1 MACRO 0\r\n"), 0,
            QString());
    }
    void rules()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, line);
        QFETCH(QString, text);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("test.cmd"), file));
        ScriptedPrompter prompter;
        MacroPrep prep(prompter, dir.path());
        prep.MacroFileName = QStringLiteral("test.cmd");
        QCOMPARE(prep.checkFile(prep.MacroFileName),
            line ? PrepResult::SyntaxError : PrepResult::Prepared);
        QCOMPARE(readFile(dir.filePath("test.cmd")), file);
        QCOMPARE(prep.SyntaxErrorFlag, line != 0);
        QCOMPARE(prompter.shown.size(), line ? 1 : 0);
        if (!line)
            return;
        const PromptMessage& box = prompter.shown.first();
        QCOMPARE(box.title, QStringLiteral("Syntax Checker"));
        QCOMPARE(box.icon, PromptIcon::Critical);
        QCOMPARE(box.buttons, PromptButtons::Ok);
        QCOMPARE(box.text,
            "Download Aborted!\r\n\r\nError found in file TEST.CMD.\r\nLine "
                + QString::number(line) + text);
    }

    void lineCountCounts()
    {
        const QString text = QStringLiteral("1 HO\r1 MACRO3\r1 MACRO3\r");
        ScriptedPrompter prompter;
        MacroPrep prep(prompter);
        prep.MacroFileName = QStringLiteral("a.cmd");
        // One pass more than the count: a count of 0 still sees line 1 only.
        prep.MacroLineCount = 0;
        prep.CheckSyntax(text);
        QVERIFY(!prep.SyntaxErrorFlag);
        prep.MacroLineCount = 1;
        prep.CheckSyntax(text);
        QVERIFY(prep.SyntaxErrorFlag);
        QVERIFY(prompter.shown.last().text.endsWith("Line 2 has MACRO syntax error."));
        // The next check clears the flag again.
        prep.CheckSyntax(QStringLiteral("1 HO\r"));
        QVERIFY(!prep.SyntaxErrorFlag);
        QCOMPARE(prompter.shown.size(), 1);
        // A remainder without CR is an empty line and passes.
        QVERIFY(!SyntaxChecker::firstError(QStringLiteral("1 HO\r1 MACRO3"), 5).failed());
    }
};

QTEST_GUILESS_MAIN(TstSyntaxChecker)
#include "tst_syntaxchecker.moc"
