#pragma once

#include "sweep/amplitude_correction.h"

namespace tavlin {

class CalTable;

// The level correction of a step taken through a given band route. The step
// lists tune the LO across the 150 MHz band split while the route stays as
// it was selected for the read, so a signal near the split may have passed
// the low-band mixer although it lies above 150 MHz (or the high-band mixer
// below it). Each route's correction is its own band's formula at the
// signal's frequency (AmplitudeCorrectionOnRoute).
class BandRouteCorrection {
  public:
    BandRouteCorrection(const CalTable& table, const LevelSettings& settings)
        : table_(table), settings_(settings) {}

    // c in dB such that P relative to full scale reads 10 log10(P) + c + attenDb.
    double At(double freqHz, bool highRoute) const {
        return AmplitudeCorrectionOnRoute(table_, settings_, freqHz, highRoute);
    }

  private:
    const CalTable& table_;
    LevelSettings settings_;
};

}  // namespace tavlin
