#pragma once

#include <array>

#include "sweep/sweep_trace.h"

namespace tavlin {

// The AVERAGE trace mode: trace A as the mean power of the last sweeps,
// pixel by pixel, in linear power rather than in dB. Noise then reads its
// mean power (a mean of dB reads it 2.51 dB low) and a tone its level. The
// first N sweeps after a reset are a running mean; from the N-th on each
// new sweep weighs 1/N, so the trace goes on following the signal.
class TracePowerAverage {
  public:
    using Rows = std::array<double, kTracePoints>;

    void Reset() { count_ = 0; }

    // Sweeps averaged so far, at most the count last given to Add.
    int Count() const { return count_; }

    // Adds a sweep's rows (on the log scale of dbPerDiv, or the linear scale:
    // row 0 the reference voltage, row 500 none) and returns the averaged rows
    // on the same scale. A count below 1 acts as 1.
    Rows Add(const Rows& rows, double dbPerDiv, bool linearScale, int averageCount);

  private:
    Rows power_{};
    int count_ = 0;
};

}  // namespace tavlin
