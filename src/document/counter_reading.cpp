#include "document/counter_reading.h"

#include "document/analyzer_document.h"

namespace tavlin {

ReadingFlag CounterReadingFlag(const ScreenState& screen, const MarkerScale& shown) {
    const MarkerScale& counted = screen.basis.scale;
    if (!screen.basis.measured || !screen.countedHz) {
        return ReadingFlag::kNotMeasured;
    }
    if (counted.startHz != shown.startHz || counted.stopHz != shown.stopHz) {
        return ReadingFlag::kStale;
    }
    return ReadingFlag::kNone;
}

}  // namespace tavlin
