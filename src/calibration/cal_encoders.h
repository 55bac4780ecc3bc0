#pragma once

#include <cstdint>
#include <optional>

namespace tavlin {

// A measured value as the integer of its calibration field: truncated toward
// zero, or nothing when it is not a number or the field cannot hold it. The
// original arithmetic wrapped silently (an IFGAIN2_9 of -1.0 dB stored 246,
// read back as +24.6 dB); a value that does not fit is a failed adjustment.
std::optional<long> FitField(double value, long lowest, long highest);

// bbPower: trunc(128 - 10 x detector dB).
std::optional<std::uint8_t> BroadbandPowerByte(double detectorDb);
// IFClipHB150 / IFClipLB150: trunc(32768 - 1000 x d), d the level at 150 MHz
// less the meter's reading, dB.
std::optional<std::uint16_t> IfClipWord(double levelDb);
// IFGAIN2_9B0 / B1: the 2.9 MHz path's gain over the 10.7 MHz path in 0.1 dB.
std::optional<std::uint8_t> SecondIfGainByte(double gainDb);
// lowGainStep / highGainStep in the units the level correction reads them
// (step dB = word x 0.02 + 13.44 for gain state 0, + 9.44 for gain state 2),
// so a unit reads after its adjustment the step that was measured.
std::optional<std::uint16_t> LowGainStepWord(double stepDb);
std::optional<std::uint16_t> HighGainStepWord(double stepDb);
// tcxoOffset: trunc(ppb) + 32768, for errors within +-32767 ppb.
std::optional<std::uint16_t> TcxoWord(double ppb);
// A flatness entry: trunc(128 - countsPerDb x v), within 0 .. 254 (255 is
// what erased memory reads).
std::optional<std::uint8_t> FlatnessByte(double errorDb, double countsPerDb);
// An IF flatness entry: trunc(100 x centre / power), the multiplier that
// brings the power at one offset up to the centre's; nothing for a power
// that is zero, negative or not a number.
std::optional<std::uint8_t> IfFlatnessByte(double centrePower, double power);

// The decimating filter's droop at an offset from the sampler's centre, as a
// power factor that takes it out of a reading: 1 beyond the table.
double DroopFactor(double offsetHz);

}  // namespace tavlin
