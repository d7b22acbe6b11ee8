// The protocol's text pieces byte for byte: answers taken apart by rules A and B, the
// checksum answer, the stored form of "macro.tmp", directory names and "e2prom.dat".

#include "../common/datarow.h"

#include "eeprom/e2promrecord.h"
#include "eeprom/eepromtext.h"

#include <QTest>

using namespace EepromText;

namespace {
// Answers hold any byte, NUL included, as a Latin-1 character.
template <std::size_t N> QString L(const char (&s)[N])
{
    return QString::fromLatin1(s, qsizetype(N - 1));
}
} // namespace

class TstEepromText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // What each piece makes of its input. kind: "name" (rule A, names), "table"
    // (rule B, pairs), "sum" (the checksum), "mark" (rule A, one byte), "stored"
    // ("macro.tmp": bytes stored | refused line), "desc" (file name to directory name).
    void answers_data()
    {
        addColumns<QString, QString, QString>("kind", "text", "expected");
        addRow("name", "name", L("0041 A\r\n0042 B\r\n000D \r\r\n0058 X\r\n"), "AB");
        addRow("name LF cut", "name", L("0041 A\r\n000A \n\r\n"), "A");
        addRow("name short answer", "name", L("0041 A\r\n004"), "A");
        addRow("name cut off after 00", "name", L("0041 A\r\n0042"), "A");
        addRow("mark i", "mark", L("0069 i\r\n"), "105");
        addRow("mark none", "mark", L(""), "none");
        addRow("table 100 bytes", "table", L("0004 \x04\r\n0064 d\r\n"), "1124");
        // A low byte of 13 (end 1037) answers with the stored CR before the CR LF.
        addRow("table low CR", "table", L("0004 \x04\r\n000D \r\r\n"), "1037");
        addRow("table high CR", "table", L("000D \r\r\n0000 \x00\r\n"), "3328");
        addRow("table no LF counts 0", "table", L("0004 \x04\r0041 A\r\n"), "65");
        addRow("table one answer", "table", L("0004 \x04\r\n"), "1024");
        addRow("table last pair wins", "table",
            L("0004 \x04\r\n0000 \x00\r\n0005 \x05\r\n0001 \x01\r\n"), "1281");
        addRow("table misread", "table", L("00FF \xff\r\n00FF \xff\r\n"), "misread");
        addRow("sum", "sum", L("0001 002A"), "42");
        addRow("sum no 00", "sum", L("1 EEC\r"), "999");
        addRow("sum cut off", "sum", L("0001 00"), "999");
        addRow("sum not hex", "sum", L("0001 00x1\r\n"), "999");
        addRow("worked example", "stored", L("1 HO\rMACRO 0\r"), "1 HO\rMACRO 0\r|");
        addRow("leading blanks", "stored", L("  1 ho\r"), "1 HO\r|");
        addRow("DELAY first", "stored", L("DELAY 15\r1 HO\r"), "|DELAY 15");
        addRow("blanks only", "stored", L("   \r1 HO\r"), "|   ");
        addRow("later lines kept", "stored", L("1 HO\rDELAY 15\r"), "1 HO\rDELAY 15\r|");
        addRow("lower .cmd", "desc", L("abcd.cmd"), "ABCD");
        addRow("upper .CMD", "desc", L("abcdefgh.CMD"), "abcdefgh.CMD");
        addRow("no extension", "desc", L("Run"), "Run");
    }
    void answers()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QString got;
        if (kind == "name") {
            got = nameFromAnswers(text);
        } else if (kind == "mark") {
            const auto b = takeRuleA(text);
            got = b ? QString::number(*b) : "none";
        } else if (kind == "table") {
            const TableEntry e = tableEntryFromAnswers(text);
            got = e.misread ? "misread" : QString::number(e.address);
        } else if (kind == "stored") {
            const StoredMacro m = storedMacro(text.toLatin1());
            got = QString::fromLatin1(m.bytes) + '|' + m.refusedLine;
        } else if (kind == "desc") {
            got = descriptionName(text);
        } else {
            got = QString::number(checksumFromAnswer(text));
        }
        QCOMPARE(got, expected);
    }

    // "e2prom.dat" as loaded: delay, node shown, check box, and the record kept.
    // (What build() writes is checked byte for byte by the download window's test.)
    void record_data()
    {
        addColumns<QByteArray, int, QString, int>("file", "delay", "node", "check");
        addRow("empty", QByteArray(), 2, "0", 0);
        addRow("saved", E2promRecord::build("5", "05", true), 5, "5", 1);
        addRow("short", QByteArray("07"), 7, "0", 0);
        addRow("garbled", QByteArray("ab\xff\x01x"), 1, "0", 0);
        addRow("long", QByteArray("10121").append(QByteArray(600, 'Z')), 10, "12", 1);
        addRow("grey box", QByteArray("02012"), 2, "1", 0);
    }
    void record()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, delay);
        QFETCH(QString, node);
        QFETCH(int, check);
        const E2promRecord r = E2promRecord::parse(file);
        QCOMPARE(r.Delay, delay);
        QCOMPARE(r.TxTNode, node);
        QCOMPARE(r.EnableCksumChk, check);
        QCOMPARE(r.VerifyDownload, check == 1);
        QCOMPARE(r.record.size(), E2promRecord::Size);
        QCOMPARE(r.record.left(std::min<qsizetype>(file.size(), 500)), file.left(500));
    }
};

QTEST_APPLESS_MAIN(TstEepromText)
#include "tst_eepromtext.moc"
