#include "clicontext.h"

#include "core/eventwait.h"
#include "link/portwatcher.h"
#include "link/trafficlog.h"
#include "link/trafficrecorder.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "sim/ptysimulator.h"
#include "terminal/terminalcore.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#ifdef Q_OS_WIN
#include <QCoreApplication>
#include <atomic>
#include <mutex>
#include <windows.h>
#else
#include <sys/socket.h>
#include <unistd.h>
#endif

CliContext::CliContext() = default;

CliContext::~CliContext()
{
    // The row in progress goes to --trace and --log before they end.
    if (m_core)
        m_core->link().traffic().flush();
    m_log.reset();
    // The core's port goes before the simulator that stands behind it.
    m_core.reset();
    m_simulator.reset();
}

SettingsStore& CliContext::store()
{
    if (!m_store)
        m_store = std::make_unique<SettingsStore>(SettingsStore::resolvePath(shared.settingsPath));
    return *m_store;
}

Settings& CliContext::settings()
{
    if (!m_settings) {
        m_settings = std::make_unique<Settings>(store(), prompter);
        m_settings->ReadSettings();
        m_settings->ReadWorkingDir();
        m_loaded = true;
    }
    return *m_settings;
}

SettingsInForce& CliContext::inForce()
{
    if (!m_inForce)
        m_inForce = std::make_unique<SettingsInForce>();
    return *m_inForce;
}

TerminalCore* CliContext::session()
{
    if (m_core)
        return m_core.get();
    if (!m_settings)
        m_settings = std::make_unique<Settings>(store(), prompter);
    auto core = std::make_unique<TerminalCore>(*m_settings, inForce(), prompter);
    if (shared.simulate) {
        QString why;
        const auto options = parseSimOptions(shared.simArgs, &why);
        if (!options) {
            error(QStringLiteral("simulator: %1").arg(why));
            return nullptr;
        }
        m_simulator = std::make_unique<PtySimulator>(*options);
        if (!m_simulator->start()) {
            error(QStringLiteral("simulator: %1").arg(m_simulator->errorString()));
            return nullptr;
        }
        core->setDeviceOverride(m_simulator->slavePath());
    }
    if (!shared.port.isEmpty())
        core->setDeviceOverride(shared.port);
    TrafficRecorder& traffic = core->link().traffic();
    if (trace) {
        QObject::connect(&traffic, &TrafficRecorder::rowReady, [](const TrafficRow& row) {
            std::fprintf(stderr, "%s\n", trafficLogLine(row).toUtf8().constData());
            std::fflush(stderr);
        });
    }
    if (!logPath.isEmpty()) {
        // A log that cannot be written is reported; the command goes on without it.
        m_log = std::make_unique<TrafficLog>();
        QString why;
        if (!m_log->start(traffic, logPath, logMaxBytes, &why))
            error(TrafficLog::NotStartedText.arg(logPath, why));
        QObject::connect(
            m_log.get(), &TrafficLog::failed, [](const QString& text) { error(text); });
    }
    // The commands end on a lost port with their window's message; why it was lost
    // (gone, or no longer sending) is the link's to say.
    QObject::connect(
        &core->link(), &SerialLink::lost, [](const QString& reason) { error(reason); });
    TerminalCore* c = core.get();
    core->setBeforeOpen([this, c] {
        if (shared.baud > 0)
            c->cfg.baudRate = shared.baud;
        if (!dir.isEmpty()) {
            c->cfg.chosenDir = QDir(dir).absolutePath();
            c->settings.record.WorkingDir = c->cfg.chosenDir;
        }
    });
    if (waitPortSeconds > 0 && !shared.simulate) {
        const QString device = shared.port.isEmpty()
            ? settings().comDevice(int(settings().record.ComPort))
            : shared.port;
        if (!waitForPort(device, waitPortSeconds)) {
            error(QStringLiteral("%1 did not appear within %2 s").arg(device).arg(waitPortSeconds));
            return nullptr;
        }
    }
    core->load(!m_loaded);
    m_core = std::move(core);
    return m_core.get();
}

bool CliContext::waitForPort(const QString& device, int seconds)
{
    if (device.contains(QLatin1String("://")))
        return true; // a network port is there when its server answers
    if (PortWatcher::present(device))
        return true;
    PortWatcher watcher;
    bool appeared = false;
    QObject::connect(&watcher, &PortWatcher::appeared, [&appeared] { appeared = true; });
    watcher.watch(device);
    if (PortWatcher::present(device))
        return true; // came between the first look and the watch
    bool late = false;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&late] { late = true; });
    limit.start(seconds * 1000);
    waitUntil([&] { return late || appeared; });
    return PortWatcher::present(device);
}

void CliContext::error(const QString& text)
{
    std::fprintf(stderr, "zaziruv-cli: %s\n", qPrintable(text));
    std::fflush(stderr);
}

bool takeOption(QStringList& args, const QString& name, QString& value, bool& present)
{
    present = false;
    const qsizetype i = args.indexOf(name);
    if (i < 0) {
        // --name=value form
        for (qsizetype k = 0; k < args.size(); ++k) {
            if (args[k].startsWith(name + QLatin1Char('='))) {
                value = args[k].mid(name.size() + 1);
                args.removeAt(k);
                present = true;
                return true;
            }
        }
        return true;
    }
    if (i + 1 >= args.size()) {
        CliContext::error(QStringLiteral("%1 needs a value").arg(name));
        return false;
    }
    value = args[i + 1];
    args.remove(i, 2);
    present = true;
    return true;
}

bool takeFlag(QStringList& args, const QString& name)
{
    return args.removeAll(name) > 0;
}

QString firstUnknownOption(const QStringList& args)
{
    for (const QString& a : args) {
        if (a.startsWith(QLatin1String("--")))
            return a;
    }
    return {};
}

bool noUnknownOption(const QString& command, const QStringList& args)
{
    const QString unknown = firstUnknownOption(args);
    if (unknown.isEmpty())
        return true;
    CliContext::error(QStringLiteral("%1: unknown option %2").arg(command, unknown));
    return false;
}

bool noArguments(const QString& command, const QStringList& args)
{
    if (!noUnknownOption(command, args))
        return false;
    if (args.isEmpty())
        return true;
    CliContext::error(QStringLiteral("%1: unexpected argument \"%2\"").arg(command, args.first()));
    return false;
}

#ifdef Q_OS_WIN

namespace {

std::atomic<int> g_signal = 0; // the first signal that stopped the command
std::mutex g_postLock;
// Hands a console event to the living Interrupt's event loop; empty when none lives.
std::function<void(int)> g_post;
// Set once the Interrupt is gone: a close, logoff or shutdown waits for it, because
// the system ends the process as soon as the handler returns.
HANDLE g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);

// The console's events as the signals they stand for, so that the exit statuses are
// those of the other systems: 130 for Ctrl-C, 129 for a closed console, 143 for the
// end of the session.
constexpr int SignalHangUp = 1;
constexpr int SignalTerminate = 15;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    int signal = SIGINT;
    if (event == CTRL_CLOSE_EVENT)
        signal = SignalHangUp;
    else if (event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        signal = SignalTerminate;
    {
        const std::lock_guard<std::mutex> lock(g_postLock);
        if (!g_post)
            return FALSE;
        g_post(signal);
    }
    if (signal != SIGINT)
        WaitForSingleObject(g_finished, INFINITE);
    return TRUE;
}

} // namespace

int Interrupt::cancelStatus()
{
    const int signal = g_signal;
    return 128 + (signal ? signal : SIGINT);
}

Interrupt::Interrupt(std::function<void()> cancel, Repeat repeat)
    : m_receiver(std::make_unique<QObject>())
    , m_repeat(repeat)
{
    ResetEvent(g_finished);
    QObject* receiver = m_receiver.get();
    {
        const std::lock_guard<std::mutex> lock(g_postLock);
        // A posted call is dropped with its receiver, so it never outlives this.
        g_post = [this, receiver, cancel](int signal) {
            QMetaObject::invokeMethod(
                receiver,
                [this, cancel, signal] {
                    int none = 0;
                    g_signal.compare_exchange_strong(none, signal);
                    if (!interrupted || m_repeat == Repeat::Every) {
                        interrupted = true;
                        cancel();
                    }
                },
                Qt::QueuedConnection);
        };
    }
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

Interrupt::~Interrupt()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    {
        const std::lock_guard<std::mutex> lock(g_postLock);
        g_post = nullptr;
    }
    m_receiver.reset();
    SetEvent(g_finished);
}

#else

namespace {

int g_interruptPipe[2] = { -1, -1 };
int g_signal = 0; // the first signal that stopped the command

void onInterrupt(int signal)
{
    const char c = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_interruptPipe[1], &c, 1);
}

// A terminal closed or a service manager stopping the command is Ctrl-C too: the
// byte in flight finishes and the controller's memory is marked before the exit.
constexpr int StopSignals[] = { SIGINT, SIGTERM, SIGHUP };

} // namespace

int Interrupt::cancelStatus()
{
    return 128 + (g_signal ? g_signal : SIGINT);
}

Interrupt::Interrupt(std::function<void()> cancel, Repeat repeat)
    : m_repeat(repeat)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_interruptPipe) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(g_interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this, cancel] {
        char c = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_interruptPipe[0], &c, 1);
        if (!g_signal)
            g_signal = c;
        if (!interrupted || m_repeat == Repeat::Every) {
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
    for (size_t i = 0; i < std::size(StopSignals); ++i)
        m_installed[i] = ::sigaction(StopSignals[i], &sa, &m_previous[i]) == 0;
}

Interrupt::~Interrupt()
{
    for (size_t i = 0; i < std::size(StopSignals); ++i) {
        if (m_installed[i])
            ::sigaction(StopSignals[i], &m_previous[i], nullptr);
    }
    m_notifier.reset();
    for (int& fd : g_interruptPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

#endif
