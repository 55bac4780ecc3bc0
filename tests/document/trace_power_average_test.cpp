// The AVERAGE trace mode: sweeps averaged in power, not in dB.
#include <gtest/gtest.h>

#include "document/trace_power_average.h"

namespace tavlin {
namespace {

TracePowerAverage::Rows Flat(double row) {
    TracePowerAverage::Rows rows{};
    rows.fill(row);
    return rows;
}

struct AverageRow {
    const char* name;
    bool linearScale;
    int count;
    std::vector<double> sweeps;  // each sweep's rows, flat
    double expectedRow;
    int expectedCount;
};

class TracePowerAverageTest : public testing::TestWithParam<AverageRow> {};

TEST_P(TracePowerAverageTest, AveragesPower) {
    const AverageRow& row = GetParam();
    TracePowerAverage average;
    TracePowerAverage::Rows out{};
    for (double sweep : row.sweeps) {
        out = average.Add(Flat(sweep), 10.0, row.linearScale, row.count);
    }
    EXPECT_NEAR(out[0], row.expectedRow, 0.01);
    EXPECT_NEAR(out[640], row.expectedRow, 0.01);
    EXPECT_EQ(average.Count(), row.expectedCount);
}

// 0 dB and -10 dB average to 10 log 0.55 = -2.60 dB (13.0 rows); in dB
// they would read -5 dB. On the linear scale row 0 is the reference
// voltage: full and none average to half the power, 0.707 of the voltage.
INSTANTIATE_TEST_SUITE_P(
    Sweeps, TracePowerAverageTest,
    testing::Values(
        AverageRow{"TwoLevelsMeanInPower", false, 10, {0.0, 50.0}, 12.98, 2},
        AverageRow{"FirstSweepTakenAsItIs", false, 10, {120.0}, 120.0, 1},
        // past the count each sweep weighs 1/2: (0.55 + 1) / 2 = 0.775
        AverageRow{"PastTheCountNewSweepsWeighOneInN", false, 2, {0.0, 50.0, 0.0}, 5.54, 2},
        AverageRow{"CountBelowOneActsAsOne", false, 0, {0.0, 50.0}, 50.0, 1},
        AverageRow{"LinearScaleAveragesVoltageSquared", true, 10, {0.0, 500.0}, 146.45, 2}),
    [](const testing::TestParamInfo<AverageRow>& info) { return info.param.name; });

}  // namespace
}  // namespace tavlin
