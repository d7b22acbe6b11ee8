// zaziruv-cli check and prep, run as a script would run them.

#include "../common/processrun.h"
#include "../common/testfiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TstPrepCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QTemporaryDir m_dir;

    ProcessRun run(const QStringList& args)
    {
        ProcessOptions options;
        options.environment = homeEnvironment(m_home);
        return runProcess(appBinary("zaziruv-cli"), args, options);
    }
    QString work() const { return m_dir.filePath("macro.tmp"); }

private Q_SLOTS:
    void init()
    {
        QFile::remove(work());
        writeFixture(m_dir.filePath("good.cmd"), "1 HO\nLOOP:1 ST 8>LOOP\n");
        writeFixture(m_dir.filePath("bad.cmd"), "1 HO\n1 ST -8\n");
        writeFixture(m_dir.filePath("empty.cmd"), "");
        writeFixture(m_dir.filePath("nolabel.cmd"), "1 ST 8>AWAY\n");
    }

    void checkPasses()
    {
        const ProcessRun r = run({ "--dir", m_dir.path(), "check", "good.cmd" });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(r.errText(), QString());
        QVERIFY(!QFile::exists(work()));
    }

    void checkFails()
    {
        const ProcessRun r = run({ "--dir", m_dir.path(), "check", "bad.cmd" });
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QByteArray());
        QVERIFY2(
            r.errText().contains(
                "Error found in file BAD.CMD.\nLine 2 has a Negative Status Mask Statement.\n\n"
                "*ST -8*  Must be changed to its Positive mask *ST 65528*\n"),
            qPrintable(r.errText()));
        QCOMPARE(readFileOrMissing(m_dir.filePath("bad.cmd")), QByteArray("1 HO\n1 ST -8\n"));
    }

    void prepWritesWorkFile_data()
    {
        QTest::addColumn<QStringList>("base");
        QTest::addColumn<QByteArray>("macro");
        QTest::newRow("default base")
            << QStringList() << QByteArray("1 HO\r1 STJ 0008\rGOTO 00005\rMACRO 0\r");
        QTest::newRow("base 150") << QStringList { "--base", "150" }
                                  << QByteArray("1 HO\r1 STJ 0008\rGOTO 00155\rMACRO 0\r");
        QTest::newRow("base=1024") << QStringList { "--base=1024" }
                                   << QByteArray("1 HO\r1 STJ 0008\rGOTO 01029\rMACRO 0\r");
    }
    void prepWritesWorkFile()
    {
        QFETCH(QStringList, base);
        QFETCH(QByteArray, macro);
        const ProcessRun r = run(QStringList { "--dir", m_dir.path(), "prep", "good.cmd" } + base);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(r.errText(), QString());
        QCOMPARE(readFileOrMissing(work()), macro);
    }

    void prepFails_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("syntax") << "bad.cmd"
                                << "Line 2 has a Negative Status Mask Statement.";
        QTest::newRow("empty") << "empty.cmd"
                               << "Command file is empty.";
        QTest::newRow("missing") << "missing.cmd"
                                 << "no command file \"missing.cmd\"";
        QTest::newRow("undefined label")
            << "nolabel.cmd"
            << "Line 1 jumps to label AWAY, which is defined nowhere in the file.";
    }
    void prepFails()
    {
        QFETCH(QString, file);
        QFETCH(QString, message);
        writeFixture(work(), "earlier\r");
        const ProcessRun r = run({ "--dir", m_dir.path(), "prep", file });
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errText().contains(message), qPrintable(r.errText()));
        QCOMPARE(readFileOrMissing(work()), QByteArray("earlier\r"));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no file") << QStringList { "check" };
        QTest::newRow("two files") << QStringList { "prep", "a.cmd", "b.cmd" };
        QTest::newRow("base not a number") << QStringList { "prep", "good.cmd", "--base", "x" };
        QTest::newRow("base negative") << QStringList { "prep", "good.cmd", "--base", "-1" };
        QTest::newRow("base missing") << QStringList { "prep", "good.cmd", "--base" };
        QTest::newRow("unknown option") << QStringList { "check", "good.cmd", "--fast" };
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        const ProcessRun r = run(QStringList { "--dir", m_dir.path() } + args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(!r.errText().isEmpty());
        QVERIFY(!QFile::exists(work()));
    }
};

QTEST_GUILESS_MAIN(TstPrepCli)
#include "tst_prepcli.moc"
