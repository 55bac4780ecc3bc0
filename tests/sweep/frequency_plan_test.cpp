// The sweep engine's frequency plan: the sample-clock mode, the fractional-N
// settings of both LOs and what reaches the unit, the plan cache and the FFT
// resolution.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "e2e/virtual_unit_fixture.h"
#include "sweep/sweep_engine.h"

namespace tavlin {
namespace {

using test::kSamplerClockHz;

constexpr double kIf1Hz = 10694444.4444;
constexpr double kIf2Hz = 2916666.6667;

// --- Sample clock ------------------------------------------------------------------

// Within 120 kHz of a multiple of the sampler's 27th harmonic mode 2, of any
// other harmonic mode 1; SYNC OUT in use (setting 1) keeps mode 0, as do DC
// and a centre that is not a number.
TEST(SampleClockChoiceTest, HarmonicsOfTheSamplerClockChooseTheOtherModes) {
    const double h27 = 27 * kSamplerClockHz;  // 630 MHz
    const double h28 = 28 * kSamplerClockHz;  // 653.3 MHz
    struct Case {
        double centerHz;
        int syncOut, mode;
    };
    for (const Case& c :
         {Case{h27 - 100e3, 0, 2}, Case{54 * kSamplerClockHz, 0, 2}, Case{h28 - 119.9e3, 0, 1},
          Case{h28 + 120e3, 0, 0}, Case{h27 - 120e3, 0, 0}, Case{h27, 1, 0}, Case{h28, 3, 1},
          Case{50e3, 0, 0}, Case{std::nan(""), 0, 0}}) {
        EXPECT_EQ(SweepEngine::SampleClockModeFor(c.centerHz, c.syncOut), c.mode)
            << c.centerHz << " sync " << c.syncOut;
    }
}

// A document on the virtual unit whose LOs a test plans for a span.
class FrequencyPlanTest : public test::VirtualUnitTest {
  protected:
    FrequencyPlanTest() { Start(std::vector<sim::SceneEmitter>{}); }
    void Plan(double centerHz, double spanHz) {
        settings.startHz = doc->engine.sweepStartHz = centerHz - spanHz / 2;
        settings.stopHz = doc->engine.sweepStopHz = centerHz + spanHz / 2;
        SweepContext context{doc->engine,
                             doc->link,
                             doc->calTable,
                             doc->GetPrompter(),
                             doc->GetProgress(),
                             doc->GetClock(),
                             doc->stopRequest,
                             settings,
                             trace,
                             outcome,
                             [] { return false; },
                             [] { return 1; }};
        doc->engine.PlanLocalOscillators(context);
    }
    // The LO the unit's synthesizer words and route give now.
    double UnitLoHz() const { return unit->State().SynthesizerLoHz(0.0); }

    SweepSettings settings;
    SweepTrace trace;
    SweepOutcome outcome;
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

TEST_F(FrequencyPlanTest, BothLosAcrossTheBand) {
    struct LoCase {
        double centerHz, spanHz, refLevelDbm;
        int lo1Div;
        bool lo2SecondIf, lo2HighSide;
    };
    const LoCase cases[] = {
        {915e6, 10e3, 0.0, 2, true, true},  {915e6, 200e3, 10.0, 2, false, false},
        {100e6, 200e3, 0.0, 5, true, true}, {100e6, 1e3, 10.0, 5, false, false},
        {4.3e9, 50e3, 0.0, 0, true, true},  {653.4e6, 10e3, 0.0, 2, true, true},
        {3e6, 100e3, 0.0, 8, false, true},  {15e6, 20e3, 10.0, 7, false, true},
        {15e6, 20e3, 0.0, 7, true, true},   {150e6, 150.0, 0.0, 4, true, true},
    };
    for (const LoCase& c : cases) {
        settings.refLevelDbm = c.refLevelDbm;
        Plan(c.centerHz, c.spanHz);
        const SweepEngine& e = doc->engine;
        const std::string what = std::to_string(c.centerHz) + " / " + std::to_string(c.spanHz);
        ExpectSynthesizable(e.lo1, "LO1");
        ExpectSynthesizable(e.lo2, "LO2");
        EXPECT_EQ(e.lo1.div, c.lo1Div) << what;
        EXPECT_EQ(e.lo2SecondIf, c.lo2SecondIf) << what;
        EXPECT_EQ(e.lo2.highSide, c.lo2HighSide) << what;
        EXPECT_NE(e.lo2.den, e.lo1.den) << what;
        EXPECT_NE(e.lo2ErrorHz.load(), e.lo1ErrorHz.load()) << what;

        // Near DC both LOs sit off the plain setting by a fraction of the
        // span; the error carries that offset for the digital shift.
        const bool nearDc = c.centerHz <= 5e6 || (c.centerHz <= 18e6 && c.refLevelDbm > 5.0);
        const double tolerance = 0.05 * c.spanHz + 5000.0;
        const double lo1Offset = nearDc ? -0.03 * c.spanHz : 0.0;
        EXPECT_NEAR(e.lo1.wantedHz, c.centerHz + kIf1Hz, 1e-3) << what;
        EXPECT_NEAR(e.lo1ErrorHz.load() - lo1Offset, 0.0, tolerance) << what;
        const double lo2Offset = nearDc ? 0.05 * c.spanHz : 0.0;
        const double lo2Plain = c.lo2SecondIf   ? c.centerHz + kIf2Hz
                                : c.lo2HighSide ? c.centerHz + kIf1Hz
                                                : c.centerHz - kIf1Hz;
        EXPECT_NEAR(e.lo2.wantedHz, lo2Plain, 1e-3) << what;
        EXPECT_NEAR(e.lo2ErrorHz.load() - lo2Offset, 0.0, tolerance) << what;
        const double lo2Error =
            c.lo2HighSide ? e.lo2.wantedHz - e.lo2.actualHz : e.lo2.actualHz - e.lo2.wantedHz;
        EXPECT_NEAR(e.lo2ErrorHz.load(), lo2Error, 1e-6) << what;
        EXPECT_NEAR(UnitLoHz(), e.lo1.actualHz, 1e-3) << "LO1 reached the unit, " << what;
    }
}

TEST_F(FrequencyPlanTest, PlanIsReusedOnlyWhileTheUnitHoldsIt) {
    settings.imageReject = false;
    Plan(915e6, 10e3);
    const int once = driver->Register0Writes();
    Plan(915e6, 10e3);
    EXPECT_EQ(driver->Register0Writes(), once);

    Plan(915e6 + 1.0, 10e3);
    EXPECT_EQ(driver->Register0Writes(), once + 1) << "new start and stop";
    doc->engine.ForgetLoPlan();
    Plan(915e6 + 1.0, 10e3);
    EXPECT_EQ(driver->Register0Writes(), once + 2) << "forgotten after a pause or reset";
    doc->stopRequest = 1;
    Plan(915e6 + 1.0, 10e3);
    EXPECT_EQ(driver->Register0Writes(), once + 3) << "a stop request plans afresh";
    doc->stopRequest = 0;
    settings.imageReject = true;
    Plan(915e6 + 1.0, 10e3);
    Plan(915e6 + 1.0, 10e3);
    EXPECT_EQ(driver->Register0Writes(), once + 5) << "the image pass moved the LO";

    // A plan the link refused is not held.
    settings.imageReject = false;
    unit->SetFaults({.failedWrites = 1});
    Plan(915e6, 10e3);
    const int refused = driver->Register0Writes();
    Plan(915e6, 10e3);
    EXPECT_GT(driver->Register0Writes(), refused);
    EXPECT_NEAR(UnitLoHz(), doc->engine.lo1.actualHz, 1e-3);
    doc->link.commError = false;
}

// --- FFT resolution --------------------------------------------------------------------

TEST_F(FrequencyPlanTest, FftResolutionTakesTheNearestRbwAndStoresItsSetting) {
    SweepEngine& e = doc->engine;  // no LO error yet
    settings.spanRbwRatio = 80.0;
    // Target 125 Hz: 1638400 / (13 x 1024) = 123.08 Hz is the nearest.
    EXPECT_DOUBLE_EQ(e.ChooseFftResolution(10e3, settings), 1638400.0 / (13 * 1024));
    EXPECT_EQ(e.decimation, 13);
    EXPECT_EQ(e.fftSize, 1024);
    // A large LO error keeps the decimated band wide enough for it.
    e.lo1ErrorHz = 20e3;
    e.ChooseFftResolution(10e3, settings);
    EXPECT_LE(2 * e.decimation * (10e3 + 40e3), 486111.0);
    EXPECT_EQ(e.decimation, 3);
    EXPECT_EQ(e.fftSize, 4096);
}

}  // namespace
}  // namespace tavlin
