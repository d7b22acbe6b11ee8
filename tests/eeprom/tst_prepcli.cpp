// zaziruv-cli check and prep, run as a script would run them.

#include "../common/datarow.h"
#include "../common/processrun.h"
#include "../common/testfiles.h"

#include <QTemporaryDir>

class TstPrepCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QTemporaryDir m_dir;

private Q_SLOTS:
    // "err": what standard error holds (nothing at all when the exit code is 0);
    // "work": the work file after the run, which held "earlier\r" before it.
    void run_data()
    {
        addColumns<QStringList, int, QString, QByteArray>("args", "exit", "err", "work");
        const QByteArray earlier("earlier\r");
        addRow("check passes", QStringList { "check", "good.cmd" }, 0, QString(), earlier);
        addRow("check fails", QStringList { "check", "bad.cmd" }, 1,
            QStringLiteral(
                "Error found in file BAD.CMD.\nLine 2 has a Negative Status Mask "
                "Statement.\n\n*ST -8*  Must be changed to its Positive mask *ST 65528*\n"),
            earlier);
        addRow("prep, default base", QStringList { "prep", "good.cmd" }, 0, QString(),
            QByteArray("1 HO\r1 STJ 0008\rGOTO 00005\rMACRO 0\r"));
        addRow("prep, base 150", QStringList { "prep", "good.cmd", "--base", "150" }, 0, QString(),
            QByteArray("1 HO\r1 STJ 0008\rGOTO 00155\rMACRO 0\r"));
        addRow("prep, base=1024", QStringList { "prep", "good.cmd", "--base=1024" }, 0, QString(),
            QByteArray("1 HO\r1 STJ 0008\rGOTO 01029\rMACRO 0\r"));
        addRow("prep, syntax", QStringList { "prep", "bad.cmd" }, 1,
            QStringLiteral("Line 2 has a Negative Status Mask Statement."), earlier);
        addRow("prep, empty", QStringList { "prep", "empty.cmd" }, 1,
            QStringLiteral("Command file is empty."), earlier);
        addRow("prep, missing", QStringList { "prep", "missing.cmd" }, 1,
            QStringLiteral("no command file \"missing.cmd\""), earlier);
        addRow("prep, undefined label", QStringList { "prep", "nolabel.cmd" }, 1,
            QStringLiteral("Line 1 jumps to label AWAY, which is defined nowhere in the file."),
            earlier);
        addRow("no file", QStringList { "check" }, 2, QString(), earlier);
        addRow("two files", QStringList { "prep", "a.cmd", "b.cmd" }, 2, QString(), earlier);
        addRow("base not a number", QStringList { "prep", "good.cmd", "--base", "x" }, 2, QString(),
            earlier);
        addRow("base negative", QStringList { "prep", "good.cmd", "--base", "-1" }, 2, QString(),
            earlier);
        addRow("base missing", QStringList { "prep", "good.cmd", "--base" }, 2, QString(), earlier);
        addRow(
            "unknown option", QStringList { "check", "good.cmd", "--fast" }, 2, QString(), earlier);
    }
    void run()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exit);
        QFETCH(QString, err);
        QFETCH(QByteArray, work);
        writeFixture(m_dir.filePath("good.cmd"), "1 HO\nLOOP:1 ST 8>LOOP\n");
        writeFixture(m_dir.filePath("bad.cmd"), "1 HO\n1 ST -8\n");
        writeFixture(m_dir.filePath("empty.cmd"), "");
        writeFixture(m_dir.filePath("nolabel.cmd"), "1 ST 8>AWAY\n");
        writeFixture(m_dir.filePath("macro.tmp"), "earlier\r");
        ProcessOptions options;
        options.environment = homeEnvironment(m_home);
        const ProcessRun r = runProcess(
            appBinary("zaziruv-cli"), QStringList { "--dir", m_dir.path() } + args, options);
        QCOMPARE(r.exitCode, exit);
        QCOMPARE(r.out, QByteArray());
        if (exit == 0)
            QCOMPARE(r.errText(), QString());
        else
            QVERIFY2(!r.errText().isEmpty() && r.errText().contains(err), qPrintable(r.errText()));
        QCOMPARE(readFileOrMissing(m_dir.filePath("macro.tmp")), work);
        QCOMPARE(readFile(m_dir.filePath("bad.cmd")), QByteArray("1 HO\n1 ST -8\n"));
    }
};

QTEST_GUILESS_MAIN(TstPrepCli)
#include "tst_prepcli.moc"
