// The transform against FFTW, and the windows' spectra through it.
#include "dsp/fft.h"
#include "dsp/split_complex_buffer.h"
#include "dsp/window.h"

#include <fftw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <vector>

namespace tavlin {
namespace {

struct Signal {
    std::vector<double> re, im;
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

// FFTW with our scaling: the forward transform divided by N (exactly, on the
// input: N is a power of two).
std::vector<std::complex<double>> Fftw(FftDirection direction, const Signal& x) {
    const std::size_t n = x.re.size();
    const bool forward = direction == FftDirection::kForward;
    const double scale = forward ? 1.0 / static_cast<double>(n) : 1.0;
    std::vector<std::complex<double>> data(n);
    for (std::size_t i = 0; i < n; ++i) {
        data[i] = {x.re[i] * scale, x.im[i] * scale};
    }
    auto* p = reinterpret_cast<fftw_complex*>(data.data());
    fftw_plan plan = fftw_plan_dft_1d(static_cast<int>(n), p, p,
                                      forward ? FFTW_FORWARD : FFTW_BACKWARD, FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
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

// Every length of the straight-line routines (2 to 512) and of the tiled path
// with both parities of log2 N (radix-16 stages alone, after a radix-4 stage,
// and under longer radix-4 stages), and the long lengths of the depth-first
// stages and two-level twiddles, in every instruction set and both directions. In place,
// out of place, on the same arrays and on arrays one and three values off any
// alignment (which the long in-place transforms turn, each array by its own
// amount) the transform does the same arithmetic, so those agree exactly (a
// tile or a butterfly written to the wrong place would not).
TEST(Fft, MatchesFftwAtEveryLengthInEveryWayOfCalling) {
    // The last is the narrow sweep's longest transform.
    std::vector<std::size_t> lengths{
        1024, 2048, 4096, 8192, 16384, 32768, 65536, std::size_t{1} << 20, std::size_t{1} << 23};
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
                std::vector<double> re(n + 1), im(n + 3), offRe(n + 1), offIm(n + 1);
                std::copy(x.re.begin(), x.re.end(), re.begin() + 1);
                std::copy(x.im.begin(), x.im.end(), im.begin() + 3);
                fft.Transform(direction, std::span(re).subspan(1), std::span(im).subspan(3),
                              std::span(offRe).subspan(1), std::span(offIm).subspan(1));
                EXPECT_TRUE(std::equal(out.re.begin(), out.re.end(), offRe.begin() + 1));
                EXPECT_TRUE(std::equal(out.im.begin(), out.im.end(), offIm.begin() + 1));
                fft.TransformInPlace(direction, std::span(re).subspan(1), std::span(im).subspan(3));
                EXPECT_TRUE(std::equal(out.re.begin(), out.re.end(), re.begin() + 1));
                EXPECT_TRUE(std::equal(out.im.begin(), out.im.end(), im.begin() + 3));
            }
        }
    }
}

// The transform's arrays: both parts on cache-line boundaries and apart,
// whatever the length, so that writing one part never touches the other.
TEST(SplitComplexBuffer, PartsAreAlignedAndDisjointAtEveryLength) {
    for (const std::size_t n :
         {std::size_t{1}, std::size_t{7}, std::size_t{4097}, std::size_t{16384}}) {
        SplitComplexBuffer buffer(n);
        const auto re = reinterpret_cast<std::uintptr_t>(buffer.Re().data());
        const auto im = reinterpret_cast<std::uintptr_t>(buffer.Im().data());
        EXPECT_EQ(re % 64, 0u) << n;
        EXPECT_EQ(im % 64, 0u) << n;
        EXPECT_GE(im, re + n * sizeof(double)) << n;
        std::fill(buffer.Im().begin(), buffer.Im().end(), 2.0);
        std::fill(buffer.Re().begin(), buffer.Re().end(), 1.0);
        EXPECT_EQ(buffer.Im().back(), 2.0) << n;
    }
}

// The flat top reads a tone's level to within 0.02 dB wherever it falls
// between two bins and keeps its side lobes 68 dB down (80 dB from 16 bins
// on); the Nuttall window trades flatness for a main lobe of 4 bins and side
// lobes 93 dB down. Each region is bins from the centre and the levels (dB
// relative to the centre) the spectrum, zero padded to 16 points a bin, must
// lie between there.
TEST(MakeWindow, SpectraStayWithinTheirMasks) {
    struct Region {
        int type;
        double fromBins, toBins, minDb, maxDb;
    };
    const Region mask[] = {
        {kFlatTopWindow, 0.0, 0.5, -0.02, 0.01},      {kFlatTopWindow, 5.0, 128.0, -400.0, -68.0},
        {kFlatTopWindow, 16.0, 128.0, -400.0, -80.0}, {kNuttallWindow, 0.0, 0.5, -0.85, 0.0},
        {kNuttallWindow, 4.0, 128.0, -400.0, -93.0},
    };
    for (const Region& region : mask) {
        const std::size_t padded = 256 * 16;
        std::vector<double> re(padded, 0.0), im(padded, 0.0), outRe(padded), outIm(padded);
        MakeWindow(region.type, 256, re);
        Fft(padded).Forward(re, im, outRe, outIm);
        const double peak = outRe[0] * outRe[0] + outIm[0] * outIm[0];
        for (std::size_t k = 0; k < padded / 2; ++k) {
            const double bins = static_cast<double>(k) / 16.0;
            const double power = outRe[k] * outRe[k] + outIm[k] * outIm[k];
            const double db = 10.0 * std::log10(std::max(power / peak, 1e-30));
            if (bins >= region.fromBins && bins <= region.toBins) {
                ASSERT_GE(db, region.minDb) << "type " << region.type << " at " << bins;
                ASSERT_LE(db, region.maxDb) << "type " << region.type << " at " << bins;
            }
        }
    }
}

// The tabulated noise bandwidths of the two windows (3.77 and 2.02 bins for
// long windows); a short window, whose period is n - 1 points, is wider, and
// below ten points the higher cosine terms fold onto the lower ones.
TEST(NoiseBandwidthBins, MatchesTheWindowDrawnPointByPoint) {
    EXPECT_NEAR(NoiseBandwidthBins(kFlatTopWindow, 65536), 3.770, 0.001);
    EXPECT_NEAR(NoiseBandwidthBins(kNuttallWindow, 65536), 2.021, 0.001);
    EXPECT_NEAR(NoiseBandwidthBins(kFlatTopWindow, 32), 3.891, 0.001);
    EXPECT_NEAR(NoiseBandwidthBins(kFlatTopWindow, 5), 6.344, 0.001);
    EXPECT_NEAR(NoiseBandwidthBins(kNuttallWindow, 9), 2.274, 0.001);
    EXPECT_NEAR(NoiseBandwidthBins(kFlatTopWindow, 2), 1.0, 0.001);
    EXPECT_DOUBLE_EQ(NoiseBandwidthBins(kNuttallWindow, 1), 1.0);
    EXPECT_THROW(NoiseBandwidthBins(kNuttallWindow, 0), std::invalid_argument);
    EXPECT_THROW(NoiseBandwidthBins(7, 16), std::invalid_argument);
}

}  // namespace
}  // namespace tavlin
