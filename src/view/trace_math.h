#pragma once

#include "document/level_rows.h"
#include "document/marker_scale.h"

namespace tavlin {

// The row of the A-B line that shows no difference: the screen's middle.
constexpr int kTraceMathReferenceRow = 250;

// Trace A less trace B, both as rows of one screen, as a line in dB about
// the middle of the screen: a column where A is 10 dB above B lies one
// division (at 10 dB/div) above the middle. On the linear scale the
// difference is taken of the voltages, in dB, at the scale's dB/div. kNoRow
// where either trace measured nothing.
ScreenRows TraceDifferenceRows(const ScreenRows& a, const ScreenRows& b, const MarkerScale& scale);

}  // namespace tavlin
