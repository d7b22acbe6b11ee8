#pragma once

#include "core/prompter.h"

#include <QString>
#include <array>

class SettingsStore;

// The settings record: the eight values under the key
// "SOFTWARE\Quorvanta\ZAZIRUV\1.5", loaded once at start and rewritten when the
// configuration window is saved.
struct SettingsRecord
{
    qint32 ComPort = 0;
    qint32 BaudRate = 0;
    QString DecodeStatus;
    QString DecimalValues;
    qint32 Protocol = 0;
    QString CheckSum;
    qint32 TxDelay = 0;
    QString WorkingDir;
};

// The settings in force: what the configuration window's controls hold. Once the
// record has been copied in, every other part of the program reads these.
struct SettingsInForce
{
    int comPort = 2; // selected OptCom1..Optcom8 (1..8)
    int baudRate = 9600; // selected Opt9600/Opt19200/Opt38400/Opt57600
    int ChkStatus = 1; // check boxes hold 1 or 0
    int ChkDecimal = 1;
    int ChkRS232 = 1;
    int CheckSumChk = 0;
    QString TXdelay = QStringLiteral("1");
    QString chosenDir; // the directory list's path (the working directory)
    QString chosenDrive; // the drive list's choice (a file system root)
    // The device each of COM1..COM8 maps to (index 1..8; empty: the platform default).
    std::array<QString, 9> comDevice {};
};

// Load, validation and write procedures of the settings, on a SettingsStore.
class Settings
{
public:
    Settings(SettingsStore& store, Prompter& prompter);

    SettingsRecord record;

    void ReadSettings();
    void ReadWorkingDir();
    void WriteSettings();
    void WriteWorkingDir();

    // Copies the record into the settings in force, showing one message for each
    // invalid value, in the order ComPort, BaudRate, DecodeStatus, DecimalValues,
    // Protocol, CheckSum. Also loads the ComDevicen mapping.
    void ReadConfigFile(SettingsInForce& inForce);

    // Device for port n: the stored ComDevicen string, else the platform default;
    // empty for a port number outside 1..8, so that opening it fails.
    QString comDevice(int n) const;
    // Writes ComDevicen (an empty text removes the mapping); n outside 1..8 is ignored.
    void writeComDevice(int n, const QString& device);

    // The user's documents folder, with the platform's separators.
    static QString defaultWorkingDir();
    // The file system root a path lies on: "/" on Unix, the drive ("C:") on Windows.
    static QString driveOf(const QString& path);

    // Puts the seven device values of a record into a write begun on the store.
    static void putDeviceSettings(SettingsStore& store, const SettingsRecord& record);
    // The defaults of the seven device settings (WorkingDir is left alone).
    void setDefaults();

    static inline const QString CorruptQuestion = QStringLiteral(
        "A setup value is missing from the registry.  Would you like the default values set?");
    static inline const QString CorruptTitle = QStringLiteral("Registry Corrupted");
    static inline const QString CannotCreateKey = QStringLiteral(
        "Unable to create registry key.  Please contact your network administrator for Power "
        "User Privileges.");

    // Buffer sizes of the string values, terminating NUL included.
    static constexpr int FlagBufferBytes = 20;
    static constexpr int PathBufferBytes = 256;

    SettingsStore& store() { return m_store; }

private:
    void loadComDevices();

    SettingsStore& m_store;
    Prompter& m_prompter;
    // ComDevice1..ComDevice8 as stored (index 0 unused; empty: not mapped).
    std::array<QString, 9> m_comDevice {};
};
