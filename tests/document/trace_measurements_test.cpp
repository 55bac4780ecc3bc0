// Integrating trace A: rows drawn by hand on a known scale and noise
// bandwidth, so every reading has an exact answer.
#include <gtest/gtest.h>

#include <cmath>

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
