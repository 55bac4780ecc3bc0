// The stepped sweep kinds (the 200 kHz step sweep and the wide sweep): their
// layouts, what they ask the instrument for and what they draw when reads go
// wrong. What they measure is in the accuracy table; image suppression is
// with the FFT sweeps' (fft_sweep_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "document/document_fixture.h"
#include "sweep/step_sweep.h"

namespace tavlin {
namespace {

// Where each entry lands (and which cannot be tuned below 16 MHz) the
// accuracy table's step rows read.
TEST(SteppedSweepPlanTest, PointsPerStepAndResolutionFollowTheSpan) {
    struct Case {
        double start, stop;
        int points;
        double rbw;
    };
    for (const Case& c : {Case{902e6, 928e6, 8, 100000.0}, Case{914.5e6, 915.5e6, 64, 13000.0},
                          Case{915e6, 915.7e6, 128, 6500.0}, Case{850e6, 950e6, 1, 250000.0},
                          Case{10e6, 30e6, 16, 50000.0}, Case{0.0, 200e6, 16, 50000.0},
                          Case{16e6, 216e6, 1, 250000.0}, Case{3e6, 3.6e6, 128, 6500.0}}) {
        const StepPlan plan = StepSweep::Plan(c.start, c.stop, 80.0, 486111.1111);
        EXPECT_EQ(plan.pointsPerStep, c.points) << c.start << " " << c.stop;
        EXPECT_EQ(plan.rbwHz, c.rbw) << c.start << " " << c.stop;
    }
}

// --- What the sweeps ask for, on a scripted instrument ---------------------------

// A document on a scripted instrument that answers every step list with
// blocks of `sample` (none when it is empty) and every detector sweep with
// `readings`, and records the route, step-list and detector commands in order
// ("D3 N35-805 D4 B138-4416").
class SteppedSweepCommandTest : public test::DocumentFixture {
  protected:
    AnalyzerDocument& BuildAnswering() {
        auto previous = usb.onWrite;
        usb.onWrite = [this, previous](UsbHandle handle, const Bytes& frame) {
            previous(handle, frame);
            const Bytes c = test::UnSlip(frame);
            if (handle != test::FakeCalMemory::kCommandHandle || c.empty()) {
                return;
            }
            if (c[0] == 'D' && c.size() == 2) {
                sequence += " D" + std::to_string(c[1]);
            }
            if ((c[0] != 'N' && c[0] != 'B') || c.size() != 5) {
                return;
            }
            const int first = c[1] | c[2] << 8;
            const int last = c[3] | c[4] << 8;
            sequence += " " + std::string(1, static_cast<char>(c[0])) + std::to_string(first) +
                        "-" + std::to_string(last);
            Bytes reply;
            for (int b = 0; c[0] == 'N' && sample && b <= std::abs(last - first); ++b) {
                for (int n = 0; n < 1024; ++n) {
                    const int v = n % 2 ? sample(n / 2).second : sample(n / 2).first;
                    reply.push_back(static_cast<std::uint8_t>(v & 0xFF));
                    reply.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
                }
                usb.QueueReceive(1, std::exchange(reply, {}));
            }
            for (int j = 0; c[0] == 'B' && j < (last - first) / 3; ++j) {
                reply.push_back(static_cast<std::uint8_t>(readings(j) >> 8));
                reply.push_back(static_cast<std::uint8_t>(readings(j) & 0xFF));
            }
            if (!reply.empty()) {
                usb.QueueReceive(test::FakeCalMemory::kCommandHandle, reply);
            }
        };
        return BuildWithInstrument();
    }
    std::string Sweep(AnalyzerDocument& d, double start, double stop) {
        sequence.clear();
        d.SetFrequencies(start, stop);
        d.PerformSweep();
        return sequence.substr(sequence.empty() ? 0 : 1);
    }

    // A few counts of noise-like samples.
    std::function<std::pair<int, int>(int)> sample = [](int n) {
        return std::pair{n % 3 - 1, n % 5 - 2};
    };
    std::function<int(int)> readings = [](int) { return 100; };
    std::string sequence;
};

// A signal near 914 MHz as the detector sees it with its LO at 903 and 924 MHz.
int PeakAt914MHz(int j) {
    return j == 255 || j == 262 ? 400 : 100;
}

// Narrow spans read the low side, then the high side; below 16 MHz, where
// nothing can be tuned an IF below, a second high-side view is read
// descending. A span beyond the band (the harmonics plot sets one) never
// asks for more readings than the answer holds (2048).
TEST_F(SteppedSweepCommandTest, RoutesStepListsAndDetectorSweepsByRange) {
    struct Row {
        const char* name;
        double start, stop;
        bool imageReject, peak;
        const char* steps;
    };
    const Row rows[] = {
        {"above the split, one read", 902e6, 928e6, true, false, "D4 N4457-4694"},
        {"below the split", 140e6, 160e6, true, false, "D3 N647-854"},
        {"across the split, at step 750", 140e6, 180e6, true, false, "D3 N647-750 D4 N750-954"},
        {"narrow span", 100e6, 110e6, true, false, "D3 N447-498 N553-604"},
        {"below 16 MHz", 1e6, 11e6, true, false, "D3 N134-57 N58-109"},
        {"below 16 MHz, no image suppression", 1e6, 11e6, false, false, "D3 N58-109"},
        {"full span", 0.0, 4.4e9, true, false, "D3 N35-805 D4 B138-4416"},
        {"full span, the peak read again an IF above", 0.0, 4.4e9, true, true,
         "D3 N35-805 D4 B138-4416 N4590-4650"},
        {"above the low band only the detector", 500e6, 4.4e9, true, false, "D4 B485-4415"},
        {"beyond the band", 0.0, 10e9, true, false, "D3 N35-805 D4 B138-6282"},
    };
    AnalyzerDocument& d = BuildAnswering();
    for (const Row& row : rows) {
        d.EditSettings([&](InstrumentState& s) { s.imageReject = row.imageReject ? 1 : 0; });
        readings = row.peak ? PeakAt914MHz : [](int) { return 100; };
        EXPECT_EQ(Sweep(d, row.start, row.stop), row.steps) << row.name;
    }
    // The wide sweep runs in low gain (what that and the step sweep's route
    // send, the accuracy table's levels show).
    d.EditSettings([](InstrumentState& s) { s.gainMode = 1; });
    Sweep(d, 0.0, 4.4e9);
    EXPECT_EQ(d.Settings().gainMode, 0);
}

TEST_F(SteppedSweepCommandTest, CompressionStopsAfterThisSweepWithOneWarningAndAFullTrace) {
    sample = [](int n) { return std::pair{n % 2 ? 31000 : -31000, 0}; };
    AnalyzerDocument& d = BuildAnswering();
    prompter.Clear();
    EXPECT_EQ(Sweep(d, 100e6, 110e6), "D3 N447-498 N553-604");
    EXPECT_EQ(d.stopRequest.load(), 1);
    EXPECT_EQ(prompter.Count(), 1u) << "one warning for both reads";
    EXPECT_LT(test::TraceOf(d).traceA[320], 100.0);  // both sides were read: the overload shows
}

// Reads that do not arrive draw the floor, not full scale; each counts one
// missing block, announced from the eleventh on.
TEST_F(SteppedSweepCommandTest, ReadsThatDoNotArriveDrawTheFloor) {
    sample = nullptr;
    AnalyzerDocument& d = BuildAnswering();
    prompter.Clear();
    for (int sweep = 0; sweep < 6; ++sweep) {
        EXPECT_EQ(Sweep(d, 100e6, 110e6), "D3 N447-498 N553-604");
    }
    EXPECT_EQ(d.engine.missingDataCount, 12);
    EXPECT_EQ(prompter.Count(), 2u);  // the 11th and 12th, one per read
    const auto rows = test::TraceOf(d).traceA;
    EXPECT_TRUE(std::all_of(rows.begin(), rows.end(), [](double row) { return row == 505.0; }));

    // The wide sweep: the floor below 150 MHz, and without the look again the
    // peak stays at the detector's level.
    readings = PeakAt914MHz;
    EXPECT_EQ(Sweep(d, 0.0, 4.4e9), "D3 N35-805 D4 B138-4416 N4590-4650");
    const auto detected = test::TraceOf(d).traceA;
    for (int i = 0; i < static_cast<int>(std::ceil(640 * 150e6 / 4.4e9)); ++i) {
        EXPECT_EQ(detected[i], 505.0) << i;
    }
    const double detectorRow = (0.0 + 1.0 - 10.0) * 5.0 - 5.0 * (400 * 0.13427734375 - 85.0);
    EXPECT_NEAR(*std::min_element(detected.begin(), detected.end()), detectorRow, 1e-9);
}

}  // namespace
}  // namespace tavlin
