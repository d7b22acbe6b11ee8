#include "link/framing.h"

#include <QTest>

class TstFraming : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void checksum_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("sum");
        QTest::addColumn<QString>("check");
        QTest::newRow("0 HO") << "0 HO" << 231 << ">7";
        QTest::newRow("0 EN") << "0 EN" << 227 << ">3";
        QTest::newRow("0 DI") << "0 DI" << 221 << "==";
        QTest::newRow("abc wraps") << "abc" << 38 << "26";
        QTest::newRow("empty") << "" << 0 << "00";
        QTest::newRow("multiple of 256") << QString(QChar(128)) + QChar(128) << 0 << "00";
        QTest::newRow("long text") << QString(400, QLatin1Char('z')) << (400 * 122) % 256 << checkCharacters(QString(400, QLatin1Char('z')));
    }
    void checksum()
    {
        QFETCH(QString, text);
        QFETCH(int, sum);
        QFETCH(QString, check);
        ChecksumState s;
        s.text = text;
        calc_cksum(s);
        QCOMPARE(s.sum, sum);
        const QChar chars[2] = { QChar(s.check1), QChar(s.check2) };
        QCOMPARE(QString(chars, 2), check);
    }

    void frame()
    {
        QCOMPARE(frameCommand(QStringLiteral("0 HO"), false), QByteArray("\r0 HO\r"));
        QCOMPARE(frameCommand(QStringLiteral("0 HO"), true), QByteArray("\r0 HO#>7\r"));
        QCOMPARE(frameCommand(QString(QChar(0xE9)), false), QByteArray("\r\xE9\r"));
    }

    void verify_data()
    {
        QTest::addColumn<QString>("buffer");
        QTest::addColumn<QString>("after");
        QTest::newRow("good") << "1 ST#?8\r" << "1 ST";
        QTest::newRow("trailing text after check") << "1 ST#?8junk\r" << "1 ST";
        QTest::newRow("A-F form does not verify") << "0 HO#E7\r" << "";
        QTest::newRow("wrong") << "0 00000004#00\r" << "";
        QTest::newRow("one check character") << "1 ST#?" << "";
        QTest::newRow("no check character") << "1 ST#" << "";
        QTest::newRow("no hash unchanged") << "1 ST\r" << "1 ST\r";
    }
    void verify()
    {
        QFETCH(QString, buffer);
        QFETCH(QString, after);
        Calc_RX_Cksum(buffer);
        QCOMPARE(buffer, after);
    }

    void to32bit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("100") << "00000064" << 100;
        QTest::newRow("500 short") << "0001F4" << 500;
        QTest::newRow("max") << "7FFFFFFF" << 2147483647;
        QTest::newRow("-100") << "FFFFFF9C" << -100;
        QTest::newRow("-1") << "FFFFFFFF" << -1;
        QTest::newRow("min") << "80000000" << int(-2147483647 - 1);
        QTest::newRow("cut at CR") << "1F4\rFF" << 500;
        QTest::newRow("last eight") << "12345678FF" << 0x345678FF;
        QTest::newRow("lower case counts 0") << "000000ff" << 0;
    }
    void to32bit()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(calc32bit(text), value);
    }
};

QTEST_GUILESS_MAIN(TstFraming)
#include "tst_framing.moc"
