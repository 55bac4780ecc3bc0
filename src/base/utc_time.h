#pragma once

#include <string>

namespace tavlin {

// A moment given in seconds since 1970-01-01 UTC, written in UTC whatever
// the machine's time zone. Milliseconds are truncated, never rounded up, so
// that a time never reads as a second that had not yet begun.

// "2026-12-08T06:45:19.123Z"
std::string UtcIsoText(double utcSec);
// "2026-12-08"
std::string UtcDateText(double utcSec);
// "06:45:19"
std::string UtcClockText(double utcSec);

}  // namespace tavlin
