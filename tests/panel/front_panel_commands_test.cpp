#include <cmath>
#include <limits>

#include "panel/front_panel_commands.h"
#include "panel/panel_fixture.h"

namespace tavlin {
namespace {

using test::PanelFixture;
using Kind = test::ScriptedEntryDialogs::Kind;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class FrontPanelTest : public PanelFixture {
  protected:
    void SetUp() override { BuildPanelDocument(); }
    FrontPanelCommands panel() { return FrontPanelCommands(*doc, dialogs); }
    FrequencyPair F() const { return doc->Frequencies(); }
};

// --- Frequency entries -------------------------------------------------------------

TEST_F(FrontPanelTest, CenterFreqShowsAndTakesBackTheDownconverterOffset) {
    Edit([](InstrumentState& s) { s.freqOffsetHz = 100e6; });
    dialogs.frequencies = {1015e6};
    panel().OnCenterFreq();
    ASSERT_EQ(dialogs.openings.size(), 1u);
    EXPECT_EQ(dialogs.openings[0].label, "CENTER FREQ");
    EXPECT_EQ(dialogs.openings[0].start, 1015e6);
    EXPECT_EQ(F().CenterHz(), 915e6);
    EXPECT_EQ(F().SpanHz(), 26e6);

    dialogs.frequencies = {2015e6};
    panel().OnCenterFreq();
    EXPECT_EQ(F().startHz, 1902e6);
    EXPECT_EQ(F().stopHz, 1928e6);
}

TEST_F(FrontPanelTest, StartAndStopEntriesCarryTheOffsetAndKeepTheEdgesInOrder) {
    Edit([](InstrumentState& s) { s.freqOffsetHz = -2e6; });
    dialogs.frequencies = {898e6};
    panel().OnStartFreq();
    EXPECT_EQ(dialogs.openings.back().label, "START FREQ");
    EXPECT_EQ(dialogs.openings.back().start, 900e6);
    EXPECT_EQ(F().startHz, 900e6);
    EXPECT_EQ(F().stopHz, 928e6);

    dialogs.frequencies = {798e6};  // 800 MHz: below the start
    panel().OnStopFreq();
    EXPECT_EQ(dialogs.openings.back().label, "STOP FREQ");
    EXPECT_EQ(dialogs.openings.back().start, 926e6);
    EXPECT_EQ(F().stopHz, 800e6);
    EXPECT_EQ(F().startHz, 800e6 - 100e3);
}

TEST_F(FrontPanelTest, CancelledOrNotFiniteFrequencyEntriesChangeNothing) {
    using Command = void (FrontPanelCommands::*)();
    for (Command command : {&FrontPanelCommands::OnCenterFreq, &FrontPanelCommands::OnStartFreq,
                            &FrontPanelCommands::OnStopFreq, &FrontPanelCommands::OnSetSpan}) {
        dialogs.frequencies = {std::nullopt, kNaN, kInf, -kInf};
        for (int i = 0; i < 4; ++i) {
            (panel().*command)();
        }
        EXPECT_EQ(F().startHz, 902e6);
        EXPECT_EQ(F().stopHz, 928e6);
    }
    EXPECT_EQ(views.updates.load(), 0);
    EXPECT_EQ(prompter.Count(), 0u);
}

TEST_F(FrontPanelTest, CenterStepsMoveBothEdgesAndAreValidated) {
    panel().OnCenterStepDown();
    EXPECT_EQ(F().startHz, 892e6);
    EXPECT_EQ(F().stopHz, 918e6);
    panel().OnCenterStepUp();
    panel().OnCenterStepUp();
    EXPECT_EQ(F().startHz, 912e6);
    EXPECT_EQ(F().stopHz, 938e6);

    Edit([](InstrumentState& s) { s.cfStepHz = 5e9; });
    panel().OnCenterStepUp();
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "CF out of bounds. Reset.");
    EXPECT_EQ(F().startHz, 2400000000.0);
    EXPECT_EQ(F().stopHz, 2400100000.0);
}

// Frequency changes are taken by the running sweep at its next pass: none of
// them stops the sweep thread.
TEST_F(FrontPanelTest, FrequencyCommandsLeaveTheSweepRunning) {
    StartSweeping();
    dialogs.frequencies = {915e6, 900e6, 930e6, 10e6};
    panel().OnCenterFreq();
    panel().OnStartFreq();
    panel().OnStopFreq();
    panel().OnSetSpan();
    panel().OnCenterStepUp();
    panel().OnSpanDown();
    panel().OnSpanUp();
    const int now = passes.load();
    ASSERT_TRUE(WaitFor([&] { return passes.load() >= now + 2; }));
    EXPECT_EQ(sweepThreads.load(), 1);
    EXPECT_EQ(openedWhileSweeping, std::vector<bool>(4, true));
}

// --- Span ---------------------------------------------------------------------------

TEST_F(FrontPanelTest, SpanStepsAboutTheCentreWithThePredictedRbw) {
    panel().OnSpanDown();  // 26 MHz
    EXPECT_EQ(F().startHz, 905e6);
    EXPECT_EQ(F().stopHz, 925e6);
    EXPECT_EQ(Settings().rbwHz, doc->PredictRbw(20e6));
    panel().OnSpanDown();
    EXPECT_EQ(F().SpanHz(), 10e6);
    panel().OnSpanUp();
    panel().OnSpanUp();
    EXPECT_EQ(F().SpanHz(), 50e6);
    EXPECT_EQ(F().CenterHz(), 915e6);
    EXPECT_EQ(Settings().rbwHz, doc->PredictRbw(50e6));
}

TEST_F(FrontPanelTest, SpanUpAfterFullSpanGivesTwoGigahertz) {
    panel().OnFullSpan();
    EXPECT_EQ(F().startHz, 200e3);
    EXPECT_EQ(F().stopHz, 4.4e9);
    panel().OnSpanUp();  // from 4.3998 GHz
    EXPECT_EQ(F().SpanHz(), 2e9);
    EXPECT_EQ(F().CenterHz(), 2200.1e6);
    EXPECT_EQ(Settings().rbwHz, 5e6);
}

TEST_F(FrontPanelTest, EitherSpanStepFromZeroSpanGivesOneHundredHertz) {
    doc->SetFrequencies(915e6, 915e6);
    panel().OnSpanDown();
    EXPECT_EQ(F().startHz, 915e6 - 50.0);
    EXPECT_EQ(F().stopHz, 915e6 + 50.0);
    EXPECT_EQ(Settings().rbwHz, 0.8);

    doc->SetFrequencies(915e6, 915e6);
    panel().OnSpanUp();
    EXPECT_EQ(F().SpanHz(), 100.0);
}

// Widening to 100 Hz at the bottom of the band is validated: the start never
// goes below 0 Hz.
TEST_F(FrontPanelTest, SpanDownFromZeroSpanAtZeroHertzStaysInTheBand) {
    doc->SetFrequencies(0.0, 0.0);
    panel().OnSpanDown();
    EXPECT_EQ(F().startHz, 0.0);
    EXPECT_GE(F().stopHz, 0.0);

    doc->SetFrequencies(0.0, 40.0);
    panel().OnSpanDown();
    EXPECT_EQ(F().startHz, 0.0);
    EXPECT_EQ(F().stopHz, 40.0);  // the centre stays, so the span cannot grow
}

TEST_F(FrontPanelTest, FullSpanPausesAndKeepsTheRbw) {
    StartSweeping();
    Edit([](InstrumentState& s) { s.rbwHz = 1234.0; });
    panel().OnFullSpan();
    EXPECT_EQ(Settings().rbwHz, 1234.0);
    EXPECT_TRUE(doc->SweepRunning());
    EXPECT_TRUE(WaitFor([this] { return sweepThreads.load() == 2; }));
}

TEST_F(FrontPanelTest, SetSpanOfZeroGoesStraightIntoZeroSpanSettings) {
    Edit([](InstrumentState& s) { s.zeroSpanFm = 1; });
    dialogs.frequencies = {0.0};
    dialogs.zeroSpans = {ZeroSpanChoice{500.0, false}};
    panel().OnSetSpan();
    ASSERT_EQ(dialogs.openings.size(), 2u);
    EXPECT_EQ(dialogs.openings[0].label, "SPAN");
    EXPECT_EQ(dialogs.openings[0].start, 26e6);
    EXPECT_EQ(dialogs.openings[1].kind, Kind::ZeroSpan);
    EXPECT_EQ(dialogs.openings[1].start, 10.0);
    EXPECT_EQ(F().startHz, 915e6);
    EXPECT_EQ(F().stopHz, 915e6);
    const InstrumentState s = Settings();
    EXPECT_EQ(s.sweepTimeSec, 0.5);
    EXPECT_EQ(s.rbwHz, 60000.0);
    EXPECT_EQ(s.zeroSpanFm, 0);
}

TEST_F(FrontPanelTest, SetSpanLeavesTheFmDetectorEvenWhenCancelled) {
    Edit([](InstrumentState& s) { s.zeroSpanFm = 1; });
    panel().OnSetSpan();
    EXPECT_EQ(Settings().zeroSpanFm, 0);
    EXPECT_EQ(F().SpanHz(), 26e6);
}

// --- Zero span ----------------------------------------------------------------------

TEST_F(FrontPanelTest, ZeroSpanWithAmAtTheCentre) {
    dialogs.zeroSpans = {ZeroSpanChoice{10.0, false}};
    panel().OnZeroSpan();
    EXPECT_EQ(F().startHz, 915e6);
    EXPECT_EQ(F().stopHz, 915e6);
    const InstrumentState s = Settings();
    EXPECT_EQ(s.sweepTimeSec, 0.01);
    EXPECT_EQ(s.rbwHz, 240000.0);
    EXPECT_EQ(s.zeroSpanFm, 0);
}

TEST_F(FrontPanelTest, ZeroSpanFmOffsetAbove120KilohertzIsReducedWithAMessage) {
    dialogs.zeroSpans = {ZeroSpanChoice{10.0, true}};
    dialogs.frequencies = {200e3};
    panel().OnZeroSpan();
    EXPECT_EQ(dialogs.openings[1].label, "Max FM Offset");
    EXPECT_EQ(dialogs.openings[1].start, 100e3);
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "FM Peak reduced to 100 KHz");
    EXPECT_EQ(prompter.Boxes()[0].caption, "Value must be <=120 KHz");
    EXPECT_EQ(Settings().maxFmOffsetHz, 100e3);
    EXPECT_EQ(Settings().zeroSpanFm, 1);
    EXPECT_EQ(F().SpanHz(), 0.0);

    dialogs.zeroSpans = {ZeroSpanChoice{10.0, true}};
    dialogs.frequencies = {5.0};
    panel().OnZeroSpan();
    EXPECT_EQ(Settings().maxFmOffsetHz, 10.0);
    EXPECT_EQ(prompter.Count(), 1u);
}

// The FM detector is chosen only with its offset: a cancelled (or not finite)
// offset leaves the detector, the offset and the frequencies as they were.
TEST_F(FrontPanelTest, ZeroSpanFmIsSetOnlyWhenTheOffsetIsConfirmed) {
    Edit([](InstrumentState& s) { s.maxFmOffsetHz = 50e3; });
    dialogs.zeroSpans = {ZeroSpanChoice{10.0, true}, ZeroSpanChoice{10.0, true}};
    dialogs.frequencies = {std::nullopt, kNaN};
    panel().OnZeroSpan();
    panel().OnZeroSpan();
    EXPECT_EQ(Settings().zeroSpanFm, 0);
    EXPECT_EQ(Settings().maxFmOffsetHz, 50e3);
    EXPECT_EQ(F().startHz, 902e6);
    EXPECT_EQ(F().stopHz, 928e6);
}

TEST_F(FrontPanelTest, ZeroSpanKeepsTheSweepStoppedWhileItsDialogsAreOpen) {
    StartSweeping();
    dialogs.zeroSpans = {ZeroSpanChoice{10.0, true}};
    panel().OnZeroSpan();  // the offset keypad is cancelled
    EXPECT_EQ(openedWhileSweeping, (std::vector<bool>{false, false}));
    EXPECT_TRUE(doc->SweepRunning());

    panel().OnZeroSpan();  // Zero Span Settings cancelled
    EXPECT_EQ(openedWhileSweeping.back(), false);
    EXPECT_TRUE(doc->SweepRunning());
    EXPECT_EQ(F().SpanHz(), 26e6);
}

// --- Amplitude ----------------------------------------------------------------------

// The entry is open while the sweep runs; the new level and the level plan's
// commands go out with it stopped, and sweeping goes on afterwards.
TEST_F(FrontPanelTest, ReferenceLevelEntryTakesBackTheOffsetAndProgramsWhilePaused) {
    Edit([](InstrumentState& s) { s.refLevelOffsetDb = 10.0; });
    StartSweeping();
    dialogs.amplitudes = {22.0};
    panel().OnReferenceLevel();
    EXPECT_EQ(dialogs.openings[0].label, "REF LEVEL");
    EXPECT_EQ(dialogs.openings[0].start, 10.0);
    EXPECT_EQ(openedWhileSweeping, std::vector<bool>{true});
    EXPECT_EQ(Settings().refLevelDbm, 12.0);
    EXPECT_EQ(Settings().attenDb, 15.0);
    const auto atten = SentWith('A');
    ASSERT_EQ(atten.size(), 1u);
    EXPECT_EQ(atten[0].bytes, (Bytes{'A', 3}));
    EXPECT_FALSE(atten[0].sweepRunning);
    for (const auto& gain : SentWith('I')) {
        EXPECT_FALSE(gain.sweepRunning);
    }
    EXPECT_TRUE(doc->SweepRunning());
}

TEST_F(FrontPanelTest, NotFiniteLevelsAreRefusedWithoutStoppingTheSweep) {
    StartSweeping();
    dialogs.amplitudes = {kNaN, kInf};
    panel().OnReferenceLevel();
    panel().OnReferenceLevel();
    EXPECT_EQ(Settings().refLevelDbm, 0.0);
    EXPECT_TRUE(SentWith('A').empty());
    EXPECT_EQ(sweepThreads.load(), 1);
}

TEST_F(FrontPanelTest, ReferenceLevelStepsRunTheLevelPlan) {
    panel().OnRefLevelUp();
    panel().OnRefLevelUp();
    EXPECT_EQ(Settings().refLevelDbm, 20.0);
    EXPECT_EQ(Settings().attenDb, 15.0);
    panel().OnRefLevelDown();
    EXPECT_EQ(Settings().refLevelDbm, 10.0);
    EXPECT_EQ(Settings().attenDb, 15.0);  // the plan never lowers it
    EXPECT_EQ(SentWith('A').size(), 3u);
}

TEST_F(FrontPanelTest, AttenuatorChoiceIsRaisedAgainByTheLevelPlan) {
    Edit([](InstrumentState& s) { s.refLevelDbm = 5.0; });
    dialogs.attenuators = {0};
    panel().OnAtten();
    EXPECT_EQ(dialogs.openings[0].start, 2.0);  // 10 dB preselected
    EXPECT_EQ(Settings().attenDb, 10.0);

    Edit([](InstrumentState& s) { s.refLevelDbm = -20.0; });
    dialogs.attenuators = {0};
    panel().OnAtten();
    EXPECT_EQ(Settings().attenDb, 0.0);

    dialogs.attenuators = {std::nullopt, 4, -1};
    for (int i = 0; i < 3; ++i) {
        panel().OnAtten();
    }
    EXPECT_EQ(Settings().attenDb, 0.0);
}

TEST_F(FrontPanelTest, DbPerDivSelectsLogEvenWhenCancelledAndRefusesUnusableScales) {
    panel().OnLin();
    EXPECT_EQ(Settings().linearScale, 1);
    EXPECT_EQ(Settings().refLevelInMv, 1);
    panel().OnDbPerDiv();
    EXPECT_EQ(dialogs.openings[0].start, 10.0);
    EXPECT_EQ(Settings().linearScale, 0);
    EXPECT_EQ(Settings().refLevelInMv, 0);

    dialogs.dbs = {0.0, -5.0, kNaN};
    for (int i = 0; i < 3; ++i) {
        panel().OnDbPerDiv();
    }
    EXPECT_EQ(Settings().dbPerDiv, 10.0);
    EXPECT_EQ(prompter.Count(), 3u);

    StartSweeping();
    dialogs.dbs = {2.5};
    panel().OnDbPerDiv();
    EXPECT_EQ(Settings().dbPerDiv, 2.5);
    EXPECT_TRUE(WaitFor([this] { return sweepThreads.load() == 2; }));
}

TEST_F(FrontPanelTest, LinSetsTenDbPerDivWithoutStoppingTheSweep) {
    Edit([](InstrumentState& s) { s.dbPerDiv = 2.0; });
    StartSweeping();
    panel().OnLin();
    EXPECT_EQ(Settings().dbPerDiv, 10.0);
    const int now = passes.load();
    ASSERT_TRUE(WaitFor([&] { return passes.load() >= now + 2; }));
    EXPECT_EQ(sweepThreads.load(), 1);
}

// --- Trigger ------------------------------------------------------------------------

TEST_F(FrontPanelTest, VideoTriggerOutsideZeroSpanOnlyExplains) {
    panel().OnVideo();
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "Video trigger in zero Span only");
    EXPECT_EQ(prompter.Boxes()[0].caption, "ZERO SPAN ONLY");
    EXPECT_TRUE(dialogs.openings.empty());
    EXPECT_FALSE(Settings().videoTrigger);
}

TEST_F(FrontPanelTest, VideoTriggerLevelBecomesASamplerThreshold) {
    doc->SetFrequencies(915e6, 915e6);
    Edit([](InstrumentState& s) {
        s.refLevelDbm = -10.0;
        s.refLevelOffsetDb = 7.0;  // not part of the trigger level
        s.dbPerDiv = 5.0;
    });
    dialogs.amplitudes = {-30.0};
    panel().OnVideo();
    EXPECT_EQ(dialogs.openings[0].label, "TRIGGER LEVEL");
    EXPECT_EQ(dialogs.openings[0].start, -20.0);
    const InstrumentState s = Settings();
    const double g = doc->AmplitudeCorrection(915e6);
    EXPECT_DOUBLE_EQ(s.videoTrigThreshold,
                     std::pow(10.0, (-30.0 - g - 10.0) / 10.0) * 1073741824.0);
    EXPECT_TRUE(s.videoTrigger);

    panel().OnFreeRun();
    EXPECT_FALSE(Settings().videoTrigger);
}

}  // namespace
}  // namespace tavlin
