#pragma once

#include <array>
#include <cstdint>

#include "sweep/sweep_trace.h"

namespace tavlin {

// What the plot view keeps of its own but state files carry: the colour
// scheme, the stored trace B, the upper and lower limit lines.
struct DisplayState {
    bool classicColours = false;  // false = the KVO scheme, true = CLASSIC
    bool traceBShown = false;
    std::array<std::int32_t, kTracePoints> traceBRows{};
    std::array<std::int32_t, kTracePoints> upperLimitRows{};
    std::array<std::int32_t, kTracePoints> lowerLimitRows{};
    bool limitLinesOn = false;
};

}  // namespace tavlin
