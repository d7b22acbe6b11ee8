// The syntax check as a download runs it: each rule through a command file that
// breaks it, the exact message box, and the order in which rules override each other.

#include "../common/testfiles.h"

#include "core/prompter.h"
#include "eeprom/macroprep.h"
#include "eeprom/syntaxchecker.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString CRLF = QStringLiteral("\r\n");

const QString spacesText = QStringLiteral(" contains spaces after the last character.") + CRLF
    + QStringLiteral("Put cursor on first character and hit *End* key to fix.") + CRLF;
const QString separatedText
    = QStringLiteral(" contains instructions separated by more than 1 space.") + CRLF
    + QStringLiteral("Please correct this or remove and rewrite the instructions.");
const QString jumpSyntaxText = QStringLiteral(" has a > Syntax Error.");
const QString noStatusText = QStringLiteral(" has a > without an ST.");
const QString moreSpaceText = QStringLiteral(" has a command with more than one space.");

QString negativeText(const QString& n, const QString& p)
{
    return QStringLiteral(" has a Negative Status Mask Statement.") + CRLF + CRLF
        + QStringLiteral("*ST ") + n + QStringLiteral("*  Must be changed to its Positive mask *ST")
        + p + QStringLiteral("*") + CRLF
        + QStringLiteral("since the Macros only work with only Positive masks.");
}

} // namespace

class TstSyntaxChecker : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    // Checks `content` as the file "test.cmd" and returns the prompter's record.
    PrepResult check(const QByteArray& content, ScriptedPrompter& prompter, MacroPrep*& out)
    {
        const QString path = m_dir.filePath(QStringLiteral("test.cmd"));
        writeFixture(path, content);
        out = new MacroPrep(prompter, m_dir.path());
        out->MacroFileName = QStringLiteral("test.cmd");
        const PrepResult result = out->checkFile(out->MacroFileName);
        if (readFileOrMissing(path) != content)
            qFatal("the check changed the command file");
        return result;
    }

private Q_SLOTS:
    void rules_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("line"); // 0: passes
        QTest::addColumn<QString>("text");

        // Rule 1
        QTest::newRow("MACRO without blank")
            << QByteArray("1 MACRO3\n") << 1 << " has MACRO syntax error.";
        QTest::newRow("MACRO alone") << QByteArray("MACRO\n") << 1 << " has MACRO syntax error.";
        QTest::newRow("MACRO with blank passes") << QByteArray("1 MACRO 3\n") << 0 << "";
        QTest::newRow("lower case counts")
            << QByteArray("1 macro3\n") << 1 << " has MACRO syntax error.";
        // Rule 2
        QTest::newRow("MESSAGE") << QByteArray("MESSAGE hello\n") << 1
                                 << " has MESSAGE Statement which cannot be downloaded.";
        // Rule 3
        QTest::newRow("comment") << QByteArray("1 HO /*home\n") << 1
                                 << " has COMMENTS(/*)which cannot be downloaded.";
        // Rule 4
        QTest::newRow("semicolon label")
            << QByteArray("LOOP;1 HO\n") << 1 << " has a possible label with ; instead of : ";
        // Rule 5
        QTest::newRow("ends in blank") << QByteArray("1 HO \n") << 1 << spacesText;
        QTest::newRow("ends in full stop") << QByteArray("1 HO.\n") << 1 << spacesText;
        QTest::newRow("ends in minus") << QByteArray("1 HO-\n") << 1 << spacesText;
        QTest::newRow("ends in asterisk") << QByteArray("1 HO*\n") << 1 << spacesText;
        QTest::newRow("ends in slash") << QByteArray("1 HO/\n") << 1 << spacesText;
        QTest::newRow("ends in tab") << QByteArray("1 HO\t\n") << 1 << spacesText;
        QTest::newRow("ends in digit") << QByteArray("1 MV 100\n") << 0 << "";
        QTest::newRow("ends in colon") << QByteArray("LOOP:\n") << 0 << "";
        QTest::newRow("ends in jump sign") << QByteArray("1 ST 8>\n") << 0 << "";
        QTest::newRow("blank line passes") << QByteArray("1 HO\n\n \n") << 3 << spacesText;
        QTest::newRow("empty line passes") << QByteArray("\n\n1 HO\n") << 0 << "";
        // Rule 6
        QTest::newRow("double blank") << QByteArray("1 HO  2 HO\n") << 1 << separatedText;
        // Rule 7
        QTest::newRow("negative mask")
            << QByteArray("1 ST -8\n") << 1 << negativeText("-8", " 65528");
        QTest::newRow("negative mask -32768")
            << QByteArray("1 ST -32768>A\nA:\n") << 1 << negativeText("-32768", " 32768");
        QTest::newRow("minus alone") << QByteArray("1 ST -\n") << 1 << spacesText;
        // Rule 8 overrides 6 and 7
        QTest::newRow("double blank with ST") << QByteArray("1 ST 8  2 HO\n") << 1 << moreSpaceText;
        QTest::newRow("negative mask and double blank")
            << QByteArray("1 ST  -8\n") << 1 << moreSpaceText;
        // Rules 9 and 10
        QTest::newRow("blank before jump") << QByteArray("1 ST 8 >A\n") << 1 << jumpSyntaxText;
        QTest::newRow("blank after jump") << QByteArray("1 ST 8> A\n") << 1 << jumpSyntaxText;
        QTest::newRow("9 overrides 8") << QByteArray("1 ST  8 >A\n") << 1 << jumpSyntaxText;
        // Rule 11
        QTest::newRow("second jump without ST") << QByteArray("1 ST 8>A>B\n") << 1 << noStatusText;
        QTest::newRow("two clauses pass") << QByteArray("1 ST 8>A ST 16>B\n") << 0 << "";
        QTest::newRow("ST after the jump") << QByteArray("1 XX 8>A ST 16\n") << 1 << noStatusText;
        QTest::newRow("no ST anywhere: rule skipped") << QByteArray("1 HO>A\n") << 0 << "";
        QTest::newRow("11 overrides 9") << QByteArray("1 ST 8 >A>B\n") << 1 << noStatusText;
        QTest::newRow("11 overrides 10") << QByteArray("1 ST 8> A>B\n") << 1 << noStatusText;
        // Later rules replace earlier ones
        QTest::newRow("2 overrides 1") << QByteArray("1 MACRO3 MESSAGE\n") << 1
                                       << " has MESSAGE Statement which cannot be downloaded.";
        QTest::newRow("3 overrides 2")
            << QByteArray("MESSAGE /*x\n") << 1 << " has COMMENTS(/*)which cannot be downloaded.";
        QTest::newRow("4 overrides 3")
            << QByteArray("1 HO /*;x\n") << 1 << " has a possible label with ; instead of : ";
        QTest::newRow("6 overrides 4") << QByteArray("A;1  HO\n") << 1 << separatedText;
        // Rule 5 reports at once, over the earlier rules and instead of the later
        QTest::newRow("5 overrides 2") << QByteArray("MESSAGE HI.\n") << 1 << spacesText;
        QTest::newRow("5 stops before 6 to 11") << QByteArray("1 ST  8 >A>B \n") << 1 << spacesText;
        // Line numbers: empty lines count, the first failing line is the one reported
        QTest::newRow("line 1") << QByteArray("1 MACRO3\n1 HO \n") << 1
                                << " has MACRO syntax error.";
        QTest::newRow("line 12") << QByteArray(
            "1 HO\n1 HO\n1 HO\n1 HO\n\n1 HO\n1 HO\n1 HO\n1 HO\n1 HO\n1 HO\n1 ST -8\n1 HO \n")
                                 << 12 << negativeText("-8", " 65528");
        QTest::newRow("mixed line ends")
            << QByteArray("1 HO\r\n2 HO\r3 HO\n\r\n1 MACRO3") << 5 << " has MACRO syntax error.";
        QTest::newRow("every line good")
            << QByteArray("1 HO\r\nLOOP:1 ST 8>LOOP\r\n1 MACRO 0\r\n") << 0 << "";
    }

    void rules()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, line);
        QFETCH(QString, text);

        ScriptedPrompter prompter;
        MacroPrep* prep = nullptr;
        const PrepResult result = check(file, prompter, prep);
        const std::unique_ptr<MacroPrep> owner(prep);
        if (line == 0) {
            QCOMPARE(result, PrepResult::Prepared);
            QVERIFY(!prep->SyntaxErrorFlag);
            QCOMPARE(prompter.shown.size(), 0);
            return;
        }
        QCOMPARE(result, PrepResult::SyntaxError);
        QVERIFY(prep->SyntaxErrorFlag);
        QCOMPARE(prompter.shown.size(), 1);
        const PromptMessage& box = prompter.shown.first();
        QCOMPARE(box.title, QStringLiteral("Syntax Checker"));
        QCOMPARE(box.icon, PromptIcon::Critical);
        QCOMPARE(box.buttons, PromptButtons::Ok);
        QCOMPARE(box.text,
            QStringLiteral("Download Aborted!\r\n\r\nError found in file TEST.CMD.\r\nLine ")
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
        QVERIFY(
            prompter.shown.last().text.endsWith(QStringLiteral("Line 2 has MACRO syntax error.")));
        // The next check clears the flag again.
        prep.CheckSyntax(QStringLiteral("1 HO\r"));
        QVERIFY(!prep.SyntaxErrorFlag);
        QCOMPARE(prompter.shown.size(), 1);
    }

    void textWithoutFinalCarriageReturn()
    {
        // A remainder without CR is an empty line and passes.
        QVERIFY(!SyntaxChecker::firstError(QStringLiteral("1 HO\r1 MACRO3"), 5).failed());
    }

    void everyByteValue()
    {
        QByteArray line("1 HO");
        for (int b = 0; b < 256; ++b) {
            if (b != '\r' && b != '\n')
                line.append(char(b));
        }
        ScriptedPrompter prompter;
        MacroPrep* prep = nullptr;
        const PrepResult result = check(line + "\n", prompter, prep);
        const std::unique_ptr<MacroPrep> owner(prep);
        QCOMPARE(result, PrepResult::SyntaxError);
        // The line ends in byte 255, so rule 5 holds back; its ">" (62) comes before
        // its "ST" (83, 84), so rule 11 is the last to fire.
        QVERIFY(
            prompter.shown.first().text.endsWith(QStringLiteral("Line 1 has a > without an ST.")));
    }

    void longLine()
    {
        ScriptedPrompter prompter;
        MacroPrep* prep = nullptr;
        const QByteArray line = "1 ST 8>A" + QByteArray(200000, 'B') + " ST 16>A\nA:1 HO\n";
        const PrepResult result = check(line, prompter, prep);
        const std::unique_ptr<MacroPrep> owner(prep);
        QCOMPARE(result, PrepResult::Prepared);
        QCOMPARE(prep->MacroLineCount, 2);
    }
};

QTEST_GUILESS_MAIN(TstSyntaxChecker)
#include "tst_syntaxchecker.moc"
