// The program and its window on the virtual instrument: start-up, the built
// program run from the command line, the message boxes and progress the
// sweep thread asks of the GUI thread, the menus, the front panel and the
// value-entry dialogs reaching their commands, state files and exports
// through the File menu, closing. What each command does is tested with the
// command.
//
// The virtual instrument's header comes before any Qt header: its scene has
// a member named like Qt's `signals` keyword.
#include "sim/virtual_instrument.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <ranges>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "app/qt_about_dialog.h"
#include "app/qt_advanced_menu.h"
#include "app/qt_application.h"
#include "app/qt_file_menu.h"
#include "app/qt_level_menu.h"
#include "app/qt_main_frame.h"
#include "app/qt_progress_dialog.h"
#include "app/qt_prompter.h"
#include "app/qt_utilities_menu.h"
#include "base/bounded_format.h"
#include "document/marker_commands.h"
#include "gui/gui_fixtures.h"
#include "panel/qt_entry_dialogs.h"
#include "panel/qt_front_panel.h"
#include "panel/qt_plot_controls.h"
#include "panel/qt_refusal_label.h"
#include "panel/qt_settings_menu.h"
#include "remote/automation_server.h"
#include "remote/scpi_server.h"
#include "remote/tcp_socket.h"
#include "support/loopback_client.h"
#include "support/recording_prompter.h"
#include "support/row_name.h"
#include "support/scripted_entry_dialogs.h"
#include "utilities/receiver/qt_receiver_dialog.h"
#include "view/plot_annotations.h"
#include "view/qt_marker_panel.h"
#include "view/qt_peak_table_dialog.h"
#include "view/qt_plot_view.h"

namespace tavlin::test {
namespace {

using namespace std::chrono_literals;

// The program keeps its calibration cache in the working directory, so each
// test runs in a folder of its own.
class ApplicationTest : public ::testing::Test {
  protected:
    ApplicationTest()
        : directory_(MakeTestDirectory("tavlin-app")), previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(directory_);
    }
    ~ApplicationTest() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(directory_);
    }

    // The program's settings in the test's folder.
    QProcessEnvironment Environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(directory_.string()));
        return environment;
    }

    // The built program in the test's folder, offscreen as this run is: its
    // exit code, its output kept. One that does not end is killed with its
    // QProcess.
    int Tavlin(const QStringList& arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setProcessEnvironment(Environment());
        process.start(QStringLiteral(TAVLIN_GUI_PATH), arguments);
        EXPECT_TRUE(process.waitForFinished(180000)) << "tavlin did not end";
        output = QString::fromLocal8Bit(process.readAll()).toStdString();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    std::filesystem::path directory_;
    std::filesystem::path previous_;
    FakeClock clock;
    sim::VirtualInstrument unit{clock};
    RecordingPrompter prompter;
    std::string output;
};

// A folder named as the state file is refused with a message; the window
// opens on the preset state.
TEST_F(ApplicationTest, StartWithAFolderForAStateFileShowsWhyAndPresets) {
    QtApplication application(unit, clock, &prompter);
    ASSERT_TRUE(application.Start(directory_.string()));
    EXPECT_TRUE(application.Frame().isVisible());
    EXPECT_DOUBLE_EQ(application.Document().Frequencies().CenterHz(), 915e6);
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "UNABLE TO OPEN");
}

// Ctrl+C or SIGTERM while a start-up box waits for its answer ends the
// program in order, the instrument released, whatever the box.
struct SignalRow {
    const char* name;
    QStringList arguments;  // PORT: a port another program listens on, NEXT the one after
    int signal;
    const char* settings = "";  // the kept settings file's content
    friend void PrintTo(const SignalRow& row, std::ostream* out) { *out << row.name; }
};

class SignalDuringABoxTest : public ApplicationTest,
                             public ::testing::WithParamInterface<SignalRow> {
  protected:
    // The unit's table cached once, so that each start-up is quick.
    static void SetUpTestSuite() {
        std::filesystem::create_directories(CacheFolder());
        QProcess first;
        first.setWorkingDirectory(QString::fromStdString(CacheFolder().string()));
        first.start(QStringLiteral(TAVLIN_GUI_PATH),
                    {"--simulate", "--screenshot", "x.png", "--sweeps", "0"});
        first.waitForFinished(180000);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(CacheFolder()); }
    static std::filesystem::path CacheFolder() {
        return std::filesystem::temp_directory_path() /
               ("tavlin-signal-cache-" + std::to_string(::getpid()));
    }
};

TEST_P(SignalDuringABoxTest, EndsTheProgram) {
    std::filesystem::copy_file(CacheFolder() / "TV000123.kvo", "TV000123.kvo");
    std::ofstream("bad.pqz") << "not a state";
    std::string error;
    const std::optional<TcpSocket> held = tcp::Listen("127.0.0.1", 0, error);
    ASSERT_TRUE(held) << error;
    QStringList arguments = GetParam().arguments;
    arguments.replaceInStrings("NEXT", QString::number(tcp::BoundPort(*held) + 1));
    arguments.replaceInStrings("PORT", QString::number(tcp::BoundPort(*held)));
    std::filesystem::create_directories(directory_ / QtApplication::kOrganisation);
    std::ofstream(directory_ / QtApplication::kOrganisation / "Tavlin.conf") << GetParam().settings;
    QProcess process;
    process.setProcessEnvironment(Environment());
    process.start(QStringLiteral(TAVLIN_GUI_PATH), QStringList{"--simulate"} + arguments);
    // The box is up well within this; a signal before it gives the start up,
    // which ends the program too.
    process.waitForFinished(4000);
    ASSERT_EQ(process.state(), QProcess::Running) << "ended before the signal";
    ::kill(static_cast<pid_t>(process.processId()), GetParam().signal);
    EXPECT_TRUE(process.waitForFinished(10000)) << "still running after the signal";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
}

INSTANTIATE_TEST_SUITE_P(
    StartUpBoxes, SignalDuringABoxTest,
    ::testing::Values(SignalRow{"MissingStateFile", {"missing.pqz"}, SIGTERM},
                      SignalRow{"BadStateFile", {"bad.pqz"}, SIGINT},
                      SignalRow{"ScpiPortInUse", {"--scpi=127.0.0.1:PORT"}, SIGTERM},
                      SignalRow{
                          "AutomationPortInUse", {"--automation=127.0.0.1:PORT:NEXT"}, SIGINT},
                      SignalRow{"DamagedSettings", {}, SIGTERM, "[Window\nno pairs\n"}),
    kRowName);

// A mask file loaded from the window becomes the limit lines; one that
// cannot be used is named in a box and leaves the lines as they were.
TEST_F(ApplicationTest, LimitMaskFromTheWindowOrABoxThatSaysWhy) {
    QtApplication application(unit, clock, &prompter);
    ASSERT_TRUE(application.Start());
    std::ofstream(directory_ / "bad.csv") << "915e6,-10\n914e6,-10\n";
    EXPECT_FALSE(application.Frame().LoadLimitMaskFile(
        QString::fromStdString((directory_ / "bad.csv").string())));
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text,
              "bad.csv: line 2: the frequency falls below the point before it");
    EXPECT_TRUE(application.Document().LimitMaskInUse().Empty());
    EXPECT_TRUE(
        application.Frame().LoadLimitMaskFile(TAVLIN_SOURCE_DIR "/scenes/emission_mask.csv"));
    EXPECT_EQ(application.Document().LimitMaskInUse().upper.size(), 6u);
}

// What the user is told is the document's start-up; here, that the window
// never opens, or closes once the unit is gone.
TEST_F(ApplicationTest, WithoutTheInstrumentThereIsNoWindow) {
    {
        QtApplication application(unit, clock, &prompter);
        ASSERT_TRUE(application.Start());
        unit.Unplug();
        application.Document().OnPreset();  // the reset finds no unit
        EXPECT_TRUE(QTest::qWaitFor([&] { return !application.Frame().isVisible(); }, 5000));
    }
    EXPECT_FALSE(QtApplication(unit, clock, &prompter).Start());
}

TEST_F(ApplicationTest, ScreenshotRunWritesTheWindowAfterTheCommandsAndSweepsOrRefuses) {
    const int exitCode = Tavlin({"--simulate", "--screenshot", "window.png", "--sweeps", "2", "-c",
                                 "FRE:SPA 1e6", "-c", "*IDN?"});
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_NE(output.find("TAVLIN-44"), std::string::npos) << output;
    EXPECT_EQ(QImage("window.png").size(), QSize(950, 740));
    EXPECT_FALSE(QFileInfo::exists(QtApplication::kOrganisation)) << "a screenshot keeps nothing";

    // A command the language does not know is reported, the picture still made.
    EXPECT_EQ(Tavlin({"--simulate", "--screenshot", "second.png", "--sweeps", "0", "-c", "XYZ"}),
              2);
    EXPECT_TRUE(QFileInfo::exists("second.png"));
    // Options it cannot use are refused before anything is drawn.
    EXPECT_EQ(Tavlin({"--simulate", "--screenshot", "x.png", "--sweeps", "x"}), 2);
    EXPECT_EQ(Tavlin({"--simulate=no-such-scene.json", "--screenshot", "x.png"}), 1);
    EXPECT_FALSE(QFileInfo::exists("x.png"));
}

// A unit that takes its time over each reply, as one on the bench does over
// the words of its calibration memory.
class SlowUnit final : public ForwardingUsbDriver {
  public:
    using ForwardingUsbDriver::ForwardingUsbDriver;
    int Read(UsbHandle h, std::uint8_t* d, std::size_t n, std::size_t& got) override {
        std::this_thread::sleep_for(300us);
        return inner_.Read(h, d, n, got);
    }
};

// The first start reads the calibration memory beside the GUI thread, whose
// event loop keeps turning: the dialog is up and its bar moves. Closing the
// dialog gives the start up in order: the link is reset, the part read is not
// cached, no window opens.
TEST_F(ApplicationTest, TheEventLoopTurnsDuringTheFirstReadAndClosingTheProgressEndsTheStart) {
    SlowUnit slowUnit(unit);
    for (const int closeAt : {20, 1000}) {
        const bool giveUp = closeAt <= 100;
        SCOPED_TRACE(giveUp ? "given up" : "read whole");
        QtApplication application(slowUnit, clock, &prompter);
        QtProgressDialog& progress = application.Progress();
        int shownMidRead = 0;
        QTimer watch;  // looks at the bar from the event loop
        QObject::connect(&watch, &QTimer::timeout, [&] {
            const int at = progress.Position();
            shownMidRead += progress.Dialog()->isVisible() && at > 0 && at < 90;
            if (at >= closeAt) {
                progress.Dialog()->close();
            }
        });
        watch.start(5);
        EXPECT_EQ(application.Start(), !giveUp);
        EXPECT_GT(shownMidRead, 0);
        EXPECT_EQ(std::filesystem::exists("TV000123.kvo"), !giveUp);
        EXPECT_EQ(application.Document().InstrumentConnected(), !giveUp);
    }
}

// The mode buttons show the state, whoever changed it: a press of their own,
// or the document changed from elsewhere (a menu, the automation language,
// a recalled state), and a single sweep only while it runs.
TEST_F(ApplicationTest, ModeButtonsShowTheStateWhoeverChangedIt) {
    QtApplication application(unit, clock, &prompter);
    ASSERT_TRUE(application.Start());
    AnalyzerDocument& doc = application.Document();
    QtFrontPanel& panel = application.Frame().Panel();
    const auto marked = [&panel] {
        QStringList on;
        for (const int id : {1025, 1026, 1018, 1019, 1044, 1012, 1023, 1024}) {
            if (panel.Button(id)->isChecked()) {
                on << panel.Button(id)->text();
            }
        }
        return on;
    };
    EXPECT_EQ(marked(), QStringList({"NORMAL", "FREE RUN"}));
    QTest::mouseClick(panel.Button(1019), Qt::LeftButton);  // MAX HOLD
    QTest::mouseClick(panel.Button(1044), Qt::LeftButton);  // LIN
    QTest::mouseClick(panel.Button(1044), Qt::LeftButton);  // stays on
    EXPECT_EQ(marked(), QStringList({"MAX HOLD", "LIN", "FREE RUN"}));

    std::atomic<bool> passMayEnd{false};
    doc.SetSweepPass([&passMayEnd] {
        while (!passMayEnd) {
            std::this_thread::sleep_for(1ms);
        }
    });
    doc.EditSettings([](InstrumentState& s) {
        s.maxHold = 0;
        s.videoTrigger = true;
    });
    MarkerCommands(doc).Delta();
    doc.OnContinuous();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return marked() == QStringList({"CONTINUOUS", "NORMAL", "LIN", "DELTA", "VIDEO"});
    })) << marked().join(", ").toStdString();
    // SINGLE during a continuous run: the pass under way is the last one.
    QTest::mouseClick(panel.Button(1026), Qt::LeftButton);
    EXPECT_EQ(marked(), QStringList({"SINGLE", "NORMAL", "LIN", "DELTA", "VIDEO"}));
    passMayEnd = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return marked().size() == 4 && !doc.SweepRunning(); }));
}

void WaitUntilPending(QtPrompter& prompter) {
    while (prompter.PendingCount() == 0) {
        std::this_thread::sleep_for(1ms);
    }
}

// A box asked for on the GUI thread shows at once; one asked for on another
// thread waits for the GUI thread to show it and to be answered.
TEST(QtPrompterTest, BoxesShowOnTheGuiThreadAndAnswerTheirCaller) {
    QtPrompter prompter;
    ModalAnswerer answerer;
    EXPECT_TRUE(prompter.AskYesNo("ERROR 6 - COMMUNICATIONS ERROR\r\nReset USB?", "ERROR 6"));
    auto asked = std::async(std::launch::async, [&] {
        return prompter.AskYesNo("Error 5 - USB Data Not Received", "ERROR--TRY AGAIN");
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return asked.wait_for(0s) == std::future_status::ready; }));
    EXPECT_TRUE(asked.get());
    EXPECT_EQ(answerer.boxes, QStringList({"ERROR 6: ERROR 6 - COMMUNICATIONS ERROR\nReset USB?",
                                           "ERROR--TRY AGAIN: Error 5 - USB Data Not Received"}));
}

// Ctrl+C while a box is on the screen: its caller (a remote command) goes on
// at once with the default answer, before the box has closed, so the window
// can stop its thread. Later boxes are not shown at all.
TEST(QtPrompterTest, ShutDownReleasesTheCallerOfABoxStillOpen) {
    QtPrompter prompter;
    auto asked = std::async(std::launch::async, [&] { return prompter.AskYesNo("Reset?", "E"); });
    WaitUntilPending(prompter);
    bool releasedWhileOpen = false;
    QTimer::singleShot(0, [&] {
        prompter.ShutDown();
        releasedWhileOpen = asked.wait_for(5s) == std::future_status::ready;
        qobject_cast<QDialog*>(QApplication::activeModalWidget())->reject();
    });
    prompter.ServePendingBoxes();
    EXPECT_TRUE(releasedWhileOpen);
    EXPECT_FALSE(asked.get());
    EXPECT_EQ(prompter.Show("late", "LATE", PromptButtons::Ok), PromptAnswer::Ok);
}

// The trap of the pause handshake: the GUI thread waits for the sweep thread
// to finish its pass while the pass waits for the GUI thread to show a box.
TEST(QtPrompterTest, PauseWhileTheSweepThreadWaitsForABoxCompletes) {
    QtPrompter prompter;
    GuiDocument fixture(prompter);
    AnalyzerDocument& doc = fixture.Doc();
    doc.SetWaitHook(prompter.WaitHook());
    ModalAnswerer answerer;

    std::atomic<int> passes{0};
    std::atomic<bool> answeredYes{false};
    doc.SetSweepPass([&] {
        if (passes++ == 0) {
            answeredYes = doc.GetPrompter().AskYesNo("Reset USB?", "ERROR 6");
        } else {
            std::this_thread::sleep_for(1ms);
        }
    });
    doc.SetAfterPass([] {});
    doc.OnContinuous();
    WaitUntilPending(prompter);

    // Should the two threads wait on each other, this releases them after a while.
    std::promise<void> paused;
    auto deadlocked = std::async(std::launch::async, [&prompter, done = paused.get_future()] {
        const bool stuck = done.wait_for(10s) != std::future_status::ready;
        if (stuck) {
            prompter.ShutDown();
        }
        return stuck;
    });
    doc.PauseSweep();
    paused.set_value();
    EXPECT_FALSE(deadlocked.get()) << "the GUI thread and the sweep thread waited on each other";
    EXPECT_FALSE(doc.SweepRunning());
    EXPECT_TRUE(answeredYes);
    EXPECT_EQ(answerer.boxes, QStringList({"ERROR 6: Reset USB?"}));
    doc.CloseDocument();
}

// The calibration read of a preset runs on the GUI thread itself: there the
// calls act at once, as nothing else would deliver them until it is done.
// From the sweep thread they are queued: they return at once, even while the
// GUI thread is busy, and take effect when it gets to them.
TEST(QtProgressDialogTest, ActsAtOnceOnTheGuiThreadAndIsQueuedFromAnother) {
    QtProgressDialog progress;
    progress.Show();
    progress.SetPosition(150);
    EXPECT_TRUE(progress.Dialog()->isVisible());
    EXPECT_EQ(progress.Position(), 100);
    progress.Hide();

    std::thread([&] {
        progress.Show();
        progress.SetPosition(40);
    }).join();
    EXPECT_FALSE(progress.Dialog()->isVisible());  // the GUI thread has not looked yet
    EXPECT_TRUE(QTest::qWaitFor([&] { return progress.Position() == 40; }, 2000));
    EXPECT_TRUE(progress.Dialog()->isVisible());
}

// The main window with scripted entry dialogs and recorded message boxes.
class MainFrameTest : public ::testing::Test {
  protected:
    MainFrameTest() {
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

// The marks are the menu commands' own; the menu asks for them each time it
// opens. About shows the identity read at preset, without asking the unit.
TEST_F(MainFrameTest, MenusReachTheirCommandsAndShowTheirMarks) {
    QtSettingsMenu& settings = frame->SettingsMenu();
    settings.Action(32783)->trigger();  // Video Averaging 10
    EXPECT_EQ(Settings().videoAvgCount, 10);
    settings.Action(32784)->trigger();  // one of a kind: 10 gives way at once
    EXPECT_FALSE(settings.Action(32783)->isChecked());
    Doc().EditSettings([](InstrumentState& s) { s.videoAvgCount = 1; });
    Q_EMIT settings.findChild<QMenu*>()->aboutToShow();
    EXPECT_TRUE(settings.Action(32782)->isChecked());
    EXPECT_FALSE(settings.Action(32783)->isChecked());
    dialogs.titles = {std::string("Antenna test")};
    Action("action32771")->trigger();  // Edit, Set Title
    EXPECT_EQ(Settings().title, "Antenna test");

    const int writesBefore = gui.Writes();
    ModalAnswerer answerer;
    QString identity;
    answerer.OnDialog([&identity](QDialog& dialog) {
        if (auto* about = qobject_cast<QtAboutDialog*>(&dialog)) {
            identity = about->FirmwareText() + ", " + about->SerialText();
        }
        dialog.accept();
    });
    Action("about")->trigger();
    EXPECT_EQ(identity, "Firmware Tavlin 2.03, Serial # TV000123");
    EXPECT_EQ(gui.Writes(), writesBefore);
}

// Which points are columns of the graticule is tested with the plot
// geometry; here the mouse reaches the status bar (and, below, the marker).
// Advanced: the automation item reads as the server stands each time the
// menu opens; the SCPI item is ticked while its socket listens.
TEST_F(MainFrameTest, TheAdvancedMenuFollowsTheServers) {
    QtAdvancedMenu& advanced = frame->AdvancedMenu();
    QAction* automation = advanced.AutomationAction();
    const auto shown = [&] {
        Q_EMIT advanced.aboutToShow();
        return automation->text().toStdString() + (automation->isEnabled() ? "" : " (disabled)");
    };
    dialogs.tcpIps = {TcpIpSettings{"127.0.0.1", 0, 0}};
    automation->trigger();
    EXPECT_EQ(shown(), "Disable Automation");
    {
        test::LoopbackClient client(frame->Automation().CommandPort());
        ASSERT_TRUE(QTest::qWaitFor([&] { return frame->Automation().Connected(); }));
        EXPECT_EQ(shown(), "TCP Connected! (disabled)");
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == "Enable Automation"; }));

    ASSERT_TRUE(frame->Scpi().Enable({"127.0.0.1", 0}));
    frame->Scpi().Disable();
    advanced.ScpiAction()->trigger();  // on again with the settings last used
    Q_EMIT advanced.aboutToShow();
    EXPECT_TRUE(advanced.ScpiAction()->isChecked());
    advanced.ScpiAction()->trigger();
    EXPECT_FALSE(frame->Scpi().Enabled());
}

TEST_F(MainFrameTest, TheMouseReadsTheCursorUnderThePointer) {
    frame->View().resize(plot::kWidth, plot::kHeight);  // pixels are plot units
    const auto send = [this](QEvent::Type type, int x, Qt::MouseButton button) {
        QMouseEvent event(type, QPointF(x, 300), QPointF(x, 300), button, Qt::MouseButtons(button),
                          Qt::NoModifier);
        QApplication::sendEvent(&frame->View(), &event);
        return frame->StatusMessage().toStdString();
    };
    EXPECT_EQ(send(QEvent::MouseMove, 330, Qt::NoButton).rfind("Cursor at 915.000000 MHz", 0), 0u)
        << "the column under the pointer, not the frame's";
    EXPECT_EQ(send(QEvent::MouseMove, 660, Qt::NoButton), "") << "right of the trace";
    // The 915 MHz carrier 40 dB over the top line is drawn on the screen's
    // edge: what the pointer reads there is a bound, not a level.
    Doc().EditSettings([](InstrumentState& s) { s.refLevelDbm = -70; });
    Doc().PerformSweep();
    EXPECT_NE(send(QEvent::MouseMove, 330, Qt::NoButton).find(">"), std::string::npos);
}

// A line drawn on a stretched grid lands within a pixel of where the stretch
// puts it.
bool BlueNear(const QImage& image, double x, double y) {
    const QImage around = image.copy(static_cast<int>(x) - 1, static_cast<int>(y) - 1, 3, 3);
    return std::ranges::any_of(std::views::iota(0, 9), [&around](int i) {
        return around.pixelColor(i % 3, i / 3) == QColor(0, 0, 192);
    });
}

// The plot takes what the window gives, the panel keeps its width, and the
// window does not shrink below what the panel's buttons need.
TEST_F(MainFrameTest, ThePlotGrowsWithTheWindowThePanelKeepsItsWidthAndButtonsTheirSize) {
    frame->Place();
    const QSize designedPlot = frame->View().size();
    const int panelWidth = frame->Panel().width();
    frame->resize(1400, 1000);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return frame->View().width() == designedPlot.width() + 450; }));
    EXPECT_EQ(frame->View().height(), designedPlot.height() + 260);
    EXPECT_EQ(frame->Panel().width(), panelWidth);
    const QImage plot = frame->View().grab().toImage();
    const double sx = plot.width() / 660.0;
    const double sy = plot.height() / static_cast<double>(plot::kHeight);
    EXPECT_TRUE(BlueNear(plot, 650 * sx, 300 * sy)) << "right graticule line";
    EXPECT_TRUE(BlueNear(plot, 330 * sx, 520 * sy)) << "a horizontal graticule line";

    frame->resize(300, 300);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame->width() < 950; }));
    EXPECT_EQ(frame->size(), frame->minimumSize());
    EXPECT_GE(frame->View().width(), 660 * 3 / 4);
    for (const QPushButton* button : frame->Panel().findChildren<QPushButton*>()) {
        EXPECT_GE(button->height(), button->sizeHint().height()) << button->text().toStdString();
    }
}

// The mouse over the plot (pixels are plot units): column c lies at x = 10 + c,
// the graticule's rows at 71 to 570, the frequency axis below them.
struct MouseTuningRow {
    const char* name;
    double startCentreHz;
    double startSpanHz;
    std::function<void(QtMainFrame&)> act;
    double centreHz;
    double spanHz;
    friend void PrintTo(const MouseTuningRow& row, std::ostream* out) { *out << row.name; }
};

void Turn(QWidget& view, int x, int eighths, Qt::KeyboardModifiers keys) {
    QWheelEvent event(QPointF(x, 300), QPointF(x, 300), QPoint(), QPoint(0, eighths), Qt::NoButton,
                      keys, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &event);
}

void Drag(QWidget& view, Qt::MouseButton button, QPoint from, QPoint to) {
    QTest::mousePress(&view, button, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, to, view.mapToGlobal(to), Qt::NoButton, button,
                     Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    QTest::mouseRelease(&view, button, Qt::NoModifier, to);
}

class MouseTuningTest : public MainFrameTest,
                        public ::testing::WithParamInterface<MouseTuningRow> {};

TEST_P(MouseTuningTest, TunesToTheFrequenciesUnderThePointer) {
    const MouseTuningRow& row = GetParam();
    Doc().SetCenterSpan(row.startCentreHz, row.startSpanHz);
    frame->View().resize(plot::kWidth, plot::kHeight);
    row.act(*frame);
    EXPECT_NEAR(Doc().Frequencies().CenterHz(), row.centreHz, 1e-3);
    EXPECT_NEAR(Doc().Frequencies().SpanHz(), row.spanHz, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(
    Plot, MouseTuningTest,
    ::testing::Values(
        MouseTuningRow{"ANotchIsATenthOfTheSpanHalvesAddUp", 915e6, 26e6,
                       [](QtMainFrame& f) {
                           Turn(f.View(), 330, 60, Qt::NoModifier);
                           Turn(f.View(), 330, 180, Qt::NoModifier);
                       },
                       920.2e6, 26e6},
        MouseTuningRow{"ShiftIsAHundredth", 915e6, 26e6,
                       [](QtMainFrame& f) { Turn(f.View(), 330, -120, Qt::ShiftModifier); },
                       914.74e6, 26e6},
        MouseTuningRow{"CtrlZoomsInAboutThePointer", 915e6, 26e6,
                       [](QtMainFrame& f) { Turn(f.View(), 170, 120, Qt::ControlModifier); },
                       911.75e6, 13e6},
        MouseTuningRow{"CtrlZoomsOutAboutThePointer", 915e6, 26e6,
                       [](QtMainFrame& f) { Turn(f.View(), 170, -120, Qt::ControlModifier); },
                       921.5e6, 52e6},
        MouseTuningRow{"TheBandEdgeHoldsTheSpan", 4.38e9, 26e6,
                       [](QtMainFrame& f) { Turn(f.View(), 330, 480, Qt::NoModifier); }, 4.387e9,
                       26e6},
        MouseTuningRow{"ZeroSpanStepsByTheCfStep", 915e6, 0,
                       [](QtMainFrame& f) { Turn(f.View(), 330, 120, Qt::NoModifier); }, 925e6, 0},
        MouseTuningRow{"DoubleClickCentres", 915e6, 26e6,
                       [](QtMainFrame& f) {
                           QTest::mouseDClick(&f.View(), Qt::LeftButton, Qt::NoModifier,
                                              QPoint(490, 300));
                       },
                       921.5e6, 26e6},
        MouseTuningRow{"AxisDragPans", 915e6, 26e6,
                       [](QtMainFrame& f) {
                           Drag(f.View(), Qt::LeftButton, QPoint(330, 600), QPoint(394, 600));
                       },
                       912.4e6, 26e6},
        MouseTuningRow{"RightDragZoomsToTheBox", 915e6, 26e6,
                       [](QtMainFrame& f) {
                           Drag(f.View(), Qt::RightButton, QPoint(74, 200), QPoint(202, 300));
                       },
                       907.2e6, 5.2e6},
        MouseTuningRow{"RightClickMenuCentresThere", 915e6, 26e6,
                       [](QtMainFrame& f) {
                           Drag(f.View(), Qt::RightButton, QPoint(490, 300), QPoint(491, 300));
                           ASSERT_TRUE(f.PlotControls().Menu().isVisible());
                           f.PlotControls().Menu().findChild<QAction*>("centreHere")->trigger();
                       },
                       921.5e6, 26e6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainFrameTest, UpAndDownKeysStepTheReferenceLevel) {
    QTest::keyClick(&frame->View(), Qt::Key_Up);
    QTest::keyClick(&frame->View(), Qt::Key_Up);
    QTest::keyClick(&frame->View(), Qt::Key_Down);
    EXPECT_DOUBLE_EQ(Settings().refLevelDbm, Settings().refLevelStepDb);
}

// The arrow keys move the active marker a point (Shift: a division) from
// where a click or a drag left it; a marker that is off stays off.
TEST_F(MainFrameTest, ArrowKeysAndADragMoveTheActiveMarker) {
    QtPlotView& view = frame->View();
    view.resize(plot::kWidth, plot::kHeight);  // pixels are plot units
    const auto column = [this] {
        return std::lround((test::MarkersOf(Doc()).marker1Pos - 902e6) * 640 / 26e6);
    };
    QTest::keyClick(&view, Qt::Key_Right);
    EXPECT_EQ(test::MarkersOf(Doc()).marker1On, 0);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(110, 300));
    EXPECT_EQ(column(), 100) << "a left click places the marker at its column";
    QTest::mouseMove(&view, QPoint(400, 320));
    QMouseEvent drag(QEvent::MouseMove, QPointF(700, 320), QPointF(700, 320), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &drag);  // past the graticule's end
    EXPECT_EQ(column(), 640);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, QPoint(700, 320));
    QTest::keyClick(&view, Qt::Key_Left);
    QTest::keyClick(&view, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(column(), 640 - 1 - 64);
    QTest::keyClick(&view, Qt::Key_Right);
    EXPECT_EQ(column(), 640 - 64);
}

// MEAS RCVR: the receiver reports on its worker while the dialog stays
// responsive; EXIT waits for the pass in progress, and the sweep comes back.
TEST_F(MainFrameTest, TheMeasuringReceiverRunsFromThePanelAndGivesTheInstrumentBack) {
    Doc().SetFrequencies(99.9e6, 100.1e6);
    Doc().OnContinuous();
    ModalAnswerer answerer;
    QString results;
    bool ownedWhileOpen = false;
    answerer.OnDialog([&](QDialog& dialog) {
        auto* receiver = qobject_cast<QtReceiverDialog*>(&dialog);
        if (receiver == nullptr) {
            dialog.reject();
        } else if (!receiver->Running()) {
            ownedWhileOpen = Doc().UtilityOwns() && !Doc().SweepRunning();
            receiver->findChild<QPushButton*>(QStringLiteral("start"))->click();
        } else if (receiver->ResultsText().startsWith(QStringLiteral("RF COUNTER: "))) {
            results = receiver->ResultsText();
            receiver->findChild<QPushButton*>(QStringLiteral("exit"))->click();
        }
    });
    QTest::mouseClick(frame->Panel().Button(1029), Qt::LeftButton);
    EXPECT_TRUE(ownedWhileOpen);
    EXPECT_TRUE(results.contains(QStringLiteral("\nAveraged: "))) << results.toStdString();
    EXPECT_FALSE(Doc().UtilityOwns());
    EXPECT_TRUE(Doc().SweepRunning());
}

// The harmonics plot sweeps on a worker: the items wait for it, and a close
// asked for meanwhile happens once it has ended, after its question.
TEST_F(MainFrameTest, TheHarmonicsPlotRunsOnAWorkerAndTheWindowClosesAfterIt) {
    Doc().SetFrequencies(99.9e6, 100.1e6);
    frame->Place();
    QtUtilitiesMenu& utilities = frame->UtilitiesMenu();
    utilities.HarmonicsAction()->trigger();
    EXPECT_FALSE(utilities.HarmonicsAction()->isEnabled());
    EXPECT_FALSE(frame->close());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame->isVisible(); }, 60000));
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "Sweep Again?");
    EXPECT_FALSE(Doc().InstrumentConnected());
    EXPECT_EQ(Doc().Frequencies().CenterHz(), 100e6);
}

// Utilities "Run Self Test" on the virtual unit, whose SELF TEST output the
// virtual cable joins to RF IN; Advanced holds the factory commands, which
// wait while a utility's worker has the instrument.
TEST_F(MainFrameTest, TheSelfTestRunsFromTheMenuAndFactoryCommandsWaitForAUtility) {
    prompter.QueueAnswer(true);
    Action("actionRunSelfTest")->trigger();
    const auto boxes = prompter.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "CONNECT NOW");
    EXPECT_EQ(boxes[1].caption, "SELF TEST RESULTS");
    EXPECT_EQ(boxes[1].text.find("FAIL"), std::string::npos) << boxes[1].text;

    Doc().SetFrequencies(99.9e6, 100.1e6);
    frame->UtilitiesMenu().HarmonicsAction()->trigger();
    Action("actionCalibration")->trigger();  // refused: no question asked
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame->UtilitiesMenu().WorkerRunning(); }, 60000));
    for (const auto& box : prompter.Boxes()) {
        EXPECT_NE(box.caption, "DOUBLE_CHECK CONNECTIONS");
    }
    prompter.Clear();
    Action("actionViewFlatness")->trigger();
    ASSERT_EQ(prompter.Boxes().size(), 11u);
    EXPECT_EQ(prompter.Boxes().front().caption, "COMPARE CAL SETS");
}

// Channel Power asks the channel's width, starting from half the span, and
// Cancel leaves it off; once on, its reading stands in the top right of the
// graticule after the next sweep. The check mark follows the document.
TEST_F(MainFrameTest, ChannelPowerAsksItsBandwidthAndIsReadOnTheScreen) {
    Doc().SetCenterSpan(915e6, 200e3);
    QAction* channel = frame->UtilitiesMenu().ChannelPowerAction();
    const QRect readout(250, 75, 395, 20);
    const auto textPixels = [&] {
        return Count(frame->View().RenderScreen(), readout, Qt::yellow, kTextTolerance);
    };
    channel->trigger();
    EXPECT_FALSE(channel->isChecked());
    ASSERT_EQ(dialogs.openings.size(), 1u);
    EXPECT_EQ(dialogs.openings[0].label, "Channel Bandwidth");
    EXPECT_EQ(dialogs.openings[0].start, 100e3);

    dialogs.frequencies = {50e3};
    channel->trigger();
    EXPECT_TRUE(channel->isChecked());
    Doc().ApplyLevelPlan();
    Doc().PerformSweep();
    EXPECT_GT(textPixels(), 50);
    EXPECT_EQ(Doc().ChannelPower().value_or(ChannelPowerReading{}).bandwidthHz, 50e3);

    Doc().SetTraceMeasurements({});
    Q_EMIT frame->UtilitiesMenu().aboutToShow();
    EXPECT_FALSE(channel->isChecked());
    EXPECT_EQ(textPixels(), 0);
}

// Marker menu: marker 3 made active takes the peak search; the table under
// the plot lists it with its difference to marker 1, the noise marker reads
// the RMS trace around it, and the peak table is written as CSV.
TEST_F(MainFrameTest, TheMarkerMenuTableAndPeakTable) {
    Doc().SetTraceMeasurements({.noiseOn = true});
    Doc().SetCenterSpan(914.95e6, 200e3);
    Doc().ApplyLevelPlan();
    Doc().PerformSweep();
    MarkerCommands(Doc()).Normal();
    Action("activeMarker3")->trigger();
    Action("peakSearch")->trigger();
    const MarkerState m = MarkerCommands(Doc()).Snapshot();
    EXPECT_NEAR(m.extra.Of(3).position, 915e6, 1e3);
    EXPECT_EQ(m.marker1Pos, 914.95e6);

    Action("markerTable")->trigger();
    QtMarkerPanel& panel = *frame->findChild<QtMarkerPanel*>("markerPanel");
    panel.SetNoiseMarker(true, 2);
    panel.Refresh();
    ASSERT_EQ(panel.Table().rowCount(), 2);
    EXPECT_EQ(panel.Table().item(1, 0)->text(), "3 *");
    EXPECT_TRUE(panel.Table().item(1, 3)->text().startsWith("+0.050"))
        << panel.Table().item(1, 3)->text().toStdString();
    EXPECT_TRUE(panel.NoiseText().endsWith("dBm/Hz")) << panel.NoiseText().toStdString();

    Action("peakTable")->trigger();
    auto* peaks = frame->findChild<QtPeakTableDialog*>("peakTableDialog");
    ASSERT_NE(peaks, nullptr);
    peaks->SetSettings({1, -100.0, 6.0});
    EXPECT_EQ(peaks->ExportTo(PathIn("peaks.csv")), QString());
    const std::string csv = test::ReadFileText(gui.Directory() / "peaks.csv");
    EXPECT_TRUE(csv.starts_with("Frequency (Hz),Level (dBm),Flag\r\n915")) << csv;
    peaks->close();
    // Marker 3 is drawn on the plot until the menu turns it off.
    const QImage withMarker3 = frame->View().RenderScreen();
    Action("activeMarkerOff")->trigger();
    EXPECT_FALSE(MarkerCommands(Doc()).Snapshot().extra.Of(3).on);
    EXPECT_NE(frame->View().RenderScreen(), withMarker3);
}

// An antenna's table loaded from View: dBuV/m is offered, the marker table
// reads the marker's level plus the factor interpolated at its frequency,
// the plot shows X; a spoilt file is named and changes nothing.
TEST_F(MainFrameTest, ATransducerCorrectsTheMarkerAndShowsItsAnnunciator) {
    Doc().SetCenterSpan(915e6, 200e3);
    Doc().ApplyLevelPlan();
    Doc().PerformSweep();
    MarkerCommands(Doc()).Peak();
    const MarkerState m = MarkerCommands(Doc()).Snapshot();
    EXPECT_FALSE(Action("unit dBuV/m")->isEnabled());
    std::ofstream(gui.Directory() / "bad.csv") << "900e6,20\n930e6,oops\n";
    EXPECT_FALSE(frame->LevelMenu().LoadTransducerFile(PathIn("bad.csv")));
    EXPECT_EQ(prompter.Text(),
              "UNABLE TO OPEN: bad.csv: line 2: the value is not a number of "
              "dB from -200 to 200\n");
    std::ofstream(gui.Directory() / "antenna.csv") << "unit,dB/m\n900e6,20\n930e6,23\n";
    ASSERT_TRUE(frame->LevelMenu().LoadTransducerFile(PathIn("antenna.csv")));
    Action("unit dBuV/m")->trigger();

    Action("markerTable")->trigger();
    QtMarkerPanel& panel = *frame->findChild<QtMarkerPanel*>("markerPanel");
    panel.Refresh();
    const double factor = 20.0 + 3.0 * (m.marker1Pos - 900e6) / 30e6;
    EXPECT_EQ(panel.Table().item(0, 2)->text().toStdString(),
              FormatText("%.2f dB\u00B5V/m", m.marker1Level + 106.98970004336019 + factor));
    PlotSnapshot snapshot = TakePlotSnapshot(Doc());
    ShowLevelsAs(frame->View().Levels(), snapshot);
    EXPECT_NE(PlotAnnotations(snapshot, false).Annunciators().find("X "), std::string::npos);
    Action("transducerOff")->trigger();
    EXPECT_EQ(frame->View().Levels().Unit(), LevelUnit::kDbuv) << "no field strength without it";
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
        {1014, "PEAK",
         [&] { return test::MarkersOf(Doc()).marker1On == 1; }},  // the sweep is stopped
        {1019, "MAX HOLD", [&] { return Settings().maxHold == 1; }},
        {1024, "VIDEO", [&] { return prompter.Count() == 1u; }},  // in zero span only
        {1025, "CONTINUOUS", [&] { return Doc().SweepRunning(); }},
        {1005, "PRESET",
         [&] { return !Doc().SweepRunning() && Doc().Frequencies().SpanHz() > 20e6; }},
    };
    for (const auto& [id, caption, done] : rows) {
        QPushButton* button = frame->Panel().Button(id);
        ASSERT_NE(button, nullptr) << caption;
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(done()) << caption;
    }
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
    EXPECT_EQ(prompter.Count(), 0u);
}

// A failed write says why and leaves no file behind.
TEST_F(FileMenuTest, ExportsAndStateFilesAreWrittenWholeOrNotAtAll) {
    ASSERT_TRUE(frame->FileMenu().ExportTraceTo(PathIn("trace.csv")));

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

// The value-entry dialogs through the port the panel commands call, driven as
// a user drives them: keys clicked, text typed, Enter pressed. The values each
// rule takes or refuses are tested with the rule, in
// tests/panel/entry_rules_test.cpp; here each dialog shows a refusal and
// hands back what was accepted.
QPushButton* Button(QDialog& dialog, const QString& caption) {
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == caption) {
            return button;
        }
    }
    ADD_FAILURE() << "no button \"" << caption.toStdString() << "\"";
    return nullptr;
}

// Types the text, if any, over the field's own, as after selecting it all;
// then clicks the button with this caption, or presses Enter in the field.
void Enter(QDialog& dialog, const QString& text, const QString& caption, int field = 0) {
    QLineEdit* edit = dialog.findChildren<QLineEdit*>().value(field);
    if (!text.isEmpty()) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    if (caption.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Return);
    } else if (QPushButton* button = Button(dialog, caption)) {
        QTest::mouseClick(button, Qt::LeftButton);
    }
}

class QtEntryDialogsTest : public ::testing::Test {
  protected:
    QtEntryDialogsTest() : window_(std::make_unique<QWidget>()), dialogs_(window_.get()) {
        window_->show();
        // A case whose interaction does not close its dialog fails here
        // instead of waiting forever in the modal loop.
        QObject::connect(&guard_, &QTimer::timeout, [] {
            if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "dialog \"" << open->windowTitle().toStdString()
                              << "\" was still open";
                open->reject();
            }
        });
        guard_.start(5000);
    }

    // Does what the user does once the next dialog is open, modally.
    void WhenOpen(std::function<void(QDialog&)> use) {
        QTimer::singleShot(0, [this, use] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr) << "no modal dialog open";
            openedOver_ = dialog->parentWidget();
            use(*dialog);
        });
    }

    std::unique_ptr<QWidget> window_;
    QtEntryDialogs dialogs_;
    QTimer guard_;
    QWidget* openedOver_ = nullptr;
};

// Each dialog first refuses a value (where its rule refuses any) and says
// why without moving its buttons, then takes one and hands it back.
TEST_F(QtEntryDialogsTest, EachDialogShowsARefusalAndHandsBackTheValueTaken) {
    struct Row {
        const char* name;
        QString refused, taken, button;
        int field;
        std::function<void(EntryDialogs&)> openAndCheck;
    };
    const std::vector<Row> rows = {
        {"amplitude", "0", "1", "mV", 0,
         [](EntryDialogs& d) {
             EXPECT_DOUBLE_EQ(d.EnterAmplitude("REF LEVEL", -10.0).value_or(0.0), -46.9897);
         }},
        {"dB/div", "0", "2.5", "", 0,
         [](EntryDialogs& d) { EXPECT_EQ(d.EnterDb("dB/div", 10.0, DbRange::AboveZero), 2.5); }},
        {"percent", "100", "99.5", "%", 0,
         [](EntryDialogs& d) { EXPECT_EQ(d.EnterDb("OBW", 99.0, DbRange::Percent), 99.5); }},
        {"zero span", "0.4", "500", "OK", 0,
         [](EntryDialogs& d) {
             EXPECT_EQ(d.EnterZeroSpan(10.0).value_or(ZeroSpanChoice{}).sweepTimeMs, 500.0);
         }},
        {"ratio", "0", "50", "OK", 0,
         [](EntryDialogs& d) { EXPECT_EQ(d.EnterSpanRbwRatio(80.0), 50.0); }},
        {"extra delay", "5001", "250", "msec", 0,
         [](EntryDialogs& d) { EXPECT_EQ(d.EnterExtraDelay(200), 250); }},
        {"TCP/IP data port", "65536", "4000", "OK", 2,
         [](EntryDialogs& d) {
             EXPECT_EQ(d.EnterTcpIp(TcpIpSettings{}).value_or(TcpIpSettings{}).dataPort, 4000);
         }},
        {"title", "", QString::fromUtf8("Filter \u00b1 5 kHz"), "OK", 0,
         [](EntryDialogs& d) { EXPECT_EQ(d.EnterTitle("Phase noise"), "Filter \u00b1 5 kHz"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WhenOpen([&row](QDialog& dialog) {
            if (!row.refused.isEmpty()) {
                const auto buttonsAt = [&dialog] {
                    QCoreApplication::sendPostedEvents();  // the layout's own requests
                    std::vector<QPoint> at;
                    for (const QPushButton* button : dialog.findChildren<QPushButton*>()) {
                        at.push_back(button->mapTo(&dialog, QPoint()));
                    }
                    return at;
                };
                const std::vector<QPoint> before = buttonsAt();
                Enter(dialog, row.refused, row.button, row.field);
                auto* refusal = dialog.findChild<QtRefusalLabel*>();
                EXPECT_TRUE(dialog.isVisible() && !refusal->text().isEmpty());
                EXPECT_EQ(buttonsAt(), before);
            }
            Enter(dialog, row.taken, row.button, row.field);
        });
        row.openAndCheck(dialogs_);
        EXPECT_EQ(openedOver_, window_.get());
    }
}

// The server has no password: an address other hosts can reach is said to
// be one as it is typed. A host name is refused (the server binds numbers).
TEST_F(QtEntryDialogsTest, TheTcpIpDialogWarnsOfAnAddressOtherHostsReach) {
    WhenOpen([](QDialog& dialog) {
        auto* warning = dialog.findChild<QLabel*>("openNetworkWarning");
        QLineEdit* address = dialog.findChildren<QLineEdit*>().value(0);
        EXPECT_FALSE(warning->isVisibleTo(&dialog));
        address->setText("192.168.1.20");
        EXPECT_TRUE(warning->isVisibleTo(&dialog));
        address->setText("::1");
        EXPECT_FALSE(warning->isVisibleTo(&dialog));
        Enter(dialog, "localhost", "OK");
        EXPECT_TRUE(dialog.isVisible());
        Enter(dialog, "0.0.0.0", "OK");
    });
    EXPECT_EQ(dialogs_.EnterTcpIp(TcpIpSettings{}).value_or(TcpIpSettings{}).address, "0.0.0.0");
}

// The keypad starts in its unit and the first key clears the field; a unit
// typed after the number goes before the unit the keypad opened in.
TEST_F(QtEntryDialogsTest, KeypadStartsInItsUnitAndTakesAUnitTypedAfterTheNumber) {
    WhenOpen([](QDialog& dialog) {
        EXPECT_EQ(dialog.findChild<QLineEdit*>()->text(), "902");
        EXPECT_TRUE(Button(dialog, "MHz")->isDefault());
        for (const char* key : {"1", ".", "5", "GHz"}) {
            Enter(dialog, "", key);
        }
    });
    EXPECT_EQ(dialogs_.EnterFrequency("CENTER FREQ", 902e6), 1.5e9);
    const std::pair<const char*, double> rows[] = {
        {"915M", 915e6},        {"2.4G", 2.4e9}, {"100k", 100e3},
        {" 12.5 kHz ", 12.5e3}, {"50Hz", 50.0},  {"7", 7e6},
    };
    for (const auto& [typed, hz] : rows) {
        WhenOpen([typed](QDialog& dialog) {
            Enter(dialog, "5X", "");
            EXPECT_TRUE(dialog.isVisible()) << "refused: 5X";
            Enter(dialog, typed, "");
        });
        EXPECT_EQ(dialogs_.EnterFrequency("CENTER FREQ", 902e6), hz) << typed;
    }
}

TEST_F(QtEntryDialogsTest, TheAttenuatorIsChosenFromAList) {
    WhenOpen([](QDialog& dialog) {
        auto* list = dialog.findChild<QComboBox*>();
        EXPECT_EQ(list->currentIndex(), 3) << "an index past the list shows its last step";
        list->setCurrentIndex(1);
        Enter(dialog, "", "OK");
    });
    EXPECT_EQ(dialogs_.ChooseAttenuator(7), 1);
}

TEST_F(QtEntryDialogsTest, AWindowClosedUnderAnOpenDialogCancelsIt) {
    WhenOpen([this](QDialog& dialog) {
        QPointer<QDialog> watched(&dialog);
        window_.reset();
        EXPECT_TRUE(watched.isNull()) << "the dialog goes with its window";
    });
    EXPECT_EQ(dialogs_.EnterFrequency("CENTER FREQ", 902e6), std::nullopt);

    // Without the window the dialogs open on their own, saying what they set.
    WhenOpen([](QDialog& dialog) {
        EXPECT_EQ(dialog.findChild<QLabel*>()->text(), "Ref Lvl Step");
        Enter(dialog, "", "");
    });
    EXPECT_EQ(dialogs_.EnterDb("Ref Lvl Step", 3.0, DbRange::Any), 3.0);
    EXPECT_EQ(openedOver_, nullptr);
}

TEST_F(QtEntryDialogsTest, OpeningFromAnotherThreadIsAProgrammingError) {
    std::thread([this] {
        EXPECT_THROW(dialogs_.EnterDb("dB/div", 1.0, DbRange::Any), std::logic_error);
    }).join();
}

}  // namespace
}  // namespace tavlin::test
