#pragma once

#include <optional>

#include "document/spectrogram_history.h"

namespace tavlin {

// The levels the waterfall's colours run between: the darkest colour at the
// bottom level and below, the brightest at the top level and above.
struct ColourRange {
    double bottomDbm = -100.0;
    double topDbm = 0.0;
    bool operator==(const ColourRange&) const = default;
};

// The automatic colour range, taken from the levels kept: from the 5th
// percentile (the noise floor, whatever a few dips do) to the 99.9th (the
// strongest signals, whatever a single spike does), widened by a step of
// 5 dB each way and set on whole steps. It moves only when a percentile
// leaves its step's margin, so sweeps of the same signals keep the same
// colours and the whole picture is recoloured only when the levels really
// moved. With no line kept it is the screen's: the bottom graticule line
// to the reference level.
class WaterfallColourRange {
  public:
    static constexpr double kStepDb = 5.0;
    static constexpr double kLowPercentile = 5.0;
    static constexpr double kHighPercentile = 99.9;
    // About this many levels are looked at; a long history is sampled by
    // whole lines, so that a signal of one point is never left out of a
    // line looked at, and a sweep's work stays small however long the history.
    static constexpr std::size_t kMostSamples = 16384;

    ColourRange Follow(const SpectrogramHistory& history, const ColourRange& screen);

    struct Percentiles {
        double low = 0.0;
        double high = 0.0;
    };
    // None when the history holds no level (only points of no power).
    static std::optional<Percentiles> Measure(const SpectrogramHistory& history);

  private:
    static bool Holds(const ColourRange& range, const Percentiles& p);
    std::optional<ColourRange> held_;
};

}  // namespace tavlin
