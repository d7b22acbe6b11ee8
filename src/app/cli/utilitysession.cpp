#include "utilitysession.h"

#include "core/numbers.h"
#include "core/ticktimer.h"
#include "eeprom/memorymap.h"
#include "terminal/terminalcore.h"
#include "utility/utilitycore.h"

#include <cstdio>
#include <unistd.h>

std::function<void()> progressCancel(UtilityCore& u)
{
    return [&u] {
        if (u.Form1Visible)
            u.CmdEEAbort_Click();
    };
}

int outcomeStatus(UtilityCore::Outcome outcome, const QString& cancelled)
{
    switch (outcome) {
    case UtilityCore::Outcome::Completed:
        return 0;
    case UtilityCore::Outcome::Cancelled:
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

std::unique_ptr<UtilityCore> openUtility(CliContext& ctx, const DownloadOptions& o)
{
    TerminalCore* core = ctx.session();
    if (!core)
        return nullptr;
    auto u = std::make_unique<UtilityCore>(*core, ctx.prompter);
    u->createE2prom = false;
    u->Form_Load();
    if (u->e2promRefused)
        return nullptr; // the message is out
    if (o.node)
        u->TxTNode = *o.node;
    if (o.delay) {
        u->DelayTxt_Change(QString::number(*o.delay));
        u->ticks.StopTimer();
        u->ticks.Delay = u->Delay;
        u->ticks.StartTimer();
    }
    if (o.memorySize)
        u->protocol.MemorySize = *o.memorySize;
    if (o.verify) {
        u->EnableCksumChk = *o.verify;
        u->protocol.VerifyDownload = *o.verify;
    }
    return u;
}

std::unique_ptr<UtilityCore> openForDownload(CliContext& ctx, QStringList& args,
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
        ctx.prompter.presets.append({ UtilityCore::completionText(verified),
            reset ? PromptAnswer::Yes : PromptAnswer::No });
    status = 1;
    return openUtility(ctx, o);
}

ProgressLine::ProgressLine(UtilityCore& u)
    : m_u(u)
{
    if (!::isatty(STDERR_FILENO))
        return;
    m_connection = QObject::connect(&u, &UtilityCore::changed, [this] {
        if (!m_u.Form1Visible || m_u.ProgressBar1 == m_shown)
            return;
        m_shown = m_u.ProgressBar1;
        const int width = 40;
        const int filled = m_shown * width / 100;
        std::fprintf(stderr, "\r%-22s [%s%s] %3d%%", qPrintable(m_u.Label1),
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
