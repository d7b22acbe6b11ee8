// Command framing and answer checksums byte for byte, and the drain of the serial
// port. Arbitrary answers are the fuzz harness's (fuzz/framing.cpp): framed and
// unframed text comes back, one check character off loses it.

#include "../common/datarow.h"
#include "../common/ptypair.h"

#include "link/framing.h"
#include "link/seriallink.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

class TstLink : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void checksum_data()
    {
        addColumns<QString, int, QString>("text", "sum", "check");
        addRow("0 HO", QStringLiteral("0 HO"), 231, QStringLiteral(">7"));
        addRow("0 EN", QStringLiteral("0 EN"), 227, QStringLiteral(">3"));
        addRow("0 DI", QStringLiteral("0 DI"), 221, QStringLiteral("=="));
        addRow("abc wraps", QStringLiteral("abc"), 38, QStringLiteral("26"));
        addRow("empty", QString(), 0, QStringLiteral("00"));
        addRow("multiple of 256", QString(2, QChar(128)), 0, QStringLiteral("00"));
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

    void verify_data()
    {
        addColumns<QString, QString>("buffer", "after");
        addRow("good", "1 ST#?8\r", "1 ST");
        addRow("trailing text after check", "1 ST#?8junk\r", "1 ST");
        addRow("A-F form does not verify", "0 HO#E7\r", "");
        addRow("wrong", "0 00000004#00\r", "");
        addRow("one check character", "1 ST#?", "");
        addRow("no check character", "1 ST#", "");
        addRow("no hash unchanged", "1 ST\r", "1 ST\r");
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
        addColumns<QString, int>("text", "value");
        addRow("100", QStringLiteral("00000064"), 100);
        addRow("500 short", QStringLiteral("0001F4"), 500);
        addRow("max", QStringLiteral("7FFFFFFF"), 2147483647);
        addRow("-100", QStringLiteral("FFFFFF9C"), -100);
        addRow("-1", QStringLiteral("FFFFFFFF"), -1);
        addRow("min", QStringLiteral("80000000"), int(-2147483647 - 1));
        addRow("cut at CR", QStringLiteral("1F4\rFF"), 500);
        addRow("last eight", QStringLiteral("12345678FF"), 0x345678FF);
        addRow("lower case counts 0", QStringLiteral("000000ff"), 0);
    }
    void to32bit()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(calc32bit(text), value);
    }

    // The drain ends no earlier than the line time of what was written, and at once
    // when the port goes away (300 bytes at 300 baud: ten seconds of line time).
    void drain_data()
    {
        addColumns<int, int, bool>("baud", "bytes", "closes");
        addRow("9600", 9600, 48, false);
        addRow("57600", 57600, 200, false);
        addRow("port closes", 300, 300, true);
    }
    void drain()
    {
        QFETCH(int, baud);
        QFETCH(int, bytes);
        QFETCH(bool, closes);
        PtyPair pty;
        SerialLink link;
        QVERIFY(link.open(pty.slavePath(), baud));
        QElapsedTimer clock;
        clock.start();
        // The second half queues behind the first: the line is busy until both left.
        link.write(QByteArray(bytes / 2, 'a'));
        link.write(QByteArray(bytes - bytes / 2, 'b'));
        if (closes)
            QTimer::singleShot(20, &link, &SerialLink::close);
        link.waitForDrain();
        QCOMPARE(link.isOpen(), !closes);
        QCOMPARE(link.lineBusyNs() > 0, closes);
        if (closes)
            return;
        QVERIFY(clock.nsecsElapsed() >= link.lineTimeNs(bytes));
        QCOMPARE(pty.read(bytes).size(), bytes);
    }
};

QTEST_GUILESS_MAIN(TstLink)
#include "tst_link.moc"
