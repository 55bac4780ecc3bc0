#include <QGroupBox>
#include <QPushButton>
#include <cmath>

#include "gui/main_frame_fixture.h"
#include "gui/modal_answerer.h"
#include "panel/qt_entry_dialogs.h"
#include "panel/qt_front_panel.h"

namespace tavlin::test {
namespace {

class FrontPanelTest : public MainFrameFixture {
  protected:
    QtFrontPanel& Panel() { return frame->Panel(); }

    void Press(int commandId) {
        QPushButton* button = Panel().Button(commandId);
        ASSERT_NE(button, nullptr) << commandId;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    double SpanHz() { return Doc().Frequencies().SpanHz(); }
    double CenterHz() { return Doc().Frequencies().CenterHz(); }
    InstrumentState Settings() {
        return Doc().ReadSettings([](const InstrumentState& s) { return s; });
    }
};

TEST_F(FrontPanelTest, GroupsHoldTheirButtonsInOrderWithExactCaptions) {
    QStringList layout;
    for (QGroupBox* group : Panel().findChildren<QGroupBox*>()) {
        layout << group->title();
        for (QPushButton* button : group->findChildren<QPushButton*>()) {
            layout << "  " + button->text();
        }
    }
    EXPECT_EQ(layout, QStringList({"FREQUENCY Controls",
                                   "  CENTER FREQ",
                                   "  --",
                                   "  +",
                                   "  START",
                                   "  STOP",
                                   "SPAN Controls",
                                   "  SET SPAN",
                                   "  --",
                                   "  +",
                                   "  ZERO SPAN",
                                   "  FULL SPAN",
                                   "AMPLITUDE Controls",
                                   "  REFERENCE LEVEL",
                                   "  --",
                                   "  +",
                                   "  ATTEN",
                                   "  dB/div",
                                   "  LIN",
                                   "MARKER Controls",
                                   "  PEAK",
                                   "  NORMAL",
                                   "  DELTA",
                                   "  OFF",
                                   "  MKR->CF",
                                   "  MKR->REF LVL",
                                   "TRACE Controls",
                                   "  NORMAL",
                                   "  MAX HOLD",
                                   "TRIGGER and SWEEP Controls",
                                   "  CONTINUOUS",
                                   "  SINGLE",
                                   "  FREE RUN",
                                   "  VIDEO",
                                   "Additional Controls",
                                   "  MEAS RCVR",
                                   "  3 dB points"}));
    ASSERT_NE(Panel().Button(1005), nullptr);
    EXPECT_EQ(Panel().Button(1005)->text(), "PRESET");
    EXPECT_EQ(Panel().Button(1005)->parentWidget(), &Panel());  // below the groups, not in one
    EXPECT_FALSE(Panel().Button(1029)->isEnabled());
    EXPECT_FALSE(Panel().Button(1029)->toolTip().isEmpty());
    EXPECT_EQ(Panel().width(), QtFrontPanel::kWidth);
}

TEST_F(FrontPanelTest, FrequencyAndSpanButtonsOpenTheirEntriesAndStep) {
    dialogs.frequencies = {100e6};
    Press(1004);  // CENTER FREQ
    ASSERT_EQ(dialogs.openings.size(), 1u);
    EXPECT_EQ(dialogs.openings[0].label, "CENTER FREQ");
    EXPECT_DOUBLE_EQ(*dialogs.openings[0].start, 915e6);
    EXPECT_DOUBLE_EQ(CenterHz(), 100e6);
    EXPECT_DOUBLE_EQ(SpanHz(), 26e6);

    Press(1020);  // SPAN --
    EXPECT_DOUBLE_EQ(SpanHz(), 20e6);
    Press(1021);  // SPAN +
    EXPECT_DOUBLE_EQ(SpanHz(), 50e6);
    Press(1031);  // CENTER + by the 10 MHz step
    EXPECT_DOUBLE_EQ(CenterHz(), 110e6);

    Press(1007);  // FULL SPAN
    EXPECT_DOUBLE_EQ(Doc().Frequencies().startHz, 200e3);
    EXPECT_DOUBLE_EQ(Doc().Frequencies().stopHz, 4.4e9);
    EXPECT_EQ(prompter.Count(), 0u);
}

TEST_F(FrontPanelTest, ZeroSpanWithFmAndVideoTriggerShowTheirMessages) {
    Press(1024);  // VIDEO outside zero span
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "Video trigger in zero Span only");
    EXPECT_EQ(prompter.Boxes()[0].caption, "ZERO SPAN ONLY");

    dialogs.zeroSpans = {ZeroSpanChoice{500.0, true}};
    dialogs.frequencies = {200e3};  // Max FM Offset above 120 kHz
    Press(1006);                    // ZERO SPAN
    ASSERT_EQ(prompter.Count(), 2u);
    EXPECT_EQ(prompter.Boxes()[1].text, "FM Peak reduced to 100 KHz");
    EXPECT_EQ(prompter.Boxes()[1].caption, "Value must be <=120 KHz");
    const InstrumentState s = Settings();
    EXPECT_EQ(s.zeroSpanFm, 1);
    EXPECT_DOUBLE_EQ(s.maxFmOffsetHz, 100e3);
    EXPECT_DOUBLE_EQ(s.rbwHz, 60e3);
    EXPECT_DOUBLE_EQ(SpanHz(), 0.0);
    EXPECT_EQ(dialogs.Labels().back(), "Max FM Offset");
}

TEST_F(FrontPanelTest, AmplitudeTraceAndMarkerButtonsChangeTheState) {
    dialogs.attenuators = {0};
    Doc().EditSettings([](InstrumentState& s) { s.refLevelDbm = 5.0; });
    Press(1009);  // ATTEN 0 dB with +5 dBm: the level plan raises it again
    EXPECT_DOUBLE_EQ(Settings().attenDb, 10.0);

    Press(1044);  // LIN
    EXPECT_EQ(Settings().linearScale, 1);
    Press(1010);  // dB/div, cancelled: log scale all the same
    EXPECT_EQ(Settings().linearScale, 0);

    Press(1019);  // MAX HOLD
    EXPECT_EQ(Settings().maxHold, 1);
    Press(1018);
    EXPECT_EQ(Settings().maxHold, 0);

    Press(1014);  // PEAK
    Press(1012);  // DELTA
    MarkerState markers;
    {
        std::lock_guard lock(Doc().traceMutex);
        markers = Doc().markers;
    }
    EXPECT_EQ(markers.marker1On, 1);
    EXPECT_EQ(markers.marker2On, 1);
    EXPECT_EQ(markers.markerDelta, 1);
    Press(1013);  // OFF
    {
        std::lock_guard lock(Doc().traceMutex);
        EXPECT_EQ(Doc().markers.marker1On, 0);
        EXPECT_EQ(Doc().markers.markerDelta, 0);
    }
}

TEST_F(FrontPanelTest, SweepButtonsRunAndPresetStops) {
    Press(1026);  // SINGLE
    WaitForSweepEnd();
    Press(1025);  // CONTINUOUS
    EXPECT_TRUE(Doc().SweepRunning());
    Doc().SetCenterSpan(100e6, 1e6);
    Press(1005);  // PRESET
    EXPECT_FALSE(Doc().SweepRunning());
    EXPECT_DOUBLE_EQ(CenterHz(), 915e6);
    EXPECT_DOUBLE_EQ(SpanHz(), 26e6);
}

// The real dialogs, cancelled by the user: the panel still does what a
// cancel means (dB/div leaves the linear scale) and nothing else changes.
TEST_F(FrontPanelTest, RealDialogsOpenOverTheWindowAndCancelCleanly) {
    frame.reset();
    QtEntryDialogs real(nullptr);
    frame = std::make_unique<QtMainFrame>(Doc(), real);
    ModalAnswerer answerer;
    QStringList opened;
    answerer.OnDialog([&opened](QDialog& dialog) {
        opened << dialog.windowTitle();
        dialog.reject();
    });
    Press(1044);
    Press(1010);
    Press(1004);
    EXPECT_EQ(opened.size(), 2);
    EXPECT_EQ(Settings().linearScale, 0);
    EXPECT_DOUBLE_EQ(CenterHz(), 915e6);
    frame.reset();
}

}  // namespace
}  // namespace tavlin::test
