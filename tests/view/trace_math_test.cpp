// Trace A less trace B as a line in dB about the screen's middle.
#include <gtest/gtest.h>

#include "view/trace_math.h"

namespace tavlin {
namespace {

// At 10 dB/div A 10 dB above B lies a division above the middle; voltages
// of 0.5 and 0.25 of the reference level differ by 6.02 dB.
TEST(TraceMath, DifferenceInDbAboutTheMiddle) {
    MarkerScale scale;
    const ScreenRows a{300, 100, 100};
    const ScreenRows b{300, 150, kNoRow};
    const ScreenRows difference = TraceDifferenceRows(a, b, scale);
    EXPECT_EQ(difference[0], 250);
    EXPECT_EQ(difference[1], 200);
    EXPECT_EQ(difference[2], kNoRow);
    scale.linearScale = true;
    EXPECT_EQ(TraceDifferenceRows(ScreenRows{250}, ScreenRows{375}, scale)[0], 220);
}

}  // namespace
}  // namespace tavlin
