#pragma once

// The main window's logic over a private settings store in a temporary directory,
// set to COM1 with that directory as chosenDir. The test points it at its own device
// (core->setDeviceOverride) before opening the port, or writes the store (storeText)
// and loads it.

#include "testfiles.h"

#include "core/prompter.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "sim/ptysimulator.h"
#include "terminal/terminalcore.h"

#include <QJsonDocument>
#include <QJsonObject>
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

struct CoreRig
{
    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> store;
    ScriptedPrompter prompter;
    std::unique_ptr<Settings> settings;
    SettingsInForce cfg;
    std::unique_ptr<TerminalCore> core;

    CoreRig()
    {
        store = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.json")));
        settings = std::make_unique<Settings>(*store, prompter);
        settings->record.ComPort = 1;
        cfg.chosenDir = dir.path();
        core = std::make_unique<TerminalCore>(*settings, cfg, prompter);
    }
};

// CoreRig with its port open on the simulated controller's pseudo-terminal (at the
// simulator's speed), keeping every line the controller received, in order (as it
// arrived: a line after one ended by CR LF begins with the LF).
struct SimCoreRig : CoreRig
{
    std::unique_ptr<PtySimulator> sim;
    QList<QByteArray> lines;

    explicit SimCoreRig(const SimOptions& options = {})
    {
        sim = std::make_unique<PtySimulator>(options);
        if (!sim->start())
            qFatal("simulator: %s", qPrintable(sim->errorString()));
        QObject::connect(
            sim.get(), &PtySimulator::lineReceived, [this](const QByteArray& l) { lines << l; });
        cfg.baudRate = options.baud;
        core->setDeviceOverride(sim->slavePath());
        core->openPort();
    }
    ~SimCoreRig()
    {
        // The port goes before the simulator behind it.
        core.reset();
        sim.reset();
    }

    // The controller's memory from address `from`, `count` bytes.
    QByteArray memory(int from, int count) const
    {
        return sim->controller().memory().mid(from, count);
    }
};
