#pragma once

#include "core/prompter.h"

#include <QString>
#include <QStringList>
#include <memory>

class SettingsStore;
class Settings;

// What every zaziruv-cli command gets: the options common to all commands, a
// headless prompter, and the settings store in force for this run.
class CliContext
{
public:
    CliContext();
    ~CliContext();

    // Common options (removed from the arguments before the command sees them).
    QString settingsPath; // --settings FILE, else ZAZIRUV_SETTINGS, else the user's store
    QString port;         // --port DEV: device for this run
    int baud = 0;         // --baud N: speed for this run (0: the settings')
    bool trace = false;   // --trace: every byte on stderr
    bool simulate = false; // --simulate: the built-in controller on a pty
    QStringList simArgs;  // --sim-option OPT (repeatable): options for that simulator
    QString dir;          // --dir DIR: working directory for this run
    int timeoutMs = 2000; // --timeout MS

    HeadlessPrompter prompter;

    SettingsStore& store();
    // The settings with the start-up load already done (ReadSettings, ReadWorkingDir).
    Settings& settings();

    // Prints "zaziruv-cli: <text>" on stderr.
    static void error(const QString& text);

private:
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<Settings> m_settings;
};

// Takes the value after option `name` out of args; false (and a message) when it is
// missing. Leaves args untouched when the option is absent.
bool takeOption(QStringList& args, const QString& name, QString& value, bool& present);
bool takeFlag(QStringList& args, const QString& name);
// The first argument that starts with "--", for "unknown option" messages.
QString firstUnknownOption(const QStringList& args);

using CliCommand = int (*)(CliContext&, QStringList&);
