// The status mask wizard's conversions, both ways.

#include "terminal/statusmask.h"

#include <QTest>

class TestStatusMask : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fromText_data();
    void fromText();
    void toText_data();
    void toText();
    void roundTrip();
};

void TestStatusMask::fromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<int>("bits");

    QTest::newRow("dec 10") << "10" << false << 0x000A;
    QTest::newRow("dec 65535: all sixteen") << "65535" << false << 0xFFFF;
    QTest::newRow("dec -1: all sixteen") << "-1" << false << 0xFFFF;
    QTest::newRow("dec -32768: bit 15") << "-32768" << false << 0x8000;
    QTest::newRow("dec 65536: no bit of 16") << "65536" << false << 0x0000;
    QTest::newRow("dec fraction rounds, halves to even") << "2.5" << false << 0x0002;
    QTest::newRow("dec beyond 32 bits reads as 0") << "99999999999" << false << 0;
    QTest::newRow("dec text reads as 0") << "abc" << false << 0;
    QTest::newRow("dec empty") << "" << false << 0;
    QTest::newRow("dec after first blank") << "1 259" << false << 0x0103;
    QTest::newRow("dec trailing text ignored") << "12xyz" << false << 12;
    QTest::newRow("hex 8000: bit 15 only") << "8000" << true << 0x8000;
    QTest::newRow("hex whole answer") << "1 0103" << true << 0x0103;
    QTest::newRow("hex answer with CR") << "0 0103\r" << true << 0x0103;
    QTest::newRow("hex lower case is upper-cased") << "0 00ff" << true << 0x00FF;
    QTest::newRow("hex eight digits keep low 16 bits") << "0 00010103" << true << 0x0103;
    QTest::newRow("hex not a digit") << "G1" << true << 0;
    QTest::newRow("hex only the first blank counts") << "0 01 FF" << true << 0x0001;
}

void TestStatusMask::fromText()
{
    QFETCH(QString, text);
    QFETCH(bool, hex);
    QFETCH(int, bits);
    QCOMPARE(
        int(statusMaskFromText(text, hex ? MaskRadix::Hexadecimal : MaskRadix::Decimal)), bits);
}

void TestStatusMask::toText_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<QString>("dec");
    QTest::addColumn<QString>("hex");

    QTest::newRow("start state, bits 1 and 3") << 0x000A << "10"
                                               << "000A";
    QTest::newRow("none") << 0 << "0"
                          << "0000";
    QTest::newRow("all") << 0xFFFF << "-1"
                         << "FFFF";
    QTest::newRow("bit 15") << 0x8000 << "-32768"
                            << "8000";
    QTest::newRow("largest positive") << 0x7FFF << "32767"
                                      << "7FFF";
    QTest::newRow("drive disabled and e-stop") << 0x0900 << "2304"
                                               << "0900";
    QTest::newRow("upper-case digits") << 0xABCD << "-21555"
                                       << "ABCD";
}

void TestStatusMask::toText()
{
    QFETCH(int, bits);
    QFETCH(QString, dec);
    QFETCH(QString, hex);
    QCOMPARE(statusMaskText(quint16(bits), MaskRadix::Decimal), dec);
    QCOMPARE(statusMaskText(quint16(bits), MaskRadix::Hexadecimal), hex);
}

void TestStatusMask::roundTrip()
{
    // What Convert writes, Display Above reads back to the same bits.
    for (int v = 0; v <= 0xFFFF; v += 257) {
        for (MaskRadix r : { MaskRadix::Decimal, MaskRadix::Hexadecimal })
            QCOMPARE(int(statusMaskFromText(statusMaskText(quint16(v), r), r)), v);
    }
}

QTEST_GUILESS_MAIN(TestStatusMask)
#include "tst_statusmask.moc"
