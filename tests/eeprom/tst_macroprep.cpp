// Macro preparation byte for byte: the line rewrite, the label and mask pass, the
// whole preparation into "macro.tmp", and the refusals of files that cannot become
// a macro.

#include "../common/testfiles.h"

#include "core/prompter.h"
#include "eeprom/macroprep.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray workedFile("1 HO\nLOOP:1 ST 8>LOOP\n");
const QByteArray workedMacro("1 HO\r1 STJ 0008\rGOTO 00005\rMACRO 0\r");

// A command file with `labels` labels and `jumps` status jumps to them.
QByteArray labelledFile(int labels, int jumps)
{
    QByteArray out;
    for (int i = 0; i < labels; ++i)
        out += "L" + QByteArray::number(i) + ":1 MV " + QByteArray::number(i) + "\n";
    for (int j = 0; j < jumps; ++j)
        out += "1 ST 8>L" + QByteArray::number(j % qMax(labels, 1)) + "\n";
    return out;
}

} // namespace

class TstMacroPrep : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    ScriptedPrompter m_prompter;
    std::unique_ptr<MacroPrep> m_prep;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString workFile() const { return path(QStringLiteral("macro.tmp")); }

    // Prepares `content` as "test.cmd" with base address `base`; checks that the
    // command file comes out unchanged.
    PrepResult prepare(const QByteArray& content, int base = 0)
    {
        writeFixture(path(QStringLiteral("test.cmd")), content);
        m_prep->MacroBaseAddress = base;
        m_prep->MacroFileName = QStringLiteral("test.cmd");
        const PrepResult result = m_prep->PrepFile(m_prep->MacroFileName);
        if (readFileOrMissing(path(QStringLiteral("test.cmd"))) != content)
            qFatal("the preparation changed the command file");
        return result;
    }

private Q_SLOTS:
    void init()
    {
        m_prompter = {};
        m_prep = std::make_unique<MacroPrep>(m_prompter, m_dir.path());
        QFile::remove(workFile());
    }

    void workedExample_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("LF") << workedFile;
        QTest::newRow("CR LF") << QByteArray("1 HO\r\nLOOP:1 ST 8>LOOP\r\n");
        QTest::newRow("CR") << QByteArray("1 HO\rLOOP:1 ST 8>LOOP\r");
        QTest::newRow("no final line end") << QByteArray("1 HO\r\nLOOP:1 ST 8>LOOP");
        QTest::newRow("lower case") << QByteArray("1 ho\nloop:1 st 8>loop\n");
    }
    void workedExample()
    {
        QFETCH(QByteArray, file);
        QCOMPARE(prepare(file), PrepResult::Prepared);
        QVERIFY(!m_prep->SyntaxErrorFlag);
        QCOMPARE(m_prompter.shown.size(), 0);
        QCOMPARE(m_prep->MacroLineCount, 2);
        QCOMPARE(workedMacro.size(), 35);
        QCOMPARE(readFileOrMissing(workFile()), workedMacro);
        QCOMPARE(m_prep->MacroText.toLatin1(), workedMacro);
    }

    void baseAddressMovesEveryJump()
    {
        const QByteArray file("A:1 HO\n1 ST 8>B\nB:1 MV 5\n1 ST 16>A ST 32>B\n");
        QCOMPARE(prepare(file, 0), PrepResult::Prepared);
        const QByteArray atZero = readFileOrMissing(workFile());
        QCOMPARE(atZero,
            QByteArray("1 HO\r1 STJ 0008\rGOTO 00027\r1 MV 5\r1 STJ 0010\rGOTO 00000\r"
                       "1 STJ 0020\rGOTO 00027\rMACRO 0\r"));
        QCOMPARE(prepare(file, 1234), PrepResult::Prepared);
        QByteArray moved = atZero;
        moved.replace("GOTO 00027", "GOTO 01261").replace("GOTO 00000", "GOTO 01234");
        QCOMPARE(readFileOrMissing(workFile()), moved);
    }

    void rewrite_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("rewritten");
        QTest::newRow("one jump") << "1 ST 8>LOOP"
                                  << "1 STJ 8\rGOTO LOOP\r\r";
        QTest::newRow("two jumps") << "1 ST 8>A ST 16>B"
                                   << "1 STJ 8\rGOTO A\r1 STJ 16\rGOTO B\r\r\r";
        QTest::newRow("jump then wait") << "1 ST 8>A ST 16"
                                        << "1 STJ 8\rGOTO A\r1 ST 16\r";
        QTest::newRow("label on the line") << "LOOP:1 ST 8>LOOP"
                                           << "LOOP:1 STJ 8\rGOTO LOOP\r\r";
        QTest::newRow("no jump unchanged") << "1 ST 8 16"
                                           << "1 ST 8 16\r";
        QTest::newRow("label ending in ST") << "1 ST 8>LAST ST 16>B"
                                            << "1 STJ 8\rGOTO LAST\r1 STJ 16\rGOTO B\r\r\r";
        QTest::newRow("jump sign at the end") << "1 ST 8>"
                                              << "1 STJ 8\rGOTO \r\r";
        QTest::newRow("delay scaled") << "DELAY 100"
                                      << "DELAY 500\r";
        QTest::newRow("delay half to even") << "DELAY 0.5"
                                            << "DELAY 2\r";
        QTest::newRow("delay 0.3 rounds up") << "DELAY 0.3"
                                             << "DELAY 2\r";
        QTest::newRow("delay negative") << "DELAY -3"
                                        << "DELAY-15\r";
        QTest::newRow("delay without number") << "DELAYED"
                                              << "DELAY 0\r";
        QTest::newRow("delay inside a line unchanged") << "1 DELAY 3"
                                                       << "1 DELAY 3\r";
    }
    void rewrite()
    {
        QFETCH(QString, line);
        QFETCH(QString, rewritten);
        QCOMPARE(MacroPrep::rewriteLine(line), rewritten);
    }

    void labelsAndMasks_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("macro");
        QTest::newRow("mask 1234") << "1 ST 1234\r\n"
                                   << "1 ST 04D2\r";
        QTest::newRow("mask 65535") << "1 ST 65535\r\n"
                                    << "1 ST FFFF\r";
        QTest::newRow("mask 70000 keeps four digits") << "1 ST 70000\r\n"
                                                      << "1 ST 1170\r";
        QTest::newRow("status jump mask") << "1 STJ 8\r\n"
                                          << "1 STJ 0008\r";
        QTest::newRow("mask 0 as written") << "1 ST 0\r\n"
                                           << "1 ST 0\r";
        QTest::newRow("mask not a number") << "1 ST ABC\r\n"
                                           << "1 ST ABC\r";
        QTest::newRow("mask missing") << "1 ST \r\n"
                                      << "1 ST \r";
        QTest::newRow("mask fraction") << "1 ST 8.5\r\n"
                                       << "1 ST 0008\r";
        QTest::newRow("mask below one") << "1 ST 0.4\r\n"
                                        << "1 ST 0000\r";
        QTest::newRow("two-digit node") << "12 ST 255\r\n"
                                        << "12 ST 00FF\r";
        QTest::newRow("label takes no room") << "A:\r\n1 HO\r\nGOTO A\r\n"
                                             << "1 HO\rGOTO 00000\r";
        QTest::newRow("label on a command") << "1 HO\r\nLOOP:1 HO\r\nGOTO LOOP\r\n"
                                            << "1 HO\r1 HO\rGOTO 00005\r";
        QTest::newRow("same name twice: the first") << "A:1 HO\r\nA:1 MV 1\r\nGOTO A\r\n"
                                                    << "1 HO\r1 MV 1\rGOTO 00000\r";
        QTest::newRow("label without a name") << ":1 HO\r\n"
                                              << "1 HO\r";
        QTest::newRow("empty lines dropped") << "\r\n\r1 HO\r\r\n"
                                             << "1 HO\r";
        QTest::newRow("jump before its label") << "GOTO END\r\n1 HO\r\nEND:1 MV 2\r\n"
                                               << "GOTO 00016\r1 HO\r1 MV 2\r";
    }
    void labelsAndMasks()
    {
        QFETCH(QString, input);
        QFETCH(QString, macro);
        QVERIFY(m_prep->setLabelsAndMasks(input));
        QCOMPARE(m_prep->MacroText, macro);
        QCOMPARE(m_prompter.shown.size(), 0);
    }

    void macroStatement_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("macro");
        QTest::newRow("MACRO 0 added") << QByteArray("1 HO\n") << QByteArray("1 HO\rMACRO 0\r");
        QTest::newRow("MACRO line kept")
            << QByteArray("1 macro 3\n1 HO\n") << QByteArray("1 MACRO 3\r1 HO\r");
        QTest::newRow("delay scaled")
            << QByteArray("delay 3\n") << QByteArray("DELAY 15\rMACRO 0\r");
        QTest::newRow("only an empty line") << QByteArray("\r\n") << QByteArray("MACRO 0\r");
        QTest::newRow("bytes above 127 kept") << QByteArray("1 HO \xe4\xdf\xff\x80\n")
                                              << QByteArray("1 HO \xe4\xdf\xff\x80\rMACRO 0\r");
        QTest::newRow("NUL kept") << QByteArray("1 H\0O\n", 6)
                                  << QByteArray("1 H\0O\rMACRO 0\r", 14);
        QTest::newRow("100 labels and jumps") << labelledFile(100, 100) << QByteArray();
    }
    void macroStatement()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, macro);
        QCOMPARE(prepare(file), PrepResult::Prepared);
        if (!macro.isEmpty())
            QCOMPARE(readFileOrMissing(workFile()), macro);
        QCOMPARE(m_prep->MacroText.toLatin1(), readFileOrMissing(workFile()));
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("101 labels") << labelledFile(
            101, 0) << "Line 101 has more labels than a macro can hold (at most 100).";
        QTest::newRow("101 jumps") << labelledFile(
            1, 101) << "Line 102 has more jumps than a macro can hold (at most 100).";
        QTest::newRow("32000 jumps on one line")
            << "A:1 HO\n1" + QByteArray(" ST 8>A").repeated(32000) + "\n"
            << "Line 2 has more jumps than a macro can hold (at most 100).";
        QTest::newRow("over 1 MiB")
            << QByteArray("1 HO\n").repeated(MacroPrep::MaxFileBytes / 5 + 1)
            << "The file is larger than 1048576 bytes, more than a macro "
               "can hold.";
        QTest::newRow("label defined nowhere")
            << QByteArray("A:1 HO\n1 ST 8>A ST 16>NOWHERE\n")
            << "Line 2 jumps to label NOWHERE, which is defined nowhere in the file.";
        QTest::newRow("jump sign at the end")
            << QByteArray("1 HO\n1 ST 8>\n") << "Line 2 has a GOTO without a label.";
        QTest::newRow("GOTO alone")
            << QByteArray("1 HO\n\nGOTO\n") << "Line 3 has a GOTO without a label.";
        QTest::newRow("mask beyond 32 bits") << QByteArray("1 HO\n1 ST 99999999999\n")
                                             << "Line 2 has a status mask that is out of range.";
        QTest::newRow("mask beyond 32 bits in a jump") << QByteArray(
            "A:1 ST 4294967296>A\n") << "Line 1 has a status mask that is out of range.";
        QTest::newRow("split leaves a mask the checker refuses")
            << QByteArray("A:1 HO\n1 ST .>A\n")
            << "Line 2 becomes the macro line \"1 STJ .\", which contains spaces after the last "
               "character.\r\nPut cursor on first character and hit *End* key to fix.\r\n";
    }
    void refused()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        writeFixture(workFile(), "earlier macro\r");
        QCOMPARE(prepare(file), PrepResult::Refused);
        QVERIFY(m_prep->SyntaxErrorFlag);
        QVERIFY(m_prep->MacroText.isEmpty());
        QCOMPARE(readFileOrMissing(workFile()), QByteArray("earlier macro\r"));
        QCOMPARE(m_prompter.shown.size(), 1);
        QCOMPARE(m_prompter.shown.first().title, QStringLiteral("Syntax Checker"));
        QCOMPARE(m_prompter.shown.first().icon, PromptIcon::Critical);
        QCOMPARE(m_prompter.shown.first().text,
            QStringLiteral("Download Aborted!\r\n\r\nError found in file TEST.CMD.\r\n") + message);
    }

    void gotoWithBlanksOnly()
    {
        // Blanks after GOTO are no label, however many; the syntax check would stop a
        // file ending a line in blanks, so this goes to the label pass directly.
        m_prep->MacroFileName = QStringLiteral("x.cmd");
        QVERIFY(!m_prep->setLabelsAndMasks(QStringLiteral(":1 HO\r\nGOTO   \r\n")));
        QVERIFY(m_prompter.shown.first().text.endsWith(
            QStringLiteral("Line 2 has a GOTO without a label.")));
    }

    void addressBeyondFiveDigits()
    {
        QCOMPARE(prepare("1 HO\nA:1 ST 8>A\n", 99995), PrepResult::Refused);
        QVERIFY(m_prompter.shown.first().text.endsWith(
            QStringLiteral("Line 2 jumps to address 100000, which does not fit in five digits.")));
        init();
        QCOMPARE(prepare("1 HO\nA:1 ST 8>A\n", 99994), PrepResult::Prepared);
        QVERIFY(readFileOrMissing(workFile()).contains("GOTO 99999\r"));
    }

    void emptyFile()
    {
        writeFixture(workFile(), "earlier macro\r");
        m_prep->MacroText = QStringLiteral("earlier macro\r");
        QCOMPARE(prepare(QByteArray()), PrepResult::Empty);
        QCOMPARE(m_prompter.texts(), QStringList { QStringLiteral("Command file is empty.") });
        QCOMPARE(m_prompter.shown.first().buttons, PromptButtons::Ok);
        // Nothing prepared, and nothing that looks prepared.
        QVERIFY(m_prep->SyntaxErrorFlag);
        QVERIFY(m_prep->MacroText.isEmpty());
        QCOMPARE(readFileOrMissing(workFile()), QByteArray("earlier macro\r"));
        QCOMPARE(m_prep->MacroFileName, QStringLiteral("test.cmd"));
    }

    void notFound_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("no such file") << "missing.cmd";
        QTest::newRow("empty name") << "";
        QTest::newRow("a directory") << ".";
    }
    void notFound()
    {
        QFETCH(QString, name);
        QString fileName = name;
        QCOMPARE(m_prep->PrepFile(fileName), PrepResult::NotFound);
        QCOMPARE(fileName, QStringLiteral("NOT FOUND"));
        QCOMPARE(m_prompter.shown.size(), 0);
        QVERIFY(!QFile::exists(workFile()));
    }

    void syntaxErrorLeavesWorkFile()
    {
        writeFixture(workFile(), "earlier macro\r");
        QCOMPARE(prepare("1 HO\n1 MESSAGE X\n"), PrepResult::SyntaxError);
        QVERIFY(m_prep->SyntaxErrorFlag);
        QCOMPARE(readFileOrMissing(workFile()), QByteArray("earlier macro\r"));
        QCOMPARE(m_prompter.shown.size(), 1);
    }

    void workFileAsCommandFile()
    {
        writeFixture(workFile(), "1 HO\n");
        QString name = QStringLiteral("macro.tmp");
        QCOMPARE(m_prep->PrepFile(name), PrepResult::FileError);
        QCOMPARE(readFileOrMissing(workFile()), QByteArray("1 HO\n"));
        QCOMPARE(m_prompter.texts(),
            QStringList {
                QStringLiteral("The work file macro.tmp cannot be prepared as a command file.") });
    }

    // Files cut from the language's own tokens, with every byte value among them:
    // the preparation either refuses with a message or leaves a well-formed macro.
    void randomFiles()
    {
        const QList<QByteArray> tokens { "1 ", "ST ", "STJ ", ">", "A", "B", ":", "GOTO", " ", "  ",
            "-", "8", "70000", "DELAY", "MACRO ", "MESSAGE", ";", "/*", "\t", QByteArray(1, '\0'),
            "\xff", "\r", "\n", "\r\n" };
        QRandomGenerator random(20240601);
        int prepared = 0;
        for (int round = 0; round < 400; ++round) {
            init();
            QByteArray file;
            if (round % 2 == 0) {
                const int count = int(random.bounded(1, 60));
                for (int t = 0; t < count; ++t)
                    file += tokens[random.bounded(int(tokens.size()))];
                if (random.bounded(4) == 0)
                    file += char(random.bounded(256));
            } else {
                // Lines of the language, now and then with a stray byte.
                const QList<QByteArray> heads { "", "", "A:", "B:", ":", "DELAY 3", "delay 0.5" };
                const QList<QByteArray> bodies { "1 HO", "1 ST 8>A", "2 st 16>B", "1 ST 70000",
                    "1 STJ 3", "1 MV 5", "1 ST 8>A ST 16>B", "1 ST 8>", "GOTO A", "GOTO",
                    "1 ST 8>A>B", "1 MACRO 2", "" };
                const QList<QByteArray> ends { "\n", "\r\n", "\r" };
                const int count = int(random.bounded(1, 12));
                for (int l = 0; l < count; ++l) {
                    file += heads[random.bounded(int(heads.size()))]
                        + bodies[random.bounded(int(bodies.size()))];
                    if (random.bounded(10) == 0)
                        file += char(random.bounded(256));
                    file += ends[random.bounded(int(ends.size()))];
                }
            }
            const int base = int(random.bounded(2000));
            const PrepResult result = prepare(file, base);
            if (result != PrepResult::Prepared) {
                QVERIFY(m_prep->SyntaxErrorFlag);
                QVERIFY(m_prep->MacroText.isEmpty());
                QVERIFY(!QFile::exists(workFile()));
                QVERIFY2(m_prompter.shown.size() == 1 || result == PrepResult::NotFound,
                    file.toHex().constData());
                continue;
            }
            ++prepared;
            const QString macro = m_prep->MacroText;
            QCOMPARE(readFileOrMissing(workFile()), macro.toLatin1());
            QVERIFY(macro.endsWith(u'\r'));
            QVERIFY2(!macro.contains(u'\n') && !macro.contains(QStringLiteral("\r\r"))
                    && !macro.startsWith(u'\r'),
                file.toHex().constData());
            // Every GOTO carries five digits that address the start of a stored line.
            static const QRegularExpression gotoRe(QStringLiteral("GOTO(.{0,6})"));
            for (const auto& m : gotoRe.globalMatch(macro)) {
                const QString tail = m.captured(1);
                QVERIFY2(tail.size() == 6 && tail[0] == u' ', file.toHex().constData());
                bool ok = false;
                const int at = tail.mid(1).toInt(&ok) - base;
                QVERIFY2(ok && at >= 0 && at <= macro.size(), file.toHex().constData());
                QVERIFY(at == 0 || macro[at - 1] == u'\r');
            }
        }
        QVERIFY(prepared > 20); // the run reaches the well-formed side too
    }

    void longLines()
    {
        const QByteArray body(90000, 'A');
        QCOMPARE(prepare("1 HO" + body + "\nX:1 ST 8>X\n"), PrepResult::Prepared);
        QCOMPARE(
            readFileOrMissing(workFile()), "1 HO" + body + "\r1 STJ 0008\rGOTO 90005\rMACRO 0\r");
        // A label beyond the five-digit range is refused, not cut.
        init();
        QCOMPARE(prepare("1 HO" + body + body + "\nX:1 ST 8>X\n"), PrepResult::Refused);
    }
};

QTEST_GUILESS_MAIN(TstMacroPrep)
#include "tst_macroprep.moc"
