// The stepped sweep kinds (the 200 kHz step sweep and the wide sweep) and
// the step-list reader under them: what they ask the instrument for, the
// powers the reader makes of a block, and what they draw when reads go wrong
// or the IF overloads. What they measure is in the accuracy table; image
// suppression is with the FFT sweeps' (fft_sweep_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "device/cal_table.h"
#include "device/device_link.h"
#include "document/document_fixture.h"
#include "dsp/fft.h"
#include "dsp/window.h"
#include "sweep/spectrum_rows.h"
#include "sweep/step_list_reader.h"
#include "sweep/tone_locator.h"

namespace tavlin {
namespace {

constexpr UsbHandle kDataHandle = 1;
constexpr double kRate = 486111.1111;
constexpr double kIf = 10694444.4444;

using Pair = std::pair<int, int>;

// One block of 512 sample pairs as the unit sends them.
std::vector<std::uint8_t> SampleBlock(const std::function<Pair(int)>& sample) {
    std::vector<std::uint8_t> bytes;
    for (int n = 0; n < 512; ++n) {
        for (const int v : {sample(n).first, sample(n).second}) {
            bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        }
    }
    return bytes;
}

// A complex tone of `amplitude` counts at baseband frequency hz.
std::function<Pair(int)> Tone(double hz, double amplitude) {
    return [hz, amplitude](int n) {
        const double phase = 2.0 * std::numbers::pi * hz * n / kRate;
        return Pair{static_cast<int>(std::lround(amplitude * std::cos(phase))),
                    static_cast<int>(std::lround(amplitude * std::sin(phase)))};
    };
}

double Db(double ratio) {
    return 10.0 * std::log10(ratio);
}

// --- The step-list reader on a scripted link ---------------------------------------

class StepListReaderTest : public ::testing::Test {
  protected:
    StepListReaderTest() {
        usb.AddGenuinePair();
        link.Open();
        SetResponse(1.0);
    }
    // A 10.7 MHz IF response of one multiplier at every point.
    void SetResponse(double multiplier) {
        std::fill_n(cal.Bytes().begin() + 2436, 52, static_cast<std::uint8_t>(multiplier * 100));
        cal.DeriveValues();
        reader.SetReceiver(kRate, kIf, cal);
    }
    void Queue(int blocks, const std::function<Pair(int)>& sample) {
        for (int b = 0; b < blocks; ++b) {
            usb.QueueReceive(kDataHandle, SampleBlock(sample));
        }
    }
    int Read(int first, int last, int points, std::vector<double>& out) {
        out.assign(static_cast<std::size_t>(last - first + 1) * points, 7.0);
        return reader.ReadStepList(ports, first, last, points, out);
    }

    test::ScriptedUsbDriver usb;
    test::FakeClock clock;
    test::RecordingPrompter prompter;
    DeviceLink link{usb, clock, prompter};
    long missing = 0;
    StepReadPorts ports{link, prompter, clock, missing};
    CalTable cal;
    StepListReader reader;
};

TEST_F(StepListReaderTest, CompressionIsJudgedOnTheSettledHalfAndWarnedOncePerSweep) {
    std::vector<double> out;
    // Overload in the settling half does not count; 30000 is still linear.
    Queue(3, [](int n) { return Pair{n < 256 ? 32767 : (n == 256 ? 30000 : 0), -30000}; });
    EXPECT_EQ(Read(10, 12, 1, out), StepListReader::kComplete);
    EXPECT_EQ(prompter.Count(), 0u);

    Queue(3, [](int n) { return Pair{n == 256 ? -30001 : 0, 0}; });
    EXPECT_EQ(Read(10, 12, 1, out), StepListReader::kCompressed);
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "IF COMPRESSION WARNING");

    // Once per sweep (one warning for the two reads of a sweep: below).
    reader.BeginSweep();
    Queue(2, [](int) { return Pair{0, 31000}; });
    EXPECT_EQ(Read(1, 2, 8, out), StepListReader::kCompressed);
    EXPECT_EQ(prompter.Count(), 2u);
}

// A lost block is always said, once a sweep however many of its reads lose
// one; the blocks that came cannot be placed without it (one left out shifts
// all that follow).
TEST_F(StepListReaderTest, AMissingBlockIsSaidOncePerSweepAndVoidsItsRead) {
    std::vector<double> out;
    Queue(2, Tone(0.0, 1000.0));  // the third of three never comes
    usb.ClearCalls();
    EXPECT_EQ(Read(100, 102, 16, out), StepListReader::kAborted);
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "ERROR 5");
    EXPECT_EQ(prompter.Boxes()[0].text, "Missing data i = 2 of 3");
    EXPECT_EQ(out, std::vector<double>(out.size(), 0.0));
    const auto calls = usb.Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "purge 1"), calls.end());

    EXPECT_EQ(Read(100, 101, 1, out), StepListReader::kAborted);
    EXPECT_EQ(prompter.Count(), 1u) << "the same sweep";
    reader.BeginSweep();
    EXPECT_EQ(Read(100, 101, 1, out), StepListReader::kAborted);
    EXPECT_EQ(prompter.Count(), 2u);
    EXPECT_EQ(missing, 3);  // the caller keeps the count for the program's life
}

// The descending read places blocks by their order of arrival: one that did
// not come costs its own entries and the unit's later blocks still land. Two
// missing in a row mean the unit stopped sending: the read ends rather than
// wait for every block left.
TEST_F(StepListReaderTest, DescendingReadGoesOnPastAMissingBlockAndNeverWarnsOfCompression) {
    std::vector<double> out(5 * 32, 7.0);
    Queue(2, [](int) { return Pair{32767, 32767}; });
    usb.onPurge = [late = 2](UsbHandle) mutable {
        std::vector<std::uint8_t> bytes;
        for (; late > 0; --late) {
            const auto block = SampleBlock([](int) { return Pair{32767, 32767}; });
            bytes.insert(bytes.end(), block.begin(), block.end());
        }
        return bytes;
    };
    EXPECT_EQ(reader.ReadStepListDescending(ports, 60, 56, 16, out), StepListReader::kAborted);
    EXPECT_EQ(missing, 1);
    EXPECT_EQ(prompter.Count(), 1u) << "the missing block's box only";
    for (const int block : {0, 1, 3, 4}) {
        EXPECT_GT(out[block * 32], 0.0) << block;
    }
    EXPECT_EQ(out[64], 0.0);

    usb.onPurge = nullptr;
    EXPECT_EQ(reader.ReadStepListDescending(ports, 60, 56, 16, out), StepListReader::kAborted);
    EXPECT_EQ(missing, 3);
}

// Powers are corrected for the IF response and the sampler's droop at the
// signal's baseband frequency, as the FFT sweeps correct their bins, in the
// slot of one point a step and, by the factor the caller applies, in the bins
// of sixteen (a 32-point FFT in FFT order); a neighbour beyond the slot (the
// next step's) stays out of it.
// Where in its slot or bin a tone reads right, the accuracy table shows.
TEST_F(StepListReaderTest, PowersAreCorrectedForTheIfPathAndKeepToTheirSlot) {
    const double amplitude = 10000.0;
    const double power = 2.0 * std::pow(amplitude / 32768.0, 2);
    struct Row {
        int points;
        double hz;
        int index;
    };
    std::vector<double> out;
    SetResponse(2.0);
    for (const Row& row : {Row{1, 18987.0, 0}, Row{1, 98750.0, 0}, Row{16, -3 * kRate / 32, 13}}) {
        Queue(1, Tone(row.hz, amplitude));
        ASSERT_EQ(Read(5, 5, row.points, out), StepListReader::kComplete);
        // The spectra come uncorrected: their reader corrects a bin where it reads it.
        const double factor = row.points == 1 ? 1.0 : reader.PowerFactorAt(row.hz);
        EXPECT_NEAR(Db(out[row.index] * factor), Db(power * DroopPowerFactor(1, row.hz)), 0.03)
            << row.hz;
    }
    Queue(1, Tone(150000.0, amplitude));
    Read(5, 5, 1, out);
    EXPECT_LT(Db(out[0]), Db(power) - 60.0);
}

// A tone between the bins of a step's flat-top transform is placed from the
// bin that reads it and a neighbour: the stronger one, or at a spectrum's
// edge the only one, which may lie on the tone's far side.
TEST(ToneLocatorTest, PlacesAToneFromTheBinThatReadsItAndANeighbour) {
    constexpr std::size_t n = 16;
    const struct {
        const char* name;
        double toneBins;
        std::size_t neighbour;
        double offset;  // towards the neighbour
    } rows[] = {{"on the bin", 0.0, 1, 0.0},
                {"a third of a bin off", 0.3, 1, 0.3},
                {"half way", 0.5, 1, 0.5},
                {"by the neighbour", 0.9, 1, 0.9},
                {"beyond the neighbour", 1.3, 1, 1.3},
                {"away from the neighbour", 0.2, 15, -0.2}};
    std::vector<double> window(n);
    MakeWindow(kFlatTopWindow, n, window);
    const Fft fft(n);
    const ToneLocator locator(kFlatTopWindow, n);
    for (const auto& row : rows) {
        std::vector<double> re(n), im(n);
        for (std::size_t k = 0; k < n; ++k) {
            re[k] = window[k] * std::cos(2.0 * std::numbers::pi * row.toneBins * k / n);
            im[k] = window[k] * std::sin(2.0 * std::numbers::pi * row.toneBins * k / n);
        }
        fft.Forward(re, im, re, im);
        const auto power = [&](std::size_t k) { return re[k] * re[k] + im[k] * im[k]; };
        EXPECT_NEAR(locator.OffsetBins(power(0), power(row.neighbour)), row.offset, 0.01)
            << row.name;
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
            for (int b = 0; c[0] == 'N' && sample && b <= std::abs(last - first); ++b) {
                usb.QueueReceive(kDataHandle, SampleBlock(sample));
            }
            Bytes reply;
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
    std::function<Pair(int)> sample = [](int n) { return Pair{n % 3 - 1, n % 5 - 2}; };
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
    sample = [](int n) { return Pair{n % 2 ? 31000 : -31000, 0}; };
    AnalyzerDocument& d = BuildAnswering();
    prompter.Clear();
    EXPECT_EQ(Sweep(d, 100e6, 110e6), "D3 N447-498 N553-604");
    EXPECT_TRUE(d.StopRequested());
    EXPECT_EQ(prompter.Count(), 1u) << "one warning for both reads";
    // Both sides were read: full scale stands far above the floor (row 500).
    EXPECT_LT(test::TraceOf(d).traceA[320], 300.0);
}

// Reads that do not arrive draw the floor, not full scale; each counts one
// missing block in the count the document keeps for the program's life.
// A sweep whose reads did not arrive is no measurement: its rows fall to the
// floor and are flagged, and the spectrogram does not take them in; each
// lost block counts in the count kept for the program's life.
TEST_F(SteppedSweepCommandTest, ReadsThatDoNotArriveDrawTheFloorFlagged) {
    AnalyzerDocument& d = BuildAnswering();
    d.SetSpectrogramOn(true);
    const auto lines = [&d] { return d.ReadSpectrogram([](const auto& h) { return h.Size(); }); };
    Sweep(d, 100e6, 110e6);
    EXPECT_EQ(d.TraceReadingFlag(), ReadingFlag::kNone);

    sample = nullptr;
    EXPECT_EQ(Sweep(d, 100e6, 110e6), "D3 N447-498 N553-604");
    EXPECT_EQ(test::WithInstrument(d, [](InstrumentLease& i) { return i.MissingDataCount(); }), 2);
    const auto rows = test::TraceOf(d).traceA;
    EXPECT_TRUE(std::all_of(rows.begin(), rows.end(), [](double row) { return row == 505.0; }));
    EXPECT_EQ(d.TraceReadingFlag(), ReadingFlag::kIncomplete);
    EXPECT_EQ(lines(), 1u);

    sample = [](int n) { return Pair{n % 3 - 1, n % 5 - 2}; };
    Sweep(d, 100e6, 110e6);
    EXPECT_EQ(d.TraceReadingFlag(), ReadingFlag::kNone);
    EXPECT_EQ(lines(), 2u);
}

// Max hold builds on complete sweeps only: a detector peak seen in a sweep
// whose step lists were lost is shown, flagged, but not held.
TEST_F(SteppedSweepCommandTest, MaxHoldKeepsNothingOfAnIncompleteSweep) {
    AnalyzerDocument& d = BuildAnswering();
    d.EditSettings([](InstrumentState& s) { s.maxHold = 1; });
    const auto peakRow = [&d] {  // about 914 MHz
        const auto rows = test::TraceOf(d).traceA;
        return *std::min_element(rows.begin() + 125, rows.begin() + 141);
    };
    Sweep(d, 0.0, 4.4e9);
    const double held = peakRow();

    sample = nullptr;
    readings = PeakAt914MHz;
    Sweep(d, 0.0, 4.4e9);
    EXPECT_LT(peakRow(), held - 50.0);

    sample = [](int n) { return Pair{n % 3 - 1, n % 5 - 2}; };
    readings = [](int) { return 100; };
    Sweep(d, 0.0, 4.4e9);
    EXPECT_EQ(peakRow(), held);
}

}  // namespace
}  // namespace tavlin
