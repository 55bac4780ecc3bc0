#include <cmath>
#include <limits>

#include "document/document_fixture.h"
#include "document/marker_commands.h"
#include "document/marker_scale.h"

namespace tavlin {
namespace {

using test::DocumentFixture;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// --- Conversions --------------------------------------------------------------

MarkerScale Swept(double startHz, double stopHz) {
    MarkerScale s;
    s.startHz = startHz;
    s.stopHz = stopHz;
    s.refLevelDbm = -10.0;
    s.refLevelOffsetDb = 3.0;
    s.dbPerDiv = 10.0;
    s.sweepTimeSec = 0.1;
    return s;
}

MarkerScale ZeroSpanAt(double freqHz, double sweepTimeSec) {
    MarkerScale s = Swept(freqHz, freqHz);
    s.sweepTimeSec = sweepTimeSec;
    return s;
}

TEST(MarkerScaleTest, ColumnsAndPositionsOfASweptSpan) {
    const MarkerScale s = Swept(902e6, 928e6);
    EXPECT_EQ(s.ColumnOfPosition(915e6), 320);
    EXPECT_EQ(s.ColumnOfPosition(902e6 + 26e6 * 100.9 / 640), 100);  // truncated
    EXPECT_DOUBLE_EQ(s.PositionOfColumn(320), 915e6);
    EXPECT_DOUBLE_EQ(s.PositionOfColumn(640), 928e6);
}

TEST(MarkerScaleTest, PositionsFarOffScreenClampBeforeTheyBecomeIntegers) {
    // 2.4 GHz on a 100 Hz span at 915 MHz is some 1e10 columns away.
    const MarkerScale s = Swept(915e6 - 50.0, 915e6 + 50.0);
    EXPECT_EQ(s.ColumnOfPosition(2.4e9), 640);
    EXPECT_EQ(s.ColumnOfPosition(-2.4e9), 0);
    EXPECT_EQ(s.ColumnOfPosition(std::numeric_limits<double>::infinity()), 640);
    EXPECT_EQ(s.ColumnOfPosition(kNaN), 0);
}

TEST(MarkerScaleTest, ZeroSpanIsASpanBelowOneHertz) {
    EXPECT_TRUE(Swept(915e6, 915e6 + 0.5).ZeroSpan());
    EXPECT_FALSE(Swept(915e6, 915e6 + 1.0).ZeroSpan());

    const MarkerScale s = ZeroSpanAt(915e6, 0.1);  // 100 ms over 640 columns
    EXPECT_EQ(s.ColumnOfPosition(50.0), 320);
    EXPECT_EQ(s.ColumnOfPosition(500.0), 640);
    EXPECT_DOUBLE_EQ(s.PositionOfColumn(320), 50.0);
}

TEST(MarkerScaleTest, ZeroSpanWithNoSweepTimePutsEveryTimeAtTheStart) {
    const MarkerScale s = ZeroSpanAt(915e6, 0.0);
    EXPECT_EQ(s.ColumnOfPosition(0.0), 0);
    EXPECT_EQ(s.ColumnOfPosition(12.5), 0);
    EXPECT_EQ(s.PositionOfColumn(320), 0.0);
}

TEST(MarkerScaleTest, LevelOfARowInEachScale) {
    MarkerScale s = Swept(902e6, 928e6);
    // Log: reference -10 dBm + 3 dB offset, 10 dB/div, two divisions down.
    EXPECT_DOUBLE_EQ(s.LevelOfRow(100.0), -27.0);

    s.linearScale = true;
    const double refMv = DbmToMillivolts(-7.0);
    EXPECT_DOUBLE_EQ(s.LevelOfRow(0.0), refMv);
    EXPECT_DOUBLE_EQ(s.LevelOfRow(250.0), refMv * 0.5);
    EXPECT_DOUBLE_EQ(s.LevelOfRow(500.0), 0.0);

    // The FM flag left over from an earlier zero span changes nothing here.
    s.zeroSpanFm = true;
    EXPECT_DOUBLE_EQ(s.LevelOfRow(0.0), refMv);

    MarkerScale fm = ZeroSpanAt(915e6, 0.1);
    fm.zeroSpanFm = true;
    fm.maxFmOffsetHz = 5000.0;
    EXPECT_DOUBLE_EQ(fm.LevelOfRow(0.0), 5000.0);
    EXPECT_DOUBLE_EQ(fm.LevelOfRow(250.0), 0.0);
    EXPECT_DOUBLE_EQ(fm.LevelOfRow(500.0), -5000.0);
}

TEST(MarkerScaleTest, MillivoltsOfDbm) {
    EXPECT_NEAR(DbmToMillivolts(0.0), 223.607, 1e-3);  // 1 mW across 50 ohms
    EXPECT_NEAR(DbmToMillivolts(-46.9897), 1.0, 1e-4);
}

// --- Commands on the document ----------------------------------------------------

class MarkerTest : public DocumentFixture {
  protected:
    AnalyzerDocument& BuildDocument() {
        AnalyzerDocument& d = BuildWithInstrument();
        d.SetFrequencies(902e6, 928e6);  // 40.625 kHz a column
        SetFlat(400.0);
        return d;
    }
    void SetFlat(double row) { doc->trace.traceA.fill(row); }
    // A peak at `column` with its top at row 100 (-20 dBm), falling 5 rows
    // (1 dB) a column.
    void SetPeak(int column) {
        for (int i = 0; i < kTracePoints; ++i) {
            doc->trace.traceA[i] = std::min(400.0, 100.0 + 5.0 * std::abs(i - column));
        }
    }
    double ColumnHz(int column) const { return 902e6 + 26e6 * column / 640.0; }

    MarkerCommands markers() { return MarkerCommands(*doc); }
    MarkerState& m() { return doc->markers; }
};

TEST_F(MarkerTest, PeakOnAFlatTraceTakesTheLastPoint) {
    BuildDocument();
    markers().Peak();
    EXPECT_EQ(m().marker1On, 1);
    EXPECT_DOUBLE_EQ(m().marker1Pos, 928e6);
    EXPECT_DOUBLE_EQ(m().marker1Level, -80.0);
}

TEST_F(MarkerTest, PeakFindsTheHighestLevelAndGoesToTheActiveMarker) {
    BuildDocument();
    SetPeak(123);
    markers().Peak();
    EXPECT_DOUBLE_EQ(m().marker1Pos, ColumnHz(123));
    EXPECT_DOUBLE_EQ(m().marker1Level, -20.0);
    EXPECT_EQ(m().marker2On, 0);

    markers().Delta();  // marker 2 active
    SetPeak(500);
    markers().Peak();
    EXPECT_DOUBLE_EQ(m().marker2Pos, ColumnHz(500));
    EXPECT_DOUBLE_EQ(m().marker1Pos, ColumnHz(123));
    EXPECT_GE(views.updates.load(), 2);
}

TEST_F(MarkerTest, PeakWithAFrequencyHintReadsTheLevelAtTheFoundColumn) {
    AnalyzerDocument& d = BuildDocument();
    SetPeak(200);
    d.engine.peakFreqHint = 910.123e6;
    markers().Peak();
    EXPECT_DOUBLE_EQ(m().marker1Pos, 910.123e6);
    EXPECT_DOUBLE_EQ(m().marker1Level, -20.0);
}

TEST_F(MarkerTest, NormalPutsMarkerOneAloneAtTheCentre) {
    AnalyzerDocument& d = BuildDocument();
    m().marker2On = m().marker2Active = m().markerDelta = 1;
    SetPeak(320);
    markers().Normal();
    EXPECT_EQ(m().marker1On, 1);
    EXPECT_EQ(m().marker2On + m().marker2Active + m().markerDelta, 0);
    EXPECT_DOUBLE_EQ(m().marker1Pos, 915e6);
    EXPECT_DOUBLE_EQ(m().marker1Level, -20.0);

    d.SetFrequencies(915e6, 915e6);
    d.state.sweepTimeSec = 0.01;
    markers().Normal();
    EXPECT_DOUBLE_EQ(m().marker1Pos, 5.0);  // half the sweep, in ms
}

TEST_F(MarkerTest, OffLeavesDeltaModeAndKeepsPositions) {
    BuildDocument();
    markers().Normal();
    markers().Delta();
    markers().Off();
    EXPECT_EQ(m().marker1On + m().marker2On + m().marker2Active + m().markerDelta, 0);
    EXPECT_DOUBLE_EQ(m().marker1Pos, 915e6);
}

TEST_F(MarkerTest, DeltaFirstPressCopiesMarkerOneThenSwapsTheActiveMarker) {
    BuildDocument();
    SetPeak(100);
    markers().Peak();
    const int updatesBefore = views.updates.load();
    markers().Delta();
    EXPECT_EQ(m().marker2On, 1);
    EXPECT_EQ(m().marker2Active, 1);
    EXPECT_EQ(m().markerDelta, 1);
    EXPECT_EQ(m().marker2Pos, m().marker1Pos);
    EXPECT_EQ(m().marker2Level, m().marker1Level);
    EXPECT_EQ(views.updates.load(), updatesBefore);  // shows at the next repaint

    markers().PlaceActiveMarker(300);  // move marker 2 away
    markers().Delta();
    EXPECT_EQ(m().marker2Active, 0);
    EXPECT_EQ(m().markerDelta, 1);
    EXPECT_DOUBLE_EQ(m().marker2Pos, ColumnHz(300));  // not copied again
}

TEST_F(MarkerTest, OnlyTheActiveMarkerFollowsNewSweeps) {
    BuildDocument();
    SetPeak(100);
    markers().Peak();
    markers().Delta();
    markers().PlaceActiveMarker(400);
    const double marker1Level = m().marker1Level;

    SetFlat(200.0);  // the next sweep
    markers().RefreshMarkerLevel();
    EXPECT_DOUBLE_EQ(m().marker2Level, -40.0);
    EXPECT_DOUBLE_EQ(m().marker1Level, marker1Level);

    markers().Delta();  // marker 1 active
    SetFlat(300.0);
    markers().RefreshMarkerLevel();
    EXPECT_DOUBLE_EQ(m().marker1Level, -60.0);
    EXPECT_DOUBLE_EQ(m().marker2Level, -40.0);
}

TEST_F(MarkerTest, RefreshLeavesAMarkerThatIsOffAlone) {
    BuildDocument();
    m().marker1Level = 7.0;
    markers().RefreshMarkerLevel();
    EXPECT_EQ(m().marker1Level, 7.0);
}

TEST_F(MarkerTest, RefreshReadsAMarkerOffScreenAtTheScreenEdge) {
    AnalyzerDocument& d = BuildDocument();
    markers().SetMarkerFreq(2.4e9);
    d.SetFrequencies(915e6 - 50.0, 915e6 + 50.0);
    SetPeak(640);
    markers().RefreshMarkerLevel();
    EXPECT_DOUBLE_EQ(m().marker1Level, -20.0);
    EXPECT_DOUBLE_EQ(m().marker1Pos, 2.4e9);  // the position itself is kept
}

TEST_F(MarkerTest, SetMarkerFreqMakesMarkerOneActiveAndReadsItsLevel) {
    BuildDocument();
    SetPeak(320);
    markers().Normal();
    markers().Delta();
    markers().SetMarkerFreq(ColumnHz(330));
    EXPECT_EQ(m().marker2Active, 0);
    EXPECT_EQ(m().marker1On, 1);
    EXPECT_DOUBLE_EQ(m().marker1Pos, ColumnHz(330));
    EXPECT_DOUBLE_EQ(m().marker1Level, -30.0);

    markers().SetMarkerFreq(kNaN);
    EXPECT_DOUBLE_EQ(m().marker1Pos, ColumnHz(330));
}

TEST_F(MarkerTest, ClickPlacesTheActiveMarkerAndClampsTheColumn) {
    BuildDocument();
    SetPeak(0);
    markers().PlaceActiveMarker(-20);
    EXPECT_DOUBLE_EQ(m().marker1Pos, 902e6);
    EXPECT_DOUBLE_EQ(m().marker1Level, -20.0);
    markers().PlaceActiveMarker(9999);
    EXPECT_DOUBLE_EQ(m().marker1Pos, 928e6);
}

TEST_F(MarkerTest, MarkerToCentreKeepsTheSpan) {
    AnalyzerDocument& d = BuildDocument();
    markers().PlaceActiveMarker(480);  // 921.5 MHz
    markers().MarkerToCenter();
    EXPECT_DOUBLE_EQ(d.Frequencies().CenterHz(), 921.5e6);
    EXPECT_DOUBLE_EQ(d.Frequencies().SpanHz(), 26e6);

    markers().Delta();
    markers().PlaceActiveMarker(0);  // marker 2, 908.5 MHz on the new span
    markers().MarkerToCenter();
    EXPECT_DOUBLE_EQ(d.Frequencies().CenterHz(), 908.5e6);
}

TEST_F(MarkerTest, MarkerToCentreInZeroSpanDoesNotTuneToATime) {
    AnalyzerDocument& d = BuildDocument();
    d.SetFrequencies(915e6, 915e6);
    d.state.sweepTimeSec = 0.01;
    markers().Normal();  // 5 ms
    markers().MarkerToCenter();
    EXPECT_EQ(d.Frequencies().startHz, 915e6);
    EXPECT_EQ(d.Frequencies().stopHz, 915e6);
}

TEST_F(MarkerTest, MarkerToRefLevelOnTheLogScaleRaisesTheAttenuation) {
    AnalyzerDocument& d = BuildDocument();
    d.state.attenDb = 0.0;
    m().marker1Level = 12.0;
    markers().MarkerToRefLevel();
    EXPECT_EQ(d.state.refLevelDbm, 12.0);
    EXPECT_EQ(d.state.attenDb, 15.0);
}

TEST_F(MarkerTest, MarkerToRefLevelOnTheLinearScaleConvertsMillivolts) {
    AnalyzerDocument& d = BuildDocument();
    d.state.linearScale = 1;
    m().marker1Level = 1.0;
    markers().MarkerToRefLevel();
    EXPECT_NEAR(d.state.refLevelDbm, -46.99, 1e-9);

    for (const double level : {0.0, -3.0, kNaN}) {
        m().marker1Level = level;
        markers().MarkerToRefLevel();
        EXPECT_NEAR(d.state.refLevelDbm, -46.99, 1e-9) << level;
    }
}

TEST_F(MarkerTest, MarkerToRefLevelStopsARunningSweepAndRestartsIt) {
    AnalyzerDocument& d = BuildDocument();
    std::atomic<bool> inPass{false};
    std::atomic<bool> changedDuringPass{false};
    d.SetSweepPass([&] {
        inPass = true;
        const double before =
            d.ReadSettings([](const InstrumentState& s) { return s.refLevelDbm; });
        clock.SleepMs(20);
        const double after = d.ReadSettings([](const InstrumentState& s) { return s.refLevelDbm; });
        changedDuringPass = changedDuringPass || before != after;
        inPass = false;
    });
    d.OnContinuous();
    m().marker1Level = -30.0;
    markers().MarkerToRefLevel();
    EXPECT_TRUE(d.SweepRunning());
    d.CloseDocument();
    EXPECT_EQ(d.state.refLevelDbm, -30.0);
    EXPECT_FALSE(changedDuringPass.load());
}

TEST_F(MarkerTest, ThreeDbPointsOnTheLinearScaleIsRefused) {
    AnalyzerDocument& d = BuildDocument();
    d.state.linearScale = 1;
    SetPeak(320);
    const MarkerState before = m();
    markers().ThreeDbPoints();
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "Only available in LOG scale");
    EXPECT_EQ(prompter.Boxes()[0].caption, "NOT IMPLEMENTED");
    EXPECT_EQ(m().marker1On, before.marker1On);
    EXPECT_EQ(m().marker2On, before.marker2On);
    EXPECT_EQ(m().markerDelta, before.markerDelta);
}

TEST_F(MarkerTest, ThreeDbPointsSitOnTheEdgesOfTheHighestPeak) {
    AnalyzerDocument& d = BuildDocument();
    d.state.refLevelOffsetDb = 5.0;
    // Peak at column 300, 1 dB a column on each side; -3 dB is row 115,
    // reached exactly at columns 297 and 303.
    SetPeak(300);
    markers().ThreeDbPoints();
    EXPECT_EQ(prompter.Count(), 0u);
    EXPECT_EQ(m().marker1On + m().marker2On + m().markerDelta, 3);
    EXPECT_EQ(m().marker2Active, 0);
    EXPECT_DOUBLE_EQ(m().marker1Pos, ColumnHz(297));
    EXPECT_DOUBLE_EQ(m().marker2Pos, ColumnHz(303));
    // The levels carry the offset like every other marker level, so the
    // delta stays -3 + 3 = 0 dB after marker 1 follows the next sweep.
    EXPECT_DOUBLE_EQ(m().marker1Level, -18.0);
    EXPECT_DOUBLE_EQ(m().marker2Level, -18.0);
    markers().RefreshMarkerLevel();
    EXPECT_DOUBLE_EQ(m().marker2Level - m().marker1Level, 0.0);
}

TEST_F(MarkerTest, ThreeDbPointsTakeTheLeftOfTwoEqualPeaksWherePeakTakesTheRight) {
    BuildDocument();
    SetPeak(100);
    for (int i = 400; i <= 640; ++i) {
        doc->trace.traceA[i] = std::min(400.0, 100.0 + 5.0 * std::abs(i - 500));
    }
    markers().ThreeDbPoints();
    EXPECT_DOUBLE_EQ(m().marker1Pos, ColumnHz(97));
    EXPECT_DOUBLE_EQ(m().marker2Pos, ColumnHz(103));
    markers().Off();
    markers().Peak();
    EXPECT_DOUBLE_EQ(m().marker1Pos, ColumnHz(500));
}

TEST_F(MarkerTest, ThreeDbEdgeWalksStopAtTheScreenEdges) {
    BuildDocument();
    SetFlat(300.0);  // the peak is column 0; the walks run to both edges
    markers().ThreeDbPoints();
    EXPECT_DOUBLE_EQ(m().marker1Pos, ColumnHz(1));
    EXPECT_DOUBLE_EQ(m().marker2Pos, ColumnHz(639));

    // The right walk ends at the edge and takes whichever of the last two
    // points is nearer -3 dB.
    SetPeak(640);
    markers().ThreeDbPoints();
    EXPECT_DOUBLE_EQ(m().marker1Pos, ColumnHz(637));
    EXPECT_DOUBLE_EQ(m().marker2Pos, ColumnHz(639));

    // Rows that are not numbers end both walks where they start.
    SetFlat(kNaN);
    markers().ThreeDbPoints();
    EXPECT_DOUBLE_EQ(m().marker1Pos, 902e6);
    EXPECT_DOUBLE_EQ(m().marker2Pos, 902e6);
}

}  // namespace
}  // namespace tavlin
