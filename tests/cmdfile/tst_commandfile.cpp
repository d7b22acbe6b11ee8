// Reading and parsing command files, and the meaning of a line: byte for byte on the
// text as it comes from disk. Arbitrary bytes are the fuzz harness's
// (fuzz/commandfile.cpp): tables within their bounds, lines in order, literals sent.
// The plain cases as they reach the controller (a repeat block, MESSAGE, PAUSE, literals
// and their refusal, a status wait of two entries) are tst_commandfilerunner's and
// tst_terminalcore's statusCheck.

#include "../common/datarow.h"

#include "cmdfile/commandfile.h"

namespace {

CommandFileTables parsed(const QByteArray& bytes)
{
    CommandFileRead r = readCommandFile(bytes);
    ParseCommandFile(r.tables);
    return r.tables;
}

// Line 1's status waits as "value" or "value>LABEL", blank-separated.
QString waitsText(const CommandFileTables& t)
{
    QStringList out;
    for (int k = 1; k <= t.waitCount[1]; ++k) {
        const auto& w = t.waits[1][size_t(k)];
        out << QString::number(w.value) + (w.label.isEmpty() ? QString() : '>' + w.label);
    }
    return out.join(' ');
}

QString actionText(const LineAction& a)
{
    static const char* const kinds[] = { "Nothing", "Pause", "Literal", "Command" };
    QString out = QString::fromLatin1(kinds[a.kind]);
    if (a.delay)
        out += QStringLiteral(" delay %1 (%2 ticks)")
                   .arg(a.delayValue)
                   .arg(delayTicks(a.delayValue));
    if (a.message)
        out += " message '" + a.messageText + "'";
    return out;
}

} // namespace

class TstCommandFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Each stored line after the number of its line in the file.
    void lines_data()
    {
        addColumns<QByteArray, QStringList>("bytes", "lines");
        const QStringList two { "1 0 HO", "2 0 EN" };
        addRow("CR alone", QByteArray("0 HO\r0 EN\r"), two);
        addRow("LF alone", QByteArray("0 HO\n0 EN"), two);
        addRow("no end on the last line", QByteArray("0 HO\r\n0 EN"), two);
        addRow("blank lines get no number", QByteArray("\r\n   \r\n0 HO\r\n\r\n"),
            QStringList { "3 0 HO" });
        addRow("trailing comment cut", QByteArray("0 HO   /* home\r\n"), QStringList { "1 0 HO" });
        addRow("whole-line comment not stored", QByteArray("/* note\r\n\r\n0 HO\r\n0 EN\r\n"),
            QStringList { "3 0 HO", "4 0 EN" });
        addRow("comment after blanks leaves an empty line", QByteArray("  /* note\r\n0 HO\r\n"),
            QStringList { "1 ", "2 0 HO" });
        addRow("tab becomes a blank", QByteArray("0\tHO\t\r\n"), QStringList { "1 0 HO" });
        addRow("a tab alone is an empty line", QByteArray("\t\r\n"), QStringList { "1 " });
        addRow("leading blanks kept", QByteArray("  0 HO\r\n"), QStringList { "1   0 HO" });
        addRow("Latin-1 bytes kept", QByteArray("0 \xE9\xFF\r\n"),
            QStringList { QString::fromLatin1("1 0 \xE9\xFF") });
        addRow("only comments", QByteArray("/* a\r\n/* b\r\n"), QStringList {});
        addRow("empty", QByteArray(), QStringList {});
        const QByteArray longLine = "0 ST" + QByteArray(" 1234").repeated(20000);
        addRow("100004 characters kept whole", longLine + "\r\n", QStringList { "1 " + longLine });
    }
    void lines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        const CommandFileRead r = readCommandFile(bytes);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QStringList stored;
        for (size_t i = 1; i <= size_t(r.tables.lineCount); ++i)
            stored << QString::number(r.tables.fileLine[i]) + ' ' + r.tables.lines[i];
        QCOMPARE(stored, lines);
    }

    // start, end and count of the repeat block, or why the file is not run.
    void repeatBlock_data()
    {
        addColumns<QByteArray, QString>("bytes", "block");
        addRow("lower case", QByteArray("repeat 2\r\n0 A\r\nrend\r\n"), "2 3 2");
        addRow("in a whole-line comment", QByteArray("0 HO\r\n/* REPEAT 4\r\n0 A\r\nREND\r\n"),
            "2 3 4");
        addRow("no number repeats for ever", QByteArray("REPEAT x\r\n0 A\r\nREND\r\n"), "2 3 0");
        addRow("blanks before the number", QByteArray("REPEAT    7\r\n0 A\r\nREND\r\n"), "2 3 7");
        addRow("a later block wins", QByteArray("REPEAT 2\r\nREND\r\nREPEAT 5\r\n0 A\r\nREND\r\n"),
            "4 5 5");
        addRow("REND alone makes no block", QByteArray("0 A\r\nREND\r\n"), "0 2 0");
        addRow("+REPEAT is no block", QByteArray("0 EEADR 500+REPEAT\r\n"), "0 0 0");
        addRow("empty block", QByteArray("REPEAT 3\r\nREND\r\n"), "2 2 3");
        addRow("500 lines", "/* header\r\n" + QByteArray("0 HO\r\n").repeated(500), "0 0 0");
        addRow("501 lines", "/* header\r\n" + QByteArray("0 HO\r\n").repeated(501),
            "The command file has more than 500 command lines (line 502 is the first beyond "
            "them); it was not run.");
        addRow("REND before REPEAT", QByteArray("0 A\r\nREND\r\n0 B\r\nREPEAT 2\r\n0 C\r\n"),
            "REND on line 2 comes before its REPEAT on line 4; the command file was not run.");
        addRow("second REPEAT without REND",
            QByteArray("REPEAT 2\r\n0 A\r\nREND\r\nREPEAT 3\r\n0 B\r\n"),
            "REPEAT on line 4 has no REND after it; the command file was not run.");
        addRow("REND on the REPEAT line", QByteArray("0 A\r\nREPEAT 2 REND\r\n0 B\r\n"),
            "REPEAT on line 2 has no REND after it; the command file was not run.");
        addRow("count too large", QByteArray("REPEAT 99999999999999999999\r\nREND\r\n"),
            "The repeat count on line 1 is larger than 32767; the command file was not run.");
        addRow("literal without closing quote",
            QByteArray("/* x\r\n0 HO\r\n\"OK\",13,10\r\n\"BAD,13\r\n"),
            "Line 4 cannot be sent: the text has no closing double quote; the command file was "
            "not run.");
    }
    void repeatBlock()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, block);
        CommandFileRead r = readCommandFile(bytes);
        CommandFileTables& t = r.tables;
        if (r.ok())
            ParseCommandFile(t);
        const QString refused = r.ok() ? checkCommandFile(t) : r.error;
        QCOMPARE(refused.isEmpty()
                ? QStringLiteral("%1 %2 %3").arg(t.repeatStart).arg(t.repeatEnd).arg(t.repeatCount)
                : refused,
            block);
        if (r.ok() && bytes.startsWith("/* header"))
            QCOMPARE(t.lineCount, 500);
    }

    void labels()
    {
        const CommandFileTables t
            = parsed("START: 0 HO\r\nstart:\r\n0 EN\r\n:0 DI\r\nMid word:  0 ST\r\n");
        QCOMPARE(t.labelCount, 3);
        QCOMPARE(t.labelLine[1], 1);
        QCOMPARE(t.labelLine[2], 2);
        QCOMPARE(t.labelLine[3], 5);
        QStringList names;
        QStringList parts;
        for (int i = 1; i <= 5; ++i) {
            names << t.labelName[size_t(i)];
            parts << t.commandParts[size_t(i)];
        }
        // A colon in the first column makes no label but still ends the part before it.
        QCOMPARE(names, (QStringList { "START", "START", "", "", "MID WORD" }));
        QCOMPARE(parts, (QStringList { "0 HO", "", "0 EN", "0 DI", "0 ST" }));
    }

    void waits_data()
    {
        addColumns<QString, QString>("line", "waits");
        addRow("XST counts itself", "0 XST 24>L1", "0 24>L1");
        addRow("lower case target", "0 st 3>done", "3>DONE");
        addRow("many blanks", "0 ST   8    9  ", "8 9");
        addRow("negative", "0 ST -32768>NEG", "-32768>NEG");
        addRow("not a number", "0 ST abc x>L", "0 0>L");
        addRow("fraction rounds half to even", "0 ST 2.5 3.5 -2.5 2.6 0.4", "2 4 -2 3 0");
        addRow("beyond 32 bits", "0 ST 99999999999 -99999999999", "2147483647 -2147483648");
        addRow("label on the line", "W: 0 ST 4>W", "4>W");
        addRow("no wait without blank after ST", "0 ST", "");
        addRow("STOP is no wait", "0 STOP 5", "");
        addRow("20 values keep 16", "0 ST 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20",
            "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16");
    }
    void waits()
    {
        QFETCH(QString, line);
        QFETCH(QString, waits);
        QCOMPARE(waitsText(parsed(line.toLatin1())), waits);
    }

    void classify_data()
    {
        addColumns<QString, QString>("part", "action");
        addRow("empty", "", "Nothing");
        // A tick is 1/13 of 100 ms, whole ticks only.
        addRow("DELAY 500", "DELAY 500", "Command delay 500 (65 ticks)");
        addRow("DELAY 15", "DELAY 15", "Command delay 15 (1 ticks)");
        addRow("DELAY 7", "DELAY 7", "Command delay 7 (0 ticks)");
        addRow("DELAY -100", "DELAY -100", "Command delay -100 (0 ticks)");
        addRow("DELAY500 reads 0", "DELAY500", "Command delay 0 (0 ticks)");
        addRow("delay lower case", "delay 20", "Command delay 20 (2 ticks)");
        addRow("DELAY not a number", "DELAY abc", "Command delay 0 (0 ticks)");
        addRow("MESSAGE alone", "message", "Nothing message ''");
        addRow("MESSAGE with PAUSE", "MESSAGE PAUSE now", "Pause message ' PAUSE now'");
        addRow("PAUSE", "pause", "Pause");
        addRow("PAUSE before literal", "\"PAUSE\"", "Pause");
    }
    void classify()
    {
        QFETCH(QString, part);
        QFETCH(QString, action);
        QCOMPARE(actionText(classifyLine(part)), action);
    }

    // The bytes sent, or "!" when the line is refused with a reason.
    void literal_data()
    {
        addColumns<QString, QByteArray>("part", "bytes");
        addRow("no codes", "\"A\"", QByteArray("A\0\0", 3));
        addRow("text before the quote ignored", "0 \"AB\",65,66", QByteArray("ABAB"));
        addRow("codes not numbers", "\"A\",x,y", QByteArray("A\0\0", 3));
        addRow("empty text", "\"\",13,10", QByteArray("\r\n"));
        addRow("Latin-1 code", "\"\",255,233", QByteArray("\xFF\xE9"));
        addRow("no closing quote", "\"HELLO,13,10", QByteArray("!"));
        addRow("negative code", "\"A\",-1", QByteArray("!"));
    }
    void literal()
    {
        QFETCH(QString, part);
        QFETCH(QByteArray, bytes);
        QString literal;
        QString why;
        const bool ok = buildLiteral(part, literal, &why);
        QCOMPARE(ok ? literal.toLatin1() : QByteArray("!"), bytes);
        QCOMPARE(why.isEmpty(), ok);
    }
};

QTEST_GUILESS_MAIN(TstCommandFile)
#include "tst_commandfile.moc"
