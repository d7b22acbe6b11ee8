// The main window in terminal mode under a continuous answer stream at the full rate
// of a 57600-baud line (5,760 characters a second), fed for 5 s through a pty: the
// CPU the window takes per wall second, and how long after the last byte the view
// shows it. Goals: at most 0.05 CPU-s a second, and at most 100 ms. Then the same
// flood with the traffic view open and its log to a file on: at most 0.03 CPU-s a
// second more than without. Then the same stream in command mode, each line an answer
// for the answer box: at most 0.05 CPU-s a second.

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
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
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

enum class Mode
{
    Terminal,
    Traffic,
    Command
};

// The whole stream: answer lines, the last one a marker the view is watched for.
QByteArray stream()
{
    const qsizetype total = qsizetype(kCharsPerSecond) * kFeedMs / 1000;
    return kLine.repeated(total / kLine.size() - 1) + kLastLine;
}

// The command mode takes one answer a read and drops what follows its line end, as it
// waits for the answer to one command at a time: at the end of the stream it holds
// half a line or two. So the stream ends there with one more line, which completes
// whatever is held and leaves nothing, and then the marker line, each written whole
// after a pause, so that the marker arrives alone.
constexpr int kMarkerPauseMs = 30;

// Writes the stream to the master side on its own thread, a millisecond's worth at
// a time on an absolute schedule, as a paced line delivers it; its own CPU is kept
// apart from the window's.
void feed(int master, std::atomic<double>& feederCpu, std::atomic<qint64>& lastWriteNs,
    const QElapsedTimer& clock, bool pauseBeforeMarker)
{
    const double cpuBefore = cpuSeconds(RUSAGE_THREAD);
    QByteArray bytes = stream();
    if (pauseBeforeMarker)
        bytes.chop(kLastLine.size());
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
    if (pauseBeforeMarker) {
        for (const QByteArray& line : { kLine, kLastLine }) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kMarkerPauseMs));
            // Not written, the marker is never shown and the wait ends 10 s later.
            [[maybe_unused]] const ssize_t n
                = ::write(master, line.constData(), size_t(line.size()));
        }
    }
    lastWriteNs = clock.nsecsElapsed();
    feederCpu = cpuSeconds(RUSAGE_THREAD) - cpuBefore;
}

Flood runFlood(Mode mode)
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
        cfg.ChkDecimal = 0; // the marker shows as sent: "0  FFFF"
        TerminalCore core(settings, cfg, prompter);
        core.setDeviceOverride(slavePath);
        MainWindow window(core);
        core.openPort();
        if (!qEnvironmentVariableIsSet("ZZ_NOSHOW"))
            window.show();
        if (mode == Mode::Command)
            core.commandMode();
        else
            core.terminalMode();
        if (mode == Mode::Traffic) {
            window.findChild<QAction*>(QStringLiteral("TrafficToggle"))->trigger();
            window.trafficView()->startLog(dir.filePath(QStringLiteral("traffic.log")));
        }
        // Command mode: the answer box of the status frame (shown by default).
        auto* terminal = window.findChild<QPlainTextEdit*>(QStringLiteral("TextTerminal"));
        auto* answer = window.findChild<QLineEdit*>(QStringLiteral("TextRecv"));
        const QString marker = QString::fromLatin1(kLastLine.chopped(2)) + QLatin1Char('\n');
        const auto shown = [&] {
            return mode == Mode::Command ? answer->text() == QLatin1String("0  FFFF")
                                         : terminal->toPlainText().endsWith(marker);
        };
        if (core.link().isOpen() && terminal && answer) {
            processPendingEvents();
            QElapsedTimer clock;
            clock.start();
            std::atomic<double> feederCpu { 0 };
            std::atomic<qint64> lastWriteNs { -1 };
            const double cpuBefore = cpuSeconds(RUSAGE_SELF);
            std::thread feeder(
                [&] { feed(master, feederCpu, lastWriteNs, clock, mode == Mode::Command); });

            // Ends when the view shows the marker line, or 10 s after the feed (a view
            // that never catches up). The view is looked at only once the feed is over.
            QTimer guard;
            guard.start(100);
            qint64 shownNs = -1;
            waitUntil([&] {
                const qint64 last = lastWriteNs;
                if (last < 0)
                    return false;
                if (shown()) {
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
    static Flood measured = runFlood(Mode::Terminal);
    return measured;
}

Flood& trafficFlood()
{
    static Flood measured = runFlood(Mode::Traffic);
    return measured;
}

Flood& commandFlood()
{
    static Flood measured = runFlood(Mode::Command);
    return measured;
}

} // namespace

ZZ_BENCH_FIGURE(200, "terminal_flood_cpu_per_wall_s", [] { return flood().cpuPerWall; });
ZZ_BENCH_FIGURE(201, "terminal_flood_view_lag_ms", [] { return flood().lagMs; });
ZZ_BENCH_FIGURE(202, "traffic_view_cpu_per_wall_s", [] { return trafficFlood().cpuPerWall; });
ZZ_BENCH_FIGURE(203, "command_flood_cpu_per_wall_s", [] { return commandFlood().cpuPerWall; });
ZZ_BENCH_FIGURE(204, "command_flood_view_lag_ms", [] { return commandFlood().lagMs; });
