#include "remote/scpi_power_unit.h"

#include "base/bounded_format.h"
#include "remote/scpi_parser.h"

namespace tavlin {

std::optional<ScpiPowerUnit> ScpiPowerUnitNamed(std::string_view word) {
    const std::string upper = ScpiUpper(word);
    if (upper == "DBM") {
        return ScpiPowerUnit::kDbm;
    }
    if (upper == "DBMV") {
        return ScpiPowerUnit::kDbmv;
    }
    if (upper == "DBUV") {
        return ScpiPowerUnit::kDbuv;
    }
    if (upper == "V") {
        return ScpiPowerUnit::kVolt;
    }
    if (upper == "W") {
        return ScpiPowerUnit::kWatt;
    }
    return std::nullopt;
}

const char* ScpiPowerUnitName(ScpiPowerUnit unit) {
    switch (unit) {
        case ScpiPowerUnit::kDbmv:
            return "DBMV";
        case ScpiPowerUnit::kDbuv:
            return "DBUV";
        case ScpiPowerUnit::kVolt:
            return "V";
        case ScpiPowerUnit::kWatt:
            return "W";
        default:
            return "DBM";
    }
}

std::string PowerUnitText(double value, ScpiPowerUnit unit) {
    if (unit == ScpiPowerUnit::kVolt || unit == ScpiPowerUnit::kWatt) {
        return FormatText("%.6E", value);
    }
    return FormatText("%.3f", value);
}

}  // namespace tavlin
