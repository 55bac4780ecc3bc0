#include <limits>

#include "panel/front_panel_commands.h"
#include "panel/panel_fixture.h"

namespace tavlin {
namespace {

using Kind = test::ScriptedEntryDialogs::Kind;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Starts at the preset: 902 .. 928 MHz, 0 dBm, 10 dB, 10 dB/div.
class FrontPanelCommandsTest : public test::PanelFixture {
  protected:
    void SetUp() override { BuildPanelDocument(); }
    FrontPanelCommands panel() { return FrontPanelCommands(*doc, dialogs); }
    FrequencyPair F() const { return doc->Frequencies(); }
};

TEST_F(FrontPanelCommandsTest, CenterFreqShowsAndTakesBackTheDownconverterOffset) {
    Edit([](InstrumentState& s) { s.freqOffsetHz = 100e6; });
    dialogs.frequencies = {2015e6};
    panel().OnCenterFreq();
    EXPECT_EQ(dialogs.openings[0].label, "CENTER FREQ");
    EXPECT_EQ(dialogs.openings[0].start, 1015e6);
    EXPECT_EQ(F().startHz, 1902e6);
    EXPECT_EQ(F().stopHz, 1928e6);
}

TEST_F(FrontPanelCommandsTest, CancelledOrNotFiniteEntriesChangeNothing) {
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
}

// The steps keep the centre; widening a zero span gives 100 Hz, and at 0 Hz
// the start stays at 0.
TEST_F(FrontPanelCommandsTest, SpanStepsKeepTheCentreInsideTheBand) {
    struct Row {
        const char* name;
        double start, stop;
        void (FrontPanelCommands::*command)();
        double newStart, newStop;
    };
    const Row rows[] = {
        {"down from 26 MHz", 902e6, 928e6, &FrontPanelCommands::OnSpanDown, 905e6, 925e6},
        {"up from full span", 0.2e6, 4.4e9, &FrontPanelCommands::OnSpanUp, 1200.1e6, 3200.1e6},
        {"out of zero span", 915e6, 915e6, &FrontPanelCommands::OnSpanDown, 915e6 - 50, 915e6 + 50},
        {"zero span at 0 Hz", 0.0, 0.0, &FrontPanelCommands::OnSpanDown, 0.0, 0.0},
    };
    for (const Row& row : rows) {
        doc->SetFrequencies(row.start, row.stop);
        (panel().*row.command)();
        EXPECT_EQ(F().startHz, row.newStart) << row.name;
        EXPECT_EQ(F().stopHz, row.newStop) << row.name;
    }
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
    EXPECT_EQ(dialogs.openings[2].kind, Kind::ZeroSpan);
    EXPECT_EQ(dialogs.openings[2].start, 10.0);
    EXPECT_EQ(F().startHz, 915e6);
    EXPECT_EQ(F().stopHz, 915e6);
    EXPECT_EQ(Settings().rbwHz, 60000.0);
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
        EXPECT_EQ(F().SpanHz(), 26e6);
    }
    panel().OnZeroSpan();
    EXPECT_EQ(dialogs.openings[5].label, "Max FM Offset");
    EXPECT_EQ(dialogs.openings[5].start, 100e3);
    EXPECT_EQ(Boxes(),
              std::vector<std::string>{"Value must be <=120 KHz|FM Peak reduced to 100 KHz"});
    EXPECT_EQ(Settings().maxFmOffsetHz, 100e3);
    EXPECT_EQ(Settings().zeroSpanFm, 1);
    EXPECT_EQ(Settings().rbwHz, 240000.0);
}

// Frequency changes are taken at the next pass: none stops the sweep thread.
// The reference level's entry is open while the sweep runs, Zero Span's
// dialogs are not; the level plan's commands go out with the sweep stopped,
// and sweeping goes on afterwards.
TEST_F(FrontPanelCommandsTest, OnlyInstrumentCommandsAndZeroSpanPauseTheSweep) {
    Edit([](InstrumentState& s) { s.refLevelOffsetDb = 10.0; });
    StartSweeping();
    dialogs.frequencies = {915e6, 10e6};
    panel().OnCenterFreq();
    panel().OnSetSpan();
    panel().OnCenterStepUp();
    panel().OnSpanDown();
    const int now = passes.load();
    ASSERT_TRUE(WaitFor([&] { return passes.load() >= now + 2; }));
    EXPECT_EQ(sweepThreads.load(), 1);

    dialogs.amplitudes = {22.0};
    panel().OnReferenceLevel();
    EXPECT_EQ(dialogs.openings[2].start, 10.0) << "the level is shown with the offset";
    EXPECT_EQ(Settings().refLevelDbm, 12.0);
    const auto atten = SentWith('A');
    ASSERT_EQ(atten.size(), 1u);
    EXPECT_EQ(atten[0].bytes, (Bytes{'A', 3}));  // raised to 15 dB
    EXPECT_FALSE(atten[0].sweepRunning);

    dialogs.zeroSpans = {ZeroSpanChoice{10.0, true}};
    panel().OnZeroSpan();  // the offset keypad is cancelled
    panel().OnZeroSpan();  // Zero Span Settings is cancelled
    EXPECT_EQ(openedWhileSweeping, (std::vector<bool>{true, true, true, false, false, false}));
    EXPECT_TRUE(doc->SweepRunning());
}

TEST_F(FrontPanelCommandsTest, DbPerDivSelectsLogEvenWhenCancelledAndRefusesUnusableScales) {
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

// The trigger level is entered without the reference level offset.
TEST_F(FrontPanelCommandsTest, VideoTriggerOnlyInZeroSpan) {
    panel().OnVideo();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"ZERO SPAN ONLY|Video trigger in zero Span only"});
    EXPECT_TRUE(dialogs.openings.empty());

    doc->SetFrequencies(915e6, 915e6);
    Edit([](InstrumentState& s) { s.refLevelOffsetDb = 7.0; });
    dialogs.amplitudes = {-30.0};
    panel().OnVideo();
    EXPECT_EQ(dialogs.openings[0].label, "TRIGGER LEVEL");
    EXPECT_EQ(dialogs.openings[0].start, -20.0);
    EXPECT_TRUE(Settings().videoTrigger);
}

}  // namespace
}  // namespace tavlin
