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
    int comPort = 2;            // selected OptCom1..Optcom8 (1..8)
    int baudRate = 9600;        // selected Opt9600/Opt19200/Opt38400/Opt57600
    int ChkStatus = 1;          // check boxes hold 1 or 0
    int ChkDecimal = 1;
    int ChkRS232 = 1;
    int CheckSumChk = 0;
    QString TXdelay = QStringLiteral("1");
    QString Dir1;               // the directory list's path (the working directory)
    QString Drive1;             // the drive list's choice (a file system root)
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

    // Device for port n: the stored ComDevicen string, else the platform default.
    QString comDevice(int n) const;
    // Writes ComDevicen (an empty text removes the mapping).
    void writeComDevice(int n, const QString& device);

    // The user's documents folder.
    static QString defaultWorkingDir();

    SettingsStore& store() { return m_store; }

private:
    SettingsStore& m_store;
    Prompter& m_prompter;
};
