#include "view/measurement_readout.h"

#include <cmath>

#include "base/bounded_format.h"

namespace tavlin {

namespace {

constexpr const char* kOverRange = "  OVER RANGE";

}  // namespace

std::string BandwidthText(double hz) {
    const double size = std::abs(hz);
    if (size >= 1e6) {
        return FormatText("%.3f MHz", hz * 1e-6);
    }
    if (size >= 1e3) {
        return FormatText("%.3f KHz", hz * 1e-3);
    }
    return FormatText("%.0f Hz", hz);
}

std::string ChannelPowerText(const ChannelPowerReading& reading) {
    return FormatText("CH PWR: %.2f dBm / ", reading.powerDbm) +
           BandwidthText(reading.bandwidthHz) + FormatText("   %.2f dBm/Hz", reading.densityDbmHz) +
           (reading.overRange ? kOverRange : "");
}

std::string OccupiedBandwidthText(const OccupiedBandwidthReading& reading) {
    return "OBW: " + BandwidthText(reading.bandwidthHz) +
           ", FREQ ERR: " + BandwidthText(reading.freqErrorHz) +
           (reading.overRange ? kOverRange : "");
}

}  // namespace tavlin
