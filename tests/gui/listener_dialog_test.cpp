// The Listen dialog: its fields and buttons, and the opening and closing
// around it. The sound itself is tested with the listener.
#include "sim/virtual_instrument.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>

#include "gui/gui_fixtures.h"
#include "support/recording_prompter.h"
#include "utilities/listener/qt_listener_dialog.h"
#include "utilities/utility_session.h"

namespace tavlin::test {
namespace {

template <typename W>
W* Child(QWidget& parent, const QString& text) {
    for (W* w : parent.findChildren<W*>()) {
        if (w->text() == text) {
            return w;
        }
    }
    ADD_FAILURE() << "no widget " << text.toStdString();
    return nullptr;
}

QLineEdit* Field(QWidget& parent, int index) {
    return parent.findChildren<QLineEdit*>().at(index);  // frequency, de-emphasis
}

class ListenerDialogTest : public ::testing::Test {
  protected:
    RecordingPrompter prompter;
    GuiDocument gui{prompter};
    AnalyzerDocument& doc = gui.Doc();
};

TEST_F(ListenerDialogTest, OpensAtMarker1AndClosingMovesItAndKeepsTheChoices) {
    doc.SetCenterSpan(100e6, 1e6);
    doc.EditMarkers([](MarkerState& m, const auto&) {
        m.marker1On = 1;
        m.marker1Pos = 100.2e6;
    });
    doc.EditSettings([](InstrumentState& s) {
        s.listenFm = false;
        s.listenWideIf = false;
        s.listenDeemphasisUs = 50.0;
    });
    ModalAnswerer answerer;
    bool seen = false;
    answerer.OnDialog([&](QDialog& d) {
        seen = true;
        EXPECT_EQ(Field(d, 0)->text(), "100.2");
        EXPECT_EQ(Field(d, 1)->text(), "50");
        EXPECT_TRUE(Child<QRadioButton>(d, "AM")->isChecked());
        EXPECT_TRUE(Child<QCheckBox>(d, "30 KHz IF")->isChecked());
        EXPECT_FALSE(Child<QCheckBox>(d, "120 KHz IF")->isChecked());
        Child<QRadioButton>(d, "FM")->click();
        Child<QCheckBox>(d, "120 KHz IF")->click();
        Field(d, 0)->setText("433.92");
        Field(d, 1)->setText("75");
        Child<QPushButton>(d, "Start")
            ->click();  // takes the fields, plays through ALSA or says Error 7
        d.accept();
    });
    RunListenDialog(doc, nullptr);
    ASSERT_TRUE(seen);
    const InstrumentState s = doc.Settings();
    EXPECT_TRUE(s.listenFm);
    EXPECT_TRUE(s.listenWideIf);
    EXPECT_EQ(s.listenDeemphasisUs, 75.0);
    EXPECT_EQ(doc.ReadTrace([](const auto& screen) { return screen.markers.marker1Pos; }),
              433.92e6);
    EXPECT_EQ(doc.Frequencies().CenterHz(), 100e6);
    EXPECT_EQ(doc.Frequencies().SpanHz(), 1e6);
}

TEST_F(ListenerDialogTest, StartPlaysAChangeShowsApplyStopEndsAndFieldsAreChecked) {
    const std::filesystem::path wav = gui.Directory() / "take";
    UtilitySession session(doc);
    QtListenerDialog dialog(session.Instrument(), {433.92e6, true, false, 125.0});
    dialog.chooseRecording = [&wav] { return QString::fromStdString(wav.string()); };
    dialog.show();
    Child<QCheckBox>(dialog, "Record to file...")->click();
    QPushButton* start = Child<QPushButton>(dialog, "Start");

    Field(dialog, 0)->setText("4400.1");
    start->click();
    Field(dialog, 0)->setText("433.92");
    Field(dialog, 1)->setText("1001.5");
    start->click();
    ASSERT_EQ(prompter.Boxes().size(), 2u);
    EXPECT_EQ(prompter.Boxes()[0].text, "Please enter a number between 0.1 and 4400.0.");
    EXPECT_EQ(prompter.Boxes()[1].text, "Please enter a number between 0.0 and 1001.0.");
    EXPECT_EQ(start->text(), "Start");

    Field(dialog, 1)->setText("0");
    start->click();
    EXPECT_EQ(start->text(), "playing");
    Child<QRadioButton>(dialog, "AM")->click();
    EXPECT_EQ(start->text(), "playing");
    QCheckBox* wide = Child<QCheckBox>(dialog, "120 KHz IF");
    wide->click();
    wide->click();  // the ticked box stays ticked
    EXPECT_TRUE(wide->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "30 KHz IF")->isChecked());
    EXPECT_EQ(start->text(), "APPLY");
    start->click();  // APPLY: a second take beside the first
    EXPECT_EQ(start->text(), "playing");
    Child<QPushButton>(dialog, "STOP")->click();
    EXPECT_EQ(start->text(), "Start");
    EXPECT_TRUE(std::filesystem::exists(wav.string() + ".wav"));
    EXPECT_TRUE(std::filesystem::exists(wav.string() + "-2.wav"));
    EXPECT_FALSE(dialog.Settings().fm);
    EXPECT_TRUE(dialog.Settings().wideIf);
    EXPECT_EQ(prompter.Boxes().size(), 2u);
}

}  // namespace
}  // namespace tavlin::test
