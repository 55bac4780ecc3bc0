#include <thread>

#include "document/document_fixture.h"

namespace tavlin {
namespace {

using test::DocumentFixture;

class SignalTrackTest : public DocumentFixture {
  protected:
    // One pass that draws the given trace, then signal track.
    void PassWithTrace(AnalyzerDocument& d, const std::array<double, kTracePoints>& rows) {
        d.SetSweepPass([&d, rows] {
            std::lock_guard lock(d.traceMutex);
            d.trace.traceA = rows;
        });
        d.EditSettings([](InstrumentState& s) { s.signalTrack = 1; });
        d.OnSingle();
        while (d.SweepRunning()) {
            std::this_thread::yield();
        }
    }
    static std::array<double, kTracePoints> Flat(double row) {
        std::array<double, kTracePoints> rows{};
        rows.fill(row);
        return rows;
    }
};

TEST_F(SignalTrackTest, FlatTraceMovesTheCentreByTheClampedColumn) {
    AnalyzerDocument& d = BuildWithInstrument();
    d.SetCenterSpan(915e6, 64e6);   // 100 kHz a column
    PassWithTrace(d, Flat(400.0));  // weak: column 640 clamped to 340
    EXPECT_DOUBLE_EQ(d.Frequencies().CenterHz(), 883e6 + 340 * 100e3);
    EXPECT_DOUBLE_EQ(d.Frequencies().SpanHz(), 64e6);
    EXPECT_EQ(d.markers.marker1On, 1);
    EXPECT_DOUBLE_EQ(d.markers.marker1Pos, 883e6 + 340 * 100e3);

    d.SetCenterSpan(915e6, 64e6);
    PassWithTrace(d, Flat(100.0));  // strong: clamped to 440
    EXPECT_DOUBLE_EQ(d.Frequencies().CenterHz(), 883e6 + 440 * 100e3);
}

TEST_F(SignalTrackTest, StrongestPointWinsAndTheSpanIsKeptAtTheBandEdge) {
    AnalyzerDocument& d = BuildWithInstrument();
    d.SetCenterSpan(4.36e9, 64e6);
    auto rows = Flat(450.0);
    rows[400] = 20.0;
    for (int pass = 0; pass < 50; ++pass) {
        PassWithTrace(d, rows);
    }
    EXPECT_DOUBLE_EQ(d.Frequencies().SpanHz(), 64e6) << "the span never shrinks";
    EXPECT_DOUBLE_EQ(d.Frequencies().stopHz, 4.4e9);
    EXPECT_EQ(prompter.Count(), 0u);
}

TEST_F(SignalTrackTest, ZeroSpanHasNothingToTrack) {
    AnalyzerDocument& d = BuildWithInstrument();
    d.SetFrequencies(100e6, 100e6);
    auto rows = Flat(450.0);
    rows[10] = 20.0;
    PassWithTrace(d, rows);
    EXPECT_EQ(d.Frequencies().startHz, 100e6);
    EXPECT_EQ(d.Frequencies().stopHz, 100e6);
}

}  // namespace
}  // namespace tavlin
