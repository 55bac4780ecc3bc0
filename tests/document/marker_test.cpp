#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

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
}

class MarkerTest : public DocumentFixture {
  protected:
    AnalyzerDocument& BuildDocument() {
        AnalyzerDocument& d = BuildWithInstrument();
        d.SetFrequencies(902e6, 928e6);  // 40.625 kHz a column
        FillTrace(400.0);                // -80 dBm
        return d;
    }
    static double ColumnHz(int column) { return 902e6 + 26e6 * column / 640.0; }
    MarkerCommands markers() { return MarkerCommands(*doc); }
};

// Peak takes the rightmost of equal highest points, or the engine's frequency
// hint. Delta puts marker 2 on marker 1 (repainted at once) and makes
// it the one that follows the sweeps, so marker 1 keeps its level as the
// reference; the next press swaps them back. Clicks are kept to the screen.
TEST_F(MarkerTest, PeakDeltaAndClicksPlaceTheActiveMarker) {
    AnalyzerDocument& d = BuildDocument();
    EditTrace([](SweepTrace& t) { t.traceA[100] = t.traceA[500] = 100.0; });  // -20 dBm
    markers().Peak();
    EXPECT_DOUBLE_EQ(Markers().marker1Pos, ColumnHz(500));
    test::WithInstrument(d, [](InstrumentLease& i) { i.HintPeak(910.123e6); });
    markers().Peak();
    EXPECT_DOUBLE_EQ(Markers().marker1Pos, 910.123e6);
    EXPECT_DOUBLE_EQ(Markers().marker1Level, -20.0);
    const int updatesBefore = views.updates.load();
    markers().Delta();
    EXPECT_EQ(views.updates.load(), updatesBefore + 1)
        << "with the sweep stopped nothing else shows it";
    EXPECT_DOUBLE_EQ(Markers().marker2Pos, 910.123e6);
    markers().PlaceActiveMarker(-20);  // marker 2, clicked off the left edge
    FillTrace(200.0);                  // the next sweep, at -40 dBm
    markers().RefreshMarkerLevel();
    EXPECT_DOUBLE_EQ(Markers().marker2Pos, 902e6);
    EXPECT_DOUBLE_EQ(Markers().marker1Level, -20.0);
    EXPECT_DOUBLE_EQ(Markers().marker2Level, -40.0);
    markers().Delta();  // marker 1 follows now
    FillTrace(300.0);
    markers().RefreshMarkerLevel();
    const MarkerState m = Markers();
    EXPECT_EQ(m.marker1On + m.marker2On + m.markerDelta - m.marker2Active, 3);
    EXPECT_DOUBLE_EQ(m.marker1Level, -60.0);
    EXPECT_DOUBLE_EQ(m.marker2Level, -40.0);
    markers().SetMarkerFreq(kNaN);  // an entry that is no number is ignored
    EXPECT_DOUBLE_EQ(Markers().marker1Pos, 910.123e6);
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
    WatchPasses(
        [&d] { return d.ReadSettings([](const InstrumentState& s) { return s.refLevelDbm; }); });
    FillTrace(150.0);  // -30 dBm
    markers().PlaceActiveMarker(0);
    d.OnContinuous();
    markers().MarkerToRefLevel();
    EXPECT_TRUE(d.SweepRunning());
    d.CloseDocument();
    EXPECT_EQ(d.Settings().refLevelDbm, -30.0);
    EXPECT_FALSE(changedDuringPass.load());
}

// -3 dB is 15 rows below the top of the leftmost highest peak (a peak of 5
// rows a column: 3 columns out); the walk stops at the screen's edges, and
// rows that are no numbers give no edges. A marker time is no frequency:
// MKR->CF does nothing in zero span.
TEST_F(MarkerTest, ThreeDbPointsAndMarkerToCentre) {
    AnalyzerDocument& d = BuildDocument();
    const struct {
        const char* name;
        std::vector<int> peaks;
        double floor;
        int left, right;
    } rows[] = {{"two equal peaks", {100, 500}, 400.0, 97, 103},
                {"right walk ends at the edge", {640}, 400.0, 637, 639},
                {"rows not numbers", {}, std::nan(""), 0, 0}};
    for (const auto& row : rows) {
        EditTrace([&row](SweepTrace& t) {
            for (int i = 0; i < kTracePoints; ++i) {
                t.traceA[i] = row.floor;
                for (const int peak : row.peaks) {
                    t.traceA[i] = std::min(t.traceA[i], 100.0 + 5.0 * std::abs(i - peak));
                }
            }
        });
        markers().ThreeDbPoints();
        EXPECT_DOUBLE_EQ(Markers().marker1Pos, ColumnHz(row.left)) << row.name;
        EXPECT_DOUBLE_EQ(Markers().marker2Pos, ColumnHz(row.right)) << row.name;
    }
    markers().MarkerToCenter();  // marker 1 is active: column 0
    EXPECT_DOUBLE_EQ(d.Frequencies().CenterHz(), 902e6);
    d.SetFrequencies(915e6, 915e6 + 0.5);
    markers().Normal();
    markers().MarkerToCenter();
    EXPECT_EQ(d.Frequencies().startHz, 915e6);
}

// Markers 3 to 6: an active one takes PEAK, NEXT PEAK and clicks in place of
// marker 1; all of them follow the sweeps; NORMAL hands the active marker
// back to marker 1 and OFF turns them all off. Kept positions come back on.
TEST_F(MarkerTest, ExtraMarkersFollowTheTraceAndTakeTheActiveMarkersCommands) {
    BuildDocument();
    EditTrace([](SweepTrace& t) { t.traceA[100] = t.traceA[500] = 100.0; });  // -20 dBm
    markers().ActivateMarker(4);
    EXPECT_DOUBLE_EQ(Markers().extra.Of(4).position, ColumnHz(320));
    markers().Peak();
    EXPECT_DOUBLE_EQ(Markers().extra.Of(4).position, ColumnHz(500));
    EXPECT_TRUE(Markers().extra.Of(4).on);
    EXPECT_FALSE(Markers().marker1On);
    EXPECT_TRUE(markers().NextPeak(PeakSearch::kLeft));
    EXPECT_DOUBLE_EQ(Markers().extra.Of(4).position, ColumnHz(100));
    markers().PlaceExtraMarker(6, ColumnHz(500));
    markers().MoveActiveMarker(1);
    EXPECT_DOUBLE_EQ(Markers().extra.Of(4).position, ColumnHz(101));
    FillTrace(200.0);  // the next sweep, at -40 dBm
    markers().RefreshMarkerLevel();
    EXPECT_DOUBLE_EQ(Markers().extra.Of(4).level, -40.0);
    EXPECT_DOUBLE_EQ(Markers().extra.Of(6).level, -40.0);
    const ExtraMarkers kept = Markers().extra;

    markers().Normal();
    EXPECT_EQ(Markers().ActiveNumber(), 1);
    EXPECT_TRUE(Markers().extra.Of(6).on);
    markers().Off();
    EXPECT_FALSE(Markers().extra.Of(4).on || Markers().extra.Of(6).on);
    markers().RestoreExtraMarkers(kept);
    EXPECT_DOUBLE_EQ(Markers().extra.Of(6).position, ColumnHz(500));
    EXPECT_FALSE(Markers().extra.Of(5).on);
    EXPECT_EQ(Markers().extra.active, 0);
    doc->SetFrequencies(915e6, 915e6);  // zero span: positions are times now
    EXPECT_FALSE(Markers().extra.Of(6).on);
}

}  // namespace
}  // namespace tavlin
