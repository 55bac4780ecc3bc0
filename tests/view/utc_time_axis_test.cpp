// The waterfall's UTC labels: a step the clock reads well, and each label on
// the first line that ended at or before its time.
#include <gtest/gtest.h>

#include <vector>

#include "support/row_name.h"
#include "view/utc_time_axis.h"

namespace tavlin {
namespace {

struct StepRow {
    const char* name;
    double spanSec;
    int maxLabels;
    double stepSec;
};

class UtcTimeAxisStepTest : public testing::TestWithParam<StepRow> {};

TEST_P(UtcTimeAxisStepTest, PicksTheSmallestStepThatFits) {
    EXPECT_EQ(UtcTimeAxis::Step(GetParam().spanSec, GetParam().maxLabels), GetParam().stepSec);
}

INSTANTIATE_TEST_SUITE_P(Spans, UtcTimeAxisStepTest,
                         testing::Values(StepRow{"seconds", 3.0, 5, 1.0},
                                         StepRow{"a_minute_in_five", 60.0, 5, 15.0},
                                         StepRow{"an_hour_in_four", 3600.0, 4, 1200.0 * 1.5},
                                         StepRow{"two_days", 2 * 86400.0, 2, 86400.0 * 2},
                                         StepRow{"no_room_still_one_label", 10.0, 0, 15.0}),
                         test::kRowName);

TEST(UtcTimeAxis, LabelsWholeStepsOnTheFirstLineEndedByThem) {
    std::vector<double> rowUtc;  // a line every 4 s, newest first, from 100.5 down to 60.5
    for (double t = 100.5; t > 60.0; t -= 4.0) {
        rowUtc.push_back(t);
    }
    const std::vector<UtcTick> ticks = UtcTimeAxis::Ticks(rowUtc, 4);
    ASSERT_EQ(ticks.size(), 2u);  // 60 is older than the oldest line
    EXPECT_EQ(ticks[0].utcSec, 90.0);
    EXPECT_EQ(ticks[0].row, 3);  // 88.5 is the first at or before 90
    EXPECT_EQ(ticks[1].utcSec, 75.0);
    EXPECT_EQ(ticks[1].row, 7);
    EXPECT_TRUE(UtcTimeAxis::Ticks({}, 4).empty());
}

}  // namespace
}  // namespace tavlin
