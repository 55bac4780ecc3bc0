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
    // Truncated toward zero: rows 1.95 and -1.95 (5 rows a dB from -7 dBm).
    EXPECT_EQ(LevelToRow(log, -7.39), 1);
    EXPECT_EQ(LevelToRow(log, -6.61), -1);
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
    using Rows = std::array<std::int32_t, kTracePoints>;
    void SetUp() override { BuildPanelDocument(); }
    LimitLineCommands commands() { return LimitLineCommands(*doc, dialogs); }
    DisplayState Display() {
        std::lock_guard lock(doc->traceMutex);
        return doc->display;
    }
    static Rows Filled(int row) {
        Rows rows;
        rows.fill(row);
        return rows;
    }
};

TEST_F(LimitLineTest, EntriesStartAtTheBottomAndTopLinesAndBecomeRows) {
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
    EXPECT_EQ(Display().lowerLimitRows, Filled(300));
    EXPECT_EQ(Display().upperLimitRows, Filled(-50));

    commands().OnLimitLines();  // off again, rows kept
    EXPECT_FALSE(commands().LimitLinesOn());
    EXPECT_EQ(Display().lowerLimitRows, Filled(300));
    // The lower limit was drawn as trace B and stays there until Trace A->B.
    EXPECT_EQ(Display().traceBRows, Filled(300));
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

TEST_F(LimitLineTest, TraceAToBCopiesTheRowsWithoutShowingThem) {
    {
        std::lock_guard lock(doc->traceMutex);
        doc->trace.traceAInt.fill(123);
    }
    commands().OnTraceAToB();
    EXPECT_EQ(Display().traceBRows, Filled(123));
    EXPECT_FALSE(commands().TraceBShown());
}

// A state saved with the limit lines on holds what the screen showed as
// trace B: the lower limit.
TEST_F(LimitLineTest, AStateSavedWithTheLinesOnCarriesTheLowerLimitAsTraceB) {
    dialogs.amplitudes = {-30.0, 0.0};
    commands().OnLimitLines();
    const auto dir = test::MakeTestDirectory("tavlin-limit");
    const auto file = dir / "limits.pqz";
    ASSERT_TRUE(doc->SaveStateFile(file, false));
    commands().OnLimitLines();
    commands().OnTraceAToB();
    ASSERT_TRUE(doc->LoadStateFile(file, false));
    std::filesystem::remove_all(dir);
    EXPECT_EQ(Display().traceBRows, Filled(150));
}

}  // namespace
}  // namespace tavlin
