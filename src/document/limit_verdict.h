#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sweep/sweep_trace.h"

namespace tavlin {

class MarkerScale;

// One column of trace A beyond a limit line.
struct LimitFailure {
    int column = 0;
    double position = 0.0;  // Hz, or ms in zero span
    // dBm, also on the linear scale; Hz of deviation in zero-span FM
    double level = 0.0;
    double limit = 0.0;
    bool upper = true;  // above the upper limit, or below the lower one
};

// The verdict of the last sweep tested: `tested` is false while the limit
// lines are off or no sweep has been compared with them yet.
struct LimitVerdict {
    bool tested = false;
    bool pass = true;
    std::vector<LimitFailure> failures;  // left to right
};

// Trace A against the limit rows, column by column: a trace above the upper
// row or below the lower one fails there. Rows are compared unrounded, so a
// trace that only touches a limit passes.
LimitVerdict TestTraceAgainstLimits(const std::array<double, kTracePoints>& traceRows,
                                    const std::array<std::int32_t, kTracePoints>& upperRows,
                                    const std::array<std::int32_t, kTracePoints>& lowerRows,
                                    const MarkerScale& scale);

}  // namespace tavlin
