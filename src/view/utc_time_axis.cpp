#include "view/utc_time_axis.h"

#include <array>
#include <cmath>

namespace tavlin {

namespace {

constexpr std::array<double, 17> kSteps = {1,   2,   5,    10,   15,   30,    60,    120,  300,
                                           600, 900, 1800, 3600, 7200, 10800, 21600, 43200};
constexpr double kDay = 86400.0;

}  // namespace

double UtcTimeAxis::Step(double spanSec, int maxLabels) {
    const double labels = maxLabels > 0 ? maxLabels : 1;
    // Whole multiples of a step over a span: at most span / step + 1.
    for (const double step : kSteps) {
        if (spanSec / step < labels) {
            return step;
        }
    }
    return kDay * (std::floor(spanSec / kDay / labels) + 1.0);
}

std::vector<UtcTick> UtcTimeAxis::Ticks(const std::vector<double>& rowUtc, int maxLabels) {
    std::vector<UtcTick> ticks;
    if (rowUtc.empty()) {
        return ticks;
    }
    const double newest = rowUtc.front();
    const double oldest = rowUtc.back();
    const double step = Step(newest - oldest, maxLabels);
    std::size_t row = 0;
    for (double t = std::floor(newest / step) * step; t >= oldest; t -= step) {
        while (row < rowUtc.size() && rowUtc[row] > t) {
            ++row;
        }
        if (row == rowUtc.size()) {
            break;
        }
        ticks.push_back({static_cast<int>(row), t});
    }
    return ticks;
}

}  // namespace tavlin
