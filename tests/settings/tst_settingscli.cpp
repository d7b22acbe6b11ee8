// zaziruv-cli settings, run as a script would run it, with HOME and the
// configuration directory inside a temporary directory.

#include "storedvalues.h"

#include "../common/datarow.h"
#include "../common/processrun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class TstSettingsCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    QString documents() const { return m_home.path() + QStringLiteral("/Documents"); }

    ProcessRun run(const QStringList& args, const QString& envSettings = {})
    {
        ProcessOptions options;
        options.environment = homeEnvironment(m_home);
        options.environment.remove("ZAZIRUV_SETTINGS");
        if (!envSettings.isEmpty())
            options.environment.insert("ZAZIRUV_SETTINGS", envSettings);
        return runProcess(appBinary("zaziruv-cli"), args, options);
    }

    QString defaultsOutput() const
    {
        return QStringLiteral("ComPort=2\nBaudRate=9600\nDecodeStatus=True\nDecimalValues=True\n"
                              "Protocol=232\nCheckSum=False\nTxDelay=1\nWorkingDir=")
            + documents() + '\n';
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_home.isValid()); }

    void firstRun()
    {
        QTemporaryDir tmp;
        const QString f = tmp.filePath("s.json");
        const ProcessRun r = run({ "--settings", f, "settings" });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.errText(), QString());
        QCOMPARE(r.outText(), defaultsOutput());
        // Stored typed, as a number, not the text "2".
        QVERIFY(storedValues(f).value("ComPort").isDouble());

        // A second run reads what the first wrote, without a question.
        const QByteArray written = readFile(f);
        const ProcessRun again = run({ "settings", "--settings", f });
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(again.errText(), QString());
        QCOMPARE(again.outText(), defaultsOutput());
        QCOMPARE(readFile(f), written);
    }

    void whereTheStoreIs()
    {
        QTemporaryDir tmp;
        const QString fromEnv = tmp.filePath("env.json");
        QCOMPARE(run({ "settings" }, fromEnv).exitCode, 0);
        QVERIFY(QFile::exists(fromEnv));

        const QString given = tmp.filePath("given.json");
        QCOMPARE(run({ "--settings", given, "settings" }, fromEnv + ".unused").exitCode, 0);
        QVERIFY(QFile::exists(given));
        QVERIFY(!QFile::exists(fromEnv + ".unused"));

        QCOMPARE(run({ "settings" }).exitCode, 0);
        QVERIFY(QFile::exists(m_home.filePath("config/Quorvanta/ZAZIRUV/settings.json")));
    }

    void setWritesTypedValues()
    {
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkdir("work"));
        const QString work = tmp.filePath("work");
        const QString f = tmp.filePath("s.json");
        const ProcessRun r = run(
            { "--settings", f, "settings", "--set", "ComPort=9", "--set=CheckSum=true", "--set",
                "ComDevice2=/dev/ttyUSB1", "--set", "WorkingDir=" + work, "--set", "TxDelay=-3" });
        QCOMPARE(r.exitCode, 0);
        // Both invalid values are reported; the store did not exist, so the values
        // went in on top of the first-run defaults rather than leaving values missing.
        QCOMPARE(r.errText(),
            QStringLiteral("ZAZIRUV: The Com Port saved in the registry is invalid.\n"
                           "ZAZIRUV: The CheckSum option saved in the registry is invalid.\n"));
        QCOMPARE(r.outText(),
            QStringLiteral("ComPort=9\nBaudRate=9600\nDecodeStatus=True\nDecimalValues=True\n"
                           "Protocol=232\nCheckSum=true\nTxDelay=-3\nWorkingDir=")
                + work + '\n');
        // Typed: numbers as JSON numbers, not as text.
        QCOMPARE(storedValues(f),
            (QJsonObject { { "ComPort", 9 }, { "BaudRate", 9600 }, { "DecodeStatus", "True" },
                { "DecimalValues", "True" }, { "Protocol", 232 }, { "CheckSum", "true" },
                { "TxDelay", -3 }, { "ComDevice2", "/dev/ttyUSB1" }, { "WorkingDir", work } }));
    }

    // The arguments after "settings", blank-separated.
    void badArguments_data()
    {
        addColumns<QString, QString>("args", "message");
        addRow("unknown setting", "--set Colour=2", "unknown setting \"Colour\"");
        addRow("ComDevice9", "--set ComDevice9=/dev/x", "unknown setting \"ComDevice9\"");
        addRow("no equals sign", "--set ComPort", "Name=Value");
        addRow("empty name", "--set =3", "Name=Value");
        addRow("number that is not", "--set BaudRate=fast", "BaudRate needs a whole number");
        addRow("number beyond 32 bits", "--set TxDelay=4294967296", "TxDelay needs a whole number");
        addRow("fraction", "--set TxDelay=2.5", "TxDelay needs a whole number");
        addRow("flag too long", "--set CheckSum=" + QString(20, 'x'), "at most 19 characters");
        addRow("path too long", "--set WorkingDir=/" + QString(255, 'x'), "at most 255 characters");
        addRow("one bad among good", "--set ComPort=3 --set Protocol=x",
            "Protocol needs a whole number");
        addRow("--set without value", "--set", "--set needs a value");
        addRow("unknown option", "--frobnicate", "unknown option --frobnicate");
        addRow("stray argument", "extra", "unexpected argument");
    }
    void badArguments()
    {
        QFETCH(QString, args);
        QFETCH(QString, message);
        QTemporaryDir tmp;
        const QString f = tmp.filePath("s.json");
        const QByteArray before = "{\"key\": \"SOFTWARE\\\\Quorvanta\\\\ZAZIRUV\\\\1.5\", "
                                  "\"values\": {\"ComPort\": 4}}";
        QVERIFY(writeFile(f, before));

        const ProcessRun r = run(QStringList { "--settings", f, "settings" } + args.split(' '));
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.errText().contains(message), qPrintable(r.errText()));
        QCOMPARE(r.outText(), QString());
        QCOMPARE(readFile(f), before);
    }

    void corruptStore()
    {
        QTemporaryDir tmp;
        const QString f = tmp.filePath("s.json");
        const QByteArray garbage = "{\"key\": [\x01\x02";
        QVERIFY(writeFile(f, garbage));

        const ProcessRun r = run({ "--settings", f, "settings" });
        QCOMPARE(r.exitCode, 0);
        QVERIFY(
            r.errText().startsWith(QStringLiteral("Registry Corrupted: A setup value is missing "
                                                  "from the registry.  Would you like the default "
                                                  "values set?\n")));
        QCOMPARE(readFile(f), garbage);

        const ProcessRun ok = run({ "--settings", f, "settings", "--answer-ok" });
        QCOMPARE(ok.exitCode, 0);
        QCOMPARE(ok.outText(), defaultsOutput());
        QCOMPARE(storedValues(f).value("ComPort").toInt(), 2);
    }

    void unwritableStore()
    {
        QTemporaryDir tmp;
        const ProcessRun r = run({ "--settings", tmp.path(), "settings" });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.errText(),
            QStringLiteral("ZAZIRUV: Unable to create registry key.  Please contact your network "
                           "administrator for Power User Privileges.\n"));
        QCOMPARE(r.outText(), defaultsOutput());

        const ProcessRun set = run({ "--settings", tmp.path(), "settings", "--set", "ComPort=3" });
        QCOMPARE(set.exitCode, 1);
        QVERIFY2(
            set.errText().contains("cannot write the settings store"), qPrintable(set.errText()));
    }
};

QTEST_GUILESS_MAIN(TstSettingsCli)
#include "tst_settingscli.moc"
