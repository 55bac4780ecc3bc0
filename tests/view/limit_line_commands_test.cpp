#include <gmock/gmock.h>

#include <cmath>
#include <limits>

#include "document/level_rows.h"
#include "document/marker_scale.h"
#include "panel/panel_fixture.h"
#include "view/limit_line_commands.h"

namespace tavlin {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Level to row, in each scale the inverse of the marker levels, truncated
// toward zero; levels far off the screen stay far off it.
TEST(LevelRowsTest, RowsOfLevelsInEachScale) {
    const MarkerScale log{
        .startHz = 902e6, .stopHz = 928e6, .refLevelDbm = -10.0, .refLevelOffsetDb = 3.0};
    const MarkerScale fm{
        .startHz = 902e6, .stopHz = 902e6, .maxFmOffsetHz = 5000.0, .zeroSpanFm = true};
    MarkerScale tiny = log;
    tiny.dbPerDiv = 1e-300;
    struct Row {
        const char* name;
        const MarkerScale& scale;
        double level;
        int row;
    };
    for (const Row& row :
         {Row{"log", log, -27.0, 100}, Row{"fm", fm, -5000.0, 500}, Row{"1.95 rows", log, -7.39, 1},
          Row{"-1.95 rows", log, -6.61, -1}, Row{"far below", log, -1e300, kFarRow},
          Row{"far above", log, 1e300, -kFarRow}, Row{"NaN", log, kNaN, 500},
          Row{"tiny scale", tiny, -8.0, kFarRow}}) {
        EXPECT_EQ(LevelToRow(row.scale, row.level), row.row) << row.name;
    }
}

class LimitLineTest : public test::PanelFixture {
  protected:
    LimitLineCommands commands() { return LimitLineCommands(*doc, dialogs); }
    DisplayState Display() { return test::DisplayOf(*doc); }
};

// The entries start at the bottom and top lines; the lower limit is drawn as
// trace B and stays there, with both rows, when the lines go off. Trace A->B
// copies the rows without showing them; a state saved with the lines on
// holds what the screen showed as trace B: the lower limit.
TEST_F(LimitLineTest, EntriesBecomeRowsThatOutliveTheLines) {
    Edit([](InstrumentState& s) {
        s.refLevelOffsetDb = 5.0;
        s.dbPerDiv = 5.0;
    });
    dialogs.amplitudes = {-25.0, 10.0};  // three divisions down; one above the top
    commands().OnLimitLines();
    EXPECT_EQ(dialogs.openings[0].start, 5.0 - 50.0);
    EXPECT_EQ(dialogs.openings[1].start, 5.0);
    EXPECT_TRUE(commands().LimitLinesOn());
    ASSERT_TRUE(doc->SaveStateFile(cacheDir / "limits.pqz", false));
    commands().OnLimitLines();
    EXPECT_FALSE(commands().LimitLinesOn());
    EXPECT_THAT(Display().lowerLimitRows, testing::Each(300));
    EXPECT_THAT(Display().upperLimitRows, testing::Each(-50));
    EXPECT_THAT(Display().traceBRows, testing::Each(300));

    doc->EditTrace([](ScreenState& s) { s.trace.traceAInt.fill(123); });
    commands().OnTraceAToB();
    EXPECT_THAT(Display().traceBRows, testing::Each(123));
    EXPECT_FALSE(commands().TraceBShown());
    ASSERT_TRUE(doc->LoadStateFile(cacheDir / "limits.pqz", false));
    EXPECT_THAT(Display().traceBRows, testing::Each(300));
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
    EXPECT_THAT(Display().lowerLimitRows, testing::Each(300));
    EXPECT_THAT(Display().upperLimitRows, testing::Each(0));
}

TEST_F(LimitLineTest, ACancelledOrNotFiniteEntryLeavesTheLinesOffAndTheRowsAsTheyWere) {
    dialogs.amplitudes = {std::nullopt, -80.0, std::nullopt, kNaN, -80.0, kNaN};
    for (int i = 0; i < 4; ++i) {
        commands().OnLimitLines();
    }
    EXPECT_EQ(dialogs.openings.size(), 6u);
    const DisplayState d = Display();
    EXPECT_FALSE(d.limitLinesOn);
    EXPECT_THAT(d.lowerLimitRows, testing::Each(500));
    EXPECT_THAT(d.upperLimitRows, testing::Each(0));
}

}  // namespace
}  // namespace tavlin
