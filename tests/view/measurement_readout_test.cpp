// The channel power and occupied bandwidth readouts, unit by size.
#include <gtest/gtest.h>

#include "view/measurement_readout.h"

namespace tavlin {
namespace {

TEST(MeasurementReadout, TextsNameTheirUnitsAndAClippedTrace) {
    ChannelPowerReading power;
    power.powerDbm = -30.014;
    power.densityDbmHz = -80.004;
    power.bandwidthHz = 100e3;
    EXPECT_EQ(ChannelPowerText(power), "CH PWR: -30.01 dBm / 100.000 KHz   -80.00 dBm/Hz");
    power.bandwidthHz = 1.25e6;
    power.flag = ReadingFlag::kAboveScreen;
    EXPECT_EQ(ChannelPowerText(power), "CH PWR: >-30.01 dBm / 1.250 MHz   >-80.00 dBm/Hz");

    OccupiedBandwidthReading band;
    band.bandwidthHz = 61234.0;
    band.freqErrorHz = -850.0;
    EXPECT_EQ(OccupiedBandwidthText(band), "OBW: 61.234 KHz, FREQ ERR: -850 Hz");
    band.freqErrorHz = -1500.0;
    EXPECT_EQ(OccupiedBandwidthText(band), "OBW: 61.234 KHz, FREQ ERR: -1.500 KHz");
}

}  // namespace
}  // namespace tavlin
