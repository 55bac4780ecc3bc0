// What the window keeps over its exit, and what it does with a damaged file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QSettings>
#include <fstream>
#include <memory>

#include "app/qt_level_menu.h"
#include "app/qt_main_frame.h"
#include "app/qt_session_memory.h"
#include "app/qt_theme.h"
#include "gui/gui_fixtures.h"
#include "panel/qt_front_panel.h"
#include "support/recording_prompter.h"
#include "support/scripted_entry_dialogs.h"
#include "view/qt_waterfall_view.h"

namespace tavlin::test {
namespace {

// Each test keeps its settings in a folder of its own.
class SessionMemoryTest : public ::testing::Test {
  protected:
    SessionMemoryTest() : folder_(MakeTestDirectory("tavlin-session")) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(folder_.string()));
    }
    ~SessionMemoryTest() override { std::filesystem::remove_all(folder_); }

    // A start as the window makes it: the preset, then the kept session.
    struct Start {
        explicit Start(RecordingPrompter& prompter) : gui(prompter) {
            QtSessionMemory::SetAsideDamagedSettings(gui.Doc().GetPrompter());
            frame = std::make_unique<QtMainFrame>(gui.Doc(), dialogs);
            frame->Place(QtSessionMemory::Restore(*frame, gui.Doc()));
            frame->SetBeforeClose([this] { QtSessionMemory::Remember(*frame, gui.Doc()); });
        }
        ~Start() { frame->close(); }
        std::string Title() {
            frame->RefreshTitle();
            return frame->windowTitle().toStdString();
        }
        ScriptedEntryDialogs dialogs;
        GuiDocument gui;
        std::unique_ptr<QtMainFrame> frame;
    };

    std::filesystem::path folder_;
    RecordingPrompter prompter;
};

constexpr WaterfallSettings kWaterfall{3, 2000, true, -95.0, -35.0};

TEST_F(SessionMemoryTest, AStartAfterAnExitComesBackWhereTheLastEnded) {
    const std::filesystem::path file = folder_ / "band.pqz";
    {
        Start first(prompter);
        EXPECT_EQ(first.Title(), "Untitled - Tavlin");
        first.gui.Doc().SetCenterSpan(433.92e6, 2e6);
        ASSERT_TRUE(first.gui.Doc().SaveStateFile(file));
        first.gui.Doc().PerformSweep();
        EXPECT_EQ(first.Title(), "band.pqz - Tavlin") << "a sweep measures, it changes nothing";
        first.gui.Doc().EditSettings([](InstrumentState& s) { s.refLevelDbm = -30; });
        EXPECT_EQ(first.Title(), "band.pqz* - Tavlin");
        first.frame->ShowSpectrogram(true);
        first.frame->setGeometry(40, 50, 1000, 800);
        first.frame->SetWaterfallShare(0.25);
        first.frame->Waterfall().SetSettings(kWaterfall);
    }
    Start second(prompter);
    EXPECT_DOUBLE_EQ(second.gui.Doc().Frequencies().CenterHz(), 433.92e6);
    EXPECT_DOUBLE_EQ(second.gui.Doc().Frequencies().SpanHz(), 2e6);
    EXPECT_DOUBLE_EQ(second.gui.Doc().Settings().refLevelDbm, -30);
    EXPECT_TRUE(second.frame->SpectrogramShown());
    EXPECT_EQ(second.frame->Waterfall().Settings(), kWaterfall);
    EXPECT_EQ(
        second.gui.Doc().ReadSpectrogram([](const SpectrogramHistory& h) { return h.Capacity(); }),
        2000u);
    EXPECT_NEAR(second.frame->WaterfallShare(), 0.25, 0.01);
    EXPECT_EQ(second.frame->size(), QSize(1000, 800));
    EXPECT_EQ(second.Title(), "band.pqz* - Tavlin");
    EXPECT_EQ(prompter.Count(), 0u);
}

// The theme is chosen in the View menu, worn by the whole application at
// once, and kept for the next start.
TEST_F(SessionMemoryTest, TheThemeChosenInTheViewMenuIsWornAndKept) {
    QtTheme theme;
    {
        Start first(prompter);
        first.frame->AddThemeMenu(theme);
        auto* menu = first.frame->findChild<QMenu*>(QStringLiteral("themeMenu"));
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->actions().size(), 3);
        menu->actions()[2]->trigger();  // "Dark"
        EXPECT_EQ(QApplication::palette().color(QPalette::Window),
                  QtTheme::DarkPalette().color(QPalette::Window));
        QCoreApplication::processEvents();  // the windows take the palette from the loop
        EXPECT_EQ(first.frame->Panel().palette().color(QPalette::WindowText),
                  QtTheme::DarkPalette().color(QPalette::WindowText));
        EXPECT_TRUE(menu->actions()[2]->isChecked());
    }
    EXPECT_EQ(QtSessionMemory::RememberedTheme(), ThemeChoice::kDark);
}

// The transducer comes back by its file; a file gone since is told, and the
// window starts with the transducer off rather than not at all.
TEST_F(SessionMemoryTest, TheTransducerComesBackByItsFileOrIsToldGone) {
    const std::filesystem::path table = folder_ / "antenna.csv";
    std::ofstream(table) << "unit,dB/m\n100e6,10\n1e9,20\n";
    {
        Start first(prompter);
        ASSERT_TRUE(first.frame->LevelMenu().LoadTransducerFile(QString::fromStdString(table)));
        ASSERT_TRUE(first.frame->LevelMenu().SetUnit(LevelUnit::kDbuvPerMetre));
    }
    {
        Start second(prompter);
        EXPECT_EQ(second.frame->LevelMenu().Levels().Unit(), LevelUnit::kDbuvPerMetre);
        EXPECT_EQ(prompter.Count(), 0u);
    }
    std::filesystem::remove(table);
    Start third(prompter);
    EXPECT_EQ(third.frame->LevelMenu().Levels().Transducer(), nullptr);
    EXPECT_EQ(third.frame->LevelMenu().Levels().Unit(), LevelUnit::kDbuv);
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "TRANSDUCER");
}

// Settings edited by hand into values the window cannot use come back
// within their bounds.
TEST_F(SessionMemoryTest, AWaterfallEditedOutOfBoundsComesBackBounded) {
    {
        QSettings settings;
        settings.setValue("Spectrogram/LineHeight", 99);
        settings.setValue("Spectrogram/HistoryLines", "-4");
        settings.setValue("Spectrogram/BottomDbm", "nan");
        settings.setValue("Window/WaterfallShare", 7.0);
    }
    Start start(prompter);
    EXPECT_EQ(start.frame->Waterfall().Settings(),
              (WaterfallSettings{8, SpectrogramHistory::kMinCapacity, false, -100.0, -20.0}));
    EXPECT_DOUBLE_EQ(start.frame->WaterfallShare(), 0.9);
}

// Whatever is wrong with a kept file, the window starts on the preset and
// the file is kept aside for whoever wants to look at it.
struct DamagedRow {
    const char* name;
    bool settingsFile;  // else the state file beside it
    std::string content;
    friend void PrintTo(const DamagedRow& row, std::ostream* out) { *out << row.name; }
};

class DamagedFileTest : public SessionMemoryTest,
                        public ::testing::WithParamInterface<DamagedRow> {};

TEST_P(DamagedFileTest, IsSetAsideWithAMessage) {
    const QString path =
        GetParam().settingsFile ? QtSessionMemory::SettingsFile() : QtSessionMemory::StateFile();
    std::filesystem::create_directories(std::filesystem::path(path.toStdString()).parent_path());
    std::ofstream(path.toStdString(), std::ios::binary) << GetParam().content;
    Start start(prompter);
    EXPECT_DOUBLE_EQ(start.gui.Doc().Frequencies().CenterHz(), 915e6);
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "SETTINGS SET ASIDE");
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(QFile::exists(path + ".damaged"));
}

INSTANTIATE_TEST_SUITE_P(
    Kept, DamagedFileTest,
    ::testing::Values(DamagedRow{"SettingsNotIni", true, "[Window\n\x01\x02 no pairs here\n"},
                      DamagedRow{"StateCutShort", false, std::string("\x01\0\0\0\0\0", 6)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavlin::test
