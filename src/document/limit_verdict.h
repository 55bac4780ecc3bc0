#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "base/reading_flag.h"
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
    // Above or below the screen: the level is at least (at most) the one
    // given; over range when the IF was overdriven.
    ReadingFlag flag = ReadingFlag::kNone;
};

// The verdict of the last sweep tested: `tested` is false while the limit
// lines are off or no sweep has been compared with them yet. `overRange`
// says the trace's levels could not decide it: the IF was overdriven, or the
// trace left the screen on the side where a limit lies. Such a verdict never
// passes: it fails where a failure is certain and is over range otherwise.
struct LimitVerdict {
    bool tested = false;
    bool pass = true;
    bool overRange = false;
    std::vector<LimitFailure> failures;  // left to right
};

// Trace A against the limit rows, column by column: a trace above the upper
// row or below the lower one fails there. Rows are compared unrounded, so a
// trace that only touches a limit passes.
LimitVerdict TestTraceAgainstLimits(const std::array<double, kTracePoints>& traceRows,
                                    const std::array<std::int32_t, kTracePoints>& upperRows,
                                    const std::array<std::int32_t, kTracePoints>& lowerRows,
                                    const MarkerScale& scale, bool ifCompressed = false);

}  // namespace tavlin
