#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace tavlin::sim {

// Gaussian noise with a spectrum given bin by bin, for sidebands whose shape
// a short filter cannot follow (a phase-noise skirt falls by tens of dB
// within a few hundred hertz of its carrier). Each frame draws every bin with
// its own variance and transforms it to time; frames overlap by half with a
// sine window, whose squares add up to one, so the noise is stationary and
// the frame edges leave no trace in the spectrum.
class SidebandNoise {
  public:
    explicit SidebandNoise(std::uint64_t seed = 0x9E3779B97F4A7C15ull);

    // density: counts squared per hertz of each bin from -rate / 2 up (a
    // power of two of them, or empty for no noise).
    void Start(const std::vector<double>& density, double rateHz);
    bool Active() const { return !scale_.empty(); }

    // Adds the next `pairs` noise pairs to first and second.
    void Add(double* first, double* second, std::size_t pairs);

  private:
    void NextFrame();

    std::vector<double> scale_;  // amplitude of each bin, in time-domain order
    std::vector<double> window_;
    std::vector<std::complex<double>> frame_;
    std::vector<std::complex<double>> ready_;  // the next half frame's output
    std::vector<std::complex<double>> tail_;   // the later half of the last frame
    std::size_t position_ = 0;
    std::uint64_t rng_;
};

// In-place radix-2 transform from bins to time (e^{+j}, no scaling); size a
// power of two.
void InverseTransform(std::vector<std::complex<double>>& data);

// A block of pairs filtered bin by bin: zero-padded to a power of two, each
// bin scaled by `gain` of its offset as a share of the sample rate (-0.5 to
// 0.5), and cut back to the block's length.
std::vector<std::complex<float>> ShapedBySpectrum(const std::vector<std::complex<float>>& block,
                                                  const std::function<double(double)>& gain);

}  // namespace tavlin::sim
