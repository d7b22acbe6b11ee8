#include "core/numbers.h"

#include <QTest>

class TstNumbers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("four digits") << "0103" << 0x103;
        QTest::newRow("16-bit negative") << "8000" << -32768;
        QTest::newRow("16-bit -1") << "FFFF" << -1;
        QTest::newRow("five digits are 32-bit") << "0FFFF" << 65535;
        QTest::newRow("eight digits") << "FFFFFF9C" << -100;
        QTest::newRow("stops at non-digit") << "1F\r" << 31;
        QTest::newRow("lower case is not a digit") << "ff" << 0;
        QTest::newRow("nine digits overflow") << "123456789" << 0;
    }
    void hex()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(readHex(text), value);
    }

    void decimal_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "500" << 500.0;
        QTest::newRow("leading blanks") << "   3 apples" << 3.0;
        QTest::newRow("negative") << "-8>A" << -8.0;
        QTest::newRow("fraction") << "2.5" << 2.5;
        QTest::newRow("nothing") << "x12" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
    }
    void decimal()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(readDecimal(text), value);
    }

    void rounding_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<qint64>("rounded");
        QTest::newRow("0.4") << 0.4 << qint64(0);
        QTest::newRow("2.5") << 2.5 << qint64(2);
        QTest::newRow("3.5") << 3.5 << qint64(4);
        QTest::newRow("-2.5") << -2.5 << qint64(-2);
        QTest::newRow("2.6") << 2.6 << qint64(3);
    }
    void rounding()
    {
        QFETCH(double, value);
        QFETCH(qint64, rounded);
        QCOMPARE(roundHalfEven(value), rounded);
    }

    void writing()
    {
        QCOMPARE(withSign(12), QStringLiteral(" 12"));
        QCOMPARE(withSign(0), QStringLiteral(" 0"));
        QCOMPARE(withSign(-1), QStringLiteral("-1"));
        QCOMPARE(plainNumber(503), QStringLiteral("503"));
        QCOMPARE(plainNumber(1000.0 / 3), QStringLiteral("333.333333333333"));
        QCOMPARE(plainNumber(-2.5), QStringLiteral("-2.5"));
    }
};

QTEST_GUILESS_MAIN(TstNumbers)
#include "tst_numbers.moc"
