#pragma once

#include <string>

#include "document/limit_verdict.h"
#include "document/marker_scale.h"

namespace tavlin {

// "PASS", or "FAIL at " and the first failing frequency (time in zero span),
// or "OVER RANGE" when no column failed for certain but the trace could not
// show that it passed. Empty while the limit lines are not tested.
std::string LimitVerdictText(const LimitVerdict& verdict, bool zeroSpan);

// One failing point for the console, in plain numbers a script can read:
// "FAIL 915200000 Hz -12.34 dBm above upper limit -20.00 dBm", the level
// flagged (">1.00") where the trace left the screen.
// Levels are Hz of deviation in zero-span FM.
std::string LimitFailureLine(const LimitFailure& failure, const MarkerScale& scale);

}  // namespace tavlin
