#include "dsp/dsp_primitives.h"

#include <gtest/gtest.h>

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
TEST(DesignLowPass, MeetsItsMaskWithUnitDcGain) {
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
    std::vector<double> taps(9);
    EXPECT_THROW(DesignLowPass(std::nan(""), 9, taps), std::invalid_argument);
    EXPECT_THROW(DesignLowPass(0.1, 10, taps), std::invalid_argument);
}

}  // namespace
}  // namespace tavlin
