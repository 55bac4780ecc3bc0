#pragma once

#include <atomic>

namespace tavlin {

// The sweep object: frequency plan, window and filter working values, capture
// buffers. Reached only from the thread that is sweeping, except the residual
// LO errors, which the span commands read to predict the RBW.
class SweepEngine {
public:
    SweepEngine();

    // Preset: window type, window length, low-pass design and IF back to their
    // starting values; the LO plan is forgotten.
    void ResetWorkingValues();

    int windowType = 0;  // 0 = flat-top, 1 = four-term Nuttall
    int windowSize = 512;
    int lowPassTaps = 63;
    double lowPassCutoff = 0.22;
    int clockMode = 0;
    double plannedStartHz = -1.0;
    double plannedStopHz = -1.0;
    double ifInUse = 10694444.444;
    double peakFreqHint = -1.0;
    std::atomic<double> lo1ErrorHz{0.0};
    std::atomic<double> lo2ErrorHz{0.0};
};

}  // namespace tavlin
