#include "dsp/fft.h"

#include <fftw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <random>
#include <stdexcept>
#include <vector>

namespace tavlin {
namespace {

struct Signal {
    std::vector<double> re;
    std::vector<double> im;
};

Signal RandomSignal(std::size_t n, unsigned seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    Signal s{std::vector<double>(n), std::vector<double>(n)};
    for (std::size_t i = 0; i < n; ++i) {
        s.re[i] = uniform(random);
        s.im[i] = uniform(random);
    }
    return s;
}

// FFTW with our scaling: the forward transform divided by N.
std::vector<std::complex<double>> Fftw(FftDirection direction, const Signal& x) {
    const std::size_t n = x.re.size();
    std::vector<std::complex<double>> data(n);
    for (std::size_t i = 0; i < n; ++i) {
        data[i] = {x.re[i], x.im[i]};
    }
    auto* p = reinterpret_cast<fftw_complex*>(data.data());
    const bool forward = direction == FftDirection::kForward;
    fftw_plan plan = fftw_plan_dft_1d(static_cast<int>(n), p, p,
                                      forward ? FFTW_FORWARD : FFTW_BACKWARD, FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    for (auto& v : data) {
        v *= forward ? 1.0 / static_cast<double>(n) : 1.0;
    }
    return data;
}

// sqrt(sum |a - b|^2 / sum |b|^2)
double RmsRelativeError(const Signal& a, const std::vector<std::complex<double>>& b) {
    long double error = 0.0L;
    long double norm = 0.0L;
    for (std::size_t i = 0; i < b.size(); ++i) {
        const std::complex<long double> reference(b[i].real(), b[i].imag());
        error += std::norm(std::complex<long double>(a.re[i], a.im[i]) - reference);
        norm += std::norm(reference);
    }
    return static_cast<double>(std::sqrt(error / norm));
}

// Every length of the plain radix-2 path and of the tiled path with both
// parities of log2 N, and the long lengths of the depth-first stages and
// two-level twiddles, in every instruction set and both directions. In place,
// out of place, on the same arrays and on arrays one value off any alignment
// the transform does the same arithmetic, so those agree exactly (a tile
// written to the wrong place would not).
TEST(Fft, MatchesFftwAtEveryLengthInEveryWayOfCalling) {
    std::vector<std::size_t> lengths{4096, 8192, 16384, 32768, 65536, std::size_t{1} << 20};
    for (std::size_t n = 2; n <= 512; n *= 2) {
        lengths.push_back(n);
    }
    for (FftInstructionSet set :
         {FftInstructionSet::kPortable, FftInstructionSet::kAvx2, FftInstructionSet::kAvx512}) {
        if (!Fft::Supports(set)) {
            continue;
        }
        for (const std::size_t n : lengths) {
            const Fft fft(n, set);
            const Signal x = RandomSignal(n, static_cast<unsigned>(n));
            for (FftDirection direction : {FftDirection::kForward, FftDirection::kInverse}) {
                SCOPED_TRACE(testing::Message() << "N = " << n << " set " << static_cast<int>(set)
                                                << " direction " << static_cast<int>(direction));
                Signal out = x;
                fft.Transform(direction, x.re, x.im, out.re, out.im);
                EXPECT_LT(RmsRelativeError(out, Fftw(direction, x)), n <= 512 ? 1e-15 : 1e-14);
                Signal inPlace = x;
                fft.TransformInPlace(direction, inPlace.re, inPlace.im);
                EXPECT_EQ(inPlace.re, out.re);
                EXPECT_EQ(inPlace.im, out.im);
                Signal same = x;
                fft.Transform(direction, same.re, same.im, same.re, same.im);
                EXPECT_EQ(same.re, out.re);
                std::vector<double> re(n + 1), im(n + 1), offRe(n + 1), offIm(n + 1);
                std::copy(x.re.begin(), x.re.end(), re.begin() + 1);
                std::copy(x.im.begin(), x.im.end(), im.begin() + 1);
                fft.Transform(direction, std::span(re).subspan(1), std::span(im).subspan(1),
                              std::span(offRe).subspan(1), std::span(offIm).subspan(1));
                EXPECT_TRUE(std::equal(out.re.begin(), out.re.end(), offRe.begin() + 1));
                EXPECT_TRUE(std::equal(out.im.begin(), out.im.end(), offIm.begin() + 1));
                fft.TransformInPlace(direction, std::span(re).subspan(1), std::span(im).subspan(1));
                EXPECT_TRUE(std::equal(out.re.begin(), out.re.end(), re.begin() + 1));
            }
        }
    }
}

// 2^23 points, the narrow sweep's longest transform, in every instruction set.
TEST(Fft, MatchesFftwAtTheNarrowSweepsLength) {
    const std::size_t n = std::size_t{1} << 23;
    const Signal x = RandomSignal(n, 23);
    const auto reference = Fftw(FftDirection::kForward, x);
    for (FftInstructionSet set :
         {FftInstructionSet::kPortable, FftInstructionSet::kAvx2, FftInstructionSet::kAvx512}) {
        if (Fft::Supports(set)) {
            Signal out = x;
            Fft(n, set).Transform(FftDirection::kForward, x.re, x.im, out.re, out.im);
            EXPECT_LT(RmsRelativeError(out, reference), 1e-14) << static_cast<int>(set);
        }
    }
}

TEST(Fft, RefusesBadLengthsAndShortOrOverlappingArrays) {
    for (const std::size_t n : {0ul, 1ul, 3ul, 1000ul, 1ul << 25}) {
        EXPECT_THROW(Fft{n}, std::invalid_argument) << n;
    }
    const Fft fft(64);
    std::vector<double> a(64), b(64), c(64), shortArray(63), wide(128);
    EXPECT_THROW(fft.Forward(a, b, c, shortArray), std::invalid_argument);
    EXPECT_THROW(fft.ForwardInPlace(shortArray, a), std::invalid_argument);
    // The real output would run into the imaginary output.
    EXPECT_THROW(fft.Forward(a, b, std::span(wide).first(64), std::span(wide).subspan(32)),
                 std::invalid_argument);
    // The output is half the input's arrays: neither in place nor apart.
    EXPECT_THROW(fft.Forward(a, b, a, c), std::invalid_argument);
    EXPECT_THROW(fft.ForwardInPlace(std::span(wide).first(64), std::span(wide).subspan(1)),
                 std::invalid_argument);
}

}  // namespace
}  // namespace tavlin
