#include <gmock/gmock.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "panel/panel_fixture.h"
#include "panel/settings_menu_commands.h"

namespace tavlin {
namespace {

class SettingsMenuCommandsTest : public test::PanelFixture {
  protected:
    // The sweep passes of a test use the members below: the sweep ends first.
    ~SettingsMenuCommandsTest() override { doc->CloseDocument(); }
    SettingsMenuCommands menu() { return SettingsMenuCommands(*doc, dialogs); }

    std::vector<bool> waitSeenAtStop;
    std::atomic<bool> waitTimedOut{false};
};

// Without a preamplifier (a recalled state may still say it is on) the item
// is disabled and sends nothing.
TEST_F(SettingsMenuCommandsTest, WithoutAPreamplifierTheItemIsDisabledAndSendsNothing) {
    Edit([](InstrumentState& s) { s.preampAvailable = false; });
    EXPECT_FALSE(menu().State(SettingsMenuItem::RfPreamplifier).enabled);
    menu().OnRfPreamplifier();
    EXPECT_TRUE(SentWith('M').empty());
}

// The step and offset entries open at the value in force and say what they set.
TEST_F(SettingsMenuCommandsTest, StepAndOffsetEntriesOpenAtTheirValues) {
    Edit([](InstrumentState& s) {
        s.cfStepHz = 2.5e6;
        s.refLevelStepDb = 5.0;
        s.refLevelOffsetDb = -3.0;
    });
    menu().OnCfStepSize();
    menu().OnRefLevelStep();
    menu().OnRefLevelOffset();
    std::vector<std::pair<std::string, double>> opened;
    for (const auto& opening : dialogs.openings) {
        opened.emplace_back(opening.label, opening.start.value_or(0.0));
    }
    EXPECT_EQ(opened, (decltype(opened){
                          {"STEP FREQ", 2.5e6}, {"Ref Lvl Step", 5.0}, {"Ref Lvl Offset", -3.0}}));
}

TEST_F(SettingsMenuCommandsTest, SweepTimeOnlyInZeroSpan) {
    menu().OnSweepTime();
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "NOT AVAILABLE");
    EXPECT_EQ(prompter.Boxes()[0].text, "Sweep time is currently adjustable in zero-span only");
    doc->SetFrequencies(915e6, 915e6 + 0.5);  // swept as zero span
    menu().OnSweepTime();
    ASSERT_EQ(dialogs.openings.size(), 1u);
    EXPECT_EQ(dialogs.openings[0].kind, test::ScriptedEntryDialogs::Kind::ZeroSpan);
}

// The first sweep, ended by the pause, never sees the trigger wait; the mode
// reaches the instrument with the wait already set and the sweep stopped.
TEST_F(SettingsMenuCommandsTest, TrigInSetsTheTriggerWaitInsideThePause) {
    doc->SetAfterPass([] {});
    doc->SetSweepPass([this] {
        if (!waitSeenAtStop.empty()) {
            return;  // a later sweep thread
        }
        test::Eventually([this] { return doc->StopRequested(); });
        waitSeenAtStop.push_back(doc->TriggerWaitArmed());
    });
    doc->OnContinuous();
    menu().OnSyncTrig(3);
    EXPECT_EQ(waitSeenAtStop, std::vector<bool>{false});
    EXPECT_EQ(SentWith('O'), (std::vector<Sent>{{{'O', 3}, false, true}}));
    EXPECT_EQ(Settings().syncTrigMode, 3);
}

// A sweep waiting for a trigger that never comes ends only when the wait is
// given up: OFF gives it up before it waits for the sweep to stop.
TEST_F(SettingsMenuCommandsTest, OffGivesUpTheTriggerWaitBeforeThePause) {
    Edit([](InstrumentState& s) { s.syncTrigMode = 3; });
    test::WithInstrument(*doc, [](InstrumentLease& i) { i.Link().waitForTrigger = true; });
    doc->SetAfterPass([] {});
    doc->SetSweepPass([this] {
        ++passes;
        // Like a sample read with no time limit, deaf to stop requests.
        if (!test::Eventually([this] { return !doc->TriggerWaitArmed(); })) {
            waitTimedOut = true;
        }
    });
    doc->OnContinuous();
    ASSERT_TRUE(test::Eventually([this] { return passes.load() > 0; }));
    usb.ClearCalls();
    menu().OnSyncTrig(0);
    EXPECT_FALSE(waitTimedOut.load());
    EXPECT_EQ(SentWith('O'), (std::vector<Sent>{{{'O', 0}, false, false}}));
    EXPECT_EQ(Settings().syncTrigMode, 0);
    EXPECT_THAT(usb.Calls(), testing::Contains("timeouts 1 1000 1000"));
    EXPECT_TRUE(doc->SweepRunning());
}

}  // namespace
}  // namespace tavlin
