#include "sweep/counter_noise.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>

namespace tavlin {

namespace {

constexpr double kShownDigitHz = 0.1;
// Half the main lobe of the widest window the sweeps use (the flat top).
constexpr std::size_t kMainLobeBins = 5;
// Clicks expected in one capture that still count as none.
constexpr double kClicksAllowed = 0.1;

// Rice's click rate of a carrier in a flat band of noise as wide as the
// sample rate, per sample: erfc(sqrt(SNR)) / (2 sqrt(3)).
double ClicksPerSample(double snr) {
    return std::erfc(std::sqrt(snr)) / (2.0 * std::numbers::sqrt3);
}

}  // namespace

double CarrierToNoiseRatio(std::span<const double> binPower) {
    const std::size_t n = binPower.size();
    if (n <= 2 * kMainLobeBins + 1) {
        return 0.0;
    }
    const auto strongest =
        static_cast<std::size_t>(std::ranges::max_element(binPower) - binPower.begin());
    double carrier = 0.0;
    double total = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        total += binPower[k];
    }
    // The spectrum wraps around: its bins run from the centre up and on from
    // the lowest frequency.
    for (std::size_t d = 0; d <= 2 * kMainLobeBins; ++d) {
        carrier += binPower[(strongest + n + d - kMainLobeBins) % n];
    }
    const double noise = total - carrier;
    if (!(carrier > 0.0)) {
        return 0.0;
    }
    return noise > 0.0 ? carrier / noise : std::numeric_limits<double>::infinity();
}

ReadingFlag CounterReadingFlag(std::span<const double> binPower, int samples, double rateHz) {
    const double snr = CarrierToNoiseRatio(binPower);
    if (!(snr > 0.0) || samples < 2 || !(rateHz > 0.0)) {
        return ReadingFlag::kBelowNoise;
    }
    const double clicks = ClicksPerSample(snr) * samples;
    const double stepHz = rateHz / (2.0 * std::numbers::pi * (samples - 1));
    const double scatterHz = stepHz / std::sqrt(snr);
    return clicks <= kClicksAllowed && scatterHz <= kShownDigitHz ? ReadingFlag::kNone
                                                                  : ReadingFlag::kBelowNoise;
}

}  // namespace tavlin
