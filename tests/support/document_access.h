#pragma once

#include "document/analyzer_document.h"
#include "document/sweep_pause.h"

namespace tavlin::test {

// Copies of what the document shows, taken under its lock.
inline SweepTrace TraceOf(const AnalyzerDocument& doc) {
    return doc.ReadTrace([](const ScreenState& s) { return s.trace; });
}

inline MarkerState MarkersOf(const AnalyzerDocument& doc) {
    return doc.ReadTrace([](const ScreenState& s) { return s.markers; });
}

inline DisplayState DisplayOf(const AnalyzerDocument& doc) {
    return doc.ReadTrace([](const ScreenState& s) { return s.display; });
}

// The instrument for one use, with the sweep paused around it.
template <typename Use>
auto WithInstrument(AnalyzerDocument& doc, Use&& use) {
    SweepPause pause(doc);
    return use(pause.Instrument());
}

}  // namespace tavlin::test
