#pragma once

#include "document/analyzer_document.h"

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

}  // namespace tavlin::test
