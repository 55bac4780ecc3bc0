#pragma once

#include <cstdint>

namespace tavlin {

// How the many readings that fall in one pixel (FFT bins, sub-points of a
// step) become the pixel's one power.
//   kPeak    the highest power: a tone reads its level wherever it lies in the
//            pixel; noise reads above its mean power, the more bins the higher.
//   kSample  one reading, the one nearest the pixel's frequency: noise reads at
//            its mean power on average, with the full scatter of one reading.
//   kAverage the mean of the voltages (envelopes), squared: noise reads 1.05 dB
//            under its mean power (Rayleigh envelope), a tone alone in a pixel
//            of n readings 20 log n under its level.
//   kRms     the mean power: noise reads its mean power, and the rows add up
//            to the power in a band; a tone alone reads 10 log n under.
enum class Detector : std::int32_t { kPeak = 0, kSample = 1, kAverage = 2, kRms = 3 };

// The short name shown on screen: "PK", "SMP", "AVG", "RMS".
const char* DetectorLabel(Detector detector);

// Accumulates the readings of one pixel under a detector. kSample keeps the
// reading it is given last: the caller gives it the nearest one only.
class PixelDetector {
  public:
    explicit PixelDetector(Detector detector) : detector_(detector) {}

    void Add(double power);
    // The pixel's power; 0 when nothing was added.
    double Power() const;

  private:
    Detector detector_;
    double value_ = 0.0;
    int count_ = 0;
};

}  // namespace tavlin
