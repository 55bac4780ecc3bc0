#pragma once

#include <array>

#include "base/reading_flag.h"

namespace tavlin {

// One of markers 3 to 6. Each follows the trace: its level is read under it
// after every sweep, whether it is the active marker or not.
struct ExtraMarker {
    bool on = false;
    double position = 0.0;  // Hz without the downconverter offset; ms in zero span
    double level = 0.0;     // in the unit of the rows it was read from, as markers 1 and 2
    ReadingFlag flag = ReadingFlag::kNone;
};

// Markers 3 to 6, beside the two that state files keep: the window's
// settings keep their positions instead, so a state file written here reads
// the same everywhere.
struct ExtraMarkers {
    static constexpr int kFirst = 3;
    static constexpr int kLast = 6;

    static constexpr bool Holds(int number) { return number >= kFirst && number <= kLast; }
    // Call with a number Holds() accepts.
    ExtraMarker& Of(int number) { return markers[static_cast<std::size_t>(number - kFirst)]; }
    const ExtraMarker& Of(int number) const {
        return markers[static_cast<std::size_t>(number - kFirst)];
    }

    std::array<ExtraMarker, kLast - kFirst + 1> markers;
    // The number of the active marker while it is one of these; 0 while
    // marker 1 or 2 is (MarkerState::marker2Active tells which).
    int active = 0;
};

}  // namespace tavlin
