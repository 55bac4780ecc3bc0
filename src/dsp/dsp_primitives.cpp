#include "dsp/dsp_primitives.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <stdexcept>

namespace tavlin {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// FrequencyShift takes the phase afresh from the exact angle at the start of
// every block of this many samples; within a block each sample's rotation is
// the block's anchor times an exact step from a table, so no error builds up.
constexpr std::size_t kShiftBlock = 1024;

void RequireLength(std::size_t size, std::size_t n, const char* what) {
    if (size < n) {
        throw std::invalid_argument(what);
    }
}

struct Rotation {
    double re;
    double im;
};

// e^(-i increment * count), from the angle in extended precision.
Rotation RotationAt(double increment, std::size_t count) {
    const long double angle = static_cast<long double>(increment) * static_cast<long double>(count);
    return {static_cast<double>(std::cos(angle)), static_cast<double>(-std::sin(angle))};
}

double Sinc(double x) {
    return x == 0.0 ? 1.0 : std::sin(x) / x;
}

double Blackman(std::size_t i, std::size_t taps) {
    const double x = kTwoPi * static_cast<double>(i) / static_cast<double>(taps - 1);
    return 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x);
}

}  // namespace

double BinPower(std::size_t k, int mode, std::span<const double> re, std::span<const double> im) {
    const std::size_t bins = re.size();
    if (im.size() != bins || k >= bins) {
        throw std::invalid_argument("BinPower: bin outside the spectrum");
    }
    const auto power = [&](std::size_t bin) { return re[bin] * re[bin] + im[bin] * im[bin]; };
    switch (mode) {
        case 1:
            return power(k);
        case 3:
            return power((k + bins - 1) % bins) + power(k) + power((k + 1) % bins);
        default:
            throw std::invalid_argument("BinPower: mode must be 1 or 3");
    }
}

void FrequencyShift(std::size_t n, double increment, std::span<const double> inRe,
                    std::span<const double> inIm, std::span<double> outRe, std::span<double> outIm,
                    std::size_t firstSample) {
    RequireLength(std::min({inRe.size(), inIm.size(), outRe.size(), outIm.size()}), n,
                  "FrequencyShift: array shorter than n");
    const std::size_t block = std::min(n, kShiftBlock);
    double stepRe[kShiftBlock];
    double stepIm[kShiftBlock];
    for (std::size_t j = 0; j < block; ++j) {
        const Rotation step = RotationAt(increment, j);
        stepRe[j] = step.re;
        stepIm[j] = step.im;
    }
    const double* xr = inRe.data();
    const double* xi = inIm.data();
    double* yr = outRe.data();
    double* yi = outIm.data();
    for (std::size_t start = 0; start < n; start += block) {
        const Rotation anchor = RotationAt(increment, firstSample + start);
        const std::size_t count = std::min(block, n - start);
        for (std::size_t j = 0; j < count; ++j) {
            const double rotRe = anchor.re * stepRe[j] - anchor.im * stepIm[j];
            const double rotIm = anchor.re * stepIm[j] + anchor.im * stepRe[j];
            const double re = xr[start + j];
            const double im = xi[start + j];
            yr[start + j] = re * rotRe - im * rotIm;
            yi[start + j] = re * rotIm + im * rotRe;
        }
    }
}

void DesignLowPass(double cutoff, std::size_t taps, std::span<double> out) {
    if (!std::isfinite(cutoff)) {
        throw std::invalid_argument("DesignLowPass: cutoff not finite");
    }
    RequireLength(out.size(), taps, "DesignLowPass: output shorter than the taps");
    if (taps == 0) {
        return;
    }
    const std::size_t centre = (taps - 1) / 2;
    if (taps <= 2) {
        // The Blackman window is zero at both ends: nothing but the centre tap
        // can carry the unit gain.
        std::fill_n(out.begin(), taps, 0.0);
        out[centre] = 1.0;
        return;
    }
    // sin(2 pi fc m) / m = 2 pi fc * sinc(2 pi fc m): the common factor 2 pi fc
    // cancels in the scaling to unit sum and is left out, which also gives the
    // limit of a vanishing cutoff.
    const double fc = std::min(std::abs(cutoff), 0.5);
    double sum = 0.0;
    for (std::size_t i = 0; i < taps; ++i) {
        const double m = static_cast<double>(i) - static_cast<double>(centre);
        out[i] = Sinc(kTwoPi * fc * m) * Blackman(i, taps);
        sum += out[i];
    }
    for (std::size_t i = 0; i < taps; ++i) {
        out[i] /= sum;
    }
}

void FilterFir(std::size_t n, std::size_t taps, std::span<double> data, std::span<const double> h) {
    RequireLength(data.size(), n, "FilterFir: data shorter than n");
    RequireLength(h.size(), taps, "FilterFir: fewer taps than asked for");
    double* x = data.data();
    // Outputs end - 4 .. end - 1 are summed together from values none of them
    // has overwritten yet; each sum runs over k in the same order as alone.
    std::size_t end = n;
    for (; end >= taps + 5; end -= 4) {
        const double* in = x + (end - 4 - taps);
        double a0 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0;
        for (std::size_t k = 0; k < taps; ++k) {
            const double c = h[k];
            a0 += in[k] * c;
            a1 += in[k + 1] * c;
            a2 += in[k + 2] * c;
            a3 += in[k + 3] * c;
        }
        x[end - 4] = a0;
        x[end - 3] = a1;
        x[end - 2] = a2;
        x[end - 1] = a3;
    }
    for (; end >= taps + 2; --end) {
        const std::size_t i = end - 1;
        double sum = 0.0;
        for (std::size_t k = 0; k < taps; ++k) {
            sum += x[i - taps + k] * h[k];
        }
        x[i] = sum;
    }
}

void FilterBiquad(const std::array<double, 5>& c, std::size_t n, std::span<double> data) {
    RequireLength(data.size(), n, "FilterBiquad: data shorter than n");
    if (n < 3) {
        return;
    }
    double x1 = data[1];
    double x2 = data[0];
    double y1 = data[1];
    double y2 = data[0];
    for (std::size_t i = 2; i < n; ++i) {
        const double x0 = data[i];
        const double y0 = c[0] * x0 + c[1] * x1 + c[2] * x2 + c[3] * y1 + c[4] * y2;
        data[i] = y0;
        x2 = x1;
        x1 = x0;
        y2 = y1;
        y1 = y0;
    }
}

namespace {

std::array<double, 5> BandPassCoefficients(double centre, double r) {
    const double cs = std::cos(kTwoPi * centre);
    if (!std::isfinite(cs) || !std::isfinite(r) || cs >= 1.0) {
        throw std::invalid_argument("BandPass: no band at this centre");
    }
    const double k = (1.0 - 2.0 * r * cs + r * r) / (2.0 - 2.0 * cs);
    return {1.0 - k, 2.0 * (k - r) * cs, r * r - k, 2.0 * r * cs, -r * r};
}

}  // namespace

void BandPass(double centre, double r, std::size_t n, std::span<double> data) {
    FilterBiquad(BandPassCoefficients(centre, r), n, data);
}

double BandPassGain(double centre, double r, double f) {
    const std::array<double, 5> c = BandPassCoefficients(centre, r);
    const std::complex<double> z1 = std::polar(1.0, -kTwoPi * f);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((c[0] + c[1] * z1 + c[2] * z2) / (1.0 - c[3] * z1 - c[4] * z2));
}

double FirGain(std::span<const double> h, double f) {
    std::complex<double> sum = 0.0;
    for (std::size_t k = 0; k < h.size(); ++k) {
        sum += h[k] * std::polar(1.0, -kTwoPi * f * static_cast<double>(k));
    }
    return std::abs(sum);
}

double EstimateFrequency(std::span<const double> re, std::span<const double> im, std::size_t length,
                         bool inverted, double centreHz, double rateHz) {
    RequireLength(std::min(re.size(), im.size()), length,
                  "EstimateFrequency: arrays shorter than the length");
    if (length < 2) {
        return centreHz;
    }
    double sum = 0.0;
    double previous = std::atan2(im[0], re[0]);
    for (std::size_t i = 1; i < length; ++i) {
        const double phase = std::atan2(im[i], re[i]);
        double step = previous - phase;
        if (step > std::numbers::pi) {
            step -= kTwoPi;
        } else if (step < -std::numbers::pi) {
            step += kTwoPi;
        }
        sum += step * rateHz / kTwoPi;
        previous = phase;
    }
    const double mean = sum / static_cast<double>(length - 1);
    return inverted ? centreHz + mean : centreHz - mean;
}

}  // namespace tavlin
