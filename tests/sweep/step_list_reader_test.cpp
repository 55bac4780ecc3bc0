// The step-list reader on a scripted link: what it asks for, the powers it
// makes of a block, and how it treats missing blocks and IF overload.
#include "sweep/step_list_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <utility>
#include <vector>

#include "device/cal_table.h"
#include "device/device_link.h"
#include "support/fake_clock.h"
#include "support/recording_prompter.h"
#include "support/scripted_usb_driver.h"
#include "sweep/spectrum_rows.h"

namespace tavlin {
namespace {

constexpr UsbHandle kDataHandle = 1;
constexpr double kRate = 486111.1111;
constexpr double kIf = 10694444.4444;

using Pair = std::pair<int, int>;

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

class StepListReaderTest : public ::testing::Test {
  protected:
    StepListReaderTest() {
        usb.AddGenuinePair();
        link.Open();
        SetResponse(1.0);
    }
    // A 10.7 MHz IF response of one multiplier at every point.
    void SetResponse(double multiplier) {
        for (int i = 0; i < 52; ++i) {
            cal.Bytes()[2436 + i] = static_cast<std::uint8_t>(multiplier * 100.0);
        }
        cal.DeriveValues();
        reader.SetReceiver(kRate, kIf, cal);
    }
    // Blocks of 512 sample pairs as the unit sends them.
    void Queue(int blocks, const std::function<Pair(int)>& sample) {
        std::vector<std::uint8_t> bytes;
        for (int n = 0; n < 512; ++n) {
            for (const int v : {sample(n).first, sample(n).second}) {
                bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
                bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
            }
        }
        for (int b = 0; b < blocks; ++b) {
            usb.QueueReceive(kDataHandle, bytes);
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

    // Once per sweep (two reads of a sweep see it in the stepped sweep test).
    reader.BeginSweep();
    Queue(2, [](int) { return Pair{0, 31000}; });
    EXPECT_EQ(Read(1, 2, 8, out), StepListReader::kCompressed);
    EXPECT_EQ(prompter.Count(), 2u);
}

TEST_F(StepListReaderTest, MissingBlocksAreAnnouncedOnlyAfterTheTenthInTheProgramsLife) {
    std::vector<double> out;
    missing = 9;                  // the caller keeps the count for the program's life
    Queue(1, Tone(0.0, 1000.0));  // the second of two blocks never comes
    EXPECT_EQ(Read(100, 101, 1, out), StepListReader::kAborted);
    EXPECT_EQ(missing, 10);
    EXPECT_EQ(prompter.Count(), 0u);

    Queue(2, Tone(0.0, 1000.0));  // the third of three never comes
    usb.ClearCalls();
    EXPECT_EQ(Read(100, 102, 16, out), StepListReader::kAborted);
    EXPECT_EQ(missing, 11);
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "Missing data i = 2 of 3");
    EXPECT_EQ(prompter.Boxes()[0].caption, "ERROR 5");
    // The blocks that came cannot be placed without the one that did not.
    EXPECT_EQ(out, std::vector<double>(out.size(), 0.0));
    const auto calls = usb.Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "purge 1"), calls.end());
}

TEST_F(StepListReaderTest, DescendingReadStopsAtAMissingBlockAndNeverWarnsOfCompression) {
    std::vector<double> out(5 * 32, 7.0);
    Queue(2, [](int) { return Pair{32767, 32767}; });
    EXPECT_EQ(reader.ReadStepListDescending(ports, 60, 56, 16, out), StepListReader::kAborted);
    EXPECT_EQ(missing, 1);  // one box-less count, not one per block still to come
    EXPECT_EQ(prompter.Count(), 0u);
    EXPECT_GT(out[0], 0.0);
    EXPECT_GT(out[32], 0.0);
    EXPECT_EQ(out[64], 0.0);
}

// Powers are corrected for the IF response and the sampler's droop at the
// signal's baseband frequency, as the FFT sweeps correct their bins. One
// point a step reads a tone anywhere in its slot; sixteen (a 32-point FFT)
// keep the central bins in FFT order, and eight bins away the flat-top window
// leaves nothing.
TEST_F(StepListReaderTest, PowersReadAToneAtItsPowerInItsSlotOrBin) {
    const double amplitude = 10000.0;
    const double power = std::pow(amplitude / 32768.0, 2);
    const double bin = kRate / 32.0;
    struct Row {
        int points;
        double hz;
        int index;
        double response;
    };
    const Row rows[] = {{1, 0.0, 0, 1.0},      {1, 18987.0, 0, 1.0},    {1, -56962.0, 0, 1.0},
                        {1, 98750.0, 0, 1.0},  {1, 18987.0, 0, 2.0},    {16, 3 * bin, 3, 1.0},
                        {16, 7 * bin, 7, 1.0}, {16, -3 * bin, 13, 1.0}, {16, -8 * bin, 8, 1.0}};
    std::vector<double> out;
    for (const Row& row : rows) {
        SetResponse(row.response);
        Queue(1, Tone(row.hz, amplitude));
        ASSERT_EQ(Read(5, 5, row.points, out), StepListReader::kComplete);
        EXPECT_NEAR(Db(out[row.index]), Db(row.response * power * DroopPowerFactor(1, row.hz)),
                    0.03)
            << row.hz;
        if (row.points == 16) {
            EXPECT_LT(Db(out[(row.index + 8) % 16]), Db(power) - 80.0) << row.hz;
        }
    }
    // A neighbour beyond the slot (the next step's) stays out of it.
    Queue(1, Tone(150000.0, amplitude));
    Read(5, 5, 1, out);
    EXPECT_LT(Db(out[0]), Db(power) - 60.0);
}

}  // namespace
}  // namespace tavlin
