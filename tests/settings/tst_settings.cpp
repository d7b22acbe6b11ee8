#include "storedvalues.h"

#include "settings/settings.h"
#include "settings/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Question = Settings::CorruptQuestion;
const QString CannotCreate = Settings::CannotCreateKey;
const QString BadCom = QStringLiteral("The Com Port saved in the registry is invalid.");
const QString BadBaud = QStringLiteral("The Baud Rate saved in the registry is invalid.");
const QString BadDecode
    = QStringLiteral("The Decode Status value saved in the registry is invalid.");
const QString BadDecimal
    = QStringLiteral("The Decimal Conversion option saved in the registry is invalid.");
const QString BadProtocol = QStringLiteral("The Protocol type saved in the registry is invalid.");
const QString BadCheckSum = QStringLiteral("The CheckSum option saved in the registry is invalid.");

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
    const QJsonObject top { { "key", SettingsStore::KeyPath }, { "values", values } };
    return QJsonDocument(top).toJson(QJsonDocument::Compact);
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
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
        .arg(f.comPort)
        .arg(f.baudRate)
        .arg(f.ChkStatus)
        .arg(f.ChkDecimal)
        .arg(f.ChkRS232)
        .arg(f.CheckSumChk)
        .arg(f.TXdelay);
}

const QString Defaults = QStringLiteral("2 9600 True True 232 False 1");
const QString DefaultsInForce = QStringLiteral("2 9600 1 1 1 0 1");

} // namespace

class TstSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstRunWritesDefaultsWithoutWorkingDir()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("sub/dir/settings.json");
        SettingsStore store(path);
        ScriptedPrompter prompter;
        Settings settings(store, prompter);
        settings.ReadSettings();
        settings.ReadWorkingDir();
        QVERIFY(prompter.shown.isEmpty());
        QCOMPARE(recordText(settings.record), Defaults);
        QCOMPARE(settings.record.WorkingDir, Settings::defaultWorkingDir());
        // The file, byte for byte: readable, typed, and without WorkingDir.
        QCOMPARE(readFile(path),
            QByteArray("{\n"
                       "    \"key\": \"SOFTWARE\\\\Quorvanta\\\\ZAZIRUV\\\\1.5\",\n"
                       "    \"values\": {\n"
                       "        \"BaudRate\": 9600,\n"
                       "        \"CheckSum\": \"False\",\n"
                       "        \"ComPort\": 2,\n"
                       "        \"DecimalValues\": \"True\",\n"
                       "        \"DecodeStatus\": \"True\",\n"
                       "        \"Protocol\": 232,\n"
                       "        \"TxDelay\": 1\n"
                       "    }\n"
                       "}\n"));
    }

    // Start-up load over a stored file: ReadSettings, ReadWorkingDir, ReadConfigFile.
    void load_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("answerOk");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("inForce");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("unchanged");

        const QString zero = QStringLiteral("0 0 - - 0 - 0");
        const QStringList all { BadCom, BadBaud, BadDecode, BadDecimal, BadProtocol, BadCheckSum };
        const QString allInForce = QStringLiteral("2 9600 1 0 1 0 0");

        QTest::newRow("valid store") << storeWith() << false << false << Defaults << DefaultsInForce
                                     << QStringList {} << true;
        QTest::newRow("all other valid values")
            << storeWith({ { "ComPort", 8 }, { "BaudRate", 57600 }, { "DecodeStatus", "False" },
                   { "DecimalValues", "False" }, { "Protocol", 485 }, { "CheckSum", "True" },
                   { "TxDelay", 250 } })
            << false << false << "8 57600 False False 485 True 250"
            << "8 57600 0 0 0 1 250" << QStringList {} << true;

        QTest::newRow("JSON that does not parse, Cancel")
            << QByteArray("{\"key\": \"SOFTWARE") << false << true << zero << allInForce << all
            << true;
        QTest::newRow("JSON that does not parse, OK")
            << QByteArray("{\"key\": \"SOFTWARE") << true << true << Defaults << DefaultsInForce
            << QStringList {} << false;
        QTest::newRow("empty file")
            << QByteArray() << false << true << zero << allInForce << all << true;
        QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe{\x01", 5) << false << true
                                        << zero << allInForce << all << true;
        QTest::newRow("not an object")
            << QByteArray("[1, 2, 3]") << false << true << zero << allInForce << all << true;
        QTest::newRow("another key")
            << QByteArray("{\"key\": \"SOFTWARE\\\\Other\", \"values\": {\"ComPort\": 2}}") << false
            << true << zero << allInForce << all << true;
        QTest::newRow("values not an object")
            << QByteArray("{\"key\": \"SOFTWARE\\\\Quorvanta\\\\ZAZIRUV\\\\1.5\", \"values\": 3}")
            << false << true << zero << allInForce << all << true;

        QTest::newRow("number stored as a string")
            << storeWith({ { "ComPort", "2" } }) << false << true << "0 9600 True True 232 False 1"
            << "2 9600 1 1 1 0 1" << QStringList { BadCom } << true;
        QTest::newRow("string stored as a JSON boolean")
            << storeWith({ { "CheckSum", false } }) << false << true << "2 9600 True True 232 - 1"
            << DefaultsInForce << QStringList { BadCheckSum } << true;
        QTest::newRow("string stored as a number")
            << storeWith({ { "DecodeStatus", 1 } }) << false << true << "2 9600 - True 232 False 1"
            << DefaultsInForce << QStringList { BadDecode } << true;
        QTest::newRow("fraction is not a 32-bit number")
            << storeWith({ { "BaudRate", 9600.5 } }) << false << true << "2 0 True True 232 False 1"
            << DefaultsInForce << QStringList { BadBaud } << true;
        QTest::newRow("number beyond 32 bits") << storeWith({ { "TxDelay", qint64(1) << 32 } })
                                               << false << true << "2 9600 True True 232 False 0"
                                               << "2 9600 1 1 1 0 0" << QStringList {} << true;
        QTest::newRow("null value") << storeWith().replace("\"Protocol\":232", "\"Protocol\":null")
                                    << false << true << "2 9600 True True 0 False 1"
                                    << DefaultsInForce << QStringList { BadProtocol } << true;
        QTest::newRow("32-bit extremes are numbers")
            << storeWith({ { "ComPort", -2147483647 - 1 }, { "TxDelay", 2147483647 } }) << false
            << false << "-2147483648 9600 True True 232 False 2147483647"
            << "2 9600 1 1 1 0 2147483647" << QStringList { BadCom } << true;
        QTest::newRow("wrong type, OK sets defaults")
            << storeWith({ { "ComPort", "x" }, { "DecimalValues", QJsonValue() } }) << true << true
            << Defaults << DefaultsInForce << QStringList {} << false;

        QTest::newRow("CheckSum of 19 characters reads")
            << storeWith({ { "CheckSum", QString(19, 'T') } }) << false << false
            << "2 9600 True True 232 " + QString(19, 'T') + " 1" << DefaultsInForce
            << QStringList { BadCheckSum } << true;
        QTest::newRow("CheckSum of 20 characters is missing")
            << storeWith({ { "CheckSum", QString(20, 'T') } }) << false << true
            << "2 9600 True True 232 - 1" << DefaultsInForce << QStringList { BadCheckSum } << true;

        QTest::newRow("lower-case true") << storeWith({ { "DecodeStatus", "true" } }) << false
                                         << false << "2 9600 true True 232 False 1"
                                         << DefaultsInForce << QStringList { BadDecode } << true;
        QTest::newRow("blank after True")
            << storeWith({ { "DecimalValues", "True " } }) << false << false
            << "2 9600 True True  232 False 1"
            << "2 9600 1 0 1 0 1" << QStringList { BadDecimal } << true;
        QTest::newRow("ComPort 9")
            << storeWith({ { "ComPort", 9 } }) << false << false << "9 9600 True True 232 False 1"
            << DefaultsInForce << QStringList { BadCom } << true;
        QTest::newRow("ComPort 0")
            << storeWith({ { "ComPort", 0 } }) << false << false << "0 9600 True True 232 False 1"
            << DefaultsInForce << QStringList { BadCom } << true;
        QTest::newRow("BaudRate 4800")
            << storeWith({ { "BaudRate", 4800 } }) << false << false
            << "2 4800 True True 232 False 1" << DefaultsInForce << QStringList { BadBaud } << true;
        QTest::newRow("Protocol 422") << storeWith({ { "Protocol", 422 } }) << false << false
                                      << "2 9600 True True 422 False 1" << DefaultsInForce
                                      << QStringList { BadProtocol } << true;
        QTest::newRow("TxDelay missing, Cancel") << storeWith({ { "TxDelay", QJsonValue() } })
                                                 << false << true << "2 9600 True True 232 False 0"
                                                 << "2 9600 1 1 1 0 0" << QStringList {} << true;
        QTest::newRow("TxDelay 0 is shown as 0")
            << storeWith({ { "TxDelay", 0 } }) << false << false << "2 9600 True True 232 False 0"
            << "2 9600 1 1 1 0 0" << QStringList {} << true;
        QTest::newRow("everything invalid, messages in order")
            << storeWith({ { "ComPort", 12 }, { "BaudRate", 300 }, { "DecodeStatus", "yes" },
                   { "DecimalValues", "" }, { "Protocol", 0 }, { "CheckSum", "FALSE" } })
            << false << false << "12 300 yes - 0 FALSE 1"
            << "2 9600 1 0 1 0 1" << all << true;
        QTest::newRow("percent signs are plain text")
            << storeWith({ { "CheckSum", "%1%2" } }) << false << false
            << "2 9600 True True 232 %1%2 1" << DefaultsInForce << QStringList { BadCheckSum }
            << true;
    }
    void load()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, answerOk);
        QFETCH(bool, asked);
        QFETCH(QString, record);
        QFETCH(QString, inForce);
        QFETCH(QStringList, messages);
        QFETCH(bool, unchanged);

        QTemporaryDir tmp;
        const QString path = tmp.filePath("settings.json");
        QVERIFY(writeFile(path, stored));

        SettingsStore store(path);
        ScriptedPrompter prompter;
        if (answerOk)
            prompter.answers.append(PromptAnswer::Ok);
        Settings settings(store, prompter);
        settings.ReadSettings();
        settings.ReadWorkingDir();

        QCOMPARE(prompter.shown.size(), asked ? 1 : 0);
        if (asked) {
            const PromptMessage& q = prompter.shown.first();
            QCOMPARE(q.text, Question);
            QCOMPARE(q.title, QStringLiteral("Registry Corrupted"));
            QCOMPARE(q.icon, PromptIcon::Critical);
            QCOMPARE(q.buttons, PromptButtons::OkCancel);
            QCOMPARE(q.defaultAnswer, PromptAnswer::Cancel);
        }
        QCOMPARE(recordText(settings.record), record);
        QCOMPARE(settings.record.WorkingDir, Settings::defaultWorkingDir());

        prompter.shown.clear();
        SettingsInForce f;
        settings.ReadConfigFile(f);
        QCOMPARE(prompter.texts(), messages);
        for (const auto& m : prompter.shown)
            QCOMPARE(m.buttons, PromptButtons::Ok);
        QCOMPARE(inForceText(f), inForce);

        // Each opening of the configuration window reports the same again, and the
        // record is left as it is.
        prompter.shown.clear();
        settings.ReadConfigFile(f);
        QCOMPARE(prompter.texts(), messages);
        QCOMPARE(recordText(settings.record), record);

        if (unchanged) {
            QCOMPARE(readFile(path), stored);
            QVERIFY(!QFile::exists(path + ".corrupt"));
        } else {
            const QJsonObject v = storedValues(path);
            QCOMPARE(v.value("ComPort").toInt(), 2);
            QCOMPARE(v.value("TxDelay").toInt(), 1);
            QCOMPARE(v.value("CheckSum").toString(), QStringLiteral("False"));
        }
    }

    void corruptFileReplacedOnOkIsKeptAside()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("settings.json");
        const QByteArray garbage("{\"values\": {\"WorkingDir\": \"/somewhere\"");
        QVERIFY(writeFile(path, garbage));
        SettingsStore store(path);
        ScriptedPrompter prompter;
        prompter.answers.append(PromptAnswer::Ok);
        Settings settings(store, prompter);
        settings.ReadSettings();
        QCOMPARE(readFile(path + ".corrupt"), garbage);
        QCOMPARE(storedValues(path).size(), 7);
    }

    void unwritableStore_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("path is a directory") << "dir";
        QTest::newRow("parent is a file") << "file/settings.json";
    }
    void unwritableStore()
    {
        QFETCH(QString, where);
        QTemporaryDir tmp;
        QVERIFY(QDir(tmp.path()).mkdir("dir"));
        QVERIFY(writeFile(tmp.filePath("file"), "not a directory"));
        const QString path = tmp.filePath(where);

        SettingsStore store(path);
        ScriptedPrompter prompter;
        Settings settings(store, prompter);
        settings.ReadSettings();
        settings.ReadWorkingDir();
        QCOMPARE(prompter.texts(), QStringList { CannotCreate });
        QCOMPARE(prompter.shown.first().buttons, PromptButtons::Ok);
        QCOMPARE(recordText(settings.record), Defaults);
        QCOMPARE(settings.record.WorkingDir, Settings::defaultWorkingDir());

        prompter.shown.clear();
        SettingsInForce f;
        settings.ReadConfigFile(f);
        QVERIFY(prompter.shown.isEmpty());
        QCOMPARE(inForceText(f), DefaultsInForce);

        // Saving the configuration later reports once per procedure.
        settings.WriteSettings();
        settings.WriteWorkingDir();
        QCOMPARE(prompter.texts(), (QStringList { CannotCreate, CannotCreate }));
        QCOMPARE(readFile(tmp.filePath("file")), QByteArray("not a directory"));
    }

    void workingDir_data()
    {
        QTest::addColumn<QString>("stored"); // "@" stands for the temporary directory
        QTest::addColumn<bool>("kept");
        QTest::newRow("existing directory") << "@" << true;
        QTest::newRow("directory that does not exist") << "@/gone" << false;
        QTest::newRow("a file, not a directory") << "@/plain.txt" << false;
        QTest::newRow("relative path") << "." << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("embedded NUL") << QString("@") + QChar(0) + "x" << false;
    }
    void workingDir()
    {
        QFETCH(QString, stored);
        QFETCH(bool, kept);
        QTemporaryDir tmp;
        QVERIFY(writeFile(tmp.filePath("plain.txt"), "x"));
        const QString dir = QString(stored).replace('@', tmp.path());
        const QString path = tmp.filePath("settings.json");
        const QByteArray bytes = storeWith({ { "WorkingDir", dir } });
        QVERIFY(writeFile(path, bytes));

        SettingsStore store(path);
        ScriptedPrompter prompter;
        Settings settings(store, prompter);
        settings.ReadSettings();
        settings.ReadWorkingDir();
        QCOMPARE(settings.record.WorkingDir, kept ? dir : Settings::defaultWorkingDir());
        SettingsInForce f;
        settings.ReadConfigFile(f);
        QVERIFY(prompter.shown.isEmpty());
        if (kept)
            QCOMPARE(f.Dir1, dir);
        QVERIFY(QFileInfo(f.Dir1).isDir());
        QCOMPARE(f.Drive1, QStringLiteral("/"));
        QCOMPARE(readFile(path), bytes); // the stored text stays until a save
    }

    void workingDirBufferOf256Bytes_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("kept");
        QTest::newRow("255 characters fit") << 255 << true;
        QTest::newRow("256 characters do not") << 256 << false;
    }
    void workingDirBufferOf256Bytes()
    {
        QFETCH(int, length);
        QFETCH(bool, kept);
        QTemporaryDir tmp;
        const QString base = tmp.path() + '/';
        QVERIFY(length - base.size() < 255);
        const QString dir = base + QString(length - base.size(), 'w');
        QCOMPARE(dir.size(), length);
        QVERIFY(QDir().mkpath(dir));
        const QString path = tmp.filePath("settings.json");
        QVERIFY(writeFile(path, storeWith({ { "WorkingDir", dir } })));

        SettingsStore store(path);
        ScriptedPrompter prompter;
        Settings settings(store, prompter);
        settings.ReadSettings();
        settings.ReadWorkingDir();
        QVERIFY(prompter.shown.isEmpty()); // WorkingDir is not one of the seven
        QCOMPARE(settings.record.WorkingDir, kept ? dir : Settings::defaultWorkingDir());
    }

    void writesKeepOtherValues()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("settings.json");
        QJsonObject top = QJsonDocument::fromJson(
            storeWith({ { "ComDevice3", "/dev/ttyUSB0" }, { "WorkingDir", tmp.path() },
                { "FutureValue",
                    7 } })).object();
        top.insert("comment", "kept");
        QVERIFY(writeFile(path, QJsonDocument(top).toJson()));

        SettingsStore store(path);
        ScriptedPrompter prompter;
        Settings settings(store, prompter);
        settings.ReadSettings();
        settings.ReadWorkingDir();
        // What the configuration window's save does.
        settings.record.ComPort = 5;
        settings.record.CheckSum = QStringLiteral("True");
        settings.WriteSettings();
        settings.WriteWorkingDir();
        QVERIFY(prompter.shown.isEmpty());

        const QJsonObject after = QJsonDocument::fromJson(readFile(path)).object();
        QCOMPARE(after.value("comment").toString(), QStringLiteral("kept"));
        const QJsonObject v = after.value("values").toObject();
        QCOMPARE(v.value("ComPort").toInt(), 5);
        QCOMPARE(v.value("CheckSum").toString(), QStringLiteral("True"));
        QCOMPARE(v.value("ComDevice3").toString(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(v.value("WorkingDir").toString(), tmp.path());
        QCOMPARE(v.value("FutureValue").toInt(), 7);

        // And a new run reads back what was saved.
        Settings again(store, prompter);
        again.ReadSettings();
        again.ReadWorkingDir();
        QCOMPARE(recordText(again.record), QStringLiteral("5 9600 True True 232 True 1"));
        QCOMPARE(again.record.WorkingDir, tmp.path());
        QVERIFY(prompter.shown.isEmpty());
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

    void comDevices()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath("settings.json");
        QVERIFY(
            writeFile(path, storeWith({ { "ComDevice3", "/dev/ttyUSB0" }, { "ComDevice4", 12 } })));
        SettingsStore store(path);
        ScriptedPrompter prompter;
        Settings settings(store, prompter);
        settings.ReadSettings();
        QVERIFY(prompter.shown.isEmpty()); // the mapping is optional
        QCOMPARE(settings.comDevice(3), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(settings.comDevice(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(settings.comDevice(4), QStringLiteral("/dev/ttyS3")); // not a string
        QCOMPARE(settings.comDevice(8), QStringLiteral("/dev/ttyS7"));
        QVERIFY(settings.comDevice(9).isEmpty());
        QVERIFY(settings.comDevice(0).isEmpty());
        QVERIFY(settings.comDevice(-1).isEmpty());

        SettingsInForce f;
        settings.ReadConfigFile(f);
        QCOMPARE(f.comDevice[3], QStringLiteral("/dev/ttyUSB0"));
        QVERIFY(f.comDevice[1].isEmpty());

        settings.writeComDevice(5, QStringLiteral("/dev/ttyACM0"));
        settings.writeComDevice(3, QString());
        settings.writeComDevice(9, QStringLiteral("/dev/null")); // ignored
        QCOMPARE(settings.comDevice(5), QStringLiteral("/dev/ttyACM0"));
        QCOMPARE(settings.comDevice(3), QStringLiteral("/dev/ttyS2"));
        const QJsonObject v = storedValues(path);
        QCOMPARE(v.value("ComDevice5").toString(), QStringLiteral("/dev/ttyACM0"));
        QVERIFY(!v.contains("ComDevice3"));
        QVERIFY(!v.contains("ComDevice9"));
        QCOMPARE(v.value("ComPort").toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(TstSettings)
#include "tst_settings.moc"
