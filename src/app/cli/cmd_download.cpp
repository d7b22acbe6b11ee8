// zaziruv-cli dir
// zaziruv-cli download FILE [--boot] [--reset]
// zaziruv-cli stop
//
// The download window's commands on the same logic: dir reads the controller's macro
// directory as "Read TYX Directory" does, download runs "Download File" on FILE (of
// the working directory), stop sends the stop of running macros. The download
// settings come from "e2prom.dat" of the working directory (never written here);
// --node N, --delay MS and --verify/--no-verify change them for this run only.
// Ctrl-C is the progress window's Cancel (exit 130). Failures exit 1 with the
// window's message on stderr.

#include "commands.h"
#include "core/numbers.h"

#include "core/ticktimer.h"
#include "terminal/terminalcore.h"
#include "utility/utilitycore.h"

#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_interruptPipe[2] = { -1, -1 };

void onInterrupt(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_interruptPipe[1], &c, 1);
}

// While it lives, SIGINT runs `cancel` from the event loop (the waits of the
// download run it) instead of ending the program.
class Interrupt
{
public:
    explicit Interrupt(std::function<void()> cancel)
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
    ~Interrupt()
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

struct DownloadOptions
{
    std::optional<QString> node;
    std::optional<int> delay;
    std::optional<bool> verify;
};

// --node N, --delay MS, --verify, --no-verify; false after a message.
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

// The download window loaded headless, with this run's settings.
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

// A bar on stderr while stderr is a terminal.
void showProgress(UtilityCore& u, int& shown)
{
    if (!u.Form1Visible || u.ProgressBar1 == shown)
        return;
    shown = u.ProgressBar1;
    const int width = 40;
    const int filled = shown * width / 100;
    std::fprintf(stderr, "\r%-22s [%s%s] %3d%%", qPrintable(u.Label1),
        QByteArray(filled, '#').constData(), QByteArray(width - filled, '.').constData(), shown);
    std::fflush(stderr);
}

} // namespace

int runDir(CliContext& ctx, QStringList& args)
{
    DownloadOptions o;
    if (!takeDownloadOptions(QStringLiteral("dir"), args, o))
        return 2;
    if (!noArguments(QStringLiteral("dir"), args))
        return 2;
    const auto u = openUtility(ctx, o);
    if (!u)
        return 1;
    Interrupt interrupt([&u] { u->CmdEEAbort_Click(); });
    u->Command6_Click();
    using D = EepromProtocol::DirectoryOutcome;
    switch (u->lastDirectory) {
    case D::Listed:
    case D::Empty:
        for (qsizetype i = 0; i < u->ComboMacro1.size(); ++i)
            std::printf("%lld %s\n", qlonglong(i + 1), u->ComboMacro1[i].toLocal8Bit().constData());
        std::printf("Total Bytes Stored: %d\n",
            u->lastDirectory == D::Listed ? u->protocol.ReadByteCount : 0);
        return 0;
    case D::Cancelled:
        return 130;
    default:
        return 1; // the message is on stderr
    }
}

int runDownload(CliContext& ctx, QStringList& args)
{
    DownloadOptions o;
    if (!takeDownloadOptions(QStringLiteral("download"), args, o))
        return 2;
    const bool boot = takeFlag(args, QStringLiteral("--boot"));
    const bool reset = takeFlag(args, QStringLiteral("--reset"));
    if (!noUnknownOption(QStringLiteral("download"), args))
        return 2;
    if (args.size() != 1) {
        CliContext::error(QStringLiteral("download needs one command file name"));
        return 2;
    }
    ctx.prompter.presets.append(
        { UtilityCore::CompletionText, reset ? PromptAnswer::Yes : PromptAnswer::No });
    const auto u = openUtility(ctx, o);
    if (!u)
        return 1;
    u->Filename = args.first();
    u->BootExecute = boot;
    int shown = -1;
    if (::isatty(STDERR_FILENO))
        QObject::connect(u.get(), &UtilityCore::changed, [&] { showProgress(*u, shown); });
    Interrupt interrupt([&u] {
        if (u->Form1Visible)
            u->CmdEEAbort_Click();
    });
    u->DnloadButton_Click();
    if (shown >= 0)
        std::fprintf(stderr, "\n");
    switch (u->lastDownload) {
    case UtilityCore::Outcome::Completed:
        return 0;
    case UtilityCore::Outcome::Cancelled:
        CliContext::error(
            QStringLiteral("download cancelled; the TYX memory is marked incomplete"));
        return 130;
    default:
        return 1;
    }
}

int runStop(CliContext& ctx, QStringList& args)
{
    DownloadOptions o;
    if (!takeDownloadOptions(QStringLiteral("stop"), args, o))
        return 2;
    if (!noArguments(QStringLiteral("stop"), args))
        return 2;
    const auto u = openUtility(ctx, o);
    if (!u)
        return 1;
    if (!u->core.link.isOpen()) {
        CliContext::error(
            QStringLiteral("the serial port is not open: %1").arg(u->core.link.statusText()));
        return 1;
    }
    u->Cancel_Macro_Execute();
    if (!u->core.link.isOpen()) {
        CliContext::error(
            QStringLiteral("the serial port closed: %1").arg(u->core.link.statusText()));
        return 1;
    }
    return 0;
}
