#include "document/limit_mask.h"

#include <gtest/gtest.h>

#include <string>

#include "document/limit_verdict.h"
#include "document/marker_scale.h"

namespace tavlin {
namespace {

// A mask with a vertical step on each side of a channel, and a lower limit.
const char* const kMaskText =
    "# emission mask\r\n"
    "905e6, -50\r\n"
    "910e6,-50\n"
    "910e6,-10\n"
    "920e6,+0\n"
    "\n"
    "LOWER\n"
    "912e6,-90\n"
    "918e6,-90\n";

TEST(LimitMaskTest, ParsesSectionsAndInterpolatesBetweenPoints) {
    const LimitMaskParse parsed = ParseLimitMask(kMaskText);
    ASSERT_TRUE(parsed.mask) << parsed.error;
    const LimitMask& mask = *parsed.mask;
    EXPECT_EQ(mask.upper.size(), 4u);
    EXPECT_EQ(mask.lower.size(), 2u);
    EXPECT_DOUBLE_EQ(*UpperLimitAt(mask, 907e6), -50.0);
    EXPECT_DOUBLE_EQ(*UpperLimitAt(mask, 915e6), -5.0);
    EXPECT_DOUBLE_EQ(*UpperLimitAt(mask, 910e6), -50.0) << "the stricter side of the step";
    EXPECT_FALSE(UpperLimitAt(mask, 904e6));
    EXPECT_FALSE(UpperLimitAt(mask, 921e6));
    EXPECT_DOUBLE_EQ(*LowerLimitAt(mask, 915e6), -90.0);
    EXPECT_FALSE(LowerLimitAt(mask, 911e6));
    const LimitMaskParse marked = ParseLimitMask("\xEF\xBB\xBF" + std::string(kMaskText));
    EXPECT_TRUE(marked.mask && *marked.mask == mask) << "with a byte-order mark: " << marked.error;

    const LimitMaskParse again = ParseLimitMask(FormatLimitMask(mask));
    ASSERT_TRUE(again.mask) << again.error;
    EXPECT_EQ(*again.mask, mask) << "written and read back bit for bit";
}

TEST(LimitMaskTest, RefusesTheWholeFileAndNamesTheLine) {
    struct Row {
        const char* name;
        std::string text;
        const char* error;
    };
    const Row rows[] = {
        {"no points", "# nothing\nupper\n", "the file holds no points"},
        {"one field", "1e9,-10\n2e9\n", "line 2: expected"},
        {"three fields", "1e9,-10,3\n", "line 1: expected"},
        {"not a number", "1e9,-10\nabc,-20\n", "line 2: the frequency"},
        {"negative frequency", "-1,-10\n", "line 1: the frequency"},
        {"level NaN", "1e9,nan\n", "line 1: the level"},
        {"level far off", "1e9,1e6\n", "line 1: the level"},
        {"trailing text", "1e9,-10 dBm\n", "line 1: the level"},
        {"falling frequency", "2e9,-10\n1e9,-10\n", "line 2: the frequency falls"},
        {"too large", std::string(kMaxLimitMaskBytes + 1, '#'), "larger than 1 MiB"},
    };
    for (const Row& row : rows) {
        const LimitMaskParse parsed = ParseLimitMask(row.text);
        EXPECT_FALSE(parsed.mask) << row.name;
        EXPECT_NE(parsed.error.find(row.error), std::string::npos)
            << row.name << ": " << parsed.error;
    }
}

// Rows follow the scale: 50 rows a division down from the reference level;
// columns beyond the mask lie far off the screen. A trace that touches a
// line passes; one row beyond it fails, with the level in dBm. A sweep that
// overdrove the IF passes nothing.
TEST(LimitMaskTest, TraceIsTestedAgainstTheRowsOfTheMask) {
    const MarkerScale scale{.startHz = 900e6, .stopHz = 932e6, .refLevelDbm = 0.0};
    const LimitMask mask = *ParseLimitMask(kMaskText).mask;
    const LimitRows rows = RowsOfLimitMask(mask, scale);
    EXPECT_EQ(rows.upper[300], 25);  // 915 MHz, -5 dBm
    EXPECT_EQ(rows.lower[300], 450);
    EXPECT_LT(rows.upper[0], -5000);
    EXPECT_GT(rows.lower[0], 5000);

    std::array<double, kTracePoints> trace{};
    trace.fill(450.0);
    EXPECT_TRUE(TestTraceAgainstLimits(trace, rows.upper, rows.lower, scale).pass);
    EXPECT_FALSE(TestTraceAgainstLimits(trace, rows.upper, rows.lower, scale, true).pass);
    trace[300] = 24.0;
    trace[320] = 451.0;
    const LimitVerdict verdict = TestTraceAgainstLimits(trace, rows.upper, rows.lower, scale);
    ASSERT_EQ(verdict.failures.size(), 2u);
    EXPECT_FALSE(verdict.pass);
    EXPECT_DOUBLE_EQ(verdict.failures[0].position, 915e6);
    EXPECT_TRUE(verdict.failures[0].upper);
    EXPECT_NEAR(verdict.failures[0].level, -4.8, 1e-9);
    EXPECT_NEAR(verdict.failures[0].limit, -5.0, 1e-9);
    EXPECT_FALSE(verdict.failures[1].upper);

    // Above the screen a row is only a bound: it fails a limit below it, and
    // decides nothing against a limit above the screen.
    trace.fill(450.0);
    trace[300] = -5.0;
    EXPECT_EQ(TestTraceAgainstLimits(trace, rows.upper, rows.lower, scale).failures[0].flag,
              ReadingFlag::kAboveScreen);
    auto high = rows.upper;
    high[300] = -50;
    const LimitVerdict unknown = TestTraceAgainstLimits(trace, high, rows.lower, scale);
    EXPECT_TRUE(unknown.overRange && !unknown.pass && unknown.failures.empty());
}

}  // namespace
}  // namespace tavlin
