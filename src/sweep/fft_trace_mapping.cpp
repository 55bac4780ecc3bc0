#include "sweep/fft_trace_mapping.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "sweep/spectrum_rows.h"

namespace tavlin {

namespace {

constexpr int kCentrePixel = (kTracePoints - 1) / 2;
constexpr double kPixelsAcross = kTracePoints - 1;
// From half a bin per pixel on, a pixel shows the lower of its two bins
// rather than a value between them.
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
        const double below = std::floor(x);
        const auto j = static_cast<long long>(below);
        const double y0 = ToScreenRow(spectrum.power[WrapBin(j, n)], correctionDb, settings);
        const double y1 = ToScreenRow(spectrum.power[WrapBin(j + 1, n)], correctionDb, settings);
        double y = 0.0;
        if (r >= kWidePixelBins) {
            y = std::max(y0, y1);
        } else {
            const double t = x - below;
            y = (1.0 - t) * y0 + t * y1;
        }
        const double old = trace.traceA[static_cast<std::size_t>(i)];
        const double averaged = y * weight + (old - old * weight);
        StoreRow(trace, i, ClampRow(averaged), settings.maxHold);
    }
}

}  // namespace tavlin
