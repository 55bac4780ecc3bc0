// Integrating trace A: rows drawn by hand on a known scale and noise
// bandwidth, so every reading has an exact answer.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "document/document_fixture.h"
#include "document/trace_measurements.h"

namespace tavlin {
namespace {

constexpr double kNoiseBandwidthHz = 1000.0;

// 1 MHz from 100 MHz, reference 0 dBm at 10 dB/div: row 5 x level below it.
TraceBasis Basis() {
    TraceBasis basis;
    basis.scale.startHz = 100e6;
    basis.scale.stopHz = 101e6;
    basis.scale.refLevelDbm = 0.0;
    basis.scale.dbPerDiv = 10.0;
    basis.noiseBandwidthHz = kNoiseBandwidthHz;
    return basis;
}

TraceRows Flat(double levelDbm) {
    TraceRows rows;
    rows.fill(-levelDbm * 5.0);
    return rows;
}

// A flat trace is noise of density level / NBW: the channel holds that
// density times its width, and the OBW is the share of the whole span.
TEST(ChannelPower, FlatNoiseIntegratesToItsDensityTimesTheChannel) {
    const TraceRows rows = Flat(-50.0);
    const double density = -50.0 - 10.0 * std::log10(kNoiseBandwidthHz);
    auto reading = MeasureChannelPower(rows, Basis(), 200e3);
    ASSERT_TRUE(reading);
    EXPECT_NEAR(reading->powerDbm, density + 10.0 * std::log10(200e3), 1e-9);
    EXPECT_NEAR(reading->densityDbmHz, density, 1e-9);
    EXPECT_DOUBLE_EQ(reading->centreHz, 100.5e6);

    // No width: half the span. Wider than the span: the span, and said so.
    EXPECT_DOUBLE_EQ(MeasureChannelPower(rows, Basis(), 0.0)->bandwidthHz, 500e3);
    EXPECT_DOUBLE_EQ(MeasureChannelPower(rows, Basis(), 5e6)->bandwidthHz, 1e6);
    EXPECT_NEAR(MeasureChannelPower(rows, Basis(), 5e6)->powerDbm, density + 60.0, 1e-9);

    // The same power on the linear scale (mV rows) reads the same.
    TraceBasis linear = Basis();
    linear.scale.linearScale = true;
    TraceRows mvRows;
    mvRows.fill(0.0);
    const double levelAtZero = linear.scale.LevelOfRow(0.0);
    const double zeroRowDbm = 20.0 * std::log10(levelAtZero / DbmToMillivolts(0.0));
    EXPECT_NEAR(MeasureChannelPower(mvRows, linear, 200e3)->densityDbmHz,
                zeroRowDbm - 10.0 * std::log10(kNoiseBandwidthHz), 1e-9);
}

// A level above the screen is clipped to the top row: the power reads low,
// and the reading says so. A trace with no filter to divide by has none.
TEST(ChannelPower, ClippedOrUnintegrableTracesAreNotTakenAtFaceValue) {
    TraceRows rows = Flat(-50.0);
    rows[320] = -5.0;
    EXPECT_EQ(MeasureChannelPower(rows, Basis(), 100e3)->flag, ReadingFlag::kAboveScreen);
    EXPECT_EQ(MeasureOccupiedBandwidth(rows, Basis(), 99.0)->flag, ReadingFlag::kOverRange);
    EXPECT_EQ(MeasureChannelPower(Flat(-50.0), Basis(), 100e3)->flag, ReadingFlag::kNone);
    TraceBasis wide = Basis();
    wide.noiseBandwidthHz = 0.0;
    EXPECT_FALSE(MeasureChannelPower(rows, wide, 100e3));
    EXPECT_FALSE(MeasureOccupiedBandwidth(rows, wide, 99.0));
    TraceBasis zeroSpan = Basis();
    zeroSpan.scale.stopHz = zeroSpan.scale.startHz;
    EXPECT_FALSE(MeasureChannelPower(rows, zeroSpan, 100e3));
    for (const double percent : {0.0, 100.0, -1.0, std::nan("")}) {
        EXPECT_FALSE(MeasureOccupiedBandwidth(rows, Basis(), percent)) << percent;
    }
}

// The noise marker: the power mean of the columns around the marker, less
// 10 log NBW, taken at face value only from rows of mean power that nothing
// shaped since; the screen's edges bound it as they bound a marker.
TEST(NoiseMarker, PowerMeanAroundTheMarkerAndTheDetectorsFlag) {
    struct Row {
        std::string name;
        void (*edit)(TraceBasis&, TraceRows&);
        double densityDbmHz;
        ReadingFlag flag;
    };
    const double flat = -50.0 - 30.0;
    // Column 320 10 dB up: of three columns, (10 + 1 + 1) / 3 times the floor.
    const double raised = flat + 10.0 * std::log10(12.0 / 3.0);
    const std::vector<Row> rows = {
        {"rms", [](TraceBasis&, TraceRows&) {}, flat, ReadingFlag::kNone},
        {"one column up", [](TraceBasis&, TraceRows& r) { r[320] -= 50.0; }, raised,
         ReadingFlag::kNone},
        {"strongest bin", [](TraceBasis& b, TraceRows&) { b.powerMeanRows = false; }, flat,
         ReadingFlag::kDetector},
        {"video average", [](TraceBasis& b, TraceRows&) { b.averagedOverSweeps = true; }, flat,
         ReadingFlag::kDetector},
        {"max hold", [](TraceBasis& b, TraceRows&) { b.heldOverSweeps = true; }, flat,
         ReadingFlag::kDetector},
        {"on the bottom line", [](TraceBasis&, TraceRows& r) { r[321] = 501.0; }, flat,
         ReadingFlag::kBelowScreen},
    };
    for (const Row& row : rows) {
        TraceBasis basis = Basis();
        basis.powerMeanRows = true;
        TraceRows trace = Flat(-50.0);
        row.edit(basis, trace);
        const auto reading = MeasureNoiseDensity(trace, basis, 100.5e6, 1);
        ASSERT_TRUE(reading) << row.name;
        if (row.flag != ReadingFlag::kBelowScreen) {
            EXPECT_NEAR(reading->densityDbmHz, row.densityDbmHz, 1e-9) << row.name;
        }
        EXPECT_EQ(reading->columns, 3) << row.name;
        EXPECT_EQ(reading->flag, row.flag) << row.name;
    }
    // At the screen's edge only the columns on it count; off it, none.
    EXPECT_EQ(MeasureNoiseDensity(Flat(-50.0), Basis(), 100e6, 5)->columns, 6);
    EXPECT_FALSE(MeasureNoiseDensity(Flat(-50.0), Basis(), 102e6, 5));
    TraceBasis wide = Basis();
    wide.noiseBandwidthHz = 0.0;
    EXPECT_FALSE(MeasureNoiseDensity(Flat(-50.0), wide, 100.5e6, 5));
}

// A band reaching past the span is integrated over the part swept, which
// bounds its power from below.
TEST(BandPower, BandCutToTheSpanIsALowerBound) {
    const TraceRows rows = Flat(-50.0);
    const double density = -50.0 - 30.0;
    const auto inside = MeasureBandPower(rows, Basis(), 100.25e6, 100e3);
    ASSERT_TRUE(inside);
    EXPECT_NEAR(inside->powerDbm, density + 50.0, 1e-9);
    EXPECT_DOUBLE_EQ(inside->centreHz, 100.25e6);
    EXPECT_EQ(inside->flag, ReadingFlag::kNone);
    const auto edge = MeasureBandPower(rows, Basis(), 100e6, 100e3);
    ASSERT_TRUE(edge);
    EXPECT_DOUBLE_EQ(edge->bandwidthHz, 50e3);
    EXPECT_NEAR(edge->powerDbm, density + 10.0 * std::log10(50e3), 1e-9);
    EXPECT_EQ(edge->flag, ReadingFlag::kAboveScreen);
    EXPECT_FALSE(MeasureBandPower(rows, Basis(), 99e6, 100e3));
    EXPECT_FALSE(MeasureBandPower(rows, Basis(), 100.5e6, 0.0));
}

// Flat power at -20 dBm over columns 400 .. 560, nothing (far below) beside it.
TraceRows Block() {
    TraceRows rows = Flat(-200.0);
    for (int i = 400; i <= 560; ++i) {
        rows[i] = 100.0;
    }
    return rows;
}

// The band holding 99 % is 99 % of the block, centred on it.
TEST(OccupiedBandwidth, BlockOfPowerHoldsItsShareAndItsOffset) {
    const TraceRows rows = Block();
    const TraceBasis basis = Basis();
    const double step = 1e6 / 640.0;
    const double low = 100e6 + 399.5 * step;
    const double high = 100e6 + 560.5 * step;
    for (const double percent : {99.0, 90.0}) {
        const auto reading = MeasureOccupiedBandwidth(rows, basis, percent);
        ASSERT_TRUE(reading);
        EXPECT_NEAR(reading->bandwidthHz, percent / 100.0 * (high - low), 1.0) << percent;
        EXPECT_NEAR(reading->freqErrorHz, (low + high) / 2.0 - 100.5e6, 1.0) << percent;
        EXPECT_NEAR((reading->lowHz + reading->highHz) / 2.0, (low + high) / 2.0, 1.0);
    }
}

using OccupiedBandwidthMarkers = test::DocumentFixture;

// While on, markers 1 and 2 go to the band's edges and read the trace there;
// while off, the markers are the user's.
TEST_F(OccupiedBandwidthMarkers, SitOnTheEdgesOfTheBandWhileOn) {
    BuildWithInstrument();
    doc->EditTrace([](ScreenState& screen) {
        screen.trace.traceA = Block();
        screen.basis = Basis();
    });
    const MarkerState before = Markers();
    doc->PlaceOccupiedBandwidthMarkers();
    EXPECT_EQ(Markers().marker1Pos, before.marker1Pos);
    EXPECT_EQ(Markers().marker2On, before.marker2On);

    TraceMeasurementSettings settings;
    settings.occupiedBandwidthOn = true;
    doc->SetTraceMeasurements(settings);
    doc->PlaceOccupiedBandwidthMarkers();
    const auto band = doc->OccupiedBandwidth();
    ASSERT_TRUE(band);
    const MarkerState m = Markers();
    EXPECT_TRUE(m.marker1On && m.marker2On && !m.markerDelta);
    EXPECT_DOUBLE_EQ(m.marker1Pos, band->lowHz);
    EXPECT_DOUBLE_EQ(m.marker2Pos, band->highHz);
    EXPECT_DOUBLE_EQ(m.marker1Level, -20.0);
    EXPECT_DOUBLE_EQ(m.marker2Level, -20.0);
}

}  // namespace
}  // namespace tavlin
