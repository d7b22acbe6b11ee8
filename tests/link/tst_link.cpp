// Number reading, command framing and answer checksums byte for byte, and the drain
// of the serial port. Arbitrary answers and text are the fuzz harnesses'
// (fuzz/framing.cpp: framed and unframed text comes back, one check character off
// loses it; fuzz/numbers.cpp: hexadecimal reads only its leading digits, decimals
// stay finite and survive writing).

#include "../common/datarow.h"
#include "../common/ptypair.h"

#include "core/numbers.h"
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
        // The check characters: the sum modulo 256, a character from "0" on for each half.
        // ("0 HO#>7" on the wire: tst_terminalcore's sending.)
        addColumns<QString, QString>("text", "check");
        addRow("0 EN", QStringLiteral("0 EN"), QStringLiteral(">3"));
        addRow("0 DI", QStringLiteral("0 DI"), QStringLiteral("=="));
        addRow("abc wraps", QStringLiteral("abc"), QStringLiteral("26"));
        addRow("empty", QString(), QStringLiteral("00"));
        addRow("multiple of 256", QString(2, QChar(128)), QStringLiteral("00"));
    }
    void checksum()
    {
        QFETCH(QString, text);
        QFETCH(QString, check);
        ChecksumState s;
        s.text = text;
        calc_cksum(s);
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

    // Hexadecimal as the controller answers: readHex takes the leading digits (up to
    // four a 16-bit value, up to eight a 32-bit one), calc32bit the last eight before a
    // CR, lower-case letters counting 0.
    void hex_data()
    {
        addColumns<QString, int, int>("text", "hex", "bits32");
        addRow("empty", "", 0, 0);
        addRow("four digits", "0103", 0x103, 0x103);
        addRow("16-bit negative", "8000", -32768, 0x8000);
        addRow("16-bit -1", "FFFF", -1, 0xFFFF);
        addRow("five digits are 32-bit", "0FFFF", 0xFFFF, 0xFFFF);
        addRow("-100", "FFFFFF9C", -100, -100);
        addRow("-1", "FFFFFFFF", -1, -1);
        addRow("max", "7FFFFFFF", 2147483647, 2147483647);
        addRow("min", "80000000", int(-2147483647 - 1), int(-2147483647 - 1));
        addRow("100", "00000064", 100, 100);
        addRow("500 short", "0001F4", 500, 500);
        addRow("cut at CR", "1F4\rFF", 500, 500);
        addRow("lower case is no digit", "ff", 0, 0);
        addRow("lower case after digits", "000000ff", 0, 0);
        addRow("nine digits overflow; the last eight", "123456789", 0, 0x23456789);
        addRow("ten digits", "12345678FF", 0, 0x345678FF);
    }
    void hex()
    {
        QFETCH(QString, text);
        QFETCH(int, hex);
        QFETCH(int, bits32);
        QCOMPARE(readHex(text), hex);
        QCOMPARE(calc32bit(text), bits32);
    }

    void decimal_data()
    {
        addColumns<QString, double>("text", "value");
        addRow("plain", "500", 500.0);
        addRow("leading blanks", "   3 apples", 3.0);
        addRow("negative", "-8>A", -8.0);
        addRow("fraction", "2.5", 2.5);
        addRow("nothing", "x12", 0.0);
        addRow("empty", "", 0.0);
    }
    void decimal()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(readDecimal(text), value);
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
