// The protocol's text pieces byte for byte: answers taken apart by rules A and B, the
// checksum answer, the stored form of "macro.tmp", directory names and "e2prom.dat".

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
    // What a reading procedure makes of its collected answers. kind: "name" (rule A,
    // names), "table" (rule B, pairs), "sum" (the checksum), "mark" (rule A, one byte).
    void answers_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("name") << "name" << L("0041 A\r\n0042 B\r\n000D \r\r\n0058 X\r\n") << "AB";
        QTest::newRow("name LF cut") << "name" << L("0041 A\r\n000A \n\r\n") << "A";
        QTest::newRow("name short answer") << "name" << L("0041 A\r\n004") << "A";
        QTest::newRow("name cut off after 00") << "name" << L("0041 A\r\n0042") << "A";
        QTest::newRow("mark i") << "mark" << L("0069 i\r\n") << "105";
        QTest::newRow("mark none") << "mark" << L("") << "none";
        QTest::newRow("table 100 bytes") << "table" << L("0004 \x04\r\n0064 d\r\n") << "1124";
        // A low byte of 13 (end 1037) answers with the stored CR before the CR LF.
        QTest::newRow("table low CR") << "table" << L("0004 \x04\r\n000D \r\r\n") << "1037";
        QTest::newRow("table high CR") << "table" << L("000D \r\r\n0000 \x00\r\n") << "3328";
        QTest::newRow("table no LF counts 0") << "table" << L("0004 \x04\r0041 A\r\n") << "65";
        QTest::newRow("table one answer") << "table" << L("0004 \x04\r\n") << "1024";
        QTest::newRow("table last pair wins")
            << "table" << L("0004 \x04\r\n0000 \x00\r\n0005 \x05\r\n0001 \x01\r\n") << "1281";
        QTest::newRow("table misread") << "table" << L("00FF \xff\r\n00FF \xff\r\n") << "misread";
        QTest::newRow("sum") << "sum" << L("0001 002A") << "42";
        QTest::newRow("sum no 00") << "sum" << L("1 EEC\r") << "999";
        QTest::newRow("sum cut off") << "sum" << L("0001 00") << "999";
        QTest::newRow("sum not hex") << "sum" << L("0001 00x1\r\n") << "999";
    }
    void answers()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        // The answers arrive as Latin-1 characters; the table rows spell them in C.
        QString got;
        if (kind == QLatin1String("name")) {
            got = nameFromAnswers(text);
        } else if (kind == QLatin1String("mark")) {
            const auto b = takeRuleA(text);
            got = b ? QString::number(*b) : QStringLiteral("none");
        } else if (kind == QLatin1String("table")) {
            const TableEntry e = tableEntryFromAnswers(text);
            got = e.misread ? QStringLiteral("misread") : QString::number(e.address);
        } else {
            got = QString::number(checksumFromAnswer(text));
        }
        QCOMPARE(got, expected);
    }

    void stored_data()
    {
        QTest::addColumn<QByteArray>("macroTmp");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("refused");
        QTest::newRow("worked example")
            << QByteArray("1 HO\rMACRO 0\r") << QByteArray("1 HO\rMACRO 0\r") << "";
        QTest::newRow("leading blanks") << QByteArray("  1 ho\r") << QByteArray("1 HO\r") << "";
        QTest::newRow("DELAY first")
            << QByteArray("DELAY 15\r1 HO\r") << QByteArray() << "DELAY 15";
        QTest::newRow("blanks only") << QByteArray("   \r1 HO\r") << QByteArray() << "   ";
        QTest::newRow("later lines kept")
            << QByteArray("1 HO\rDELAY 15\r") << QByteArray("1 HO\rDELAY 15\r") << "";
    }
    void stored()
    {
        QFETCH(QByteArray, macroTmp);
        QFETCH(QByteArray, stored);
        QFETCH(QString, refused);
        const StoredMacro m = storedMacro(macroTmp);
        QCOMPARE(m.bytes, stored);
        QCOMPARE(m.refusedLine, refused);
    }

    void description_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("name");
        QTest::newRow("lower .cmd") << "abcd.cmd"
                                    << "ABCD";
        QTest::newRow("upper .CMD") << "abcdefgh.CMD"
                                    << "abcdefgh.CMD";
        QTest::newRow("no extension") << "Run"
                                      << "Run";
    }
    void description()
    {
        QFETCH(QString, file);
        QFETCH(QString, name);
        QCOMPARE(descriptionName(file), name);
    }

    // "e2prom.dat" as loaded: delay, node shown, check box, and the record kept.
    void record_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("delay");
        QTest::addColumn<QString>("node");
        QTest::addColumn<int>("check");
        QTest::newRow("empty") << QByteArray() << 2 << "0" << 0;
        QTest::newRow("saved") << E2promRecord::build("5", "05", true) << 5 << "5" << 1;
        QTest::newRow("short") << QByteArray("07") << 7 << "0" << 0;
        QTest::newRow("garbled") << QByteArray("ab\xff\x01x") << 1 << "0" << 0;
        QTest::newRow("long") << QByteArray("10121").append(QByteArray(600, 'Z')) << 10 << "12"
                              << 1;
        QTest::newRow("grey box") << QByteArray("02012") << 2 << "1" << 0;
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

    void build()
    {
        const QByteArray r = E2promRecord::build(QStringLiteral("4"), QStringLiteral("123"), false);
        QCOMPARE(r, QByteArray("04230").leftJustified(500, ' '));
    }
};

QTEST_APPLESS_MAIN(TstEepromText)
#include "tst_eepromtext.moc"
