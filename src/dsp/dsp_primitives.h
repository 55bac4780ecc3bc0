#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "dsp/fft.h"
#include "dsp/window.h"

// The signal-processing primitives of the sweep engine, the measuring receiver
// and zero span. Each takes its arrays as spans, works on the first n values
// and returns; none keeps state, allocates on the heap or takes a lock. An
// array shorter than n, or an argument that names no filter at all, is a
// programmer error and throws std::invalid_argument.
namespace tavlin {

// mode 1: re[k]^2 + im[k]^2. mode 3: the sum over bins k - 1, k and k + 1,
// counted around the circle of the re.size() bins of a spectrum (bin -1 of
// bin 0 is the last bin).
double BinPower(std::size_t k, int mode, std::span<const double> re, std::span<const double> im);

// out = in * e^(-i phi), phi = increment * i for sample i: the spectrum moves
// down by increment / (2 pi) of the sample rate. The outputs may be the inputs.
// The phase of every block of samples is taken afresh from the exact angle, so
// it does not drift however long the series. A long series may be shifted
// piece by piece as it arrives: firstSample is the index of in[0] in it
// (a multiple of 1024 gives the very values of one call over the whole).
void FrequencyShift(std::size_t n, double increment, std::span<const double> inRe,
                    std::span<const double> inIm, std::span<double> outRe, std::span<double> outIm,
                    std::size_t firstSample = 0);

// Blackman-windowed sinc low-pass of taps taps, cutoff in cycles per sample,
// scaled to unit gain at DC, centred on tap (taps - 1) / 2 (integer division).
// A cutoff of 0.5 or more passes everything (a single unit tap at the centre);
// a cutoff of 0 is the limit of a narrowing pass band, the window itself.
void DesignLowPass(double cutoff, std::size_t taps, std::span<double> out);

// In place, from the last sample backwards: for i from n - 1 down to taps + 1,
// x[i] = sum over k < taps of x[i - taps + k] * h[k], the taps samples before i.
// Samples 0 to taps keep their values.
void FilterFir(std::size_t n, std::size_t taps, std::span<double> data, std::span<const double> h);

// In place from sample 2: y[i] = c0 x[i] + c1 x[i-1] + c2 x[i-2] + c3 y[i-1] +
// c4 y[i-2]; samples 0 and 1 keep their values.
void FilterBiquad(const std::array<double, 5>& c, std::size_t n, std::span<double> data);

// Two-pole resonator with unit gain at centre (cycles per sample), pole radius
// r, run through FilterBiquad. A centre whose cosine is 1 (0, 1, ...) leaves no
// band to pass and is refused.
void BandPass(double centre, double r, std::size_t n, std::span<double> data);

// The magnitude of BandPass's response at f (cycles per sample).
double BandPassGain(double centre, double r, double f);

// The magnitude of an FIR filter's response at f (cycles per sample).
double FirGain(std::span<const double> h, double f);

// Mean frequency of the first `length` samples from their phase steps, as an
// absolute frequency about centreHz: centreHz + offset, or centreHz - offset
// when the sampled spectrum is inverted. Fewer than two samples give centreHz.
double EstimateFrequency(std::span<const double> re, std::span<const double> im, std::size_t length,
                         bool inverted, double centreHz, double rateHz);

}  // namespace tavlin
