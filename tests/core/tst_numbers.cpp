// Number reading and writing. Arbitrary text is the fuzz harness's (fuzz/numbers.cpp):
// hexadecimal reads only its leading digits, decimals stay finite and survive writing.

#include "../common/datarow.h"

#include "core/numbers.h"

class TstNumbers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hex_data()
    {
        addColumns<QString, int>("text", "value");
        addRow("empty", QString(), 0);
        addRow("four digits", QStringLiteral("0103"), 0x103);
        addRow("16-bit negative", QStringLiteral("8000"), -32768);
        addRow("16-bit -1", QStringLiteral("FFFF"), -1);
        addRow("five digits are 32-bit", QStringLiteral("0FFFF"), 65535);
        addRow("eight digits", QStringLiteral("FFFFFF9C"), -100);
        addRow("stops at non-digit", QStringLiteral("1F\r"), 31);
        addRow("lower case is not a digit", QStringLiteral("ff"), 0);
        addRow("nine digits overflow", QStringLiteral("123456789"), 0);
    }
    void hex()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(readHex(text), value);
    }

    void decimal_data()
    {
        addColumns<QString, double>("text", "value");
        addRow("plain", QStringLiteral("500"), 500.0);
        addRow("leading blanks", QStringLiteral("   3 apples"), 3.0);
        addRow("negative", QStringLiteral("-8>A"), -8.0);
        addRow("fraction", QStringLiteral("2.5"), 2.5);
        addRow("nothing", QStringLiteral("x12"), 0.0);
        addRow("empty", QString(), 0.0);
    }
    void decimal()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(readDecimal(text), value);
    }
};

QTEST_GUILESS_MAIN(TstNumbers)
#include "tst_numbers.moc"
