// zz_bench [NAME...]: prints one figure a line, "name value", in the order of the
// figures' registration keys; with names, only the figures whose name starts with
// one of them. The figure orders in use:
//    0  wait_cpu_per_wall_s          (waitbench.cpp) — always the first figure
//  100  prep_500_lines_ms            (prepbench.cpp)
//  101  prep_scaling_5000_over_500   (prepbench.cpp)
//  102  prep_32000_jumps_line_ms     (prepbench.cpp)
//  200  terminal_flood_cpu_per_wall_s (termbench.cpp)
//  201  terminal_flood_view_lag_ms    (termbench.cpp)
//  202  traffic_view_cpu_per_wall_s   (termbench.cpp)
//  203  command_flood_cpu_per_wall_s  (termbench.cpp)
//  204  command_flood_view_lag_ms     (termbench.cpp)
//  300  sim_pace_worst_error_pct      (simbench.cpp)
//  400  download_1000_wall_over_floor_57600 and its _lower_floor, 401 _9600 and
//       _57600_delay1 with theirs, 402 download_cpu_per_s,
//       download_1000_logged_over_plain_57600 and download_1000_socket_over_local_57600
//       and _rfc2217_over_local_57600 (through ser2net),
//  403  dir_40_wall_over_floor_9600, 404 readback_1000_wall_over_floor_9600
//                                    (downloadbench.cpp)
//  500  program_4_over_1_wall, 501 program_unit_cpu_per_wall,
//  502  program_parent_cpu_per_wall   (programbench.cpp)

#include "figures.h"

#include <QApplication>
#include <QStringList>
#include <algorithm>
#include <cstdio>

int main(int argc, char** argv)
{
    // The wait figures need an event loop, the terminal figures a (offscreen) window.
    QApplication app(argc, argv);
    const QStringList wanted = app.arguments().mid(1);
    for (const BenchFigure& figure : BenchFigures::sorted()) {
        const auto chosen = [&figure](const QString& name) {
            return QLatin1String(figure.name).startsWith(name);
        };
        if (!wanted.isEmpty() && std::none_of(wanted.begin(), wanted.end(), chosen))
            continue;
        const double value = figure.measure();
        std::printf("%s %.6g\n", figure.name, value);
        std::fflush(stdout);
    }
    return 0;
}
