#include "view/measurement_readout.h"

#include <cmath>

#include "base/bounded_format.h"
#include "base/reading_flag.h"

namespace tavlin {

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
    const ReadingFlag flag = reading.flag;
    return "CH PWR: " + FlaggedReadingText(FormatText("%.2f", reading.powerDbm), flag) + " dBm / " +
           BandwidthText(reading.bandwidthHz) + "   " +
           FlaggedReadingText(FormatText("%.2f", reading.densityDbmHz), flag) + " dBm/Hz";
}

std::string OccupiedBandwidthText(const OccupiedBandwidthReading& reading) {
    return "OBW: " + FlaggedReadingText(BandwidthText(reading.bandwidthHz), reading.flag) +
           ", FREQ ERR: " + FlaggedReadingText(BandwidthText(reading.freqErrorHz), reading.flag);
}

}  // namespace tavlin
