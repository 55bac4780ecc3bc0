// What whole sweeps of the two FFT sweep kinds on the virtual instrument do
// beyond reading an emitter right (the accuracy table), with image rejection
// in every swept kind.
#include <gtest/gtest.h>

#include "e2e/virtual_unit_fixture.h"

namespace tavlin {
namespace {

constexpr double kIf = 10694444.4444;

// --- Whole sweeps of the virtual instrument -------------------------------------------

using FftSweepOnUnitTest = test::VirtualUnitTest;

// An emitter 2 x IF above a frequency reaches the IF from the far side of the
// LO and shows there unless image rejection takes it off. The FFT sweeps see
// it mirrored about the centre and moved by twice the LO's residual error
// (the shift that puts true signals right moves images the other way); after
// their image pass the unit is back on the first IF with the level plan's
// gain. Video averaging starts from the first sweep after a reset rather than
// from the preset floor, so the image reads its level at once (within the
// unit's ripple: it is corrected as if it were where it shows, 21.4 MHz off).
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
            const double shownHz = row.imageHz - (row.fft ? 2.0 * LoErrorHz() : 0.0);
            const double tolerance = (row.stopHz - row.startHz) / 640 + doc->Settings().rbwHz;
            const double near = LevelNear(shownHz, tolerance);
            if (reject == 0) {
                EXPECT_NEAR(near, -30.0, 2.0) << row.name;
                continue;
            }
            // Suppressed to the noise around it, whose peaks differ by a dB
            // or two from one stretch of a sweep to the next (the image
            // itself would stand 20 dB above).
            EXPECT_LE(near, LevelNear(shownHz, tolerance, true) + 2.0) << row.name;
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

// The counter counts the whole sampled band: a carrier near the noise lets
// the noise pull its count by kilohertz. A count that cannot stand behind
// its last digit, 0.1 Hz, says so; a carrier well above the noise counts to
// a hertz without the flag.
TEST_F(FftSweepOnUnitTest, CounterFlagsACountOfNoise) {
    struct Row {
        const char* name;
        double freqHz, levelDbm, spanHz;
        ReadingFlag flag;
    };
    const Row rows[] = {
        {"-100 dBm at 4.4 GHz, 10 kHz span", 4395.087e6, -100.0, 10e3, ReadingFlag::kBelowNoise},
        {"-100 dBm at 4.4 GHz, 200 kHz span", 4395.087e6, -100.0, 200e3, ReadingFlag::kBelowNoise},
        {"-95 dBm at 3.2 MHz, 10 kHz span", 3.237e6, -95.0, 10e3, ReadingFlag::kBelowNoise},
        {"-40 dBm at 4.4 GHz, 10 kHz span", 4395.087e6, -40.0, 10e3, ReadingFlag::kNone},
        // 30 dB above the noise of the 486 kHz band: the count scatters by
        // 0.14 Hz, more than the digit shown.
        {"-40 dBm at 3.2 MHz, 200 kHz span", 3.237e6, -40.0, 200e3, ReadingFlag::kBelowNoise},
        {"-20 dBm at 3.2 MHz, 200 kHz span", 3.237e6, -20.0, 200e3, ReadingFlag::kNone},
    };
    for (const Row& row : rows) {
        Start({Cw(row.freqHz, row.levelDbm)});
        Sweep(row.freqHz, row.spanHz);
        const InstrumentState s = doc->Settings();
        EXPECT_EQ(s.counterFlag, row.flag) << row.name << ": " << s.counterFreqHz;
        if (row.flag == ReadingFlag::kNone) {
            EXPECT_NEAR(s.counterFreqHz, row.freqHz, 1.0) << row.name;
        }
    }
}

// When the unit goes in the middle of the narrow sweep's one long capture,
// the sweep gives up with one message, draws nothing of it and takes its
// progress window down.
TEST_F(FftSweepOnUnitTest, NarrowSweepAbandonsACaptureWhenTheUnitGoes) {
    Start({Cw(915e6 + 13.7, -30.0)});
    Sweep(915e6, 100.0);
    EXPECT_EQ(Boxes(), "");
    const auto before = Rows();
    progress.OnPosition([this](int percent) {
        if (percent >= 50) {
            unit->Unplug();
        }
    });
    doc->PerformSweep();
    EXPECT_EQ(BoxCount("Time out waiting for data"), 1) << Boxes();
    EXPECT_EQ(Rows(), before) << "a broken capture is not drawn";
    EXPECT_EQ(progress.Events().back(), "hide");
}

}  // namespace
}  // namespace tavlin
