#include "sim/sideband_noise.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace tavlin::sim {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

}  // namespace

void InverseTransform(std::vector<std::complex<double>>& data) {
    const std::size_t n = data.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) {
            j ^= bit;
        }
        j |= bit;
        if (i < j) {
            std::swap(data[i], data[j]);
        }
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const std::complex<double> turn = std::polar(1.0, kTwoPi / static_cast<double>(length));
        for (std::size_t block = 0; block < n; block += length) {
            std::complex<double> w = 1.0;
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> odd = data[block + k + length / 2] * w;
                data[block + k + length / 2] = data[block + k] - odd;
                data[block + k] += odd;
                w *= turn;
            }
        }
    }
}

SidebandNoise::SidebandNoise(std::uint64_t seed) : rng_(seed == 0 ? 1 : seed) {}

void SidebandNoise::Start(const std::vector<double>& density, double rateHz) {
    const std::size_t n = density.size();
    scale_.clear();
    if (n < 2 || (n & (n - 1)) != 0) {
        return;
    }
    // Bin m of the density lies at (m - n/2) rate / n; the transform wants
    // 0 Hz first. A bin's variance is its density times the bin width.
    scale_.resize(n);
    for (std::size_t m = 0; m < n; ++m) {
        const double variance = std::max(density[m], 0.0) * rateHz / static_cast<double>(n);
        scale_[(m + n / 2) % n] = std::sqrt(variance / 2.0);
    }
    window_.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        window_[k] =
            std::sin(std::numbers::pi * (static_cast<double>(k) + 0.5) / static_cast<double>(n));
    }
    frame_.resize(n);
    ready_.assign(n / 2, 0.0);
    tail_.assign(n / 2, 0.0);
    NextFrame();  // fills the tail: the overlap starts in its steady state
    position_ = n / 2;
}

// Two unit normal values from a xorshift generator and Box-Muller.
void SidebandNoise::NextFrame() {
    const std::size_t n = frame_.size();
    auto uniform = [this] {
        rng_ ^= rng_ >> 12;
        rng_ ^= rng_ << 25;
        rng_ ^= rng_ >> 27;
        return (static_cast<double>((rng_ * 0x2545F4914F6CDD1Dull) >> 11) + 0.5) *
               (1.0 / 9007199254740992.0);
    };
    for (std::size_t k = 0; k < n; ++k) {
        if (scale_[k] == 0.0) {
            frame_[k] = 0.0;
            continue;
        }
        const double radius = scale_[k] * std::sqrt(-2.0 * std::log(uniform()));
        frame_[k] = std::polar(radius, kTwoPi * uniform());
    }
    InverseTransform(frame_);
    for (std::size_t k = 0; k < n / 2; ++k) {
        ready_[k] = tail_[k] + frame_[k] * window_[k];
        tail_[k] = frame_[k + n / 2] * window_[k + n / 2];
    }
    position_ = 0;
}

void SidebandNoise::Add(double* first, double* second, std::size_t pairs) {
    if (!Active()) {
        return;
    }
    for (std::size_t k = 0; k < pairs; ++k) {
        if (position_ == ready_.size()) {
            NextFrame();
        }
        first[k] += ready_[position_].real();
        second[k] += ready_[position_].imag();
        ++position_;
    }
}

std::vector<std::complex<float>> ShapedBySpectrum(const std::vector<std::complex<float>>& block,
                                                  const std::function<double(double)>& gain) {
    std::size_t size = 1;
    while (size < block.size()) {
        size *= 2;
    }
    std::vector<std::complex<double>> bins(size);
    for (std::size_t n = 0; n < block.size(); ++n) {
        bins[n] = std::conj(std::complex<double>(block[n]));
    }
    InverseTransform(bins);  // conjugated on both sides: the forward transform
    for (std::size_t k = 0; k < size; ++k) {
        const double signedBin = k < size / 2 ? static_cast<double>(k)
                                              : static_cast<double>(k) - static_cast<double>(size);
        const double share = signedBin / static_cast<double>(size);
        bins[k] = std::conj(bins[k]) * (gain(share) / static_cast<double>(size));
    }
    InverseTransform(bins);
    std::vector<std::complex<float>> shaped(block.size());
    for (std::size_t n = 0; n < block.size(); ++n) {
        shaped[n] = std::complex<float>(bins[n]);
    }
    return shaped;
}

}  // namespace tavlin::sim
