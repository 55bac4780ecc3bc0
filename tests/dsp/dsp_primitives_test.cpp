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

std::vector<double> Tone(std::size_t n, double cyclesPerSample, double phase = 0.0) {
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = std::sin(kTwoPi * cyclesPerSample * static_cast<double>(i) + phase);
    }
    return x;
}

// Amplitude of a sine from its mean square over samples from..end.
double Amplitude(const std::vector<double>& x, std::size_t from) {
    double sum = 0.0;
    for (std::size_t i = from; i < x.size(); ++i) {
        sum += x[i] * x[i];
    }
    return std::sqrt(2.0 * sum / static_cast<double>(x.size() - from));
}

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

TEST(FrequencyShift, MovesAToneDownByTheIncrement) {
    const std::size_t n = 4096;
    std::vector<double> re(n), im(n);
    for (std::size_t i = 0; i < n; ++i) {
        re[i] = std::cos(kTwoPi * 300.0 * i / n);
        im[i] = std::sin(kTwoPi * 300.0 * i / n);
    }
    FrequencyShift(n, kTwoPi * 100.0 / n, re, im, re, im);
    std::vector<double> outRe(n), outIm(n);
    Fft(n).Forward(re, im, outRe, outIm);
    EXPECT_NEAR(BinPower(200, 1, outRe, outIm), 1.0, 1e-12);
    EXPECT_LT(BinPower(300, 1, outRe, outIm), 1e-24);

    // The shift by the tone's own frequency leaves a constant.
    for (std::size_t i = 0; i < n; ++i) {
        re[i] = std::cos(0.1 * static_cast<double>(i));
        im[i] = std::sin(0.1 * static_cast<double>(i));
    }
    std::vector<double> dcRe(n), dcIm(n);
    FrequencyShift(n, 0.1, re, im, dcRe, dcIm);
    for (std::size_t i = 0; i < n; ++i) {
        ASSERT_NEAR(dcRe[i], 1.0, 1e-12) << i;
        ASSERT_NEAR(dcIm[i], 0.0, 1e-12) << i;
    }
    std::vector<double> shortArray(n - 1);
    EXPECT_THROW(FrequencyShift(n, 0.1, re, im, shortArray, dcIm), std::invalid_argument);
    EXPECT_NO_THROW(FrequencyShift(n - 1, 0.1, re, im, shortArray, dcIm));
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
}

struct LowPassCase {
    double cutoff;
    std::size_t taps;
};

// Unit gain at DC, a flat pass band, half amplitude at the cutoff and a stop
// band at least 70 dB down one transition width (5.5 / taps) past it.
TEST(DesignLowPass, MeetsItsMaskWithUnitDcGain) {
    for (const LowPassCase& c : {LowPassCase{0.03, 255}, LowPassCase{0.0165 * 8, 255},
                                 LowPassCase{0.2, 63}, LowPassCase{0.05, 101}}) {
        std::vector<double> taps(c.taps);
        DesignLowPass(c.cutoff, c.taps, taps);
        EXPECT_NEAR(std::accumulate(taps.begin(), taps.end(), 0.0), 1.0, 1e-14);
        const double transition = 5.5 / static_cast<double>(c.taps);
        for (double f = 0.0; f <= 0.5; f += 0.0005) {
            const double db = ResponseDb(taps, f);
            if (f <= c.cutoff - transition) {
                EXPECT_NEAR(db, 0.0, 0.01) << "pass band, fc " << c.cutoff << " f " << f;
            } else if (f >= c.cutoff + transition) {
                EXPECT_LT(db, -70.0) << "stop band, fc " << c.cutoff << " f " << f;
            }
        }
        EXPECT_NEAR(ResponseDb(taps, c.cutoff), -6.02, 0.1) << c.cutoff;
        for (std::size_t i = 0; i < c.taps; ++i) {
            ASSERT_NEAR(taps[i], taps[c.taps - 1 - i], 1e-15);  // linear phase
        }
    }
}

TEST(DesignLowPass, EdgesOfTheCutoffAndTheLength) {
    std::vector<double> taps(9);
    // A cutoff at or past half the sample rate passes everything.
    DesignLowPass(0.7, 9, taps);
    for (std::size_t i = 0; i < taps.size(); ++i) {
        EXPECT_NEAR(taps[i], i == 4 ? 1.0 : 0.0, 1e-15) << i;
    }
    // A vanishing cutoff leaves the window itself: all taps of one sign.
    DesignLowPass(0.0, 9, taps);
    EXPECT_NEAR(std::accumulate(taps.begin(), taps.end(), 0.0), 1.0, 1e-15);
    EXPECT_TRUE(std::all_of(taps.begin(), taps.end(), [](double t) { return t > -1e-16; }));
    // One or two taps: the window has no inside, the centre tap carries the gain.
    DesignLowPass(0.1, 1, taps);
    EXPECT_EQ(taps[0], 1.0);
    DesignLowPass(0.1, 2, taps);
    EXPECT_EQ(taps[0], 1.0);
    EXPECT_EQ(taps[1], 0.0);
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
    // The first tap takes the sample m before.
    x = original;
    FilterFir(x.size(), m, x, std::vector<double>{1, 0, 0, 0});
    for (std::size_t i = m + 1; i < x.size(); ++i) {
        EXPECT_EQ(x[i], original[i - m]) << i;
    }
    // Too few samples to reach past sample m: nothing changes.
    x = original;
    FilterFir(m + 1, m, x, std::vector<double>{0.25, 0.25, 0.25, 0.25});
    EXPECT_EQ(x, original);
    EXPECT_THROW(FilterFir(13, m, x, std::vector<double>(4)), std::invalid_argument);
    EXPECT_THROW(FilterFir(12, m, x, std::vector<double>(3)), std::invalid_argument);
}

TEST(FilterBiquad, RecursionUsesInputsAndOutputsBeforeTheyAreOverwritten) {
    // y[i] = x[i - 1]: a filter that read its own outputs would smear the impulse.
    std::vector<double> x{1, 2, 3, 0, 0, 7};
    FilterBiquad({0, 1, 0, 0, 0}, x.size(), x);
    EXPECT_EQ(x, (std::vector<double>{1, 2, 2, 3, 0, 0}));
    // One pole at 0.5 fed by an impulse at sample 2; y[1] = x[1] = 0.
    std::vector<double> impulse{0, 0, 1, 0, 0, 0};
    FilterBiquad({1, 0, 0, 0.5, 0}, impulse.size(), impulse);
    EXPECT_EQ(impulse, (std::vector<double>{0, 0, 1, 0.5, 0.25, 0.125}));
    // The second output term: y[i] = x[i] - y[i - 2].
    std::vector<double> alternating{1, 1, 0, 0, 0, 0};
    FilterBiquad({1, 0, 0, 0, -1}, alternating.size(), alternating);
    EXPECT_EQ(alternating, (std::vector<double>{1, 1, -1, -1, 1, 1}));
    EXPECT_THROW(FilterBiquad({1, 0, 0, 0, 0}, 7, x), std::invalid_argument);
}

TEST(BandPass, UnitGainAtTheCentreAndLittleAwayFromIt) {
    const double r = 1.0 - 4 * 0.001;  // D = 4
    const double halfBandwidth = (1.0 - r) / kTwoPi;
    for (double centre : {0.002, 0.05, 0.3}) {
        std::vector<double> x = Tone(20000, centre);
        BandPass(centre, r, x.size(), x);
        EXPECT_NEAR(Amplitude(x, 10000), 1.0, 0.005) << centre;
    }
    // Away from DC the skirts are those of a single resonance: down to a tenth
    // ten half-bandwidths from the centre, on either side.
    for (double centre : {0.05, 0.3}) {
        for (double side : {-10.0, 10.0}) {
            std::vector<double> away = Tone(20000, centre + side * halfBandwidth);
            BandPass(centre, r, away.size(), away);
            EXPECT_LT(Amplitude(away, 10000), 0.11) << centre << " " << side;
        }
    }
    std::vector<double> x{0.5, -0.5, 1, 1};
    BandPass(0.1, 0.99, x.size(), x);
    EXPECT_EQ(x[0], 0.5);
    EXPECT_EQ(x[1], -0.5);
    EXPECT_THROW(BandPass(0.0, 0.99, x.size(), x), std::invalid_argument);
    EXPECT_THROW(BandPass(1.0, 0.99, x.size(), x), std::invalid_argument);
}

TEST(EstimateFrequency, ReadsAToneAboutTheCentreInvertedOrNotAndTheCentreFromOneSample) {
    const double rate = 486111.111;
    const double centre = 915e6;
    for (double offset : {1234.5, -20000.0, 0.45 * rate}) {
        std::vector<double> re(4096), im(4096);
        for (std::size_t i = 0; i < re.size(); ++i) {
            re[i] = 3.0 * std::cos(kTwoPi * offset / rate * i + 0.7);
            im[i] = 3.0 * std::sin(kTwoPi * offset / rate * i + 0.7);
        }
        EXPECT_NEAR(EstimateFrequency(re, im, re.size(), false, centre, rate), centre + offset,
                    1e-6)
            << offset;
        // Inverted: the sampled spectrum is mirrored, so the tone lies below.
        EXPECT_NEAR(EstimateFrequency(re, im, re.size(), true, centre, rate), centre - offset, 1e-6)
            << offset;
    }
    // Fewer than two samples give the centre.
    const std::vector<double> one{1.0};
    EXPECT_EQ(EstimateFrequency(one, one, 1, false, 10.7e6, 486111.0), 10.7e6);
    EXPECT_EQ(EstimateFrequency(one, one, 0, true, 10.7e6, 486111.0), 10.7e6);
    EXPECT_THROW(EstimateFrequency(one, one, 2, false, 0.0, 1.0), std::invalid_argument);
}

}  // namespace
}  // namespace tavlin
