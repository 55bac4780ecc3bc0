#include <cmath>
#include <limits>
#include <mutex>

#include "panel/panel_fixture.h"
#include "view/level_rows.h"
#include "view/limit_line_commands.h"
#include "view/marker_scale.h"

namespace tavlin {
namespace {

using test::PanelFixture;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// --- Level to row --------------------------------------------------------------------

MarkerScale LogScale() {
    MarkerScale s;
    s.startHz = 902e6;
    s.stopHz = 928e6;
    s.refLevelDbm = -10.0;
    s.refLevelOffsetDb = 3.0;
    s.dbPerDiv = 10.0;
    return s;
}

TEST(LevelRowsTest, RowsInEachScaleAreTheInverseOfTheMarkerLevels) {
    MarkerScale log = LogScale();
    MarkerScale lin = LogScale();
    lin.linearScale = true;
    MarkerScale fm = LogScale();
    fm.stopHz = fm.startHz;
    fm.zeroSpanFm = true;
    fm.maxFmOffsetHz = 5000.0;
    for (const MarkerScale& scale : {log, lin, fm}) {
        for (const int row : {-40, 0, 125, 250, 500, 505}) {
            EXPECT_NEAR(RowOfLevel(scale, scale.LevelOfRow(row)), row, 1e-9);
        }
    }
    EXPECT_EQ(LevelToRow(log, -27.0), 100);
    EXPECT_EQ(LevelToRow(lin, DbmToMillivolts(-7.0) / 2.0), 250);
    EXPECT_EQ(LevelToRow(fm, -5000.0), 500);
}

TEST(LevelRowsTest, RowsAreTruncatedTowardZero) {
    const MarkerScale s = LogScale();           // 5 rows a dB from -7 dBm
    EXPECT_EQ(LevelToRow(s, -7.0 - 0.39), 1);   // row 1.95
    EXPECT_EQ(LevelToRow(s, -7.0 + 0.39), -1);  // row -1.95: above the top line
}

TEST(LevelRowsTest, LevelsFarOffTheScreenStayFarOffIt) {
    MarkerScale s = LogScale();
    EXPECT_EQ(LevelToRow(s, -1e300), kFarRow);
    EXPECT_EQ(LevelToRow(s, 1e300), -kFarRow);
    EXPECT_EQ(LevelToRow(s, kNaN), 500);
    s.dbPerDiv = 1e-300;
    EXPECT_EQ(LevelToRow(s, -8.0), kFarRow);
}

// --- Limit lines and trace B ---------------------------------------------------------------

class LimitLineTest : public PanelFixture {
  protected:
    void SetUp() override { BuildPanelDocument(); }
    LimitLineCommands commands() { return LimitLineCommands(*doc, dialogs); }
    DisplayState Display() {
        std::lock_guard lock(doc->traceMutex);
        return doc->display;
    }
    static bool AllEqual(const std::array<std::int32_t, kTracePoints>& rows, int row) {
        for (const std::int32_t r : rows) {
            if (r != row) {
                return false;
            }
        }
        return true;
    }
};

TEST_F(LimitLineTest, EntriesStartAtTheBottomAndTopLinesAndBecomeRows) {
    Edit([](InstrumentState& s) {
        s.refLevelOffsetDb = 5.0;
        s.dbPerDiv = 5.0;
    });
    dialogs.amplitudes = {-25.0, 10.0};  // three divisions down; one above the top
    commands().OnLimitLines();
    ASSERT_EQ(dialogs.openings.size(), 2u);
    EXPECT_EQ(dialogs.openings[0].label, "LOWER LIMIT");
    EXPECT_EQ(dialogs.openings[0].start, 5.0 - 50.0);
    EXPECT_EQ(dialogs.openings[1].label, "UPPER LIMIT");
    EXPECT_EQ(dialogs.openings[1].start, 5.0);
    const DisplayState d = Display();
    EXPECT_TRUE(d.limitLinesOn);
    EXPECT_TRUE(AllEqual(d.lowerLimitRows, 300));
    EXPECT_TRUE(AllEqual(d.upperLimitRows, -50));
    EXPECT_TRUE(commands().LimitLinesOn());
    EXPECT_GT(views.updates.load(), 0);
}

TEST_F(LimitLineTest, ACancelledOrNotFiniteEntryLeavesTheLinesOffAndTheRowsAsTheyWere) {
    {
        std::lock_guard lock(doc->traceMutex);
        doc->display.lowerLimitRows.fill(321);
        doc->display.upperLimitRows.fill(123);
    }
    dialogs.amplitudes = {std::nullopt};
    commands().OnLimitLines();
    EXPECT_EQ(dialogs.openings.size(), 1u);  // no upper entry after a cancelled lower one
    dialogs.amplitudes = {-80.0, std::nullopt, kNaN, -80.0, kNaN};
    commands().OnLimitLines();
    commands().OnLimitLines();
    commands().OnLimitLines();
    const DisplayState d = Display();
    EXPECT_FALSE(d.limitLinesOn);
    EXPECT_TRUE(AllEqual(d.lowerLimitRows, 321));
    EXPECT_TRUE(AllEqual(d.upperLimitRows, 123));
}

// The entries are levels in dBm; the linear scale places millivolts.
TEST_F(LimitLineTest, OnTheLinearScaleTheLevelIsPlacedInMillivolts) {
    Edit([](InstrumentState& s) {
        s.linearScale = 1;
        s.refLevelDbm = -20.0;
    });
    // 0.399 of the reference voltage lies at row 300.5.
    const double level = -20.0 + 20.0 * std::log10(0.399);
    dialogs.amplitudes = {level, -20.0};
    commands().OnLimitLines();
    EXPECT_EQ(dialogs.openings[0].start, -120.0);  // 10 divisions of 10 dB below
    const DisplayState d = Display();
    EXPECT_TRUE(AllEqual(d.lowerLimitRows, 300));
    EXPECT_TRUE(AllEqual(d.upperLimitRows, 0));
}

TEST_F(LimitLineTest, TheCommandAgainSwitchesTheLinesOffAndKeepsTheRows) {
    dialogs.amplitudes = {-80.0, -20.0};
    commands().OnLimitLines();
    commands().OnLimitLines();
    EXPECT_EQ(dialogs.openings.size(), 2u);
    const DisplayState d = Display();
    EXPECT_FALSE(d.limitLinesOn);
    EXPECT_TRUE(AllEqual(d.lowerLimitRows, 400));
    EXPECT_TRUE(AllEqual(d.upperLimitRows, 100));
}

TEST_F(LimitLineTest, TraceAToBCopiesTheRowsWithoutShowingThem) {
    {
        std::lock_guard lock(doc->traceMutex);
        for (int i = 0; i < kTracePoints; ++i) {
            doc->trace.traceAInt[i] = i % 500;
        }
    }
    commands().OnTraceAToB();
    DisplayState d = Display();
    EXPECT_EQ(d.traceBRows[0], 0);
    EXPECT_EQ(d.traceBRows[640], 140);
    EXPECT_FALSE(d.traceBShown);

    commands().OnViewTraceB();
    EXPECT_TRUE(commands().TraceBShown());
    commands().OnViewTraceB();
    EXPECT_FALSE(commands().TraceBShown());
}

}  // namespace
}  // namespace tavlin
