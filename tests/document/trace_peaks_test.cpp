#include "document/trace_peaks.h"

#include <gtest/gtest.h>

#include "support/row_name.h"

namespace tavlin {
namespace {

// A floor at row 400 with a ripple of 5 rows, peaks at points 100 (row 200),
// 300 (row 100) and 500 (row 250), and a shoulder at 305 (row 130) that does
// not fall 30 rows towards the peak beside it.
std::array<double, kTracePoints> Trace() {
    std::array<double, kTracePoints> rows{};
    for (int i = 0; i < kTracePoints; ++i) {
        rows[i] = i % 2 == 0 ? 400.0 : 395.0;
    }
    rows[100] = 200.0;
    rows[300] = 100.0;
    rows[500] = 250.0;
    for (int i = 301; i <= 306; ++i) {
        rows[i] = 140.0;
    }
    rows[305] = 130.0;
    return rows;
}

struct PeakRow {
    const char* name;
    int from;
    PeakSearch search;
    int found;  // -1: none
};

class TracePeaksTest : public ::testing::TestWithParam<PeakRow> {};

TEST_P(TracePeaksTest, FindsThePeakThatWay) {
    const PeakRow& row = GetParam();
    const std::optional<int> found = FindPeak(Trace(), row.from, row.search, 30.0);
    EXPECT_EQ(found.value_or(-1), row.found);
}

INSTANTIATE_TEST_SUITE_P(
    Searches, TracePeaksTest,
    ::testing::Values(PeakRow{"NextLowerFromTheHighest", 300, PeakSearch::kNextLower, 100},
                      PeakRow{"NextLowerAgain", 100, PeakSearch::kNextLower, 500},
                      PeakRow{"NoneLowerThanTheLowest", 500, PeakSearch::kNextLower, -1},
                      PeakRow{"LeftOfTheHighest", 300, PeakSearch::kLeft, 100},
                      PeakRow{"NoneLeftOfTheFirst", 100, PeakSearch::kLeft, -1},
                      PeakRow{"RightPassesTheShoulder", 300, PeakSearch::kRight, 500},
                      PeakRow{"RightPassesTheRipple", 0, PeakSearch::kRight, 100},
                      PeakRow{"NoneRightOfTheLast", 500, PeakSearch::kRight, -1}),
    test::kRowName);

}  // namespace
}  // namespace tavlin
