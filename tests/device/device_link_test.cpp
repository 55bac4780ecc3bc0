#include "device/device_link.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <thread>
#include <tuple>

#include "support/fake_clock.h"
#include "support/recording_prompter.h"
#include "support/scripted_usb_driver.h"

namespace tavlin {
namespace {

using test::ScriptedUsbDriver;
using test::UnSlip;
using Bytes = std::vector<std::uint8_t>;
using Frames = std::vector<Bytes>;

// Channels A and B of a genuine pair (handles are index + 1).
constexpr UsbHandle kData = 1;
constexpr UsbHandle kCommand = 2;
const std::string kConnectPrompt =
    "ERROR 1-TAVLIN NOT FOUND|PLEASE CONNECT TAVLIN NOW\r\n then click OK";

class DeviceLinkTest : public ::testing::Test {
  protected:
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const auto& box : prompter.Boxes()) {
            texts.push_back(box.caption + "|" + box.text);
        }
        return texts;
    }
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
    bool Called(const std::string& call) {
        const auto calls = usb.Calls();
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
    // A sample answer: header, then pairs (i, -i) for i = 0, 1, ...
    static Bytes SampleAnswer(int pairs) {
        Bytes bytes = {0xA5, 0x5A, 0xF0, 0x0F};
        for (int i = 0; i < pairs; ++i) {
            const auto first = static_cast<std::uint16_t>(i);
            const auto second = static_cast<std::uint16_t>(-i);
            bytes.insert(
                bytes.end(),
                {static_cast<std::uint8_t>(first & 0xFF), static_cast<std::uint8_t>(first >> 8),
                 static_cast<std::uint8_t>(second & 0xFF), static_cast<std::uint8_t>(second >> 8)});
        }
        return bytes;
    }

    ScriptedUsbDriver usb;
    test::FakeClock clock;
    test::RecordingPrompter prompter;
    DeviceLink link{usb, clock, prompter};
};

// --- Discovery -------------------------------------------------------------------

TEST_F(DeviceLinkTest, NoInstrumentPromptsWaitsThenAsksTheProgramToClose) {
    bool closeAsked = false;
    link.SetInstrumentLostHandler([&] { closeAsked = true; });
    EXPECT_FALSE(link.Open());
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           kConnectPrompt, "ERROR 1|TAVLIN NOT FOUND\r\nClosing application"}));
    EXPECT_EQ(prompter.Boxes()[0].buttons, PromptButtons::Ok);
    EXPECT_GE(clock.TotalSleptMs(), 1000);
    EXPECT_TRUE(closeAsked);
    EXPECT_TRUE(link.InstrumentLost());
}

TEST_F(DeviceLinkTest, HalfAnInstrumentRunsWithoutIt) {
    usb.devices.push_back({ScriptedUsbDriver::Info("Tavlin A"), 0});
    usb.devices.push_back({ScriptedUsbDriver::Info("Tavlin A"), 0});
    EXPECT_FALSE(link.Open());
    EXPECT_EQ(Texts(), std::vector<std::string>{"ERROR 1|Devices not found!"});
    EXPECT_FALSE(link.InstrumentLost());
    for (const auto& call : usb.Calls()) {
        EXPECT_NE(call.rfind("open", 0), 0u) << "no channel may be opened: " << call;
    }
}

TEST_F(DeviceLinkTest, ChannelsAreChosenByDescriptionSkippingOpenOnes) {
    usb.devices.push_back({ScriptedUsbDriver::Info("Tavlin B", true), 0});  // taken
    usb.devices.push_back({ScriptedUsbDriver::Info("Tavlin A", true), 0});  // taken
    usb.devices.push_back({ScriptedUsbDriver::Info("Tavlin B"), 0});
    usb.devices.push_back({ScriptedUsbDriver::Info("KVO TRAXA A"), 0});
    EXPECT_TRUE(link.Open());
    EXPECT_TRUE(Called("open 3"));
    EXPECT_TRUE(Called("open 2"));
    EXPECT_TRUE(Called("rate 3 46667"));
}

TEST_F(DeviceLinkTest, DataChannelGetsTenAttemptsTheCommandChannelOne) {
    usb.AddGenuinePair();
    usb.devices[0].failOpens = 9;  // opens on the tenth attempt
    EXPECT_TRUE(link.Open());
    EXPECT_EQ(prompter.Count(), 0u);
    link.ResetLink(false);
    usb.ClearCalls();
    usb.ClearWrites();
    usb.devices[0].failOpens = -1;
    EXPECT_FALSE(link.Open());
    const auto calls = usb.Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "open 0"), 10);
    EXPECT_EQ(Texts(), std::vector<std::string>{"ERROR 2|PORT1 Did not open"});
    EXPECT_TRUE(Sent().empty()) << "no initialisation without an open link";

    usb.devices[0].failOpens = 0;
    usb.devices[1].failOpens = 1;
    EXPECT_FALSE(link.Open());
    EXPECT_EQ(Texts().back(), "ERROR 2|PORT2 Did not open");
    EXPECT_FALSE(link.IsOpen());
}

TEST_F(DeviceLinkTest, OpeningInitialisesSynthesizerAndSamplerOnce) {
    usb.AddGenuinePair();
    ASSERT_TRUE(link.Open());
    const Frames expected = {{'L', 0x00, 0x00, 0x4C, 0x42},
                             {'I', 0x00, 0x75},
                             {'I', 0x38, 0x03},
                             {'I', 0x00, 0x74},
                             {'I', 0x00, 0x70},
                             {'I', 0x38, 0x00}};
    EXPECT_EQ(Sent(), expected);
    EXPECT_TRUE(link.Open()) << "a second open does nothing";
    EXPECT_EQ(Sent(), expected);
}

TEST_F(DeviceLinkTest, ResetCyclesAndClosesThenReopensAfterTheWait) {
    OpenGenuine();
    const long long before = clock.TotalSleptMs();
    EXPECT_TRUE(link.ResetLink(true));
    const auto calls = usb.Calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 3),
              (std::vector<std::string>{"cycle 1", "close 1", "close 2"}));
    EXPECT_GE(SleptSince(before), 2500);
    EXPECT_TRUE(link.IsOpen());

    link.ResetLink(false);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.SetPreamp(false), kLinkWriteFailed);
}

// --- Framing and replies ------------------------------------------------------------

TEST_F(DeviceLinkTest, SlipEscapesBothSpecialBytesAndEndsWithOneFrameEnd) {
    OpenGenuine();
    link.commandBytes = {'L', 0xC0, 0xDB, 0x01, 0xC0};
    EXPECT_EQ(link.SendCommand(5), kLinkOk);
    EXPECT_EQ(usb.Writes(kCommand),
              (Frames{{'L', 0xDB, 0xDC, 0xDB, 0xDD, 0x01, 0xDB, 0xDC, 0xC0}}));
}

TEST_F(DeviceLinkTest, FirmwareVersionIsReadWithShortTimeoutsThenRestored) {
    OpenGenuine();
    usb.QueueReceive(kCommand, {'T', 'v', ' ', '2', '.', '0', '3'});
    EXPECT_EQ(link.GetFirmwareVersion(), "Tv 2.03");
    const auto calls = usb.Calls();
    const auto shortAt = std::find(calls.begin(), calls.end(), "timeouts 2 500 500");
    ASSERT_NE(shortAt, calls.end());
    EXPECT_NE(std::find(shortAt, calls.end(), "timeouts 2 5000 5000"), calls.end());
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
    } rows[] = {{"short", SampleAnswer(511), 512, kLinkWrongAmount},
                {"wrong header", misheaded, 512, kLinkBadHeader},
                {"long, short", SampleAnswer(8192 - 1), 8192, kLinkWrongAmount},
                {"request", SampleAnswer(4096), 4096, kLinkOk},
                {"long", SampleAnswer(8192), 8192, kLinkOk},
                {"too long", {}, 256 * 512, kLinkRefused},
                {"none", {}, 0, kLinkRefused}};
    std::vector<std::int32_t> first(256 * 512), second(256 * 512);
    for (const auto& row : rows) {
        usb.ClearWrites();
        usb.QueueReceive(kData, row.answer);
        EXPECT_EQ(link.ReadSweepSamples(first.data(), second.data(), row.pairs), row.result)
            << row.name;
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
    EXPECT_EQ(link.ReadSweepSamples(first.data(), second.data(), 512), kLinkWrongAmount);
    EXPECT_EQ(link.ReadSweepSamples(first.data(), second.data(), 8192), kLinkWrongAmount);
    stopper.join();
}

TEST_F(DeviceLinkTest, PolledBlockWaitsAboutATenthOfASecondAndLeavesPartialData) {
    OpenGenuine();
    usb.QueueReceive(kData, Bytes(2047, 0x11));
    std::vector<std::int32_t> first(512), second(512);
    const long long before = clock.TotalSleptMs();
    EXPECT_EQ(link.ReadSampleBlock512(first.data(), second.data()), 0);
    EXPECT_EQ(SleptSince(before), 100);
    EXPECT_EQ(usb.Queued(kData), 2047u);
    usb.QueueReceive(kData, Bytes(1, 0x11));
    EXPECT_EQ(link.ReadSampleBlock512(first.data(), second.data()), 1);
    EXPECT_EQ(first[0], 0x1111);
}

TEST_F(DeviceLinkTest, StreamBlockTimeOutPurgesAndSaysSo) {
    OpenGenuine();
    usb.QueueReceive(kData, Bytes(100, 0));
    std::vector<std::int32_t> first(4096, 7), second(4096, 7);
    EXPECT_FALSE(link.ReadStreamBlock(first.data(), second.data()));
    EXPECT_EQ(Texts(), std::vector<std::string>{"ERROR|Time out waiting for data"});
    EXPECT_EQ(usb.Queued(kData), 0u);
    EXPECT_EQ(first[0], 7) << "the arrays are left untouched";
}

// --- Command bytes -------------------------------------------------------------------

class DeviceLinkCommands : public DeviceLinkTest {
  protected:
    void SetUp() override { OpenGenuine(); }
};

// Registers 4 (output divider), D (band route), 1 (modulus) and 0 (INT and
// FRAC); FRAC carries into the third byte at 32, an odd INT sets its top bit.
TEST_F(DeviceLinkCommands, SynthesizerWords) {
    EXPECT_EQ(link.SetSynthesizer(511, 4094, 4095, 4, true), kLinkOk);
    EXPECT_EQ(Sent(), (Frames{{'L', 0x00, 0xC6, 0x41, 0xBC},
                              {'D', 0x04},
                              {'L', 0x08, 0x00, 0xFF, 0xF9},
                              {'L', 0x00, 0xFF, 0xFF, 0xF0}}));
    for (const auto& [intPart, frac, word] : {std::tuple{300, 31, Bytes{'L', 0, 0x96, 0x00, 0xF8}},
                                              {300, 32, Bytes{'L', 0, 0x96, 0x01, 0x00}},
                                              {301, 32, Bytes{'L', 0, 0x96, 0x81, 0x00}}}) {
        usb.ClearWrites();
        EXPECT_EQ(link.SetSynthesizer(intPart, frac, 100, 1, true), kLinkOk);
        EXPECT_EQ(Sent().back(), word) << intPart << " " << frac;
    }
    // The low band splits k doublings between the synthesizer's divider (a)
    // and the band route's (b).
    const int a[] = {1, 1, 1, 1, 1, 1, 1, 1, 2, 3, 4};
    const int b[] = {0, 0, 0, 0, 0, 1, 2, 3, 3, 3, 3};
    for (int k = 0; k <= 10; ++k) {
        usb.ClearWrites();
        ASSERT_EQ(link.SetSynthesizer(300, 37, 100, k, false), kLinkOk);
        const Frames sent = Sent();
        ASSERT_EQ(sent.size(), 4u);
        EXPECT_EQ(sent[0],
                  (Bytes{'L', 0x00, static_cast<std::uint8_t>(0x86 + 16 * a[k]), 0x41, 0xBC}))
            << k;
        EXPECT_EQ(sent[1], (Bytes{'D', static_cast<std::uint8_t>(b[k])})) << k;
    }
}

TEST_F(DeviceLinkCommands, SynthesizerRefusesValuesThatWouldWrapTheirFields) {
    const struct {
        int intPart, frac, mod, k;
        bool high;
    } refused[] = {
        {512, 37, 100, 1, true},                          // INT needs a tenth bit
        {-1, 37, 100, 1, true},                           // negative INT
        {300, 37, 1, 1, true},                            // MOD below 2
        {300, 37, 4096, 1, true},                         // MOD needs a thirteenth bit
        {300, 100, 100, 1, true},                         // FRAC not below MOD
        {300, -1, 100, 1, true},                          // negative FRAC
        {300, 37, 100, 5, true},                          // output divider 2^5
        {300, 37, 100, 11, false},                        // divider 2^5 in the low band
        {300, 37, 100, -1, true},                         // negative divider
        {300, 37, 100, -1, false}, {0, 0, 100, 1, true},  // an LO of 0 Hz
    };
    for (const auto& c : refused) {
        EXPECT_EQ(link.SetSynthesizer(c.intPart, c.frac, c.mod, c.k, c.high), kLinkRefused)
            << c.intPart << " " << c.frac << "/" << c.mod << " k " << c.k;
    }
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(link.commError);
}

TEST_F(DeviceLinkCommands, FailedWriteStopsTheSequenceAndReportsIt) {
    // A dead channel costs a write time-out per command: nothing more is
    // attempted after the first refusal (one 5 ms command pause each).
    usb.failWrites = true;
    long long before = clock.TotalSleptMs();
    EXPECT_EQ(link.SetSynthesizer(300, 37, 100, 1, true), kLinkWriteFailed);
    EXPECT_EQ(SleptSince(before), 5);
    EXPECT_TRUE(link.commError);
    before = clock.TotalSleptMs();
    EXPECT_EQ(link.InitialiseSampler(), kLinkWriteFailed);
    EXPECT_EQ(SleptSince(before), 5);
    EXPECT_EQ(link.SetGainMode(1), kLinkWriteFailed);
}

TEST_F(DeviceLinkCommands, RouteAttenuatorGainPreampAndSyncBytes) {
    EXPECT_EQ(link.SetBandSelect(true), kLinkOk);
    EXPECT_EQ(link.SetBandSelect(false), kLinkOk);
    EXPECT_EQ(link.SetPreamp(true), kLinkOk);
    EXPECT_EQ(link.SetPreamp(false), kLinkOk);
    EXPECT_EQ(link.SetSyncTrigger(3), kLinkOk);
    // The attenuator rounds to the nearest of its four steps.
    for (double db : {0.0, 7.4, 7.5, 15.0}) {
        EXPECT_EQ(link.SetAttenuator(db), kLinkOk) << db;
    }
    for (int mode : {0, 1, 2}) {
        EXPECT_EQ(link.SetGainMode(mode), kLinkOk);
    }
    EXPECT_EQ(Sent(), (Frames{{'D', 4},
                              {'D', 3},
                              {'M', 1},
                              {'M', 0},
                              {'O', 3},
                              {'A', 0},
                              {'A', 1},
                              {'A', 2},
                              {'A', 3},
                              {'I', 0x06, 0x80},
                              {'I', 0x0C, 0x00},
                              {'I', 0x06, 0x00},
                              {'I', 0x0C, 0x00},
                              {'I', 0x06, 0x00},
                              {'I', 0x0C, 0x80}}));
    usb.ClearWrites();
    const double inf = std::numeric_limits<double>::infinity();
    for (double db : {17.5, 100.0, -7.5, -300.0, inf, -inf, std::nan("")}) {
        EXPECT_EQ(link.SetAttenuator(db), kLinkRefused) << db;
    }
    EXPECT_EQ(link.SetSyncTrigger(4), kLinkRefused);
    EXPECT_EQ(link.SetSyncTrigger(-1), kLinkRefused);
    EXPECT_EQ(link.SetGainMode(3), kLinkRefused);
    EXPECT_EQ(link.SetGainMode(-1), kLinkRefused);
    EXPECT_TRUE(Sent().empty());
}

// Decimation, IF path and clock mode are sent only when they change (and
// always after a preset); the cache changes only after a successful write.
TEST_F(DeviceLinkCommands, CachedSettingsAreSentOnChangeOnly) {
    EXPECT_EQ(link.SetDecimation(4), kLinkOk);
    EXPECT_EQ(link.SetDecimation(4), kLinkOk);
    EXPECT_EQ(link.SetDecimation(1), kLinkOk);
    EXPECT_EQ(link.SetIfPath(1), kLinkOk);
    EXPECT_EQ(link.SetIfPath(1), kLinkOk);
    link.ResetCachedSettings();
    EXPECT_EQ(link.SetIfPath(1), kLinkOk);
    EXPECT_EQ(link.SetIfPath(0), kLinkOk);
    EXPECT_EQ(Sent(), (Frames{{'I', 0x0E, 19}, {'I', 0x0E, 16}, {'F', 1}, {'F', 1}, {'F', 0}}));
    ASSERT_EQ(link.SendClockMode(2), kLinkOk);
    usb.ClearWrites();

    for (int refused : {0, 17, 742}) {  // 742: what a 100 s zero span would ask
        EXPECT_EQ(link.SetDecimation(refused), kLinkRefused) << refused;
    }
    EXPECT_EQ(link.SetIfPath(2), kLinkRefused);
    EXPECT_EQ(link.SetIfPath(-1), kLinkRefused);
    EXPECT_EQ(link.SendClockMode(3), kLinkRefused);
    EXPECT_EQ(link.SendClockMode(-1), kLinkRefused);
    usb.failWrites = true;
    EXPECT_EQ(link.SetDecimation(8), kLinkWriteFailed);
    EXPECT_EQ(link.SetIfPath(1), kLinkWriteFailed);
    EXPECT_EQ(link.SendClockMode(0), kLinkWriteFailed);
    EXPECT_EQ(link.DecimationSent(), 1);
    EXPECT_EQ(link.IfPathSent(), 0);
    EXPECT_EQ(link.ClockModeSent(), 2);
    usb.failWrites = false;
    EXPECT_EQ(link.SetDecimation(16), kLinkOk);
    EXPECT_EQ(Sent(), (Frames{{'I', 0x0E, 31}}));
}

TEST_F(DeviceLinkCommands, ClockModeSettlesThenReinitialisesTheSampler) {
    const long long before = clock.TotalSleptMs();
    EXPECT_EQ(link.SendClockMode(1), kLinkOk);
    EXPECT_EQ(Sent(), (Frames{{'C', 9},
                              {'I', 0x00, 0x75},
                              {'I', 0x38, 0x03},
                              {'I', 0x00, 0x74},
                              {'I', 0x00, 0x70},
                              {'I', 0x38, 0x00}}));
    EXPECT_EQ(SleptSince(before), 5 + 250 + 5 * (5 + 150));
}

// An external reference is switched to only on two readings in a row; no
// answer, or a query that cannot be sent, keeps the previous state. On the
// external reference each command waits 10 ms instead of 5.
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
        bool failWrites;
        bool result;
        std::size_t queries;
    } rows[] = {
        {"readings differ", false, {1, 0}, false, false, 2},
        {"known external", true, {1}, false, true, 1},
        {"known, now internal", true, {0}, false, false, 1},
        {"internal", false, {0}, false, false, 1},
        {"no answer", false, {}, false, false, 1},
        {"no answer, known external", true, {}, false, true, 1},
        {"confirmation unanswered", false, {1}, false, false, 2},
        {"query not sent", false, {1, 1}, true, false, 0},
        {"query not sent, known external", true, {1, 1}, true, true, 0},
        {"confirmed", false, {1, 1}, false, true, 2},
    };
    for (const auto& row : rows) {
        usb.ClearWrites();
        answers = row.answers;
        usb.failWrites = row.failWrites;
        const long long before = clock.TotalSleptMs();
        EXPECT_EQ(link.CheckReference(row.previous), row.result) << row.name;
        Frames expected(row.queries, Bytes{'C', 2});
        if (row.queries == 2 && row.result) {
            expected.push_back({'C', 1});
            EXPECT_EQ(SleptSince(before), 3 * 5 + 250);
        }
        EXPECT_EQ(Sent(), expected) << row.name;
        EXPECT_EQ(link.slowDevice, expected.size() == 3u ? 1 : 0) << row.name;
    }
    const long long before = clock.TotalSleptMs();
    EXPECT_EQ(link.SetPreamp(true), kLinkOk);
    EXPECT_EQ(SleptSince(before), 10);
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
    EXPECT_EQ(link.StartDetectorSweep(1000, 1000 + 3 * 2048 + 2, values.data()), kLinkOk);
    EXPECT_EQ(values[kMaxDetectorValues - 1], 0x0101);
    EXPECT_EQ(Sent(), (Frames{{'D', 4}, {'B', 0xE8, 0x03, 0xEA, 0x1B}}));

    answer = {0x12, 0x34, 0x56};
    values.assign(3, 7);
    EXPECT_EQ(link.StartDetectorSweep(156, 165, values.data()), kLinkWrongAmount);
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0x1234, 7, 7}));
    EXPECT_EQ(usb.Queued(kCommand), 0u);

    usb.ClearWrites();
    values.resize(kMaxDetectorValues + 1);
    EXPECT_EQ(link.StartDetectorSweep(0, 3 * 2049, values.data()), kLinkRefused);
    EXPECT_EQ(link.StartDetectorSweep(165, 156, values.data()), kLinkRefused);
    EXPECT_EQ(link.StartDetectorSweep(156, 156, values.data()), kLinkRefused);
    EXPECT_EQ(link.StartDetectorSweep(-3, 156, values.data()), kLinkRefused);
    EXPECT_EQ(link.StartDetectorSweep(65530, 65536, values.data()), kLinkRefused);
    EXPECT_TRUE(Sent().empty());
}

// The step list loads its modulus, then steps either way; a capture counts
// whole blocks in one byte; the stream commands have no argument.
TEST_F(DeviceLinkCommands, StepListCaptureAndStreamBytes) {
    EXPECT_EQ(link.RunStepList(10, 300), kLinkOk);
    EXPECT_EQ(link.RunStepListDown(10, 300), kLinkOk);
    EXPECT_EQ(link.RunStepList(0, 65535), kLinkOk);
    EXPECT_EQ(link.RequestCapture(4096 / kPollBlockPairs), kLinkOk);
    EXPECT_EQ(link.RequestCapture(255), kLinkOk);
    EXPECT_EQ(link.StartStream(), kLinkOk);
    EXPECT_EQ(link.StopStream(), kLinkOk);
    EXPECT_EQ(Sent(), (Frames{{'L', 0x08, 0x00, 0x83, 0x21},
                              {'N', 10, 0, 0x2C, 0x01},
                              {'L', 0x08, 0x00, 0x83, 0x21},
                              {'N', 0x2C, 0x01, 10, 0},
                              {'L', 0x08, 0x00, 0x83, 0x21},
                              {'N', 0, 0, 0xFF, 0xFF},
                              {'S', 8},
                              {'S', 255},
                              {'T'},
                              {'3'}}));
    usb.ClearWrites();
    EXPECT_EQ(link.RunStepList(0, 65536), kLinkRefused);
    EXPECT_EQ(link.RunStepListDown(-1, 10), kLinkRefused);
    EXPECT_EQ(link.RequestCapture(256), kLinkRefused);
    EXPECT_EQ(link.RequestCapture(0), kLinkRefused);
    EXPECT_TRUE(Sent().empty());
}

}  // namespace
}  // namespace tavlin
