#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/cal_memory.h"
#include "sim/scene.h"

namespace tavlin::sim {

// The factory calibration of a virtual unit. The unit's true response is
// itself held as a calibration table image: the receiver model derives its
// gains from it, and a factory-calibrated unit carries the same image in its
// memory, so the program, inverting the table, reads the scene's levels.
//
// The numbers are those of plausible hardware: a few dB of ripple over
// frequency that differs a little per attenuator row, IF filters that roll
// off towards their edges, and with the SELF TEST signal (-15 dBm, 140 MHz)
// at 10 dB and gain state 0 a level correction of +7 dB (low band) and +8 dB
// (high band), so the self test reads near the middle of its windows.
class FactoryCalImage {
  public:
    static constexpr double kLowBandTargetDb = 7.0;
    static constexpr double kHighBandTargetDb = 8.0;
    static constexpr double kTargetFreqHz = 140e6;
    static constexpr std::uint8_t kIfGain2_9Low = 110;
    static constexpr std::uint8_t kIfGain2_9High = 108;
    static constexpr std::uint16_t kLowGainStep = 123;
    static constexpr std::uint16_t kHighGainStep = 125;
    static constexpr std::uint8_t kBroadbandPower = 118;
    static constexpr const char* kCalDate = "Tue Mar 12 14:05:33 2024\n";

    // The true response of the scene's unit (the same for a blank unit,
    // whose memory just does not hold it).
    static CalMemory::Image TrueResponse(const Scene& scene);

    // What the unit's memory holds: the response for a factory unit, an
    // erased (0xFF) memory for a blank one.
    static CalMemory::Image MemoryContents(const Scene& scene);

  private:
    static void FillLowBandFlatness(CalMemory::Image& image, double phase);
    static void FillHighBandFlatness(CalMemory::Image& image, double phase);
    static void FillIfFlatness(CalMemory::Image& image);
    static void FillPreamp(CalMemory::Image& image, double phase);
    static void FillScalars(CalMemory::Image& image, const Scene& scene);
    static void SetAbsoluteLevels(CalMemory::Image& image, bool preampFitted);
    static void PutWord(CalMemory::Image& image, std::size_t offset, std::uint16_t value);
    static double UnitPhase(const std::string& serial);
};

}  // namespace tavlin::sim
