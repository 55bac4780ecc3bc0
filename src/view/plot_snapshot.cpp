#include "view/plot_snapshot.h"

#include <mutex>

#include "document/analyzer_document.h"

namespace tavlin {

// The settings and the trace are copied under their own locks, one after the
// other and never nested, the order every other reader of the document keeps.
// Start and stop come with the settings: they share the settings lock, so the
// pair in the copy is always one the document held.
PlotSnapshot TakePlotSnapshot(const AnalyzerDocument& document) {
    PlotSnapshot snapshot;
    snapshot.settings = document.ReadSettings([](const InstrumentState& s) { return s; });
    {
        std::lock_guard lock(document.traceMutex);
        snapshot.traceAInt = document.trace.traceAInt;
        snapshot.markers = document.markers;
        snapshot.display = document.display;
    }
    snapshot.sweepRunning = document.SweepRunning();
    return snapshot;
}

}  // namespace tavlin
