// The two FFT sweep kinds: their capture and transform lengths, and what whole
// sweeps of the virtual instrument do beyond reading an emitter right (the
// accuracy table), with image rejection in every swept kind.
#include <gtest/gtest.h>

#include <utility>

#include "e2e/virtual_unit_fixture.h"
#include "sweep/fft_sweep.h"
#include "sweep/narrow_fft_sweep.h"

namespace tavlin {
namespace {

constexpr double kIf = 10694444.4444;

// --- Capture length, decimation and transform length ------------------------------

TEST(FftSweepPlanTest, CaptureLengthAndNarrowDecimation) {
    EXPECT_EQ(FftSweep::CaptureLength(999.0, 1024, false), 65536);
    EXPECT_EQ(FftSweep::CaptureLength(1000.0, 1024, false), 16384);
    EXPECT_EQ(FftSweep::CaptureLength(200e3, 65536, false), 65536) << "never fewer than N";
    EXPECT_EQ(FftSweep::CaptureLength(50e3, 2048, true), 2048);
    EXPECT_EQ(FftSweep::CaptureLength(50e3, 128, true), 512)
        << "a short transform still takes one whole block";
    // The narrow sweep's decimation from the LO error.
    for (const auto& [loErrorHz, decimation] :
         {std::pair{6000.0, 16}, {-6000.5, 8}, {12000.0, 8}, {24000.0, 4}, {24001.0, 2}}) {
        EXPECT_EQ(NarrowFftSweep::DecimationFor(loErrorHz), decimation) << loErrorHz;
    }
}

// --- Whole sweeps of the virtual instrument -------------------------------------------

using FftSweepOnUnitTest = test::VirtualUnitTest;

// An emitter 2 x IF above a frequency reaches the IF from the far side of the
// LO and shows there unless image rejection takes it off. The FFT sweeps see
// it mirrored about the centre and moved by twice the LO's residual error
// (the shift that puts true signals right moves images the other way); after
// their image pass the unit is back on the first IF with the level plan's
// gain. Video averaging starts from the first sweep after a reset rather than
// from the preset floor, so the image reads its level at once.
TEST_F(FftSweepOnUnitTest, ImageShowsOnlyWithImageRejectionOffInEverySweepKind) {
    const double c = 915e6;
    struct Row {
        const char* name;
        double startHz, stopHz, refLevelDbm, emitterHz, imageHz;
        bool fft;
    };
    const Row rows[] = {
        {"FFT, LO2 on the 2.9 MHz IF", c - 5e3, c + 5e3, 0.0, c + 2 * kIf + 2e3, c - 2e3, true},
        {"FFT, LO2 on the first IF", c - 5e3, c + 5e3, 10.0, c + 2 * kIf + 2e3, c - 2e3, true},
        {"steps above 150 MHz", 902e6, 928e6, 0.0, 4629 * 200e3 + kIf, 4629 * 200e3 - kIf, false},
        {"steps below 16 MHz", 1e6, 11e6, 0.0, 79 * 200e3 + kIf, 79 * 200e3 - kIf, false},
        {"steps across 150 MHz", 140e6, 180e6, 0.0, 854 * 200e3 + kIf, 854 * 200e3 - kIf, false},
    };
    for (const Row& row : rows) {
        for (const int reject : {0, 1}) {
            Start({Cw(row.emitterHz, -30.0)}, {.noiseDbmHz = -120.0});
            Edit([&](InstrumentState& s) {
                s.refLevelDbm = row.refLevelDbm;
                s.imageReject = reject;
                s.videoAvgCount = 10;
            });
            SweepRange(row.startHz, row.stopHz);
            const double shownHz = row.imageHz - (row.fft ? 2.0 * doc->engine.lo1ErrorHz : 0.0);
            const double tolerance = (row.stopHz - row.startHz) / 640 + doc->Settings().rbwHz;
            const double near = LevelNear(shownHz, tolerance);
            if (reject == 0) {
                EXPECT_NEAR(near, -30.0, 1.0) << row.name;
                continue;
            }
            EXPECT_LE(near, LevelNear(shownHz, tolerance, true) + 1.0) << row.name;
            EXPECT_LT(near, MedianLevel() + 10.0) << row.name;
            if (row.fft) {
                const sim::ReceiverState state = unit->State();
                EXPECT_EQ(state.ifPath, 0) << row.name;
                EXPECT_EQ(state.GainState(), doc->Settings().gainMode) << row.name;
                EXPECT_EQ(state.attenIndex, static_cast<int>(doc->Settings().attenDb / 5))
                    << row.name;
            }
        }
    }
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
    EXPECT_DOUBLE_EQ(doc->Settings().rbwHz, 1638400.0 / (16 << 17));
    auto events = progress.Events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), "show");
    EXPECT_EQ(events[events.size() - 2], "100");
    EXPECT_EQ(events.back(), "hide");
    EXPECT_EQ(Boxes(), "");

    const auto before = test::TraceOf(*doc).traceA;
    progress.OnPosition([this](int percent) {
        if (percent >= 50) {
            unit->Unplug();
        }
    });
    doc->PerformSweep();
    EXPECT_EQ(BoxCount("Time out waiting for data"), 1) << Boxes();
    EXPECT_EQ(test::TraceOf(*doc).traceA, before) << "a broken capture is not drawn";
    EXPECT_EQ(progress.Events().back(), "hide");
}

}  // namespace
}  // namespace tavlin
