#pragma once

#include <span>
#include <vector>

#include "dsp/fft.h"

namespace tavlin {

// The strongest tone of a demodulated series, found in its spectrum before
// any audio filter: what the filters are then judged against. A tone hidden
// in an audio filter's stop band is still found here.
class AudioToneFinder {
  public:
    static constexpr int kLength = 32768;

    struct Tone {
        bool found = false;      // a tone stands out of the noise
        double amplitude = 0.0;  // peak, in the series' unit
        double frequencyHz = 0.0;
    };

    AudioToneFinder();

    // The first kLength values of `series` (its mean taken off by the caller)
    // at rateHz samples a second.
    Tone Find(std::span<const double> series, double rateHz);

  private:
    Fft fft_;
    std::vector<double> window_;
    std::vector<double> re_;
    std::vector<double> im_;
    std::vector<double> power_;
    double windowSquares_ = 0.0;
};

}  // namespace tavlin
