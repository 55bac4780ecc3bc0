#include <vector>

#include <gtest/gtest.h>

#include "panel/span_steps.h"

namespace tavlin {
namespace {

TEST(SpanStepsTest, DownTakesTheNextStepBelow) {
    EXPECT_EQ(SpanStepDown(26e6), 20e6);
    EXPECT_EQ(SpanStepDown(20e6), 10e6);
    EXPECT_EQ(SpanStepDown(150.0), 100.0);
    EXPECT_EQ(SpanStepDown(100.0), 100.0);
    EXPECT_EQ(SpanStepDown(0.0), 100.0);
    EXPECT_EQ(SpanStepDown(4.3998e9), 2e9);
}

TEST(SpanStepsTest, UpTakesTheNextStepAboveAndStopsAtTwoGigahertz) {
    EXPECT_EQ(SpanStepUp(26e6), 50e6);
    EXPECT_EQ(SpanStepUp(1e9), 2e9);
    EXPECT_EQ(SpanStepUp(2e9), 2e9);
    EXPECT_EQ(SpanStepUp(4.3998e9), 2e9);
    EXPECT_EQ(SpanStepUp(0.0), 100.0);
}

// A span worked out from edges in the gigahertz may be off a step by a
// rounding error: a press must still move a whole step.
TEST(SpanStepsTest, ASpanWithinRoundingOfAStepIsThatStep) {
    EXPECT_EQ(SpanStepUp(100.0 + 1e-6), 200.0);
    EXPECT_EQ(SpanStepDown(20e6 + 1e-6), 10e6);
    EXPECT_EQ(SpanStepUp(20e6 - 1e-6), 50e6);
}

TEST(SpanStepsTest, StepsRunOneTwoFiveFromOneHundredHertzToTwoGigahertz) {
    std::vector<double> up{kSmallestSpanStepHz};
    while (up.back() < kLargestSpanStepHz) {
        up.push_back(SpanStepUp(up.back()));
    }
    ASSERT_EQ(up.size(), 23u);
    for (std::size_t i = 0; i + 3 < up.size(); ++i) {
        EXPECT_EQ(up[i + 3], 10.0 * up[i]) << "step " << i;
    }
    for (std::size_t i = up.size() - 1; i > 0; --i) {
        EXPECT_EQ(SpanStepDown(up[i]), up[i - 1]);
    }
}

}  // namespace
}  // namespace tavlin
