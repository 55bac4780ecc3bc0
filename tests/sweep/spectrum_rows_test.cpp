// Rows of the screen, and the IF-path factor every sampler reading is
// corrected by.
#include <gtest/gtest.h>

#include <limits>

#include "device/cal_table.h"
#include "sweep/if_path_response.h"
#include "sweep/spectrum_rows.h"

namespace tavlin {
namespace {

// A reading that is not a number or infinite, or a response entry that
// passes nothing, draws on the floor or counts as flat rather than poisoning the trace.
TEST(SpectrumRows, NonFiniteReadingsAndEmptyResponseEntriesAreHeld) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    SweepSettings linear;
    linear.linearScale = 1;
    CalTable cal;
    cal.Bytes().fill(150);  // every IF response entry 1.5
    cal.Bytes()[2436 + 30] = 0;
    cal.DeriveValues();
    struct Row {
        const char* name;
        double got, expected;
    };
    const Row rows[] = {
        {"power not a number, dB scale", ToScreenRow(nan, -10.0, SweepSettings{}), 505.0},
        {"power not a number, linear scale", ToScreenRow(nan, -10.0, linear), 505.0},
        {"power below 0", ToScreenRow(-1.0, -10.0, SweepSettings{}), 505.0},
        {"infinite power is no signal", ToScreenRow(inf, -10.0, SweepSettings{}), 505.0},
        {"row of minus infinity", ClampRow(-inf), 505.0},
        {"droop at an offset not a number", DroopPowerFactor(1, nan), 1.0},
        {"IF not a number: first entry", IfPathPowerFactor(cal, false, 1, 10.7e6, nan), 1.5},
        {"IF response entry 0 is flat",
         IfPathPowerFactor(cal, false, 1, 10.725e6, 10.725e6) / DroopPowerFactor(1, 0.0), 1.0},
    };
    for (const Row& row : rows) {
        EXPECT_NEAR(row.got, row.expected, 1e-12) << row.name;
    }
}

TEST(SpectrumRows, MaxHoldKeepsTheHigherLevel) {
    SweepTrace trace;
    StoreRow(trace, 3, 120.0, false);
    StoreRow(trace, 3, 200.0, true);
    EXPECT_EQ(trace.traceA[3], 120.0);
    StoreRow(trace, 3, 60.5, true);
    EXPECT_EQ(trace.traceA[3], 60.5);
    EXPECT_EQ(trace.traceAInt[3], 60);
}

}  // namespace
}  // namespace tavlin
