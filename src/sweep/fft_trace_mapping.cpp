#include "sweep/fft_trace_mapping.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "dsp/pixel_detector.h"
#include "sweep/spectrum_rows.h"

namespace tavlin {

namespace {

constexpr int kCentrePixel = (kTracePoints - 1) / 2;
constexpr double kPixelsAcross = kTracePoints - 1;
// From half a bin per pixel on, a pixel shows a bin of its own rather than a
// value between two.
constexpr double kWidePixelBins = 0.5;

// Bin index for a signed offset, wrapped around the N bins.
std::size_t WrapBin(long long bin, std::size_t n) {
    const long long size = static_cast<long long>(n);
    long long wrapped = bin % size;
    if (wrapped < 0) {
        wrapped += size;
    }
    return static_cast<std::size_t>(wrapped);
}

// The bins whose centres lie within the pixel (r bins wide, centred on bin
// position x), or the bin nearest x when none does; at most all n of them.
struct BinRange {
    long long first = 0;
    long long last = 0;
};
BinRange BinsOfPixel(double x, double r, std::size_t n) {
    auto first = static_cast<long long>(std::ceil(x - r / 2.0));
    auto last = static_cast<long long>(std::floor(x + r / 2.0));
    if (first > last) {
        first = last = static_cast<long long>(std::floor(x + 0.5));
    }
    return {first, std::min(last, first + static_cast<long long>(n) - 1)};
}

// The pixel's power from the bins within it under the detector. The peak
// shows a tone at its level at the pixel nearest it: the flat-top window
// loses under 0.02 dB half a bin off, but 0.3 dB a whole bin off, which the
// weaker of a pixel's two neighbouring bins often is. The sample takes the
// bin nearest the pixel's frequency.
double DetectBins(std::span<const double> power, double x, double r, Detector detector) {
    BinRange bins = BinsOfPixel(x, r, power.size());
    if (detector == Detector::kSample) {
        bins.first = bins.last = static_cast<long long>(std::floor(x + 0.5));
    }
    PixelDetector pixel(detector);
    for (long long k = bins.first; k <= bins.last; ++k) {
        pixel.Add(power[WrapBin(k, power.size())]);
    }
    return pixel.Power();
}

// The pixel's power from its bins: a wide pixel takes them under the
// detector, a narrow one lies between two bins. Mean power interpolates in
// power, so that noise integrates right; a row between two bins' rows is
// what the other detectors draw (a tone's skirt runs straight in dB).
double PixelPower(const FftSpectrum& spectrum, double x, Detector detector) {
    const std::span<const double> power = spectrum.power;
    const double r = spectrum.binsPerPixel;
    if (r >= kWidePixelBins) {
        return DetectBins(power, x, r, detector);
    }
    const double below = std::floor(x);
    const auto j = static_cast<long long>(below);
    const double t = x - below;
    return (1.0 - t) * power[WrapBin(j, power.size())] + t * power[WrapBin(j + 1, power.size())];
}

}  // namespace

double FftBinsPerPixel(int fftSize, int decimation, double spanHz, double sampleRateHz) {
    return fftSize / kPixelsAcross * decimation * spanHz / sampleRateHz;
}

void MapSpectrumToTrace(const FftSpectrum& spectrum, double correctionDb, int averageCount,
                        const SweepSettings& settings, SweepTrace& trace) {
    const std::size_t n = spectrum.power.size();
    const double r = spectrum.binsPerPixel;
    if (n == 0 || !std::isfinite(r)) {
        return;
    }
    const double weight = 1.0 / std::max(1, averageCount);
    for (int i = 0; i < kTracePoints; ++i) {
        const int offset = spectrum.reversed ? kCentrePixel - i : i - kCentrePixel;
        const double x = offset * r;
        double y = 0.0;
        if (r >= kWidePixelBins || settings.detector == Detector::kRms) {
            y = ToScreenRow(PixelPower(spectrum, x, settings.detector), correctionDb, settings);
        } else {
            // Between the rows of two bins: a tone's skirt runs straight in dB.
            const double below = std::floor(x);
            const auto j = static_cast<long long>(below);
            const double y0 = ToScreenRow(spectrum.power[WrapBin(j, n)], correctionDb, settings);
            const double y1 =
                ToScreenRow(spectrum.power[WrapBin(j + 1, n)], correctionDb, settings);
            const double t = x - below;
            y = (1.0 - t) * y0 + t * y1;
        }
        const double old = trace.traceA[static_cast<std::size_t>(i)];
        const double averaged = y * weight + (old - old * weight);
        StoreRow(trace, i, ClampRow(averaged), settings);
    }
}

}  // namespace tavlin
