#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/cal_memory.h"

namespace tavlin::sim {

// The receiver settings a level correction depends on.
struct LevelSettings {
    int attenIndex = 2;  // 0..3 for 0, 5, 10, 15 dB
    int gainState = 1;   // 0 low gain, 1 normal, 2 high gain
    bool preampFitted = true;
    bool preampOn = false;
    bool highBand = true;  // band formula: high route ("D" 4) or low route
};

// The unit's own reading of a calibration table: the level correction c (dB)
// such that a power P of full scale stands for 10 log10(P) + c + attenuation
// dBm at the input, the 2.9 MHz path offset, and the IF flatness
// multipliers. Written from the table's definition, independently of the
// program's correction, so that the two check each other.
class LevelCorrection {
  public:
    explicit LevelCorrection(const CalMemory::Image& table) : table_(table) {}
    const CalMemory::Image& Table() const { return table_; }

    double At(double freqHz, const LevelSettings& settings) const;

    // Level through the 2.9 MHz path minus level through the 10.7 MHz path.
    double SecondIfOffsetDb(bool highBand) const;
    // Multiplier of the IF flatness table at an IF frequency (path 0: 10.7 MHz).
    double IfFlatnessMultiplier(int ifPath, double ifHz) const;

  private:
    double Base(const LevelSettings& settings) const;
    double GainTerm(const LevelSettings& settings) const;
    double FrequencyTerm(double freqHz, const LevelSettings& settings) const;
    double PreampGain(double freqHz, const LevelSettings& settings) const;
    double Interpolate(std::size_t offset, double x, int lastIndex) const;
    std::uint16_t Word(std::size_t offset) const;

    CalMemory::Image table_;
};

}  // namespace tavlin::sim
