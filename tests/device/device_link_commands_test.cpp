#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

#include "device/device_link.h"
#include "support/fake_clock.h"
#include "support/recording_prompter.h"
#include "support/scripted_usb_driver.h"

namespace tavlin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Frames = std::vector<Bytes>;

// Channel B of a genuine pair (handles are index + 1).
constexpr UsbHandle kCommandHandle = 2;

class DeviceLinkCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        driver.AddGenuinePair();
        driver.onWrite = [this](UsbHandle handle, const Bytes& frame) {
            AnswerReferenceQuery(handle, frame);
        };
        ASSERT_TRUE(link.Open());
        driver.ClearWrites();
    }

    // The instrument answers each "C" 2 with the next scripted byte; an empty
    // script leaves the query unanswered.
    void AnswerReferenceQuery(UsbHandle handle, const Bytes& frame) {
        if (handle != kCommandHandle || test::UnSlip(frame) != Bytes{'C', 2} ||
            referenceAnswers.empty()) {
            return;
        }
        driver.QueueReceive(handle, {referenceAnswers.front()});
        referenceAnswers.pop_front();
    }

    Frames Sent() {
        Frames frames;
        for (const Bytes& frame : driver.Writes(kCommandHandle)) {
            frames.push_back(test::UnSlip(frame));
        }
        return frames;
    }

    long long SleptSince(long long before) const { return clock.TotalSleptMs() - before; }

    test::ScriptedUsbDriver driver;
    test::FakeClock clock;
    test::RecordingPrompter prompter;
    DeviceLink link{driver, clock, prompter};
    std::deque<std::uint8_t> referenceAnswers;
};

// --- Synthesizer -------------------------------------------------------------

TEST_F(DeviceLinkCommands, FracCarriesIntoThirdByteAtThirtyTwo) {
    ASSERT_EQ(link.SetSynthesizer(300, 31, 100, 1, true), kLinkOk);
    ASSERT_EQ(link.SetSynthesizer(300, 32, 100, 1, true), kLinkOk);
    ASSERT_EQ(link.SetSynthesizer(301, 32, 100, 1, true), kLinkOk);  // odd INT: top bit
    const Frames sent = Sent();
    ASSERT_EQ(sent.size(), 12u);
    EXPECT_EQ(sent[3], (Bytes{'L', 0x00, 0x96, 0x00, 0xF8}));
    EXPECT_EQ(sent[7], (Bytes{'L', 0x00, 0x96, 0x01, 0x00}));
    EXPECT_EQ(sent[11], (Bytes{'L', 0x00, 0x96, 0x81, 0x00}));
}

TEST_F(DeviceLinkCommands, LargestAcceptedSynthesizerValuesFillTheirFields) {
    EXPECT_EQ(link.SetSynthesizer(511, 4094, 4095, 4, true), kLinkOk);
    EXPECT_EQ(Sent(), (Frames{{'L', 0x00, 0xC6, 0x41, 0xBC},
                              {'D', 0x04},
                              {'L', 0x08, 0x00, 0xFF, 0xF9},
                              {'L', 0x00, 0xFF, 0xFF, 0xF0}}));
}

TEST_F(DeviceLinkCommands, LowBandDividerSplitForEachDoublingCount) {
    struct Split {
        int k, a, b;
    };
    const Split splits[] = {{0, 1, 0}, {1, 1, 0}, {2, 1, 0}, {3, 1, 0}, {4, 1, 0}, {5, 1, 1},
                            {6, 1, 2}, {7, 1, 3}, {8, 2, 3}, {9, 3, 3}, {10, 4, 3}};
    for (const Split& s : splits) {
        SCOPED_TRACE(s.k);
        driver.ClearWrites();
        ASSERT_EQ(link.SetSynthesizer(300, 37, 100, s.k, false), kLinkOk);
        const Frames sent = Sent();
        ASSERT_EQ(sent.size(), 4u);
        EXPECT_EQ(sent[0],
                  (Bytes{'L', 0x00, static_cast<std::uint8_t>(0x86 + 16 * s.a), 0x41, 0xBC}));
        EXPECT_EQ(sent[1], (Bytes{'D', static_cast<std::uint8_t>(s.b)}));
    }
    // Eleven doublings would need a synthesizer divider of 2^5, which its
    // three-bit field cannot hold.
    driver.ClearWrites();
    EXPECT_EQ(link.SetSynthesizer(300, 37, 100, 11, false), kLinkRefused);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(DeviceLinkCommands, SynthesizerRefusesValuesThatWouldWrapTheirFields) {
    struct Case {
        int intPart, frac, mod, k;
        bool high;
    };
    const Case refused[] = {
        {512, 37, 100, 1, true},                          // INT needs a tenth bit
        {-1, 37, 100, 1, true},                           // negative INT
        {300, 37, 1, 1, true},                            // MOD below 2
        {300, 37, 4096, 1, true},                         // MOD needs a thirteenth bit
        {300, 100, 100, 1, true},                         // FRAC not below MOD
        {300, -1, 100, 1, true},                          // negative FRAC
        {300, 37, 100, 5, true},                          // output divider 2^5
        {300, 37, 100, -1, true},                         // negative divider
        {300, 37, 100, -1, false}, {0, 0, 100, 1, true},  // an LO of 0 Hz
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(testing::Message() << c.intPart << " " << c.frac << "/" << c.mod << " k "
                                        << c.k << (c.high ? " high" : " low"));
        EXPECT_EQ(link.SetSynthesizer(c.intPart, c.frac, c.mod, c.k, c.high), kLinkRefused);
    }
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(link.commError);
}

TEST_F(DeviceLinkCommands, FailedWriteStopsTheSequenceAndReportsIt) {
    // A dead channel costs a write time-out per command: nothing more is
    // attempted after the first refusal (one 5 ms command pause each).
    driver.failWrites = true;
    long long before = clock.TotalSleptMs();
    EXPECT_EQ(link.SetSynthesizer(300, 37, 100, 1, true), kLinkWriteFailed);
    EXPECT_EQ(SleptSince(before), 5);
    EXPECT_TRUE(link.commError);
    before = clock.TotalSleptMs();
    EXPECT_EQ(link.InitialiseSampler(), kLinkWriteFailed);
    EXPECT_EQ(SleptSince(before), 5);
    EXPECT_EQ(link.SetGainMode(1), kLinkWriteFailed);
}

// --- Routing, attenuator, gain, preamplifier, sync ---------------------------

TEST_F(DeviceLinkCommands, BandSelectPreampAndSyncTriggerBytes) {
    EXPECT_EQ(link.SetBandSelect(true), kLinkOk);
    EXPECT_EQ(link.SetBandSelect(false), kLinkOk);
    EXPECT_EQ(link.SetPreamp(true), kLinkOk);
    EXPECT_EQ(link.SetPreamp(false), kLinkOk);
    EXPECT_EQ(link.SetSyncTrigger(3), kLinkOk);
    EXPECT_EQ(link.SetSyncTrigger(4), kLinkRefused);
    EXPECT_EQ(link.SetSyncTrigger(-1), kLinkRefused);
    EXPECT_EQ(Sent(), (Frames{{'D', 4}, {'D', 3}, {'M', 1}, {'M', 0}, {'O', 3}}));
}

TEST_F(DeviceLinkCommands, AttenuatorRoundsToTheNearestStepAndRefusesBeyondItsFour) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double db : {17.5, 100.0, -7.5, -300.0, inf, -inf, std::nan("")}) {
        EXPECT_EQ(link.SetAttenuator(db), kLinkRefused) << db;
    }
    for (double db : {0.0, 7.4, 7.5, 15.0}) {
        EXPECT_EQ(link.SetAttenuator(db), kLinkOk) << db;
    }
    EXPECT_EQ(Sent(), (Frames{{'A', 0}, {'A', 1}, {'A', 2}, {'A', 3}}));
}

TEST_F(DeviceLinkCommands, GainModeSetsBothGainRegisters) {
    for (int mode : {0, 1, 2}) {
        EXPECT_EQ(link.SetGainMode(mode), kLinkOk);
    }
    EXPECT_EQ(link.SetGainMode(3), kLinkRefused);
    EXPECT_EQ(link.SetGainMode(-1), kLinkRefused);
    EXPECT_EQ(Sent(), (Frames{{'I', 0x06, 0x80},
                              {'I', 0x0C, 0x00},
                              {'I', 0x06, 0x00},
                              {'I', 0x0C, 0x00},
                              {'I', 0x06, 0x00},
                              {'I', 0x0C, 0x80}}));
}

// --- Cached settings ---------------------------------------------------------

TEST_F(DeviceLinkCommands, DecimationIsSentOnlyWhenItChanges) {
    EXPECT_EQ(link.SetDecimation(4), kLinkOk);
    EXPECT_EQ(link.SetDecimation(4), kLinkOk);
    EXPECT_EQ(link.SetDecimation(1), kLinkOk);
    EXPECT_EQ(link.SetDecimation(16), kLinkOk);
    EXPECT_EQ(Sent(), (Frames{{'I', 0x0E, 19}, {'I', 0x0E, 16}, {'I', 0x0E, 31}}));
    EXPECT_EQ(link.DecimationSent(), 16);
}

TEST_F(DeviceLinkCommands, DecimationCacheChangesOnlyAfterASuccessfulWrite) {
    ASSERT_EQ(link.SetDecimation(4), kLinkOk);
    driver.ClearWrites();
    EXPECT_EQ(link.SetDecimation(0), kLinkRefused);
    EXPECT_EQ(link.SetDecimation(17), kLinkRefused);
    EXPECT_EQ(link.SetDecimation(742), kLinkRefused);  // what a 100 s zero span would ask
    driver.failWrites = true;
    EXPECT_EQ(link.SetDecimation(8), kLinkWriteFailed);
    EXPECT_EQ(link.DecimationSent(), 4);
    driver.failWrites = false;
    EXPECT_EQ(link.SetDecimation(8), kLinkOk);
    EXPECT_EQ(Sent(), (Frames{{'I', 0x0E, 23}}));
}

TEST_F(DeviceLinkCommands, IfPathIsSentOnChangeAndAlwaysAfterPreset) {
    EXPECT_EQ(link.SetIfPath(1), kLinkOk);
    EXPECT_EQ(link.SetIfPath(1), kLinkOk);
    link.ResetCachedSettings();
    EXPECT_EQ(link.SetIfPath(1), kLinkOk);
    EXPECT_EQ(link.SetIfPath(0), kLinkOk);
    EXPECT_EQ(link.SetIfPath(2), kLinkRefused);
    EXPECT_EQ(link.SetIfPath(-1), kLinkRefused);
    driver.failWrites = true;
    EXPECT_EQ(link.SetIfPath(1), kLinkWriteFailed);
    EXPECT_EQ(link.IfPathSent(), 0);
    EXPECT_EQ(Sent(), (Frames{{'F', 1}, {'F', 1}, {'F', 0}}));
}

// --- Sample clock ------------------------------------------------------------

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
    EXPECT_EQ(link.ClockModeSent(), 1);
}

TEST_F(DeviceLinkCommands, ClockModeOutOfRangeOrFailedKeepsTheCachedMode) {
    ASSERT_EQ(link.SendClockMode(2), kLinkOk);
    driver.ClearWrites();
    EXPECT_EQ(link.SendClockMode(3), kLinkRefused);
    EXPECT_EQ(link.SendClockMode(-1), kLinkRefused);
    EXPECT_TRUE(Sent().empty());
    driver.failWrites = true;
    EXPECT_EQ(link.SendClockMode(0), kLinkWriteFailed);
    EXPECT_EQ(link.ClockModeSent(), 2);
}

// --- Reference check ---------------------------------------------------------

TEST_F(DeviceLinkCommands, ReferenceCheckNeedsTwoReadingsBeforeSwitching) {
    referenceAnswers = {1, 0};
    EXPECT_FALSE(link.CheckReference(false));
    EXPECT_EQ(Sent(), (Frames{{'C', 2}, {'C', 2}}));
    EXPECT_EQ(link.slowDevice, 0);
}

TEST_F(DeviceLinkCommands, ReferenceCheckSwitchesToAConfirmedExternalReference) {
    referenceAnswers = {1, 1};
    const long long before = clock.TotalSleptMs();
    EXPECT_TRUE(link.CheckReference(false));
    EXPECT_EQ(Sent(), (Frames{{'C', 2}, {'C', 2}, {'C', 1}}));
    EXPECT_EQ(SleptSince(before), 3 * 5 + 250);
    EXPECT_EQ(link.slowDevice, 1);
}

TEST_F(DeviceLinkCommands, ReferenceCheckOnAKnownStateAsksOnce) {
    referenceAnswers = {1};
    EXPECT_TRUE(link.CheckReference(true));
    referenceAnswers = {0};
    EXPECT_FALSE(link.CheckReference(true));
    referenceAnswers = {0};
    EXPECT_FALSE(link.CheckReference(false));
    EXPECT_EQ(Sent(), (Frames{{'C', 2}, {'C', 2}, {'C', 2}}));
}

TEST_F(DeviceLinkCommands, ReferenceCheckWithoutAnAnswerOrAQueryKeepsThePreviousState) {
    EXPECT_FALSE(link.CheckReference(false));
    EXPECT_TRUE(link.CheckReference(true));
    // The confirming reading goes unanswered: no switch on a single reading.
    referenceAnswers = {1};
    EXPECT_FALSE(link.CheckReference(false));
    EXPECT_EQ(Sent(), (Frames{{'C', 2}, {'C', 2}, {'C', 2}, {'C', 2}}));
    EXPECT_EQ(link.slowDevice, 0);
    // Nor when the query cannot be sent.
    driver.failWrites = true;
    referenceAnswers = {1, 1};
    EXPECT_FALSE(link.CheckReference(false));
    EXPECT_TRUE(link.CheckReference(true));
    EXPECT_EQ(link.slowDevice, 0);
}

// --- Detector sweep, step list, captures and streams -------------------------

TEST_F(DeviceLinkCommands, DetectorSweepWithAShortAnswerReportsWrongAmount) {
    driver.onWrite = [this](UsbHandle handle, const Bytes& frame) {
        if (test::UnSlip(frame)[0] == 'B') {
            driver.QueueReceive(handle, {0x12, 0x34, 0x56});
        }
    };
    std::uint16_t values[3] = {7, 7, 7};
    EXPECT_EQ(link.StartDetectorSweep(156, 165, values), kLinkWrongAmount);
    EXPECT_EQ(values[0], 0x1234);
    EXPECT_EQ(values[1], 7);
    EXPECT_EQ(driver.Queued(kCommandHandle), 0u);
}

TEST_F(DeviceLinkCommands, DetectorSweepAcceptsAtMost2048Values) {
    std::vector<std::uint16_t> values(kMaxDetectorValues + 1);
    driver.onWrite = [this](UsbHandle handle, const Bytes& frame) {
        if (test::UnSlip(frame)[0] == 'B') {
            driver.QueueReceive(handle, Bytes(2 * kMaxDetectorValues, 0x01));
        }
    };
    EXPECT_EQ(link.StartDetectorSweep(1000, 1000 + 3 * 2048 + 2, values.data()), kLinkOk);
    EXPECT_EQ(values[kMaxDetectorValues - 1], 0x0101);
    EXPECT_EQ(Sent()[1], (Bytes{'B', 0xE8, 0x03, 0xEA, 0x1B}));
    driver.ClearWrites();
    EXPECT_EQ(link.StartDetectorSweep(0, 3 * 2049, values.data()), kLinkRefused);
    EXPECT_EQ(link.StartDetectorSweep(165, 156, values.data()), kLinkRefused);
    EXPECT_EQ(link.StartDetectorSweep(156, 156, values.data()), kLinkRefused);
    EXPECT_EQ(link.StartDetectorSweep(-3, 156, values.data()), kLinkRefused);
    EXPECT_EQ(link.StartDetectorSweep(65530, 65536, values.data()), kLinkRefused);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(DeviceLinkCommands, StepListLoadsModulusThenStepsEitherWay) {
    EXPECT_EQ(link.RunStepList(10, 300), kLinkOk);
    EXPECT_EQ(link.RunStepListDown(10, 300), kLinkOk);
    EXPECT_EQ(link.RunStepList(0, 65535), kLinkOk);
    EXPECT_EQ(Sent(), (Frames{{'L', 0x08, 0x00, 0x83, 0x21},
                              {'N', 10, 0, 0x2C, 0x01},
                              {'L', 0x08, 0x00, 0x83, 0x21},
                              {'N', 0x2C, 0x01, 10, 0},
                              {'L', 0x08, 0x00, 0x83, 0x21},
                              {'N', 0, 0, 0xFF, 0xFF}}));
    driver.ClearWrites();
    EXPECT_EQ(link.RunStepList(0, 65536), kLinkRefused);
    EXPECT_EQ(link.RunStepListDown(-1, 10), kLinkRefused);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(DeviceLinkCommands, CaptureCountsWholeBlocksInOneByteAndStreamsHaveNoArgument) {
    EXPECT_EQ(link.RequestCapture(4096 / kPollBlockPairs), kLinkOk);
    EXPECT_EQ(link.RequestCapture(255), kLinkOk);
    EXPECT_EQ(link.RequestCapture(256), kLinkRefused);
    EXPECT_EQ(link.RequestCapture(0), kLinkRefused);
    EXPECT_EQ(link.StartStream(), kLinkOk);
    EXPECT_EQ(link.StopStream(), kLinkOk);
    EXPECT_EQ(Sent(), (Frames{{'S', 8}, {'S', 255}, {'T'}, {'3'}}));
}

}  // namespace
}  // namespace tavlin
