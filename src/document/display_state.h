#pragma once

#include <array>
#include <cstdint>

#include "document/limit_mask.h"
#include "document/trace_basis.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

// What the plot view keeps of its own but state files carry: the colour
// scheme, the stored trace B, the upper and lower limit lines.
struct DisplayState {
    static constexpr std::array<std::int32_t, kTracePoints> BottomLineRows() {
        std::array<std::int32_t, kTracePoints> rows{};
        rows.fill(static_cast<std::int32_t>(kBottomRow));
        return rows;
    }

    bool classicColours = false;  // false = the KVO scheme, true = CLASSIC
    bool traceBShown = false;
    // Trace A less trace B drawn as a line in dB about the screen's middle.
    bool traceMathShown = false;
    // Until the first Trace A->B, trace B lies on the bottom line.
    std::array<std::int32_t, kTracePoints> traceBRows = BottomLineRows();
    // The settings trace B was measured under: it is drawn at its own
    // frequencies and levels on whatever screen is shown.
    TraceBasis traceBBasis;
    std::array<std::int32_t, kTracePoints> upperLimitRows{};
    std::array<std::int32_t, kTracePoints> lowerLimitRows{};
    bool limitLinesOn = false;
    // While a mask is loaded the limit rows are drawn from it afresh on the
    // scale of every sweep, so the lines follow the frequencies and levels.
    LimitMask limitMask;
};

}  // namespace tavlin
