// The simulator in-process, as --simulate runs it: PtySimulator and a QSerialPort on
// one event loop.

#include "../common/simargs.h"
#include "../common/testfiles.h"

#include "core/eventwait.h"
#include "link/framing.h"
#include "sim/ptysimulator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// Waits in the event loop until done() holds; false when 10 s passed first (a
// safety net for a failing test).
bool waitFor(const std::function<bool()>& done)
{
    bool expired = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&expired] { expired = true; });
    guard.start(10000);
    waitUntil([&] { return expired || done(); });
    return done();
}

bool openPort(QSerialPort& port, const QString& path, qint32 baud)
{
    port.setPortName(path);
    port.setBaudRate(baud);
    port.setFlowControl(QSerialPort::NoFlowControl);
    return port.open(QIODevice::ReadWrite);
}

} // namespace

class TestPtySimulator : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void baudMismatchAnswersNothing();
    void hangUpClosesTheLine_data();
    void hangUpClosesTheLine();
    void paceKeepsTheLineRate_data();
    void paceKeepsTheLineRate();
    void linkLeavesOtherFilesAlone();
    void memoryImage();
};

void TestPtySimulator::baudMismatchAnswersNothing()
{
    PtySimulator sim(simOptions(QStringLiteral("--echo")));
    QVERIFY(sim.start());
    QSerialPort port;
    QVERIFY(openPort(port, sim.slavePath(), 19200));
    const QByteArray probe
        = frameCommand(QStringLiteral("0 EN"), false) + frameCommand(QStringLiteral("0 ST"), false);
    port.write(probe);
    // Every byte has reached the simulator, and nothing came back, not even the echo.
    QVERIFY(waitFor([&] { return sim.bytesReceived() == probe.size(); }));
    processPendingEvents();
    QCOMPARE(sim.bytesSent(), qint64(0));
    QCOMPARE(port.bytesAvailable(), qint64(0));
    QCOMPARE(sim.controller().linesReceived(), qint64(0));
}

void TestPtySimulator::hangUpClosesTheLine_data()
{
    QTest::addColumn<int>("after");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("answers");
    QTest::newRow("the answers made first still arrive")
        << 2 << QByteArray("\r0 ST\r\r1 ST\r\r0 ST\r") << QByteArray("0 0100\r\n1 0100\r\n");
    // Nothing to deliver: the line goes at once, even in the simulator's first moments
    // (a probe that waits only a few ms must see it gone).
    QTest::newRow("nothing answered yet") << 1 << QByteArray("\r0 ST\r") << QByteArray();
}

void TestPtySimulator::hangUpClosesTheLine()
{
    QFETCH(int, after);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, answers);
    PtySimulator sim(simOptions(QStringLiteral("--hangup-after %1 --answer-delay-ms %2")
                                    .arg(after)
                                    .arg(answers.isEmpty() ? 60000 : 0)));
    QVERIFY(sim.start());
    QSignalSpy hung(&sim, &PtySimulator::hungUp);
    QSerialPort port;
    QVERIFY(openPort(port, sim.slavePath(), 9600));
    port.write(sent);
    QByteArray got;
    bool lagged = false; // the controller had hung up while the line was still there
    QVERIFY(waitFor([&] {
        got += port.readAll();
        lagged = lagged || (sim.controller().hungUp() && hung.isEmpty());
        return hung.count() == 1;
    }));
    // The last line is never read.
    QCOMPARE(got, answers);
    QVERIFY(sim.hasHungUp());
    QCOMPARE(sim.controller().linesReceived(), qint64(after));
    QCOMPARE(lagged, !answers.isEmpty());
    // The host sees the line go away.
    QVERIFY(waitFor([&] { return port.error() != QSerialPort::NoError || !port.isOpen(); }));
    QVERIFY(sim.stop());
}

void TestPtySimulator::paceKeepsTheLineRate_data()
{
    QTest::addColumn<int>("baud");
    QTest::newRow("9600") << 9600;
    QTest::newRow("57600") << 57600;
}

void TestPtySimulator::paceKeepsTheLineRate()
{
    QFETCH(int, baud);
    PtySimulator sim(simOptions(QStringLiteral("--echo --pace --baud %1").arg(baud)));
    QVERIFY(sim.start());
    QSerialPort port;
    QVERIFY(openPort(port, sim.slavePath(), baud));
    const QByteArray out = frameCommand(QStringLiteral("0 ST"), false).repeated(20);
    const QByteArray expected = QByteArray("\r0 ST\r0 0100\r\n").repeated(20);
    // At no moment have more characters been taken or sent than the line could have
    // carried since they were written (10 bits a character; the first one too).
    bool withinRate = true;
    const qint64 charNs = 10'000'000'000LL / baud;
    QElapsedTimer sinceWrite;
    const auto check = [&] {
        const qint64 allowed = sinceWrite.nsecsElapsed() / charNs;
        if (sim.bytesReceived() > allowed || sim.bytesSent() > allowed)
            withinRate = false;
    };
    connect(&sim, &PtySimulator::lineReceived, this, check);
    sinceWrite.start();
    port.write(out);
    QByteArray got;
    QVERIFY(waitFor([&] {
        check();
        got += port.readAll();
        return got.size() >= expected.size();
    }));
    QCOMPARE(got, expected);
    QVERIFY(withinRate);
}

void TestPtySimulator::linkLeavesOtherFilesAlone()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ttyTYX"));
    QVERIFY(writeFile(path, "keep me"));
    PtySimulator sim(simOptions({ QStringLiteral("--link"), path }));
    QVERIFY(!sim.start());
    QVERIFY(sim.errorString().contains(QStringLiteral("is not a symbolic link")));
    QCOMPARE(readFile(path), QByteArray("keep me"));

    // A stale link from an earlier run is replaced.
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), path));
    QVERIFY(sim.start());
    QCOMPARE(QFileInfo(path).symLinkTarget(), sim.slavePath());
    QVERIFY(sim.stop());
    QVERIFY(!QFileInfo(path).isSymLink());
}

// The memory image is written at the end, atomically; an image of another size than
// the memory's is refused and left as it was.
void TestPtySimulator::memoryImage()
{
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("tyx.eeprom"));
    PtySimulator made(
        simOptions({ QStringLiteral("--eeprom-size=100"), QStringLiteral("--eeprom"), image }));
    QVERIFY(made.start());
    QVERIFY(!QFileInfo::exists(image));
    made.controller().receive("1 EES 99\r1 EED q\r1 EEW\r", 0);
    QVERIFY(made.stop());
    const QByteArray bytes = QByteArray(99, char(0xFF)) + 'q';
    QCOMPARE(readFile(image), bytes);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("tyx.eeprom") });

    PtySimulator other(simOptions({ QStringLiteral("--eeprom"), image }));
    QVERIFY(!other.start());
    QCOMPARE(other.errorString(),
        QStringLiteral("the memory image %1 holds 100 bytes, not the 8192 of --eeprom-size; give "
                       "--eeprom-size to match it")
            .arg(image));
    QVERIFY(!other.isRunning());
    QCOMPARE(readFile(image), bytes);

    PtySimulator fits(
        simOptions({ QStringLiteral("--eeprom-size=100"), QStringLiteral("--eeprom"), image }));
    QVERIFY(fits.start());
    QCOMPARE(fits.controller().memory(), bytes);
}

QTEST_GUILESS_MAIN(TestPtySimulator)
#include "tst_ptysimulator.moc"
