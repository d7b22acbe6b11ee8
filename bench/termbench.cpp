// The main window in terminal mode under a continuous answer stream at the full rate
// of a 57600-baud line (5,760 characters a second), fed for 5 s through a pty: the
// CPU the window takes per wall second, and how long after the last byte the view
// shows it. Goals: at most 0.1 CPU-s a second, and at most 100 ms. Then the same
// flood with the traffic view open and its log to a file on: at most 0.03 CPU-s a
// second more than without.

#include "figures.h"

#include "../tests/common/ptypair.h" // openRawPty
#include "core/eventwait.h"
#include "core/prompter.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "terminal/terminalcore.h"
#include "ui/mainwindow.h"
#include "ui/trafficview.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <ctime>
#include <sys/resource.h>
#include <thread>

namespace {

constexpr int kCharsPerSecond = 5760;
constexpr int kFeedMs = 5000;
const QByteArray kLine("0 0100\r\n");
const QByteArray kLastLine("0 FFFF\r\n");

double cpuSeconds(int who)
{
    rusage u {};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Flood
{
    double cpuPerWall = -1;
    double lagMs = -1;
};

// The whole stream: answer lines, the last one a marker the view is watched for.
QByteArray stream()
{
    const qsizetype total = qsizetype(kCharsPerSecond) * kFeedMs / 1000;
    return kLine.repeated(total / kLine.size() - 1) + kLastLine;
}

// Writes the stream to the master side on its own thread, a millisecond's worth at
// a time on an absolute schedule, as a paced line delivers it; its own CPU is kept
// apart from the window's.
void feed(int master, std::atomic<double>& feederCpu, std::atomic<qint64>& lastWriteNs,
    const QElapsedTimer& clock)
{
    const double cpuBefore = cpuSeconds(RUSAGE_THREAD);
    const QByteArray bytes = stream();
    timespec next {};
    clock_gettime(CLOCK_MONOTONIC, &next);
    const qint64 startNs = clock.nsecsElapsed();
    qint64 sent = 0;
    while (sent < bytes.size()) {
        next.tv_nsec += 1'000'000;
        if (next.tv_nsec >= 1'000'000'000) {
            next.tv_nsec -= 1'000'000'000;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        const qint64 due = std::min<qint64>(
            bytes.size(), (clock.nsecsElapsed() - startNs) * kCharsPerSecond / 1'000'000'000);
        if (due > sent) {
            // A full queue on the host's side takes the rest next millisecond.
            const ssize_t n = ::write(master, bytes.constData() + sent, size_t(due - sent));
            if (n > 0)
                sent += n;
        }
    }
    lastWriteNs = clock.nsecsElapsed();
    feederCpu = cpuSeconds(RUSAGE_THREAD) - cpuBefore;
}

Flood runFlood(bool traffic)
{
    Flood result;
    int master = -1;
    int slave = -1;
    QString slavePath;
    QTemporaryDir dir;
    if (!dir.isValid() || !openRawPty(master, slave, slavePath))
        return result;

    {
        SettingsStore store(dir.filePath(QStringLiteral("settings.json")));
        HeadlessPrompter prompter;
        Settings settings(store, prompter);
        settings.record.ComPort = 1;
        SettingsInForce cfg;
        cfg.chosenDir = dir.path();
        cfg.baudRate = 57600;
        TerminalCore core(settings, cfg, prompter);
        core.setDeviceOverride(slavePath);
        MainWindow window(core);
        core.openPort();
        if (!qEnvironmentVariableIsSet("ZZ_NOSHOW"))
            window.show();
        core.terminalMode();
        if (traffic) {
            window.findChild<QAction*>(QStringLiteral("TrafficToggle"))->trigger();
            window.trafficView()->startLog(dir.filePath(QStringLiteral("traffic.log")));
        }
        auto* view = window.findChild<QPlainTextEdit*>(QStringLiteral("TextTerminal"));
        if (core.link().isOpen() && view) {
            processPendingEvents();
            QElapsedTimer clock;
            clock.start();
            std::atomic<double> feederCpu { 0 };
            std::atomic<qint64> lastWriteNs { -1 };
            const double cpuBefore = cpuSeconds(RUSAGE_SELF);
            std::thread feeder([&] { feed(master, feederCpu, lastWriteNs, clock); });

            // Ends when the view shows the marker line, or 10 s after the feed (a view
            // that never catches up). The view is looked at only once the feed is over.
            const QString marker = QString::fromLatin1(kLastLine.chopped(2)) + QLatin1Char('\n');
            QTimer guard;
            guard.start(100);
            qint64 shownNs = -1;
            waitUntil([&] {
                const qint64 last = lastWriteNs;
                if (last < 0)
                    return false;
                if (view->toPlainText().endsWith(marker)) {
                    shownNs = clock.nsecsElapsed();
                    return true;
                }
                return clock.nsecsElapsed() - last > 10'000'000'000LL;
            });
            const double wall = double(clock.nsecsElapsed()) / 1e9;
            feeder.join();
            const double cpu = cpuSeconds(RUSAGE_SELF) - cpuBefore - feederCpu;
            result.cpuPerWall = cpu / wall;
            result.lagMs = shownNs < 0 ? -1 : double(shownNs - lastWriteNs) / 1e6;
        }
        core.link().close();
    }
    ::close(master);
    ::close(slave);
    return result;
}

Flood& flood()
{
    static Flood measured = runFlood(false);
    return measured;
}

Flood& trafficFlood()
{
    static Flood measured = runFlood(true);
    return measured;
}

} // namespace

ZZ_BENCH_FIGURE(200, "terminal_flood_cpu_per_wall_s", [] { return flood().cpuPerWall; });
ZZ_BENCH_FIGURE(201, "terminal_flood_view_lag_ms", [] { return flood().lagMs; });
ZZ_BENCH_FIGURE(202, "traffic_view_cpu_per_wall_s", [] { return trafficFlood().cpuPerWall; });
