#include "remote/scpi_power_unit.h"

#include <cmath>
#include <limits>

#include "base/bounded_format.h"
#include "remote/scpi_parser.h"

namespace tavlin {

namespace {

// 0 dBm across 50 ohms is 223.607 mV: 46.9897 dBmV, 106.9897 dBuV.
constexpr double kOhms = 50.0;
constexpr double kDbmvAtZeroDbm = 46.98970004336019;
constexpr double kDbuvAtZeroDbm = kDbmvAtZeroDbm + 60.0;

double Watts(double dbm) {
    return 1e-3 * std::pow(10.0, dbm / 10.0);
}

double DbmOfWatts(double watts) {
    return watts > 0.0 ? 10.0 * std::log10(watts * 1e3) : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

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

double DbmToPowerUnit(double dbm, ScpiPowerUnit unit) {
    switch (unit) {
        case ScpiPowerUnit::kDbmv:
            return dbm + kDbmvAtZeroDbm;
        case ScpiPowerUnit::kDbuv:
            return dbm + kDbuvAtZeroDbm;
        case ScpiPowerUnit::kVolt:
            return std::sqrt(Watts(dbm) * kOhms);
        case ScpiPowerUnit::kWatt:
            return Watts(dbm);
        default:
            return dbm;
    }
}

double PowerUnitToDbm(double value, ScpiPowerUnit unit) {
    switch (unit) {
        case ScpiPowerUnit::kDbmv:
            return value - kDbmvAtZeroDbm;
        case ScpiPowerUnit::kDbuv:
            return value - kDbuvAtZeroDbm;
        case ScpiPowerUnit::kVolt:
            return value > 0.0 ? DbmOfWatts(value * value / kOhms)
                               : std::numeric_limits<double>::quiet_NaN();
        case ScpiPowerUnit::kWatt:
            return DbmOfWatts(value);
        default:
            return value;
    }
}

double MillivoltsToDbm(double millivolts) {
    return PowerUnitToDbm(millivolts * 1e-3, ScpiPowerUnit::kVolt);
}

std::string PowerUnitText(double value, ScpiPowerUnit unit) {
    if (unit == ScpiPowerUnit::kVolt || unit == ScpiPowerUnit::kWatt) {
        return FormatText("%.6E", value);
    }
    return FormatText("%.3f", value);
}

}  // namespace tavlin
