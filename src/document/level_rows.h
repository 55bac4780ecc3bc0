#pragma once

#include <array>
#include <cstdint>
#include <limits>

#include "base/reading_flag.h"
#include "sweep/sweep_trace.h"

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
// The bottom graticule line, ten divisions of 50 rows below the reference.
constexpr double kBottomLineRow = 500.0;

// Whether a level read from this row lies off the graticule: above the
// reference line (the sweep keeps no level beyond its top clamp, so the true
// level is at least the one read) or below the bottom line (at most).
ReadingFlag FlagOfRow(double row);

// Where a level of no power (0 mV on the linear scale) is put in dBm.
constexpr float kNoPowerDbm = -200.0f;

// The level of a row in dBm, whatever the scale drew it in: millivolts
// across 50 ohms go back to dBm, no power at all to kNoPowerDbm. Rows of the
// FM detector are no level: do not ask.
float LevelDbmOfRow(const MarkerScale& scale, double row);

using ScreenRows = std::array<std::int32_t, kTracePoints>;

// A column about which the rows say nothing: drawn as a gap, never as a level.
constexpr std::int32_t kNoRow = std::numeric_limits<std::int32_t>::min();

// Whether a level read on one scale means the same quantity on the other:
// dBm on both, mV on both, or Hz of deviation on both.
bool SameLevelUnit(const MarkerScale& a, const MarkerScale& b);

// Rows drawn on `from`, redrawn on `to`: moved for another reference level or
// dB/div, spread or gathered (the highest level of a column kept) for another
// band, kNoRow outside the band they were measured over. All kNoRow when the
// unit differs, or the screen is zero span on one side and not the other, or
// a zero-span screen looks at another frequency or time.
ScreenRows RowsOnScale(const ScreenRows& rows, const MarkerScale& from, const MarkerScale& to);

}  // namespace tavlin
