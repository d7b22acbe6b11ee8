#include "utilitysession.h"

#include "core/numbers.h"
#include "core/ticktimer.h"
#include "terminal/terminalcore.h"
#include "utility/utilitycore.h"

#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_interruptPipe[2] = { -1, -1 };

void onInterrupt(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_interruptPipe[1], &c, 1);
}

} // namespace

Interrupt::Interrupt(std::function<void()> cancel)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_interruptPipe) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(g_interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this, cancel] {
        char c = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_interruptPipe[0], &c, 1);
        if (!interrupted) {
            interrupted = true;
            cancel();
        }
    });
    struct sigaction sa
    {
    };
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    m_installed = ::sigaction(SIGINT, &sa, &m_previous) == 0;
}

Interrupt::~Interrupt()
{
    if (m_installed)
        ::sigaction(SIGINT, &m_previous, nullptr);
    m_notifier.reset();
    for (int& fd : g_interruptPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

std::function<void()> progressCancel(UtilityCore& u)
{
    return [&u] {
        if (u.Form1Visible)
            u.CmdEEAbort_Click();
    };
}

bool takeDownloadOptions(const QString& command, QStringList& args, DownloadOptions& o)
{
    QString value;
    bool present = false;
    if (!takeOption(args, QStringLiteral("--node"), value, present))
        return false;
    if (present) {
        const auto n = readIntOption(value, 0, 99);
        if (!n) {
            CliContext::error(
                QStringLiteral("%1: --node needs a node address from 0 to 99, not \"%2\"")
                    .arg(command, value));
            return false;
        }
        o.node = QString::number(*n);
    }
    if (!takeOption(args, QStringLiteral("--delay"), value, present))
        return false;
    if (present) {
        const auto n = readIntOption(value, 1, 99);
        if (!n) {
            CliContext::error(
                QStringLiteral("%1: --delay needs milliseconds from 1 to 99, not \"%2\"")
                    .arg(command, value));
            return false;
        }
        o.delay = *n;
    }
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
    if (o.node)
        u->TxTNode = *o.node;
    if (o.delay) {
        u->DelayTxt_Change(QString::number(*o.delay));
        u->ticks.StopTimer();
        u->ticks.Delay = u->Delay;
        u->ticks.StartTimer();
    }
    if (o.verify) {
        u->EnableCksumChk = *o.verify;
        u->protocol.VerifyDownload = *o.verify;
    }
    return u;
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
