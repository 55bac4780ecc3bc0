// The wide sweep: its layout and what it asks the instrument for; max hold
// of both stepped kinds on the virtual instrument. What it measures is in the
// accuracy table.
#include "sweep/wide_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "e2e/virtual_unit_fixture.h"
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
    // A span beyond the band, as the harmonics plot sets it, never asks for
    // more readings than the answer holds.
    const DetectorPlan beyond = WideSweep::PlanDetector(0.0, 10e9, true);
    EXPECT_EQ(beyond.Values(), 2048);
    EXPECT_EQ(beyond.h1, 138 + 3 * 2048);
}

// --- What the sweep asks for, on a scripted instrument ---------------------------

using WideSweepCommandTest = test::StepListScriptFixture;
using Steps = std::vector<std::string>;

TEST_F(WideSweepCommandTest, FullSpanReadsTheLowBandThenTheDetectorInLowGain) {
    AnalyzerDocument& d = BuildAnswering(test::QuietBlock(), [](int) { return 100; });
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
    AnalyzerDocument& d = BuildAnswering(test::QuietBlock(), [](int) { return 100; });
    EXPECT_EQ(Sweep(d, 500e6, 4.4e9), (Steps{"D4", "B485-4415"}));
    EXPECT_EQ(Sweep(d, 0.0, 10e9), (Steps{"D3", "N35-805", "D4", "B138-6282"}));
}

TEST_F(WideSweepCommandTest, TheStrongestReadingIsLookedAtAgainAnIfAboveIt) {
    // A signal near 914 MHz seen by the detector with its LO at 903 and 924 MHz.
    AnalyzerDocument& d =
        BuildAnswering(test::QuietBlock(), [](int j) { return j == 255 || j == 262 ? 400 : 100; });
    EXPECT_EQ(Sweep(d, 0.0, 4.4e9), (Steps{"D3", "N35-805", "D4", "B138-4416", "N4590-4650"}));
}

TEST_F(WideSweepCommandTest, ReadsThatDoNotArriveDrawTheFloorNotFullScale) {
    AnalyzerDocument& d =
        BuildAnswering(nullptr, [](int j) { return j == 255 || j == 262 ? 400 : 100; });
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

// --- Max hold of the stepped kinds on the virtual instrument --------------------------

using SteppedSweepOnUnitTest = test::VirtualUnitTest;

TEST_F(SteppedSweepOnUnitTest, MaxHoldKeepsTheRowsWhereTheNewAreLower) {
    for (const auto& [start, stop] : {std::pair{902e6, 928e6}, {0.0, 4.4e9}}) {
        Start({Cw(915e6, -30.0)}, {.noiseDbmHz = -130.0});
        doc->state.maxHold = 1;
        for (int i = 0; i < 641; ++i) {
            doc->trace.traceA[i] = i < 320 ? 10.0 : 505.0;
            doc->trace.traceAInt[i] = static_cast<int>(doc->trace.traceA[i]);
        }
        SweepRange(start, stop);
        EXPECT_EQ(doc->trace.traceA[100], 10.0) << stop;
        EXPECT_EQ(doc->trace.traceAInt[100], 10) << stop;
        EXPECT_LT(doc->trace.traceA[600], 505.0) << stop;
        EXPECT_EQ(doc->trace.traceAInt[600], static_cast<int>(doc->trace.traceA[600])) << stop;
        if (stop < 1e9) {
            EXPECT_NEAR(LevelOfRow(doc->trace.traceA[320]), -30.0, 1.0) << "the signal is new";
        }
    }
}

}  // namespace
}  // namespace tavlin
