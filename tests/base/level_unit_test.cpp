#include "base/level_unit.h"

#include <gtest/gtest.h>

#include <cmath>

#include "remote/scpi_power_unit.h"
#include "support/row_name.h"

namespace tavlin {
namespace {

struct UnitRow {
    const char* name;
    LevelUnit unit;
    double dbm;
    double value;  // across 50 ohms
    const char* shown;
    const char* scpiName;  // empty: not a SCPI unit
};

class LevelUnitRows : public ::testing::TestWithParam<UnitRow> {};

TEST_P(LevelUnitRows, ConvertsBothWaysShowsAndNames) {
    const UnitRow& row = GetParam();
    EXPECT_NEAR(DbmToLevel(row.dbm, row.unit), row.value, 1e-5 * std::fabs(row.value));
    EXPECT_NEAR(LevelToDbm(row.value, row.unit), row.dbm, 1e-4);
    EXPECT_EQ(ShownLevelText(DbmToLevel(row.dbm, row.unit), row.unit), row.shown);
    EXPECT_EQ(LevelUnitOfKey(LevelUnitKey(row.unit)), row.unit);
    if (*row.scpiName != '\0') {
        EXPECT_EQ(ScpiPowerUnitNamed(row.scpiName), row.unit);
        EXPECT_STREQ(ScpiPowerUnitName(row.unit), row.scpiName);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, LevelUnitRows,
    ::testing::Values(
        UnitRow{"ZeroDbm", LevelUnit::kDbm, 0.0, 0.0, "0.00 dBm", "DBM"},
        UnitRow{"ZeroDbmInDbmv", LevelUnit::kDbmv, 0.0, 46.9897, "46.99 dBmV", "DBMV"},
        UnitRow{"ZeroDbmInDbuv", LevelUnit::kDbuv, 0.0, 106.9897, "106.99 dB\u00B5V", "DBUV"},
        UnitRow{"ZeroDbmInVolts", LevelUnit::kVolt, 0.0, 0.2236068, "223.6 mV", "V"},
        UnitRow{"ZeroDbmInWatts", LevelUnit::kWatt, 0.0, 1e-3, "1.000 mW", "W"},
        UnitRow{"MinusTwentyInDbmv", LevelUnit::kDbmv, -20.0, 26.9897, "26.99 dBmV", "DBMV"},
        UnitRow{"MinusTwentyInVolts", LevelUnit::kVolt, -20.0, 22.36068e-3, "22.36 mV", "V"},
        UnitRow{"MinusSeventyInWatts", LevelUnit::kWatt, -70.0, 1e-10, "100.0 pW", "W"},
        UnitRow{"MinusHundredInVolts", LevelUnit::kVolt, -100.0, 2.236068e-6, "2.236 \u00B5V", "V"},
        UnitRow{"TwentyDbmInWatts", LevelUnit::kWatt, 20.0, 0.1, "100.0 mW", "W"},
        UnitRow{"FieldStrengthReadsAsDbuv", LevelUnit::kDbuvPerMetre, -60.0, 46.9897,
                "46.99 dB\u00B5V/m", ""}),
    test::kRowName);

// A voltage or power of nothing has no level; the linear screen's 223.607 mV
// is 0 dBm; words that name no unit name none.
TEST(LevelUnit, NoLevelForNothingAndNoUnitForOtherWords) {
    EXPECT_TRUE(std::isnan(LevelToDbm(0.0, LevelUnit::kVolt)));
    EXPECT_TRUE(std::isnan(LevelToDbm(-1.0, LevelUnit::kWatt)));
    EXPECT_NEAR(MillivoltsToDbm(223.607), 0.0, 1e-4);
    EXPECT_EQ(LevelUnitOfKey("dBuV/m"), LevelUnit::kDbuvPerMetre);
    EXPECT_FALSE(LevelUnitOfKey("dBW"));
    EXPECT_FALSE(ScpiPowerUnitNamed("DBUV/M"));
}

}  // namespace
}  // namespace tavlin
