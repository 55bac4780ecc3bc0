#pragma once

#include <span>

#include "base/reading_flag.h"

namespace tavlin {

// The counter averages the phase steps of every sample of the capture, so it
// counts whatever holds the sampled band: a carrier far enough above the rest
// of the band, or the noise. From the band's power spectrum (the bins of the
// capture, any scale) it judges whether the strongest carrier rules it well
// enough for the reading shown to its last digit, 0.1 Hz:
// - the noise must not turn the phase through a whole cycle (a click) during
//   the capture: each click moves the count by rate / samples;
// - the phase scatter at the two ends of the capture, 1 / sqrt(2 x SNR)
//   radians each, must move the count by less than that digit.
// kBelowNoise when either fails, else kNone.
ReadingFlag CounterReadingFlag(std::span<const double> binPower, int samples, double rateHz);

// The strongest carrier's share of the band against the rest, as a power
// ratio: its bins are those within the window's main lobe of the strongest.
double CarrierToNoiseRatio(std::span<const double> binPower);

}  // namespace tavlin
