#include "base/bounded_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/row_name.h"

namespace tavlin {
namespace {

// What a command, a meter's answer or a command-line option may start
// with, and how much of it is the number. NaN in `value`: no number.
struct NumberRow {
    const char* name;
    const char* text;
    double value;
    std::size_t used;
};

class NumberPrefixRows : public testing::TestWithParam<NumberRow> {};

TEST_P(NumberPrefixRows, ReadsAsTheCLocaleWould) {
    const NumberRow row = GetParam();
    std::size_t used = 99;
    const std::optional<double> value = ReadNumberPrefix(row.text, used);
    EXPECT_EQ(value.has_value(), !std::isnan(row.value));
    if (value) {
        EXPECT_EQ(*value, row.value);
    }
    EXPECT_EQ(used, row.used);
}

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Texts, NumberPrefixRows,
    testing::Values(NumberRow{"MeterAnswer", " -1.2340E+01\r\n", -12.34, 12},
                    NumberRow{"Plus", "+.5MZ", 0.5, 3}, NumberRow{"PlusMinus", "+-5", kNone, 0},
                    NumberRow{"Comma", "1,5", 1.0, 1}, NumberRow{"Word", "abc", kNone, 0},
                    NumberRow{"Empty", "", kNone, 0}, NumberRow{"Huge", "-1e999", -kInf, 6},
                    NumberRow{"Tiny", "1e-999", 0.0, 6}),
    test::kRowName);

TEST(ReadFiniteNumber, TakesOnlyAWholeFiniteNumber) {
    EXPECT_EQ(ReadFiniteNumber(" 2.5e3 "), 2500.0);
    EXPECT_FALSE(ReadFiniteNumber("2.5x"));
    EXPECT_FALSE(ReadFiniteNumber("inf"));
}

}  // namespace
}  // namespace tavlin
