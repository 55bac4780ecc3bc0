#pragma once

#include "base/reading_flag.h"

namespace tavlin {

class MarkerScale;

// The screen row of a level, the inverse of MarkerScale::LevelOfRow: row 0 is
// the reference level, 50 rows a division, row 500 the bottom line. The level
// is in the unit the screen shows: Hz of deviation in zero-span FM, mV on the
// linear scale, dBm with the reference level offset otherwise.
double RowOfLevel(const MarkerScale& scale, double level);

// The row truncated toward zero. Levels far above or below the screen give
// rows far outside it (kFarRow at most), never an integer out of range; a
// level that is not a number lies on the bottom line.
int LevelToRow(const MarkerScale& scale, double level);

constexpr int kFarRow = 10000;

// Whether a level read from this row lies off the graticule: above the
// reference line (the sweep keeps no level beyond its top clamp, so the true
// level is at least the one read) or below the bottom line (at most).
ReadingFlag FlagOfRow(double row);

}  // namespace tavlin
