#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "base/reading_flag.h"
#include "document/display_state.h"
#include "document/instrument_state.h"
#include "document/limit_verdict.h"
#include "document/marker_state.h"
#include "document/trace_measurements.h"
#include "sweep/sweep_trace.h"
#include "view/level_display.h"

namespace tavlin {

class AnalyzerDocument;

// Everything one paint of the analyzer screen reads, copied from the document
// under its locks, so a paint may show the previous sweep but never a torn one.
struct PlotSnapshot {
    InstrumentState settings;
    // Trace A and trace B on the screen of `settings`: kNoRow where they
    // measured nothing of it.
    std::array<std::int32_t, kTracePoints> traceAInt{};
    // What trace A was measured under; the markers read their levels from it.
    TraceBasis traceABasis;
    // The counter's reading of the sweep on screen, flagged stale when made
    // under other frequencies than those shown and not measured when that
    // sweep could not count.
    double countedHz = 0.0;
    ReadingFlag countFlag = ReadingFlag::kNone;
    // The detector the sweep draws with (RMS while a measurement integrates).
    Detector detectorInUse = Detector::kPeak;
    // Trace A less trace B (TraceDifferenceRows) while display.traceMathShown.
    std::array<std::int32_t, kTracePoints> traceMathRows{};
    MarkerState markers;
    DisplayState display;
    LimitVerdict limitVerdict;
    bool sweepRunning = false;
    bool waitingForTrigger = false;
    // kIncomplete while the last sweep failed or lost data: what is drawn is
    // the last complete sweep, and every reading of it says so.
    ReadingFlag traceFlag = ReadingFlag::kNone;
    // The calibration table in use cannot be trusted: every level is UNCAL.
    bool uncalibrated = false;
    // The readings of the measurements that are on, taken from the trace on
    // screen; empty while off or while that trace gives none.
    std::optional<ChannelPowerReading> channelPower;
    std::optional<OccupiedBandwidthReading> occupiedBandwidth;
    // The window's unit and transducer; the rows above are already moved by
    // its factor once ShowLevelsAs has run.
    LevelDisplay levels;
};

PlotSnapshot TakePlotSnapshot(const AnalyzerDocument& document);

// Trace A, trace B and the limit lines moved by the transducer's factor, so
// that the picture and the limit verdict (made at the analyzer's input)
// agree; A-B stays, both traces moving alike.
void ShowLevelsAs(const LevelDisplay& levels, PlotSnapshot& snapshot);

}  // namespace tavlin
