#pragma once

#include <array>

#include "utilities/phase_noise/phase_noise_procedure.h"

namespace tavlin {

// The plotted curve: one point per pixel column of the plot, six decades of
// offset from 1 Hz (column 0) to 1 MHz (column 720), 120 columns a decade.
struct PhaseNoisePoint {
    double offsetHz = 0.0;
    double dbcPerHz = 0.0;
    int trace = 0;  // the sweep the point was read from
    int point = 0;  // and its point
    // Within kFloorMarginDb of the instrument's own floor: the reading is
    // the receiver's noise as much as the carrier's.
    bool atFloor = false;
};

class PhaseNoiseCurve {
  public:
    static constexpr int kColumns = 721;
    static constexpr int kColumnsPerDecade = 120;
    static constexpr double kFloorMarginDb = 3.0;

    explicit PhaseNoiseCurve(const PhaseNoiseSweeps& sweeps);

    const std::array<PhaseNoisePoint, kColumns>& Points() const { return points_; }

    // Which sweep and point show an offset: up to 50 kHz the narrowest of the
    // four windows at the carrier that reaches it, above it the 200 kHz
    // window that starts at the 50 kHz step below it.
    static PhaseNoisePoint Locate(double offsetHz);

    // The noise bandwidth of a bin of the procedure's Nuttall window over the
    // RBW the sweeps report for it (about 0.6).
    static double NoiseBandwidthPerRbw();

  private:
    std::array<PhaseNoisePoint, kColumns> points_{};
};

}  // namespace tavlin
