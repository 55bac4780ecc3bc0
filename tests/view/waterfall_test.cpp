// The waterfall's rules without a window: which line lies under a pointer at
// each line height, the automatic colour range and how it holds still, and
// the pointer's readout of a known line.
#include <gtest/gtest.h>

#include <optional>

#include "support/row_name.h"
#include "view/waterfall_colour_range.h"
#include "view/waterfall_readout.h"
#include "view/waterfall_rows.h"

namespace tavlin {
namespace {

using test::kRowName;

struct RowsRow {
    const char* name;
    double viewHeight;
    int lineHeight;  // 0: Fit
    std::size_t historyLines;
    double y;
    std::optional<int> age;
    int slotsShown;
};

class WaterfallRowsTest : public testing::TestWithParam<RowsRow> {};

TEST_P(WaterfallRowsTest, FindsTheLineUnderThePointer) {
    const RowsRow& r = GetParam();
    const WaterfallRows rows(r.viewHeight, r.lineHeight, r.historyLines);
    EXPECT_EQ(rows.AgeAt(r.y), r.age);
    EXPECT_EQ(rows.SlotsShown(), r.slotsShown);
}

INSTANTIATE_TEST_SUITE_P(
    Heights, WaterfallRowsTest,
    testing::Values(RowsRow{"OnePixelNewestAtTop", 300, 1, 512, 0.5, 0, 300},
                    RowsRow{"ThreePixelsLastPixelOfLineTwo", 300, 3, 512, 8.99, 2, 100},
                    RowsRow{"ThreePixelsPartLineAtTheBottom", 301, 3, 512, 300.5, 100, 101},
                    RowsRow{"ShortHistoryEndsAboveTheBottom", 300, 4, 50, 200.0, std::nullopt, 50},
                    RowsRow{"FitSpreadsTheHistory", 300, 0, 100, 298.0, 99, 100},
                    RowsRow{"FitMoreLinesThanPixels", 300, 0, 600, 150.0, 300, 600},
                    RowsRow{"AboveTheView", 300, 2, 512, -0.5, std::nullopt, 150},
                    RowsRow{"BelowTheView", 300, 2, 512, 300.0, std::nullopt, 150}),
    kRowName);

// Every line the same ramp across the band, -100 dBm at the first point
// rising 0.1 dB a point, moved by `shiftDb`.
SpectrogramHistory Ramps(int lines, double shiftDb) {
    SpectrogramHistory history;
    MarkerScale scale;
    scale.startHz = 900e6;
    scale.stopHz = 901e6;
    TraceRows rows;
    for (int column = 0; column < kTracePoints; ++column) {
        rows[column] = (100.0 - shiftDb - 0.1 * column) * 5.0;  // 50 rows a division below 0 dBm
    }
    for (int i = 0; i < lines; ++i) {
        history.Append({}, scale, rows);
    }
    return history;
}

// The ramp's 5th percentile is at -96.8 dBm and its 99.9th at -36.06 dBm:
// the range is a step of 5 dB beyond the steps holding them. It moves only
// once either percentile has moved by a whole step.
struct RangeRow {
    const char* name;
    double shiftDb;
    ColourRange range;
};

class WaterfallColourRangeTest : public testing::TestWithParam<RangeRow> {};

TEST_P(WaterfallColourRangeTest, FollowsTheLevelsKeptWithoutFlicker) {
    const ColourRange screen{-90.0, 10.0};
    WaterfallColourRange automatic;
    EXPECT_EQ(automatic.Follow(SpectrogramHistory(), screen), screen) << "no line yet";
    EXPECT_EQ(automatic.Follow(Ramps(3, 0.0), screen), (ColourRange{-105.0, -30.0}));
    EXPECT_EQ(automatic.Follow(Ramps(700, GetParam().shiftDb), screen), GetParam().range);
}

INSTANTIATE_TEST_SUITE_P(Shifts, WaterfallColourRangeTest,
                         testing::Values(RangeRow{"Unmoved", 0.0, {-105.0, -30.0}},
                                         RangeRow{"UpLessThanAStep", 4.0, {-105.0, -30.0}},
                                         RangeRow{"DownLessThanAStep", -4.0, {-105.0, -30.0}},
                                         RangeRow{"UpTwoSteps", 10.0, {-95.0, -20.0}},
                                         RangeRow{"DownMoreThanAStep", -9.0, {-115.0, -40.0}}),
                         kRowName);

struct ReadoutRow {
    const char* name;
    SpectrogramBand band;
    int column;
    const char* text;
};

class WaterfallReadoutTest : public testing::TestWithParam<ReadoutRow> {};

TEST_P(WaterfallReadoutTest, ReadsTheLineUnderThePointer) {
    SpectrogramLine line;
    line.utcSec = 1796712319.19;  // 2026-12-08 06:45:19.19 UTC
    line.levelsDbm.fill(-80.0f);
    line.levelsDbm[320] = -42.5f;
    EXPECT_EQ(WaterfallReadout::Text(GetParam().band, line, GetParam().column), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Bands, WaterfallReadoutTest,
    testing::Values(ReadoutRow{"Frequency",
                               {900e6, 901e6},
                               320,
                               "Cursor at 900.500000 MHz, -42.50 dBm, 06:45:19.1 UTC"},
                    ReadoutRow{"WithConverterOffset",
                               {900e6, 901e6, false, 0.1, 1e9},
                               0,
                               "Cursor at 1.900000000 GHz, -80.00 dBm, 06:45:19.1 UTC"},
                    ReadoutRow{"ZeroSpanTimeInSweep",
                               {915e6, 915e6, true, 0.064},
                               320,
                               "Cursor at 32.000 msec, -42.50 dBm, 06:45:19.1 UTC"}),
    kRowName);

}  // namespace
}  // namespace tavlin
