#include <algorithm>
#include <atomic>
#include <chrono>
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
    static void WaitUntilIdle(AnalyzerDocument& d) {
        while (d.SweepRunning()) {
            std::this_thread::yield();
        }
    }

    std::atomic<int> allowedPasses{1 << 30};
    std::atomic<int> inPass{0};
    std::atomic<bool> overlapped{false};
};

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

TEST_F(SweepRunControlTest, PauseStopsAContinuousSweepAndTheOuterResumeRestartsIt) {
    AnalyzerDocument& d = BuildCounting();
    d.PauseSweep();  // with nothing running, nothing starts on resume
    d.ResumeSweep();
    EXPECT_FALSE(d.SweepRunning());
    EXPECT_EQ(passes.load(), 0);
    EXPECT_TRUE(d.Settings().settingsChanged);
    // A SINGLE that came too late for the last sweep thread.
    test::WithInstrument(d, [](InstrumentLease& i) { i.RequestStop(true); });
    d.OnContinuous();
    while (passes.load() < 2 && d.SweepRunning()) {
        std::this_thread::yield();
    }
    ASSERT_GE(passes.load(), 2) << "CONTINUOUS clears a stale stop request";
    d.EditSettings([&](InstrumentState& s) { s.videoAvgIndex = 7; });
    d.PauseSweep();
    d.PauseSweep();
    EXPECT_FALSE(d.SweepRunning());
    const int whilePaused = passes.load();
    d.ResumeSweep();
    EXPECT_FALSE(d.SweepRunning()) << "nested pauses restart only at the outer resume";
    d.ResumeSweep();
    EXPECT_TRUE(d.SweepRunning());
    EXPECT_EQ(d.Settings().videoAvgIndex, 0) << "the average restarts";
    d.EditSettings([](InstrumentState& s) { s.videoAvgCount = 0; });
    EXPECT_EQ(d.AdvanceVideoAverage(), 1) << "a count below 1 averages nothing";
    WaitForPasses(whilePaused + 2);
    d.CloseDocument();
    EXPECT_FALSE(overlapped.load());
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

TEST_F(SweepRunControlTest, FailedReopenAtPresetAsksTheProgramToCloseWithoutPresetting) {
    AnalyzerDocument& d = BuildCounting();
    std::atomic<int> closeRequests{0};
    d.SetCloseHandler([&] { ++closeRequests; });
    d.SetCenterSpan(100e6, 1e6);
    usb.devices.clear();
    usb.failWrites = true;  // a unit that is gone takes no command
    std::thread automation([&d] { d.OnPreset(); });
    automation.join();  // the thread returns instead of ending the program itself
    EXPECT_EQ(closeRequests.load(), 1);
    EXPECT_TRUE(d.CloseRequested());
    EXPECT_EQ(d.Frequencies().startHz, 100e6 - 0.5e6);
}

// A preset cycles the USB port only for a link in trouble, and asks the
// unit its firmware again only when the port was reopened.
struct PresetLinkRow {
    const char* name;
    bool commandFault;
    long cycles;
    long versionQueries;
};

class PresetLinkTest : public SweepRunControlTest,
                       public ::testing::WithParamInterface<PresetLinkRow> {};

TEST_P(PresetLinkTest, CyclesThePortAndReadsTheIdentityOnlyWhenNeeded) {
    AnalyzerDocument& d = BuildCounting();
    d.SetCenterSpan(100e6, 1e6);
    test::WithInstrument(d,
                         [](InstrumentLease& i) { i.Link().commError = GetParam().commandFault; });
    usb.ClearCalls();
    usb.ClearWrites();
    d.OnPreset();
    const auto calls = usb.Calls();
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const std::string& c) { return c.rfind("cycle", 0) == 0; }),
              GetParam().cycles);
    const auto commands = CommandsSent();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), Bytes{'V'}), GetParam().versionQueries);
    EXPECT_EQ(d.Frequencies().startHz, 902e6);
    EXPECT_EQ(d.ReadSettings([](const InstrumentState& s) { return s.firmwareVersion; }),
              "Tavlin 2.03");
}

INSTANTIATE_TEST_SUITE_P(Links, PresetLinkTest,
                         ::testing::Values(PresetLinkRow{"Sound", false, 0, 0},
                                           PresetLinkRow{"AfterACommandFault", true, 1, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// Single pressed during the fourth pass of a continuous sweep ends it after
// that pass; the realtime reference is asked for once, after the last pass,
// and a communication error after every pass until the answer is Yes.
TEST_F(SweepRunControlTest, SingleEndsAContinuousSweepAfterThePassInProgress) {
    AnalyzerDocument& d = BuildCounting();
    d.EditSettings([](InstrumentState& s) { s.realtimeMode = 1; });
    test::WithInstrument(d, [](InstrumentLease& i) { i.Link().commError = true; });
    usb.ClearWrites();
    allowedPasses = 3;
    d.OnContinuous();
    WaitForPasses(4);
    d.OnSingle();
    allowedPasses = 1 << 30;
    WaitUntilIdle(d);
    EXPECT_EQ(passes.load(), 4);
    EXPECT_FALSE(d.StopRequested());
    const auto commands = CommandsSent();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), Bytes{'C', 2}), 1);
    const auto boxes = prompter.Boxes();
    ASSERT_EQ(boxes.size(), 4u) << "No leaves the flag set";
    EXPECT_EQ(boxes[0].caption, "ERROR 6 - COMMUNICATIONS ERROR");
    EXPECT_EQ(boxes[0].buttons, PromptButtons::YesNo);

    prompter.QueueAnswer(true);
    usb.ClearCalls();
    d.OnContinuous();
    WaitUntilIdle(d);  // Yes ends the sweep after that pass
    EXPECT_FALSE(
        test::WithInstrument(d, [](InstrumentLease& i) { return i.Link().commError.load(); }));
    EXPECT_EQ(std::ranges::count(usb.Calls(), std::string("cycle 1")), 1);
    EXPECT_TRUE(d.InstrumentConnected());
}

// The pause between passes lets the window paint; a single sweep has no
// next pass to wait for.
TEST_F(SweepRunControlTest, ASingleSweepEndsWithItsPass) {
    AnalyzerDocument& d = BuildCounting();
    const long long before = clock.TotalSleptMs();
    d.OnSingle();
    WaitUntilIdle(d);
    EXPECT_LT(clock.TotalSleptMs() - before, 20 + 50) << "the pass, the reference check";
}

// Signal track after each pass and its reference check: the centre moves
// towards the strongest point
// (a weak one by at most 20 columns a pass), and the span is kept, even at the
// band edge.
TEST_F(SweepRunControlTest, SignalTrackMovesTheCentreToTheStrongestPoint) {
    AnalyzerDocument& d = BuildWithInstrument();
    std::array<double, kTracePoints> rows{};
    d.SetSweepPass([&] { EditTrace([&rows](SweepTrace& t) { t.traceA = rows; }); });
    d.EditSettings([](InstrumentState& s) { s.signalTrack = 1; });
    const auto pass = [&] {
        d.OnSingle();
        WaitUntilIdle(d);
    };
    rows.fill(400.0);  // flat: column 640 clamped to 340
    d.SetFrequencies(915e6, 915e6 + 0.5);
    pass();
    EXPECT_EQ(d.Frequencies().startHz, 915e6) << "zero span has nothing to track";
    EXPECT_EQ(Markers().marker1On, 0);

    d.SetCenterSpan(915e6, 64e6);  // 100 kHz a column
    // The reference check ('C') comes first, with the pass's own span.
    std::vector<double> centreAtReferenceCheck;
    const auto earlierHook = usb.onWrite;
    usb.onWrite = [&](UsbHandle handle, const Bytes& frame) {
        earlierHook(handle, frame);
        if (handle == test::FakeCalMemory::kCommandHandle && test::UnSlip(frame).front() == 'C') {
            centreAtReferenceCheck.push_back(d.Frequencies().CenterHz());
        }
    };
    pass();
    usb.onWrite = earlierHook;
    EXPECT_EQ(centreAtReferenceCheck, std::vector<double>{915e6});
    EXPECT_DOUBLE_EQ(d.Frequencies().CenterHz(), 883e6 + 340 * 100e3);
    EXPECT_DOUBLE_EQ(Markers().marker1Pos, 883e6 + 340 * 100e3);
    EXPECT_EQ(Markers().marker1On, 1);

    d.SetCenterSpan(4.36e9, 64e6);
    rows[400] = 20.0;
    for (int i = 0; i < 50; ++i) {
        pass();
    }
    EXPECT_DOUBLE_EQ(d.Frequencies().SpanHz(), 64e6) << "the span never shrinks";
    EXPECT_DOUBLE_EQ(d.Frequencies().stopHz, 4.4e9);
    EXPECT_EQ(prompter.Count(), 0u);
}

TEST_F(SweepRunControlTest, CloseStopsTheSweepThenClosesTheLinkWithoutReopening) {
    AnalyzerDocument& d = BuildCounting();
    d.OnContinuous();
    WaitForPasses(2);
    usb.ClearCalls();
    d.CloseDocument();
    EXPECT_FALSE(d.SweepRunning());
    EXPECT_FALSE(d.InstrumentConnected());
    auto calls = usb.Calls();
    std::erase_if(calls, [](const std::string& c) {
        return !c.starts_with("cycle") && !c.starts_with("close") && !c.starts_with("open");
    });
    EXPECT_EQ(calls, (std::vector<std::string>{"cycle 1", "close 1", "close 2"}));
}

// The sweep thread marks its own end as it exits, a moment after the sweep
// itself has ended: the document's destructor returns only after that mark,
// so no thread is left to touch it.
TEST_F(SweepRunControlTest, DestroyingTheDocumentJoinsARunningSweep) {
    static std::atomic<bool> threadEnded;
    threadEnded = false;
    struct EndMark {
        ~EndMark() {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            threadEnded = true;
        }
    };
    BuildWithInstrument().SetSweepPass([this] {
        thread_local EndMark mark;
        ++passes;
    });
    doc->OnContinuous();
    WaitForPasses(1);
    doc.reset();
    EXPECT_TRUE(threadEnded.load());
}

}  // namespace
}  // namespace tavlin
