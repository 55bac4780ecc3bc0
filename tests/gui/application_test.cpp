// The virtual instrument's header comes before any Qt header: its scene has
// a member named like Qt's `signals` keyword.
#include "sim/virtual_instrument.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <filesystem>

#include "app/qt_application.h"
#include "app/qt_file_menu.h"
#include "app/qt_main_frame.h"
#include "document/analyzer_document.h"
#include "gui/gui_document.h"
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
    QtMainFrame& frame = application.Frame();
    EXPECT_TRUE(frame.isVisible());
    EXPECT_EQ(frame.size(), QSize(950, 740));
    EXPECT_DOUBLE_EQ(application.Document().Frequencies().CenterHz(), 100e6);
    EXPECT_EQ(frame.FileMenu().RecentFiles(),
              QStringList({QString::fromStdString(stateFile.string())}));
    for (const auto& box : prompter.Boxes()) {
        ADD_FAILURE() << box.caption << ": " << box.text;
    }
}

TEST_F(ApplicationTest, AnInstrumentLostOnAResetClosesTheWindow) {
    QtApplication application(unit, clock, &prompter);
    ASSERT_TRUE(application.Start());
    unit.Unplug();
    application.Document().OnPreset();  // the reset finds no unit
    EXPECT_TRUE(QTest::qWaitFor([&] { return !application.Frame().isVisible(); }, 5000));
    ASSERT_FALSE(prompter.Boxes().empty());
    EXPECT_EQ(prompter.Boxes().back().text, "TAVLIN NOT FOUND\r\nClosing application");
}

TEST_F(ApplicationTest, NoInstrumentAtStartMeansNoWindow) {
    unit.Unplug();
    QtApplication application(unit, clock, &prompter);
    EXPECT_FALSE(application.Start());
    ASSERT_EQ(prompter.Count(), 2u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "ERROR 1-TAVLIN NOT FOUND");
    EXPECT_EQ(prompter.Boxes()[1].caption, "ERROR 1");
}

}  // namespace
}  // namespace tavlin::test
