#include <limits>

#include "panel/front_panel_commands.h"
#include "panel/panel_fixture.h"

namespace tavlin {
namespace {

using test::PanelFixture;
using Kind = test::ScriptedEntryDialogs::Kind;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Starts at the preset: 902 .. 928 MHz, 0 dBm, 10 dB, 10 dB/div.
class FrontPanelTest : public PanelFixture {
  protected:
    void SetUp() override { BuildPanelDocument(); }
    FrontPanelCommands panel() { return FrontPanelCommands(*doc, dialogs); }
    FrequencyPair F() const { return doc->Frequencies(); }
};

// --- Frequency and span ---------------------------------------------------------------

TEST_F(FrontPanelTest, CenterFreqShowsAndTakesBackTheDownconverterOffset) {
    Edit([](InstrumentState& s) { s.freqOffsetHz = 100e6; });
    dialogs.frequencies = {2015e6};
    panel().OnCenterFreq();
    EXPECT_EQ(dialogs.openings[0].label, "CENTER FREQ");
    EXPECT_EQ(dialogs.openings[0].start, 1015e6);
    EXPECT_EQ(F().startHz, 1902e6);
    EXPECT_EQ(F().stopHz, 1928e6);
}

TEST_F(FrontPanelTest, CancelledOrNotFiniteEntriesChangeNothing) {
    using Command = void (FrontPanelCommands::*)();
    for (Command command : {&FrontPanelCommands::OnCenterFreq, &FrontPanelCommands::OnStartFreq,
                            &FrontPanelCommands::OnStopFreq, &FrontPanelCommands::OnSetSpan}) {
        dialogs.frequencies = {std::nullopt, kNaN, -kInf};
        for (int i = 0; i < 3; ++i) {
            (panel().*command)();
        }
    }
    dialogs.amplitudes = {kNaN, kInf};
    panel().OnReferenceLevel();
    panel().OnReferenceLevel();
    EXPECT_EQ(F().startHz, 902e6);
    EXPECT_EQ(F().stopHz, 928e6);
    EXPECT_EQ(Settings().refLevelDbm, 0.0);
    EXPECT_TRUE(SentWith('A').empty());
    EXPECT_EQ(views.updates.load(), 0);
}

// Frequency changes are taken at the next pass: none stops the sweep thread.
TEST_F(FrontPanelTest, FrequencyCommandsLeaveTheSweepRunning) {
    StartSweeping();
    dialogs.frequencies = {915e6, 10e6};
    panel().OnCenterFreq();
    panel().OnSetSpan();
    panel().OnCenterStepUp();
    panel().OnSpanDown();
    const int now = passes.load();
    ASSERT_TRUE(WaitFor([&] { return passes.load() >= now + 2; }));
    EXPECT_EQ(sweepThreads.load(), 1);
    EXPECT_EQ(openedWhileSweeping, std::vector<bool>(2, true));
}

TEST_F(FrontPanelTest, SpanStepsKeepTheCentre) {
    panel().OnSpanDown();  // from 26 MHz
    EXPECT_EQ(F().startHz, 905e6);
    EXPECT_EQ(F().stopHz, 925e6);
    EXPECT_EQ(Settings().rbwHz, doc->PredictRbw(20e6));
    panel().OnFullSpan();
    panel().OnSpanUp();  // from 4.3998 GHz
    EXPECT_EQ(F().startHz, 1200.1e6);
    EXPECT_EQ(F().stopHz, 3200.1e6);
}

// Widening a span below 100 Hz is validated: at 0 Hz the start stays at 0.
TEST_F(FrontPanelTest, SpanDownFromZeroSpanGivesOneHundredHertzInsideTheBand) {
    doc->SetFrequencies(915e6, 915e6);
    panel().OnSpanDown();
    EXPECT_EQ(F().startHz, 915e6 - 50.0);
    EXPECT_EQ(F().stopHz, 915e6 + 50.0);
    doc->SetFrequencies(0.0, 0.0);
    panel().OnSpanDown();
    EXPECT_EQ(F().startHz, 0.0);
    EXPECT_EQ(F().stopHz, 0.0);
}

// Any span entry leaves the FM detector, even a cancelled one.
TEST_F(FrontPanelTest, SetSpanOfZeroGoesStraightIntoZeroSpanSettings) {
    Edit([](InstrumentState& s) { s.zeroSpanFm = 1; });
    panel().OnSetSpan();
    EXPECT_EQ(Settings().zeroSpanFm, 0);

    dialogs.frequencies = {0.0};
    dialogs.zeroSpans = {ZeroSpanChoice{500.0, false}};
    panel().OnSetSpan();
    ASSERT_EQ(dialogs.openings.size(), 3u);
    EXPECT_EQ(dialogs.openings[2].kind, Kind::ZeroSpan);
    EXPECT_EQ(dialogs.openings[2].start, 10.0);
    EXPECT_EQ(F().startHz, 915e6);
    EXPECT_EQ(F().stopHz, 915e6);
    EXPECT_EQ(Settings().rbwHz, 60000.0);
}

// --- Zero span ------------------------------------------------------------------------

TEST_F(FrontPanelTest, ZeroSpanFmOffsetAbove120KilohertzIsReducedWithAMessage) {
    dialogs.zeroSpans = {ZeroSpanChoice{10.0, true}, ZeroSpanChoice{10.0, true}};
    dialogs.frequencies = {200e3, 5.0};
    panel().OnZeroSpan();
    EXPECT_EQ(dialogs.openings[1].label, "Max FM Offset");
    EXPECT_EQ(dialogs.openings[1].start, 100e3);
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "FM Peak reduced to 100 KHz");
    EXPECT_EQ(prompter.Boxes()[0].caption, "Value must be <=120 KHz");
    EXPECT_EQ(Settings().maxFmOffsetHz, 100e3);
    EXPECT_EQ(Settings().zeroSpanFm, 1);
    EXPECT_EQ(Settings().rbwHz, 240000.0);

    panel().OnZeroSpan();
    EXPECT_EQ(Settings().maxFmOffsetHz, 10.0);
}

// A cancelled (or not finite) offset leaves detector, offset and span as they were.
TEST_F(FrontPanelTest, ZeroSpanFmIsSetOnlyWhenTheOffsetIsConfirmed) {
    Edit([](InstrumentState& s) { s.maxFmOffsetHz = 50e3; });
    dialogs.zeroSpans = {ZeroSpanChoice{10.0, true}, ZeroSpanChoice{10.0, true}};
    dialogs.frequencies = {std::nullopt, kNaN};
    panel().OnZeroSpan();
    panel().OnZeroSpan();
    EXPECT_EQ(Settings().zeroSpanFm, 0);
    EXPECT_EQ(Settings().maxFmOffsetHz, 50e3);
    EXPECT_EQ(F().SpanHz(), 26e6);
}

TEST_F(FrontPanelTest, ZeroSpanKeepsTheSweepStoppedWhileItsDialogsAreOpen) {
    StartSweeping();
    dialogs.zeroSpans = {ZeroSpanChoice{10.0, true}};
    panel().OnZeroSpan();  // the offset keypad is cancelled
    panel().OnZeroSpan();  // Zero Span Settings is cancelled
    EXPECT_EQ(openedWhileSweeping, (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(doc->SweepRunning());
}

// --- Amplitude ------------------------------------------------------------------------

// The entry is open while the sweep runs; the level and the level plan's
// commands go out with it stopped, and sweeping goes on afterwards.
TEST_F(FrontPanelTest, ReferenceLevelTakesBackTheOffsetAndProgramsWhilePaused) {
    Edit([](InstrumentState& s) { s.refLevelOffsetDb = 10.0; });
    StartSweeping();
    dialogs.amplitudes = {22.0};
    panel().OnReferenceLevel();
    EXPECT_EQ(dialogs.openings[0].start, 10.0);
    EXPECT_EQ(openedWhileSweeping, std::vector<bool>{true});
    EXPECT_EQ(Settings().refLevelDbm, 12.0);
    const auto atten = SentWith('A');
    ASSERT_EQ(atten.size(), 1u);
    EXPECT_EQ(atten[0].bytes, (Bytes{'A', 3}));  // raised to 15 dB
    EXPECT_FALSE(atten[0].sweepRunning);
    EXPECT_TRUE(doc->SweepRunning());
}

TEST_F(FrontPanelTest, DbPerDivSelectsLogEvenWhenCancelledAndRefusesUnusableScales) {
    panel().OnLin();
    panel().OnDbPerDiv();
    EXPECT_EQ(Settings().linearScale, 0);
    EXPECT_EQ(Settings().refLevelInMv, 0);

    dialogs.dbs = {0.0, -5.0, kNaN, 2.5};
    for (int i = 0; i < 3; ++i) {
        panel().OnDbPerDiv();
    }
    EXPECT_EQ(Settings().dbPerDiv, 10.0);
    EXPECT_EQ(prompter.Count(), 3u);
    panel().OnDbPerDiv();
    EXPECT_EQ(Settings().dbPerDiv, 2.5);
}

// --- Trigger --------------------------------------------------------------------------

TEST_F(FrontPanelTest, VideoTriggerOnlyInZeroSpan) {
    panel().OnVideo();
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "Video trigger in zero Span only");
    EXPECT_EQ(prompter.Boxes()[0].caption, "ZERO SPAN ONLY");
    EXPECT_TRUE(dialogs.openings.empty());

    doc->SetFrequencies(915e6, 915e6);
    Edit([](InstrumentState& s) { s.refLevelOffsetDb = 7.0; });  // not part of it
    dialogs.amplitudes = {-30.0};
    panel().OnVideo();
    EXPECT_EQ(dialogs.openings[0].label, "TRIGGER LEVEL");
    EXPECT_EQ(dialogs.openings[0].start, -20.0);
    EXPECT_TRUE(Settings().videoTrigger);
}

}  // namespace
}  // namespace tavlin
