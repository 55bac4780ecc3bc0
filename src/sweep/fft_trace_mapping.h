#pragma once

#include <span>

#include "sweep/sweep_settings.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

// A power spectrum of N bins in FFT order (bin 0 at the centre frequency,
// negative frequencies from N/2 up) and how it lies across the 641 pixels.
struct FftSpectrum {
    std::span<const double> power;  // N bins, powers relative to full scale
    double binsPerPixel = 0.0;      // (N / 640) x D x span / sample rate
    bool reversed = false;          // pixel i reads offset 320 - i instead of i - 320
};

// FFT bins per pixel for a transform of fftSize points at decimation D.
double FftBinsPerPixel(int fftSize, int decimation, double spanHz, double sampleRateHz);

// Writes the spectrum into the trace: the row of each pixel from the bins at
// its frequency (the bins within the pixel, or the nearest bin, under
// settings.detector when a pixel covers half a bin or more, else
// interpolated between the two neighbours: in power for the RMS detector,
// in rows for the others), video-averaged over averageCount sweeps (the
// running mean of the first sweeps after a reset, an exponential average
// afterwards; a count below 1 acts as 1) and subject to max or min hold.
void MapSpectrumToTrace(const FftSpectrum& spectrum, double correctionDb, int averageCount,
                        const SweepSettings& settings, SweepTrace& trace);

}  // namespace tavlin
