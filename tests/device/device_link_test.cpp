#include "device/device_link.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/fake_clock.h"
#include "support/recording_prompter.h"
#include "support/scripted_usb_driver.h"

namespace tavlin {
namespace {

using test::FakeClock;
using test::RecordingPrompter;
using test::ScriptedUsbDriver;
using test::UnSlip;
using Bytes = std::vector<std::uint8_t>;

constexpr UsbHandle kData = 1;
constexpr UsbHandle kCommand = 2;

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
    // A sample answer: header, then pairs (i, -i) for i = 0, 1, ...
    static Bytes SampleAnswer(int pairs, bool header = true) {
        Bytes bytes;
        if (header) {
            bytes = {0xA5, 0x5A, 0xF0, 0x0F};
        }
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
    FakeClock clock;
    RecordingPrompter prompter;
    DeviceLink link{usb, clock, prompter};
};

// --- Discovery and its messages ---------------------------------------------------

TEST_F(DeviceLinkTest, NoInstrumentPromptsWaitsThenAsksTheProgramToClose) {
    bool closeAsked = false;
    link.SetInstrumentLostHandler([&] { closeAsked = true; });
    const long long before = clock.TotalSleptMs();
    EXPECT_FALSE(link.Open());
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "ERROR 1-TAVLIN NOT FOUND|PLEASE CONNECT TAVLIN NOW\r\n then click OK",
                           "ERROR 1|TAVLIN NOT FOUND\r\nClosing application"}));
    EXPECT_EQ(prompter.Boxes()[0].buttons, PromptButtons::Ok);
    EXPECT_GE(clock.TotalSleptMs() - before, 1000);
    EXPECT_TRUE(closeAsked);
    EXPECT_TRUE(link.InstrumentLost());
}

TEST_F(DeviceLinkTest, InstrumentPluggedInDuringThePromptOpensNormally) {
    usb.AddGenuinePair();
    // First look sees nothing, the second sees the pair.
    auto devices = usb.devices;
    usb.devices.clear();
    prompter.OnShow([&] { usb.devices = devices; });
    EXPECT_TRUE(link.Open());
    EXPECT_EQ(Texts(),
              (std::vector<std::string>{
                  "ERROR 1-TAVLIN NOT FOUND|PLEASE CONNECT TAVLIN NOW\r\n then click OK"}));
    EXPECT_FALSE(link.InstrumentLost());
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
    const auto calls = usb.Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "open 3"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "open 2"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "rate 3 46667"), calls.end());
}

TEST_F(DeviceLinkTest, DataChannelGetsTenAttemptsThenPort1Message) {
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
    EXPECT_TRUE(usb.Writes(kCommand).empty()) << "no initialisation without an open link";
}

TEST_F(DeviceLinkTest, CommandChannelGetsOneAttemptThenPort2Message) {
    usb.AddGenuinePair();
    usb.devices[1].failOpens = 1;
    EXPECT_FALSE(link.Open());
    EXPECT_EQ(Texts(), std::vector<std::string>{"ERROR 2|PORT2 Did not open"});
    EXPECT_FALSE(link.IsOpen());
}

TEST_F(DeviceLinkTest, OpeningInitialisesSynthesizerAndSampler) {
    usb.AddGenuinePair();
    ASSERT_TRUE(link.Open());
    std::vector<Bytes> commands;
    for (const auto& frame : usb.Writes(kCommand)) {
        commands.push_back(UnSlip(frame));
    }
    const std::vector<Bytes> expected = {{'L', 0x00, 0x00, 0x4C, 0x42},
                                         {'I', 0x00, 0x75},
                                         {'I', 0x38, 0x03},
                                         {'I', 0x00, 0x74},
                                         {'I', 0x00, 0x70},
                                         {'I', 0x38, 0x00}};
    EXPECT_EQ(commands, expected);
    EXPECT_TRUE(link.Open()) << "a second open does nothing";
    EXPECT_EQ(usb.Writes(kCommand).size(), expected.size());
}

// --- Framing ---------------------------------------------------------------------

TEST_F(DeviceLinkTest, SlipEscapesBothSpecialBytesAndEndsWithOneFrameEnd) {
    OpenGenuine();
    link.commandBytes = {'L', 0xC0, 0xDB, 0x01, 0xC0};
    EXPECT_EQ(link.SendCommand(5), kLinkOk);
    const Bytes expected = {'L', 0xDB, 0xDC, 0xDB, 0xDD, 0x01, 0xDB, 0xDC, 0xC0};
    ASSERT_EQ(usb.Writes(kCommand).size(), 1u);
    EXPECT_EQ(usb.Writes(kCommand)[0], expected);
}

TEST_F(DeviceLinkTest, FailedWriteRaisesTheCommunicationErrorFlag) {
    OpenGenuine();
    usb.failWrites = true;
    link.commandBytes = {'A', 2};
    EXPECT_EQ(link.SendCommand(2), kLinkWriteFailed);
    EXPECT_TRUE(link.commError);
}

TEST_F(DeviceLinkTest, EachCommandWaitsFiveMillisecondsTenOnASlowDevice) {
    OpenGenuine();
    link.commandBytes = {'M', 1};
    long long before = clock.TotalSleptMs();
    link.SendCommand(2);
    EXPECT_EQ(clock.TotalSleptMs() - before, 5);
    link.slowDevice = 1;
    before = clock.TotalSleptMs();
    link.SendCommand(2);
    EXPECT_EQ(clock.TotalSleptMs() - before, 10);
}

TEST_F(DeviceLinkTest, FirmwareVersionIsReadWithShortTimeoutsThenRestored) {
    OpenGenuine();
    usb.QueueReceive(kCommand, {'T', 'v', ' ', '2', '.', '0', '3'});
    EXPECT_EQ(link.GetFirmwareVersion(), "Tv 2.03");
    const auto calls = usb.Calls();
    const auto shortAt = std::find(calls.begin(), calls.end(), "timeouts 2 500 500");
    ASSERT_NE(shortAt, calls.end());
    EXPECT_NE(std::find(shortAt, calls.end(), "timeouts 2 5000 5000"), calls.end());
    EXPECT_EQ(UnSlip(usb.Writes(kCommand).at(0)), Bytes{'V'});
}

// --- Sample reads ------------------------------------------------------------------

TEST_F(DeviceLinkTest, RequestResponseReadDecodesSignedPairs) {
    OpenGenuine();
    usb.QueueReceive(kData, SampleAnswer(4096));
    std::vector<std::int32_t> first(4096), second(4096);
    EXPECT_EQ(link.ReadSweepSamples(first.data(), second.data(), 4096), kLinkOk);
    EXPECT_EQ(first[4095], 4095);
    EXPECT_EQ(second[4095], -4095);
    EXPECT_EQ(second[1], -1);
    EXPECT_EQ(UnSlip(usb.Writes(kCommand).at(0)), (Bytes{'S', 8}));
}

// A short answer (one pair short, or short in one of the long read's stream
// blocks) is result 5, a wrong header result 6; either empties the queue so
// nothing stale is drawn as new. Long reads take whole stream blocks.
TEST_F(DeviceLinkTest, AnswersAreCheckedForLengthAndHeader) {
    OpenGenuine();
    Bytes misheaded = SampleAnswer(512);
    misheaded[0] = 0xA4;
    const struct {
        Bytes answer;
        int pairs;
        int result;
    } cases[] = {{SampleAnswer(511), 512, kLinkWrongAmount},
                 {misheaded, 512, kLinkBadHeader},
                 {SampleAnswer(8192 - 1), 8192, kLinkWrongAmount},
                 {SampleAnswer(8192), 8192, kLinkOk}};
    for (const auto& c : cases) {
        usb.QueueReceive(kData, c.answer);
        std::vector<std::int32_t> first(8192), second(8192);
        EXPECT_EQ(link.ReadSweepSamples(first.data(), second.data(), c.pairs), c.result);
        EXPECT_EQ(usb.Queued(kData), 0u);
        if (c.result == kLinkOk) {
            EXPECT_EQ(first[8191], 8191);
        }
    }
}

TEST_F(DeviceLinkTest, CapturesThatNoRequestCanCarryAreRefused) {
    OpenGenuine();
    std::vector<std::int32_t> first(131072), second(131072);
    EXPECT_EQ(link.ReadSweepSamples(first.data(), second.data(), 256 * 512), kLinkRefused);
    EXPECT_EQ(link.ReadSweepSamples(first.data(), second.data(), 0), kLinkRefused);
    EXPECT_TRUE(usb.Writes(kCommand).empty());
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
    std::vector<std::int32_t> first(512), second(512);
    EXPECT_EQ(link.ReadSweepSamples(first.data(), second.data(), 512), kLinkWrongAmount);
    std::vector<std::int32_t> longFirst(8192), longSecond(8192);
    EXPECT_EQ(link.ReadSweepSamples(longFirst.data(), longSecond.data(), 8192), kLinkWrongAmount);
    stopper.join();
}

TEST_F(DeviceLinkTest, PolledBlockWaitsAboutATenthOfASecondAndLeavesPartialData) {
    OpenGenuine();
    usb.QueueReceive(kData, Bytes(2047, 0x11));
    std::vector<std::int32_t> first(512), second(512);
    const long long before = clock.TotalSleptMs();
    EXPECT_EQ(link.ReadSampleBlock512(first.data(), second.data()), 0);
    EXPECT_EQ(clock.TotalSleptMs() - before, 100);
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

TEST_F(DeviceLinkTest, FlushReportsAndDropsWhatWasWaiting) {
    OpenGenuine();
    usb.QueueReceive(kData, Bytes(300, 1));
    EXPECT_EQ(link.FlushDataChannel(), 300u);
    EXPECT_EQ(usb.Queued(kData), 0u);
}

// --- Reset ----------------------------------------------------------------------------

TEST_F(DeviceLinkTest, ResetCyclesAndClosesThenReopensAfterTheWait) {
    OpenGenuine();
    const long long before = clock.TotalSleptMs();
    EXPECT_TRUE(link.ResetLink(true));
    const auto calls = usb.Calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0], "cycle 1");
    EXPECT_EQ(calls[1], "close 1");
    EXPECT_EQ(calls[2], "close 2");
    EXPECT_GE(clock.TotalSleptMs() - before, 2500);
    EXPECT_TRUE(link.IsOpen());
}

TEST_F(DeviceLinkTest, ResetWithoutReopenLeavesTheLinkClosed) {
    OpenGenuine();
    link.ResetLink(false);
    EXPECT_FALSE(link.IsOpen());
    link.commandBytes = {'M', 0};
    EXPECT_EQ(link.SendCommand(2), kLinkWriteFailed);
}

}  // namespace
}  // namespace tavlin
