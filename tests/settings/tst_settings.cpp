// The settings store and the start-up load over it, and zaziruv-cli settings run as a
// script would run it. Arbitrary file bytes are the fuzz harness's
// (fuzz/settingsstore.cpp): a rewrite reads back the same, a file that did not parse
// is kept aside byte for byte.

#include "storedvalues.h"

#include "../common/datarow.h"
#include "../common/processrun.h"

#include "settings/settings.h"
#include "settings/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// A well-formed store holding the defaults, with `changes` applied (a null value
// removes the entry).
QByteArray storeWith(const QJsonObject& changes = {})
{
    QJsonObject values { { "ComPort", 2 }, { "BaudRate", 9600 }, { "DecodeStatus", "True" },
        { "DecimalValues", "True" }, { "Protocol", 232 }, { "CheckSum", "False" },
        { "TxDelay", 1 } };
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (it.value().isNull())
            values.remove(it.key());
        else
            values.insert(it.key(), it.value());
    }
    const QJsonObject top { { "key", "SOFTWARE\\Quorvanta\\ZAZIRUV\\1.5" }, { "values", values } };
    return QJsonDocument(top).toJson(QJsonDocument::Compact);
}

QJsonObject defaultValues()
{
    return QJsonDocument::fromJson(storeWith()).object().value("values").toObject();
}

QString recordText(const SettingsRecord& r)
{
    const auto text = [](const QString& t) { return t.isEmpty() ? QStringLiteral("-") : t; };
    // Joined, not QString::arg'ed: the stored texts under test may hold "%1".
    return QStringList { QString::number(r.ComPort), QString::number(r.BaudRate),
        text(r.DecodeStatus), text(r.DecimalValues), QString::number(r.Protocol), text(r.CheckSum),
        QString::number(r.TxDelay) }
        .join(' ');
}

QString inForceText(const SettingsInForce& f)
{
    QStringList out;
    for (int n : { f.comPort, f.baudRate, f.ChkStatus, f.ChkDecimal, f.ChkRS232, f.CheckSumChk })
        out << QString::number(n);
    return out.join(' ') + ' ' + f.TXdelay;
}

const QString Defaults = QStringLiteral("2 9600 True True 232 False 1");
const QString DefaultsInForce = QStringLiteral("2 9600 1 1 1 0 1");

QString invalid(const char* what)
{
    return QStringLiteral("The %1 saved in the registry is invalid.").arg(QLatin1String(what));
}
QStringList bad(const char* what)
{
    return { invalid(what) };
}
const QStringList AllInvalid { invalid("Com Port"), invalid("Baud Rate"),
    invalid("Decode Status value"), invalid("Decimal Conversion option"), invalid("Protocol type"),
    invalid("CheckSum option") };
const QString DefaultsOutput = QStringLiteral(
    "ComPort=2\nBaudRate=9600\nDecodeStatus=True\n"
    "DecimalValues=True\nProtocol=232\nCheckSum=False\nTxDelay=1\nWorkingDir=~/Documents\n");

// A store at `path` loaded as at start-up, the corrupt-store question answered with
// `answers`.
struct Loaded
{
    SettingsStore store;
    ScriptedPrompter prompter;
    Settings settings { store, prompter };

    explicit Loaded(const QString& path, QList<PromptAnswer> answers = {})
        : store(path)
    {
        prompter.answers = answers;
        settings.ReadSettings();
        settings.ReadWorkingDir();
    }
};

} // namespace

class TstSettings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    ProcessRun run(const QStringList& args, const QString& envSettings = {})
    {
        ProcessOptions options;
        options.environment = homeEnvironment(m_home);
        options.environment.remove("ZAZIRUV_SETTINGS");
        if (!envSettings.isEmpty())
            options.environment.insert("ZAZIRUV_SETTINGS", envSettings);
        return runProcess(appBinary("zaziruv-cli"), args, options);
    }

private Q_SLOTS:
    // Start-up load over a stored file: ReadSettings, ReadWorkingDir, ReadConfigFile.
    // "answer": "" when no question is asked, else the button taken.
    // (A valid store, one that does not parse with Cancel, ComPort 9: cli and
    // cliStoreLocation.)
    void load_data()
    {
        addColumns<QByteArray, QString, QString, QString, QStringList>(
            "stored", "answer", "record", "inForce", "messages");
        const QString zero = QStringLiteral("0 0 - - 0 - 0");
        const QStringList& all = AllInvalid;
        const QString allInForce = QStringLiteral("2 9600 1 0 1 0 0");
        const QByteArray cut("{\"key\": \"SOFTWARE");
        const QStringList none;

        addRow("all other valid values",
            storeWith({ { "ComPort", 8 }, { "BaudRate", 57600 }, { "DecodeStatus", "False" },
                { "DecimalValues", "False" }, { "Protocol", 485 }, { "CheckSum", "True" },
                { "TxDelay", 250 } }),
            "", "8 57600 False False 485 True 250", "8 57600 0 0 0 1 250", none);
        addRow("JSON that does not parse, OK", cut, "OK", Defaults, DefaultsInForce, none);
        addRow("empty file", QByteArray(), "Cancel", zero, allInForce, all);
        addRow("not an object", QByteArray("[1, 2, 3]"), "Cancel", zero, allInForce, all);
        addRow("another key",
            QByteArray("{\"key\": \"SOFTWARE\\\\Other\", \"values\": {\"ComPort\": 2}}"), "Cancel",
            zero, allInForce, all);
        addRow("values not an object",
            QByteArray("{\"key\": \"SOFTWARE\\\\Quorvanta\\\\ZAZIRUV\\\\1.5\", \"values\": 3}"),
            "Cancel", zero, allInForce, all);
        addRow("number stored as a string", storeWith({ { "ComPort", "2" } }), "Cancel",
            "0 9600 True True 232 False 1", DefaultsInForce, bad("Com Port"));
        addRow("string stored as a JSON boolean", storeWith({ { "CheckSum", false } }), "Cancel",
            "2 9600 True True 232 - 1", DefaultsInForce, bad("CheckSum option"));
        addRow("string stored as a number", storeWith({ { "DecodeStatus", 1 } }), "Cancel",
            "2 9600 - True 232 False 1", DefaultsInForce, bad("Decode Status value"));
        addRow("fraction is not a 32-bit number", storeWith({ { "BaudRate", 9600.5 } }), "Cancel",
            "2 0 True True 232 False 1", DefaultsInForce, bad("Baud Rate"));
        addRow("number beyond 32 bits", storeWith({ { "TxDelay", qint64(1) << 32 } }), "Cancel",
            "2 9600 True True 232 False 0", "2 9600 1 1 1 0 0", none);
        addRow("null value", storeWith().replace("\"Protocol\":232", "\"Protocol\":null"), "Cancel",
            "2 9600 True True 0 False 1", DefaultsInForce, bad("Protocol type"));
        addRow("32-bit extremes are numbers",
            storeWith({ { "ComPort", -2147483647 - 1 }, { "TxDelay", 2147483647 } }), "",
            "-2147483648 9600 True True 232 False 2147483647", "2 9600 1 1 1 0 2147483647",
            bad("Com Port"));
        addRow("wrong type, OK sets defaults",
            storeWith({ { "ComPort", "x" }, { "DecimalValues", QJsonValue() } }), "OK", Defaults,
            DefaultsInForce, none);
        addRow("CheckSum of 19 characters reads", storeWith({ { "CheckSum", QString(19, 'T') } }),
            "", "2 9600 True True 232 " + QString(19, 'T') + " 1", DefaultsInForce,
            bad("CheckSum option"));
        addRow("CheckSum of 20 characters is missing",
            storeWith({ { "CheckSum", QString(20, 'T') } }), "Cancel", "2 9600 True True 232 - 1",
            DefaultsInForce, bad("CheckSum option"));
        addRow("lower-case true", storeWith({ { "DecodeStatus", "true" } }), "",
            "2 9600 true True 232 False 1", DefaultsInForce, bad("Decode Status value"));
        addRow("blank after True", storeWith({ { "DecimalValues", "True " } }), "",
            "2 9600 True True  232 False 1", "2 9600 1 0 1 0 1", bad("Decimal Conversion option"));
        addRow("ComPort 0", storeWith({ { "ComPort", 0 } }), "", "0 9600 True True 232 False 1",
            DefaultsInForce, bad("Com Port"));
        addRow("BaudRate 4800", storeWith({ { "BaudRate", 4800 } }), "",
            "2 4800 True True 232 False 1", DefaultsInForce, bad("Baud Rate"));
        addRow("Protocol 422", storeWith({ { "Protocol", 422 } }), "",
            "2 9600 True True 422 False 1", DefaultsInForce, bad("Protocol type"));
        addRow("TxDelay missing, Cancel", storeWith({ { "TxDelay", QJsonValue() } }), "Cancel",
            "2 9600 True True 232 False 0", "2 9600 1 1 1 0 0", none);
        addRow("TxDelay 0 is shown as 0", storeWith({ { "TxDelay", 0 } }), "",
            "2 9600 True True 232 False 0", "2 9600 1 1 1 0 0", none);
        addRow("everything invalid, messages in order",
            storeWith({ { "ComPort", 12 }, { "BaudRate", 300 }, { "DecodeStatus", "yes" },
                { "DecimalValues", "" }, { "Protocol", 0 }, { "CheckSum", "FALSE" } }),
            "", "12 300 yes - 0 FALSE 1", "2 9600 1 0 1 0 1", all);
        addRow("percent signs are plain text", storeWith({ { "CheckSum", "%1%2" } }), "",
            "2 9600 True True 232 %1%2 1", DefaultsInForce, bad("CheckSum option"));
    }
    void load()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, answer);
        QFETCH(QString, record);
        QFETCH(QString, inForce);
        QFETCH(QStringList, messages);
        QTemporaryDir tmp;
        const QString path = tmp.filePath("settings.json");
        QVERIFY(writeFile(path, stored));
        const bool ok = answer == "OK";
        Loaded l(path, { ok ? PromptAnswer::Ok : PromptAnswer::Cancel });

        QCOMPARE(l.prompter.shown.size(), answer.isEmpty() ? 0 : 1);
        if (!answer.isEmpty()) {
            const PromptMessage& q = l.prompter.shown.first();
            QCOMPARE(q.text, Settings::CorruptQuestion);
            QCOMPARE(q.title, QStringLiteral("Registry Corrupted"));
            QCOMPARE(q.icon, PromptIcon::Critical);
            QCOMPARE(q.buttons, PromptButtons::OkCancel);
            QCOMPARE(q.defaultAnswer, PromptAnswer::Cancel);
        }
        QCOMPARE(recordText(l.settings.record), record);
        QCOMPARE(l.settings.record.WorkingDir, Settings::defaultWorkingDir());

        // Each opening of the configuration window reports the same again, and the
        // record is left as it is.
        for (int opening = 0; opening < 2; ++opening) {
            l.prompter.shown.clear();
            SettingsInForce f;
            l.settings.ReadConfigFile(f);
            QCOMPARE(l.prompter.texts(), messages);
            for (const auto& m : l.prompter.shown)
                QCOMPARE(m.buttons, PromptButtons::Ok);
            QCOMPARE(inForceText(f), inForce);
            QCOMPARE(recordText(l.settings.record), record);
        }

        if (!ok) {
            QCOMPARE(readFile(path), stored);
            QVERIFY(!QFile::exists(path + ".corrupt"));
            return;
        }
        // OK replaced the store with the seven defaults; a file that did not parse is
        // kept aside.
        QCOMPARE(storedValues(path), defaultValues());
        if (QJsonDocument::fromJson(stored).isNull())
            QCOMPARE(readFile(path + ".corrupt"), stored);
    }

    // A store under a plain file: its one message at the load, and each save reports once
    // per procedure. (A store that is a directory: cli's "unwritable store", which also
    // shows the defaults loaded and the configuration window silent.)
    void unwritableStore()
    {
        QTemporaryDir tmp;
        QVERIFY(writeFile(tmp.filePath("file"), "not a directory"));
        Loaded l(tmp.filePath("file/settings.json"));
        QCOMPARE(l.prompter.texts(), QStringList { Settings::CannotCreateKey });
        QCOMPARE(l.prompter.shown.first().buttons, PromptButtons::Ok);
        QCOMPARE(recordText(l.settings.record), Defaults);
        l.settings.WriteSettings();
        l.settings.WriteWorkingDir();
        QCOMPARE(l.prompter.texts(), QStringList(3, Settings::CannotCreateKey));
        QCOMPARE(readFile(tmp.filePath("file")), QByteArray("not a directory"));
    }

    // "@" stands for the temporary directory, "#255" for a directory path of 255
    // characters there (the 256-byte buffer holds 255 and the end).
    void workingDir_data()
    {
        addColumns<QString, bool>("stored", "kept");
        addRow("existing directory", QStringLiteral("@"), true);
        addRow("directory that does not exist", QStringLiteral("@/gone"), false);
        addRow("a file, not a directory", QStringLiteral("@/plain.txt"), false);
        addRow("relative path", QStringLiteral("."), false);
        addRow("empty", QString(), false);
        addRow("embedded NUL", QString("@") + QChar(0) + "x", false);
        addRow("255 characters fit", QStringLiteral("#255"), true);
        addRow("256 characters do not", QStringLiteral("#256"), false);
    }
    void workingDir()
    {
        QFETCH(QString, stored);
        QFETCH(bool, kept);
        QTemporaryDir tmp;
        QVERIFY(writeFile(tmp.filePath("plain.txt"), "x"));
        QString dir = QString(stored).replace('@', tmp.path());
        if (stored.startsWith('#')) {
            const int length = stored.mid(1).toInt();
            dir = tmp.path() + '/' + QString(length - tmp.path().size() - 1, 'w');
            QVERIFY(length - tmp.path().size() - 1 < 255 && QDir().mkpath(dir));
        }
        const QString path = tmp.filePath("settings.json");
        const QByteArray bytes = storeWith({ { "WorkingDir", dir } });
        QVERIFY(writeFile(path, bytes));

        Loaded l(path);
        QCOMPARE(l.settings.record.WorkingDir, kept ? dir : Settings::defaultWorkingDir());
        SettingsInForce f;
        l.settings.ReadConfigFile(f);
        QVERIFY(l.prompter.shown.isEmpty()); // WorkingDir is not one of the seven
        if (kept)
            QCOMPARE(f.chosenDir, dir);
        QVERIFY(QFileInfo(f.chosenDir).isDir());
        QCOMPARE(f.chosenDrive, QStringLiteral("/"));
        QCOMPARE(readFile(path), bytes); // the stored text stays until a save
    }

    // The port mapping is optional: ComDevice4 is not a string, 0, 9 and -1 are no
    // ports. Saves keep every value they do not write, and a new run reads them back.
    void comDevicesAndOtherValues()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("settings.json");
        QJsonObject top = QJsonDocument::fromJson(
            storeWith({ { "ComDevice3", "/dev/ttyUSB0" }, { "ComDevice4", 12 },
                { "WorkingDir", tmp.path() }, { "FutureValue", 7 } }))
                              .object();
        top.insert("comment", "kept");
        QVERIFY(writeFile(path, QJsonDocument(top).toJson()));
        Loaded l(path);
        Settings& s = l.settings;
        QCOMPARE((QStringList { s.comDevice(3), s.comDevice(1), s.comDevice(4), s.comDevice(8),
                     s.comDevice(9), s.comDevice(0), s.comDevice(-1) }),
            (QStringList { "/dev/ttyUSB0", "/dev/ttyS0", "/dev/ttyS3", "/dev/ttyS7", "", "", "" }));
        SettingsInForce f;
        s.ReadConfigFile(f);
        QCOMPARE(f.comDevice[3], QStringLiteral("/dev/ttyUSB0"));
        QVERIFY(f.comDevice[1].isEmpty());
        // Setting and clearing a mapping is the configuration window's (tst_configuration);
        // a port beyond 8 is no mapping at all.
        s.writeComDevice(9, QStringLiteral("/dev/null"));
        QVERIFY(s.comDevice(9).isEmpty());

        // What the configuration window's save does.
        s.record.ComPort = 5;
        s.record.CheckSum = QStringLiteral("True");
        s.WriteSettings();
        s.WriteWorkingDir();
        QVERIFY(l.prompter.shown.isEmpty());
        QCOMPARE(QJsonDocument::fromJson(readFile(path)).object().value("comment").toString(),
            QStringLiteral("kept"));
        const QJsonObject v = storedValues(path);
        QCOMPARE(v.value("ComDevice3").toString(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(v.value("FutureValue").toInt(), 7);
        QVERIFY(!v.contains("ComDevice9"));
        Loaded again(path);
        QCOMPARE(recordText(again.settings.record), QStringLiteral("5 9600 True True 232 True 1"));
        QCOMPARE(again.settings.record.WorkingDir, tmp.path());
        QVERIFY(again.prompter.shown.isEmpty());
    }

    // The read-change-write of one store is one step under its lock file; a write
    // that the loader would refuse is not made; a killed writer's temporary goes.
    void writeIsLockedBoundedAndTidy()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("settings.json");
        QVERIFY(writeFile(path + ".Ab12Cd", "left by a killed writer"));
        QVERIFY(writeFile(path + ".notes", "the user's"));
        SettingsStore first(path);
        SettingsStore second(path);
        second.setLockWait(0);
        QVERIFY(first.beginWrite());
        QVERIFY(first.writesNewFile());
        QVERIFY(!second.beginWrite());
        QVERIFY(second.lastError().contains("being written by another program"));
        first.setNumber("ComPort", 5);
        QVERIFY(first.commit());
        // The second writer reads what the first wrote, and does not start anew.
        QVERIFY(second.beginWrite());
        QVERIFY(!second.writesNewFile());
        second.setNumber("TxDelay", 3);
        QVERIFY(second.commit());
        QCOMPARE(storedValues(path).value("ComPort").toInt(), 5);
        QCOMPARE(storedValues(path).value("TxDelay").toInt(), 3);
        QVERIFY(!QFile::exists(path + ".Ab12Cd"));
        QVERIFY(QFile::exists(path + ".notes"));

        // Just under the limit as written, past it once indented.
        const QByteArray near = storeWith(
            { { "Pad", QString(int(SettingsStore::MaxFileBytes) - 200, QLatin1Char('x')) } });
        QVERIFY(writeFile(path, near));
        QVERIFY(first.beginWrite());
        first.setString("Grow", QString(300, QLatin1Char('y')));
        QVERIFY(!first.commit());
        QVERIFY(first.lastError().contains("would be larger than 1048576 bytes"));
        QCOMPARE(readFile(path), near);
        QVERIFY(second.beginWrite()); // the lock went with the refused commit
        second.remove("Pad");
        QVERIFY(second.commit());
    }

    // zaziruv-cli settings, with HOME and the configuration directory inside a
    // temporary directory. The store is where --settings says (before or after the
    // command), else where ZAZIRUV_SETTINGS says, else in the configuration directory.
    // A first run writes the defaults, typed; a second reads them without a question
    // and leaves the file as it is.
    void cliStoreLocation()
    {
        QTemporaryDir tmp;
        const QString env = tmp.filePath("env.json");
        const QString given = tmp.filePath("given.json");
        const QString home = m_home.filePath("config/Quorvanta/ZAZIRUV/settings.json");
        // Byte for byte: readable (indented, keys in order), typed, without WorkingDir.
        const QByteArray firstRun = QJsonDocument::fromJson(storeWith()).toJson();
        for (const auto& [args, envSettings, file] :
            { std::tuple { QStringList { "settings" }, env, env },
                { QStringList { "--settings", given, "settings" }, env + ".unused", given },
                { QStringList { "settings", "--settings", given }, QString(), given },
                { QStringList { "settings" }, QString(), home } }) {
            const QByteArray before = readFile(file);
            const ProcessRun r = run(args, envSettings);
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(r.errText(), QString());
            QCOMPARE(r.outText(), QString(DefaultsOutput).replace('~', m_home.path()));
            QCOMPARE(readFile(file), before.isEmpty() ? firstRun : before);
        }
        QVERIFY(!QFile::exists(env + ".unused"));
    }

    // zaziruv-cli settings on the store given by --settings (a file in a temporary
    // directory "@"; "<directory>": that directory itself), with the arguments after
    // "settings": the exit status, standard output ("~": the temporary home), standard
    // error (whole when empty or ended by a line feed, else a part of it) and the values
    // stored afterwards (none: the file as it was).
    void cli_data()
    {
        addColumns<QByteArray, QString, int, QString, QString, QJsonObject>(
            "stored", "args", "status", "out", "err", "after");
        const QByteArray before = storeWith({ { "ComPort", 4 } });
        const QByteArray garbage = "{\"key\": [\x01\x02";
        const QByteArray dir = "<directory>";
        const QString question = "Registry Corrupted: A setup value is missing from the "
                                 "registry.  Would you like the default values set?\n";
        const QJsonObject none;
        const auto refused = [&](const char* name, const QString& args, const char* message) {
            addRow(name, before, args, 2, QString(), QString::fromUtf8(message), none);
        };
        refused("unknown setting", "--set Colour=2", "unknown setting \"Colour\"");
        refused("ComDevice9", "--set ComDevice9=/dev/x", "unknown setting \"ComDevice9\"");
        refused("no equals sign", "--set ComPort", "Name=Value");
        refused("empty name", "--set =3", "Name=Value");
        refused("number that is not", "--set BaudRate=fast", "BaudRate needs a whole number");
        refused(
            "number beyond 32 bits", "--set TxDelay=4294967296", "TxDelay needs a whole number");
        refused("fraction", "--set TxDelay=2.5", "TxDelay needs a whole number");
        refused("flag too long", "--set CheckSum=" + QString(20, 'x'), "at most 19 characters");
        refused(
            "path too long", "--set WorkingDir=/" + QString(255, 'x'), "at most 255 characters");
        refused("one bad among good", "--set ComPort=3 --set Protocol=x",
            "Protocol needs a whole number");
        refused("--set without value", "--set", "--set needs a value");
        refused("unknown option", "--frobnicate", "unknown option --frobnicate");
        refused("stray argument", "extra", "unexpected argument");
        addRow("corrupt store: the question, nothing written", garbage, QString(), 0,
            QString("ComPort=0\nBaudRate=0\nDecodeStatus=\nDecimalValues=\nProtocol=0\nCheckSum=\n"
                    "TxDelay=0\nWorkingDir=~/Documents\n"),
            question + "ZAZIRUV: " + AllInvalid.join("\nZAZIRUV: ") + '\n', none);
        addRow("corrupt store, --answer-ok", garbage, "--answer-ok", 0, DefaultsOutput, question,
            defaultValues());
        addRow("unwritable store", dir, QString(), 0, DefaultsOutput,
            QString("ZAZIRUV: Unable to create registry key.  Please contact your network "
                    "administrator for Power User Privileges.\n"),
            none);
        addRow("unwritable store, --set", dir, "--set ComPort=3", 1, QString(),
            "cannot write the settings store", none);
        // Invalid values are reported; the store did not exist, so the values go in on
        // top of the first-run defaults rather than leaving values missing. Typed:
        // numbers as JSON numbers, not as text.
        addRow("values set", QByteArray(),
            "--set ComPort=9 --set=CheckSum=true --set ComDevice2=/dev/ttyUSB1 --set "
            "WorkingDir=@/work --set TxDelay=-3",
            0,
            QString("ComPort=9\nBaudRate=9600\nDecodeStatus=True\nDecimalValues=True\n"
                    "Protocol=232\nCheckSum=true\nTxDelay=-3\nWorkingDir=@/work\n"),
            QString("ZAZIRUV: The Com Port saved in the registry is invalid.\n"
                    "ZAZIRUV: The CheckSum option saved in the registry is invalid.\n"),
            QJsonObject { { "ComPort", 9 }, { "BaudRate", 9600 }, { "DecodeStatus", "True" },
                { "DecimalValues", "True" }, { "Protocol", 232 }, { "CheckSum", "true" },
                { "TxDelay", -3 }, { "ComDevice2", "/dev/ttyUSB1" }, { "WorkingDir", "@/work" } });
    }
    void cli()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QJsonObject, after);
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkdir("work"));
        const auto here
            = [&](QString t) { return t.replace('@', tmp.path()).replace('~', m_home.path()); };
        const bool isDir = stored == "<directory>";
        const QString f = isDir ? tmp.path() : tmp.filePath("s.json");
        QVERIFY(isDir || stored.isNull() || writeFile(f, stored));
        const ProcessRun r = run(QStringList { "--settings", f, "settings" }
            + here(args).split(' ', Qt::SkipEmptyParts));
        QCOMPARE(r.exitCode, status);
        QCOMPARE(r.outText(), here(out));
        const bool whole = err.isEmpty() || err.endsWith('\n');
        QVERIFY2(
            whole ? r.errText() == here(err) : r.errText().contains(err), qPrintable(r.errText()));
        if (after.contains("WorkingDir"))
            after["WorkingDir"] = here(after["WorkingDir"].toString());
        if (!after.isEmpty())
            QCOMPARE(storedValues(f), after);
        else if (!isDir)
            QCOMPARE(readFile(f), stored);
    }
};

QTEST_GUILESS_MAIN(TstSettings)
#include "tst_settings.moc"
