#include "base/utc_time.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "base/bounded_format.h"

namespace tavlin {

namespace {

struct UtcParts {
    std::tm fields{};
    int milliseconds = 0;
};

UtcParts Split(double utcSec) {
    const double whole = std::floor(utcSec);
    UtcParts parts;
    const std::time_t seconds = static_cast<std::time_t>(whole);
    gmtime_r(&seconds, &parts.fields);
    parts.milliseconds = static_cast<int>((utcSec - whole) * 1000.0);
    return parts;
}

std::string Date(const std::tm& t) {
    return FormatText("%04d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
}

std::string Clock(const std::tm& t) {
    return FormatText("%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
}

}  // namespace

std::string UtcIsoText(double utcSec) {
    const UtcParts parts = Split(utcSec);
    return Date(parts.fields) + "T" + Clock(parts.fields) +
           FormatText(".%03dZ", std::min(parts.milliseconds, 999));
}

std::string UtcDateText(double utcSec) {
    return Date(Split(utcSec).fields);
}

std::string UtcClockText(double utcSec) {
    return Clock(Split(utcSec).fields);
}

}  // namespace tavlin
