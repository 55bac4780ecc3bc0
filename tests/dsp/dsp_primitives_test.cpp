#include "dsp/dsp_primitives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <span>
#include <vector>

namespace tavlin {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Response of FIR taps at f cycles per sample, in dB.
double ResponseDb(const std::vector<double>& taps, double f) {
    std::complex<double> sum = 0.0;
    for (std::size_t i = 0; i < taps.size(); ++i) {
        sum += taps[i] * std::polar(1.0, -kTwoPi * f * static_cast<double>(i));
    }
    return 20.0 * std::log10(std::abs(sum));
}

// A constant shifted over the longest series becomes e^(-i n increment). The
// reference angle itself is only good to about 5e-13 rad at 2^24 samples; a
// rotation carried from sample to sample would be off by some 1e-9 there.
// 2^24 - 1 is 4095 x 4097: the strides end on the last sample.
// The narrow sweep shifts the series piece by piece as it streams in: the
// pieces, of 65536 samples, must join without a step in phase.
TEST(FrequencyShift, PhaseDoesNotDriftOver2To24SamplesShiftedPieceByPiece) {
    const std::size_t n = std::size_t{1} << 24;
    const std::size_t piece = 65536;
    const double increment = kTwoPi * 0.123456789;
    std::vector<double> re(n, 1.0), im(n, 0.0);
    for (std::size_t first = 0; first < n; first += piece) {
        const std::span<double> r = std::span<double>(re).subspan(first, piece);
        const std::span<double> i = std::span<double>(im).subspan(first, piece);
        FrequencyShift(piece, increment, r, i, r, i, first);
    }
    for (std::size_t i = 0; i < n; i += (i < 4095 ? 1 : 4095)) {
        const long double angle = static_cast<long double>(increment) * i;
        ASSERT_NEAR(re[i], static_cast<double>(std::cos(angle)), 1e-11) << i;
        ASSERT_NEAR(im[i], static_cast<double>(-std::sin(angle)), 1e-11) << i;
    }
}

// The FM smoothing filter (255 taps, cutoffs from 0.03 up to where smoothing
// stops at 0.25 cycles a sample): unit gain at DC, half amplitude at the
// cutoff and a stop band at least 70 dB down one transition width (5.5 /
// taps) past it.
TEST(DesignLowPass, MeetsItsMaskWithUnitDcGain) {
    std::vector<double> h(255);
    for (const double cutoff : {0.03, 0.132, 0.24}) {
        DesignLowPass(cutoff, h.size(), h);
        EXPECT_NEAR(ResponseDb(h, 0.0), 0.0, 1e-12) << cutoff;
        EXPECT_NEAR(ResponseDb(h, cutoff), -6.02, 0.1) << cutoff;
        for (double f = cutoff + 5.5 / 255.0; f <= 0.5; f += 0.0005) {
            EXPECT_LT(ResponseDb(h, f), -70.0) << "fc " << cutoff << " f " << f;
        }
    }
}

}  // namespace
}  // namespace tavlin
