#pragma once

#include <string>

#include "document/trace_measurements.h"

namespace tavlin {

// A bandwidth or frequency difference in the unit its size calls for:
// "1.250 MHz", "100.000 KHz", "850 Hz" (a difference keeps its sign).
std::string BandwidthText(double hz);

// The readout lines drawn on the plot while the measurements are on. A
// reading taken from a trace that runs above the screen ends in
// "  OVER RANGE": its power reads low.
std::string ChannelPowerText(const ChannelPowerReading& reading);
std::string OccupiedBandwidthText(const OccupiedBandwidthReading& reading);

}  // namespace tavlin
