#include "view/waterfall_colour_range.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tavlin {

namespace {

// The value `percent` of the way up `levels` (reordered).
double Percentile(std::vector<float>& levels, double percent) {
    const auto rank = static_cast<std::size_t>(
        std::lround(percent / 100.0 * static_cast<double>(levels.size() - 1)));
    std::nth_element(levels.begin(), levels.begin() + static_cast<std::ptrdiff_t>(rank),
                     levels.end());
    return levels[rank];
}

}  // namespace

// Points of no power are left out: on the linear scale a few of them would
// take the bottom of the range down to the floor of the dBm scale.
std::optional<WaterfallColourRange::Percentiles> WaterfallColourRange::Measure(
    const SpectrogramHistory& history) {
    const std::size_t stride =
        std::max<std::size_t>(1, history.Size() * kTracePoints / kMostSamples);
    std::vector<float> levels;
    levels.reserve(std::min(history.Size() * kTracePoints, kMostSamples + kTracePoints));
    // The lines sampled are picked by sequence number, not by age, so that
    // from one sweep to the next the same lines are looked at but for the
    // one that came and the one that went: a burst in a few lines does not
    // come and go from the sample with every sweep.
    const std::size_t newest = static_cast<std::size_t>(history.NewestSeq() % stride);
    for (std::size_t age = newest; age < history.Size(); age += stride) {
        for (const float level : history.Line(age).levelsDbm) {
            if (level > SpectrogramHistory::kFloorDbm) {
                levels.push_back(level);
            }
        }
    }
    if (levels.empty()) {
        return std::nullopt;
    }
    const double low = Percentile(levels, kLowPercentile);
    return Percentiles{low, Percentile(levels, kHighPercentile)};
}

// A bottom set a step below the step holding the low percentile stays
// while the percentile is within three steps above it: it takes a move of a
// whole step at least, either way, to change it. The same for the top.
bool WaterfallColourRange::Holds(const ColourRange& range, const Percentiles& p) {
    return p.low >= range.bottomDbm && p.low <= range.bottomDbm + 3.0 * kStepDb &&
           p.high <= range.topDbm && p.high >= range.topDbm - 3.0 * kStepDb;
}

ColourRange WaterfallColourRange::Follow(const SpectrogramHistory& history,
                                         const ColourRange& screen) {
    const std::optional<Percentiles> p = Measure(history);
    if (!p) {
        held_.reset();
        return screen;
    }
    if (!held_ || !Holds(*held_, *p)) {
        held_ = ColourRange{std::floor(p->low / kStepDb) * kStepDb - kStepDb,
                            std::ceil(p->high / kStepDb) * kStepDb + kStepDb};
    }
    return *held_;
}

}  // namespace tavlin
