#pragma once

#include <cstddef>
#include <span>

namespace tavlin {

// Window types as the sweep engine stores them.
inline constexpr int kFlatTopWindow = 0;  // amplitude-true: a tone between bins reads its level
inline constexpr int kNuttallWindow =
    1;  // four-term Nuttall: narrower main lobe, -93 dB side lobes

// Fills out[0..n-1] with the window of the given type over n points, scaled so
// that the coefficients sum to n (mean 1): a tone on a bin then reads the same
// power after windowing as without. A window of one point is 1. Throws
// std::invalid_argument for an unknown type or an output shorter than n.
void MakeWindow(int type, std::size_t n, std::span<double> out);

// The noise bandwidth of one bin of an n-point transform through the window,
// in bins: n sum(w^2) / (sum w)^2. Noise of density N reads N x this x the
// bin width in a bin where a tone on the bin reads its own power. Throws as
// MakeWindow does; n of 0 is refused too. Computed without drawing the window.
double NoiseBandwidthBins(int type, std::size_t n);

// re[i] and im[i] multiplied by window[i] for i < n.
void ApplyWindow(std::size_t n, std::span<double> re, std::span<double> im,
                 std::span<const double> window);

}  // namespace tavlin
