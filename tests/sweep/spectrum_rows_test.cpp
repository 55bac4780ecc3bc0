// From a reading to a row of the screen: the amplitude correction from the
// calibration table, the IF-path factor every sampler reading is corrected
// by, and the rows themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "device/cal_table.h"
#include "sweep/amplitude_correction.h"
#include "sweep/if_path_response.h"
#include "sweep/rbw_rules.h"
#include "sweep/spectrum_rows.h"

namespace tavlin {
namespace {

// A table neutral everywhere (flat, level references at their centre, base
// -10.5 dB) but for the entries the rows read. A row gives the correction
// above -10.5 dB or, with the preamplifier, the gain switching it on takes
// off; through a band route where it gives one, else by the frequency.
TEST(AmplitudeCorrection, AttenuatorRowBandEdgesRoutesAndPreampRollOff) {
    CalTable table;
    auto& b = table.Bytes();
    b.fill(0);
    std::fill_n(b.begin() + 132, 600 + 1704, 128);
    b[2545] = b[2547] = 128;
    for (int row = 0; row < 4; ++row) {
        b[132 + row * 150 + 4] = static_cast<std::uint8_t>(128 + 32 * row);  // row dB at 5 MHz
    }
    b[132] = 160;                    // low band +1 dB at 1 MHz
    b[133] = 192;                    // and +2 dB at 2 MHz
    b[732 + 425] = 144;              // high band +1 dB at its top, 4.4 GHz
    b[732 + 426] = 0;                // the next row's first entry, never read for row 0
    b[732 + 1] = 144;                // +1 dB at 160 MHz
    b[132 + 149] = 144;              // low band +0.5 dB at 150 MHz
    b[2552] = 200;                   // preamplifier 20 dB at 1 MHz
    b[2702] = 100;                   // 10 dB at 150 MHz
    b[2703] = 120;                   // 12 dB at 160 MHz
    b[112] = 32;                     // roll-off 1 dB at 300 kHz
    b[112 + 13] = b[112 + 14] = 96;  // 3 dB at 950 kHz and 1 MHz

    struct Row {
        const char* name;
        double freqHz, attenDb;
        bool preamp;
        double expectedDb;
        int highRoute = -1;  // -1: the band of the frequency
    };
    const Row rows[] = {
        {"attenuation rounds to the nearest row", 5e6, 7.4, false, 1.0},
        {"attenuation beyond the last row takes it", 5e6, 100.0, false, 3.0},
        {"attenuation not a number takes row 0", 5e6, std::nan(""), false, 0.0},
        {"past the top the last entry holds, the slope grows", 6e9, 0.0, false, 1.0 + 6e9 * 2.5e-9},
        {"below 1 MHz the first two entries extrapolate", 0.5e6, 0.0, false, 0.5},
        {"preamplifier gain off in the high band", 155e6, 0.0, true, 11.0},
        {"preamplifier roll-off below 1 MHz", 975e3, 0.0, true, 20.0 - 3.0},
        {"a 1/f law below 300 kHz", 150e3, 0.0, true, 20.0 - (1.0 + 0.8) * 2 + 0.8},
        {"the 1/f law stops at 1 Hz", 0.0, 0.0, true, 20.0 - (1.0 + 0.8) * 300e3 + 0.8},
        {"high route, 140 to 150 MHz: two entries extrapolate", 145e6, 0.0, false,
         -0.5 + 145e6 * 2.5e-9, 1},
        {"high route below 140 MHz: the first entry holds, the slope goes on", 120e6, 0.0, false,
         120e6 * 2.5e-9, 1},
        {"low route above 150 MHz: the last entry holds", 155e6, 0.0, false, 0.5, 0},
    };
    for (const Row& row : rows) {
        const LevelSettings settings{row.attenDb, 1, row.preamp, false};
        const double off = row.highRoute < 0 ? AmplitudeCorrection(table, settings, row.freqHz)
                                             : AmplitudeCorrectionOnRoute(
                                                   table, settings, row.freqHz, row.highRoute);
        const double on =
            AmplitudeCorrection(table, {row.attenDb, 1, row.preamp, true}, row.freqHz);
        EXPECT_NEAR(row.preamp ? off - on : off + 10.5, row.expectedDb, 1e-6) << row.name;
    }
}

// A reading that is not a number or infinite, or a response entry that
// passes nothing, draws on the floor or counts as flat rather than poisoning
// the trace; between two response points the factor is interpolated.
TEST(SpectrumRows, NonFiniteReadingsEmptyResponseEntriesAndResponseBetweenPoints) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    SweepSettings linear;
    linear.linearScale = 1;
    CalTable cal;
    cal.Bytes().fill(150);  // every IF response entry 1.5
    cal.Bytes()[2436 + 30] = 0;
    cal.Bytes()[2436 + 10] = 100;  // 10.625 MHz
    cal.Bytes()[2436 + 11] = 200;  // 10.630 MHz
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
        {"IF response between points is interpolated",
         IfPathPowerFactor(cal, false, 1, 10.62625e6, 10.62625e6) / DroopPowerFactor(1, 0.0), 1.25},
    };
    for (const Row& row : rows) {
        EXPECT_NEAR(row.got, row.expected, 1e-12) << row.name;
    }
}

// The RBW the annotation promises for a span: the step list's and the wide
// sweep's from span / ratio, the narrow FFT's in its steps; a ratio that is
// no number acts as 80. Zero span's follows the sweep time.
TEST(RbwRules, PredictedForEachSweepKind) {
    EXPECT_EQ(PredictRbw(26e6, 80.0, 0.0, 0.0), 100e3);
    EXPECT_EQ(PredictRbw(300e6, 80.0, 0.0, 0.0), 5e6);
    EXPECT_EQ(PredictRbw(100.0, 80.0, 0.0, 0.0), 0.8);
    EXPECT_EQ(PredictRbw(10.0, 80.0, 0.0, 0.0), 0.1);
    EXPECT_EQ(PredictRbw(26e6, std::nan(""), 0.0, 0.0), 100e3);
    EXPECT_EQ(ZeroSpanRbw(0.1), 240000.0);
    EXPECT_EQ(ZeroSpanRbw(0.3), 80000.0);
}

}  // namespace
}  // namespace tavlin
