#include "view/plot_snapshot.h"

#include "document/analyzer_document.h"

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

}  // namespace

// The settings and the trace are copied under their own locks, one after the
// other and never nested, the order every other reader of the document keeps.
// Start and stop come with the settings: they share the settings lock, so the
// pair in the copy is always one the document held.
PlotSnapshot TakePlotSnapshot(const AnalyzerDocument& document) {
    PlotSnapshot snapshot;
    snapshot.settings = document.ReadSettings([](const InstrumentState& s) { return s; });
    document.ReadTrace([&snapshot](const ScreenState& screen) {
        snapshot.traceAInt = screen.trace.traceAInt;
        snapshot.markers = screen.markers;
        snapshot.display = screen.display;
        if (screen.display.limitLinesOn) {
            snapshot.limitVerdict = screen.limitVerdict;
        }
        TakeMeasurementReadings(screen, snapshot);
    });
    snapshot.sweepRunning = document.SweepRunning();
    snapshot.waitingForTrigger = document.WaitingForTrigger();
    snapshot.uncalibrated = !document.CalibrationUntrusted().empty();
    return snapshot;
}

}  // namespace tavlin
