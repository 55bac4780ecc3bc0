#pragma once

#include <array>
#include <cstdint>

#include "document/display_state.h"
#include "document/instrument_state.h"
#include "document/limit_test.h"
#include "document/marker_state.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

class AnalyzerDocument;

// Everything one paint of the analyzer screen reads, copied from the document
// under its locks, so a paint may show the previous sweep but never a torn one.
struct PlotSnapshot {
    InstrumentState settings;
    std::array<std::int32_t, kTracePoints> traceAInt{};
    MarkerState markers;
    DisplayState display;
    LimitVerdict limitVerdict;
    bool sweepRunning = false;
    bool waitingForTrigger = false;
};

PlotSnapshot TakePlotSnapshot(const AnalyzerDocument& document);

}  // namespace tavlin
