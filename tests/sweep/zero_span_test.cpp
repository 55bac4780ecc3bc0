// Zero span: the capture plan from the sweep time and peak deviation, the
// trigger power, and on the virtual instrument the FM row, sweep-time limits
// and the video trigger's waits (a carrier's AM level is in
// the accuracy table).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "e2e/virtual_unit_fixture.h"
#include "panel/front_panel_commands.h"
#include "support/eventually.h"
#include "support/scripted_entry_dialogs.h"
#include "sweep/triggered_capture.h"
#include "sweep/zero_span_plan.h"

namespace tavlin {
namespace {

constexpr double kModeTwoRateHz = 486607.1428571429;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// --- Capture plan -------------------------------------------------------------------

// Every sweep time, held to the zero-span range, plans a decimation the
// instrument takes (256 would wrap its register) and a capture every pixel
// reads inside, after the FM settling samples and at clock mode 2's rate, a
// little above the nominal one: there the AM times that just fill a capture
// at the nominal rate would overrun it. FM times the buffer cannot hold are
// shortened.
TEST(ZeroSpanPlanTest, EveryPixelReadsInsideTheCaptureAtTheFasterClock) {
    std::vector<std::pair<ZeroSpanCapturePlan, int>> plans;
    for (const double asked : {0.0337, 0.0338, 0.0674, 0.1348, 0.1349, 2.2, kInf, kNaN, -1.0}) {
        plans.emplace_back(PlanAmCapture(ClampZeroSpanSweepTime(asked)), 0);
    }
    for (const auto& [sweepTimeSec, maxFmOffsetHz] :
         {std::pair{0.01, 100e3}, {0.0005, 10e3}, {0.005, 10e3}, {1.0, 10.0}, {3.0, 5000.0}}) {
        plans.emplace_back(PlanFmCapture(sweepTimeSec, maxFmOffsetHz, kModeTwoRateHz),
                           kFmSettlingSamples);
    }
    EXPECT_NEAR(plans.back().first.sweepTimeSec, 1.6, 0.01);
    for (const auto& [plan, settling] : plans) {
        SCOPED_TRACE(testing::Message() << plan.sweepTimeSec << " s, settling " << settling);
        ASSERT_LE(plan.decimation, kMaxZeroSpanDecimation);
        int previous = 0;
        for (int pixel = 0; pixel <= 640; ++pixel) {
            const SeriesPosition at =
                PixelSamplePosition(kModeTwoRateHz, plan.sweepTimeSec, plan.decimation, pixel,
                                    settling, plan.captureLength);
            ASSERT_GE(at.index, previous) << "time runs forward, pixel " << pixel;
            ASSERT_LE(at.index + 1, plan.captureLength - 1) << "pixel " << pixel;
            ASSERT_GE(at.fraction, 0.0);
            ASSERT_LE(at.fraction, 1.0);
            previous = at.index;
        }
    }
    for (const auto& [asked, held] : {std::pair{0.0, 0.0005}, {kInf, 2.0}, {kNaN, 2.0}}) {
        EXPECT_EQ(ClampZeroSpanSweepTime(asked), held) << asked;
    }
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
};

// A carrier off the tuned frequency is a steady deviation: the sign, the
// scale (decimated for the peak deviation, or as far as one decimation step
// a pixel allows), the LO's residual error and the mirrored spectrum of clock
// mode 1 all show in its row. A peak deviation that cannot be divided by acts
// as 100 kHz. A sweep too long for the buffer is shortened with a message,
// once: the next sweep keeps the time that fits.
TEST_F(ZeroSpanOnInstrumentTest, FmCarrierOffsetDrawsItsRow) {
    struct Case {
        double tunedHz, offsetHz, sweepTimeSec, maxOffsetHz;
        int clockMode, decimation;
        double row, tolerance, keptTimeSec;
    };
    // 653.3 MHz lies by the sampler's 28th harmonic, 630.05 MHz by the 27th.
    const Case cases[] = {
        {915.0e6, 20e3, 0.01, 100e3, 0, 1, 200.0, 0.5, 0.01},
        {915.0e6, -20e3, 0.01, 100e3, 0, 1, 300.0, 0.5, 0.01},
        {653.3e6, 20e3, 0.01, 100e3, 1, 1, 200.0, 0.5, 0.01},
        {630.05e6, 20e3, 0.01, 100e3, 2, 1, 200.0, 0.5, 0.01},
        {915.0e6, 5e3, 0.1, 10e3, 0, 10, 125.0, 1.5, 0.1},     // D = 10, 4861 samples
        {915.0e6, 5e3, 0.005, 10e3, 0, 3, 125.0, 1.5, 0.005},  // D = 3: one step a pixel
        {915.0e6, 20e3, 0.01, kNaN, 0, 1, 200.0, 0.5, 0.01},
        {915.0e6, 20e3, 0.2, 100e3, 0, 1, 200.0, 0.5, 0.1},  // 97222 samples at D = 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tunedHz << " " << c.offsetHz << " " << c.maxOffsetHz);
        StartWith(c.tunedHz + c.offsetHz);
        TuneZeroSpan(true, c.sweepTimeSec, c.maxOffsetHz, c.tunedHz);
        doc->PerformSweep();
        doc->PerformSweep();
        EXPECT_NEAR(doc->Settings().sweepTimeSec, c.keptTimeSec, 1e-6);
        EXPECT_EQ(prompter.Count(), c.keptTimeSec < c.sweepTimeSec ? 1u : 0u);
        EXPECT_EQ(test::WithInstrument(*doc, [](InstrumentLease& i) { return i.Plan().clockMode; }),
                  c.clockMode);
        EXPECT_EQ(unit->State().Decimation(), c.decimation);
        EXPECT_NEAR(MinRow(), c.row, c.tolerance);
        EXPECT_NEAR(MaxRow(), c.row, c.tolerance);
    }
}

// A span of 0 set by a span command keeps the swept sweep time (2.2 s at
// preset), which is brought to the zero-span range without a message.
TEST_F(ZeroSpanOnInstrumentTest, ASweepTimeOutsideTheRangeIsBroughtInAndKept) {
    StartWith(kTunedHz, true);
    doc->SetCenterSpan(kTunedHz, 0.0);
    ASSERT_EQ(doc->Settings().sweepTimeSec, 2.2);
    doc->PerformSweep();
    EXPECT_EQ(doc->Settings().sweepTimeSec, 2.0);
    EXPECT_EQ(prompter.Count(), 0u);
    EXPECT_LT(MaxRow(), 300.0) << "the tone is drawn";
}

// The capture starts at the first sample above the threshold: with the
// threshold just below the envelope's peak, pixel 0 shows the peak level.
TEST_F(ZeroSpanOnInstrumentTest, VideoTriggerStartsTheTraceAtTheThresholdCrossing) {
    StartWith(kTunedHz, true);
    SweepPause pause(*doc);
    InstrumentLease& instrument = pause.Instrument();
    TuneZeroSpan(false, 0.01);
    doc->PerformSweep();
    const double peakRow = MinRow();
    // The trigger level is entered on the panel as the screen shows levels.
    test::ScriptedEntryDialogs dialogs;
    dialogs.amplitudes.push_back(LevelOfRow(peakRow) - 0.05);
    FrontPanelCommands(*doc, dialogs).OnVideo();
    ASSERT_TRUE(doc->Settings().videoTrigger);
    driver->afterBlock = [&instrument](int block) {
        if (block == 1000) {
            instrument.RequestStop(true);  // no trigger came: end the test rather than hang
        }
    };
    for (int pass = 0; pass < 3; ++pass) {
        doc->PerformSweep();
        ASSERT_FALSE(doc->StopRequested()) << "no trigger";
        EXPECT_NEAR(Rows()[0], peakRow, 0.5) << "pass " << pass;
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
        SweepPause pause(*doc);
        InstrumentLease& instrument = pause.Instrument();
        TuneZeroSpan(false, 0.01);  // 16384 samples: four blocks
        SetVideoTrigger(row.triggerOn, row.threshold);
        bool saidWaiting = false;
        driver->afterBlock = [this, &row, &saidWaiting, &instrument](int block) {
            if (block == row.offAtBlock) {
                Edit([](InstrumentState& state) { state.videoTrigger = false; });
            }
            if (block == row.stopAtBlock) {
                saidWaiting = doc->WaitingForTrigger();
                instrument.RequestStop(true);
            }
        };
        const auto before = Rows();
        doc->PerformSweep();
        EXPECT_EQ(saidWaiting, row.stopAtBlock > 0) << "the screen says the capture waits";
        EXPECT_FALSE(doc->WaitingForTrigger());
        EXPECT_EQ(driver->blocksRead, row.blocksRead);
        EXPECT_EQ(driver->StreamStarts(), row.streamStarts);
        EXPECT_EQ(prompter.Count(), 0u);
        if (row.stopAtBlock > 0) {
            EXPECT_EQ(Rows(), before);
            instrument.RequestStop(false);
            SetVideoTrigger(false, row.threshold);
            doc->PerformSweep();
            EXPECT_EQ(prompter.Count(), 0u);
        }
        for (const int i : {0, 320, 640}) {
            EXPECT_NEAR(Rows()[i], RowOf(kToneDbm), 1.0) << i;
        }
    }
}

// The clock mode's receiver constants are the document's as soon as the
// sweep chooses them: the TRIGGER LEVEL entry reads them while the sweep
// waits for its trigger.
TEST_F(ZeroSpanOnInstrumentTest, TheChosenClockModesConstantsAreTheDocumentsDuringTheWait) {
    StartWith(630.05e6);  // by the sampler's 27th harmonic: clock mode 2
    SweepPause pause(*doc);
    TuneZeroSpan(false, 0.01, 100e3, 630.05e6);
    SetVideoTrigger(true, 1e30);
    double sampleRateHz = 0.0;
    driver->afterBlock = [&](int block) {
        if (block == 3) {
            sampleRateHz = doc->Settings().sampleRateHz;
            pause.Instrument().RequestStop(true);
        }
    };
    doc->PerformSweep();
    pause.Instrument().RequestStop(false);
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
    test::Eventually([this] { return driver->CaptureRequests() > 0; }, std::chrono::seconds(20));
    EXPECT_GE(driver->CaptureRequests(), 1) << "free-running after the change";
    doc->PauseSweep();
    EXPECT_FALSE(doc->SweepRunning());
    doc->ResumeSweep();
}

// SINGLE waits for its trigger, saying so, until it comes or the user stops
// the sweep; the stop ends the wait at once. A trigger that comes draws the
// single sweep's trace.
TEST_F(ZeroSpanOnInstrumentTest, ASingleSweepWaitsForItsTrigger) {
    const auto waitUntil = [](const auto& done) {
        test::Eventually(done, std::chrono::seconds(20));
    };
    StartWith(kTunedHz);
    TuneZeroSpan(false, 0.01);
    SetVideoTrigger(true, 1e30);
    doc->OnSingle();
    waitUntil([this] { return driver->blocksRead.load() >= 20 || !doc->SweepRunning(); });
    EXPECT_TRUE(doc->SweepRunning());
    EXPECT_TRUE(doc->WaitingForTrigger());
    doc->StopAfterThisPass();
    waitUntil([this] { return !doc->SweepRunning(); });
    EXPECT_FALSE(doc->SweepRunning());
    SetVideoTrigger(true, 0.0);
    doc->OnSingle();
    waitUntil([this] { return !doc->SweepRunning(); });
    EXPECT_NEAR(Rows()[320], RowOf(kToneDbm), 1.0);
    EXPECT_EQ(prompter.Count(), 0u);
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
    doc->PerformSweep();
    EXPECT_EQ(BoxCount("Time out waiting for data"), 1);
    EXPECT_EQ(BoxCount("Error 5 - USB Data Not Received"), 0);
}

}  // namespace
}  // namespace tavlin
