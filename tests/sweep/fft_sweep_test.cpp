// The two FFT sweep kinds: the mapping of bins to the trace with averaging and
// max hold, their capture and transform lengths, and what whole sweeps of the
// virtual instrument do beyond reading an emitter right (the accuracy table).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "e2e/virtual_unit_fixture.h"
#include "sweep/fft_sweep.h"
#include "sweep/fft_trace_mapping.h"
#include "sweep/narrow_fft_sweep.h"

namespace tavlin {
namespace {

// --- Mapping, averaging and max hold -----------------------------------------------

// Maps a spectrum under a correction of -10 dB, which draws power P at row
// -50 log10(P) from the preset reference level.
void Map(std::vector<double> rows, double binsPerPixel, int averageCount, bool maxHold,
         SweepTrace& trace) {
    SweepSettings settings;
    settings.refLevelDbm = 0.0;
    settings.attenDb = 10.0;
    settings.dbPerDiv = 10.0;
    settings.maxHold = maxHold;
    for (double& row : rows) {
        row = std::pow(10.0, -row / 50.0);
    }
    MapSpectrumToTrace({rows, binsPerPixel, false}, -10.0, averageCount, settings, trace);
}

// The first sweep after a reset shows the trace as it is, the tenth weighs a
// tenth; max hold keeps the higher level; a pixel two bins wide shows the
// lower of its two bins.
TEST(FftTraceMappingTest, AveragingMaxHoldAndWidePixels) {
    SweepTrace trace;
    trace.traceA.fill(500.0);
    Map(std::vector<double>(1024, 100.0), 0.4, 1, false, trace);
    EXPECT_NEAR(trace.traceA[0], 100.0, 1e-9);
    EXPECT_NEAR(trace.traceA[640], 100.0, 1e-9);
    EXPECT_EQ(trace.traceAInt[320], 100);
    Map(std::vector<double>(1024, 200.0), 0.4, 2, false, trace);
    EXPECT_NEAR(trace.traceA[17], 150.0, 1e-9) << "running mean of two sweeps";
    Map(std::vector<double>(1024, 300.0), 0.4, 10, false, trace);
    EXPECT_NEAR(trace.traceA[17], 300.0 / 10 + 150.0 * 0.9, 1e-9);
    EXPECT_EQ(trace.traceAInt[17], 165);
    for (const int count : {0, -3}) {  // a count below one acts as one
        Map(std::vector<double>(1024, 120.0), 0.4, count, false, trace);
        EXPECT_NEAR(trace.traceA[5], 120.0, 1e-9) << count;
    }
    Map(std::vector<double>(1024, 200.0), 0.4, 1, true, trace);
    EXPECT_EQ(trace.traceA[300], 120.0) << "a lower level leaves the held row";
    EXPECT_EQ(trace.traceAInt[300], 120);
    Map(std::vector<double>(1024, 60.5), 0.4, 1, true, trace);
    EXPECT_NEAR(trace.traceA[300], 60.5, 1e-9);
    EXPECT_EQ(trace.traceAInt[300], 60);

    // Pixel 330 with 2 bins per pixel reads bins 20 and 21.
    std::vector<double> rows(4096, 480.0);
    rows[20] = 40.0;
    rows[21] = 90.0;
    Map(rows, 2.0, 1, false, trace);
    EXPECT_NEAR(trace.traceA[330], 90.0, 1e-9);
}

// --- Capture length, decimation and transform length ------------------------------

TEST(FftSweepPlanTest, CaptureLengthAndNarrowDecimationAndLength) {
    EXPECT_EQ(FftSweep::CaptureLength(999.0, 1024, false), 65536);
    EXPECT_EQ(FftSweep::CaptureLength(1000.0, 1024, false), 16384);
    EXPECT_EQ(FftSweep::CaptureLength(200e3, 65536, false), 65536) << "never fewer than N";
    EXPECT_EQ(FftSweep::CaptureLength(50e3, 2048, true), 2048);
    EXPECT_EQ(FftSweep::CaptureLength(50e3, 128, true), 512)
        << "a short transform still takes one whole block";
    // The narrow sweep's decimation from the LO error, its length from the span.
    for (const auto& [loErrorHz, decimation] :
         {std::pair{6000.0, 16}, {-6000.5, 8}, {12000.0, 8}, {24000.0, 4}, {24001.0, 2}}) {
        EXPECT_EQ(NarrowFftSweep::DecimationFor(loErrorHz), decimation) << loErrorHz;
    }
    for (const auto& [spanHz, samples] :
         {std::pair{1.0, 1u << 24}, {20.0, 1u << 23}, {79.9, 1u << 22}, {149.0, 1u << 21}}) {
        EXPECT_EQ(NarrowFftSweep::SamplesBeforeDecimation(spanHz), samples) << spanHz;
    }
}

// --- Whole sweeps of the virtual instrument -------------------------------------------

using FftSweepOnUnitTest = test::VirtualUnitTest;

TEST_F(FftSweepOnUnitTest, ImageResponseShowsOnlyWithImageRejectionOff) {
    // LO1 sits one IF above the centre; an emitter one more IF above it reaches
    // the same IF from the far side and lands mirrored, 2 kHz below the centre
    // and moved by twice the LO's residual error (the shift that puts true
    // signals right moves images the other way).
    const double center = 915e6;
    for (const double refLevel : {0.0, 10.0}) {  // LO2 through the 2.9 MHz IF, or below
        const double imageHz = center + 2 * 10694444.4444 + 2000.0;
        Start({Cw(imageHz, -30.0)}, {.noiseDbmHz = -110.0});
        Edit([&](InstrumentState& s) {
            s.refLevelDbm = refLevel;
            s.imageReject = 0;
        });
        Sweep(center, 10e3);
        const Reading seen = Peak();
        const double expectedHz = center - 2000.0 - 2.0 * doc->engine.lo1ErrorHz.load();
        EXPECT_NEAR(seen.freqHz, expectedHz, 10e3 / 640 + doc->state.rbwHz) << refLevel;
        EXPECT_GT(seen.levelDbm, MedianLevel() + 30.0) << refLevel;

        Edit([](InstrumentState& s) { s.imageReject = 1; });
        Sweep(center, 10e3);
        EXPECT_EQ(doc->engine.lo2SecondIf, refLevel <= 5.0);
        EXPECT_LT(Peak().levelDbm, MedianLevel() + 6.0)
            << "image rejection leaves the noise floor, ref level " << refLevel;
    }
}

// After the image pass through the 2.9 MHz IF the unit is back on the first IF
// with the level plan's gain; video averaging starts from the first sweep
// after a reset rather than from the preset floor.
TEST_F(FftSweepOnUnitTest, ImagePassLeavesTheUnitOnTheFirstIfAndAveragingStartsAfresh) {
    Start({Cw(915e6 + 1000.0, -40.0)});
    Edit([](InstrumentState& s) {
        s.refLevelDbm = 0.0;
        s.videoAvgCount = 10;
        s.videoAvgIndex = 0;
    });
    Sweep(915e6, 10e3);
    ASSERT_TRUE(doc->engine.lo2SecondIf);
    const sim::ReceiverState state = unit->State();
    EXPECT_EQ(state.ifPath, 0);
    EXPECT_EQ(state.GainState(), doc->state.gainMode);
    EXPECT_EQ(state.attenIndex, static_cast<int>(doc->state.attenDb / 5));
    EXPECT_NEAR(Peak().levelDbm, -40.0, 0.5) << "not averaged with the preset floor";
    EXPECT_EQ(doc->state.videoAvgIndex, 1);
    doc->engine.PerformSweep(*doc);
    EXPECT_EQ(doc->state.videoAvgIndex, 2);
    EXPECT_NEAR(Peak().levelDbm, -40.0, 0.5);
}

// The narrow sweep takes the longest transform and shows its progress; when
// the unit goes in the middle of its capture it gives up with one message and
// draws nothing of it.
TEST_F(FftSweepOnUnitTest, NarrowSweepTakesTheLongestTransformAndAbandonsACaptureWhenTheUnitGoes) {
    Start({Cw(915e6 + 13.7, -30.0)});
    progress.Clear();
    Sweep(915e6, 100.0);
    EXPECT_EQ(doc->engine.decimation, 16);
    EXPECT_EQ(doc->engine.fftSize, 1 << 17);
    EXPECT_DOUBLE_EQ(doc->state.rbwHz, 1638400.0 / (16 << 17));
    auto events = progress.Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), "show");
    EXPECT_EQ(events[events.size() - 2], "100");
    EXPECT_EQ(events.back(), "hide");
    EXPECT_EQ(Boxes(), "");

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
