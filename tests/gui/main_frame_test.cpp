// The analyzer window on the virtual instrument: its layout, the menus and
// the front panel reaching their commands, state files and exports through
// the File menu, closing. What each command does is tested with the command.
#include <gtest/gtest.h>

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <filesystem>
#include <functional>
#include <tuple>

#include "app/qt_about_dialog.h"
#include "app/qt_application.h"
#include "app/qt_file_menu.h"
#include "app/qt_main_frame.h"
#include "gui/gui_fixtures.h"
#include "panel/qt_front_panel.h"
#include "panel/qt_settings_menu.h"
#include "support/recording_prompter.h"
#include "support/scripted_entry_dialogs.h"
#include "view/qt_plot_view.h"

namespace tavlin::test {
namespace {

// The main window with scripted entry dialogs and recorded message boxes.
// Settings go to Qt's test location, never to the user's own.
class MainFrameTest : public ::testing::Test {
  protected:
    MainFrameTest() {
        QStandardPaths::setTestModeEnabled(true);
        QtApplication::SetSettingsKey();
        QSettings().remove(QStringLiteral("Recent File List"));
        frame = std::make_unique<QtMainFrame>(Doc(), dialogs);
    }
    ~MainFrameTest() override {
        Doc().CloseDocument();
        frame.reset();
    }

    AnalyzerDocument& Doc() { return gui.Doc(); }
    InstrumentState Settings() {
        return Doc().ReadSettings([](const InstrumentState& s) { return s; });
    }
    QAction* Action(const char* name) const { return frame->findChild<QAction*>(name); }
    QString PathIn(const char* name) const {
        return QString::fromStdString((gui.Directory() / name).string());
    }

    RecordingPrompter prompter;
    ScriptedEntryDialogs dialogs;
    GuiDocument gui{prompter};
    std::unique_ptr<QtMainFrame> frame;
};

// The panel sits right of the 660-pixel plot, inside the window.
TEST_F(MainFrameTest, ThePanelSitsBesideThePlot) {
    frame->Place();
    QTest::qWait(20);
    const QRect panel = frame->Panel().geometry();
    EXPECT_GE(panel.left(), 660);
    EXPECT_LE(frame->Panel().mapTo(frame.get(), QPoint(panel.width(), 0)).x(), 950);
}

// The marks are the menu commands' own; the menu asks for them each time
// it or one of its submenus opens.
TEST_F(MainFrameTest, MenusReachTheirCommandsAndShowTheirMarks) {
    QtSettingsMenu& settings = frame->SettingsMenu();
    settings.Action(32783)->trigger();  // Video Averaging 10
    EXPECT_EQ(Settings().videoAvgCount, 10);
    Doc().EditSettings([](InstrumentState& s) { s.videoAvgCount = 1; });
    Q_EMIT settings.findChild<QMenu*>()->aboutToShow();
    EXPECT_TRUE(settings.Action(32782)->isChecked());
    EXPECT_FALSE(settings.Action(32783)->isChecked());

    Action("action32804")->trigger();  // Trace, View Trace B
    Q_EMIT frame->findChild<QMenu*>(QStringLiteral("traceMenu"))->aboutToShow();
    EXPECT_TRUE(Action("action32804")->isChecked());
    dialogs.titles = {std::string("Antenna test")};
    Action("action32771")->trigger();  // Edit, Set Title
    EXPECT_EQ(Settings().title, "Antenna test");

    ModalAnswerer answerer;
    QStringList opened;
    answerer.OnDialog([&opened](QDialog& dialog) {
        opened << dialog.windowTitle();
        dialog.accept();
    });
    Action("about")->trigger();
    Action("action32821")->trigger();  // Help, Annunciator Help
    EXPECT_EQ(opened, QStringList({"About Tavlin", "Annunciators Used"}));
}

TEST_F(MainFrameTest, AboutShowsTheIdentityReadAtPresetWithoutAskingTheUnit) {
    const int writesBefore = gui.Writes();
    QtAboutDialog about(Doc(), frame.get());
    EXPECT_EQ(gui.Writes(), writesBefore);
    EXPECT_EQ(about.FirmwareText(), "Firmware Tavlin 2.03");
    EXPECT_EQ(about.SerialText(), "Serial # TV000123");
}

// Which points are columns of the graticule is tested with the plot
// geometry; here the mouse reaches the status bar and the marker.
TEST_F(MainFrameTest, TheMouseReadsTheCursorAndALeftClickPlacesTheMarker) {
    const auto send = [this](QEvent::Type type, int x, Qt::MouseButton button) {
        QMouseEvent event(type, QPointF(x, 300), QPointF(x, 300), button, Qt::MouseButtons(button),
                          Qt::NoModifier);
        QApplication::sendEvent(&frame->View(), &event);
        return frame->StatusMessage().toStdString();
    };
    EXPECT_EQ(send(QEvent::MouseMove, 330, Qt::NoButton).rfind("Cursor at 915.000000 MHz", 0), 0u)
        << "the column under the pointer, not the frame's";
    EXPECT_EQ(send(QEvent::MouseMove, 660, Qt::NoButton), "") << "right of the trace";

    send(QEvent::MouseButtonPress, 330, Qt::LeftButton);
    EXPECT_EQ(test::MarkersOf(Doc()).marker1On, 1);
    EXPECT_DOUBLE_EQ(test::MarkersOf(Doc()).marker1Pos, 915e6);
}

TEST_F(MainFrameTest, ClosingTheWindowStopsTheSweepAndClosesTheLink) {
    Doc().OnContinuous();
    EXPECT_TRUE(Doc().SweepRunning());
    frame->Place();
    EXPECT_TRUE(frame->close());
    EXPECT_FALSE(Doc().SweepRunning());
    EXPECT_FALSE(Doc().link.IsOpen());
}

using QtFrontPanelTest = MainFrameTest;

// One button of each group, pressed as the user does, in turn.
TEST_F(QtFrontPanelTest, EachGroupsButtonsReachTheirCommands) {
    dialogs.frequencies = {100e6};
    dialogs.attenuators = {3};
    const std::vector<std::tuple<int, const char*, std::function<bool()>>> rows = {
        {1004, "CENTER FREQ", [&] { return Doc().Frequencies().CenterHz() == 100e6; }},
        {1020, "--", [&] { return Doc().Frequencies().SpanHz() == 20e6; }},
        {1009, "ATTEN", [&] { return Settings().attenDb == 15.0; }},
        {1014, "PEAK", [&] { return test::MarkersOf(Doc()).marker1On == 1; }},  // the sweep is stopped
        {1019, "MAX HOLD", [&] { return Settings().maxHold == 1; }},
        {1024, "VIDEO", [&] { return prompter.Count() == 1u; }},  // in zero span only
        {1025, "CONTINUOUS", [&] { return Doc().SweepRunning(); }},
        {1005, "PRESET",
         [&] { return !Doc().SweepRunning() && Doc().Frequencies().SpanHz() > 20e6; }},
    };
    for (const auto& [id, caption, done] : rows) {
        QPushButton* button = frame->Panel().Button(id);
        ASSERT_NE(button, nullptr) << caption;
        EXPECT_EQ(button->text(), caption);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(done()) << caption;
    }
    EXPECT_FALSE(frame->Panel().Button(1029)->isEnabled()) << "MEAS RCVR has no command yet";
}

using FileMenuTest = MainFrameTest;

TEST_F(FileMenuTest, SaveAsAndRecallGoThroughTheDialogAndTheRecentList) {
    ModalAnswerer answerer;
    const QString path = PathIn("first.pqz");
    answerer.OnDialog([this](QDialog& dialog) {
        qobject_cast<QFileDialog*>(&dialog)->selectFile(PathIn("first"));  // the extension is added
        dialog.accept();
    });
    Action("saveAs")->trigger();
    EXPECT_EQ(QFileInfo(path).size(), 18181);
    EXPECT_EQ(frame->FileMenu().RecentFiles(), QStringList({path}));

    Doc().SetCenterSpan(100e6, 1e6);
    Action("recentFile1")->trigger();
    EXPECT_DOUBLE_EQ(Doc().Frequencies().CenterHz(), 915e6);

    // Five files: the list keeps the last four, newest first.
    for (const char* name : {"b.pqz", "c.pqz", "d.pqz", "e.pqz"}) {
        ASSERT_TRUE(frame->FileMenu().SaveStateFile(PathIn(name)));
    }
    EXPECT_EQ(frame->FileMenu().RecentFiles(),
              QStringList({PathIn("e.pqz"), PathIn("d.pqz"), PathIn("c.pqz"), PathIn("b.pqz")}));
    EXPECT_EQ(prompter.Count(), 0u);
}

// A failed write says why and leaves no file behind.
TEST_F(FileMenuTest, ExportsAndStateFilesAreWrittenWholeOrNotAtAll) {
    ASSERT_TRUE(frame->FileMenu().ExportTraceTo(PathIn("trace.csv")));
    EXPECT_GT(QFileInfo(PathIn("trace.csv")).size(), 641 * 4);
    ASSERT_TRUE(frame->FileMenu().ExportScreenTo(PathIn("screen.png")));
    EXPECT_EQ(QImage(PathIn("screen.png")).width(), 660);

    EXPECT_FALSE(frame->FileMenu().ExportTraceTo(PathIn("no such folder/trace.csv")));
    EXPECT_FALSE(frame->FileMenu().ExportScreenTo(PathIn("no such folder/screen.png")));
    EXPECT_FALSE(frame->FileMenu().SaveStateFile(PathIn("no such folder/state.pqz")));
    EXPECT_EQ(prompter.Count(), 3u);
    for (const auto& box : prompter.Boxes()) {
        EXPECT_EQ(box.caption, "UNABLE TO SAVE") << box.text;
    }
    EXPECT_FALSE(std::filesystem::exists(gui.Directory() / "no such folder"));
    EXPECT_TRUE(frame->FileMenu().RecentFiles().isEmpty());

    // A recent file that has gone is refused and leaves the list.
    ASSERT_TRUE(frame->FileMenu().SaveStateFile(PathIn("gone.pqz")));
    std::filesystem::remove(gui.Directory() / "gone.pqz");
    EXPECT_FALSE(frame->FileMenu().RecallStateFile(PathIn("gone.pqz")));
    EXPECT_TRUE(frame->FileMenu().RecentFiles().isEmpty());
}

}  // namespace
}  // namespace tavlin::test
