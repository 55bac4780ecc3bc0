#include "utilities/receiver/audio_tone_finder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "dsp/dsp_primitives.h"
#include "dsp/window.h"

namespace tavlin {

namespace {

// The Nuttall window's main lobe reaches four bins either side of a tone.
constexpr std::size_t kLobeBins = 4;
// A tone stands this many times above the median bin; noise's strongest bin
// among thousands lies within about ten times it.
constexpr double kToneOverMedian = 1000.0;

}  // namespace

AudioToneFinder::AudioToneFinder()
    : fft_(kLength), window_(kLength), re_(kLength), im_(kLength), power_(kLength / 2) {
    MakeWindow(kNuttallWindow, kLength, window_);
    for (const double w : window_) {
        windowSquares_ += w * w;
    }
}

// A real tone A cos(2 pi f t) puts (A / 2)^2 sum(w^2) / N^2 into the bins of
// its lobe on each side of 0 Hz (the transform divides by N); its frequency
// is the lobe's power-weighted centre.
AudioToneFinder::Tone AudioToneFinder::Find(std::span<const double> series, double rateHz) {
    std::copy_n(series.begin(), kLength, re_.begin());
    std::fill(im_.begin(), im_.end(), 0.0);
    ApplyWindow(kLength, re_, im_, window_);
    fft_.ForwardInPlace(re_, im_);
    for (std::size_t k = 0; k < power_.size(); ++k) {
        power_[k] = re_[k] * re_[k] + im_[k] * im_[k];
    }
    const auto peak = static_cast<std::size_t>(
        std::max_element(power_.begin() + kLobeBins + 1, power_.end() - kLobeBins) -
        power_.begin());
    const double peakPower = power_[peak];
    std::nth_element(power_.begin(), power_.begin() + power_.size() / 2, power_.end());
    const double median = power_[power_.size() / 2];
    Tone tone;
    tone.found = peakPower > kToneOverMedian * median;
    double sum = 0.0;
    double moment = 0.0;
    for (std::size_t k = peak - kLobeBins; k <= peak + kLobeBins; ++k) {
        const double p = re_[k] * re_[k] + im_[k] * im_[k];
        sum += p;
        moment += p * static_cast<double>(k);
    }
    tone.amplitude = 2.0 * std::sqrt(sum * kLength / windowSquares_);
    tone.frequencyHz = moment / sum * rateHz / kLength;
    return tone;
}

}  // namespace tavlin
