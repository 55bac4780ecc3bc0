// The 200 kHz step sweep: its layout, what it asks the instrument for, and
// what it does on the virtual instrument beyond reading an emitter right (the
// accuracy table).
#include "sweep/step_sweep.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "e2e/virtual_unit_fixture.h"
#include "sweep/step_sweep_fixture.h"

namespace tavlin {
namespace {

constexpr double kRate = 486111.1111;
constexpr double kIf = 10694444.4444;

TEST(StepSweepPlanTest, PresetBandTakesEightPointsPerStep) {
    const StepPlan plan = StepSweep::Plan(902e6, 928e6, 80.0, kRate);
    EXPECT_EQ(plan.s0, 4510);
    EXPECT_EQ(plan.s1, 4641);
    EXPECT_EQ(plan.skip, 0);
    EXPECT_EQ(plan.count, 238);
    EXPECT_EQ(plan.pointsPerStep, 8);
    EXPECT_EQ(plan.rbwHz, 100000.0);
    EXPECT_NEAR(plan.binWidthHz, kRate / 16.0, 1e-9);
}

TEST(StepSweepPlanTest, ResolutionFollowsSpanAndStaysFineBelowSixteenMegahertz) {
    struct Case {
        double start, stop;
        int points;
        double rbw;
    };
    for (const Case& c : {Case{914.5e6, 915.5e6, 64, 13000.0}, Case{915e6, 915.7e6, 128, 6500.0},
                          Case{850e6, 950e6, 1, 250000.0}, Case{10e6, 30e6, 16, 50000.0},
                          Case{0.0, 200e6, 16, 50000.0}, Case{16e6, 216e6, 1, 250000.0},
                          Case{3e6, 3.6e6, 128, 6500.0}}) {
        const StepPlan plan = StepSweep::Plan(c.start, c.stop, 80.0, kRate);
        EXPECT_EQ(plan.pointsPerStep, c.points) << c.start << " " << c.stop;
        EXPECT_EQ(plan.rbwHz, c.rbw) << c.start << " " << c.stop;
    }
    EXPECT_EQ(StepSweep::Plan(850e6, 950e6, 80.0, kRate).binWidthHz, 200000.0);
    const StepPlan low = StepSweep::Plan(10e6, 30e6, 80.0, kRate);
    EXPECT_EQ(low.skip, 30);
    EXPECT_EQ(low.count, 151 - 50 + 107);
}

// --- What the sweep asks for, on a scripted instrument ---------------------------

using StepSweepCommandTest = test::StepListScriptFixture;
using Steps = std::vector<std::string>;

TEST_F(StepSweepCommandTest, OneReadCoversBothSidesOfABandAboveTheSplit) {
    AnalyzerDocument& d = BuildAnswering(test::QuietBlock());
    EXPECT_EQ(Sweep(d, 902e6, 928e6), (Steps{"D4", "N4457-4694"}));
    EXPECT_EQ(d.state.rbwHz, 100000.0);
    EXPECT_EQ(d.link.DecimationSent(), 1);
    EXPECT_EQ(d.link.IfPathSent(), 0);
    EXPECT_EQ(Sweep(d, 140e6, 160e6), (Steps{"D3", "N647-854"}));
}

TEST_F(StepSweepCommandTest, ARangeAcrossTheSplitSwitchesBandAtStep750) {
    AnalyzerDocument& d = BuildAnswering(test::QuietBlock());
    EXPECT_EQ(Sweep(d, 140e6, 180e6), (Steps{"D3", "N647-750", "D4", "N750-954"}));
}

TEST_F(StepSweepCommandTest, NarrowSpansReadTheLowSideThenTheHighSide) {
    AnalyzerDocument& d = BuildAnswering(test::QuietBlock());
    EXPECT_EQ(Sweep(d, 100e6, 110e6), (Steps{"D3", "N447-498", "N553-604"}));
}

TEST_F(StepSweepCommandTest, BelowSixteenMegahertzASecondHighSideViewIsReadDescending) {
    AnalyzerDocument& d = BuildAnswering(test::QuietBlock());
    // Nothing can be tuned an IF below 1 .. 11 MHz: no low-side read.
    EXPECT_EQ(Sweep(d, 1e6, 11e6), (Steps{"D3", "N134-57", "N58-109"}));
    d.state.imageReject = 0;
    EXPECT_EQ(Sweep(d, 1e6, 11e6), (Steps{"D3", "N58-109"}));
    EXPECT_EQ(d.state.rbwHz, 50000.0);
}

TEST_F(StepSweepCommandTest, CompressionStopsAfterThisSweepWithOneWarningAndAFullTrace) {
    AnalyzerDocument& d = BuildAnswering([](int n) {
        return std::pair{n % 2 ? 31000 : -31000, 0};
    });
    prompter.Clear();
    EXPECT_EQ(Sweep(d, 100e6, 110e6), (Steps{"D3", "N447-498", "N553-604"}));
    EXPECT_EQ(d.stopRequest.load(), 1);
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "IF COMPRESSION WARNING");
    EXPECT_LT(d.trace.traceA[320], 100.0);  // both sides were read: the overload shows
}

TEST_F(StepSweepCommandTest, WithTheUnitSilentEachReadCountsOneMissingBlockAndTheTraceFalls) {
    AnalyzerDocument& d = BuildAnswering(nullptr);
    prompter.Clear();
    for (int sweep = 0; sweep < 6; ++sweep) {
        EXPECT_EQ(Sweep(d, 100e6, 110e6).size(), 3u);
    }
    EXPECT_EQ(d.engine.missingDataCount, 12);
    ASSERT_EQ(prompter.Count(), 2u);  // the 11th and 12th, one per read
    EXPECT_EQ(prompter.Boxes()[0].text, "Missing data i = 0 of 52");
    for (const double row : d.trace.traceA) {
        EXPECT_EQ(row, 505.0);
    }
}

// --- On the virtual instrument ------------------------------------------------------

using StepSweepOnUnitTest = test::VirtualUnitTest;

// At the preset reference level the level plan runs the IF at low gain:
// -70 dBm is about 1.3 counts at the sampler and -60 dBm about 4.4. The
// sampler's own noise of about a count puts some -77 dBm into each 100 kHz
// bin of this span's 16-point transforms, so -70 dBm sits in the noise
// (a single reading scatters by +-5 dB: read it with the reference level
// brought down, as the accuracy table does). At -60 dBm that noise, some
// 17 dB down, moves one reading by up to 3 dB, and as it dithers the
// rounding the mean over sampling phases and frequencies is the signal's
// level; rounding alone shifted each reading by the phase it was sampled at.
TEST_F(StepSweepOnUnitTest, WeakSignalAtThePresetReferenceLevel) {
    constexpr double kLevelDbm = -60.0;
    double meanPower = 0.0;
    for (int run = 0; run < 8; ++run) {
        const double freqHz = 158.3e6 + run * 1.37e6;
        Start({Cw(freqHz, kLevelDbm)}, {.tcxoPpb = 1200.0});
        clock.Advance(run * 37);
        SweepRange(140e6, 180e6);
        ASSERT_EQ(doc->state.refLevelDbm, 0.0);
        ASSERT_EQ(doc->state.gainMode, 0);
        const Reading peak = Peak();
        EXPECT_NEAR(peak.freqHz, freqHz, doc->state.rbwHz) << run;
        EXPECT_NEAR(peak.levelDbm, kLevelDbm, 3.0) << run;
        meanPower += std::pow(10.0, peak.levelDbm / 10.0) / 8.0;
    }
    EXPECT_NEAR(10.0 * std::log10(meanPower), kLevelDbm, 1.0);
}

// A frequency whose high-side LO sits exactly on a step: its image lies
// 2 x IF above it.
double OnStepGrid(int step) {
    return step * 200e3 - kIf;
}

TEST_F(StepSweepOnUnitTest, ImageSuppressionRemovesTheImageAndOnlyTheImage) {
    struct Case {
        double start, stop, freqHz;
    };
    for (const Case& c : {Case{902e6, 928e6, OnStepGrid(4629)}, Case{1e6, 11e6, OnStepGrid(79)},
                          Case{140e6, 180e6, OnStepGrid(854)}}) {
        const double image = c.freqHz + 2.0 * kIf;
        for (const int reject : {0, 1}) {
            Start({Cw(image, -30.0)}, {.noiseDbmHz = -130.0});
            doc->state.imageReject = reject;
            SweepRange(c.start, c.stop);
            const double near = LevelNear(c.freqHz, doc->state.rbwHz);
            if (reject == 0) {
                EXPECT_NEAR(near, -30.0, 1.0) << c.freqHz;
            } else {
                // Not above the noise: below the highest noise elsewhere.
                EXPECT_LE(near, LevelNear(c.freqHz, 1e6, true) + 1.0) << c.freqHz;
                EXPECT_LT(near, MedianLevel() + 10.0) << c.freqHz;
            }
        }
    }
}

}  // namespace
}  // namespace tavlin
