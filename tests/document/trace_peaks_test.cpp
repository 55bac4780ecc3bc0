#include "document/trace_peaks.h"

#include <gtest/gtest.h>

#include <vector>

#include "document/peak_table.h"

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

// The table of Trace() on 0 dBm at 10 dB/div (level -row / 5), a column a
// kHz: the highest first, cut by count and threshold; a smaller excursion
// admits the shoulder (10 rows above its side) and then the ripple.
struct PeakTableCase {
    const char* name;
    PeakTableSettings settings;
    std::vector<int> columns;
};

class PeakTableTest : public ::testing::TestWithParam<PeakTableCase> {};

TEST_P(PeakTableTest, ListsTheHighestPeaks) {
    MarkerScale scale;
    scale.stopHz = 640e3;
    std::array<double, kTracePoints> rows = Trace();
    rows[300] = -1.0;  // above the screen: at least -20 dBm
    const std::vector<PeakTableRow> table = FindPeakTable(rows, scale, false, GetParam().settings);
    std::vector<int> columns;
    for (const PeakTableRow& row : table) {
        columns.push_back(static_cast<int>(row.position / 1e3));
        EXPECT_DOUBLE_EQ(row.level, -rows[columns.back()] / 5.0);
        EXPECT_EQ(row.flag, columns.back() == 300 ? ReadingFlag::kAboveScreen : ReadingFlag::kNone);
    }
    EXPECT_EQ(columns, GetParam().columns);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, PeakTableTest,
    ::testing::Values(PeakTableCase{"AllAboveTheNoise", {10, -100.0, 6.0}, {300, 100, 500}},
                      PeakTableCase{"CutByCount", {2, -100.0, 6.0}, {300, 100}},
                      PeakTableCase{"CutByThreshold", {10, -45.0, 6.0}, {300, 100}},
                      PeakTableCase{"SmallExcursion", {5, -100.0, 1.5}, {300, 305, 100, 500}},
                      PeakTableCase{"RippleAtLast", {5, -100.0, 0.5}, {300, 305, 100, 500, 1}}),
    test::kRowName);

}  // namespace
}  // namespace tavlin
