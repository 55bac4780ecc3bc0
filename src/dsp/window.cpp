#include "dsp/window.h"

#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace tavlin {

namespace {

constexpr std::size_t kCosineTerms = 5;

// a0 - a1 cos x + a2 cos 2x - a3 cos 3x + a4 cos 4x
struct CosineTerms {
    double a0, a1, a2, a3, a4;
};

constexpr CosineTerms kFlatTop{1.0, 1.93, 1.29, 0.388, 0.032};
constexpr CosineTerms kNuttall{0.355768, 0.487396, 0.144232, 0.012604, 0.0};

// The multiples of the angle come from cos x by the Chebyshev recurrence, one
// cosine per point instead of four; the values agree with the direct sums to
// a few units in the last place.
double CosineSum(const CosineTerms& terms, double angle) {
    const double c1 = std::cos(angle);
    const double c2 = 2.0 * c1 * c1 - 1.0;
    const double c3 = 2.0 * c1 * c2 - c1;
    const double c4 = 2.0 * c2 * c2 - 1.0;
    return terms.a0 - terms.a1 * c1 + terms.a2 * c2 - terms.a3 * c3 + terms.a4 * c4;
}

const CosineTerms& TermsOf(int type) {
    switch (type) {
        case kFlatTopWindow:
            return kFlatTop;
        case kNuttallWindow:
            return kNuttall;
        default:
            throw std::invalid_argument("unknown window type");
    }
}

}  // namespace

void MakeWindow(int type, std::size_t n, std::span<double> out) {
    const CosineTerms& terms = TermsOf(type);
    if (out.size() < n) {
        throw std::invalid_argument("window output shorter than the window");
    }
    if (n == 0) {
        return;
    }
    if (n == 1) {
        out[0] = 1.0;  // the formula's period n - 1 would be zero
        return;
    }
    // Symmetric about (n - 1) / 2: each value is computed once and mirrored.
    const double step = 2.0 * std::numbers::pi / static_cast<double>(n - 1);
    long double sum = 0.0L;
    for (std::size_t i = 0; i < (n + 1) / 2; ++i) {
        const double w = CosineSum(terms, step * static_cast<double>(i));
        out[i] = w;
        out[n - 1 - i] = w;
        sum += (i == n - 1 - i) ? w : 2.0L * w;
    }
    const double scale = static_cast<double>(static_cast<long double>(n) / sum);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] *= scale;
    }
}

// In closed form, with no window drawn: the sweeps ask for it every pass. The
// points sit at x = 2 pi i / m, i = 0 .. m with m = n - 1, so the sum of
// cos kx over them is m + 1 when m divides k and 1 otherwise; the sum of the
// window and of its square (a product of cosines is half the sum of the
// cosines of the sum and the difference) follow from those sums alone.
double NoiseBandwidthBins(int type, std::size_t n) {
    const CosineTerms& terms = TermsOf(type);
    if (n == 0) {
        throw std::invalid_argument("window of no points");
    }
    if (n == 1) {
        return 1.0;
    }
    const std::size_t m = n - 1;
    const auto cosineSum = [m](std::size_t k) { return (k % m == 0 ? m : 0) + 1.0L; };
    const std::array<long double, kCosineTerms> coefficient = {terms.a0, -terms.a1, terms.a2,
                                                               -terms.a3, terms.a4};
    long double sum = 0.0L;
    long double squares = 0.0L;
    for (std::size_t j = 0; j < kCosineTerms; ++j) {
        sum += coefficient[j] * cosineSum(j);
        for (std::size_t k = 0; k < kCosineTerms; ++k) {
            const std::size_t difference = j > k ? j - k : k - j;
            squares +=
                coefficient[j] * coefficient[k] * (cosineSum(j + k) + cosineSum(difference)) / 2.0L;
        }
    }
    return static_cast<double>(static_cast<long double>(n) * squares / (sum * sum));
}

void ApplyWindow(std::size_t n, std::span<double> re, std::span<double> im,
                 std::span<const double> window) {
    if (re.size() < n || im.size() < n || window.size() < n) {
        throw std::invalid_argument("array shorter than the window");
    }
    for (std::size_t i = 0; i < n; ++i) {
        re[i] *= window[i];
        im[i] *= window[i];
    }
}

}  // namespace tavlin
