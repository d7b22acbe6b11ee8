#pragma once

#include <functional>
#include <vector>

// One benchmark figure: printed as "name value". Each bench source registers its own
// figures with ZZ_BENCH_FIGURE; main runs them by rising order, so a new figure needs
// only its file and a line in bench/CMakeLists.txt.
struct BenchFigure
{
    int order = 0;
    const char* name = "";
    std::function<double()> measure;
};

class BenchFigures
{
public:
    static bool add(int order, const char* name, std::function<double()> measure);
    // By rising order; figures of equal order in registration order.
    static const std::vector<BenchFigure>& sorted();
};

#define ZZ_BENCH_CONCAT2(a, b) a##b
#define ZZ_BENCH_CONCAT(a, b) ZZ_BENCH_CONCAT2(a, b)
#define ZZ_BENCH_FIGURE(order, name, fn)                                                           \
    static const bool ZZ_BENCH_CONCAT(zzBenchFigure, __LINE__) = BenchFigures::add(order, name, fn)
