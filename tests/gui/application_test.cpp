// The program as a whole: the application object starting on the virtual
// instrument, and the built program run from the command line the way a
// user or a bug report would run it.
//
// The virtual instrument's header comes before any Qt header: its scene has
// a member named like Qt's `signals` keyword.
#include "sim/virtual_instrument.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <filesystem>

#include "app/qt_application.h"
#include "app/qt_file_menu.h"
#include "app/qt_main_frame.h"
#include "document/analyzer_document.h"
#include "support/fake_clock.h"
#include "support/recording_prompter.h"
#include "support/test_directory.h"

namespace tavlin::test {
namespace {

// The program keeps its calibration cache in the working directory, so each
// test runs in a folder of its own.
class ApplicationTest : public ::testing::Test {
  protected:
    ApplicationTest() : directory_(MakeTestDirectory("tavlin-app")) {
        QStandardPaths::setTestModeEnabled(true);
        QtApplication::SetSettingsKey();
        QSettings().remove(QStringLiteral("Recent File List"));
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(directory_);
    }
    ~ApplicationTest() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(directory_);
    }

    struct Run {
        int exitCode = -1;
        QString output;
    };
    // The built program in the test's folder, offscreen as this run is.
    static Run Tavlin(const QStringList& arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(TAVLIN_GUI_PATH), arguments);
        if (!process.waitForFinished(180000)) {
            ADD_FAILURE() << "tavlin did not end";
            process.kill();
            process.waitForFinished();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromLocal8Bit(process.readAll())};
    }

    std::filesystem::path directory_;
    std::filesystem::path previous_;
    FakeClock clock;
    sim::VirtualInstrument unit{clock};
    RecordingPrompter prompter;
};

TEST_F(ApplicationTest, StartShowsTheWindowWithTheStateFileNamedOnTheCommandLine) {
    const std::filesystem::path stateFile = directory_ / "narrow.pqz";
    {
        QtApplication first(unit, clock, &prompter);
        ASSERT_TRUE(first.Start());
        first.Document().SetCenterSpan(100e6, 1e6);
        ASSERT_TRUE(first.Document().SaveStateFile(stateFile));
    }
    clock.Advance(sim::VirtualInstrument::kReenumerationMs);  // back on the bus after the reset
    QtApplication application(unit, clock, &prompter);
    ASSERT_TRUE(application.Start(stateFile.string()));
    EXPECT_TRUE(application.Frame().isVisible());
    EXPECT_DOUBLE_EQ(application.Document().Frequencies().CenterHz(), 100e6);
    EXPECT_EQ(application.Frame().FileMenu().RecentFiles(),
              QStringList({QString::fromStdString(stateFile.string())}));
    EXPECT_EQ(prompter.Count(), 0u);
}

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
    const Run run = Tavlin({"--simulate", "--screenshot", "window.png", "--sweeps", "2", "-c",
                            "FRE:SPA 1e6", "-c", "*IDN?"});
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains("TAVLIN-44")) << run.output.toStdString();
    EXPECT_EQ(QImage("window.png").size(), QSize(950, 740));

    // A command the language does not know is reported, the picture still made.
    const Run unknown =
        Tavlin({"--simulate", "--screenshot", "second.png", "--sweeps", "0", "-c", "XYZ"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(QFileInfo::exists("second.png"));
    // Options it cannot use are refused before anything is drawn.
    EXPECT_EQ(Tavlin({"--simulate", "--screenshot", "x.png", "--sweeps", "x"}).exitCode, 2);
    EXPECT_EQ(Tavlin({"--simulate=no-such-scene.json", "--screenshot", "x.png"}).exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists("x.png"));
}

}  // namespace
}  // namespace tavlin::test
