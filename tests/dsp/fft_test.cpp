#include "dsp/fft.h"

#include <fftw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavlin {
namespace {

struct Signal {
    std::vector<double> re;
    std::vector<double> im;
    explicit Signal(std::size_t n) : re(n, 0.0), im(n, 0.0) {}
};

Signal RandomSignal(std::size_t n, unsigned seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    Signal s(n);
    for (std::size_t i = 0; i < n; ++i) {
        s.re[i] = uniform(random);
        s.im[i] = uniform(random);
    }
    return s;
}

// sqrt(sum |a - b|^2 / sum |b|^2)
double RmsRelativeError(const Signal& a, const Signal& b) {
    long double error = 0.0L;
    long double norm = 0.0L;
    for (std::size_t i = 0; i < b.re.size(); ++i) {
        const long double dr = a.re[i] - b.re[i];
        const long double di = a.im[i] - b.im[i];
        error += dr * dr + di * di;
        norm += static_cast<long double>(b.re[i]) * b.re[i] +
                static_cast<long double>(b.im[i]) * b.im[i];
    }
    return static_cast<double>(std::sqrt(error / norm));
}

// The defining sum in extended precision, with the angle reduced exactly.
Signal ReferenceDft(const Signal& x, FftDirection direction) {
    const std::size_t n = x.re.size();
    const long double sign = direction == FftDirection::kForward ? -1.0L : 1.0L;
    const long double scale = direction == FftDirection::kForward ? 1.0L / n : 1.0L;
    Signal out(n);
    for (std::size_t k = 0; k < n; ++k) {
        long double sumRe = 0.0L;
        long double sumIm = 0.0L;
        for (std::size_t j = 0; j < n; ++j) {
            const long double angle =
                sign * 2.0L * std::numbers::pi_v<long double> * ((j * k) % n) / n;
            const long double c = std::cos(angle);
            const long double s = std::sin(angle);
            sumRe += x.re[j] * c - x.im[j] * s;
            sumIm += x.re[j] * s + x.im[j] * c;
        }
        out.re[k] = static_cast<double>(sumRe * scale);
        out.im[k] = static_cast<double>(sumIm * scale);
    }
    return out;
}

Signal FftwForward(const Signal& x) {
    const std::size_t n = x.re.size();
    auto* data = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n));
    fftw_plan plan = fftw_plan_dft_1d(static_cast<int>(n), data, data, FFTW_FORWARD, FFTW_ESTIMATE);
    for (std::size_t i = 0; i < n; ++i) {
        data[i][0] = x.re[i];
        data[i][1] = x.im[i];
    }
    fftw_execute(plan);
    Signal out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out.re[i] = data[i][0] / static_cast<double>(n);
        out.im[i] = data[i][1] / static_cast<double>(n);
    }
    fftw_destroy_plan(plan);
    fftw_free(data);
    return out;
}

Signal Transformed(const Fft& fft, FftDirection direction, const Signal& x) {
    Signal out(x.re.size());
    fft.Transform(direction, x.re, x.im, out.re, out.im);
    return out;
}

std::vector<FftInstructionSet> AvailableSets() {
    std::vector<FftInstructionSet> sets;
    for (FftInstructionSet set :
         {FftInstructionSet::kPortable, FftInstructionSet::kAvx2, FftInstructionSet::kAvx512}) {
        if (Fft::Supports(set)) {
            sets.push_back(set);
        }
    }
    return sets;
}

std::string SetName(const ::testing::TestParamInfo<FftInstructionSet>& info) {
    switch (info.param) {
        case FftInstructionSet::kPortable:
            return "Portable";
        case FftInstructionSet::kAvx2:
            return "Avx2";
        case FftInstructionSet::kAvx512:
            return "Avx512";
        case FftInstructionSet::kBest:
            break;
    }
    return "Best";
}

class FftTest : public ::testing::TestWithParam<FftInstructionSet> {};

// Every length of the plain radix-2 path and of the tiled path with both
// parities of log2 N, both directions, against the defining sum.
TEST(FftAccuracy, MatchesTheExtendedPrecisionDftAtShortLengths) {
    for (std::size_t n = 2; n <= 512; n *= 2) {
        const Signal x = RandomSignal(n, static_cast<unsigned>(n));
        for (FftDirection direction : {FftDirection::kForward, FftDirection::kInverse}) {
            const Signal reference = ReferenceDft(x, direction);
            for (FftInstructionSet set : AvailableSets()) {
                const double error =
                    RmsRelativeError(Transformed(Fft(n, set), direction, x), reference);
                EXPECT_LT(error, 1e-15)
                    << "N = " << n << " direction " << static_cast<int>(direction) << " set "
                    << static_cast<int>(set);
            }
        }
    }
}

// The long lengths exercise the depth-first stages and the two-level twiddles;
// the tolerance is the accuracy a correctly built table gives at every length.
TEST_P(FftTest, MatchesFftwToWithin1e14AtLongLengths) {
    for (std::size_t n :
         {std::size_t{512}, std::size_t{16384}, std::size_t{65536}, std::size_t{1} << 20}) {
        const Fft fft(n, GetParam());
        const Signal x = RandomSignal(n, 7);
        const Signal reference = FftwForward(x);
        EXPECT_LT(RmsRelativeError(Transformed(fft, FftDirection::kForward, x), reference), 1e-14)
            << "N = " << n;
        Signal inPlace = x;
        fft.ForwardInPlace(inPlace.re, inPlace.im);
        EXPECT_LT(RmsRelativeError(inPlace, reference), 1e-14) << "in place, N = " << n;
    }
}

// The inverse undoes the forward transform; in place and out of place do
// the same arithmetic, so they agree exactly (a tile written to the wrong
// place would not).
TEST_P(FftTest, InverseUndoesForwardAndInPlaceEqualsOutOfPlace) {
    for (std::size_t n : {std::size_t{2}, std::size_t{128}, std::size_t{256}, std::size_t{4096},
                          std::size_t{8192}, std::size_t{32768}}) {
        const Fft fft(n, GetParam());
        const Signal x = RandomSignal(n, 3);
        const Signal outOfPlace = Transformed(fft, FftDirection::kInverse, x);
        EXPECT_LT(RmsRelativeError(Transformed(fft, FftDirection::kForward, outOfPlace), x), 1e-15)
            << "N = " << n;
        Signal inPlace = x;
        fft.InverseInPlace(inPlace.re, inPlace.im);
        EXPECT_EQ(inPlace.re, outOfPlace.re) << "N = " << n;
        EXPECT_EQ(inPlace.im, outOfPlace.im) << "N = " << n;
        Signal sameArrays = x;
        fft.Inverse(sameArrays.re, sameArrays.im, sameArrays.re, sameArrays.im);
        EXPECT_EQ(sameArrays.re, outOfPlace.re) << "N = " << n;
    }
}

// The arrays a caller hands over need not be aligned to anything beyond a
// double: a transform of arrays one value off gives the same values.
TEST_P(FftTest, ArraysOffAnyAlignmentGiveTheSameValues) {
    for (std::size_t n : {std::size_t{256}, std::size_t{1} << 16}) {
        const Fft fft(n, GetParam());
        const Signal x = RandomSignal(n, 17);
        const Signal aligned = Transformed(fft, FftDirection::kForward, x);
        std::vector<double> inRe(n + 1), inIm(n + 1), outRe(n + 1), outIm(n + 1);
        std::copy(x.re.begin(), x.re.end(), inRe.begin() + 1);
        std::copy(x.im.begin(), x.im.end(), inIm.begin() + 1);
        fft.Forward(std::span(inRe).subspan(1), std::span(inIm).subspan(1),
                    std::span(outRe).subspan(1), std::span(outIm).subspan(1));
        EXPECT_TRUE(std::equal(aligned.re.begin(), aligned.re.end(), outRe.begin() + 1));
        EXPECT_TRUE(std::equal(aligned.im.begin(), aligned.im.end(), outIm.begin() + 1));
        fft.ForwardInPlace(std::span(inRe).subspan(1), std::span(inIm).subspan(1));
        EXPECT_TRUE(std::equal(aligned.re.begin(), aligned.re.end(), inRe.begin() + 1));
    }
}

INSTANTIATE_TEST_SUITE_P(EachInstructionSet, FftTest, ::testing::ValuesIn(AvailableSets()),
                         SetName);

TEST(FftPlan, RefusesLengthsThatAreNotPowersOfTwoInRange) {
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{1000},
                          std::size_t{1} << 25}) {
        EXPECT_THROW(Fft{n}, std::invalid_argument) << n;
    }
    EXPECT_EQ(Fft(Fft::kMaxSize).Size(), Fft::kMaxSize);
}

TEST(FftPlan, RefusesShortOrOverlappingArrays) {
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
