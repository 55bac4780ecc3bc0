#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/level_unit.h"

namespace tavlin {

// The unit of the level replies (UNIT:POWer): the level units by their SCPI
// names. Field strength is not among them: the SCPI server reads and sets
// levels at the analyzer's input.
using ScpiPowerUnit = LevelUnit;

// The unit a parameter names (short or long form, any case); none for
// another word.
std::optional<ScpiPowerUnit> ScpiPowerUnitNamed(std::string_view word);
const char* ScpiPowerUnitName(ScpiPowerUnit unit);

// A level as a reply: fixed point for the logarithmic units, which read in
// thousandths of a dB; six significant digits of mantissa for volts and watts.
std::string PowerUnitText(double value, ScpiPowerUnit unit);

}  // namespace tavlin
