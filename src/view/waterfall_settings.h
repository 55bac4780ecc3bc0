#pragma once

#include <cstddef>

#include "document/spectrogram_history.h"

namespace tavlin {

// What the user sets for the waterfall: how tall a sweep's line is drawn,
// how many sweeps are kept, and the levels its colours run between.
struct WaterfallSettings {
    static constexpr int kFit = 0;  // the whole history spread over the view's height
    static constexpr int kMaxLineHeight = 8;
    // Manual colour levels stay within what a trace can show.
    static constexpr double kLowestDbm = -200.0;
    static constexpr double kHighestDbm = 50.0;
    static constexpr double kLeastRangeDb = 1.0;

    int lineHeight = kFit;  // pixels per sweep, or kFit
    std::size_t historyLines = SpectrogramHistory::kDefaultCapacity;
    bool manualColours = false;
    double bottomDbm = -100.0;  // the darkest colour in Manual
    double topDbm = -20.0;      // the brightest

    // The same settings within bounds, as a settings file edited by hand may
    // not be: out-of-range values go to the nearer bound, a colour range
    // that is not one (top not above bottom, not a number) to the default.
    WaterfallSettings Bounded() const;
    // What a history of `lines` takes with its picture, in MB.
    static double MegabytesFor(std::size_t lines);

    bool operator==(const WaterfallSettings&) const = default;
};

}  // namespace tavlin
