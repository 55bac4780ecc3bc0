#pragma once

#include <cmath>

namespace tavlin {

// An external converter ahead of the unit: every frequency shown to or
// entered by the user is at the converter's input, the stored frequency plus
// the offset (negative for a converter that mixes from above). Spans and
// times are not moved.
struct DownconverterOffset {
    double hz = 0.0;

    double Shown(double storedHz) const { return storedHz + hz; }
    double Stored(double shownHz) const { return shownHz - hz; }
    // An offset of at most 1 Hz raises no annunciator and leaves the finer
    // readouts alone; the frequencies shown still include it.
    bool InUse() const { return std::abs(hz) > 1.0; }
};

}  // namespace tavlin
