// Reading and parsing command files, and the meaning of a line: byte for byte on the
// text as it comes from disk.

#include "cmdfile/commandfile.h"

#include <QTest>

namespace {
QStringList stored(const CommandFileTables& t)
{
    QStringList out;
    for (int i = 1; i <= t.lineCount; ++i)
        out << t.lines[size_t(i)];
    return out;
}

CommandFileTables parsed(const QByteArray& bytes)
{
    CommandFileRead r = readCommandFile(bytes);
    ParseCommandFile(r.tables);
    return r.tables;
}
} // namespace

class TstCommandFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("CR LF") << QByteArray("0 HO\r\n0 EN\r\n") << QStringList { "0 HO", "0 EN" };
        QTest::newRow("CR alone") << QByteArray("0 HO\r0 EN\r") << QStringList { "0 HO", "0 EN" };
        QTest::newRow("LF alone") << QByteArray("0 HO\n0 EN") << QStringList { "0 HO", "0 EN" };
        QTest::newRow("no end on the last line") << QByteArray("0 HO\r\n0 EN") << QStringList { "0 HO", "0 EN" };
        QTest::newRow("blank lines get no number") << QByteArray("\r\n   \r\n0 HO\r\n\r\n") << QStringList { "0 HO" };
        QTest::newRow("trailing comment cut") << QByteArray("0 HO   /* home\r\n") << QStringList { "0 HO" };
        QTest::newRow("whole-line comment not stored") << QByteArray("/* note\r\n0 HO\r\n") << QStringList { "0 HO" };
        QTest::newRow("comment after blanks leaves an empty line")
            << QByteArray("  /* note\r\n0 HO\r\n") << QStringList { "", "0 HO" };
        QTest::newRow("tab becomes a blank") << QByteArray("0\tHO\t\r\n") << QStringList { "0 HO" };
        QTest::newRow("a tab alone is an empty line") << QByteArray("\t\r\n") << QStringList { "" };
        QTest::newRow("leading blanks kept") << QByteArray("  0 HO\r\n") << QStringList { "  0 HO" };
        QTest::newRow("Latin-1 bytes kept") << QByteArray("0 \xE9\xFF\r\n") << QStringList { QString::fromLatin1("0 \xE9\xFF") };
        QTest::newRow("only comments") << QByteArray("/* a\r\n/* b\r\n") << QStringList {};
        QTest::newRow("empty") << QByteArray() << QStringList {};
    }
    void lines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        const CommandFileRead r = readCommandFile(bytes);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(stored(r.tables), lines);
    }

    void fileLineNumbers()
    {
        const CommandFileRead r = readCommandFile("/* c\r\n\r\n0 HO\r\n0 EN\r\n");
        QCOMPARE(r.tables.lineCount, 2);
        QCOMPARE(r.tables.fileLine[1], 3);
        QCOMPARE(r.tables.fileLine[2], 4);
    }

    void binaryFile()
    {
        QByteArray bytes;
        for (int i = 0; i < 4096; ++i)
            bytes += char(i * 37 % 256);
        const CommandFileRead r = readCommandFile(bytes);
        CommandFileTables t = r.tables;
        ParseCommandFile(t);
        QVERIFY(t.lineCount <= CommandFileTables::MaxLines);
        // Every byte that is not a line end survives as its Latin-1 character.
        qsizetype chars = 0;
        for (int i = 1; i <= t.lineCount; ++i)
            chars += t.lines[size_t(i)].size();
        QVERIFY(chars > 0);
        checkCommandFile(t); // must not crash, whatever it says
    }

    void longLine()
    {
        QByteArray line = "0 ST";
        for (int i = 0; i < 20000; ++i)
            line += " 1234";
        line += "\r\n";
        QVERIFY(line.size() > 100000);
        const CommandFileTables t = parsed(line);
        QCOMPARE(t.lineCount, 1);
        QCOMPARE(t.lines[1].size(), line.size() - 2);
        QCOMPARE(t.waitCount[1], 16);
    }

    void tooManyLines_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("ok");
        QTest::newRow("500") << 500 << true;
        QTest::newRow("501") << 501 << false;
        QTest::newRow("5000") << 5000 << false;
    }
    void tooManyLines()
    {
        QFETCH(int, count);
        QFETCH(bool, ok);
        QByteArray bytes = "/* header\r\n";
        for (int i = 0; i < count; ++i)
            bytes += "0 HO\r\n";
        const CommandFileRead r = readCommandFile(bytes);
        QCOMPARE(r.ok(), ok);
        if (ok) {
            QCOMPARE(r.tables.lineCount, 500);
        } else {
            QCOMPARE(r.error, QStringLiteral("The command file has more than 500 command lines (line 502 is the "
                                             "first beyond them); it was not run."));
        }
    }

    void repeatBlock_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("count");
        QTest::newRow("REPEAT 3 on 2, REND on 5")
            << QByteArray("0 HO\r\nREPEAT 3\r\n0 A\r\n0 B\r\nREND\r\n0 C\r\n") << 3 << 5 << 3;
        QTest::newRow("lower case") << QByteArray("repeat 2\r\n0 A\r\nrend\r\n") << 2 << 3 << 2;
        QTest::newRow("in a whole-line comment") << QByteArray("0 HO\r\n/* REPEAT 4\r\n0 A\r\nREND\r\n") << 2 << 3 << 4;
        QTest::newRow("no number repeats for ever") << QByteArray("REPEAT x\r\n0 A\r\nREND\r\n") << 2 << 3 << 0;
        QTest::newRow("blanks before the number") << QByteArray("REPEAT    7\r\n0 A\r\nREND\r\n") << 2 << 3 << 7;
        QTest::newRow("a later block wins")
            << QByteArray("REPEAT 2\r\nREND\r\nREPEAT 5\r\n0 A\r\nREND\r\n") << 4 << 5 << 5;
        QTest::newRow("REND alone makes no block") << QByteArray("0 A\r\nREND\r\n") << 0 << 2 << 0;
        QTest::newRow("+REPEAT is no block") << QByteArray("0 EEADR 500+REPEAT\r\n") << 0 << 0 << 0;
        QTest::newRow("empty block") << QByteArray("REPEAT 3\r\nREND\r\n") << 2 << 2 << 3;
    }
    void repeatBlock()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(int, count);
        const CommandFileRead r = readCommandFile(bytes);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.tables.repeatStart, start);
        QCOMPARE(r.tables.repeatEnd, end);
        QCOMPARE(r.tables.repeatCount, count);
    }

    void badRepeatBlock_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::newRow("REPEAT without REND") << QByteArray("0 HO\r\n\r\nREPEAT 3\r\n0 A\r\n")
                                             << "REPEAT on line 3 has no REND after it; the command file was not run.";
        QTest::newRow("REND before REPEAT")
            << QByteArray("0 A\r\nREND\r\n0 B\r\nREPEAT 2\r\n0 C\r\n")
            << "REND on line 2 comes before its REPEAT on line 4; the command file was not run.";
        QTest::newRow("second REPEAT without REND")
            << QByteArray("REPEAT 2\r\n0 A\r\nREND\r\nREPEAT 3\r\n0 B\r\n")
            << "REPEAT on line 4 has no REND after it; the command file was not run.";
        QTest::newRow("REND on the REPEAT line") << QByteArray("0 A\r\nREPEAT 2 REND\r\n0 B\r\n")
                                                 << "REPEAT on line 2 has no REND after it; the command file was not run.";
        QTest::newRow("count too large") << QByteArray("REPEAT 99999999999999999999\r\nREND\r\n")
                                         << "The repeat count on line 1 is larger than 32767; the command file was not run.";
    }
    void badRepeatBlock()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QCOMPARE(readCommandFile(bytes).error, error);
    }

    void labels()
    {
        const CommandFileTables t = parsed("START: 0 HO\r\nstart:\r\n0 EN\r\n:0 DI\r\nMid word:  0 ST\r\n");
        QCOMPARE(t.labelCount, 3);
        QCOMPARE(t.labelLine[1], 1);
        QCOMPARE(t.labelLine[2], 2);
        QCOMPARE(t.labelLine[3], 5);
        QCOMPARE(t.labelName[1], QStringLiteral("START"));
        QCOMPARE(t.labelName[2], QStringLiteral("START"));
        QCOMPARE(t.labelName[3], QString());
        QCOMPARE(t.labelName[5], QStringLiteral("MID WORD"));
        QCOMPARE(t.commandParts[1], QStringLiteral("0 HO"));
        QCOMPARE(t.commandParts[2], QString());
        QCOMPARE(t.commandParts[3], QStringLiteral("0 EN"));
        // A colon in the first column makes no label but still ends the part before it.
        QCOMPARE(t.labelName[4], QString());
        QCOMPARE(t.commandParts[4], QStringLiteral("0 DI"));
        QCOMPARE(t.commandParts[5], QStringLiteral("0 ST"));
    }

    void waits_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QList<qint32>>("values");
        QTest::addColumn<QStringList>("targets");
        QTest::newRow("two entries") << "0 ST 8 16>DONE" << QList<qint32> { 8, 16 } << QStringList { "", "DONE" };
        QTest::newRow("XST counts itself") << "0 XST 24>L1" << QList<qint32> { 0, 24 } << QStringList { "", "L1" };
        QTest::newRow("lower case target") << "0 st 3>done" << QList<qint32> { 3 } << QStringList { "DONE" };
        QTest::newRow("many blanks") << "0 ST   8    9  " << QList<qint32> { 8, 9 } << QStringList { "", "" };
        QTest::newRow("negative") << "0 ST -32768>NEG" << QList<qint32> { -32768 } << QStringList { "NEG" };
        QTest::newRow("not a number") << "0 ST abc x>L" << QList<qint32> { 0, 0 } << QStringList { "", "L" };
        QTest::newRow("fraction rounds half to even") << "0 ST 2.5 3.5" << QList<qint32> { 2, 4 } << QStringList { "", "" };
        QTest::newRow("beyond 32 bits") << "0 ST 99999999999 -99999999999"
                                        << QList<qint32> { 2147483647, -2147483647 - 1 } << QStringList { "", "" };
        QTest::newRow("label on the line") << "W: 0 ST 4>W" << QList<qint32> { 4 } << QStringList { "W" };
        QTest::newRow("no wait without blank after ST") << "0 ST" << QList<qint32> {} << QStringList {};
        QTest::newRow("STOP is no wait") << "0 STOP 5" << QList<qint32> {} << QStringList {};
        QList<qint32> twenty;
        QStringList none;
        QString line = QStringLiteral("0 ST");
        for (int i = 1; i <= 20; ++i) {
            line += QStringLiteral(" %1").arg(i);
            if (i <= 16) {
                twenty << i;
                none << "";
            }
        }
        QTest::newRow("20 values keep 16") << line << twenty << none;
    }
    void waits()
    {
        QFETCH(QString, line);
        QFETCH(QList<qint32>, values);
        QFETCH(QStringList, targets);
        const CommandFileTables t = parsed(line.toLatin1());
        QCOMPARE(t.waitCount[1], values.size());
        for (int k = 1; k <= values.size(); ++k) {
            QCOMPARE(t.waits[1][size_t(k)].value, values[k - 1]);
            QCOMPARE(t.waits[1][size_t(k)].label, targets[k - 1]);
        }
    }

    void classify_data()
    {
        QTest::addColumn<QString>("part");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("delay");
        QTest::addColumn<double>("delayValue");
        QTest::addColumn<bool>("message");
        QTest::addColumn<QString>("messageText");
        QTest::newRow("command") << "0 HO" << int(LineAction::Command) << false << 0.0 << false << "";
        QTest::newRow("empty") << "" << int(LineAction::Nothing) << false << 0.0 << false << "";
        QTest::newRow("DELAY 500") << "DELAY 500" << int(LineAction::Command) << true << 500.0 << false << "";
        QTest::newRow("DELAY500 reads 0") << "DELAY500" << int(LineAction::Command) << true << 0.0 << false << "";
        QTest::newRow("delay lower case") << "delay 20" << int(LineAction::Command) << true << 20.0 << false << "";
        QTest::newRow("DELAY not a number") << "DELAY abc" << int(LineAction::Command) << true << 0.0 << false << "";
        QTest::newRow("MESSAGE") << "MESSAGE Homing" << int(LineAction::Command) << false << 0.0 << true << " Homing";
        QTest::newRow("MESSAGE alone") << "message" << int(LineAction::Nothing) << false << 0.0 << true << "";
        QTest::newRow("MESSAGE with a quote is no literal")
            << "MESSAGE say \"hi\"" << int(LineAction::Command) << false << 0.0 << true << " say \"hi\"";
        QTest::newRow("MESSAGE with PAUSE") << "MESSAGE PAUSE now" << int(LineAction::Pause) << false << 0.0 << true
                                            << " PAUSE now";
        QTest::newRow("PAUSE") << "pause" << int(LineAction::Pause) << false << 0.0 << false << "";
        QTest::newRow("literal") << "\"HELLO\",13,10" << int(LineAction::Literal) << false << 0.0 << false << "";
        QTest::newRow("PAUSE before literal") << "\"PAUSE\"" << int(LineAction::Pause) << false << 0.0 << false << "";
    }
    void classify()
    {
        QFETCH(QString, part);
        QFETCH(int, kind);
        QFETCH(bool, delay);
        QFETCH(double, delayValue);
        QFETCH(bool, message);
        QFETCH(QString, messageText);
        const LineAction a = classifyLine(part);
        QCOMPARE(int(a.kind), kind);
        QCOMPARE(a.delay, delay);
        QCOMPARE(a.delayValue, delayValue);
        QCOMPARE(a.message, message);
        QCOMPARE(a.messageText, messageText);
    }

    void ticks_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("ticks");
        QTest::newRow("500") << 500.0 << 65.0;
        QTest::newRow("100") << 100.0 << 13.0;
        QTest::newRow("15") << 15.0 << 1.0;
        QTest::newRow("7") << 7.0 << 0.0;
        QTest::newRow("negative") << -100.0 << 0.0;
    }
    void ticks()
    {
        QFETCH(double, value);
        QFETCH(double, ticks);
        QCOMPARE(delayTicks(value), ticks);
    }

    void literal_data()
    {
        QTest::addColumn<QString>("part");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("CR LF") << "\"HELLO\",13,10" << true << QByteArray("HELLO\r\n");
        QTest::newRow("one code") << "\"A\",13" << true << QByteArray("A\0\r", 3);
        QTest::newRow("no codes") << "\"A\"" << true << QByteArray("A\0\0", 3);
        QTest::newRow("text before the quote ignored") << "0 \"AB\",65,66" << true << QByteArray("ABAB");
        QTest::newRow("codes not numbers") << "\"A\",x,y" << true << QByteArray("A\0\0", 3);
        QTest::newRow("empty text") << "\"\",13,10" << true << QByteArray("\r\n");
        QTest::newRow("Latin-1 code") << "\"\",255,233" << true << QByteArray("\xFF\xE9");
        QTest::newRow("no closing quote") << "\"HELLO,13,10" << false << QByteArray();
        QTest::newRow("code too large") << "\"A\",300,10" << false << QByteArray();
        QTest::newRow("negative code") << "\"A\",-1" << false << QByteArray();
    }
    void literal()
    {
        QFETCH(QString, part);
        QFETCH(bool, ok);
        QFETCH(QByteArray, bytes);
        QString literal;
        QString why;
        QCOMPARE(buildLiteral(part, literal, &why), ok);
        if (ok)
            QCOMPARE(literal.toLatin1(), bytes);
        else
            QVERIFY(!why.isEmpty());
    }

    void checkedLiterals()
    {
        CommandFileTables t = parsed("/* x\r\n0 HO\r\n\"OK\",13,10\r\n\"BAD,13\r\n");
        QCOMPARE(checkCommandFile(t),
            QStringLiteral("Line 4 cannot be sent: the text has no closing double quote; the command file was not run."));
        t = parsed("MESSAGE \"quoted\r\n\"A\",1,2\r\n");
        QCOMPARE(checkCommandFile(t), QString());
    }
};

QTEST_GUILESS_MAIN(TstCommandFile)
#include "tst_commandfile.moc"
