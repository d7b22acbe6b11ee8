#include "settings.h"

#include "link/seriallink.h"
#include "settingsstore.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString True = QStringLiteral("True");
const QString False = QStringLiteral("False");

QString comDeviceName(int n)
{
    return QStringLiteral("ComDevice%1").arg(n);
}

// A working directory the program can list: absolute and existing.
bool usableDir(const QString& path)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return false;
    const QFileInfo info(path);
    return info.isAbsolute() && info.isDir();
}

} // namespace

Settings::Settings(SettingsStore& store, Prompter& prompter)
    : m_store(store)
    , m_prompter(prompter)
{
}

void Settings::setDefaults()
{
    record.ComPort = 2;
    record.BaudRate = 9600;
    record.DecodeStatus = True;
    record.DecimalValues = True;
    record.Protocol = 232;
    record.CheckSum = False;
    record.TxDelay = 1;
}

QString Settings::defaultWorkingDir()
{
    return QDir::toNativeSeparators(
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

QString Settings::driveOf(const QString& path)
{
#ifdef Q_OS_WIN
    if (path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter())
        return path.left(2);
    return QDir::toNativeSeparators(QDir::rootPath());
#else
    Q_UNUSED(path);
    return QStringLiteral("/");
#endif
}

void Settings::ReadSettings()
{
    if (!m_store.openForRead()) {
        // First run (or a store that is not there): defaults, written without a question.
        setDefaults();
        WriteSettings();
        return;
    }

    bool incomplete = false;
    // A number whose read fails keeps its previous value; a string becomes empty,
    // which is neither "True" nor "False" and is reported by ReadConfigFile.
    const auto number = [&](const char* name, qint32& into) {
        if (const auto v = m_store.readNumber(QLatin1String(name)))
            into = *v;
        else
            incomplete = true;
    };
    const auto flag = [&](const char* name, QString& into) {
        if (const auto v = m_store.readString(QLatin1String(name), FlagBufferBytes)) {
            into = *v;
        } else {
            into.clear();
            incomplete = true;
        }
    };
    number("ComPort", record.ComPort);
    number("BaudRate", record.BaudRate);
    flag("DecodeStatus", record.DecodeStatus);
    flag("DecimalValues", record.DecimalValues);
    number("Protocol", record.Protocol);
    flag("CheckSum", record.CheckSum);
    number("TxDelay", record.TxDelay);
    loadComDevices();

    if (incomplete) {
        const PromptAnswer answer = m_prompter.ask(CorruptQuestion, PromptButtons::OkCancel,
            PromptIcon::Critical, PromptAnswer::Cancel, CorruptTitle);
        if (answer == PromptAnswer::Ok) {
            setDefaults();
            WriteSettings();
        }
    }
}

void Settings::loadComDevices()
{
    // The mapping is optional: a missing or unreadable value means the platform default.
    for (int n = 1; n <= 8; ++n)
        m_comDevice[n] = m_store.readString(comDeviceName(n), PathBufferBytes).value_or(QString());
}

void Settings::ReadWorkingDir()
{
    record.WorkingDir = defaultWorkingDir();
    if (!m_store.openForRead())
        return;
    // A stored directory that is gone (or was never one) leaves the default in force;
    // the stored text stays until the configuration is saved.
    if (const auto v = m_store.readString(QStringLiteral("WorkingDir"), PathBufferBytes);
        v && usableDir(*v))
        record.WorkingDir = *v;
}

void Settings::putDeviceSettings(SettingsStore& store, const SettingsRecord& r)
{
    store.setNumber(QStringLiteral("ComPort"), r.ComPort);
    store.setNumber(QStringLiteral("BaudRate"), r.BaudRate);
    store.setString(QStringLiteral("DecodeStatus"), r.DecodeStatus);
    store.setString(QStringLiteral("DecimalValues"), r.DecimalValues);
    store.setNumber(QStringLiteral("Protocol"), r.Protocol);
    store.setString(QStringLiteral("CheckSum"), r.CheckSum);
    store.setNumber(QStringLiteral("TxDelay"), r.TxDelay);
}

void Settings::WriteSettings()
{
    if (!m_store.beginWrite()) {
        m_prompter.message(CannotCreateKey);
        return;
    }
    putDeviceSettings(m_store, record);
    if (!m_store.commit())
        m_prompter.message(CannotCreateKey);
}

void Settings::WriteWorkingDir()
{
    if (!m_store.beginWrite()) {
        m_prompter.message(CannotCreateKey);
        return;
    }
    m_store.setString(QStringLiteral("WorkingDir"), record.WorkingDir);
    if (!m_store.commit())
        m_prompter.message(CannotCreateKey);
}

void Settings::ReadConfigFile(SettingsInForce& inForce)
{
    // The directory list needs a directory that exists, even if the documents folder
    // has never been created.
    QString dir = record.WorkingDir;
    if (!usableDir(dir))
        dir = defaultWorkingDir();
    if (!usableDir(dir))
        dir = QDir::toNativeSeparators(QDir::homePath());
    if (!usableDir(dir))
        dir = QDir::toNativeSeparators(QDir::rootPath());
    inForce.chosenDir = dir;
    inForce.chosenDrive = driveOf(dir);

    if (record.ComPort >= 1 && record.ComPort <= 8) {
        inForce.comPort = record.ComPort;
    } else {
        m_prompter.message(QStringLiteral("The Com Port saved in the registry is invalid."));
        inForce.comPort = 2;
    }

    switch (record.BaudRate) {
    case 9600:
    case 19200:
    case 38400:
    case 57600:
        inForce.baudRate = record.BaudRate;
        break;
    default:
        m_prompter.message(QStringLiteral("The Baud Rate saved in the registry is invalid."));
        inForce.baudRate = 9600;
    }

    if (record.DecodeStatus == True) {
        inForce.ChkStatus = 1;
    } else if (record.DecodeStatus == False) {
        inForce.ChkStatus = 0;
    } else {
        m_prompter.message(
            QStringLiteral("The Decode Status value saved in the registry is invalid."));
        inForce.ChkStatus = 1;
    }

    if (record.DecimalValues == True) {
        inForce.ChkDecimal = 1;
    } else if (record.DecimalValues == False) {
        inForce.ChkDecimal = 0;
    } else {
        m_prompter.message(
            QStringLiteral("The Decimal Conversion option saved in the registry is invalid."));
        inForce.ChkDecimal = 0;
    }

    if (record.Protocol == 232) {
        inForce.ChkRS232 = 1;
    } else if (record.Protocol == 485) {
        inForce.ChkRS232 = 0;
    } else {
        m_prompter.message(QStringLiteral("The Protocol type saved in the registry is invalid."));
        inForce.ChkRS232 = 1;
    }

    if (record.CheckSum == True) {
        inForce.CheckSumChk = 1;
    } else if (record.CheckSum == False) {
        inForce.CheckSumChk = 0;
    } else {
        m_prompter.message(QStringLiteral("The CheckSum option saved in the registry is invalid."));
        inForce.CheckSumChk = 0;
    }

    inForce.TXdelay = QString::number(record.TxDelay);

    for (int n = 1; n <= 8; ++n)
        inForce.comDevice[n] = m_comDevice[n];
}

QString Settings::comDevice(int n) const
{
    if (n < 1 || n > 8)
        return {};
    return m_comDevice[n].isEmpty() ? SerialLink::defaultDevice(n) : m_comDevice[n];
}

void Settings::writeComDevice(int n, const QString& device)
{
    if (n < 1 || n > 8)
        return;
    m_comDevice[n] = device;
    if (!m_store.beginWrite()) {
        m_prompter.message(CannotCreateKey);
        return;
    }
    if (device.isEmpty())
        m_store.remove(comDeviceName(n));
    else
        m_store.setString(comDeviceName(n), device);
    if (!m_store.commit())
        m_prompter.message(CannotCreateKey);
}
