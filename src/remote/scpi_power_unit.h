#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavlin {

// The unit of the level replies (UNIT:POWer). Voltages and powers are those
// across the 50 ohm input.
enum class ScpiPowerUnit { kDbm, kDbmv, kDbuv, kVolt, kWatt };

// The unit a parameter names (short or long form, any case); none for
// another word.
std::optional<ScpiPowerUnit> ScpiPowerUnitNamed(std::string_view word);
const char* ScpiPowerUnitName(ScpiPowerUnit unit);

double DbmToPowerUnit(double dbm, ScpiPowerUnit unit);
// The inverse; not a number for a voltage or power of 0 or below, which has
// no level.
double PowerUnitToDbm(double value, ScpiPowerUnit unit);
// dBm of a voltage in millivolts RMS across 50 ohms (the linear screen's
// readings).
double MillivoltsToDbm(double millivolts);

// A level as a reply: fixed point for the logarithmic units, which read in
// thousandths of a dB; six significant digits of mantissa for volts and watts.
std::string PowerUnitText(double value, ScpiPowerUnit unit);

}  // namespace tavlin
