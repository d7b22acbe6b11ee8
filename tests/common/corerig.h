#pragma once

// The main window's logic over a private settings store in a temporary directory,
// set to COM1 with that directory as Dir1. The test points it at its own device
// (core->overrideDevice) before opening the port; SimCoreRig opens it on the
// simulated controller.

#include "core/prompter.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "sim/ptysimulator.h"
#include "terminal/terminalcore.h"

#include <QTemporaryDir>
#include <memory>

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
        cfg.Dir1 = dir.path();
        core = std::make_unique<TerminalCore>(*settings, cfg, prompter);
    }
    CoreRig(const CoreRig&) = delete;
    CoreRig& operator=(const CoreRig&) = delete;
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
        core->overrideDevice = sim->slavePath();
        core->Openport();
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
