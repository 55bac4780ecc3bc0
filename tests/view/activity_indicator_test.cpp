#include <gtest/gtest.h>

#include "view/activity_indicator.h"

namespace tavlin {
namespace {

TEST(ActivityIndicatorTest, TurnsATenthARadianATickAndStartsAgainAfterATurn) {
    ActivityIndicator indicator;
    EXPECT_EQ(indicator.Angle(), 0.0f);
    int ticks = 0;
    float last = 0.0f;
    do {
        last = indicator.Angle();
        indicator.Advance();
        ++ticks;
    } while (indicator.Angle() != 0.0f && ticks < 1000);
    // 0, 0.1, ..., 6.2, then 6.3 is past 6.25 and the angle is 0 again.
    EXPECT_EQ(ticks, 63);
    EXPECT_NEAR(last, 6.2f, 1e-4f);
    indicator.Advance();
    EXPECT_NEAR(indicator.Angle(), 0.1f, 1e-6f);
}

TEST(ActivityIndicatorTest, WedgeEndsLieOnTheCircleTruncated) {
    const auto right = ActivityIndicator::WedgeBetween(0.0, 0.8);
    EXPECT_EQ(right.start.x, 656);
    EXPECT_EQ(right.start.y, 20);
    // 640 + 16 cos 0.8 = 651.147, 20 - 16 sin 0.8 = 8.522
    EXPECT_EQ(right.end.x, 651);
    EXPECT_EQ(right.end.y, 8);
    const auto up = ActivityIndicator::WedgeBetween(1.5707963, 3.14);
    EXPECT_EQ(up.start.x, 640);
    EXPECT_EQ(up.start.y, 4);
    EXPECT_EQ(up.end.x, 624);  // 640 - 15.99999 truncates toward zero
}

TEST(ActivityIndicatorTest, TwoWedgesHalfATurnApart) {
    ActivityIndicator indicator;
    for (int i = 0; i < 5; ++i) {
        indicator.Advance();
    }
    const auto wedges = indicator.Wedges();
    EXPECT_NEAR(wedges[0].fromRad, 0.5, 1e-6);
    EXPECT_NEAR(wedges[0].toRad, 1.3, 1e-6);
    EXPECT_NEAR(wedges[1].fromRad, 3.64, 1e-6);
    EXPECT_NEAR(wedges[1].toRad, 4.44, 1e-6);
}

}  // namespace
}  // namespace tavlin
