// CPU used while the program waits on the tick timer: a wait must block in the
// event loop, not spin, so the figure stays far below 0.05 CPU seconds a second.

#include "figures.h"

#include "core/eventwait.h"
#include "core/ticktimer.h"

#include <QElapsedTimer>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
} // namespace

// CPU seconds used per wall second while a 2 s wait runs on the tick timer at a
// 2 ms tick.
static double benchWaitCpuPerWall()
{
    TickTimer& timer = TickTimer::instance();
    timer.setPeriodMs(2);
    timer.start();
    QElapsedTimer wall;
    const double cpuBefore = cpuSeconds();
    wall.start();
    // 2 s of waiting, counted in ticks as the download window's waits are; a tick
    // may run late, so the wall clock ends the wait as well.
    timer.setTicks(0);
    waitUntil([&] { return timer.ticks() >= 1000 || wall.elapsed() >= 2000; });
    const double cpu = cpuSeconds() - cpuBefore;
    const double seconds = double(wall.elapsed()) / 1000.0;
    timer.stop();
    return seconds > 0 ? cpu / seconds : 0;
}

ZZ_BENCH_FIGURE(0, "wait_cpu_per_wall_s", benchWaitCpuPerWall);
