#include "base/level_unit.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "base/bounded_format.h"

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

struct SiPrefix {
    double scale;
    const char* symbol;
};

// From the largest down; a value below the last one is shown in its unit.
constexpr std::array<SiPrefix, 8> kPrefixes = {{{1.0, ""},
                                                {1e-3, "m"},
                                                {1e-6, "\u00B5"},
                                                {1e-9, "n"},
                                                {1e-12, "p"},
                                                {1e-15, "f"},
                                                {1e-18, "a"},
                                                {1e-21, "z"}}};

std::string SiText(double value, const char* unit) {
    if (!std::isfinite(value) || value <= 0.0) {
        return FormatText("%.4g %s", value, unit);
    }
    const SiPrefix* chosen = &kPrefixes.back();
    for (const SiPrefix& prefix : kPrefixes) {
        if (value >= prefix.scale * 0.99995) {
            chosen = &prefix;
            break;
        }
    }
    return FormatText("%#.4g %s%s", value / chosen->scale, chosen->symbol, unit);
}

std::string Lowered(std::string_view s) {
    std::string out(s);
    std::ranges::transform(out, out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

}  // namespace

double DbmToLevel(double dbm, LevelUnit unit) {
    switch (unit) {
        case LevelUnit::kDbmv:
            return dbm + kDbmvAtZeroDbm;
        case LevelUnit::kDbuv:
        case LevelUnit::kDbuvPerMetre:
            return dbm + kDbuvAtZeroDbm;
        case LevelUnit::kVolt:
            return std::sqrt(Watts(dbm) * kOhms);
        case LevelUnit::kWatt:
            return Watts(dbm);
        case LevelUnit::kDbm:
            break;
    }
    return dbm;
}

double LevelToDbm(double value, LevelUnit unit) {
    switch (unit) {
        case LevelUnit::kDbmv:
            return value - kDbmvAtZeroDbm;
        case LevelUnit::kDbuv:
        case LevelUnit::kDbuvPerMetre:
            return value - kDbuvAtZeroDbm;
        case LevelUnit::kVolt:
            return value > 0.0 ? DbmOfWatts(value * value / kOhms)
                               : std::numeric_limits<double>::quiet_NaN();
        case LevelUnit::kWatt:
            return DbmOfWatts(value);
        case LevelUnit::kDbm:
            break;
    }
    return value;
}

double MillivoltsToDbm(double millivolts) {
    return LevelToDbm(millivolts * 1e-3, LevelUnit::kVolt);
}

bool LevelUnitInDb(LevelUnit unit) {
    return unit != LevelUnit::kVolt && unit != LevelUnit::kWatt;
}

std::string_view LevelUnitLabel(LevelUnit unit) {
    switch (unit) {
        case LevelUnit::kDbmv:
            return "dBmV";
        case LevelUnit::kDbuv:
            return "dB\u00B5V";
        case LevelUnit::kVolt:
            return "V";
        case LevelUnit::kWatt:
            return "W";
        case LevelUnit::kDbuvPerMetre:
            return "dB\u00B5V/m";
        case LevelUnit::kDbm:
            break;
    }
    return "dBm";
}

std::string_view LevelUnitKey(LevelUnit unit) {
    switch (unit) {
        case LevelUnit::kDbuv:
            return "dBuV";
        case LevelUnit::kDbuvPerMetre:
            return "dBuV/m";
        default:
            return LevelUnitLabel(unit);
    }
}

std::optional<LevelUnit> LevelUnitOfKey(std::string_view key) {
    const std::string lowered = Lowered(key);
    for (const LevelUnit unit : kLevelUnits) {
        if (lowered == Lowered(LevelUnitKey(unit))) {
            return unit;
        }
    }
    return std::nullopt;
}

std::string ShownLevelText(double value, LevelUnit unit, int decimals) {
    const std::string label(LevelUnitLabel(unit));
    if (!LevelUnitInDb(unit)) {
        return SiText(value, label.c_str());
    }
    return FormatText("%.*f %s", decimals, value, label.c_str());
}

}  // namespace tavlin
