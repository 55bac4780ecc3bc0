#include "sweep/sweep_engine.h"

namespace tavlin {

SweepEngine::SweepEngine() { ResetWorkingValues(); }

void SweepEngine::ResetWorkingValues() {
    windowType = 0;
    windowSize = 512;
    lowPassTaps = 63;
    lowPassCutoff = 0.22;
    peakFreqHint = -1.0;
    ifInUse = 10694444.444;
    plannedStartHz = -1.0;
    plannedStopHz = -1.0;
}

}  // namespace tavlin
