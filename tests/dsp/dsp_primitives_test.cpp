#include "dsp/dsp_primitives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <numeric>
#include <stdexcept>
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

TEST(BinPower, SingleBinAndThreeBinsAroundTheCircle) {
    const std::vector<double> re{1.0, 2.0, 0.0, 3.0};
    const std::vector<double> im{0.0, 1.0, 2.0, 0.0};
    EXPECT_EQ(BinPower(1, 1, re, im), 5.0);
    EXPECT_EQ(BinPower(1, 3, re, im), 1.0 + 5.0 + 4.0);
    // Bin 0's lower neighbour is the last bin, and the last bin's upper one is 0.
    EXPECT_EQ(BinPower(0, 3, re, im), 9.0 + 1.0 + 5.0);
    EXPECT_EQ(BinPower(3, 3, re, im), 4.0 + 9.0 + 1.0);
    EXPECT_THROW(BinPower(4, 1, re, im), std::invalid_argument);
    EXPECT_THROW(BinPower(0, 2, re, im), std::invalid_argument);
    EXPECT_THROW(BinPower(0, 1, re, std::span(im).first(3)), std::invalid_argument);
}

// A constant shifted over the longest series becomes e^(-i n increment). The
// reference angle itself is only good to about 5e-13 rad at 2^24 samples; a
// rotation carried from sample to sample would be off by some 1e-9 there.
TEST(FrequencyShift, PhaseDoesNotDriftOver2To24Samples) {
    const std::size_t n = std::size_t{1} << 24;
    const double increment = kTwoPi * 0.123456789;
    std::vector<double> re(n, 1.0), im(n, 0.0);
    FrequencyShift(n, increment, re, im, re, im);
    for (std::size_t i = 0; i < n; i += (i < 5000 ? 1 : 4093)) {
        const long double angle = static_cast<long double>(increment) * i;
        ASSERT_NEAR(re[i], static_cast<double>(std::cos(angle)), 1e-11) << i;
        ASSERT_NEAR(im[i], static_cast<double>(-std::sin(angle)), 1e-11) << i;
    }
    const long double last = static_cast<long double>(increment) * (n - 1);
    EXPECT_NEAR(re[n - 1], static_cast<double>(std::cos(last)), 1e-11);
    EXPECT_NEAR(im[n - 1], static_cast<double>(-std::sin(last)), 1e-11);
    std::vector<double> shortArray(n - 1);
    EXPECT_THROW(FrequencyShift(n, 0.1, re, im, shortArray, im), std::invalid_argument);
}

// Unit gain at DC, a flat pass band, half amplitude at the cutoff and a stop
// band at least 70 dB down one transition width (5.5 / taps) past it.
TEST(DesignLowPass, MeetsItsMaskWithUnitDcGainAndPassesAllAtHalfTheRate) {
    struct Case {
        double cutoff;
        std::size_t taps;
    };
    for (const Case& c : {Case{0.03, 255}, Case{0.0165 * 8, 255}, Case{0.2, 63}, Case{0.05, 101}}) {
        std::vector<double> h(c.taps);
        DesignLowPass(c.cutoff, c.taps, h);
        EXPECT_NEAR(std::accumulate(h.begin(), h.end(), 0.0), 1.0, 1e-14);
        const double transition = 5.5 / static_cast<double>(c.taps);
        for (double f = 0.0; f <= 0.5; f += 0.0005) {
            const double db = ResponseDb(h, f);
            if (f <= c.cutoff - transition) {
                EXPECT_NEAR(db, 0.0, 0.01) << "pass band, fc " << c.cutoff << " f " << f;
            } else if (f >= c.cutoff + transition) {
                EXPECT_LT(db, -70.0) << "stop band, fc " << c.cutoff << " f " << f;
            }
        }
        EXPECT_NEAR(ResponseDb(h, c.cutoff), -6.02, 0.1) << c.cutoff;
        for (std::size_t i = 0; i < c.taps; ++i) {
            ASSERT_NEAR(h[i], h[c.taps - 1 - i], 1e-15);  // linear phase
        }
    }
    // A cutoff at or past half the sample rate passes everything.
    std::vector<double> taps(9);
    DesignLowPass(0.7, 9, taps);
    for (std::size_t i = 0; i < taps.size(); ++i) {
        EXPECT_NEAR(taps[i], i == 4 ? 1.0 : 0.0, 1e-15) << i;
    }
    EXPECT_THROW(DesignLowPass(std::nan(""), 9, taps), std::invalid_argument);
    EXPECT_THROW(DesignLowPass(0.1, 10, taps), std::invalid_argument);
}

TEST(FilterFir, OutputUsesTheTapsSamplesBeforeItAndKeepsTheFirstOnes) {
    const std::size_t m = 4;
    std::vector<double> x(12);
    std::iota(x.begin(), x.end(), 100.0);
    const std::vector<double> original = x;
    // The last tap takes the sample just before: a delay of one.
    FilterFir(x.size(), m, x, std::vector<double>{0, 0, 0, 1});
    for (std::size_t i = 0; i <= m; ++i) {
        EXPECT_EQ(x[i], original[i]) << i;
    }
    for (std::size_t i = m + 1; i < x.size(); ++i) {
        EXPECT_EQ(x[i], original[i - 1]) << i;
    }
    // Too few samples to reach past sample m: nothing changes.
    x = original;
    FilterFir(m + 1, m, x, std::vector<double>{0.25, 0.25, 0.25, 0.25});
    EXPECT_EQ(x, original);
    EXPECT_THROW(FilterFir(13, m, x, std::vector<double>(4)), std::invalid_argument);
    EXPECT_THROW(FilterFir(12, m, x, std::vector<double>(3)), std::invalid_argument);
}

}  // namespace
}  // namespace tavlin
