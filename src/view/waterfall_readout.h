#pragma once

#include <string>

#include "document/spectrogram_history.h"

namespace tavlin {

// The status bar's text for the pointer over the waterfall: the frequency
// (or time in the sweep, in zero span) of the column as the plot's cursor
// readout gives it, the line's level there, and the UTC time its sweep
// ended to a tenth of a second.
class WaterfallReadout {
  public:
    static std::string Text(const SpectrogramBand& band, const SpectrogramLine& line, int column);
    // "06:45:19.1", the tenth truncated as the seconds are.
    static std::string ClockTenths(double utcSec);
};

}  // namespace tavlin
