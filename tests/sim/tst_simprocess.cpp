// The zaziruv-sim executable: its options, its serving through the pseudo-terminal to
// a real serial port until a signal, and what it leaves behind. The controller's
// answers byte for byte are tst_simcontroller's, the terminal's tst_ptysimulator's.

#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/simprocess.h"
#include "../common/testfiles.h"

#include "sim/simoptions.h"

#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestSimProcess : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void servesUntilSignal_data();
    void servesUntilSignal();
    void startOptions_data();
    void startOptions();
};

void TestSimProcess::servesUntilSignal_data()
{
    addColumns<int>("signo");
    addRow("SIGTERM", int(SIGTERM));
    addRow("SIGINT", int(SIGINT));
}

// The memory byte written is in the image at exit; the log keeps what was there and
// gets every line, escaped, a line feed leading into a line included.
void TestSimProcess::servesUntilSignal()
{
    QFETCH(int, signo);
    QTemporaryDir dir;
    const QString log = dir.filePath("sim.log");
    const QString image = dir.filePath("tyx.eeprom");
    QVERIFY(writeFile(log, "earlier\n"));
    SimProcess sim({ "--log", log, "--eeprom", image });
    QVERIFY(sim.isValid());

    QSerialPort port(sim.path()); // 9600 baud, 8 data bits, no parity: the simulator's
    QVERIFY(port.open(QIODevice::ReadWrite));
    port.write(QByteArray("\r0 ST\r1 EEADR 4,\r\n9 X\x01\x7f\\\xe9\r", 26)
        + "1 EES 2000\r1 EED Z\r1 EEW\r1 EES 2000\r1 EER\r");
    QVERIFY(port.waitForBytesWritten(10000));
    const QByteArray expected = "0 0100\r\n005A Z\r\n";
    QByteArray got;
    while (got.size() < expected.size() && port.waitForReadyRead(10000))
        got += port.readAll();
    QCOMPARE(got, expected);
    QCOMPARE(sim.stop(signo), 0);

    QCOMPARE(readFile(log),
        "earlier\n0 ST\n1 EEADR 4,\n\\n9 X\\x01\\x7F\\\\\\xE9\n1 EES 2000\n1 EED Z\n1 EEW\n"
        "1 EES 2000\n1 EER\n");
    QByteArray memory(8192, char(0xFF));
    memory[2000] = 'Z';
    QCOMPARE(readFile(image), memory);
}

void TestSimProcess::startOptions_data()
{
    addColumns<QStringList, int, QString, QString>("args", "exitCode", "out", "err");
    addRow("unknown option", QStringList { "--bogus" }, 2, "", "unknown option \"--bogus\"");
    addRow("bad value", QStringList { "--baud", "9601" }, 2, "", "not a standard line speed");
    addRow("help", QStringList { "--help" }, 0, simOptionsHelp(), "");
}

void TestSimProcess::startOptions()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    ProcessOptions options;
    options.timeoutMs = 10000;
    const ProcessRun r = runProcess(appBinary("zaziruv-sim"), args, options);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.errText().contains(err), r.err.constData());
    QCOMPARE(r.out.isEmpty(), out.isEmpty());
    QVERIFY(r.outText().contains(out));
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
