#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tavlin {

// The units a level is shown or sent in. Voltages and powers are those
// across the analyzer's 50 ohm input. dBuV/m is a field strength: the level
// in dBuV plus an antenna factor in dB/m, which whoever holds the antenna's
// table adds; as a conversion of a level alone it reads as dBuV.
enum class LevelUnit { kDbm, kDbmv, kDbuv, kVolt, kWatt, kDbuvPerMetre };

inline constexpr std::array<LevelUnit, 6> kLevelUnits = {
    LevelUnit::kDbm,  LevelUnit::kDbmv, LevelUnit::kDbuv,
    LevelUnit::kVolt, LevelUnit::kWatt, LevelUnit::kDbuvPerMetre};

double DbmToLevel(double dbm, LevelUnit unit);
// The inverse; not a number for a voltage or power of 0 or below, which has
// no level.
double LevelToDbm(double value, LevelUnit unit);
// dBm of a voltage in millivolts RMS across 50 ohms (the linear screen's
// readings).
double MillivoltsToDbm(double millivolts);

// Whether the unit is a logarithmic one, in which a difference of two
// levels is a number of dB.
bool LevelUnitInDb(LevelUnit unit);

// The unit as people read it: "dBm", "dBmV", "dBµV", "V", "W", "dBµV/m".
std::string_view LevelUnitLabel(LevelUnit unit);
// The unit as a plain word for files and command lines ("dBuV", "dBuV/m"),
// and back (any case); none for another word.
std::string_view LevelUnitKey(LevelUnit unit);
std::optional<LevelUnit> LevelUnitOfKey(std::string_view key);

// A level as the screen shows it: "-20.00 dBmV" with `decimals` decimals in
// the logarithmic units; volts and watts with four significant digits and an
// SI prefix ("223.6 mV", "1.000 mW", "10.00 pW").
std::string ShownLevelText(double value, LevelUnit unit, int decimals = 2);

}  // namespace tavlin
