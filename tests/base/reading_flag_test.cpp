#include "base/reading_flag.h"

#include <gtest/gtest.h>

namespace tavlin {
namespace {

struct FlagRow {
    ReadingFlag flag;
    const char* text;  // of the reading "-20.00"
    int scpiCode;
};

class ReadingFlagRows : public testing::TestWithParam<FlagRow> {};

TEST_P(ReadingFlagRows, ReadsTheSameAsTextAndOverScpi) {
    const FlagRow row = GetParam();
    EXPECT_EQ(FlaggedReadingText("-20.00", row.flag), row.text);
    EXPECT_EQ(ScpiErrorOfReadingFlag(row.flag).code, row.scpiCode);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, ReadingFlagRows,
    testing::Values(FlagRow{ReadingFlag::kNone, "-20.00", 0},
                    FlagRow{ReadingFlag::kAboveScreen, ">-20.00", -231},
                    FlagRow{ReadingFlag::kBelowScreen, "<-20.00", -231},
                    FlagRow{ReadingFlag::kOverRange, "-20.00 OVER RANGE", -231},
                    FlagRow{ReadingFlag::kOffSpan, "OFF SPAN", -230},
                    FlagRow{ReadingFlag::kStale, "STALE", -230},
                    FlagRow{ReadingFlag::kIncomplete, "-20.00 INCOMPLETE", -230}));

TEST(ReadingFlag, NoNumberBeatsADoubtfulOneWhichBeatsAnEdge) {
    EXPECT_EQ(WorseReadingFlag(ReadingFlag::kAboveScreen, ReadingFlag::kOffSpan),
              ReadingFlag::kOffSpan);
    EXPECT_EQ(WorseReadingFlag(ReadingFlag::kOverRange, ReadingFlag::kAboveScreen),
              ReadingFlag::kOverRange);
    EXPECT_EQ(WorseReadingFlag(ReadingFlag::kNone, ReadingFlag::kBelowScreen),
              ReadingFlag::kBelowScreen);
    EXPECT_EQ(ScpiErrorOfReadingFlag(ReadingFlag::kAboveScreen).text,
              "Data questionable;ABOVE SCREEN");
}

}  // namespace
}  // namespace tavlin
