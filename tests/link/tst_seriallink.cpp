// The drain of the serial port: it ends no earlier than the line time of what was
// written, and at once when the port goes away.

#include "../common/datarow.h"
#include "../common/ptypair.h"

#include "link/seriallink.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

class TstSerialLink : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void drainLastsTheLineTime_data()
    {
        addColumns<int, int>("baud", "bytes");
        addRow("9600", 9600, 48);
        addRow("57600", 57600, 200);
    }
    void drainLastsTheLineTime()
    {
        QFETCH(int, baud);
        QFETCH(int, bytes);
        PtyPair pty;
        SerialLink link;
        QVERIFY(link.open(pty.slavePath(), baud));
        QElapsedTimer clock;
        clock.start();
        // The second half queues behind the first: the line is busy until both left.
        link.write(QByteArray(bytes / 2, 'a'));
        link.write(QByteArray(bytes - bytes / 2, 'b'));
        link.waitForDrain();
        QVERIFY(clock.nsecsElapsed() >= link.lineTimeNs(bytes));
        QCOMPARE(link.lineBusyNs(), 0);
        QCOMPARE(pty.read(bytes).size(), bytes);
    }

    void drainEndsWhenThePortCloses()
    {
        PtyPair pty;
        SerialLink link;
        QVERIFY(link.open(pty.slavePath(), 300));
        link.write(QByteArray(300, 'x')); // ten seconds of line time
        QTimer::singleShot(20, &link, &SerialLink::close);
        link.waitForDrain();
        QVERIFY(!link.isOpen() && link.lineBusyNs() > 0);
    }
};

QTEST_GUILESS_MAIN(TstSerialLink)
#include "tst_seriallink.moc"
