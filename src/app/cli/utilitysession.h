#pragma once

// The download window's pieces every command on it shares: its options, the window
// loaded headless, the progress bar on stderr and Ctrl-C as the progress window's
// Cancel.

#include "clicontext.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>

class UtilityCore;

// While it lives, SIGINT runs `cancel` from the event loop (the waits of the
// download run it) instead of ending the program.
class Interrupt
{
public:
    explicit Interrupt(std::function<void()> cancel);
    ~Interrupt();
    Interrupt(const Interrupt&) = delete;
    Interrupt& operator=(const Interrupt&) = delete;

    bool interrupted = false;

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previous
    {
    };
    bool m_installed = false;
};

// The progress window's Cancel, for an Interrupt: pressed only while the window shows.
std::function<void()> progressCancel(UtilityCore& u);

struct DownloadOptions
{
    std::optional<QString> node;
    std::optional<int> delay;
    std::optional<bool> verify;
};

// --node N, --delay MS, --verify, --no-verify; false after a message.
bool takeDownloadOptions(const QString& command, QStringList& args, DownloadOptions& o);

// The download window loaded headless, with this run's settings; null after a message.
std::unique_ptr<UtilityCore> openUtility(CliContext& ctx, const DownloadOptions& o);

// Draws the progress of `u` on stderr while it runs, when stderr is a terminal, and
// ends the line when it goes.
class ProgressLine
{
public:
    explicit ProgressLine(UtilityCore& u);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    UtilityCore& m_u;
    int m_shown = -1;
    QMetaObject::Connection m_connection;
};
