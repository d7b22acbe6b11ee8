#pragma once

// The download window's pieces every command on it shares: its options, the window
// loaded headless, the progress bar on stderr and Ctrl-C as the progress window's
// Cancel.

#include "clicontext.h"
#include "utility/downloadcontroller.h"

#include <QMetaObject>
#include <functional>
#include <memory>
#include <optional>

// The progress window's Cancel, for an Interrupt: pressed only while the window shows.
std::function<void()> progressCancel(DownloadController& u);

// The exit status of a command on the download window: 0 when it completed, 130
// after `cancelled` on stderr when it was cancelled, 1 otherwise (its message has
// been shown).
int outcomeStatus(const Outcome& outcome, const QString& cancelled);

struct DownloadOptions
{
    std::optional<QString> node;
    std::optional<int> delay;
    std::optional<bool> verify;
    std::optional<int> memorySize;
};

// --node N, --delay MS, --verify, --no-verify, --memory-size BYTES; false after a
// message.
bool takeDownloadOptions(const QString& command, QStringList& args, DownloadOptions& o);

// The download window loaded headless, with this run's settings; null after a message.
std::unique_ptr<DownloadController> openUtility(CliContext& ctx, const DownloadOptions& o);

// The start of the two downloads: --reset answers the completion question (No
// without it), then one name must be left. Null after a message, with `status` 2
// for a usage error and 1 when the window could not be loaded.
std::unique_ptr<DownloadController> openForDownload(CliContext& ctx, QStringList& args,
    const DownloadOptions& o, const QString& command, const QString& needs, int& status);

// Draws the progress of `u` on stderr while it runs, when stderr is a terminal, and
// ends the line when it goes.
class ProgressLine
{
public:
    explicit ProgressLine(DownloadController& u);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    DownloadController& m_u;
    int m_shown = -1;
    QMetaObject::Connection m_connection;
};
