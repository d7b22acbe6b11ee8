// zaziruv-cli readback, upload, clear and image against zaziruv-sim: what the command
// wrote and printed, its exit status, and the controller's memory afterwards.

#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/simprocess.h"
#include "../common/testfiles.h"

#include <QTest>
#include <csignal>

namespace {

// A controller in a temporary directory that keeps its memory in "mem.bin" (written
// when it stops) and logs the lines it received in "sim.log", after "run.cmd" (13
// bytes stored: "1 HO", CR, "MACRO 0", CR) was downloaded into it and read back.
struct Cli
{
    QTemporaryDir dir;
    SimProcess sim { { "--baud", "57600", "--eeprom", dir.filePath("mem.bin"), "--log",
        dir.filePath("sim.log") } };

    explicit Cli(const QByteArray& macro = "1 HO\r\n")
    {
        writeFixture(dir.filePath("run.cmd"), macro);
        if (!macro.isEmpty() && run({ "download", "run.cmd", "--verify-readback" }).exitCode != 0)
            qFatal("the download before the test failed");
    }
    QStringList args(const QStringList& a) const
    {
        return QStringList { "--settings", dir.filePath("s.json"), "--dir", dir.path(), "--port",
            sim.path(), "--baud", "57600" }
        + a + QStringList { "--node", "1", "--delay", "1" };
    }
    ProcessRun run(const QStringList& a) const
    {
        ProcessOptions options;
        options.closeInput = true;
        return runProcess(appBinary("zaziruv-cli"), args(a), options);
    }
    QList<QByteArray> lines() const { return readFile(dir.filePath("sim.log")).split('\n'); }
    QByteArray memory()
    {
        sim.stop();
        return readFile(dir.filePath("mem.bin"));
    }
};

} // namespace

class TstReadBackCli : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void commands_data()
    {
        addColumns<QStringList, int, QString, QByteArray, QByteArray>(
            "args", "status", "file", "content", "message");
        addRow("readback --all", QStringList { "readback", "--all" }, 0, QString("Temporary.cmd"),
            QByteArray("1 HO\r\nMACRO 0\r\n"), QByteArray());
        addRow("name not stored", QStringList { "readback", "NOPE" }, 1, QString("Temporary.cmd"),
            QByteArray("<missing>"), QByteArray("\"NOPE\" is not in the TYX directory"));
        addRow("upload 502 1 numbers", QStringList { "upload", "502", "1", "--numbers" }, 0,
            QString("Temporary.cmd"), QByteArray(" 1\r\n"), QByteArray());
        addRow("upload count too large", QStringList { "upload", "1024", "40000" }, 2,
            QString("Temporary.cmd"), QByteArray("<missing>"), QByteArray("from 0 to 32767"));
        addRow("clear", QStringList { "clear" }, 0, QString(), QByteArray(), QByteArray());
        addRow("restore no image", QStringList { "image", "restore", "run.cmd" }, 1, QString(),
            QByteArray(), QByteArray("it is not a TYX memory image. Nothing was sent"));
    }
    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, message);
        Cli c;
        const qsizetype before = c.lines().size();
        const ProcessRun r = c.run(args);
        QCOMPARE(r.exitCode, status);
        QVERIFY2(r.err.contains(message), r.err.constData());
        if (!file.isEmpty())
            QCOMPARE(readFileOrMissing(c.dir.filePath(file)), content);
        if (args.first() == "image")
            QCOMPARE(c.lines().size(), before); // nothing sent
        // Only "Clear Macros" marks the memory incomplete.
        QCOMPARE(c.memory().at(503), args.first() == "clear" ? 'I' : 'X');
    }

    // Ctrl-C during a read back cancels it without marking the memory.
    void interrupt()
    {
        Cli c(QByteArray("1 A 1234567\r\n").repeated(20));
        const qsizetype before = c.lines().count("1 EER");
        QProcess cli;
        cli.start(appBinary("zaziruv-cli"), c.args({ "readback", "RUN" }));
        QVERIFY(QTest::qWaitFor([&] { return c.lines().count("1 EER") > before + 20; }, 20000));
        ::kill(pid_t(cli.processId()), SIGINT);
        QVERIFY(cli.waitForFinished(20000));
        QCOMPARE(cli.exitCode(), 130);
        QVERIFY(!c.lines().contains("1 EEADDR 503,I"));
        QCOMPARE(c.memory().at(503), 'X');
    }

    // A controller's program copied into another whose memory is erased: the same
    // directory, and the same bytes over the saved range. A damaged image sends nothing.
    void imageRoundTrip()
    {
        Cli from;
        const ProcessRun saved = from.run({ "image", "save", "copy.img" });
        QCOMPARE(saved.exitCode, 0);
        const QByteArray image = readFile(from.dir.filePath("copy.img"));
        QCOMPARE(image.size(), 20 + 1037 - 100);

        Cli to(QByteArray {});
        QByteArray damaged = image;
        damaged[30] = char(damaged[30] ^ 1);
        QVERIFY(writeFile(to.dir.filePath("damaged.img"), damaged));
        const ProcessRun refused = to.run({ "image", "restore", "damaged.img" });
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("CRC-32"), refused.err.constData());
        QCOMPARE(to.lines(), QList<QByteArray> { "" });

        const ProcessRun restored
            = to.run({ "image", "restore", from.dir.filePath("copy.img"), "--verify-readback" });
        QCOMPARE(restored.exitCode, 0);
        QCOMPARE(to.run({ "dir" }).out, QByteArray("1 RUN\nTotal Bytes Stored: 13\n"));
        QCOMPARE(to.memory().mid(100, 937), from.memory().mid(100, 937));
    }

    // A failing cell that the 8-bit checksum is not asked about: the read back finds it,
    // names its address and marks the memory incomplete.
    void downloadReadBack()
    {
        Cli c(QByteArray {});
        c.sim.stop();
        writeFixture(c.dir.filePath("run.cmd"), "1 HO\r\n");
        SimProcess bad(
            { "--baud", "57600", "--bad-write-every", "9", "--log", c.dir.filePath("sim.log") });
        QStringList a = c.args({ "download", "run.cmd", "--verify-readback" });
        a[a.indexOf("--port") + 1] = bad.path();
        const ProcessRun r = runProcess(appBinary("zaziruv-cli"), a);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("Read-back verification failed at address 517: 0 was written, "
                                "the TYX holds 1."),
            r.err.constData());
        QVERIFY(c.lines().contains("1 EEADDR 503,I"));
    }
};

QTEST_GUILESS_MAIN(TstReadBackCli)
#include "tst_readbackcli.moc"
