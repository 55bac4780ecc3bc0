#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/cal_memory.h"
#include "sim/scene.h"
#include "sim/true_response.h"

namespace tavlin::sim {

// The factory calibration of a virtual unit: a measurement of its true
// response, as the factory adjustments store it. Every entry is the truth
// at the table's own point (its frequency, attenuator row, IF offset),
// rounded to the entry's resolution (1/32 or 1/16 dB, 0.1 dB, 0.02 dB,
// 0.001 dB, a hundredth of a multiplier) by each field's own encoding; the
// absolute level words hold the truth at 150 MHz. A program that applies
// the table therefore reads levels within its sampling and rounding, and
// within what the table cannot hold (the response between its points, gain
// steps away from 150 MHz), not exactly.
class FactoryCalImage {
  public:
    static constexpr std::uint8_t kBroadbandPower = 118;
    static constexpr const char* kCalDate = "Tue Mar 12 14:05:33 2024\n";

    // The table of a unit with this response.
    static CalMemory::Image Measure(const Scene& scene, const TrueResponse& truth);

    // What the unit's memory holds: its measured table for a factory unit,
    // an erased (0xFF) memory for a blank one.
    static CalMemory::Image MemoryContents(const Scene& scene, const TrueResponse& truth);

  private:
    static void FillScalars(CalMemory::Image& image, const Scene& scene, const TrueResponse& truth);
    static double SetAbsoluteLevel(CalMemory::Image& image, bool preampFitted, bool highBand,
                                   const TrueResponse& truth);
    static void FillFlatness(CalMemory::Image& image, bool preampFitted, bool highBand,
                             double levelDb, const TrueResponse& truth);
    static void FillIfFlatness(CalMemory::Image& image, const TrueResponse& truth);
    static void FillPreamp(CalMemory::Image& image, const TrueResponse& truth);
    static void PutWord(CalMemory::Image& image, std::size_t offset, long value);
};

}  // namespace tavlin::sim
