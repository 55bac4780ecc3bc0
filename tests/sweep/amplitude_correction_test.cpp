#include "sweep/amplitude_correction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "device/cal_table.h"

namespace tavlin {
namespace {

constexpr int kLowBandFlatness = 132;
constexpr int kHighBandFlatness = 732;
constexpr int kPreampRolloff = 112;
constexpr int kPreampLowBand = 2552;
constexpr int kPreampHighBand = 2702;
constexpr double kTol = 1e-9;

// A table whose every correction is neutral: flat response, level references
// at their centre (base -10.5 dB), no preamplifier gain.
class AmplitudeCorrectionTest : public ::testing::Test {
  protected:
    AmplitudeCorrectionTest() {
        table.Bytes().fill(0);
        std::fill_n(table.Bytes().begin() + kLowBandFlatness, 600 + 1704, 128);
        SetWord(2544, 32768);
        SetWord(2546, 32768);
    }
    void SetWord(int offset, int value) {
        table.Bytes()[offset] = static_cast<std::uint8_t>(value & 0xFF);
        table.Bytes()[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    std::uint8_t& Low(int row, int i) { return table.Bytes()[kLowBandFlatness + row * 150 + i]; }
    std::uint8_t& High(int row, int i) { return table.Bytes()[kHighBandFlatness + row * 426 + i]; }
    double C(double freqHz) const { return AmplitudeCorrection(table, settings, freqHz); }
    // The high band's frequency slope on a unit without the preamplifier.
    static double Slope(double freqHz) { return freqHz * 2.5e-9; }

    CalTable table;
    LevelSettings settings{0.0, 1, false, false};
};

TEST_F(AmplitudeCorrectionTest, AttenuationSelectsTheRoundedClampedRow) {
    for (int row = 0; row < 4; ++row) {
        Low(row, 4) = static_cast<std::uint8_t>(128 + 32 * row);  // row dB at 5 MHz
    }
    struct Case {
        double attenDb;
        double expectedDb;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Case& c : {Case{0, 0}, Case{2.4, 0}, Case{2.5, 1}, Case{7.4, 1}, Case{10, 2},
                          Case{12.5, 3}, Case{15, 3}, Case{100, 3}, Case{-5, 0}, Case{nan, 0}}) {
        SCOPED_TRACE(c.attenDb);
        settings.attenDb = c.attenDb;
        EXPECT_NEAR(C(5e6) + 10.5, c.expectedDb, kTol);
    }
    // Gain states of a unit without the preamplifier step by fixed amounts.
    settings.attenDb = 0.0;
    settings.gainMode = 0;
    EXPECT_NEAR(C(5e6) + 10.5, 15.83, kTol);
    settings.gainMode = 2;
    EXPECT_NEAR(C(5e6) + 10.5, -12.0, kTol);
}

// Past the top of the band the last entry holds while the slope grows (the
// next row's first entry is never read for row 0); below 1 MHz the first two
// entries are extrapolated; the low band's last entry holds up to its edge.
TEST_F(AmplitudeCorrectionTest, BandEdgesHoldOrExtrapolateTheirEntries) {
    High(0, 424) = 96;   // -2 dB
    High(0, 425) = 144;  // +1 dB
    High(1, 0) = 0;
    EXPECT_NEAR(C(4.395e9) + 10.5, -0.5 + Slope(4.395e9), kTol);
    EXPECT_NEAR(C(4.405e9) + 10.5, 1.0 + Slope(4.405e9), kTol);
    EXPECT_NEAR(C(6e9) + 10.5, 1.0 + Slope(6e9), kTol);
    EXPECT_TRUE(std::isfinite(C(1e300)));
    Low(0, 0) = 160;    // +1 dB at 1 MHz
    Low(0, 1) = 192;    // +2 dB at 2 MHz
    Low(0, 149) = 224;  // +3 dB at 150 MHz, reached only from below
    EXPECT_NEAR(C(0.5e6) + 10.5, 0.5, kTol);
    EXPECT_NEAR(C(1.0) + 10.5, 1e-6, kTol);
    EXPECT_NEAR(C(0.0) + 10.5, 1.0, kTol);  // x = -1 truncates below the table: entry 0
    EXPECT_NEAR(C(149.5e6) + 10.5, 1.5, kTol);
}

// The preamplifier's gain is taken off in both bands; below 1 MHz it rolls
// off by its table and below 300 kHz by a 1/f law, finite at 0 Hz.
TEST_F(AmplitudeCorrectionTest, PreampGainIsTakenOffWithItsRollOff) {
    settings.preampAvailable = true;
    table.Bytes()[kPreampLowBand] = 200;       // 20 dB at 1 MHz
    table.Bytes()[kPreampLowBand + 9] = 50;    // 5 dB at 10 MHz
    table.Bytes()[kPreampLowBand + 10] = 70;   // 7 dB at 11 MHz
    table.Bytes()[kPreampHighBand + 0] = 100;  // 10 dB at 150 MHz
    table.Bytes()[kPreampHighBand + 1] = 120;  // 12 dB at 160 MHz
    table.Bytes()[kPreampRolloff + 0] = 32;    // 1 dB at 300 kHz
    table.Bytes()[kPreampRolloff + 1] = 64;    // 2 dB at 350 kHz
    table.Bytes()[kPreampRolloff + 13] = 96;   // 3 dB at 950 kHz
    table.Bytes()[kPreampRolloff + 14] = 96;   // 3 dB at 1 MHz
    auto preampGain = [&](double f) {
        settings.preampOn = false;
        const double off = C(f);
        settings.preampOn = true;
        return off - C(f);
    };
    EXPECT_NEAR(preampGain(10.5e6), 6.0, kTol);
    EXPECT_NEAR(preampGain(155e6), 11.0, kTol);
    EXPECT_NEAR(preampGain(975e3), 20 - 3.0, kTol);
    EXPECT_NEAR(preampGain(300e3), 20 - (1 + 0.8) + 0.8, kTol);
    EXPECT_NEAR(preampGain(150e3), 20 - (1 + 0.8) * 2 + 0.8, kTol);
    EXPECT_TRUE(std::isfinite(preampGain(0.0)));
    EXPECT_NEAR(preampGain(0.0), preampGain(1.0), kTol);
}

}  // namespace
}  // namespace tavlin
