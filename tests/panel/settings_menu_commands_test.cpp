#include <algorithm>
#include <atomic>

#include "panel/panel_fixture.h"
#include "panel/settings_menu_commands.h"

namespace tavlin {
namespace {

using test::PanelFixture;
using Item = SettingsMenuItem;
using Kind = test::ScriptedEntryDialogs::Kind;

class SettingsMenuTest : public PanelFixture {
  protected:
    void SetUp() override { BuildPanelDocument(); }
    SettingsMenuCommands menu() { return SettingsMenuCommands(*doc, dialogs); }
    bool Ticked(Item item) { return menu().State(item).checked; }
};

// --- Check marks --------------------------------------------------------------------

TEST_F(SettingsMenuTest, SyncTrigTicksIncludingTheReservedModeUnderOff) {
    struct Case {
        int mode;
        bool trigIn, syncOut, off, mode1, notMode1;
    };
    for (const Case c :
         {Case{0, false, false, true, false, true}, Case{1, false, false, true, true, false},
          Case{2, false, true, false, false, true}, Case{3, true, false, false, false, true}}) {
        Edit([&c](InstrumentState& s) { s.syncTrigMode = c.mode; });
        EXPECT_EQ(Ticked(Item::SyncTrigIn), c.trigIn) << "mode " << c.mode;
        EXPECT_EQ(Ticked(Item::SyncTrigSyncOut), c.syncOut) << "mode " << c.mode;
        EXPECT_EQ(Ticked(Item::SyncTrigOff), c.off) << "mode " << c.mode;
        EXPECT_EQ(Ticked(Item::SyncTrigMode1), c.mode1) << "mode " << c.mode;
        EXPECT_EQ(Ticked(Item::SyncTrigNotMode1), c.notMode1) << "mode " << c.mode;
    }
}

// --- Levels -------------------------------------------------------------------------

TEST_F(SettingsMenuTest, RefLevelOffsetIsTickedWhileNotZeroAndRunsTheLevelPlanPaused) {
    StartSweeping();
    dialogs.dbs = {10.0, 0.0};
    menu().OnRefLevelOffset();
    EXPECT_TRUE(Ticked(Item::RefLevelOffset));
    ASSERT_EQ(SentWith('A').size(), 1u);
    EXPECT_FALSE(SentWith('A')[0].sweepRunning);
    menu().OnRefLevelOffset();
    EXPECT_EQ(dialogs.openings[1].start, 10.0);
    EXPECT_FALSE(Ticked(Item::RefLevelOffset));
    EXPECT_TRUE(doc->SweepRunning());
}

// --- Receiver -----------------------------------------------------------------------

TEST_F(SettingsMenuTest, PreamplifierTogglesWithTheSweepStopped) {
    StartSweeping();
    EXPECT_TRUE(menu().State(Item::RfPreamplifier).enabled);
    menu().OnRfPreamplifier();
    EXPECT_TRUE(Ticked(Item::RfPreamplifier));
    const auto sentPreamp = SentWith('M');
    ASSERT_EQ(sentPreamp.size(), 1u);
    EXPECT_EQ(sentPreamp[0].bytes, (Bytes{'M', 1}));
    EXPECT_FALSE(sentPreamp[0].sweepRunning);
    EXPECT_TRUE(doc->SweepRunning());
}

TEST_F(SettingsMenuTest, WithoutAPreamplifierTheItemIsDisabledAndDoesNothing) {
    Edit([](InstrumentState& s) {
        s.preampAvailable = false;
        s.preampOn = true;  // as a recalled state file may leave it
    });
    EXPECT_FALSE(menu().State(Item::RfPreamplifier).enabled);
    EXPECT_FALSE(Ticked(Item::RfPreamplifier));
    menu().OnRfPreamplifier();
    EXPECT_TRUE(SentWith('M').empty());
}

TEST_F(SettingsMenuTest, SweepTimeOnlyInZeroSpan) {
    menu().OnSweepTime();
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "Sweep time is currently adjustable in zero-span only");
    EXPECT_EQ(prompter.Boxes()[0].caption, "NOT AVAILABLE");
    EXPECT_TRUE(dialogs.openings.empty());

    doc->SetFrequencies(915e6, 915e6);
    menu().OnSweepTime();
    ASSERT_EQ(dialogs.openings.size(), 1u);
    EXPECT_EQ(dialogs.openings[0].kind, Kind::ZeroSpan);
}

TEST_F(SettingsMenuTest, ChoosingTheSameAveragingRestartsTheAverage) {
    menu().OnVideoAveraging(10);
    Edit([](InstrumentState& s) { s.videoAvgIndex = 7; });
    menu().OnVideoAveraging(10);
    EXPECT_EQ(Settings().videoAvgIndex, 0);
}

// --- SYNC / TRIG --------------------------------------------------------------------

// The first sweep, ended by the pause, never sees the trigger wait; the mode
// reaches the instrument with the wait already set and the sweep stopped.
TEST_F(SettingsMenuTest, TrigInSetsTheTriggerWaitInsideThePause) {
    std::vector<bool> waitSeenAtStop;
    const SweepStopper stopper(*doc);
    doc->SetAfterPass([] {});
    doc->SetSweepPass([this, &waitSeenAtStop] {
        if (!waitSeenAtStop.empty()) {
            return;  // a later sweep thread
        }
        while (doc->stopRequest.load() == 0) {
            clock.SleepMs(1);
        }
        waitSeenAtStop.push_back(doc->link.waitForTrigger.load());
    });
    doc->OnContinuous();
    menu().OnSyncTrig(3);
    ASSERT_FALSE(waitSeenAtStop.empty());
    EXPECT_FALSE(waitSeenAtStop[0]);
    const auto mode = SentWith('O');
    ASSERT_EQ(mode.size(), 1u);
    EXPECT_EQ(mode[0].bytes, (Bytes{'O', 3}));
    EXPECT_FALSE(mode[0].sweepRunning);
    EXPECT_TRUE(mode[0].waitForTrigger);
    EXPECT_EQ(Settings().syncTrigMode, 3);
}

// A sweep waiting for a trigger that never comes ends only when the wait is
// given up: OFF gives it up before it waits for the sweep to stop.
TEST_F(SettingsMenuTest, OffGivesUpTheTriggerWaitBeforeThePause) {
    Edit([](InstrumentState& s) { s.syncTrigMode = 3; });
    doc->link.waitForTrigger = true;
    std::atomic<bool> waiting{false};
    std::atomic<bool> waitTimedOut{false};
    const SweepStopper stopper(*doc);
    doc->SetAfterPass([] {});
    doc->SetSweepPass([&] {
        waiting = true;
        // Like a sample read with no time limit, deaf to stop requests.
        if (!WaitFor([this] { return !doc->link.waitForTrigger.load(); })) {
            waitTimedOut = true;
        }
    });
    doc->OnContinuous();
    ASSERT_TRUE(WaitFor([&] { return waiting.load(); }));
    usb.ClearCalls();
    menu().OnSyncTrig(0);
    EXPECT_FALSE(waitTimedOut.load());
    const auto mode = SentWith('O');
    ASSERT_EQ(mode.size(), 1u);
    EXPECT_EQ(mode[0].bytes, (Bytes{'O', 0}));
    EXPECT_FALSE(mode[0].sweepRunning);
    EXPECT_EQ(Settings().syncTrigMode, 0);
    const auto calls = usb.Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "timeouts 1 1000 1000"), calls.end());
    EXPECT_TRUE(doc->SweepRunning());
}

// --- Marker ------------------------------------------------------------------------

TEST_F(SettingsMenuTest, MarkerFreqIsEnteredWithoutTheDownconverterOffset) {
    Edit([](InstrumentState& s) { s.freqOffsetHz = 100e6; });
    doc->markers.marker1Pos = 910e6;
    dialogs.frequencies = {920e6};
    menu().OnSetMarkerFreq();
    EXPECT_EQ(dialogs.openings[0].label, "MARKER FREQ");
    EXPECT_EQ(dialogs.openings[0].start, 910e6);
    EXPECT_EQ(doc->markers.marker1Pos, 920e6);
    EXPECT_EQ(doc->markers.marker1On, 1);
}

}  // namespace
}  // namespace tavlin
