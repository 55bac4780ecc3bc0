#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "document/display_state.h"
#include "document/instrument_state.h"
#include "document/limit_verdict.h"
#include "document/marker_state.h"
#include "document/trace_measurements.h"
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
    // The calibration table in use cannot be trusted: every level is UNCAL.
    bool uncalibrated = false;
    // The readings of the measurements that are on, taken from the trace on
    // screen; empty while off or while that trace gives none.
    std::optional<ChannelPowerReading> channelPower;
    std::optional<OccupiedBandwidthReading> occupiedBandwidth;
};

PlotSnapshot TakePlotSnapshot(const AnalyzerDocument& document);

}  // namespace tavlin
