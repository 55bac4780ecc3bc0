#include "base/contrast_ratio.h"

#include <gtest/gtest.h>

namespace tavlin {
namespace {

// The published ratios, either way round.
TEST(ContrastRatio, MatchesThePublishedRatios) {
    EXPECT_NEAR(ContrastRatio({0, 0, 0}, {255, 255, 255}), 21.0, 0.01);
    EXPECT_NEAR(ContrastRatio({255, 255, 255}, {0x77, 0x77, 0x77}), 4.48, 0.01);
    EXPECT_NEAR(ContrastRatio({255, 0, 0}, {0, 0, 0}), 5.25, 0.01);
}

}  // namespace
}  // namespace tavlin
