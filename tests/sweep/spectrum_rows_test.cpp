// Rows of the screen, and the IF-path factor every sampler reading is
// corrected by.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "device/cal_table.h"
#include "sweep/if_path_response.h"
#include "sweep/spectrum_rows.h"

namespace tavlin {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(SpectrumRows, LevelsToRowsOnBothScales) {
    SweepSettings s;
    s.refLevelDbm = 0.0;
    s.attenDb = 10.0;
    s.dbPerDiv = 10.0;
    EXPECT_DOUBLE_EQ(ToScreenRow(1e-3, -40.0, s), 300.0);  // (0 + 40 - 10) x 5 + 150
    EXPECT_DOUBLE_EQ(ToScreenRow(1e-10, -10.0, s), 500.0) << "ten divisions below";
    for (const double power : {1e-11, 0.0, -1.0, kNaN}) {
        EXPECT_EQ(ToScreenRow(power, -10.0, s), 505.0) << power;
    }
    EXPECT_EQ(ToScreenRow(1e3, -10.0, s), -5.0);
    s.dbPerDiv = 0.0;  // acts as 10 dB/div
    EXPECT_DOUBLE_EQ(ToScreenRow(1e-3, -10.0, s), 150.0);
    s.linearScale = 1;  // row 0 is the reference level's voltage, row 500 none
    EXPECT_DOUBLE_EQ(ToScreenRow(1.0, -10.0, s), 0.0);
    EXPECT_DOUBLE_EQ(ToScreenRow(0.25, -10.0, s), 250.0);
    EXPECT_EQ(ToScreenRow(kNaN, -10.0, s), 505.0);
    EXPECT_EQ(ToLogRow(1e-3, -40.0, s), 300.0) << "the stepped kinds draw in dB always";
}

// Entries 0 .. 11 of the droop table at |D x offset x 40 / 486111.1|; from 12
// on (a large decimation with a large LO error) the response is flat.
TEST(SpectrumRows, DroopFollowsItsTableAndIsFlatBeyondIt) {
    const double unit = 486111.1 / 40.0;  // the offset of one table step at D = 1
    EXPECT_NEAR(10.0 * std::log10(DroopPowerFactor(2, -3.5 * unit / 2)), 0.15, 1e-9);
    EXPECT_NEAR(10.0 * std::log10(DroopPowerFactor(1, 11.5 * unit)), 0.45, 1e-9);
    for (const double steps : {12.0, 20.9, 21.0, 22.0, 1e9}) {
        EXPECT_NEAR(DroopPowerFactor(16, steps * unit / 16), 1.0, 1e-9) << steps;
    }
    EXPECT_EQ(DroopPowerFactor(1, kNaN), 1.0);
}

// The IF response entry 5 kHz apart, held at the table's ends; an entry that
// passes nothing is taken as flat rather than blanking its bins.
TEST(SpectrumRows, IfPathFactorTakesItsPathsEntryAndTheDroop) {
    CalTable cal;
    for (int i = 0; i < 52; ++i) {
        cal.Bytes()[2436 + i] = static_cast<std::uint8_t>(100 + i);  // 10.7 MHz path
        cal.Bytes()[2488 + i] = 150;                                 // 2.9 MHz path
    }
    cal.Bytes()[2436 + 30] = 0;
    cal.DeriveValues();
    const double centre = 10.7e6;
    const double droopAtCentre = DroopPowerFactor(1, 0.0);
    const double ifHz = 10.575e6 + 12 * 5e3 + 4999.0;  // in entry 12
    EXPECT_NEAR(IfPathPowerFactor(cal, false, 1, centre, ifHz),
                1.12 * DroopPowerFactor(1, ifHz - centre), 1e-12);
    EXPECT_NEAR(IfPathPowerFactor(cal, false, 1, centre, 9e6), 1.0 * DroopPowerFactor(1, 1.7e6),
                1e-12);
    EXPECT_NEAR(IfPathPowerFactor(cal, false, 1, centre, 12e6), 1.5, 1e-12);
    EXPECT_NEAR(IfPathPowerFactor(cal, false, 1, 10.725e6, 10.725e6), droopAtCentre, 1e-12);
    EXPECT_NEAR(IfPathPowerFactor(cal, true, 4, 2.9e6, 2.9e6), 1.5 * droopAtCentre, 1e-12);
    EXPECT_NEAR(IfPathPowerFactor(cal, false, 1, centre, kNaN), 1.0, 1e-12);
    EXPECT_NEAR(TunedIfPathPowerFactor(cal, 1, centre, 10e3), 1.23 * droopAtCentre, 1e-9);
}

}  // namespace
}  // namespace tavlin
