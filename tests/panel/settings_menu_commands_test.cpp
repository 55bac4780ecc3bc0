#include <algorithm>
#include <atomic>
#include <limits>

#include "panel/panel_fixture.h"
#include "panel/settings_menu_commands.h"

namespace tavlin {
namespace {

using test::PanelFixture;
using Item = SettingsMenuItem;
using Kind = test::ScriptedEntryDialogs::Kind;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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

TEST_F(SettingsMenuTest, TicksFollowTheSettingsTheyShow) {
    EXPECT_TRUE(Ticked(Item::SignalTrackOff));
    EXPECT_TRUE(Ticked(Item::VideoAveraging1));
    EXPECT_TRUE(Ticked(Item::ImageSuppressionOn));
    EXPECT_TRUE(Ticked(Item::ColorSchemeKvo));
    EXPECT_FALSE(Ticked(Item::Counter));

    menu().OnSignalTrack(true);
    menu().OnVideoAveraging(100);
    menu().OnImageSuppression(false);
    menu().OnRealtime();
    menu().OnColorScheme(true);
    menu().OnCounter();
    EXPECT_TRUE(Ticked(Item::SignalTrackOn));
    EXPECT_FALSE(Ticked(Item::SignalTrackOff));
    EXPECT_TRUE(Ticked(Item::VideoAveraging100));
    EXPECT_FALSE(Ticked(Item::VideoAveraging1));
    EXPECT_TRUE(Ticked(Item::ImageSuppressionOff));
    EXPECT_FALSE(Ticked(Item::ImageSuppressionOn));
    EXPECT_TRUE(Ticked(Item::ImageSuppressionRealtime));
    EXPECT_TRUE(Ticked(Item::ColorSchemeClassic));
    EXPECT_FALSE(Ticked(Item::ColorSchemeKvo));
    EXPECT_TRUE(Ticked(Item::Counter));

    menu().OnRealtime();
    menu().OnCounter();
    EXPECT_FALSE(Ticked(Item::ImageSuppressionRealtime));
    EXPECT_FALSE(Ticked(Item::Counter));
}

// --- Levels -------------------------------------------------------------------------

TEST_F(SettingsMenuTest, RefLevelOffsetIsTickedWhileNotZeroAndRunsTheLevelPlanPaused) {
    StartSweeping();
    dialogs.dbs = {10.0};
    menu().OnRefLevelOffset();
    EXPECT_EQ(dialogs.openings[0].start, 0.0);
    EXPECT_TRUE(Ticked(Item::RefLevelOffset));
    EXPECT_EQ(openedWhileSweeping, std::vector<bool>{true});
    ASSERT_EQ(SentWith('A').size(), 1u);
    EXPECT_FALSE(SentWith('A')[0].sweepRunning);

    dialogs.dbs = {0.0};
    menu().OnRefLevelOffset();
    EXPECT_EQ(dialogs.openings[1].start, 10.0);
    EXPECT_FALSE(Ticked(Item::RefLevelOffset));
    EXPECT_TRUE(doc->SweepRunning());

    dialogs.dbs = {kNaN};
    menu().OnRefLevelOffset();
    EXPECT_EQ(Settings().refLevelOffsetDb, 0.0);
    EXPECT_EQ(SentWith('A').size(), 2u);
}

TEST_F(SettingsMenuTest, StepEntriesStartAtZeroAndStoreWhatIsEntered) {
    dialogs.frequencies = {2.5e6};
    dialogs.dbs = {3.0};
    menu().OnCfStepSize();
    menu().OnRefLevelStep();
    EXPECT_EQ(dialogs.openings[0].label, "STEP FREQ");
    EXPECT_FALSE(dialogs.openings[0].start.has_value());
    EXPECT_EQ(dialogs.openings[1].start, 0.0);
    EXPECT_EQ(Settings().cfStepHz, 2.5e6);
    EXPECT_EQ(Settings().refLevelStepDb, 3.0);

    menu().OnCfStepSize();  // cancelled
    menu().OnRefLevelStep();
    EXPECT_EQ(Settings().cfStepHz, 2.5e6);
    EXPECT_EQ(Settings().refLevelStepDb, 3.0);
}

// --- Receiver -----------------------------------------------------------------------

TEST_F(SettingsMenuTest, PreamplifierTogglesWithTheSweepStopped) {
    StartSweeping();
    EXPECT_TRUE(menu().State(Item::RfPreamplifier).enabled);
    menu().OnRfPreamplifier();
    EXPECT_TRUE(Ticked(Item::RfPreamplifier));
    menu().OnRfPreamplifier();
    EXPECT_FALSE(Ticked(Item::RfPreamplifier));
    const auto sentPreamp = SentWith('M');
    ASSERT_EQ(sentPreamp.size(), 2u);
    EXPECT_EQ(sentPreamp[0].bytes, (Bytes{'M', 1}));
    EXPECT_EQ(sentPreamp[1].bytes, (Bytes{'M', 0}));
    EXPECT_FALSE(sentPreamp[0].sweepRunning);
    EXPECT_FALSE(sentPreamp[1].sweepRunning);
    EXPECT_TRUE(doc->SweepRunning());
}

TEST_F(SettingsMenuTest, WithoutAPreamplifierTheItemIsDisabledAndDoesNothing) {
    Edit([](InstrumentState& s) {
        s.preampAvailable = false;
        s.preampOn = true;  // as a recalled state file may leave it
    });
    const MenuItemState state = menu().State(Item::RfPreamplifier);
    EXPECT_FALSE(state.enabled);
    EXPECT_FALSE(state.checked);
    menu().OnRfPreamplifier();
    EXPECT_TRUE(SentWith('M').empty());
    EXPECT_TRUE(Settings().preampOn);
}

TEST_F(SettingsMenuTest, SpanRbwRatioTakesPositiveRatiosWithoutRecomputingTheRbw) {
    dialogs.ratios = {50.0};
    menu().OnSpanRbwRatio();
    EXPECT_EQ(dialogs.openings[0].start, 80.0);
    EXPECT_EQ(Settings().spanRbwRatio, 50.0);
    EXPECT_EQ(Settings().rbwHz, 100000.0);

    dialogs.ratios = {0.0, -10.0, kNaN};
    for (int i = 0; i < 3; ++i) {
        menu().OnSpanRbwRatio();
    }
    EXPECT_EQ(Settings().spanRbwRatio, 50.0);
}

TEST_F(SettingsMenuTest, SweepTimeOutsideZeroSpanIsNotAvailable) {
    menu().OnSweepTime();
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "Sweep time is currently adjustable in zero-span only");
    EXPECT_EQ(prompter.Boxes()[0].caption, "NOT AVAILABLE");
    EXPECT_TRUE(dialogs.openings.empty());

    doc->SetFrequencies(915e6, 915e6);
    dialogs.zeroSpans = {ZeroSpanChoice{500.0, false}};
    menu().OnSweepTime();
    ASSERT_EQ(dialogs.openings.size(), 1u);
    EXPECT_EQ(dialogs.openings[0].kind, Kind::ZeroSpan);
    EXPECT_EQ(Settings().sweepTimeSec, 0.5);
    EXPECT_EQ(prompter.Count(), 1u);
}

TEST_F(SettingsMenuTest, ChoosingTheSameAveragingRestartsTheAverage) {
    menu().OnVideoAveraging(10);
    Edit([](InstrumentState& s) { s.videoAvgIndex = 7; });
    menu().OnVideoAveraging(10);
    EXPECT_EQ(Settings().videoAvgIndex, 0);
    EXPECT_EQ(Settings().videoAvgCount, 10);
    menu().OnVideoAveraging(3);  // no such choice
    EXPECT_EQ(Settings().videoAvgCount, 10);
}

TEST_F(SettingsMenuTest, ImageSuppressionChangesWithTheSweepStopped) {
    StartSweeping();
    menu().OnImageSuppression(false);
    EXPECT_EQ(Settings().imageReject, 0);
    EXPECT_TRUE(doc->SweepRunning());
    EXPECT_TRUE(WaitFor([this] { return sweepThreads.load() == 2; }));
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
    doc->CloseDocument();
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

TEST_F(SettingsMenuTest, SyncOutAndTheModesWithoutEntriesOnlySendTheMode) {
    menu().OnSyncTrig(2);
    menu().OnSyncTrigWithoutEntry(1);
    EXPECT_TRUE(Ticked(Item::SyncTrigOff));
    menu().OnSyncTrigWithoutEntry(0);
    menu().OnSyncTrig(7);  // no such mode
    const auto modes = SentWith('O');
    ASSERT_EQ(modes.size(), 3u);
    EXPECT_EQ(modes[0].bytes, (Bytes{'O', 2}));
    EXPECT_EQ(modes[1].bytes, (Bytes{'O', 1}));
    EXPECT_EQ(modes[2].bytes, (Bytes{'O', 0}));
    EXPECT_FALSE(doc->link.waitForTrigger.load());
}

// --- Offsets, marker, title ------------------------------------------------------------

TEST_F(SettingsMenuTest, DownconverterOffsetMayBeNegative) {
    dialogs.frequencies = {-100e6};
    menu().OnDownconverterOffset();
    EXPECT_EQ(dialogs.openings[0].label, "FREQ OFFSET");
    EXPECT_EQ(dialogs.openings[0].start, 0.0);
    EXPECT_EQ(Settings().freqOffsetHz, -100e6);
}

TEST_F(SettingsMenuTest, MarkerFreqIsEnteredWithoutTheDownconverterOffset) {
    Edit([](InstrumentState& s) { s.freqOffsetHz = 100e6; });
    doc->markers.marker1Pos = 910e6;
    dialogs.frequencies = {920e6};
    menu().OnSetMarkerFreq();
    EXPECT_EQ(dialogs.openings[0].label, "MARKER FREQ");
    EXPECT_EQ(dialogs.openings[0].start, 910e6);
    EXPECT_EQ(doc->markers.marker1Pos, 920e6);
    EXPECT_EQ(doc->markers.marker1On, 1);

    doc->markers.marker1On = 0;
    menu().OnSetMarkerFreq();  // cancelled
    EXPECT_EQ(doc->markers.marker1On, 0);
}

TEST_F(SettingsMenuTest, SetTitleStartsEmptyAndMarksTheTitleSet) {
    menu().OnSetTitle();
    EXPECT_EQ(Settings().titleSet, 0);
    dialogs.titles = {std::string("Band 7 uplink")};
    menu().OnSetTitle();
    EXPECT_EQ(dialogs.openings[1].startText, "");
    EXPECT_EQ(Settings().title, "Band 7 uplink");
    EXPECT_EQ(Settings().titleSet, 1);
}

}  // namespace
}  // namespace tavlin
