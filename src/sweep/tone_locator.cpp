#include "sweep/tone_locator.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

#include "dsp/window.h"

namespace tavlin {

namespace {

constexpr int kStepsPerBin = 64;

// Power response of the window to a tone offsetBins from a bin.
double WindowPower(const std::vector<double>& window, double offsetBins) {
    const double n = static_cast<double>(window.size());
    std::complex<double> sum = 0.0;
    for (std::size_t i = 0; i < window.size(); ++i) {
        sum += window[i] * std::polar(1.0, 2.0 * std::numbers::pi * offsetBins * i / n);
    }
    return std::norm(sum);
}

}  // namespace

ToneLocator::ToneLocator(int windowType, std::size_t n) {
    std::vector<double> window(n);
    MakeWindow(windowType, n, window);
    const int steps = static_cast<int>((kTowardsBins - kAwayBins) * kStepsPerBin);
    for (int k = 0; k <= steps; ++k) {
        const double d = kAwayBins + static_cast<double>(k) / kStepsPerBin;
        ratio_.push_back(WindowPower(window, 1.0 - d) / WindowPower(window, d));
    }
}

// The ratio rises with the offset across the main lobe, so the offset is
// found by search and interpolated between the table's steps; beyond the
// table's ends it holds the end.
double ToneLocator::OffsetBins(double power, double neighbourPower) const {
    if (!(power > 0.0) || !(neighbourPower >= 0.0)) {
        return 0.0;
    }
    const double ratio = neighbourPower / power;
    const auto above = std::ranges::upper_bound(ratio_, ratio);
    if (above == ratio_.begin()) {
        return kAwayBins;
    }
    if (above == ratio_.end()) {
        return kTowardsBins;
    }
    const auto k = static_cast<double>(above - ratio_.begin() - 1);
    const double t = (ratio - *(above - 1)) / (*above - *(above - 1));
    return kAwayBins + (k + t) / kStepsPerBin;
}

}  // namespace tavlin
