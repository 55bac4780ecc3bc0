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

// 0 dB and -10 dB (row 50) average to 10 log 0.55 = -2.60 dB, not -5 dB;
// past the count of 2 each new sweep weighs 1/2: (0.55 + 1) / 2, -1.11 dB.
// On the linear scale (row 0 the reference voltage, row 500 none) half the
// power is 0.707 of the voltage.
TEST(TracePowerAverage, MeanPowerThenEachNewSweepWeighsOneInN) {
    TracePowerAverage average;
    EXPECT_NEAR(average.Add(Flat(0.0), 10.0, false, 2)[0], 0.0, 0.01);
    EXPECT_NEAR(average.Add(Flat(50.0), 10.0, false, 2)[320], 12.98, 0.01);
    EXPECT_NEAR(average.Add(Flat(0.0), 10.0, false, 2)[640], 5.54, 0.01);
    EXPECT_EQ(average.Count(), 2);
    TracePowerAverage linear;
    linear.Add(Flat(0.0), 10.0, true, 10);
    EXPECT_NEAR(linear.Add(Flat(500.0), 10.0, true, 10)[0], 146.45, 0.01);
}

}  // namespace
}  // namespace tavlin
