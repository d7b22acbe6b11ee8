#pragma once

#include "app/common/sharedoptions.h"
#include "core/prompter.h"

#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <csignal>
#include <functional>
#include <memory>

class SettingsStore;
class Settings;
struct SettingsInForce;
class TerminalCore;
class PtySimulator;
class TrafficLog;

// What every zaziruv-cli command gets: the options common to all commands, a
// headless prompter, and the settings store in force for this run.
class CliContext
{
public:
    CliContext();
    ~CliContext();

    // Common options (removed from the arguments before the command sees them).
    // --settings, --port, --baud, --simulate, --sim-option: as the window program takes them.
    SharedOptions shared { SharedOptions::Program::Cli };
    bool trace = false; // --trace: every byte on stderr
    QString logPath; // --log FILE: every byte to FILE
    qint64 logMaxBytes = 10 * 1024 * 1024; // --log-size BYTES: FILE is rotated at this size
    QString dir; // --dir DIR: working directory for this run
    int timeoutMs = 2000; // --timeout MS
    int waitPortSeconds = 0; // --wait-port SECONDS: wait for the device before opening it

    HeadlessPrompter prompter;

    SettingsStore& store();
    // The settings with the start-up load already done (ReadSettings, ReadWorkingDir).
    Settings& settings();

    // The main window's logic, headless: the start-up load done, the port opened with
    // the run's overrides (--port, --baud, --simulate, --dir, --trace, --log). Null (after a
    // message) when the simulator could not be started.
    TerminalCore* session();
    SettingsInForce& inForce();

    // Waits, letting events run, until device (a node, a by-id path, usb:...) is
    // there or `seconds` passed; whether it is there.
    static bool waitForPort(const QString& device, int seconds);

    // Prints "zaziruv-cli: <text>" on stderr.
    static void error(const QString& text);

private:
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<Settings> m_settings;
    bool m_loaded = false;
    std::unique_ptr<SettingsInForce> m_inForce;
    std::unique_ptr<PtySimulator> m_simulator;
    std::unique_ptr<TerminalCore> m_core;
    std::unique_ptr<TrafficLog> m_log;
};

// Takes the value after option `name` out of args; false (and a message) when it is
// missing. Leaves args untouched when the option is absent.
bool takeOption(QStringList& args, const QString& name, QString& value, bool& present);
bool takeFlag(QStringList& args, const QString& name);
// The first argument that starts with "--", for "unknown option" messages.
QString firstUnknownOption(const QStringList& args);
// False, after "<command>: unknown option --x", when an option is left in args.
bool noUnknownOption(const QString& command, const QStringList& args);
// False, after a message, when anything at all is left in args.
bool noArguments(const QString& command, const QStringList& args);

using CliCommand = int (*)(CliContext&, QStringList&);

// While it lives, SIGINT (and SIGTERM and SIGHUP; on Windows the console's Ctrl-C,
// Ctrl-Break, close, logoff and shutdown) runs `cancel` from the event loop (the waits of a
// long command run it) instead of ending the program: on the first SIGINT only, or on every one
// with Repeat::Every.
class Interrupt
{
public:
    enum class Repeat
    {
        Once,
        Every
    };
    explicit Interrupt(std::function<void()> cancel, Repeat repeat = Repeat::Once);
    ~Interrupt();
    Interrupt(const Interrupt&) = delete;
    Interrupt& operator=(const Interrupt&) = delete;

    bool interrupted = false;
    // The exit status of a command stopped this way: 128 + the signal (130 for
    // SIGINT, 143 for SIGTERM, 129 for SIGHUP).
    static int cancelStatus();

private:
#ifdef Q_OS_WIN
    // Takes the console's Ctrl-C, close and shutdown events onto the event loop.
    std::unique_ptr<QObject> m_receiver;
#else
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previous[3] {};
    bool m_installed[3] {};
#endif
    Repeat m_repeat = Repeat::Once;
};
