#pragma once

// The configuration window's logic over a private settings store, with helpers to
// run the simulated controller as a separate process.

#include "../settings/storedvalues.h"

#include "core/prompter.h"
#include "config/portprobe.h"
#include "config/configuration.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "terminal/terminalcore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <array>
#include <memory>

// Devices that are never there: every port not given a device gets one of these, so
// no test opens a real serial port.
inline QString missingDevice(int n)
{
    return QStringLiteral("/nonexistent/ttyX%1").arg(n);
}

// A settings store holding the defaults, ComPort, and a device for each of COM1..COM8.
inline QByteArray storeText(const std::array<QString, 9>& devices, int comPort = 2,
    const QString& workingDir = {}, const QJsonObject& extra = {})
{
    QJsonObject values { { "ComPort", comPort }, { "BaudRate", 9600 }, { "DecodeStatus", "True" },
        { "DecimalValues", "True" }, { "Protocol", 232 }, { "CheckSum", "True" },
        { "TxDelay", 1 } };
    for (int n = 1; n <= 8; ++n)
        values.insert(QStringLiteral("ComDevice%1").arg(n),
            devices[size_t(n)].isEmpty() ? missingDevice(n) : devices[size_t(n)]);
    if (!workingDir.isEmpty())
        values.insert("WorkingDir", workingDir);
    for (auto it = extra.begin(); it != extra.end(); ++it)
        values.insert(it.key(), it.value());
    return QJsonDocument(QJsonObject { { "key", SettingsStore::KeyPath }, { "values", values } })
        .toJson();
}

// zaziruv-sim in its own process: the device to open is the first line it prints.
class SimProcess
{
public:
    explicit SimProcess(const QStringList& args = {})
    {
        m_process.setProgram(QStringLiteral(ZZ_BINARY_DIR "/src/app/zaziruv-sim"));
        m_process.setArguments(args);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return;
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(10000);
        m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~SimProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(10000))
                m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    QString path() const { return m_path; }
    bool isValid() const { return !m_path.isEmpty(); }

private:
    QProcess m_process;
    QString m_path;
};

// The main window's logic and the configuration window's, loaded from a store with
// the given port mapping.
class ConfigRig
{
public:
    explicit ConfigRig(
        const std::array<QString, 9>& devices, int comPort = 2, const QJsonObject& extra = {})
        : storePath(dir.filePath(QStringLiteral("settings.json")))
        , store(storePath)
        , settings(store, prompter)
    {
        workDir = dir.filePath(QStringLiteral("work"));
        QDir().mkpath(workDir);
        writeFile(storePath, storeText(devices, comPort, workDir, extra));
        core = std::make_unique<TerminalCore>(settings, cfg, prompter);
        probe = std::make_unique<PortProbe>(*core, prompter);
        config = std::make_unique<ConfigurationCore>(*core, *probe);
        core->load();
    }
    ~ConfigRig()
    {
        config.reset();
        probe.reset();
        core.reset();
    }

    QJsonObject stored() const { return storedValues(storePath); }

    QTemporaryDir dir;
    QString storePath;
    QString workDir;
    ScriptedPrompter prompter;
    SettingsStore store;
    Settings settings;
    SettingsInForce cfg;
    std::unique_ptr<TerminalCore> core;
    std::unique_ptr<PortProbe> probe;
    std::unique_ptr<ConfigurationCore> config;
};
