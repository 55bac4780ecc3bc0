#include <gtest/gtest.h>

#include <vector>

#include "panel/span_steps.h"

namespace tavlin {
namespace {

// From a span between steps, the next step below or above; the ends held.
TEST(SpanStepsTest, NextStepBelowAndAboveWithTheEndsHeld) {
    EXPECT_EQ(SpanStepUp(26e6), 50e6);
    EXPECT_EQ(SpanStepDown(100.0), 100.0);
    EXPECT_EQ(SpanStepDown(0.0), 100.0);
    EXPECT_EQ(SpanStepUp(0.0), 100.0);
    // A span off a step by a rounding error is that step: a press still moves.
    EXPECT_EQ(SpanStepUp(100.0 + 1e-6), 200.0);
    EXPECT_EQ(SpanStepDown(20e6 + 1e-6), 10e6);
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
