#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "panel/panel_fixture.h"
#include "panel/settings_menu_commands.h"

namespace tavlin {
namespace {

using Item = SettingsMenuItem;

class SettingsMenuCommandsTest : public test::PanelFixture {
  protected:
    void SetUp() override { BuildPanelDocument(); }
    // The sweep passes of a test use the members below: the sweep ends first.
    ~SettingsMenuCommandsTest() override { doc->CloseDocument(); }
    SettingsMenuCommands menu() { return SettingsMenuCommands(*doc, dialogs); }
    bool Ticked(Item item) { return menu().State(item).checked; }

    std::vector<bool> waitSeenAtStop;
    std::atomic<bool> waiting{false};
    std::atomic<bool> waitTimedOut{false};
};

// The reserved mode 1 is ticked under OFF.
TEST_F(SettingsMenuCommandsTest, SyncTrigTicks) {
    struct Row {
        int mode;
        bool trigIn, syncOut, off, mode1, notMode1;
    };
    for (const Row row :
         {Row{0, false, false, true, false, true}, Row{1, false, false, true, true, false},
          Row{2, false, true, false, false, true}, Row{3, true, false, false, false, true}}) {
        Edit([&row](InstrumentState& s) { s.syncTrigMode = row.mode; });
        const std::vector<bool> ticks{Ticked(Item::SyncTrigIn), Ticked(Item::SyncTrigSyncOut),
                                      Ticked(Item::SyncTrigOff), Ticked(Item::SyncTrigMode1),
                                      Ticked(Item::SyncTrigNotMode1)};
        EXPECT_EQ(ticks,
                  (std::vector<bool>{row.trigIn, row.syncOut, row.off, row.mode1, row.notMode1}))
            << "mode " << row.mode;
    }
}

TEST_F(SettingsMenuCommandsTest, RefLevelOffsetIsTickedWhileNotZeroAndRunsTheLevelPlanPaused) {
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

// Without a preamplifier (a recalled state may still say it is on) the item
// is disabled, unticked and sends nothing.
TEST_F(SettingsMenuCommandsTest, PreamplifierTogglesWithTheSweepStoppedWhereThereIsOne) {
    StartSweeping();
    EXPECT_TRUE(menu().State(Item::RfPreamplifier).enabled);
    menu().OnRfPreamplifier();
    EXPECT_TRUE(Ticked(Item::RfPreamplifier));
    ASSERT_EQ(SentWith('M').size(), 1u);
    EXPECT_EQ(SentWith('M')[0].bytes, (Bytes{'M', 1}));
    EXPECT_FALSE(SentWith('M')[0].sweepRunning);
    EXPECT_TRUE(doc->SweepRunning());

    Edit([](InstrumentState& s) { s.preampAvailable = false; });
    EXPECT_FALSE(menu().State(Item::RfPreamplifier).enabled);
    EXPECT_FALSE(Ticked(Item::RfPreamplifier));
    menu().OnRfPreamplifier();
    EXPECT_EQ(SentWith('M').size(), 1u);
}

TEST_F(SettingsMenuCommandsTest, SweepTimeOnlyInZeroSpan) {
    menu().OnSweepTime();
    EXPECT_EQ(Boxes(), std::vector<std::string>{
                           "NOT AVAILABLE|Sweep time is currently adjustable in zero-span only"});
    EXPECT_TRUE(dialogs.openings.empty());
    doc->SetFrequencies(915e6, 915e6 + 0.5);  // swept as zero span
    menu().OnSweepTime();
    ASSERT_EQ(dialogs.openings.size(), 1u);
    EXPECT_EQ(dialogs.openings[0].kind, test::ScriptedEntryDialogs::Kind::ZeroSpan);
}

TEST_F(SettingsMenuCommandsTest, ChoosingTheSameAveragingRestartsTheAverage) {
    menu().OnVideoAveraging(10);
    Edit([](InstrumentState& s) { s.videoAvgIndex = 7; });
    menu().OnVideoAveraging(10);
    EXPECT_EQ(Settings().videoAvgIndex, 0);
}

// The first sweep, ended by the pause, never sees the trigger wait; the mode
// reaches the instrument with the wait already set and the sweep stopped.
TEST_F(SettingsMenuCommandsTest, TrigInSetsTheTriggerWaitInsideThePause) {
    doc->SetAfterPass([] {});
    doc->SetSweepPass([this] {
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
    EXPECT_EQ(waitSeenAtStop, std::vector<bool>{false});
    const auto mode = SentWith('O');
    ASSERT_EQ(mode.size(), 1u);
    EXPECT_EQ(mode[0].bytes, (Bytes{'O', 3}));
    EXPECT_FALSE(mode[0].sweepRunning);
    EXPECT_TRUE(mode[0].waitForTrigger);
    EXPECT_EQ(Settings().syncTrigMode, 3);
}

// A sweep waiting for a trigger that never comes ends only when the wait is
// given up: OFF gives it up before it waits for the sweep to stop.
TEST_F(SettingsMenuCommandsTest, OffGivesUpTheTriggerWaitBeforeThePause) {
    Edit([](InstrumentState& s) { s.syncTrigMode = 3; });
    doc->link.waitForTrigger = true;
    doc->SetAfterPass([] {});
    doc->SetSweepPass([this] {
        waiting = true;
        // Like a sample read with no time limit, deaf to stop requests.
        if (!WaitFor([this] { return !doc->link.waitForTrigger.load(); })) {
            waitTimedOut = true;
        }
    });
    doc->OnContinuous();
    ASSERT_TRUE(WaitFor([this] { return waiting.load(); }));
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

// Unlike the frequency entries, the marker's position is entered as the
// instrument sees it.
TEST_F(SettingsMenuCommandsTest, MarkerFreqIsEnteredWithoutTheDownconverterOffset) {
    Edit([](InstrumentState& s) { s.freqOffsetHz = 100e6; });
    doc->EditMarkers([](MarkerState& m, const SweepTrace&) { m.marker1Pos = 910e6; });
    dialogs.frequencies = {920e6};
    menu().OnSetMarkerFreq();
    EXPECT_EQ(dialogs.openings[0].label, "MARKER FREQ");
    EXPECT_EQ(dialogs.openings[0].start, 910e6);
    EXPECT_EQ(test::MarkersOf(*doc).marker1Pos, 920e6);
    EXPECT_EQ(test::MarkersOf(*doc).marker1On, 1);
}

}  // namespace
}  // namespace tavlin
