#include "device/device_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <thread>

#include "device/cal_table.h"
#include "ports/scoped_log_sink.h"
#include "sim/virtual_instrument.h"
#include "support/fake_cal_memory.h"
#include "support/fake_clock.h"
#include "support/recording_log_sink.h"
#include "support/recording_progress_sink.h"
#include "support/recording_prompter.h"
#include "support/scripted_usb_driver.h"
#include "support/test_directory.h"

namespace tavlin {
namespace {

using test::ScriptedUsbDriver;
using test::UnSlip;
using Bytes = std::vector<std::uint8_t>;
using Frames = std::vector<Bytes>;

// Channels A and B of a genuine pair (handles are index + 1).
constexpr UsbHandle kData = 1;
constexpr UsbHandle kCommand = 2;
// What opening the link and every clock mode change send to start the sampler.
const Frames kSamplerStart = {
    {'I', 0x00, 0x75}, {'I', 0x38, 0x03}, {'I', 0x00, 0x74}, {'I', 0x00, 0x70}, {'I', 0x38, 0x00}};

Frames Then(const Bytes& first, Frames rest) {
    rest.insert(rest.begin(), first);
    return rest;
}

class DeviceLinkTest : public ::testing::Test {
  protected:
    void OpenGenuine() {
        usb.AddGenuinePair();
        ASSERT_TRUE(link.Open());
        usb.ClearWrites();
        usb.ClearCalls();
    }
    // The commands written to channel B since the last ClearWrites.
    Frames Sent() {
        Frames frames;
        for (const Bytes& frame : usb.Writes(kCommand)) {
            frames.push_back(UnSlip(frame));
        }
        return frames;
    }
    long long SleptSince(long long before) const { return clock.TotalSleptMs() - before; }
    // A sample answer: header, then pairs (i, -i) for i = 0, 1, ...
    static Bytes SampleAnswer(int pairs) {
        Bytes bytes = {0xA5, 0x5A, 0xF0, 0x0F};
        for (int i = 0; i < pairs; ++i) {
            for (const int value : {i, -i}) {
                bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
                bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
            }
        }
        return bytes;
    }

    ScriptedUsbDriver usb;
    test::FakeClock clock;
    test::RecordingPrompter prompter;
    DeviceLink link{usb, clock, prompter};
};

// --- Discovery -------------------------------------------------------------------

TEST_F(DeviceLinkTest, ChannelsAreChosenByDescriptionSkippingOpenOnes) {
    usb.devices.push_back({ScriptedUsbDriver::Info("Tavlin B", true), 0});  // taken
    usb.devices.push_back({ScriptedUsbDriver::Info("Tavlin A", true), 0});  // taken
    usb.devices.push_back({ScriptedUsbDriver::Info("Tavlin B"), 0});
    usb.devices.push_back({ScriptedUsbDriver::Info("KVO TRAXA A"), 0});
    EXPECT_TRUE(link.Open());
    const auto calls = usb.Calls();
    for (const char* call : {"open 3", "open 2", "rate 3 46667"}) {
        EXPECT_NE(std::find(calls.begin(), calls.end(), call), calls.end()) << call;
    }
}

TEST_F(DeviceLinkTest, OpeningInitialisesSynthesizerAndSamplerOnce) {
    usb.AddGenuinePair();
    ASSERT_TRUE(link.Open());
    const Frames expected = Then({'L', 0x00, 0x00, 0x4C, 0x42}, kSamplerStart);
    EXPECT_EQ(Sent(), expected);
    EXPECT_TRUE(link.Open()) << "a second open does nothing";
    EXPECT_EQ(Sent(), expected);
}

// --- Framing and replies ------------------------------------------------------------

TEST_F(DeviceLinkTest, SlipEscapesBothSpecialBytesAndEndsWithOneFrameEnd) {
    OpenGenuine();
    link.commandBytes = {'L', 0xC0, 0xDB, 0x01, 0xC0};
    EXPECT_EQ(link.SendCommand(5), kLinkOk);
    EXPECT_EQ(usb.Writes(kCommand),
              (Frames{{'L', 0xDB, 0xDC, 0xDB, 0xDD, 0x01, 0xDB, 0xDC, 0xC0}}));
}

// The text has no length: the read ends once the reply has stopped coming
// for longer than the converter holds bytes back, not at the 500 ms that
// bound a unit that says nothing. The virtual unit waits out a read's
// time-out as the real one does.
TEST_F(DeviceLinkTest, FirmwareVersionReadEndsWhenTheReplyIsComplete) {
    sim::VirtualInstrument unit(clock, sim::DefaultScene());
    DeviceLink virtualLink(unit, clock, prompter);
    ASSERT_TRUE(virtualLink.Open());
    long long before = clock.TotalSleptMs();
    EXPECT_EQ(virtualLink.GetFirmwareVersion(), sim::DefaultScene().firmware);
    EXPECT_LE(SleptSince(before), 30);

    OpenGenuine();
    before = clock.TotalSleptMs();
    EXPECT_EQ(link.GetFirmwareVersion(), "");
    EXPECT_EQ(SleptSince(before), 500);
    EXPECT_EQ(Sent(), Frames{{'V'}});
}

// --- Sample reads ------------------------------------------------------------------

// A short answer (one pair short, or short in one of the long read's stream
// blocks) is result 5, a wrong header result 6; either empties the queue so
// nothing stale is drawn as new. Captures no request can carry are refused.
TEST_F(DeviceLinkTest, AnswersAreCheckedForLengthAndHeader) {
    OpenGenuine();
    Bytes misheaded = SampleAnswer(512);
    misheaded[0] = 0xA4;
    const struct {
        const char* name;
        Bytes answer;
        int pairs;
        int result;
        const char* logged;
    } rows[] = {{"short", SampleAnswer(511), 512, kLinkWrongAmount,
                 "warning device: short sample data: 2048 of 2052 bytes\n"},
                {"wrong header", misheaded, 512, kLinkBadHeader,
                 "warning device: sample block with a wrong header\n"},
                {"long, short", SampleAnswer(8192 - 1), 8192, kLinkWrongAmount,
                 "warning device: short sample data: 16380 of 16384 bytes\n"},
                {"request", SampleAnswer(4096), 4096, kLinkOk, ""},
                {"long", SampleAnswer(8192), 8192, kLinkOk, ""},
                {"too long", {}, 256 * 512, kLinkRefused, ""},
                {"none", {}, 0, kLinkRefused, ""}};
    std::vector<std::int32_t> first(256 * 512), second(256 * 512);
    test::RecordingLogSink log;
    const ScopedLogSink logging(log, LogLevel::kWarning);
    for (const auto& row : rows) {
        usb.ClearWrites();
        usb.QueueReceive(kData, row.answer);
        EXPECT_EQ(link.ReadSweepSamples(first, second, row.pairs), row.result) << row.name;
        EXPECT_EQ(log.Take(), row.logged) << row.name;
        EXPECT_EQ(usb.Queued(kData), 0u) << row.name;
        if (row.result == kLinkOk) {
            EXPECT_EQ(first[row.pairs - 1], row.pairs - 1) << row.name;
            EXPECT_EQ(second[row.pairs - 1], 1 - row.pairs) << row.name;
        }
        EXPECT_EQ(Sent().empty(), row.result == kLinkRefused) << row.name;
        if (row.pairs == 4096) {
            EXPECT_EQ(Sent(), (Frames{{'S', 8}}));
        }
    }
    // A long capture comes in whole blocks of 4096 pairs: of the last one only
    // what was asked for is stored, and a count the arrays cannot hold is
    // refused before anything is sent.
    first.assign(first.size(), 7);
    usb.QueueReceive(kData, SampleAnswer(3 * 4096));
    EXPECT_EQ(link.ReadSweepSamples(std::span(first).first(8704), second, 8704), kLinkOk);
    EXPECT_EQ(first[8703], 8703);
    EXPECT_EQ(first[8704], 7) << "nothing written past the array";
    usb.ClearWrites();
    EXPECT_EQ(link.ReadSweepSamples(std::span(first).first(4096), second, 8192), kLinkRefused);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(DeviceLinkTest, TriggerWaitEndsWhenAStopIsRequested) {
    OpenGenuine();
    std::atomic<int> stop{0};
    link.WatchStopRequest(&stop);
    link.waitForTrigger = true;
    std::thread stopper([&] {
        while (clock.TotalSleptMs() < 5000) {
            std::this_thread::yield();
        }
        stop = 1;
    });
    std::vector<std::int32_t> first(8192), second(8192);
    EXPECT_EQ(link.ReadSweepSamples(first, second, 512), kLinkWrongAmount);
    EXPECT_EQ(link.ReadSweepSamples(first, second, 8192), kLinkWrongAmount);
    stopper.join();
}

// A polled block waits about a tenth of a second and leaves partial data for
// the next poll; a stream block that times out purges and says so.
TEST_F(DeviceLinkTest, BlockReadsThatRunOutOfData) {
    OpenGenuine();
    usb.QueueReceive(kData, Bytes(2047, 0x11));
    std::vector<std::int32_t> first(4096), second(4096);
    const long long before = clock.TotalSleptMs();
    EXPECT_EQ(link.ReadSampleBlock512(first.data(), second.data()), 0);
    EXPECT_EQ(SleptSince(before), 100);
    EXPECT_EQ(usb.Queued(kData), 2047u);
    usb.QueueReceive(kData, Bytes(1, 0x11));
    EXPECT_EQ(link.ReadSampleBlock512(first.data(), second.data()), 1);
    EXPECT_EQ(first[0], 0x1111);

    usb.QueueReceive(kData, Bytes(100, 0));
    EXPECT_FALSE(link.ReadStreamBlock(first.data(), second.data()));
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "Time out waiting for data");
    EXPECT_EQ(usb.Queued(kData), 0u);
    EXPECT_EQ(first[0], 0x1111) << "the arrays are left untouched";
}

// --- Command bytes -------------------------------------------------------------------

// One command family: each row's call returns its result having sent exactly
// its frames on channel B; a refused call sends nothing.
class DeviceLinkCommands : public DeviceLinkTest {
  protected:
    struct Row {
        std::string name;
        std::function<int()> call;
        Frames sent;
        int result = kLinkOk;
    };
    void SetUp() override { OpenGenuine(); }
    void Expect(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            usb.ClearWrites();
            EXPECT_EQ(row.call(), row.result) << row.name;
            EXPECT_EQ(Sent(), row.sent) << row.name;
        }
    }
};

// Registers 4 (output divider), D (band route), 1 (modulus) and 0 (INT and
// FRAC); FRAC carries into the third byte at 32, an odd INT sets its top bit.
// The low band splits k doublings between the synthesizer's divider (a) and
// the band route's (b). Values that would wrap their fields are refused.
TEST_F(DeviceLinkCommands, SynthesizerWords) {
    const auto set = [this](int intPart, int frac, int mod, int k, bool high) {
        return [=, this] {
            link.ResetCachedSettings();  // every row from a synthesizer in an unknown state
            return link.SetSynthesizer(intPart, frac, mod, k, high);
        };
    };
    const Bytes mod100{'L', 0x08, 0x00, 0x83, 0x21};
    const auto words = [](int a, int b, const Bytes& modulus, const Bytes& word) {
        return Frames{{'L', 0x00, static_cast<std::uint8_t>(0x86 + 16 * a), 0x41, 0xBC},
                      {'D', static_cast<std::uint8_t>(b)},
                      modulus,
                      word};
    };
    std::vector<Row> rows = {
        {"largest fields", set(511, 4094, 4095, 4, true),
         words(4, 4, {'L', 0x08, 0x00, 0xFF, 0xF9}, {'L', 0x00, 0xFF, 0xFF, 0xF0})},
        {"FRAC 31", set(300, 31, 100, 1, true), words(1, 4, mod100, {'L', 0, 0x96, 0x00, 0xF8})},
        {"FRAC 32 carries", set(300, 32, 100, 1, true),
         words(1, 4, mod100, {'L', 0, 0x96, 0x01, 0x00})},
        {"odd INT", set(301, 32, 100, 1, true), words(1, 4, mod100, {'L', 0, 0x96, 0x81, 0x00})},
        {"INT needs a tenth bit", set(512, 37, 100, 1, true), {}, kLinkRefused},
        {"MOD below 2", set(300, 37, 1, 1, true), {}, kLinkRefused},
        {"MOD needs a thirteenth bit", set(300, 37, 4096, 1, true), {}, kLinkRefused},
        {"FRAC not below MOD", set(300, 100, 100, 1, true), {}, kLinkRefused},
        {"output divider 2^5", set(300, 37, 100, 5, true), {}, kLinkRefused},
        {"divider 2^5 in the low band", set(300, 37, 100, 11, false), {}, kLinkRefused},
        {"negative divider", set(300, 37, 100, -1, true), {}, kLinkRefused},
        {"an LO of 0 Hz", set(0, 0, 100, 1, true), {}, kLinkRefused},
    };
    const int a[] = {1, 1, 1, 1, 1, 1, 1, 1, 2, 3, 4};
    const int b[] = {0, 0, 0, 0, 0, 1, 2, 3, 3, 3, 3};
    for (int k = 0; k <= 10; ++k) {
        rows.push_back({"low band k " + std::to_string(k), set(300, 37, 100, k, false),
                        words(a[k], b[k], mod100, {'L', 0x00, 0x96, 0x01, 0x28})});
    }
    Expect(rows);
    EXPECT_FALSE(link.commError);
}

// The attenuator rounds to the nearest of its four steps.
TEST_F(DeviceLinkCommands, RouteAttenuatorGainPreampAndSyncBytes) {
    const auto atten = [this](double db) { return [=, this] { return link.SetAttenuator(db); }; };
    const auto gain = [this](int mode) { return [=, this] { return link.SetGainMode(mode); }; };
    const auto sync = [this](int mode) { return [=, this] { return link.SetSyncTrigger(mode); }; };
    const double inf = std::numeric_limits<double>::infinity();
    Expect({
        {"high band", [this] { return link.SetBandSelect(true); }, {{'D', 4}}},
        {"low band", [this] { return link.SetBandSelect(false); }, {{'D', 3}}},
        {"preamp on", [this] { return link.SetPreamp(true); }, {{'M', 1}}},
        {"preamp off", [this] { return link.SetPreamp(false); }, {{'M', 0}}},
        {"sync 3", sync(3), {{'O', 3}}},
        {"0 dB", atten(0.0), {{'A', 0}}},
        {"7.4 dB", atten(7.4), {{'A', 1}}},
        {"7.5 dB", atten(7.5), {{'A', 2}}},
        {"15 dB", atten(15.0), {{'A', 3}}},
        {"gain 0", gain(0), {{'I', 0x06, 0x80}, {'I', 0x0C, 0x00}}},
        {"gain 1", gain(1), {{'I', 0x06, 0x00}, {'I', 0x0C, 0x00}}},
        {"gain 2", gain(2), {{'I', 0x06, 0x00}, {'I', 0x0C, 0x80}}},
        {"17.5 dB", atten(17.5), {}, kLinkRefused},
        {"-7.5 dB", atten(-7.5), {}, kLinkRefused},
        {"inf dB", atten(inf), {}, kLinkRefused},
        {"NaN dB", atten(std::nan("")), {}, kLinkRefused},
        {"sync 4", sync(4), {}, kLinkRefused},
        {"gain 3", gain(3), {}, kLinkRefused},
    });
}

// Every setting the unit keeps is sent only when it differs from what the
// unit holds. The unit tunes itself through a step list, so the LO goes
// whole after one; a preset or any fault (a failed write here) forgets every
// setting. A clock mode change settles, then initialises the sampler again.
TEST_F(DeviceLinkCommands, SettingsTheUnitHoldsAreNotSentAgain) {
    const auto dec = [this](int d) { return [=, this] { return link.SetDecimation(d); }; };
    const auto path = [this](int p) { return [=, this] { return link.SetIfPath(p); }; };
    const auto clockMode = [this](int m) { return [=, this] { return link.SendClockMode(m); }; };
    const auto atten = [this](double db) { return [=, this] { return link.SetAttenuator(db); }; };
    const auto gain = [this](int mode) { return [=, this] { return link.SetGainMode(mode); }; };
    const auto preamp = [this] { return link.SetPreamp(true); };
    const auto sync = [this] { return link.SetSyncTrigger(2); };
    const auto lo = [this](int frac) {
        return [=, this] { return link.SetSynthesizer(300, frac, 100, 1, true); };
    };
    const Bytes mod100{'L', 0x08, 0x00, 0x83, 0x21};
    const Frames wholeLo = {
        {'L', 0x00, 0x96, 0x41, 0xBC}, {'D', 4}, mod100, {'L', 0, 0x96, 1, 0x30}};
    const std::vector<Row> everySetting = {
        {"decimation 4", dec(4), {{'I', 0x0E, 19}}},
        {"IF path 1", path(1), {{'F', 1}}},
        {"10 dB", atten(10.0), {{'A', 2}}},
        {"gain 2", gain(2), {{'I', 0x06, 0x00}, {'I', 0x0C, 0x80}}},
        {"preamp on", preamp, {{'M', 1}}},
        {"sync 2", sync, {{'O', 2}}},
        {"LO", lo(38), wholeLo},
    };
    Expect(everySetting);
    Expect({
        {"decimation 4 again", dec(4), {}},
        {"IF path 1 again", path(1), {}},
        {"9 dB, the same step", atten(9.0), {}},
        {"gain 2 again", gain(2), {}},
        {"preamp on again", preamp, {}},
        {"sync 2 again", sync, {}},
        {"the same LO", lo(38), {}},
        {"another FRAC", lo(37), {{'L', 0, 0x96, 0x01, 0x28}}},
        {"low band route", [this] { return link.SetBandSelect(false); }, {{'D', 3}}},
        {"the route back, then the word", lo(37), {{'D', 4}, {'L', 0, 0x96, 0x01, 0x28}}},
        {"a step list", [this] { return link.RunStepList(10, 20); }, {mod100, {'N', 10, 0, 20, 0}}},
        {"the LO after it", lo(38), wholeLo},
        {"clock mode 1", clockMode(1), Then({'C', 9}, kSamplerStart)},
        {"decimation 4 after it", dec(4), {{'I', 0x0E, 19}}},
        {"decimation 0", dec(0), {}, kLinkRefused},
        {"decimation 17", dec(17), {}, kLinkRefused},
        {"decimation 742 (a 100 s zero span)", dec(742), {}, kLinkRefused},
        {"IF path 2", path(2), {}, kLinkRefused},
        {"clock mode 3", clockMode(3), {}, kLinkRefused},
    });
    long long before = clock.TotalSleptMs();
    ASSERT_EQ(link.SendClockMode(2), kLinkOk);
    EXPECT_EQ(SleptSince(before), 250 + 150);
    // the synthesizer's lock time after a retune, and only then
    before = clock.TotalSleptMs();
    ASSERT_EQ(lo(37)(), kLinkOk);
    ASSERT_EQ(lo(37)(), kLinkOk);
    EXPECT_EQ(SleptSince(before), 2);

    link.ResetCachedSettings();  // as a preset does
    Expect(everySetting);
    usb.failWrites = true;
    EXPECT_EQ(link.SetDecimation(8), kLinkWriteFailed);
    EXPECT_EQ(link.ClockModeSent(), -1);
    usb.failWrites = false;
    Expect(everySetting);
}

// A reopened unit has lost its settings: opening forgets what was sent, so
// each is sent again.
TEST_F(DeviceLinkCommands, OpeningForgetsTheSentSettings) {
    ASSERT_EQ(link.SetDecimation(4), kLinkOk);
    ASSERT_EQ(link.SetIfPath(1), kLinkOk);
    ASSERT_EQ(link.SendClockMode(1), kLinkOk);
    ASSERT_EQ(link.SetDecimation(4), kLinkOk);
    ASSERT_EQ(link.SetAttenuator(10.0), kLinkOk);
    ASSERT_TRUE(link.ResetLink(true));
    EXPECT_EQ(link.ClockModeSent(), -1);
    Expect({{"decimation 4", [this] { return link.SetDecimation(4); }, {{'I', 0x0E, 19}}},
            {"IF path 1", [this] { return link.SetIfPath(1); }, {{'F', 1}}},
            {"10 dB", [this] { return link.SetAttenuator(10.0); }, {{'A', 2}}}});
}

// The step list loads its modulus, then steps either way; a capture counts
// whole blocks in one byte; the stream commands have no argument.
TEST_F(DeviceLinkCommands, StepListCaptureAndStreamBytes) {
    const Bytes modulus{'L', 0x08, 0x00, 0x83, 0x21};
    const auto up = [this](int a, int b) { return [=, this] { return link.RunStepList(a, b); }; };
    const auto down = [this](int a, int b) {
        return [=, this] { return link.RunStepListDown(a, b); };
    };
    const auto capture = [this](int n) { return [=, this] { return link.RequestCapture(n); }; };
    Expect({
        {"steps up", up(10, 300), {modulus, {'N', 10, 0, 0x2C, 1}}},
        {"steps down", down(10, 300), {modulus, {'N', 0x2C, 0x01, 10, 0}}},
        {"widest list", up(0, 65535), {modulus, {'N', 0, 0, 0xFF, 0xFF}}},
        {"capture", capture(4096 / kPollBlockPairs), {{'S', 8}}},
        {"longest capture", capture(255), {{'S', 255}}},
        {"stream start", [this] { return link.StartStream(); }, {{'T'}}},
        {"stream stop", [this] { return link.StopStream(); }, {{'3'}}},
        {"step past 65535", up(0, 65536), {}, kLinkRefused},
        {"capture of 256", capture(256), {}, kLinkRefused},
        {"capture of 0", capture(0), {}, kLinkRefused},
    });
}

// Detector readings come back big-endian on channel B; a short answer is
// result 5 and leaves the rest of the values alone.
TEST_F(DeviceLinkCommands, DetectorSweepTakesAtMost2048ValuesAndChecksTheAnswer) {
    Bytes answer(2 * kMaxDetectorValues, 0x01);
    usb.onWrite = [&](UsbHandle handle, const Bytes& frame) {
        if (UnSlip(frame)[0] == 'B') {
            usb.QueueReceive(handle, answer);
        }
    };
    std::vector<std::uint16_t> values(kMaxDetectorValues + 1, 7);
    const auto sweep = [&](int start, int stop) {
        return [&, start, stop] { return link.StartDetectorSweep(start, stop, values.data()); };
    };
    Expect({
        {"2048 values", sweep(1000, 1000 + 3 * 2048 + 2), {{'D', 4}, {'B', 0xE8, 3, 0xEA, 0x1B}}},
        {"2049 values", sweep(0, 3 * 2049), {}, kLinkRefused},
        {"downwards", sweep(165, 156), {}, kLinkRefused},
        {"no width", sweep(156, 156), {}, kLinkRefused},
        {"stop past 65535", sweep(65530, 65536), {}, kLinkRefused},
    });
    EXPECT_EQ(values[kMaxDetectorValues - 1], 0x0101);

    answer = {0x12, 0x34, 0x56};
    values.assign(3, 7);
    EXPECT_EQ(link.StartDetectorSweep(156, 165, values.data()), kLinkWrongAmount);
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0x1234, 7, 7}));
    EXPECT_EQ(usb.Queued(kCommand), 0u);
}

TEST_F(DeviceLinkCommands, FailedWriteStopsTheSequenceAndReportsIt) {
    // A dead channel costs a write time-out per command: nothing more is
    // attempted after the first refusal.
    usb.failWrites = true;
    test::RecordingLogSink log;
    const ScopedLogSink logging(log, LogLevel::kWarning);
    long long before = clock.TotalSleptMs();
    EXPECT_EQ(link.SetSynthesizer(300, 37, 100, 1, true), kLinkWriteFailed);
    EXPECT_EQ(SleptSince(before), 0);
    EXPECT_TRUE(link.commError);
    before = clock.TotalSleptMs();
    EXPECT_EQ(link.InitialiseSampler(), kLinkWriteFailed);
    EXPECT_EQ(SleptSince(before), 0);
    EXPECT_EQ(link.SetGainMode(1), kLinkWriteFailed);
    EXPECT_EQ(log.Take(),
              "warning device: command write failed: USB status 4, 0 of 6 bytes written\n")
        << "one line while the error stands";
}

// An external reference is switched to only on two readings in a row; no
// answer, or a query that cannot be sent, keeps the previous state.
TEST_F(DeviceLinkCommands, ReferenceCheck) {
    std::deque<std::uint8_t> answers;
    usb.onWrite = [&](UsbHandle handle, const Bytes& frame) {
        if (handle == kCommand && UnSlip(frame) == Bytes{'C', 2} && !answers.empty()) {
            usb.QueueReceive(handle, {answers.front()});
            answers.pop_front();
        }
    };
    const struct {
        const char* name;
        bool previous;
        std::deque<std::uint8_t> answers;
        bool result;
        std::size_t queries;  // 0: the query cannot be written
    } rows[] = {
        {"readings differ", false, {1, 0}, false, 2},
        {"known external", true, {1}, true, 1},
        {"known, now internal", true, {0}, false, 1},
        {"no answer, known external", true, {}, true, 1},
        {"confirmation unanswered", false, {1}, false, 2},
        {"query not sent, known external", true, {1, 1}, true, 0},
        {"confirmed", false, {1, 1}, true, 2},
    };
    for (const auto& row : rows) {
        usb.ClearWrites();
        answers = row.answers;
        usb.failWrites = row.queries == 0;
        const long long before = clock.TotalSleptMs();
        EXPECT_EQ(link.CheckReference(row.previous), row.result) << row.name;
        Frames expected(row.queries, Bytes{'C', 2});
        if (row.queries == 2 && row.result) {
            expected.push_back({'C', 1});
            EXPECT_EQ(SleptSince(before), 250);
        }
        EXPECT_EQ(Sent(), expected) << row.name;
        EXPECT_EQ(link.slowDevice, expected.size() == 3u ? 1 : 0) << row.name;
    }
}

// --- Calibration memory and table ------------------------------------------------

namespace fs = std::filesystem;

TEST(CalTableFields, ReadTheirBytesAtTheMemoryOffsets) {
    CalTable table;
    auto& b = table.Bytes();
    for (std::size_t i = 0; i < b.size(); ++i) {
        b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    const auto word = [&](int at) { return b[at] | (b[at + 1] << 8); };
    EXPECT_EQ(table.PreampRolloff(14), b[0x70 + 14]);
    EXPECT_EQ(table.IfGain2_9(false), b[0x81]);
    EXPECT_EQ(table.IfGain2_9(true), b[0x82]);
    EXPECT_EQ(table.LowBandFlatness(2, 7), b[0x84 + 2 * 150 + 7]);
    EXPECT_EQ(table.HighBandFlatness(3, 425), b[0x2DC + 3 * 426 + 425]);
    EXPECT_EQ(table.LowGainStep(), word(0x9EC));
    EXPECT_EQ(table.HighGainStep(), word(0x9EE));
    EXPECT_EQ(table.IfClip(true), word(0x9F0));
    EXPECT_EQ(table.IfClip(false), word(0x9F2));
    EXPECT_EQ(table.TcxoOffset(), word(0x9F4));
    EXPECT_EQ(table.PreampLowBand(149), b[0x9F8 + 149]);
    EXPECT_EQ(table.PreampHighBand(425), b[0xA8E + 425]);

    // The date stops at its terminator or after 48 bytes.
    std::fill_n(b.begin() + 64, 48, 'x');
    EXPECT_EQ(table.CalDate(), std::string(48, 'x'));
    b[64 + 5] = 0;
    EXPECT_EQ(table.CalDate(), "xxxxx");
}

TEST(CalTableCacheName, KeepsOnlySafeCharactersOfTheSerial) {
    CalTable table("/cache");
    EXPECT_EQ(table.CacheFilePath("TV000123"), fs::path("/cache/TV000123.kvo"));
    EXPECT_EQ(table.CacheFilePath("../../x"), fs::path("/cache/x.kvo"));
    EXPECT_EQ(table.CacheFilePath("a-b_c/d\\e f\xC3\xA9"), fs::path("/cache/a-b_cdef.kvo"));
    EXPECT_EQ(table.CacheFilePath("/.."), fs::path("/cache/.kvo"));
}

// The table's load through the link's memory reads, against a fake memory.
class CalMemoryTest : public DeviceLinkTest {
  protected:
    void SetUp() override {
        memory.FillPattern();
        OpenGenuine();
    }
    void TearDown() override { fs::remove_all(folder); }

    Bytes CachedPart() const { return Bytes(memory.memory.begin(), memory.memory.begin() + 3128); }

    fs::path folder = test::MakeTestDirectory("tavlin-cal");
    fs::path cacheFile = folder / "TV000123.kvo";
    test::RecordingProgressSink progress;
    test::FakeCalMemory memory{usb};
    CalTable table{folder};
};

// A cache file of the right size is taken without asking the device (the
// end-to-end start-up tests show it); any other size is read again, each
// word as soon as the previous one has come, with no pause between.
TEST_F(CalMemoryTest, LoadTakesACacheFileOfTheRightSizeOnly) {
    for (const std::size_t size : {0, 3127, 3129, 4096}) {
        std::ofstream(cacheFile, std::ios::binary) << std::string(size, '\x11');
        memory.commands.clear();
        const long long before = clock.TotalSleptMs();
        EXPECT_EQ(table.Load("TV000123", link, progress), CalLoadSource::Device) << size;
        EXPECT_EQ(SleptSince(before), 0) << size;
        EXPECT_EQ(memory.Reads(), 1024) << size;
        EXPECT_EQ(test::ReadFileBytes(cacheFile), CachedPart()) << size;
    }
}

// A short reply leaves neutral bytes in its word (later words still line
// up); such a table is used but never cached, so the next load asks again.
TEST_F(CalMemoryTest, IncompleteReadIsUsedButNotCachedAndTheNextLoadAsksAgain) {
    memory.shortReplyAt = {2544};  // half of the word that holds both level references

    EXPECT_EQ(table.Load("TV000123", link, progress), CalLoadSource::DeviceIncomplete);
    EXPECT_EQ(table.IfClip(true), memory.memory[2544] | (memory.memory[2545] << 8));
    EXPECT_EQ(table.IfClip(false), 0x8080);
    EXPECT_EQ(table.Bytes()[2548], memory.memory[2548]);
    EXPECT_FALSE(fs::exists(cacheFile));

    memory.shortReplyAt.clear();
    memory.commands.clear();
    EXPECT_EQ(table.Load("TV000123", link, progress), CalLoadSource::Device);
    EXPECT_EQ(memory.Reads(), 1024);
    EXPECT_EQ(test::ReadFileBytes(cacheFile), CachedPart());
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

    // A closed link gives a neutral image, not cached.
    ASSERT_TRUE(link.ResetLink(false));
    EXPECT_EQ(table.Load("", link, progress), CalLoadSource::DeviceIncomplete);
    EXPECT_TRUE(
        std::all_of(table.Bytes().begin(), table.Bytes().end(), [](auto b) { return b == 0x80; }));
    EXPECT_FALSE(fs::exists(folder / ".kvo"));
}

// A table no working unit can have is used (it is the unit's own) but named
// and never cached; the factory limits judge the flatness when at hand.
struct ImplausibleTableRow {
    const char* name;
    std::function<void(std::array<std::uint8_t, 4096>&)> damage;
    bool withLimits;
    const char* untrusted;  // what Untrusted() says; empty: the table is cached
};

class CalPlausibilityTest : public CalMemoryTest,
                            public ::testing::WithParamInterface<ImplausibleTableRow> {};

TEST_P(CalPlausibilityTest, NamesTheFieldAndDoesNotCache) {
    const ImplausibleTableRow& row = GetParam();
    row.damage(memory.memory);
    if (row.withLimits) {
        Bytes min = CachedPart();
        Bytes max = min;
        min.resize(2552);
        max.resize(2552);
        max[900] = min[900] = static_cast<std::uint8_t>(std::max(0, memory.memory[900] - 40));
        std::ofstream(folder / "CALMIN.kvo", std::ios::binary)
            .write(reinterpret_cast<const char*>(min.data()), 2552);
        std::ofstream(folder / "CALMAX.kvo", std::ios::binary)
            .write(reinterpret_cast<const char*>(max.data()), 2552);
    }
    const bool plausible = std::string(row.untrusted).empty();
    EXPECT_EQ(table.Load("TV000123", link, progress),
              plausible ? CalLoadSource::Device : CalLoadSource::Implausible);
    EXPECT_EQ(table.Untrusted().substr(0, std::string(row.untrusted).size()), row.untrusted)
        << table.Untrusted();
    EXPECT_EQ(fs::exists(cacheFile), plausible);
}

void PutWord(std::array<std::uint8_t, 4096>& m, int offset, int word) {
    m[offset] = static_cast<std::uint8_t>(word & 0xFF);
    m[offset + 1] = static_cast<std::uint8_t>(word >> 8);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, CalPlausibilityTest,
    ::testing::Values(
        ImplausibleTableRow{"Sound", [](auto&) {}, false, ""},
        ImplausibleTableRow{"Erased", [](auto& m) { m.fill(0xFF); }, false,
                            "the unit's memory: every byte of the table is 0xFF: the calibration "
                            "memory is erased"},
        ImplausibleTableRow{"Zeroed", [](auto& m) { m.fill(0); }, false,
                            "the unit's memory: every byte of the table is 0x00"},
        ImplausibleTableRow{"TcxoErased", [](auto& m) { PutWord(m, 2548, 0xFFFF); }, false,
                            "the unit's memory: tcxoOffset is 32767.0 ppb"},
        ImplausibleTableRow{"TcxoZeroed", [](auto& m) { PutWord(m, 2548, 0); }, false,
                            "the unit's memory: tcxoOffset is -32768.0 ppb"},
        ImplausibleTableRow{"LevelReferenceByteErased", [](auto& m) { m[2547] = 0xFF; }, false,
                            "the unit's memory: IFClipLB150 is 22.0 dB"},
        ImplausibleTableRow{"GainStepErased", [](auto& m) { PutWord(m, 2542, 0xFFFF); }, false,
                            "the unit's memory: highGainStep is a step of 1320.1 dB"},
        ImplausibleTableRow{"IfGainOffsetErased", [](auto& m) { m[130] = 0xFF; }, false,
                            "the unit's memory: IFGAIN2_9B1 is 0xFF"},
        ImplausibleTableRow{"IfResponseGap", [](auto& m) { m[2488 + 7] = 0; }, false,
                            "the unit's memory: ifFlatness2M9 entry 7 is 0"},
        ImplausibleTableRow{"IfResponseOffCentre", [](auto& m) { m[2436 + 25] = 255; }, false,
                            "the unit's memory: ifFlatness10M7 is 2.55 at the middle"},
        ImplausibleTableRow{"FlatnessByteErased", [](auto& m) { m[732 + 2 * 426 + 78] = 0xFF; },
                            false, "the unit's memory: highBandFlatness row 2 entry 78 is 0xFF"},
        ImplausibleTableRow{"FlatnessBeyondFactoryLimits", [](auto&) {}, true,
                            "the unit's memory: highBandFlatness row 0 entry 168 is"}),
    [](const auto& info) { return std::string(info.param.name); });

// A cache file that cannot be right is still the one in use (it may hold
// adjustments the unit lacks), named as the table's source.
TEST_F(CalMemoryTest, ImplausibleCacheFileIsUsedAndNamed) {
    std::ofstream(cacheFile, std::ios::binary) << std::string(3128, '\xFF');
    EXPECT_EQ(table.Load("TV000123", link, progress), CalLoadSource::CacheFile);
    EXPECT_EQ(memory.Reads(), 0);
    EXPECT_EQ(table.Untrusted().substr(0, 46), "TV000123.kvo: every byte of the table is 0xFF:");
}

}  // namespace
}  // namespace tavlin
