#include "remote/scpi_power_unit.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/row_name.h"

namespace tavlin {
namespace {

struct UnitRow {
    const char* name;
    ScpiPowerUnit unit;
    double atMinus20Dbm;  // across 50 ohms
};

class ScpiPowerUnitTest : public ::testing::TestWithParam<UnitRow> {};

TEST_P(ScpiPowerUnitTest, MinusTwentyDbmBothWays) {
    const UnitRow& row = GetParam();
    EXPECT_NEAR(DbmToPowerUnit(-20.0, row.unit), row.atMinus20Dbm,
                1e-6 * std::fabs(row.atMinus20Dbm));
    EXPECT_NEAR(PowerUnitToDbm(row.atMinus20Dbm, row.unit), -20.0, 1e-6);
    EXPECT_EQ(ScpiPowerUnitNamed(row.name), row.unit);
}

INSTANTIATE_TEST_SUITE_P(Units, ScpiPowerUnitTest,
                         ::testing::Values(UnitRow{"DBM", ScpiPowerUnit::kDbm, -20.0},
                                           UnitRow{"DBMV", ScpiPowerUnit::kDbmv, 26.9897},
                                           UnitRow{"DBUV", ScpiPowerUnit::kDbuv, 86.9897},
                                           UnitRow{"V", ScpiPowerUnit::kVolt, 22.36068e-3},
                                           UnitRow{"W", ScpiPowerUnit::kWatt, 10e-6}),
                         test::kRowName);

// A voltage or power of nothing has no level; the linear screen's 223.607 mV
// is 0 dBm.
TEST(ScpiPowerUnit, NoLevelForNothingAndMillivoltsOfTheLinearScreen) {
    EXPECT_TRUE(std::isnan(PowerUnitToDbm(0.0, ScpiPowerUnit::kVolt)));
    EXPECT_TRUE(std::isnan(PowerUnitToDbm(-1.0, ScpiPowerUnit::kWatt)));
    EXPECT_NEAR(MillivoltsToDbm(223.607), 0.0, 1e-4);
}

}  // namespace
}  // namespace tavlin
