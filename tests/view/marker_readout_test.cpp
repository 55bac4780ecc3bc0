#include <gtest/gtest.h>

#include <string>

#include "view/marker_readout.h"

namespace tavlin {
namespace {

MarkerScale Swept() {
    MarkerScale s;
    s.startHz = 902e6;
    s.stopHz = 928e6;
    s.sweepTimeSec = 0.1;
    return s;
}

MarkerScale ZeroSpan(bool fm) {
    MarkerScale s = Swept();
    s.stopHz = s.startHz;
    s.zeroSpanFm = fm;
    return s;
}

MarkerState Marker1(double pos, double level) {
    MarkerState m;
    m.marker1On = 1;
    m.marker1Pos = pos;
    m.marker1Level = level;
    return m;
}

MarkerState Both(double pos1, double level1, double pos2, double level2) {
    MarkerState m = Marker1(pos1, level1);
    m.marker2On = 1;
    m.marker2Pos = pos2;
    m.marker2Level = level2;
    return m;
}

TEST(MarkerReadoutTest, NoMarkerNoText) {
    EXPECT_EQ(MarkerReadout(Swept()).Line(MarkerState{}), "");
}

TEST(MarkerReadoutTest, MarkerOneAloneUsesTheLongForm) {
    const MarkerReadout r(Swept());
    EXPECT_EQ(r.Line(Marker1(2.4e9, -20.0)), "MKR 1: 2.400000000 GHz, -20.00 dBm   ");
    EXPECT_EQ(r.Line(Marker1(915.0125e6, -3.456)), "MKR 1: 915.012500 MHz, -3.46 dBm   ");
    EXPECT_EQ(r.Line(Marker1(1000.0, 0.0)), "MKR 1: 1.000 KHz, 0.00 dBm   ");
    EXPECT_EQ(r.Line(Marker1(999.94, 0.0)), "MKR 1: 999.9 Hz, 0.00 dBm   ");
}

TEST(MarkerReadoutTest, MarkerTwoOnShortensMarkerOne) {
    const MarkerReadout r(Swept());
    EXPECT_EQ(r.Line(Both(2.4e9, -20.0, 2.41e9, -30.5)),
              "MKR 1: 2.400000 GHz, -20.00 dBm   MKR 2: 2.410000 GHz, -30.50 dBm");
    EXPECT_EQ(r.Line(Both(915e6, -20.0, 5e3, -30.0)),
              "MKR 1: 915.000 MHz, -20.00 dBm   MKR 2: 5.000 KHz, -30.00 dBm");
}

TEST(MarkerReadoutTest, MarkerTwoAloneHasNoMarkerOneText) {
    MarkerState m = Both(915e6, -20.0, 12.5, -30.0);
    m.marker1On = 0;
    EXPECT_EQ(MarkerReadout(Swept()).Line(m), "MKR 2: 12.5 Hz, -30.00 dBm");
}

TEST(MarkerReadoutTest, SingleMarkersShowTheConverterOffset) {
    MarkerScale s = Swept();
    s.freqOffsetHz = 1e9;
    EXPECT_EQ(MarkerReadout(s).Line(Both(915e6, -20.0, 916e6, -30.0)),
              "MKR 1: 1.915000 GHz, -20.00 dBm   MKR 2: 1.916000 GHz, -30.00 dBm");
    // The magnitude picks the unit: -5 MHz + 4 MHz is -1 MHz, still MHz.
    s.freqOffsetHz = 4e6;
    EXPECT_EQ(MarkerReadout(s).Line(Marker1(-5e6, 0.0)), "MKR 1: -1.000000 MHz, 0.00 dBm   ");
}

TEST(MarkerReadoutTest, DeltaIsMarkerTwoLessMarkerOneWithoutOffset) {
    MarkerScale s = Swept();
    s.freqOffsetHz = 1e9;
    MarkerState m = Both(916.5e6, -20.0, 915e6, -26.25);
    m.markerDelta = 1;
    EXPECT_EQ(MarkerReadout(s).Line(m),
              "MKR 1: 1.916500 GHz, -20.00 dBm   MKR DELTA: -1.500 MHz, -6.25 dBc");
}

TEST(MarkerReadoutTest, FirstDeltaPressShowsNoDifference) {
    MarkerState m = Both(915e6, -20.0, 915e6, -20.0);
    m.markerDelta = 1;
    EXPECT_EQ(MarkerReadout(Swept()).Line(m),
              "MKR 1: 915.000 MHz, -20.00 dBm   MKR DELTA: 0.0 Hz, 0.00 dBc");
}

TEST(MarkerReadoutTest, DeltaUnitsFollowTheMagnitude) {
    MarkerState m = Both(0.0, 0.0, 1.2e9, 1.0);
    m.markerDelta = 1;
    const MarkerReadout r(Swept());
    EXPECT_NE(r.Line(m).find("MKR DELTA: 1.200000 GHz, 1.00 dBc"), std::string::npos);
    m.marker2Pos = -2500.0;
    EXPECT_NE(r.Line(m).find("MKR DELTA: -2.500 KHz, 1.00 dBc"), std::string::npos);
}

TEST(MarkerReadoutTest, LinearScaleShowsMillivoltsWithATrailingBlank) {
    MarkerScale s = Swept();
    s.linearScale = true;
    EXPECT_EQ(MarkerReadout(s).Line(Both(915e6, 12.345, 916e6, 3.0)),
              "MKR 1: 915.000 MHz, 12.35 mV    MKR 2: 916.000 MHz, 3.00 mV ");
}

TEST(MarkerReadoutTest, ZeroSpanShowsTimes) {
    const MarkerReadout r(ZeroSpan(false));
    EXPECT_EQ(r.Line(Marker1(1.1, -20.0)), "MKR 1: 1.100 msec, -20.00 dBm   ");
    MarkerState m = Both(1.1, -20.0, 1.6, -17.0);
    EXPECT_EQ(r.Line(m), "MKR 1: 1.100 msec, -20.00 dBm   MKR 2: 1.600 msec, -17.00 dBm");
    m.markerDelta = 1;
    EXPECT_EQ(r.Line(m), "MKR 1: 1.100 msec, -20.00 dBm   MKR DELTA: 0.500 msec, 3.00 dBc");
}

TEST(MarkerReadoutTest, ZeroSpanFmShowsDeviationInHertz) {
    const MarkerReadout r(ZeroSpan(true));
    MarkerState m = Both(1.1, 2500.4, 1.6, -1000.0);
    EXPECT_EQ(r.Line(m), "MKR 1: 1.100 msec, 2500 Hz   MKR 2: 1.600 msec, -1000 Hz");
    m.markerDelta = 1;
    EXPECT_EQ(r.Line(m), "MKR 1: 1.100 msec, 2500 Hz   MKR 2-1: 0.500 msec, -3500 Hz");
}

// The FM flag outlives zero span until SET SPAN clears it; a swept trace
// is read in frequencies and dBm all the same.
TEST(MarkerReadoutTest, FmFlagAloneDoesNotTurnFrequenciesIntoTimes) {
    MarkerScale s = Swept();
    s.zeroSpanFm = true;
    MarkerState m = Both(915e6, -20.0, 916e6, -30.0);
    EXPECT_EQ(MarkerReadout(s).Line(m),
              "MKR 1: 915.000 MHz, -20.00 dBm   MKR 2: 916.000 MHz, -30.00 dBm");
    m.markerDelta = 1;
    EXPECT_EQ(MarkerReadout(s).Line(m),
              "MKR 1: 915.000 MHz, -20.00 dBm   MKR DELTA: 1.000 MHz, -10.00 dBc");
}

TEST(MarkerReadoutTest, HugeValuesAreWrittenWhole) {
    const std::string line = MarkerReadout(Swept()).Line(Marker1(1e300, -1e300));
    EXPECT_EQ(line.rfind("MKR 1: 1", 0), 0u);
    EXPECT_EQ(line.substr(line.size() - 7), " dBm   ");
    EXPECT_GT(line.size(), 580u);  // 292 + 9 digits of GHz, 301 + 2 of dBm
}

TEST(MarkerReadoutTest, CursorInASweptSpan) {
    MarkerScale s = Swept();
    const MarkerReadout r(s);
    EXPECT_EQ(r.Cursor(320, -42.126), "Cursor at 915.000000 MHz, -42.13 dBm");
    s.startHz = 2.4e9;
    s.stopHz = 2.5e9;
    EXPECT_EQ(MarkerReadout(s).Cursor(64, 0.0), "Cursor at 2.410000000 GHz, 0.00 dBm");
    s.startHz = 0.0;
    s.stopHz = 640e3;
    EXPECT_EQ(MarkerReadout(s).Cursor(100, 0.0), "Cursor at 100.000 KHz, 0.00 dBm");
    s.stopHz = 640.0;
    EXPECT_EQ(MarkerReadout(s).Cursor(5, 0.0), "Cursor at 5.000 Hz, 0.00 dBm");
    s.linearScale = true;
    EXPECT_EQ(MarkerReadout(s).Cursor(5, 1.5), "Cursor at 5.000 Hz, 1.50 mV");
}

TEST(MarkerReadoutTest, CursorWithAConverterOffsetShowsTheSumInGigahertz) {
    MarkerScale s = Swept();
    s.freqOffsetHz = 1.0;  // at most 1 Hz is left out
    EXPECT_EQ(MarkerReadout(s).Cursor(320, 0.0), "Cursor at 915.000000 MHz, 0.00 dBm");
    s.freqOffsetHz = 2e9;
    EXPECT_EQ(MarkerReadout(s).Cursor(320, 0.0), "Cursor at 2.915000000 GHz, 0.00 dBm");
    s.freqOffsetHz = -100e6;  // an offset below the input
    EXPECT_EQ(MarkerReadout(s).Cursor(320, 0.0), "Cursor at 0.815000000 GHz, 0.00 dBm");
}

TEST(MarkerReadoutTest, CursorInZeroSpan) {
    EXPECT_EQ(MarkerReadout(ZeroSpan(false)).Cursor(320, -30.0),
              "Cursor at 50.000 msec, -30.00 dBm");
    EXPECT_EQ(MarkerReadout(ZeroSpan(true)).Cursor(64, 1234.56),
              "Cursor at 10.000 msec, 1234.6 Hz");
}

}  // namespace
}  // namespace tavlin
