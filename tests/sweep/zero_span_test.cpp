// Zero span: the capture plan from the sweep time and peak deviation, the
// trigger power, and on the virtual instrument the FM row, sweep-time limits
// and the video trigger's waits (a carrier's AM level is in
// the accuracy table).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include "e2e/virtual_unit_fixture.h"
#include "sweep/if_path_response.h"
#include "sweep/triggered_capture.h"
#include "sweep/zero_span_plan.h"

namespace tavlin {
namespace {

constexpr double kModeZeroRateHz = 486111.1111;
constexpr double kModeTwoRateHz = 486607.1428571429;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// --- Capture plan -------------------------------------------------------------------

// A sweep time the capture cannot hold is shortened; the rows then read
// within the capture, after the settling samples.
TEST(ZeroSpanPlanTest, FmDecimationAndCaptureFollowDeviationAndSweepTime) {
    struct Case {
        double sweepTimeSec, maxFmOffsetHz;
        int decimation, captureLength;
        double plannedTimeSec;
        int lastIndex;
    };
    for (const Case& c : {Case{0.01, 100000.0, 1, 8192, 0.01, 4861 + 256},
                          // 10100 limited by 759 samples a pixel, then by 16.
                          Case{1.0, 10.0, 16, 32768, 1.0, 30381 + 256},
                          Case{2.0, 5000.0, 16, 65536, 2.0, 60763 + 256},
                          Case{3.0, 5000.0, 16, 65536, 1.6, 48611 + 256}}) {
        const ZeroSpanCapturePlan plan =
            PlanFmCapture(c.sweepTimeSec, c.maxFmOffsetHz, kModeZeroRateHz);
        EXPECT_EQ(plan.decimation, c.decimation) << c.sweepTimeSec;
        EXPECT_EQ(plan.captureLength, c.captureLength) << c.sweepTimeSec;
        EXPECT_NEAR(plan.sweepTimeSec, c.plannedTimeSec, 1e-9) << c.sweepTimeSec;
        EXPECT_EQ(plan.sweepTimeShortened, c.plannedTimeSec < c.sweepTimeSec) << c.sweepTimeSec;
        const SeriesPosition last =
            PixelSamplePosition(kModeZeroRateHz, plan.sweepTimeSec, plan.decimation, 640,
                                kFmSettlingSamples, plan.captureLength);
        EXPECT_EQ(last.index, c.lastIndex) << c.sweepTimeSec;
    }
    // Fewer samples than the deviation asks for: one decimation step per pixel.
    EXPECT_EQ(PlanFmCapture(0.005, 10000.0, kModeZeroRateHz).decimation, 3);
    EXPECT_EQ(PlanFmCapture(0.0005, 10000.0, kModeZeroRateHz).decimation, 1);
}

// A time from outside the zero-span range never asks for more than the
// instrument's largest decimation (17 at 2.2 s, 256 wraps the register), and
// the sweep time itself is held to the range.
TEST(ZeroSpanPlanTest, AmDecimationAndCaptureFollowSweepTimeHeldToItsRange) {
    struct Case {
        double sweepTimeSec;
        int decimation, captureLength;
    };
    for (const Case c : {Case{0.0337, 1, 16384}, Case{0.0338, 1, 32768}, Case{0.0675, 1, 65536},
                         Case{0.1349, 2, 65536}, Case{2.0, 15, 65536}, Case{2.2, 16, 65536},
                         Case{34.5, 16, 65536}, Case{kInf, 16, 65536}}) {
        const ZeroSpanCapturePlan plan = PlanAmCapture(c.sweepTimeSec);
        EXPECT_EQ(plan.decimation, c.decimation) << c.sweepTimeSec;
        EXPECT_EQ(plan.captureLength, c.captureLength) << c.sweepTimeSec;
    }
    for (const auto& [in, held] :
         {std::pair{2.2, 2.0}, {0.0, 0.0005}, {-1.0, 0.0005}, {kInf, 2.0}, {kNaN, 2.0}}) {
        EXPECT_EQ(ClampZeroSpanSweepTime(in), held) << in;
    }
}

// In clock mode 2 the sample rate is a little above the nominal one, so the
// AM sweep times that fill a capture at the nominal rate overrun it.
TEST(ZeroSpanPlanTest, EveryPixelReadsInsideTheCaptureAtTheFasterClock) {
    for (const double sweepTimeSec : {0.1348, 0.0674, 0.0337}) {
        const ZeroSpanCapturePlan plan = PlanAmCapture(sweepTimeSec);
        const double lastSample = kModeTwoRateHz * sweepTimeSec / plan.decimation;
        ASSERT_GT(lastSample, plan.captureLength - 1.0) << "the overrun exists: " << sweepTimeSec;
        int previous = -1;
        for (int pixel = 0; pixel <= 640; ++pixel) {
            const SeriesPosition at = PixelSamplePosition(
                kModeTwoRateHz, sweepTimeSec, plan.decimation, pixel, 0, plan.captureLength);
            ASSERT_GE(at.index, 0);
            ASSERT_LE(at.index + 1, plan.captureLength - 1) << sweepTimeSec << " pixel " << pixel;
            ASSERT_GE(at.fraction, 0.0);
            ASSERT_LE(at.fraction, 1.0);
            ASSERT_GE(at.index, previous) << "time runs forward";
            previous = at.index;
        }
    }
    // Away from the end, the reading point is the exact one.
    const SeriesPosition mid = PixelSamplePosition(kModeTwoRateHz, 0.1348, 1, 320, 0, 65536);
    const double exact = kModeTwoRateHz * 0.1348 * 320 / 640;
    EXPECT_EQ(mid.index, static_cast<int>(std::floor(exact)));
    EXPECT_NEAR(mid.fraction, exact - std::floor(exact), 1e-9);
}

TEST(ZeroSpanPlanTest, TriggerPowerIsFormedWithoutOverflow) {
    // Two full-scale words give 2^31, which a 32-bit sum turns negative.
    const std::vector<std::int32_t> iq = {100, -32768, 5};  // as both I and Q
    EXPECT_EQ(TriggeredCapture::FirstAbove(iq, iq, 2147483647.0), 1);
    EXPECT_EQ(TriggeredCapture::FirstAbove(iq, iq, 2147483648.0), -1);
    EXPECT_EQ(TriggeredCapture::FirstAbove(iq, iq, 19999.0), 0);
    EXPECT_EQ(TriggeredCapture::FirstAbove(iq, iq, 20000.0), 1) << "strictly above the threshold";
    EXPECT_EQ(TriggeredCapture::FirstAbove(iq, iq, kNaN), -1);
}

// --- On the virtual instrument -------------------------------------------------------

constexpr double kTunedHz = 915.0e6;  // far from the sampler's harmonics: clock mode 0
constexpr double kToneDbm = -20.0;    // some 60 dB above the sampler's noise in 240 kHz

class ZeroSpanOnInstrumentTest : public test::VirtualUnitTest {
  protected:
    // A unit with the default reference error (1200 ppb off) and one carrier,
    // or a tone 50 % AM by 1 kHz, at emitterHz.
    void StartWith(double emitterHz, bool am = false) {
        const auto modulation = am ? std::optional(sim::SceneAm{1000.0, 0.5}) : std::nullopt;
        Start({{emitterHz, kToneDbm, modulation, std::nullopt}}, {.tcxoPpb = 1200.0});
    }
    // Zero span at tunedHz as the zero-span entry leaves it.
    void TuneZeroSpan(bool fm, double sweepTimeSec, double maxFmOffsetHz = 100e3,
                      double tunedHz = kTunedHz) {
        doc->SetFrequencies(tunedHz, tunedHz);
        Edit([&](InstrumentState& state) {
            state.zeroSpanFm = fm ? 1 : 0;
            state.sweepTimeSec = sweepTimeSec;
            state.maxFmOffsetHz = maxFmOffsetHz;
        });
    }
    void SetVideoTrigger(bool on, double threshold) {
        Edit([&](InstrumentState& state) {
            state.videoTrigger = on;
            state.videoTrigThreshold = threshold;
        });
    }
    void ZeroSpanSweep() { doc->PerformSweep(); }
};

// A carrier off the tuned frequency is a steady deviation: the sign, the
// scale (decimated or not), the LO's residual error and the mirrored spectrum
// of clock mode 1 all show in its row. A peak deviation that cannot be
// divided by acts as 100 kHz.
TEST_F(ZeroSpanOnInstrumentTest, FmCarrierOffsetDrawsItsRow) {
    struct Case {
        double tunedHz, offsetHz, sweepTimeSec, maxOffsetHz;
        int clockMode, decimation;
        double row, tolerance;
    };
    // 653.3 MHz lies by the sampler's 28th harmonic, 630.05 MHz by the 27th.
    const Case cases[] = {
        {915.0e6, 20e3, 0.01, 100e3, 0, 1, 200.0, 0.5},
        {915.0e6, -20e3, 0.01, 100e3, 0, 1, 300.0, 0.5},
        {653.3e6, 20e3, 0.01, 100e3, 1, 1, 200.0, 0.5},
        {653.3e6, -20e3, 0.01, 100e3, 1, 1, 300.0, 0.5},
        {630.05e6, 20e3, 0.01, 100e3, 2, 1, 200.0, 0.5},
        {915.0e6, 5e3, 0.1, 10e3, 0, 10, 125.0, 1.5},  // D = 10, 4861 samples
        {915.0e6, 20e3, 0.01, kNaN, 0, 1, 200.0, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tunedHz << " " << c.offsetHz << " " << c.maxOffsetHz);
        StartWith(c.tunedHz + c.offsetHz);
        TuneZeroSpan(true, c.sweepTimeSec, c.maxOffsetHz, c.tunedHz);
        ZeroSpanSweep();
        EXPECT_EQ(doc->engine.clockMode, c.clockMode);
        EXPECT_EQ(unit->State().Decimation(), c.decimation);
        EXPECT_EQ(doc->Settings().rbwHz, 240000.0 / c.decimation);
        EXPECT_NEAR(MinRow(), c.row, c.tolerance);
        EXPECT_NEAR(MaxRow(), c.row, c.tolerance);
    }
}

// An FM sweep too long for the buffer is shortened with a message, once; a
// span of 0 set by a span command keeps the swept sweep time (2.2 s at
// preset), which is brought to the zero-span range and kept.
TEST_F(ZeroSpanOnInstrumentTest, SweepTimesOutsideTheCaptureOrTheRangeAreBroughtInAndKept) {
    StartWith(kTunedHz + 20000.0);
    TuneZeroSpan(true, 0.2, 100e3);  // 97222 samples at D = 1
    ZeroSpanSweep();
    EXPECT_NEAR(doc->Settings().sweepTimeSec, 0.1, 1e-6);
    EXPECT_NEAR(MinRow(), 200.0, 0.5);
    ZeroSpanSweep();
    ASSERT_EQ(prompter.Count(), 1u) << "the shortened time fits";
    EXPECT_EQ(prompter.Boxes()[0].caption, "SWEEP TIME ADJUSTED");

    StartWith(kTunedHz, true);
    doc->SetCenterSpan(kTunedHz, 0.0);
    ASSERT_LT(doc->Frequencies().SpanHz(), 1.0);
    ASSERT_EQ(doc->Settings().sweepTimeSec, 2.2);
    ZeroSpanSweep();
    EXPECT_EQ(doc->Settings().sweepTimeSec, 2.0);
    EXPECT_EQ(unit->State().Decimation(), 15);
    EXPECT_EQ(doc->Settings().rbwHz, 16000.0);
    EXPECT_EQ(prompter.Count(), 0u);
    EXPECT_LT(MaxRow(), 300.0) << "the tone is drawn";
}

// The capture starts at the first sample above the threshold: with the
// threshold just below the envelope's peak, pixel 0 shows the peak level.
TEST_F(ZeroSpanOnInstrumentTest, VideoTriggerStartsTheTraceAtTheThresholdCrossing) {
    StartWith(kTunedHz, true);
    TuneZeroSpan(false, 0.01);
    ZeroSpanSweep();
    const double peakRow = MinRow();
    // The trigger level is entered as the screen shows levels.
    const SweepEngine& e = doc->engine;
    const double ifPath =
        TunedIfPathPowerFactor(doc->calTable, e.decimation, e.ifInUse, e.lo1ErrorHz.load());
    SetVideoTrigger(
        true, VideoTriggerThreshold(LevelOfRow(peakRow) - 0.05, doc->AmplitudeCorrection(kTunedHz),
                                    doc->Settings().attenDb, ifPath));
    driver->afterBlock = [this](int block) {
        if (block == 1000) {
            doc->stopRequest = 1;  // no trigger came: end the test rather than hang
        }
    };
    for (int pass = 0; pass < 3; ++pass) {
        ZeroSpanSweep();
        ASSERT_EQ(doc->stopRequest.load(), 0) << "no trigger";
        EXPECT_NEAR(test::TraceOf(*doc).traceA[0], peakRow, 0.5) << "pass " << pass;
        EXPECT_NEAR(test::TraceOf(*doc).traceA[0], MinRow(), 0.5) << "pass " << pass;
        EXPECT_GT(MaxRow() - MinRow(), 40.0) << "the envelope is drawn after it";
    }
    EXPECT_EQ(driver->CaptureRequests(), 1);
    EXPECT_EQ(driver->StreamStarts(), 3);
    EXPECT_EQ(prompter.Count(), 0u);
}

// A threshold never reached (above every signal, or not a number) would
// otherwise hold the sweep, and a stopper waiting for it, for ever. With the
// trigger off the capture proceeds at once, switched off during the wait it
// proceeds from the stream; a stop request ends the wait, keeps the previous
// rows and leaves the stream stopped and purged for a clean next capture.
TEST_F(ZeroSpanOnInstrumentTest, TriggerWaitsThatNeverEndOnTheirOwnEndWhenTheyShould) {
    struct Row {
        const char* name;
        double threshold;
        bool triggerOn;
        int offAtBlock, stopAtBlock;
        int blocksRead, streamStarts;
    };
    const Row rows[] = {
        {"trigger off", 1e30, false, 0, 0, 4, 0},
        {"trigger switched off while waiting", 1e30, true, 5, 0, 5 + 4, 1},
        {"stop request", 1e30, true, 0, 7, 7, 1},
        {"stop request, threshold not a number", kNaN, true, 0, 7, 7, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        StartWith(kTunedHz);
        TuneZeroSpan(false, 0.01);  // 16384 samples: four blocks
        SetVideoTrigger(row.triggerOn, row.threshold);
        driver->afterBlock = [this, &row](int block) {
            if (block == row.offAtBlock) {
                Edit([](InstrumentState& state) { state.videoTrigger = false; });
            }
            if (block == row.stopAtBlock) {
                doc->stopRequest = 1;
            }
        };
        const SweepTrace before = test::TraceOf(*doc);
        ZeroSpanSweep();
        EXPECT_EQ(driver->blocksRead, row.blocksRead);
        EXPECT_EQ(driver->StreamStarts(), row.streamStarts);
        EXPECT_EQ(prompter.Count(), 0u);
        if (row.stopAtBlock > 0) {
            EXPECT_EQ(test::TraceOf(*doc).traceA, before.traceA);
            doc->stopRequest = 0;
            SetVideoTrigger(false, row.threshold);
            ZeroSpanSweep();
            EXPECT_EQ(prompter.Count(), 0u);
        }
        for (const int i : {0, 320, 640}) {
            EXPECT_NEAR(test::TraceOf(*doc).traceA[i], RowOf(kToneDbm), 1.0) << i;
        }
    }
}

// The clock mode's receiver constants are the document's as soon as the
// sweep chooses them: the TRIGGER LEVEL entry reads them while the sweep
// waits for its trigger.
TEST_F(ZeroSpanOnInstrumentTest, TheChosenClockModesConstantsAreTheDocumentsDuringTheWait) {
    StartWith(630.05e6);  // by the sampler's 27th harmonic: clock mode 2
    TuneZeroSpan(false, 0.01, 100e3, 630.05e6);
    SetVideoTrigger(true, 1e30);
    double sampleRateHz = 0.0;
    driver->afterBlock = [&](int block) {
        if (block == 3) {
            sampleRateHz = doc->Settings().sampleRateHz;
            doc->stopRequest = 1;
        }
    };
    ZeroSpanSweep();
    doc->stopRequest = 0;
    EXPECT_NEAR(sampleRateHz, 486607.1429 * (1.0 + 1200e-9), 0.01);
}

// The panel pauses the sweep for a setting change while the sweep thread
// waits for a trigger that never comes: the pause must still end.
TEST_F(ZeroSpanOnInstrumentTest, PausingTheSweepEndsATriggerWaitThatNeverEnds) {
    StartWith(kTunedHz);
    TuneZeroSpan(false, 0.01);
    SetVideoTrigger(true, 1e30);
    doc->OnContinuous();
    while (driver->blocksRead.load() < 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    doc->PauseSweep();
    EXPECT_FALSE(doc->SweepRunning());
    EXPECT_EQ(driver->CaptureRequests(), 0);
    EXPECT_EQ(prompter.Count(), 0u);
    Edit([](InstrumentState& state) { state.videoTrigger = false; });
    doc->ResumeSweep();
    EXPECT_TRUE(doc->SweepRunning());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (driver->CaptureRequests() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GE(driver->CaptureRequests(), 1) << "free-running after the change";
    doc->PauseSweep();
    EXPECT_FALSE(doc->SweepRunning());
    doc->ResumeSweep();
}

// With the unit gone every block would time out in turn: one message, then
// the capture is given up.
TEST_F(ZeroSpanOnInstrumentTest, UnitVanishingDuringATriggeredCaptureGivesOneTimeOutMessage) {
    StartWith(kTunedHz);
    TuneZeroSpan(false, 0.1);  // 65536 samples: sixteen blocks
    SetVideoTrigger(true, 0.0);
    driver->afterBlock = [this](int block) {
        if (block == 3) {
            unit->Unplug();
        }
    };
    ZeroSpanSweep();
    EXPECT_EQ(BoxCount("Time out waiting for data"), 1);
    EXPECT_EQ(BoxCount("Error 5 - USB Data Not Received"), 0);
}

}  // namespace
}  // namespace tavlin
