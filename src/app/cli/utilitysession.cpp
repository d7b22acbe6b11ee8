#include "utilitysession.h"

#include "core/numbers.h"
#include "core/ticktimer.h"
#include "eeprom/memorymap.h"
#include "terminal/terminalcore.h"
#include "utility/downloadcontroller.h"

#include <cstdio>
#include <unistd.h>

std::function<void()> progressCancel(DownloadController& u)
{
    return [&u] {
        if (u.progress().visible)
            u.cancelOperation();
    };
}

int outcomeStatus(const Outcome& outcome, const QString& cancelled)
{
    switch (outcome.kind) {
    case DownloadController::Outcome::Completed:
        return 0;
    case DownloadController::Outcome::Cancelled:
        CliContext::error(cancelled);
        return Interrupt::cancelStatus();
    default:
        return 1;
    }
}

bool takeDownloadOptions(const QString& command, QStringList& args, DownloadOptions& o)
{
    // A whole number option from low to high into `into`; false after a message.
    const auto number = [&](const QString& option, int low, int high, const QString& what,
                            std::optional<int>& into) {
        QString value;
        bool present = false;
        if (!takeOption(args, option, value, present))
            return false;
        if (!present)
            return true;
        into = readIntOption(value, low, high);
        if (!into)
            CliContext::error(QStringLiteral("%1: %2 needs %3 from %4 to %5, not \"%6\"")
                                  .arg(command, option, what)
                                  .arg(low)
                                  .arg(high)
                                  .arg(value));
        return into.has_value();
    };
    std::optional<int> node;
    if (!number(QStringLiteral("--node"), 0, 99, QStringLiteral("a node address"), node)
        || !number(QStringLiteral("--delay"), 1, 99, QStringLiteral("milliseconds"), o.delay)
        // The address table's 16-bit entries reach 32767 at most.
        || !number(QStringLiteral("--memory-size"), MemoryMap::TextStart, 32768,
            QStringLiteral("bytes"), o.memorySize))
        return false;
    if (node)
        o.node = QString::number(*node);
    const bool on = takeFlag(args, QStringLiteral("--verify"));
    const bool off = takeFlag(args, QStringLiteral("--no-verify"));
    if (on && off) {
        CliContext::error(
            QStringLiteral("%1: --verify and --no-verify exclude each other").arg(command));
        return false;
    }
    if (on || off)
        o.verify = on;
    return true;
}

std::unique_ptr<DownloadController> openUtility(CliContext& ctx, const DownloadOptions& o)
{
    TerminalCore* core = ctx.session();
    if (!core)
        return nullptr;
    auto u = std::make_unique<DownloadController>(*core, ctx.prompter);
    u->setCreatesE2prom(false);
    u->load();
    if (u->e2promRefused())
        return nullptr; // the message is out
    if (o.node)
        u->setNode(*o.node);
    if (o.delay) {
        u->setDelayText(QString::number(*o.delay));
        u->ticks.stop();
        u->ticks.setPeriodMs(u->delay());
        u->ticks.start();
    }
    if (o.memorySize)
        u->protocol().setMemorySize(*o.memorySize);
    if (o.verify) {
        u->setChecksumsEnabled(*o.verify);
        u->protocol().setVerifiesDownload(*o.verify);
    }
    return u;
}

std::unique_ptr<DownloadController> openForDownload(CliContext& ctx, QStringList& args,
    const DownloadOptions& o, const QString& command, const QString& needs, int& status)
{
    status = 2;
    const bool reset = takeFlag(args, QStringLiteral("--reset"));
    if (!noUnknownOption(command, args))
        return nullptr;
    if (args.size() != 1) {
        CliContext::error(QStringLiteral("%1 needs %2").arg(command, needs));
        return nullptr;
    }
    for (const bool verified : { true, false })
        ctx.prompter.presets.append({ DownloadController::completionText(verified),
            reset ? PromptAnswer::Yes : PromptAnswer::No });
    status = 1;
    return openUtility(ctx, o);
}

ProgressLine::ProgressLine(DownloadController& u)
    : m_u(u)
{
    if (!::isatty(STDERR_FILENO))
        return;
    m_connection = QObject::connect(&u, &DownloadController::changed, [this] {
        const DownloadController::Progress& p = m_u.progress();
        if (!p.visible || p.percent == m_shown)
            return;
        m_shown = p.percent;
        const int width = 40;
        const int filled = m_shown * width / 100;
        std::fprintf(stderr, "\r%-22s [%s%s] %3d%%", qPrintable(p.label),
            QByteArray(filled, '#').constData(), QByteArray(width - filled, '.').constData(),
            m_shown);
        std::fflush(stderr);
    });
}

ProgressLine::~ProgressLine()
{
    QObject::disconnect(m_connection);
    if (m_shown >= 0)
        std::fprintf(stderr, "\n");
}
