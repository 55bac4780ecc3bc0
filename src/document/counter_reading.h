#pragma once

#include "base/reading_flag.h"

namespace tavlin {

class MarkerScale;
struct ScreenState;

// The flag of the counter's reading on the screen `shown`: not measured when
// the sweep on screen counted nothing; stale when it was counted under
// other frequencies, where the signal it counted may not be on the screen at
// all. The sweep's own flag of the count (its settings) comes on top.
ReadingFlag CounterReadingFlag(const ScreenState& screen, const MarkerScale& shown);

}  // namespace tavlin
