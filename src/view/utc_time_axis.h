#pragma once

#include <vector>

namespace tavlin {

// A labelled time on the waterfall's axis: the row (0 the newest line) and
// the whole UTC time it marks, in seconds since 1970.
struct UtcTick {
    int row = 0;
    double utcSec = 0.0;
};

// The UTC time axis of lines stacked newest first: labels at whole steps of
// the clock (10 s, 1 min, 1 h, ...), each on the first line that ended at or
// before it, so a label never claims a line swept later than it says.
class UtcTimeAxis {
  public:
    // The smallest of the steps a clock reads well that puts at most
    // `maxLabels` labels over `spanSec`.
    static double Step(double spanSec, int maxLabels);
    // `rowUtc` holds the end of each line, newest first.
    static std::vector<UtcTick> Ticks(const std::vector<double>& rowUtc, int maxLabels);
};

}  // namespace tavlin
