#include "view/waterfall_settings.h"

#include <algorithm>
#include <cmath>

namespace tavlin {

WaterfallSettings WaterfallSettings::Bounded() const {
    WaterfallSettings bounded = *this;
    bounded.lineHeight = std::clamp(lineHeight, kFit, kMaxLineHeight);
    bounded.historyLines = std::clamp(historyLines, SpectrogramHistory::kMinCapacity,
                                      SpectrogramHistory::kMaxCapacity);
    const WaterfallSettings defaults;
    if (!std::isfinite(bottomDbm) || !std::isfinite(topDbm)) {
        bounded.bottomDbm = defaults.bottomDbm;
        bounded.topDbm = defaults.topDbm;
        return bounded;
    }
    bounded.bottomDbm = std::clamp(bottomDbm, kLowestDbm, kHighestDbm);
    bounded.topDbm = std::clamp(topDbm, kLowestDbm, kHighestDbm);
    if (bounded.topDbm - bounded.bottomDbm < kLeastRangeDb) {
        bounded.bottomDbm = defaults.bottomDbm;
        bounded.topDbm = defaults.topDbm;
    }
    return bounded;
}

// A line of the history and a row of the picture: 641 levels of 4 bytes and
// 641 pixels of 4 bytes, with the line's times.
double WaterfallSettings::MegabytesFor(std::size_t lines) {
    const double bytesPerLine = sizeof(SpectrogramLine) + kTracePoints * 4.0 + 16.0;
    return static_cast<double>(lines) * bytesPerLine / 1e6;
}

}  // namespace tavlin
