#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QStatusBar>
#include <QToolBar>
#include <filesystem>

#include "app/qt_about_dialog.h"
#include "app/qt_annunciator_help.h"
#include "app/qt_file_menu.h"
#include "gui/main_frame_fixture.h"
#include "gui/modal_answerer.h"
#include "panel/qt_front_panel.h"
#include "panel/qt_settings_menu.h"
#include "view/qt_plot_view.h"

namespace tavlin::test {
namespace {

using MainFrameTest = MainFrameFixture;

TEST_F(MainFrameTest, WindowHasItsTitleSizeToolbarAndStatusPanes) {
    frame->Place();
    EXPECT_EQ(frame->windowTitle(), "Tavlin");
    EXPECT_EQ(frame->size(), QSize(950, 740));
    EXPECT_EQ(frame->pos(), QPoint(0, 0));
    EXPECT_FALSE(frame->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(frame->windowFlags() & Qt::WindowMinimizeButtonHint);

    auto* tools = frame->findChild<QToolBar*>(QStringLiteral("toolBar"));
    ASSERT_NE(tools, nullptr);
    QStringList tips;
    for (QAction* action : tools->actions()) {
        tips << (action->isSeparator() ? QStringLiteral("-") : action->toolTip());
        EXPECT_TRUE(action->isSeparator() || !action->icon().isNull())
            << action->toolTip().toStdString();
    }
    EXPECT_EQ(tips, QStringList({"New", "Recall State", "Save State", "-", "Cut", "Copy", "Paste",
                                 "-", "Print", "-", "About"}));

    EXPECT_EQ(frame->StatusMessage(), "Ready");
    for (const char* pane : {"CAP", "NUM", "SCRL"}) {
        auto* label = frame->statusBar()->findChild<QLabel*>(QString::fromLatin1(pane));
        ASSERT_NE(label, nullptr) << pane;
        EXPECT_EQ(label->text(), pane);
    }
    // The panel sits right of the 660-pixel plot, inside the window.
    QTest::qWait(20);
    const QRect panel = frame->Panel().geometry();
    EXPECT_GE(panel.left(), 660);
    EXPECT_LE(frame->Panel().mapTo(frame.get(), QPoint(panel.width(), 0)).x(), 950);
}

TEST_F(MainFrameTest, MenusHoldTheirEntriesInOrder) {
    QStringList bar;
    for (QAction* action : frame->menuBar()->actions()) {
        bar << action->text();
    }
    EXPECT_EQ(bar, QStringList({"&File", "&Edit", "&Trace", "&Settings", "&Help"}));
    EXPECT_EQ(Captions(frame->FileMenu()),
              QStringList({"&New", "&Recall State...", "&Save State", "Save &As...", "-",
                           "Export &Trace...", "Export Scr&een...", "-", "&Print...",
                           "Print Pre&view", "P&rint Setup...", "-", "-", "E&xit"}));
    EXPECT_EQ(Captions(*FindMenu("editMenu")),
              QStringList({"Cu&t", "&Copy", "&Paste", "-", "Set Title"}));
    for (const char* name : {"cut", "copy", "paste"}) {
        EXPECT_FALSE(FindAction(name)->isEnabled()) << name;
    }
    EXPECT_EQ(Captions(*FindMenu("traceMenu")),
              QStringList({"Trace A->B", "View Trace B", "Limit Lines"}));
    EXPECT_EQ(Captions(*FindMenu("helpMenu")), QStringList({"&About Tavlin", "Annunciator Help",
                                                            "User Manual", "Tavlin on the Web"}));

    QStringList settings;
    for (QAction* action : frame->SettingsMenu().actions()) {
        settings << action->text();
        if (action->menu() != nullptr) {
            for (const QString& caption : Captions(*action->menu())) {
                settings << "  " + caption;
            }
        }
    }
    EXPECT_EQ(settings, QStringList({"CF Step Size",
                                     "Ref Lvl Step",
                                     "Ref Lvl Offset",
                                     "RF Preamplifier",
                                     "Span / RBW ",
                                     "Sweep Time",
                                     "Signal Track",
                                     "  ON",
                                     "  OFF",
                                     "Video Averaging",
                                     "  1",
                                     "  10",
                                     "  100",
                                     "Image Suppression",
                                     "  ON",
                                     "  OFF",
                                     "  RealTime",
                                     "SYNC / TRIG",
                                     "  TRIG IN",
                                     "  SYNC OUT",
                                     "  OFF",
                                     "Color Scheme",
                                     "  KVO",
                                     "  CLASSIC",
                                     "Counter",
                                     "Set Marker Freq",
                                     "Downconverter Offset"}));
}

TEST_F(MainFrameTest, SettingsCheckMarksFollowTheStateEachTimeTheMenuOpens) {
    QtSettingsMenu& menu = frame->SettingsMenu();
    Doc().EditSettings([](InstrumentState& s) {
        s.refLevelOffsetDb = 10.0;
        s.syncTrigMode = 1;  // only a state file or a command without menu entry sets it
        s.preampAvailable = false;
    });
    Q_EMIT menu.aboutToShow();
    EXPECT_TRUE(menu.Action(32816)->isChecked());
    EXPECT_TRUE(menu.Action(32796)->isChecked());  // SYNC / TRIG "OFF"
    EXPECT_FALSE(menu.Action(32794)->isChecked());
    EXPECT_FALSE(menu.Action(32825)->isEnabled());
    EXPECT_TRUE(menu.Action(32782)->isChecked());  // averaging 1 after preset

    menu.Action(32783)->trigger();  // Video Averaging 10
    EXPECT_EQ(Doc().ReadSettings([](const InstrumentState& s) { return s.videoAvgCount; }), 10);
    // Opening the submenu alone recomputes its marks too.
    for (QAction* entry : menu.actions()) {
        if (entry->text() == "Video Averaging") {
            Q_EMIT entry->menu()->aboutToShow();
        }
    }
    EXPECT_TRUE(menu.Action(32783)->isChecked());
    EXPECT_FALSE(menu.Action(32782)->isChecked());

    // "Sweep Time" outside zero span says so.
    menu.Action(32785)->trigger();
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "Sweep time is currently adjustable in zero-span only");
    EXPECT_EQ(prompter.Boxes()[0].caption, "NOT AVAILABLE");
}

TEST_F(MainFrameTest, TraceAndEditMenusReachTheirCommands) {
    QMenu* trace = FindMenu("traceMenu");
    FindAction("action32804")->trigger();  // View Trace B
    Q_EMIT trace->aboutToShow();
    EXPECT_TRUE(FindAction("action32804")->isChecked());
    {
        std::lock_guard lock(Doc().traceMutex);
        EXPECT_TRUE(Doc().display.traceBShown);
    }
    dialogs.amplitudes = {-90.0, -20.0};
    FindAction("action32811")->trigger();  // Limit Lines
    Q_EMIT trace->aboutToShow();
    EXPECT_TRUE(FindAction("action32811")->isChecked());
    EXPECT_EQ(dialogs.Labels(), (std::vector<std::string>{"LOWER LIMIT", "UPPER LIMIT"}));

    dialogs.titles = {std::string("Antenna test")};
    FindAction("action32771")->trigger();  // Edit, Set Title
    EXPECT_EQ(Doc().ReadSettings([](const InstrumentState& s) { return s.title; }), "Antenna test");
}

TEST_F(MainFrameTest, AboutShowsTheIdentityReadAtPresetWithoutAskingTheUnit) {
    const int writesBefore = fixture->Writes();
    QtAboutDialog about(Doc(), frame.get());
    EXPECT_EQ(fixture->Writes(), writesBefore);
    EXPECT_EQ(about.windowTitle(), "About Tavlin");
    EXPECT_EQ(about.FirmwareText(), "Firmware Tavlin 2.03");
    EXPECT_EQ(about.SerialText(), "Serial # TV000123");
    EXPECT_NE(about.findChild<QLabel*>(), nullptr);
    bool versionShown = false;
    for (QLabel* label : about.findChildren<QLabel*>()) {
        versionShown |= label->text() == "Software Version 1.50";
    }
    EXPECT_TRUE(versionShown);

    // With the link closed there is no instrument to name.
    Doc().CloseDocument();
    QtAboutDialog without(Doc(), frame.get());
    EXPECT_TRUE(without.FirmwareText().isEmpty());
    EXPECT_TRUE(without.SerialText().isEmpty());
}

TEST_F(MainFrameTest, HelpOpensTheAboutBoxAndTheAnnunciatorList) {
    ModalAnswerer answerer;
    QStringList seen;
    answerer.OnDialog([&seen](QDialog& dialog) {
        seen << dialog.windowTitle();
        if (dialog.windowTitle() == "Annunciators Used") {
            for (QLabel* label : dialog.findChildren<QLabel*>()) {
                seen << label->text();
            }
        }
        dialog.accept();
    });
    FindAction("about")->trigger();
    FindAction("action32821")->trigger();
    EXPECT_EQ(seen, QStringList({"About Tavlin", "Annunciators Used", "U - Uncalibrated Condition",
                                 "T - Triggered (External or video)", "R - Realtime Data Capture",
                                 "I - Image Reject Off", "K- Signal Track", "A- Video Avg",
                                 "Y- Sync Out", "FO - Downconverter Freq Offset"}));
}

TEST_F(MainFrameTest, CursorReadoutReachesTheStatusBarOnlyForTraceColumns) {
    Q_EMIT frame->View().cursorReadout(QStringLiteral("Cursor at 915.000000 MHz, -80.00 dBm"));
    EXPECT_EQ(frame->StatusMessage(), "Cursor at 915.000000 MHz, -80.00 dBm");

    const auto moveTo = [this](int x) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 5), QPointF(x, 5), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(frame.get(), &move);
    };
    moveTo(320);  // the centre column of a 902 .. 928 MHz span
    EXPECT_TRUE(frame->StatusMessage().startsWith("Cursor at 915.000000 MHz"))
        << frame->StatusMessage().toStdString();
    moveTo(640);
    EXPECT_TRUE(frame->StatusMessage().startsWith("Cursor at 928.000000 MHz"));
    moveTo(645);  // past the last column: nothing is read
    EXPECT_TRUE(frame->StatusMessage().startsWith("Cursor at 928.000000 MHz"));
}

TEST_F(MainFrameTest, ClosingTheWindowStopsTheSweepAndClosesTheLink) {
    Doc().OnContinuous();
    EXPECT_TRUE(Doc().SweepRunning());
    frame->Place();
    EXPECT_TRUE(frame->close());
    EXPECT_FALSE(Doc().SweepRunning());
    EXPECT_FALSE(Doc().link.IsOpen());
}

class FileMenuTest : public MainFrameFixture {
  protected:
    QString PathIn(const char* name) const {
        return QString::fromStdString((fixture->Directory() / name).string());
    }
    // Types the name into the next file dialog and accepts it.
    void AnswerFileDialogWith(ModalAnswerer& answerer, const QString& path) {
        answerer.OnDialog([path](QDialog& dialog) {
            if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
                files->selectFile(path);
            }
            dialog.accept();
        });
    }
};

TEST_F(FileMenuTest, SaveAsAndRecallGoThroughTheDialogAndTheRecentList) {
    ModalAnswerer answerer;
    const QString path = PathIn("first.pqz");
    AnswerFileDialogWith(answerer, PathIn("first"));  // the extension is added
    FindAction("saveAs")->trigger();
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(QFileInfo(path).size(), 18181);
    EXPECT_EQ(frame->FileMenu().RecentFiles(), QStringList({path}));
    EXPECT_EQ(Doc().DocumentPath(), std::filesystem::path(path.toStdString()));

    Doc().SetCenterSpan(100e6, 1e6);
    FindAction("recentFile1")->trigger();
    EXPECT_DOUBLE_EQ(Doc().Frequencies().CenterHz(), 915e6);

    // Five files: the list keeps the last four, newest first.
    for (const char* name : {"b.pqz", "c.pqz", "d.pqz", "e.pqz"}) {
        ASSERT_TRUE(frame->FileMenu().SaveStateFile(PathIn(name)));
    }
    EXPECT_EQ(frame->FileMenu().RecentFiles(),
              QStringList({PathIn("e.pqz"), PathIn("d.pqz"), PathIn("c.pqz"), PathIn("b.pqz")}));
    EXPECT_EQ(prompter.Count(), 0u);
}

TEST_F(FileMenuTest, ExportsWriteTheTraceAndTheScreen) {
    ASSERT_TRUE(frame->FileMenu().ExportTraceTo(PathIn("trace.csv")));
    QFile csv(PathIn("trace.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll().count('\n'), 642);  // a header and 641 points

    ModalAnswerer answerer;
    AnswerFileDialogWith(answerer, PathIn("screen"));
    FindAction("exportScreen")->trigger();
    QImage screen(PathIn("screen.png"));
    ASSERT_FALSE(screen.isNull());
    EXPECT_EQ(screen.width(), 660);
    EXPECT_EQ(prompter.Count(), 0u);
}

TEST_F(FileMenuTest, AFailedExportSaysWhyAndLeavesNoFile) {
    const QString missingFolder = PathIn("no such folder/trace.csv");
    EXPECT_FALSE(frame->FileMenu().ExportTraceTo(missingFolder));
    EXPECT_FALSE(frame->FileMenu().ExportScreenTo(PathIn("no such folder/screen.png")));
    const auto boxes = prompter.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "UNABLE TO SAVE");
    EXPECT_FALSE(boxes[0].text.empty());
    EXPECT_EQ(boxes[1].caption, "UNABLE TO SAVE");
    EXPECT_NE(boxes[1].text.find("The screen could not be saved to"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(fixture->Directory() / "no such folder"));
}

}  // namespace
}  // namespace tavlin::test
