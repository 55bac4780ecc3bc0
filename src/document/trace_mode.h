#pragma once

#include <string>

#include "document/instrument_state.h"

namespace tavlin {

// What each sweep does with trace A. VIEW (the trace held, no sweep) is
// the sweep stopped, not a mode of the rows.
enum class TraceMode { kWrite, kMaxHold, kMinHold, kAverage };

// The AVERAGE mode's count when none is given.
constexpr int kDefaultPowerAverageCount = 10;

TraceMode TraceModeOf(const InstrumentState& state);

// The most sweeps the AVERAGE mode averages.
constexpr int kMostPowerAverageCount = 100;

// Chooses the mode; AVERAGE over averageCount sweeps (2 to 100), starting
// afresh. The modes exclude each other; video averaging is left as it is.
void SetTraceMode(InstrumentState& state, TraceMode mode,
                  int averageCount = kDefaultPowerAverageCount);

// The screen's annotation of trace A: the detector in use and the mode,
// "PK", "RMS MAXH", "SMP MINH", "AVG AVG 7/10". Video averaging has its
// annunciator (A), the A-B line its own colour.
std::string TraceModeText(const InstrumentState& state, Detector detectorInUse);

}  // namespace tavlin
