#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "document/document_fixture.h"

namespace tavlin {
namespace {

using test::DocumentFixture;

// Runs the sweep with a pass that counts itself and checks that no two passes
// ever overlap.
class SweepRunControlTest : public DocumentFixture {
  protected:
    AnalyzerDocument& BuildCounting() {
        AnalyzerDocument& d = BuildWithInstrument();
        d.SetSweepPass([this] {
            if (inPass.fetch_add(1) != 0) {
                overlapped = true;
            }
            const int number = ++passes;
            while (number > allowedPasses.load()) {
                std::this_thread::yield();  // held at the start of this pass
            }
            clock.SleepMs(20);
            inPass.fetch_sub(1);
        });
        return d;
    }
    void WaitForPasses(int count) {
        while (passes.load() < count) {
            std::this_thread::yield();
        }
    }
    void WaitUntilIdle(AnalyzerDocument& d) {
        while (d.SweepRunning()) {
            std::this_thread::yield();
        }
    }

    std::atomic<int> passes{0};
    std::atomic<int> allowedPasses{1 << 30};
    std::atomic<int> inPass{0};
    std::atomic<bool> overlapped{false};
};

TEST_F(SweepRunControlTest, SingleRunsExactlyOnePassThenIdles) {
    AnalyzerDocument& d = BuildCounting();
    d.OnSingle();
    WaitUntilIdle(d);
    d.CloseDocument();
    EXPECT_EQ(passes.load(), 1);
    EXPECT_EQ(d.stopRequest.load(), 0);
}

TEST_F(SweepRunControlTest, SingleDuringContinuousStopsAfterThePassInProgress) {
    AnalyzerDocument& d = BuildCounting();
    allowedPasses = 3;
    d.OnContinuous();
    WaitForPasses(4);  // the fourth pass is in progress
    d.OnSingle();
    allowedPasses = 1 << 30;
    WaitUntilIdle(d);
    EXPECT_EQ(passes.load(), 4);
    EXPECT_EQ(d.stopRequest.load(), 0);
}

TEST_F(SweepRunControlTest, ManyStartersStillMakeOneSweepThread) {
    AnalyzerDocument& d = BuildCounting();
    std::vector<std::thread> starters;
    for (int t = 0; t < 4; ++t) {
        starters.emplace_back([&d] {
            for (int i = 0; i < 50; ++i) {
                d.OnContinuous();
            }
        });
    }
    for (auto& s : starters) {
        s.join();
    }
    WaitForPasses(5);
    d.PauseSweep();
    d.ResumeSweep();
    WaitForPasses(8);
    d.CloseDocument();
    EXPECT_FALSE(overlapped.load());
    EXPECT_FALSE(d.SweepRunning());
}

TEST_F(SweepRunControlTest, PauseStopsAContinuousSweepAndResumeRestartsIt) {
    AnalyzerDocument& d = BuildCounting();
    d.PauseSweep();  // with nothing running, nothing starts on resume
    d.ResumeSweep();
    EXPECT_FALSE(d.SweepRunning());
    EXPECT_EQ(passes.load(), 0);
    EXPECT_TRUE(d.state.settingsChanged);
    d.OnContinuous();
    WaitForPasses(1);
    d.state.videoAvgIndex = 7;
    d.PauseSweep();
    EXPECT_FALSE(d.SweepRunning());
    const int whilePaused = passes.load();
    d.ResumeSweep();
    EXPECT_TRUE(d.SweepRunning());
    EXPECT_EQ(d.state.videoAvgIndex, 0);
    WaitForPasses(whilePaused + 2);
    d.CloseDocument();
    EXPECT_FALSE(overlapped.load());
}

TEST_F(SweepRunControlTest, NestedPausesOnOneThreadRestartOnlyAtTheOuterResume) {
    AnalyzerDocument& d = BuildCounting();
    d.OnContinuous();
    WaitForPasses(1);
    d.PauseSweep();
    d.PauseSweep();
    d.ResumeSweep();
    EXPECT_FALSE(d.SweepRunning());
    d.ResumeSweep();
    EXPECT_TRUE(d.SweepRunning());
    d.CloseDocument();
}

// Two threads (the panel and the automation client) pause at once: the second
// waits for the first pair to finish, so the sweep the first one stopped is
// still known to have been running and is restarted at the end.
TEST_F(SweepRunControlTest, PausePairsFromTwoThreadsDoNotLoseTheRunningSweep) {
    AnalyzerDocument& d = BuildCounting();
    for (int round = 0; round < 20; ++round) {
        d.OnContinuous();
        WaitForPasses(passes.load() + 1);
        std::thread other([&d] {
            d.PauseSweep();
            d.ResumeSweep();
        });
        d.PauseSweep();
        d.ResumeSweep();
        other.join();
        EXPECT_TRUE(d.SweepRunning()) << "round " << round;
    }
    d.CloseDocument();
    EXPECT_FALSE(overlapped.load());
}

// While one thread waits in the pause handshake, the sweep thread may be
// waiting for that thread to show a message box: the wait hook keeps it served.
TEST_F(SweepRunControlTest, PauseWaitKeepsServingTheWaitHook) {
    AnalyzerDocument& d = BuildWithInstrument();
    std::atomic<bool> boxShown{false};
    std::atomic<int> hookCalls{0};
    d.SetSweepPass([&] {
        while (!boxShown.load()) {  // the sweep thread waits for "the GUI"
            std::this_thread::yield();
        }
    });
    d.SetWaitHook([&] {
        ++hookCalls;
        boxShown = true;
    });
    d.OnContinuous();
    d.PauseSweep();
    EXPECT_FALSE(d.SweepRunning());
    EXPECT_GT(hookCalls.load(), 0);
    d.ResumeSweep();
    d.CloseDocument();
}

TEST_F(SweepRunControlTest, PresetStopsTheSweepResetsTheLinkAndDoesNotRestart) {
    AnalyzerDocument& d = BuildCounting();
    d.OnContinuous();
    WaitForPasses(1);
    d.SetCenterSpan(100e6, 1e6);
    usb.ClearCalls();
    d.OnPreset();
    EXPECT_FALSE(d.SweepRunning());
    const auto calls = usb.Calls();
    const auto cycle = std::find(calls.begin(), calls.end(), "cycle 1");
    ASSERT_NE(cycle, calls.end());
    EXPECT_EQ(std::find(calls.begin(), cycle, "open 0"), cycle) << "reset before the reopen";
    EXPECT_NE(std::find(cycle, calls.end(), "open 0"), calls.end());
    EXPECT_EQ(d.Frequencies().startHz, 902e6);
}

TEST_F(SweepRunControlTest, FailedReopenAtPresetAsksTheProgramToCloseWithoutPresetting) {
    AnalyzerDocument& d = BuildCounting();
    std::atomic<int> closeRequests{0};
    d.SetCloseHandler([&] { ++closeRequests; });
    d.SetCenterSpan(100e6, 1e6);
    usb.devices.clear();
    std::thread automation([&d] { d.OnPreset(); });
    automation.join();  // the thread returns instead of ending the program itself
    EXPECT_EQ(closeRequests.load(), 1);
    EXPECT_TRUE(d.CloseRequested());
    EXPECT_EQ(d.Frequencies().startHz, 100e6 - 0.5e6);
}

// The pass durations below are virtual time: the pass sleeps on the fake clock.
TEST_F(SweepRunControlTest, SweepTimeFollowsPassesThatDriftMoreThanTwentyPercent) {
    AnalyzerDocument& d = BuildWithInstrument();
    std::atomic<int> passMs{1190};
    d.SetSweepPass([&] { clock.SleepMs(passMs.load()); });
    d.EditSettings([](InstrumentState& s) {
        s.sweepTimeSec = 1.0;
        s.settingsChanged = false;
    });
    const auto runOnce = [&] {
        d.OnSingle();
        WaitUntilIdle(d);
        return d.ReadSettings([](const InstrumentState& s) { return s.sweepTimeSec; });
    };
    EXPECT_DOUBLE_EQ(runOnce(), 1.0);
    passMs = 1210;
    EXPECT_DOUBLE_EQ(runOnce(), 1.21);
    // Zero span keeps its entered time, but the change flag is used up.
    d.SetFrequencies(1e9, 1e9);
    d.EditSettings([](InstrumentState& s) { s.settingsChanged = true; });
    passMs = 500;
    EXPECT_DOUBLE_EQ(runOnce(), 1.21);
    EXPECT_FALSE(d.ReadSettings([](const InstrumentState& s) { return s.settingsChanged; }));
}

TEST_F(SweepRunControlTest, RealtimeModeAsksForTheReferenceOnlyAfterTheLastPass) {
    AnalyzerDocument& d = BuildCounting();
    d.EditSettings([](InstrumentState& s) { s.realtimeMode = 1; });
    allowedPasses = 3;
    usb.ClearWrites();
    d.OnContinuous();
    WaitForPasses(4);
    d.OnSingle();
    allowedPasses = 1 << 30;
    WaitUntilIdle(d);
    int referenceQueries = 0;
    for (const auto& command : CommandsSent()) {
        referenceQueries += command == Bytes{'C', 2};
    }
    EXPECT_EQ(referenceQueries, 1);
}

TEST_F(SweepRunControlTest, CommunicationErrorIsAskedAfterEveryPassUntilYes) {
    AnalyzerDocument& d = BuildCounting();
    d.link.commError = true;
    allowedPasses = 3;
    d.OnContinuous();
    WaitForPasses(4);
    d.OnSingle();
    allowedPasses = 1 << 30;
    WaitUntilIdle(d);
    const auto boxes = prompter.Boxes();
    ASSERT_EQ(boxes.size(), 4u) << "No leaves the flag set: asked after each of the 4 passes";
    EXPECT_EQ(boxes[0].caption, "ERROR 6 - COMMUNICATIONS ERROR");
    EXPECT_EQ(boxes[0].text,
              "USB ERROR 6- RECOMMEND USB REBOOT\r\nDO YOU WISH TO REBOOT THE TAVLIN?");
    EXPECT_EQ(boxes[0].buttons, PromptButtons::YesNo);
    EXPECT_TRUE(d.link.commError);

    prompter.QueueAnswer(true);
    usb.ClearCalls();
    d.OnContinuous();
    WaitUntilIdle(d);  // Yes ends the sweep after that pass
    EXPECT_FALSE(d.link.commError);
    const auto calls = usb.Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "cycle 1"), calls.end());
    EXPECT_TRUE(d.link.IsOpen());
}

}  // namespace
}  // namespace tavlin
