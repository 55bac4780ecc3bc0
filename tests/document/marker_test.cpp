#include <cmath>
#include <limits>

#include "document/document_fixture.h"
#include "document/marker_scale.h"

namespace tavlin {
namespace {

using test::DocumentFixture;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Far off screen or not finite, a position clamps before it becomes an
// integer column; an FM flag left over from an earlier zero span changes
// nothing in a swept span.
TEST(MarkerScaleTest, OffScreenPositionsClampAndAStaleFmFlagIsIgnored) {
    MarkerScale s;
    s.startHz = 915e6 - 50.0;  // 2.4 GHz is some 1e10 columns off
    s.stopHz = 915e6 + 50.0;
    for (const auto& [position, column] : std::initializer_list<std::pair<double, int>>{
             {2.4e9, 640}, {-2.4e9, 0}, {HUGE_VAL, 640}, {kNaN, 0}}) {
        EXPECT_EQ(s.ColumnOfPosition(position), column) << position;
    }
    s.stopHz = s.startHz;  // zero span without a sweep time: every time is the start
    s.sweepTimeSec = 0.0;
    EXPECT_EQ(s.ColumnOfPosition(12.5), 0);
    EXPECT_EQ(s.PositionOfColumn(320), 0.0);
    s.stopHz = 915e6 + 1.0;
    s.linearScale = s.zeroSpanFm = true;
    EXPECT_DOUBLE_EQ(s.LevelOfRow(250.0), DbmToMillivolts(0.0) * 0.5);
    EXPECT_NEAR(DbmToMillivolts(0.0), 223.607, 1e-3);  // 1 mW across 50 ohms
}

class MarkerTest : public DocumentFixture {
  protected:
    AnalyzerDocument& BuildDocument() {
        AnalyzerDocument& d = BuildWithInstrument();
        d.SetFrequencies(902e6, 928e6);  // 40.625 kHz a column
        FillTrace(400.0);                // -80 dBm
        return d;
    }
    // Peaks with their tops at row 100 (-20 dBm), falling 5 rows (1 dB) a
    // column down to `floor`.
    void SetPeaks(const std::vector<int>& columns, double floor = 400.0) {
        EditTrace([&](SweepTrace& t) {
            for (int i = 0; i < kTracePoints; ++i) {
                t.traceA[i] = floor;
                for (int column : columns) {
                    t.traceA[i] = std::min(t.traceA[i], 100.0 + 5.0 * std::abs(i - column));
                }
            }
        });
    }
    static double ColumnHz(int column) { return 902e6 + 26e6 * column / 640.0; }
    MarkerCommands markers() { return MarkerCommands(*doc); }
};

TEST_F(MarkerTest, PeakTakesTheHighestPointRightmostOfEqualOnesIntoTheActiveMarker) {
    AnalyzerDocument& d = BuildDocument();
    const struct {
        const char* name;
        std::vector<int> peaks;
        double hintHz, position, level;
    } rows[] = {
        {"flat trace: the last point", {}, -1.0, 928e6, -80.0},
        {"two equal peaks", {100, 500}, -1.0, ColumnHz(500), -20.0},
        {"the engine's frequency hint", {200}, 910.123e6, 910.123e6, -20.0},
    };
    for (const auto& row : rows) {
        SetPeaks(row.peaks);
        d.engine.peakFreqHint = row.hintHz;
        markers().Peak();
        EXPECT_EQ(Markers().marker1On, 1) << row.name;
        EXPECT_DOUBLE_EQ(Markers().marker1Pos, row.position) << row.name;
        EXPECT_DOUBLE_EQ(Markers().marker1Level, row.level) << row.name;
    }
    d.engine.peakFreqHint = -1.0;
    markers().Delta();
    SetPeaks({300});
    markers().Peak();
    EXPECT_DOUBLE_EQ(Markers().marker2Pos, ColumnHz(300));
    EXPECT_DOUBLE_EQ(Markers().marker1Pos, 910.123e6);
}

// The first press puts marker 2 on marker 1 (shown at the next repaint);
// later presses swap the active marker, and only the active one follows the
// sweeps, so the other keeps its level as the reference.
TEST_F(MarkerTest, DeltaCopiesMarkerOneOnceThenSwapsTheMarkerThatFollows) {
    BuildDocument();
    SetPeaks({100});
    markers().Peak();
    const int updatesBefore = views.updates.load();
    markers().Delta();
    EXPECT_EQ(views.updates.load(), updatesBefore);
    markers().PlaceActiveMarker(300);  // marker 2, clicked away
    FillTrace(200.0);                  // the next sweep
    markers().RefreshMarkerLevel();
    const struct {
        int marker2Active;
        double marker2Pos, marker1Level, marker2Level, nextRow;
    } presses[] = {{1, ColumnHz(300), -20.0, -40.0, 300.0}, {0, ColumnHz(300), -60.0, -40.0, 0.0}};
    for (const auto& p : presses) {
        const MarkerState m = Markers();
        EXPECT_EQ(m.marker2Active, p.marker2Active);
        EXPECT_EQ(m.marker1On + m.marker2On + m.markerDelta, 3);
        EXPECT_DOUBLE_EQ(m.marker2Pos, p.marker2Pos);
        EXPECT_DOUBLE_EQ(m.marker1Level, p.marker1Level);
        EXPECT_DOUBLE_EQ(m.marker2Level, p.marker2Level);
        markers().Delta();
        FillTrace(p.nextRow);
        markers().RefreshMarkerLevel();
    }
    markers().Off();  // leaves delta mode and keeps the positions
    const MarkerState m = Markers();
    EXPECT_EQ(m.marker1On + m.marker2On + m.marker2Active + m.markerDelta, 0);
    EXPECT_DOUBLE_EQ(m.marker1Pos, ColumnHz(100));
}

TEST_F(MarkerTest, NormalSetFrequencyAndClicksPlaceTheMarkers) {
    BuildDocument();
    SetPeaks({0});
    markers().Delta();
    markers().Normal();  // marker 1 alone at the centre
    EXPECT_EQ(Markers().marker2On + Markers().marker2Active + Markers().markerDelta, 0);
    EXPECT_DOUBLE_EQ(Markers().marker1Pos, 915e6);
    markers().Delta();
    markers().SetMarkerFreq(ColumnHz(10));  // marker 1 active again, its level read
    EXPECT_EQ(Markers().marker2Active, 0);
    EXPECT_DOUBLE_EQ(Markers().marker1Level, -30.0);
    markers().SetMarkerFreq(kNaN);
    EXPECT_DOUBLE_EQ(Markers().marker1Pos, ColumnHz(10));
    markers().PlaceActiveMarker(-20);  // clicks are clamped to the screen
    EXPECT_DOUBLE_EQ(Markers().marker1Pos, 902e6);
    EXPECT_DOUBLE_EQ(Markers().marker1Level, -20.0);
}

TEST_F(MarkerTest, MarkerToCentreKeepsTheSpanAndNeverTunesToATime) {
    AnalyzerDocument& d = BuildDocument();
    markers().PlaceActiveMarker(480);  // 921.5 MHz
    markers().MarkerToCenter();
    EXPECT_DOUBLE_EQ(d.Frequencies().CenterHz(), 921.5e6);
    EXPECT_DOUBLE_EQ(d.Frequencies().SpanHz(), 26e6);
    d.SetFrequencies(915e6, 915e6);
    d.EditSettings([&](InstrumentState& s) { s.sweepTimeSec = 0.01; });
    markers().Normal();
    EXPECT_DOUBLE_EQ(Markers().marker1Pos, 5.0);  // half the sweep, in ms
    markers().MarkerToCenter();
    EXPECT_EQ(d.Frequencies().startHz, 915e6);
    EXPECT_EQ(d.Frequencies().stopHz, 915e6);
}

// Marker 1's level becomes the reference through the level plan; on the
// linear scale 1 mV is -46.99 dBm, and 0 mV, less or not a number is no level.
TEST_F(MarkerTest, MarkerToRefLevelTakesMarkerOnesLevel) {
    AnalyzerDocument& d = BuildDocument();
    d.EditSettings([&](InstrumentState& s) { s.attenDb = 0.0; });
    FillTrace(-60.0);  // +12 dBm
    markers().PlaceActiveMarker(0);
    markers().MarkerToRefLevel();
    EXPECT_EQ(d.Settings().refLevelDbm, 12.0);
    EXPECT_EQ(d.Settings().attenDb, 15.0);
    d.EditSettings([&](InstrumentState& s) { s.refLevelDbm = 0.0; });
    d.EditSettings([&](InstrumentState& s) { s.linearScale = 1; });
    for (const double row : {500.0 * (1.0 - 1.0 / DbmToMillivolts(0.0)), 500.0, 600.0, kNaN}) {
        FillTrace(row);
        markers().PlaceActiveMarker(0);
        markers().MarkerToRefLevel();
        EXPECT_NEAR(d.Settings().refLevelDbm, -46.99, 1e-9) << row;
    }
}

TEST_F(MarkerTest, MarkerToRefLevelStopsARunningSweepAndRestartsIt) {
    AnalyzerDocument& d = BuildDocument();
    std::atomic<bool> changedDuringPass{false};
    const auto refLevel = [&d] {
        return d.ReadSettings([](const InstrumentState& s) { return s.refLevelDbm; });
    };
    d.SetSweepPass([&] {
        const double before = refLevel();
        clock.SleepMs(20);
        changedDuringPass = changedDuringPass || before != refLevel();
    });
    FillTrace(150.0);  // -30 dBm
    markers().PlaceActiveMarker(0);
    d.OnContinuous();
    markers().MarkerToRefLevel();
    EXPECT_TRUE(d.SweepRunning());
    d.CloseDocument();
    EXPECT_EQ(d.Settings().refLevelDbm, -30.0);
    EXPECT_FALSE(changedDuringPass.load());
}

// -3 dB is 15 rows below the top of the leftmost highest peak, 3 columns out.
TEST_F(MarkerTest, ThreeDbPointsSitOnTheEdgesOfTheLeftmostHighestPeak) {
    AnalyzerDocument& d = BuildDocument();
    d.EditSettings([&](InstrumentState& s) { s.refLevelOffsetDb = 5.0; });
    const struct {
        const char* name;
        std::vector<int> peaks;
        double floor;
        int left, right;
    } rows[] = {
        {"two equal peaks", {100, 500}, 400.0, 97, 103},
        {"flat: walks to both edges", {}, 300.0, 1, 639},
        {"right walk ends at the edge", {640}, 400.0, 637, 639},
        {"rows not numbers", {}, kNaN, 0, 0},
        {"one peak", {300}, 400.0, 297, 303},
    };
    for (const auto& row : rows) {
        SetPeaks(row.peaks, row.floor);
        markers().ThreeDbPoints();
        const MarkerState m = Markers();
        EXPECT_EQ(m.marker1On + m.marker2On + m.markerDelta - m.marker2Active, 3) << row.name;
        EXPECT_DOUBLE_EQ(m.marker1Pos, ColumnHz(row.left)) << row.name;
        EXPECT_DOUBLE_EQ(m.marker2Pos, ColumnHz(row.right)) << row.name;
    }
    // The levels carry the offset like every other marker level, so the
    // delta stays 0 dB after marker 1 follows the next sweep.
    EXPECT_DOUBLE_EQ(Markers().marker2Level, -18.0);
    markers().RefreshMarkerLevel();
    EXPECT_DOUBLE_EQ(Markers().marker1Level, -18.0);
    EXPECT_EQ(prompter.Count(), 0u);

    d.EditSettings([&](InstrumentState& s) { s.linearScale = 1; });
    markers().Off();
    markers().ThreeDbPoints();
    EXPECT_EQ(Markers().marker1On + Markers().marker2On, 0);
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption + "|" + prompter.Boxes()[0].text,
              "NOT IMPLEMENTED|Only available in LOG scale");
}

}  // namespace
}  // namespace tavlin
