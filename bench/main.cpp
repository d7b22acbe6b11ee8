// zz_bench: prints one figure a line, "name value", in the order of the figures'
// registration keys. The figure orders in use:
//    0  wait_cpu_per_wall_s          (waitbench.cpp) — always the first figure
//  100  prep_500_lines_ms            (prepbench.cpp)
//  101  prep_scaling_5000_over_500   (prepbench.cpp)
//  200  download_1000_wall_over_floor_57600, 201 _9600, 202 download_cpu_per_s,
//  203  dir_40_wall_over_floor_9600  (downloadbench.cpp)

#include "figures.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    // The wait figures need an event loop.
    QCoreApplication app(argc, argv);
    for (const BenchFigure& figure : BenchFigures::sorted()) {
        const double value = figure.measure();
        std::printf("%s %.6g\n", figure.name, value);
        std::fflush(stdout);
    }
    return 0;
}
