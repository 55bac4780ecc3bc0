#include "view/waterfall_readout.h"

#include <algorithm>
#include <cmath>

#include "base/bounded_format.h"
#include "base/utc_time.h"
#include "view/marker_readout.h"

namespace tavlin {

std::string WaterfallReadout::ClockTenths(double utcSec) {
    const int tenth = std::clamp(static_cast<int>((utcSec - std::floor(utcSec)) * 10.0), 0, 9);
    return UtcClockText(utcSec) + FormatText(".%d", tenth);
}

// The band the history was swept over, not the settings in force now: the
// history starts afresh on a new band, so every line it holds was swept
// over this one. Levels are kept in dBm whatever the scale.
std::string WaterfallReadout::Text(const SpectrogramBand& band, const SpectrogramLine& line,
                                   int column) {
    MarkerScale scale;
    scale.startHz = band.startHz;
    scale.stopHz = band.zeroSpan ? band.startHz : band.stopHz;
    scale.sweepTimeSec = band.sweepTimeSec;
    scale.freqOffsetHz = band.freqOffsetHz;
    const int point = std::clamp(column, 0, kTracePoints - 1);
    const std::string cursor = MarkerReadout(scale).Cursor(point, line.levelsDbm[point]);
    return cursor + ", " + ClockTenths(line.utcSec) + " UTC";
}

}  // namespace tavlin
