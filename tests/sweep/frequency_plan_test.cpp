// The sweep engine's frequency plan: the fractional-N settings of both LOs,
// what reaches the unit and the plan cache. The sample-clock modes, where
// the LOs put a signal and the LO's residual error with the reference far
// off are in the accuracy table.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

#include "document/sweep_pause.h"
#include "e2e/virtual_unit_fixture.h"
#include "sweep/sweep_engine.h"

namespace tavlin {
namespace {

// A document on the virtual unit whose LOs a test plans for a span.
// By a harmonic of the 23.333 MHz sampler clock the mode moves (2 at
// multiples of the 27th, 1 at the others); with the SYNC / TRIG connector in
// use the clock stays in mode 0.
TEST(SampleClockMode, FollowsTheSamplersHarmonicsUnlessSyncTrigIsInUse) {
    EXPECT_EQ(SweepEngine::SampleClockModeFor(630.05e6, 0), 2);
    EXPECT_EQ(SweepEngine::SampleClockModeFor(653.3e6, 0), 1);
    EXPECT_EQ(SweepEngine::SampleClockModeFor(915e6, 0), 0);
    EXPECT_EQ(SweepEngine::SampleClockModeFor(630.05e6, 1), 0);
    EXPECT_EQ(SweepEngine::SampleClockModeFor(std::nan(""), 0), 0);
}

class FrequencyPlanTest : public test::VirtualUnitTest {
  protected:
    FrequencyPlanTest() {
        Start(std::vector<sim::SceneEmitter>{});
        pause = std::make_unique<SweepPause>(*doc);
    }
    void Plan(double centerHz, double spanHz) {
        settings.startHz = centerHz - spanHz / 2;
        settings.stopHz = centerHz + spanHz / 2;
        SweepContext context{engine,
                             pause->Instrument().Link(),
                             pause->Instrument().Table(),
                             doc->GetPrompter(),
                             doc->GetProgress(),
                             doc->GetClock(),
                             stopRequest,
                             settings,
                             trace,
                             outcome,
                             [] { return false; },
                             [] { return 1; }};
        context.plan.startHz = settings.startHz;
        context.plan.stopHz = settings.stopHz;
        engine.PlanLocalOscillators(context);
        planned = context.plan;
    }
    // The LO the unit's synthesizer words and route give now.
    double UnitLoHz() const { return unit->State().SynthesizerLoHz(0.0); }

    SweepSettings settings;
    SweepTrace trace;
    SweepOutcome outcome;
    SweepEngine engine;
    SweepPlan planned;  // as the last Plan left it
    std::atomic<int> stopRequest{0};
    std::unique_ptr<SweepPause> pause;  // the unit is the test's
};

// --- Local oscillators ----------------------------------------------------------------

void ExpectSynthesizable(const LoSetting& lo, const char* which) {
    EXPECT_GE(lo.den, 2) << which;
    EXPECT_LE(lo.den, 900) << which;
    for (int k = 2; k * k <= lo.den; ++k) {
        EXPECT_NE(lo.den % k, 0) << which << " den " << lo.den << " is not prime";
    }
    EXPECT_GE(lo.num, 0) << which;
    EXPECT_LT(lo.num, lo.den) << which;
    const double vco = std::ldexp(lo.actualHz, lo.div);
    EXPECT_GE(vco, 2.2e9 - 10e6) << which;  // the wanted VCO is from 2.2 GHz
    EXPECT_LT(vco, 4.4e9 + 10e6) << which;
    EXPECT_NEAR(lo.actualHz,
                (lo.intPart + double(lo.num) / lo.den) * 10e6 / std::ldexp(1.0, lo.div), 1e-6)
        << which;
}

// Different denominators put the two LOs' fractional spurs apart. LO2 takes
// the 2.9 MHz IF, or the first IF on the side away from the signal; where
// the LOs land the accuracy table's counter reads.
TEST_F(FrequencyPlanTest, BothLosAcrossTheBand) {
    struct LoCase {
        double centerHz, spanHz, refLevelDbm;
        bool lo2SecondIf, lo2HighSide;
    };
    const LoCase cases[] = {
        {915e6, 10e3, 0.0, true, true},  {915e6, 200e3, 10.0, false, false},
        {100e6, 200e3, 0.0, true, true}, {100e6, 1e3, 10.0, false, false},
        {4.3e9, 50e3, 0.0, true, true},  {653.4e6, 10e3, 0.0, true, true},
        {3e6, 100e3, 0.0, false, true},  {15e6, 20e3, 10.0, false, true},
        {15e6, 20e3, 0.0, true, true},   {150e6, 150.0, 0.0, true, true},
    };
    for (const LoCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.centerHz << " / " << c.spanHz);
        settings.refLevelDbm = c.refLevelDbm;
        Plan(c.centerHz, c.spanHz);
        const SweepPlan& e = planned;
        ExpectSynthesizable(e.lo1, "LO1");
        ExpectSynthesizable(e.lo2, "LO2");
        EXPECT_NE(e.lo2.den, e.lo1.den);
        EXPECT_EQ(e.lo2SecondIf, c.lo2SecondIf);
        EXPECT_EQ(e.lo2.highSide, c.lo2HighSide);
        EXPECT_NEAR(UnitLoHz(), e.lo1.actualHz, 1e-3) << "LO1 reached the unit";
    }
}

TEST_F(FrequencyPlanTest, PlanIsReusedOnlyWhileTheUnitHoldsIt) {
    settings.imageReject = false;
    Plan(915e6, 10e3);
    const int once = driver->Register0Writes();
    Plan(915e6, 10e3);
    EXPECT_EQ(driver->Register0Writes(), once);

    Plan(916e6, 10e3);
    EXPECT_EQ(driver->Register0Writes(), once + 1) << "new start and stop";
    EXPECT_NEAR(UnitLoHz(), planned.lo1.actualHz, 1e-3);

    // A plan the link refused is not held.
    unit->SetFaults({.failedWrites = 1});
    Plan(915e6, 10e3);
    const int refused = driver->Register0Writes();
    Plan(915e6, 10e3);
    EXPECT_GT(driver->Register0Writes(), refused);
    EXPECT_NEAR(UnitLoHz(), planned.lo1.actualHz, 1e-3);
    pause->Instrument().Link().commError = false;
}

}  // namespace
}  // namespace tavlin
