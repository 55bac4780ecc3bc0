// The two FFT sweep kinds: the mapping of bins to the trace with averaging and
// max hold, their capture rules, and what whole sweeps of the virtual
// instrument do beyond reading an emitter right (the accuracy table).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "e2e/virtual_unit_fixture.h"
#include "support/allocation_counter.h"
#include "sweep/fft_sweep.h"
#include "sweep/fft_trace_mapping.h"
#include "sweep/narrow_fft_sweep.h"

namespace tavlin {
namespace {

// --- Mapping, averaging and max hold -----------------------------------------------

class SpectrumMappingTest : public ::testing::Test {
  protected:
    SpectrumMappingTest() {
        settings.refLevelDbm = 0.0;
        settings.attenDb = 10.0;
        settings.dbPerDiv = 10.0;
        trace.traceA.fill(500.0);
        trace.traceAInt.fill(500);
    }
    // Power that draws at `row` under the correction used here (-10 dB):
    // row = -50 log10(P).
    static double PowerOfRow(double row) { return std::pow(10.0, -row / 50.0); }
    void MapFlat(double row, int averageCount, std::size_t bins = 1024) {
        power.assign(bins, PowerOfRow(row));
        MapSpectrumToTrace({power, 0.4, false}, kCorrection, averageCount, settings, trace);
    }

    static constexpr double kCorrection = -10.0;
    SweepSettings settings;
    SweepTrace trace;
    std::vector<double> power;
};

TEST_F(SpectrumMappingTest, FirstSweepAfterResetShowsTheTraceAsItIsAndTheTenthWeighsATenth) {
    MapFlat(100.0, 1);
    EXPECT_NEAR(trace.traceA[0], 100.0, 1e-9);
    EXPECT_NEAR(trace.traceA[640], 100.0, 1e-9);
    EXPECT_EQ(trace.traceAInt[320], 100);
    MapFlat(200.0, 2);
    EXPECT_NEAR(trace.traceA[17], 150.0, 1e-9) << "running mean of two sweeps";
    MapFlat(300.0, 10);
    EXPECT_NEAR(trace.traceA[17], 300.0 / 10 + 150.0 * 0.9, 1e-9);
    EXPECT_EQ(trace.traceAInt[17], 165);
    for (const int count : {0, -3}) {  // a count below one acts as one
        MapFlat(120.0, count);
        EXPECT_NEAR(trace.traceA[5], 120.0, 1e-9) << count;
    }
}

TEST_F(SpectrumMappingTest, MaxHoldKeepsTheHigherLevel) {
    settings.maxHold = true;
    trace.traceA.fill(100.0);
    trace.traceAInt.fill(100);
    MapFlat(200.0, 1);
    EXPECT_EQ(trace.traceA[300], 100.0) << "a lower level leaves the held row";
    EXPECT_EQ(trace.traceAInt[300], 100);
    MapFlat(60.5, 1);
    EXPECT_NEAR(trace.traceA[300], 60.5, 1e-9);
    EXPECT_EQ(trace.traceAInt[300], 60);
}

TEST_F(SpectrumMappingTest, BinsLieAcrossThePixelsFromTheCentreOutwardWidePixelsShowTheLowerBin) {
    // 0.25 bins per pixel: bin 10 is pixel 360, bin N - 10 pixel 280.
    const std::size_t n = 256;
    power.assign(n, PowerOfRow(480.0));
    power[10] = PowerOfRow(50.0);
    power[n - 20] = PowerOfRow(80.0);
    MapSpectrumToTrace({power, 0.25, false}, kCorrection, 1, settings, trace);
    EXPECT_NEAR(trace.traceA[360], 50.0, 1e-9);
    EXPECT_NEAR(trace.traceA[240], 80.0, 1e-9);
    EXPECT_NEAR(trace.traceA[362], 50.0 * 0.5 + 480.0 * 0.5, 1e-9) << "interpolated";

    trace.traceA.fill(500.0);
    MapSpectrumToTrace({power, 0.25, true}, kCorrection, 1, settings, trace);
    EXPECT_NEAR(trace.traceA[280], 50.0, 1e-9) << "a reversed axis puts bin 10 left of centre";
    EXPECT_NEAR(trace.traceA[400], 80.0, 1e-9);

    // Pixel 330 with 2 bins per pixel reads bins 20 and 21: the lower level.
    power.assign(4096, PowerOfRow(480.0));
    power[20] = PowerOfRow(40.0);
    power[21] = PowerOfRow(90.0);
    MapSpectrumToTrace({power, 2.0, false}, kCorrection, 1, settings, trace);
    EXPECT_NEAR(trace.traceA[330], 90.0, 1e-9);
}

// --- Pieces of the FFT sweep --------------------------------------------------------

TEST(FftSweepPiecesTest, CaptureLengthBySpanAndRealtimeMode) {
    EXPECT_EQ(FftSweep::CaptureLength(999.0, 1024, false), 65536);
    EXPECT_EQ(FftSweep::CaptureLength(1000.0, 1024, false), 16384);
    EXPECT_EQ(FftSweep::CaptureLength(200e3, 65536, false), 65536) << "never fewer than N";
    EXPECT_EQ(FftSweep::CaptureLength(50e3, 2048, true), 2048);
    EXPECT_EQ(FftSweep::CaptureLength(50e3, 128, true), 512)
        << "a short transform still takes one whole block";
}

TEST(NarrowFftSweepPiecesTest, DecimationFromLoErrorAndLengthFromSpan) {
    EXPECT_EQ(NarrowFftSweep::DecimationFor(6000.0), 16);
    EXPECT_EQ(NarrowFftSweep::DecimationFor(-6000.5), 8);
    EXPECT_EQ(NarrowFftSweep::DecimationFor(12000.0), 8);
    EXPECT_EQ(NarrowFftSweep::DecimationFor(24000.0), 4);
    EXPECT_EQ(NarrowFftSweep::DecimationFor(24001.0), 2);
    EXPECT_EQ(NarrowFftSweep::SamplesBeforeDecimation(1.0), 1u << 24);
    EXPECT_EQ(NarrowFftSweep::SamplesBeforeDecimation(20.0), 1u << 23);
    EXPECT_EQ(NarrowFftSweep::SamplesBeforeDecimation(79.9), 1u << 22);
    EXPECT_EQ(NarrowFftSweep::SamplesBeforeDecimation(149.0), 1u << 21);
}

TEST(NarrowFftSweepPiecesTest, PowerSpectrumFindsAShiftedToneAndReleasesTheImaginaryPart) {
    const std::size_t n = 4096;
    std::vector<double> re(n);
    std::vector<double> im(n);
    // A tone at bin 100.5 of amplitude 0.1; a shift of 3.5 bins moves it to 97.
    const double pi = std::acos(-1.0);
    for (std::size_t i = 0; i < n; ++i) {
        re[i] = 0.1 * std::cos(2 * pi * 100.5 * i / n);
        im[i] = 0.1 * std::sin(2 * pi * 100.5 * i / n);
    }
    NarrowFftSweep::PowerSpectrum(re, im, 2 * pi * 3.5 / n, 0);
    EXPECT_EQ(im.capacity(), 0u);
    const auto peak = std::max_element(re.begin(), re.end()) - re.begin();
    EXPECT_EQ(peak, 97);
    EXPECT_NEAR(10 * std::log10(re[97]), -20.0, 0.02) << "flat-top reads the tone's level";
}

// --- Whole sweeps of the virtual instrument -------------------------------------------

class FftSweepOnUnitTest : public test::VirtualUnitTest {
  protected:
    void SetImageReject(bool on) {
        Edit([on](InstrumentState& s) { s.imageReject = on; });
    }
    void SetRefLevel(double dbm) {
        Edit([dbm](InstrumentState& s) { s.refLevelDbm = dbm; });
    }
};

TEST_F(FftSweepOnUnitTest, ImageResponseShowsOnlyWithImageRejectionOff) {
    // LO1 sits one IF above the centre; an emitter one more IF above it reaches
    // the same IF from the far side and lands mirrored, 2 kHz below the centre
    // and moved by twice the LO's residual error (the shift that puts true
    // signals right moves images the other way).
    const double center = 915e6;
    for (const double refLevel : {0.0, 10.0}) {  // LO2 through the 2.9 MHz IF, or below
        const double imageHz = center + 2 * 10694444.4444 + 2000.0;
        Start({Cw(imageHz, -30.0)}, {.noiseDbmHz = -110.0});
        SetRefLevel(refLevel);
        SetImageReject(false);
        Sweep(center, 10e3);
        const Reading seen = Peak();
        const double expectedHz = center - 2000.0 - 2.0 * doc->engine.lo1ErrorHz.load();
        EXPECT_NEAR(seen.freqHz, expectedHz, 10e3 / 640 + doc->state.rbwHz) << refLevel;
        EXPECT_GT(seen.levelDbm, MedianLevel() + 30.0) << refLevel;

        SetImageReject(true);
        Sweep(center, 10e3);
        EXPECT_EQ(doc->engine.lo2SecondIf, refLevel <= 5.0);
        EXPECT_LT(Peak().levelDbm, MedianLevel() + 6.0)
            << "image rejection leaves the noise floor, ref level " << refLevel;
    }
}

TEST_F(FftSweepOnUnitTest, SecondIfImagePassLeavesTheUnitOnTheFirstIfWithTheLevelPlansGain) {
    Start({Cw(915e6, -30.0)});
    SetRefLevel(0.0);
    Sweep(915e6, 10e3);
    ASSERT_TRUE(doc->engine.lo2SecondIf);
    const sim::ReceiverState state = unit->State();
    EXPECT_EQ(state.ifPath, 0);
    EXPECT_EQ(state.GainState(), doc->state.gainMode);
    EXPECT_EQ(state.attenIndex, static_cast<int>(doc->state.attenDb / 5));
}

// A failed capture is reported and the sweep goes on; IF compression warns
// and stops continuous sweeping after this sweep.
TEST_F(FftSweepOnUnitTest, CaptureProblemsAreReportedOnce) {
    Start({Cw(915e6, -30.0)}, {.faults = {.shortCaptures = 1}});
    SetImageReject(false);
    Sweep(915e6, 10e3);
    EXPECT_EQ(Boxes(), "ERROR--TRY AGAIN: Error 5 - USB Data Not Received\n");
    prompter.Clear();
    doc->engine.PerformSweep(*doc);
    EXPECT_EQ(Boxes(), "");
    EXPECT_NEAR(Peak().levelDbm, -30.0, 0.5);

    Start({Cw(915e6, 0.0)});
    SetRefLevel(-40.0);
    Sweep(915e6, 10e3);
    EXPECT_EQ(Boxes(),
              "IF COMPRESSION WARNING: Warning: IF Level may be into compression\r\n"
              "Reduce input or increase reference level\n");
    EXPECT_EQ(doc->stopRequest.load(), 1);
}

TEST_F(FftSweepOnUnitTest, VideoAveragingStartsFromTheFirstSweepAfterAReset) {
    Start({Cw(915e6 + 1000.0, -40.0)});
    Edit([](InstrumentState& s) {
        s.videoAvgCount = 10;
        s.videoAvgIndex = 0;
    });
    Sweep(915e6, 10e3);
    EXPECT_NEAR(Peak().levelDbm, -40.0, 0.5) << "not averaged with the preset floor";
    EXPECT_EQ(doc->state.videoAvgIndex, 1);
    doc->engine.PerformSweep(*doc);
    EXPECT_EQ(doc->state.videoAvgIndex, 2);
    EXPECT_NEAR(Peak().levelDbm, -40.0, 0.5);
}

TEST_F(FftSweepOnUnitTest, SteadyStateProcessingAllocatesNothing) {
    Start({Cw(915e6 + 1234.0, -30.0)});
    Sweep(915e6, 10e3);
    const SweepSettings settings = doc->TakeSweepSettings();
    SweepTrace trace = doc->trace;
    SweepOutcome outcome;
    SweepContext context{*doc,  doc->engine,      doc->link, doc->calTable, prompter, progress,
                         clock, doc->stopRequest, settings,  trace,         outcome};
    doc->engine.ChooseSampleClock(915e6, context);
    FftSweep sweep;
    const FftSweep::PassGeometry main = FftSweep::MainPassGeometry(context);
    const FftSweep::PassGeometry image = FftSweep::ImagePassGeometry(context, main);
    const auto process = [&] {
        doc->engine.ChooseFftResolution(10e3, settings);
        const int blocks = sweep.ProcessMainPass(context, main);
        sweep.CountFrequency(main, false, 915e6);
        sweep.ProcessImagePass(context, image, 2.0);
        sweep.MapToTrace(context, main, blocks);
    };
    process();  // the first sweep at a new FFT length builds its plan and window
    test::AllocationCounting counting;
    process();
    process();
    EXPECT_EQ(counting.Count(), 0u);
    const std::vector<double> first(16);
    EXPECT_EQ(counting.Count(), 1u) << "the counter sees this thread's allocations";
}

TEST_F(FftSweepOnUnitTest, NarrowSweepTakesTheLongestTransformAndShowsItsProgress) {
    Start({Cw(915e6 + 13.7, -30.0)});
    progress.Clear();
    Sweep(915e6, 100.0);
    EXPECT_EQ(doc->engine.decimation, 16);
    EXPECT_EQ(doc->engine.fftSize, 1 << 17);
    EXPECT_DOUBLE_EQ(doc->state.rbwHz, 1638400.0 / (16 << 17));
    const auto events = progress.Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), "show");
    EXPECT_EQ(events[events.size() - 2], "100");
    EXPECT_EQ(events.back(), "hide");
    EXPECT_EQ(Boxes(), "");
}

TEST_F(FftSweepOnUnitTest, NarrowSweepAbandonsItsCaptureWhenTheUnitGoes) {
    Start({Cw(915e6, -30.0)});
    Sweep(915e6, 100.0);
    const auto before = doc->trace.traceA;
    progress.OnPosition([this](int percent) {
        if (percent >= 50) {
            unit->Unplug();
        }
    });
    doc->engine.PerformSweep(*doc);
    EXPECT_EQ(BoxCount("Time out waiting for data"), 1) << Boxes();
    EXPECT_EQ(doc->trace.traceA, before) << "a broken capture is not drawn";
    EXPECT_EQ(progress.Events().back(), "hide");
}

}  // namespace
}  // namespace tavlin
