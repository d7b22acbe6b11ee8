#pragma once

// The main window's logic over a private settings store in a temporary directory,
// set to COM1 with that directory as Dir1. The test points it at its own device
// (core->overrideDevice) before opening the port.

#include "core/prompter.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
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
