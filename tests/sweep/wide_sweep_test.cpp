// The wide sweep: its layout, what it asks the instrument for, and what it
// measures on the virtual instrument over the full band.
#include "sweep/wide_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "sweep/step_sweep_fixture.h"

namespace tavlin {
namespace {

TEST(WideSweepPlanTest, FromZeroTheLowBandStartsAtSevenMegahertzAndTheDetectorAt138) {
    EXPECT_EQ(WideSweep::LowBandFirstIndex(0.0), 7);
    EXPECT_EQ(WideSweep::LowBandFirstIndex(50e6), 39);
    const DetectorPlan full = WideSweep::PlanDetector(0.0, 4.4e9, true);
    EXPECT_EQ(full.h0, 138);
    EXPECT_EQ(full.h1, 4416);
    EXPECT_EQ(full.Values(), 1426);
    const DetectorPlan high = WideSweep::PlanDetector(500e6, 4.4e9, false);
    EXPECT_EQ(high.h0, 485);
    EXPECT_EQ(high.h1, 4415);  // a whole number of readings
}

TEST(WideSweepPlanTest, NeverAsksForMoreReadingsThanTheAnswerHolds) {
    // A span beyond the band, as the harmonics plot sets it.
    const DetectorPlan plan = WideSweep::PlanDetector(0.0, 10e9, true);
    EXPECT_EQ(plan.Values(), 2048);
    EXPECT_EQ(plan.h1, 138 + 3 * 2048);
}

// --- What the sweep asks for, on a scripted instrument ---------------------------

using WideSweepCommandTest = test::StepListScriptFixture;
using Steps = std::vector<std::string>;

TEST_F(WideSweepCommandTest, FullSpanReadsTheLowBandThenTheDetectorInLowGain) {
    VUDAVEZid& d = BuildAnswering(test::QuietBlock(), [](int) { return 100; });
    d.EditSettings([](InstrumentState& s) { s.gainMode = 1; });
    EXPECT_EQ(Sweep(d, 0.0, 4.4e9), (Steps{"D3", "N35-805", "D4", "B138-4416"}));
    EXPECT_EQ(d.state.gainMode, 0);
    const auto commands = CommandsSent();
    const Bytes lowGainOn{'I', 0x06, 0x80};
    EXPECT_NE(std::find(commands.begin(), commands.end(), lowGainOn), commands.end());
    EXPECT_EQ(d.link.DecimationSent(), 1);
    for (const double row : d.trace.traceA) {
        EXPECT_TRUE(row >= -5.0 && row <= 505.0);
    }
}

TEST_F(WideSweepCommandTest, AboveTheLowBandOnlyTheDetectorSweeps) {
    VUDAVEZid& d = BuildAnswering(test::QuietBlock(), [](int) { return 100; });
    EXPECT_EQ(Sweep(d, 500e6, 4.4e9), (Steps{"D4", "B485-4415"}));
    EXPECT_EQ(Sweep(d, 0.0, 10e9), (Steps{"D3", "N35-805", "D4", "B138-6282"}));
}

TEST_F(WideSweepCommandTest, TheStrongestReadingIsLookedAtAgainAnIfAboveIt) {
    // A signal near 914 MHz seen by the detector with its LO at 903 and 924 MHz.
    VUDAVEZid& d =
        BuildAnswering(test::QuietBlock(), [](int j) { return j == 255 || j == 262 ? 400 : 100; });
    EXPECT_EQ(Sweep(d, 0.0, 4.4e9), (Steps{"D3", "N35-805", "D4", "B138-4416", "N4590-4650"}));
}

TEST_F(WideSweepCommandTest, ReadsThatDoNotArriveDrawTheFloorNotFullScale) {
    VUDAVEZid& d = BuildAnswering(nullptr, [](int j) { return j == 255 || j == 262 ? 400 : 100; });
    EXPECT_EQ(Sweep(d, 0.0, 4.4e9).back(), "N4590-4650");
    const int p150 = static_cast<int>(std::ceil(640 * 150e6 / 4.4e9));
    for (int i = 0; i < p150; ++i) {
        EXPECT_EQ(d.trace.traceA[i], 505.0) << i;
    }
    // Without the look again, the peak stays at the detector's level.
    const double detectorRow = (0.0 + 1.0 - 10.0) * 5.0 - 5.0 * (400 * 0.13427734375 - 85.0);
    const double top = *std::min_element(d.trace.traceA.begin(), d.trace.traceA.end());
    EXPECT_NEAR(top, detectorRow, 1e-9);
}

// --- What it measures on the virtual instrument --------------------------------

class WideSweepOnUnitTest : public test::SweptUnitFixture {
  protected:
    void ExpectPeak(double freqHz, double levelDbm, double attenDb = 10.0) {
        Start({{freqHz, levelDbm, std::nullopt, std::nullopt}}, 1200.0);
        doc->state.attenDb = attenDb;
        doc->state.refLevelDbm = attenDb - 10.0;
        doc->ApplyLevelPlan();
        Sweep(0.0, 4.4e9);
        const Reading peak = Peak();
        const double tolerance = std::max(4.4e9 / 640.0, 5e6);  // a pixel, or the 5 MHz RBW
        EXPECT_NEAR(peak.freqHz, freqHz, tolerance) << freqHz;
        EXPECT_NEAR(peak.levelDbm, levelDbm, 2.0) << freqHz;
        EXPECT_EQ(doc->state.gainMode, 0);
        EXPECT_EQ(prompter.Count(), 0u);
    }
};

TEST_F(WideSweepOnUnitTest, StrongSignalsAreDrawnAtTheirLevelByTheLookAgain) {
    ExpectPeak(915e6, -30.0);
    ExpectPeak(2400.3e6, -10.0);
    ExpectPeak(4387e6, -40.0);  // the last readings of the band
    ExpectPeak(151e6, -40.0);   // the first pixels of the detector's part
}

TEST_F(WideSweepOnUnitTest, WeakSignalsAreDrawnFromTheDetector) {
    ExpectPeak(1200e6, -60.0);
    // The detector's own floor is -80 dBm behind the attenuator.
    ExpectPeak(3300.7e6, -70.0, 0.0);
    ExpectPeak(2400.3e6, -70.0, 0.0);  // on three pixels' readings: read at its own
}

TEST_F(WideSweepOnUnitTest, BelowTheSplitTheStepListMeasures) {
    ExpectPeak(98.7e6, -40.0);
    ExpectPeak(20e6, -10.0);
    ExpectPeak(3e6, -50.0);
    ExpectPeak(140e6, -70.0, 0.0);
}

TEST_F(WideSweepOnUnitTest, MaxHoldRestoresTheKeptRowsWhereTheNewAreLower) {
    Start({{915e6, -30.0, std::nullopt, std::nullopt}});
    doc->state.maxHold = 1;
    for (int i = 0; i < 641; ++i) {
        doc->trace.traceA[i] = i < 320 ? 10.0 : 505.0;
    }
    Sweep(0.0, 4.4e9);
    EXPECT_EQ(doc->trace.traceA[100], 10.0);
    EXPECT_EQ(doc->trace.traceAInt[100], 10);
    EXPECT_LT(doc->trace.traceA[500], 505.0);
}

}  // namespace
}  // namespace tavlin
