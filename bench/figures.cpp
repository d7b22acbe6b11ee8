#include "figures.h"

#include <algorithm>
#include <vector>

namespace {
std::vector<BenchFigure>& registry()
{
    static std::vector<BenchFigure> figures;
    return figures;
}
} // namespace

bool BenchFigures::add(int order, const char* name, std::function<double()> measure)
{
    registry().push_back({ order, name, std::move(measure) });
    return true;
}

const std::vector<BenchFigure>& BenchFigures::sorted()
{
    std::stable_sort(registry().begin(), registry().end(),
        [](const BenchFigure& a, const BenchFigure& b) { return a.order < b.order; });
    return registry();
}
