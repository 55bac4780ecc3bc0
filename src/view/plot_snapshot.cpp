#include "view/plot_snapshot.h"

#include "document/analyzer_document.h"
#include "document/counter_reading.h"
#include "view/trace_math.h"

namespace tavlin {

namespace {

void TakeMeasurementReadings(const ScreenState& screen, PlotSnapshot& snapshot) {
    const TraceMeasurementSettings& on = screen.measurements;
    if (on.channelPowerOn) {
        snapshot.channelPower =
            MeasureChannelPower(screen.trace.traceA, screen.basis, on.channelBandwidthHz);
    }
    if (on.occupiedBandwidthOn) {
        snapshot.occupiedBandwidth =
            MeasureOccupiedBandwidth(screen.trace.traceA, screen.basis, on.occupiedPercent);
    }
}

void TakeCount(const ScreenState& screen, const MarkerScale& shown, PlotSnapshot& snapshot) {
    snapshot.countedHz = screen.countedHz.value_or(0.0);
    snapshot.countFlag = CounterReadingFlag(screen, shown);
}

}  // namespace

// The settings and the trace are copied under their own locks, one after the
// other and never nested, the order every other reader of the document keeps.
// Start and stop come with the settings: they share the settings lock, so the
// pair in the copy is always one the document held.
PlotSnapshot TakePlotSnapshot(const AnalyzerDocument& document) {
    PlotSnapshot snapshot;
    snapshot.settings = document.ReadSettings([](const InstrumentState& s) { return s; });
    const MarkerScale shown = MarkerScale::From(snapshot.settings);
    document.ReadTrace([&snapshot, &shown](const ScreenState& screen) {
        snapshot.traceAInt = RowsShownOn(screen.trace.traceAInt, screen.basis, shown);
        snapshot.traceABasis = screen.basis;
        TakeCount(screen, shown, snapshot);
        snapshot.markers = screen.markers;
        snapshot.display = screen.display;
        snapshot.display.traceBRows =
            RowsShownOn(screen.display.traceBRows, screen.display.traceBBasis, shown);
        if (screen.display.limitLinesOn) {
            snapshot.limitVerdict = screen.limitVerdict;
        }
        TakeMeasurementReadings(screen, snapshot);
        snapshot.traceFlag = screen.sweepIncomplete ? ReadingFlag::kIncomplete : ReadingFlag::kNone;
    });
    if (snapshot.display.traceMathShown) {
        snapshot.traceMathRows =
            TraceDifferenceRows(snapshot.traceAInt, snapshot.display.traceBRows, shown);
    }
    snapshot.detectorInUse = document.TakeSweepSettings().detector;
    snapshot.sweepRunning = document.SweepRunning();
    snapshot.waitingForTrigger = document.WaitingForTrigger();
    snapshot.uncalibrated = !document.CalibrationUntrusted().empty();
    return snapshot;
}

void ShowLevelsAs(const LevelDisplay& levels, PlotSnapshot& snapshot) {
    snapshot.levels = levels;
    if (!levels.Transducer()) {
        return;
    }
    const MarkerScale shown = MarkerScale::From(snapshot.settings);
    DisplayState& display = snapshot.display;
    snapshot.traceAInt = levels.CorrectedRows(snapshot.traceAInt, shown);
    display.traceBRows = levels.CorrectedRows(display.traceBRows, shown);
    display.upperLimitRows = levels.CorrectedRows(display.upperLimitRows, shown);
    display.lowerLimitRows = levels.CorrectedRows(display.lowerLimitRows, shown);
}

}  // namespace tavlin
