#include <cmath>
#include <filesystem>
#include <limits>
#include <mutex>

#include "document/level_rows.h"
#include "document/marker_scale.h"
#include "panel/panel_fixture.h"
#include "support/test_directory.h"
#include "view/limit_line_commands.h"

namespace tavlin {
namespace {

using test::PanelFixture;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Level to row, in each scale the inverse of the marker levels, truncated
// toward zero; levels far off the screen stay far off it.
TEST(LevelRowsTest, RowsOfLevelsInEachScale) {
    MarkerScale log;
    log.startHz = 902e6;
    log.stopHz = 928e6;
    log.refLevelDbm = -10.0;
    log.refLevelOffsetDb = 3.0;
    log.dbPerDiv = 10.0;
    MarkerScale lin = log;
    lin.linearScale = true;
    MarkerScale fm = log;
    fm.stopHz = fm.startHz;
    fm.zeroSpanFm = true;
    fm.maxFmOffsetHz = 5000.0;
    for (const MarkerScale& scale : {log, lin, fm}) {
        for (const int row : {-40, 0, 125, 250, 500, 505}) {
            EXPECT_NEAR(RowOfLevel(scale, scale.LevelOfRow(row)), row, 1e-9);
        }
    }
    MarkerScale tiny = log;
    tiny.dbPerDiv = 1e-300;
    struct Row {
        const char* name;
        const MarkerScale& scale;
        double level;
        int row;
    };
    for (const Row& row :
         {Row{"log", log, -27.0, 100}, Row{"lin", lin, DbmToMillivolts(-7.0) / 2, 250},
          Row{"fm", fm, -5000.0, 500}, Row{"1.95 rows", log, -7.39, 1},
          Row{"-1.95 rows", log, -6.61, -1}, Row{"far below", log, -1e300, kFarRow},
          Row{"far above", log, 1e300, -kFarRow}, Row{"NaN", log, kNaN, 500},
          Row{"tiny scale", tiny, -8.0, kFarRow}}) {
        EXPECT_EQ(LevelToRow(row.scale, row.level), row.row) << row.name;
    }
}

class LimitLineTest : public PanelFixture {
  protected:
    using Rows = std::array<std::int32_t, kTracePoints>;
    void SetUp() override { BuildPanelDocument(); }
    LimitLineCommands commands() { return LimitLineCommands(*doc, dialogs); }
    DisplayState Display() { return test::DisplayOf(*doc); }
    static Rows Filled(int row) {
        Rows rows;
        rows.fill(row);
        return rows;
    }
};

// The entries start at the bottom and top lines; the lower limit is drawn as
// trace B and stays there, with both rows, when the lines go off.
TEST_F(LimitLineTest, EntriesBecomeRowsThatOutliveTheLines) {
    Edit([](InstrumentState& s) {
        s.refLevelOffsetDb = 5.0;
        s.dbPerDiv = 5.0;
    });
    dialogs.amplitudes = {-25.0, 10.0};  // three divisions down; one above the top
    commands().OnLimitLines();
    EXPECT_EQ(dialogs.Labels(), (std::vector<std::string>{"LOWER LIMIT", "UPPER LIMIT"}));
    EXPECT_EQ(dialogs.openings[0].start, 5.0 - 50.0);
    EXPECT_EQ(dialogs.openings[1].start, 5.0);
    EXPECT_TRUE(commands().LimitLinesOn());
    commands().OnLimitLines();
    EXPECT_FALSE(commands().LimitLinesOn());
    EXPECT_EQ(Display().lowerLimitRows, Filled(300));
    EXPECT_EQ(Display().upperLimitRows, Filled(-50));
    EXPECT_EQ(Display().traceBRows, Filled(300));
}

// The entries are levels in dBm; the linear scale places millivolts.
TEST_F(LimitLineTest, OnTheLinearScaleTheLevelIsPlacedInMillivolts) {
    Edit([](InstrumentState& s) {
        s.linearScale = 1;
        s.refLevelDbm = -20.0;
    });
    // 0.399 of the reference voltage lies at row 300.5.
    dialogs.amplitudes = {-20.0 + 20.0 * std::log10(0.399), -20.0};
    commands().OnLimitLines();
    EXPECT_EQ(Display().lowerLimitRows, Filled(300));
    EXPECT_EQ(Display().upperLimitRows, Filled(0));
}

TEST_F(LimitLineTest, ACancelledOrNotFiniteEntryLeavesTheLinesOffAndTheRowsAsTheyWere) {
    dialogs.amplitudes = {std::nullopt, -80.0, std::nullopt, kNaN, -80.0, kNaN};
    for (int i = 0; i < 4; ++i) {
        commands().OnLimitLines();
    }
    EXPECT_EQ(dialogs.openings.size(), 6u);
    const DisplayState d = Display();
    EXPECT_FALSE(d.limitLinesOn);
    EXPECT_EQ(d.lowerLimitRows, Filled(500));
    EXPECT_EQ(d.upperLimitRows, Filled(0));
}

// Trace A->B copies the rows without showing them; a state saved with the
// limit lines on holds what the screen showed as trace B: the lower limit.
TEST_F(LimitLineTest, TraceBIsACopyOfTraceAOrTheSavedLowerLimit) {
    doc->EditTrace([](ScreenState& s) { s.trace.traceAInt.fill(123); });
    dialogs.amplitudes = {-30.0, 0.0};
    commands().OnLimitLines();
    const auto dir = test::MakeTestDirectory("tavlin-limit");
    ASSERT_TRUE(doc->SaveStateFile(dir / "limits.pqz", false));
    commands().OnLimitLines();
    commands().OnTraceAToB();
    EXPECT_EQ(Display().traceBRows, Filled(123));
    EXPECT_FALSE(commands().TraceBShown());
    ASSERT_TRUE(doc->LoadStateFile(dir / "limits.pqz", false));
    std::filesystem::remove_all(dir);
    EXPECT_EQ(Display().traceBRows, Filled(150));
}

}  // namespace
}  // namespace tavlin
