#include <limits>
#include <utility>

#include "panel/front_panel_commands.h"
#include "panel/panel_fixture.h"

namespace tavlin {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Starts at the preset: 902 .. 928 MHz, 0 dBm, 10 dB, 10 dB/div.
class FrontPanelCommandsTest : public test::PanelFixture {
  protected:
    FrontPanelCommands panel() { return FrontPanelCommands(*doc, dialogs); }
    std::pair<double, double> Frequencies() const {
        const FrequencyPair f = doc->Frequencies();
        return {f.startHz, f.stopHz};
    }
};

TEST_F(FrontPanelCommandsTest, CenterFreqShowsAndTakesBackTheDownconverterOffset) {
    Edit([](InstrumentState& s) { s.freqOffsetHz = 100e6; });
    dialogs.frequencies = {2015e6};
    panel().OnCenterFreq();
    EXPECT_EQ(dialogs.openings[0].start, 1015e6);
    EXPECT_EQ(Frequencies(), std::pair(1902e6, 1928e6));
}

// The trigger level is entered in dBm from two divisions below the top line,
// without the reference level offset, and only in zero span.
TEST_F(FrontPanelCommandsTest, VideoTriggerTakesItsLevelInZeroSpanOnly) {
    dialogs.amplitudes = {-30.0, -20.0};
    panel().OnVideo();
    EXPECT_EQ(prompter.Boxes().at(0).caption, "ZERO SPAN ONLY");

    doc->SetFrequencies(915e6, 915e6);
    panel().OnVideo();
    const double threshold = Settings().videoTrigThreshold;
    Edit([](InstrumentState& s) { s.refLevelOffsetDb = 10.0; });
    panel().OnVideo();
    EXPECT_EQ(dialogs.openings[0].start, -20.0);
    EXPECT_TRUE(Settings().videoTrigger);
    EXPECT_NEAR(Settings().videoTrigThreshold / threshold, 10.0, 1e-9);
}

// Any span entry leaves the FM detector, even a cancelled one.
TEST_F(FrontPanelCommandsTest, SetSpanBelowOneHertzGoesStraightIntoZeroSpanSettings) {
    Edit([](InstrumentState& s) { s.zeroSpanFm = 1; });
    panel().OnSetSpan();
    EXPECT_EQ(Settings().zeroSpanFm, 0);

    dialogs.frequencies = {0.5};  // below 1 Hz is zero span, as the sweep sweeps it
    dialogs.zeroSpans = {ZeroSpanChoice{500.0, false}};
    panel().OnSetSpan();
    ASSERT_EQ(dialogs.openings.size(), 3u);
    EXPECT_EQ(dialogs.openings[2].kind, test::ScriptedEntryDialogs::Kind::ZeroSpan);
    EXPECT_EQ(dialogs.openings[2].start, 10.0);
    EXPECT_EQ(Frequencies(), std::pair(915e6, 915e6));
    EXPECT_EQ(Settings().rbwHz, 60000.0);

    panel().OnFullSpan();
    EXPECT_EQ(Settings().rbwHz, 5e6) << "the full span's RBW, not the one left from zero span";
}

// The FM detector is set only once its offset is confirmed (not cancelled,
// finite), and an offset above 120 kHz is reduced with a message.
TEST_F(FrontPanelCommandsTest, ZeroSpanFmTakesOnlyAConfirmedOffsetOfAtMost120Kilohertz) {
    Edit([](InstrumentState& s) { s.maxFmOffsetHz = 50e3; });
    dialogs.zeroSpans = {3, ZeroSpanChoice{10.0, true}};
    dialogs.frequencies = {std::nullopt, kNaN, 200e3};
    for (int i = 0; i < 2; ++i) {
        panel().OnZeroSpan();
        EXPECT_EQ(Settings().zeroSpanFm, 0);
        EXPECT_EQ(Settings().maxFmOffsetHz, 50e3);
        EXPECT_EQ(Frequencies(), std::pair(902e6, 928e6));
    }
    panel().OnZeroSpan();
    EXPECT_EQ(dialogs.openings[5].start, 100e3);
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "Value must be <=120 KHz");
    EXPECT_EQ(prompter.Boxes()[0].text, "FM Peak reduced to 100 KHz");
    EXPECT_EQ(Settings().maxFmOffsetHz, 100e3);
    EXPECT_EQ(Settings().zeroSpanFm, 1);
    EXPECT_EQ(Settings().rbwHz, 240000.0);
}

// The reference level's entry is open while the sweep runs, and shows and
// takes back the offset; Zero Span's dialogs are not, and sweeping goes on
// after them.
TEST_F(FrontPanelCommandsTest, ZeroSpanDialogsPauseTheSweepTheLevelEntryDoesNot) {
    Edit([](InstrumentState& s) { s.refLevelOffsetDb = 10.0; });
    StartSweeping();
    dialogs.amplitudes = {22.0};
    panel().OnReferenceLevel();
    EXPECT_EQ(dialogs.openings[0].start, 10.0);
    EXPECT_EQ(Settings().refLevelDbm, 12.0);
    dialogs.zeroSpans = {ZeroSpanChoice{10.0, true}};
    panel().OnZeroSpan();  // the offset keypad is cancelled
    panel().OnZeroSpan();  // Zero Span Settings is cancelled
    EXPECT_EQ(openedWhileSweeping, (std::vector<bool>{true, false, false, false}));
    EXPECT_TRUE(doc->SweepRunning());
}

}  // namespace
}  // namespace tavlin
