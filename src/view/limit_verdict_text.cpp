#include "view/limit_verdict_text.h"

#include <cmath>

#include "base/bounded_format.h"

namespace tavlin {

namespace {

std::string PositionText(double position, bool zeroSpan) {
    if (zeroSpan) {
        return FormatText("%.3f ms", position);
    }
    const double size = std::abs(position);
    if (size >= 1e9) {
        return FormatText("%.6f GHz", position * 1e-9);
    }
    if (size >= 1e6) {
        return FormatText("%.4f MHz", position * 1e-6);
    }
    if (size >= 1e3) {
        return FormatText("%.3f KHz", position * 1e-3);
    }
    return FormatText("%.0f Hz", position);
}

}  // namespace

std::string LimitVerdictText(const LimitVerdict& verdict, bool zeroSpan) {
    if (!verdict.tested) {
        return {};
    }
    if (verdict.pass) {
        return "PASS";
    }
    return "FAIL at " + PositionText(verdict.failures.front().position, zeroSpan);
}

std::string LimitFailureLine(const LimitFailure& failure, const MarkerScale& scale) {
    const char* unit = scale.FmDeviation() ? "Hz" : "dBm";
    return FormatText(scale.ZeroSpan() ? "FAIL %.3f ms %.2f %s %s limit %.2f %s"
                                       : "FAIL %.0f Hz %.2f %s %s limit %.2f %s",
                      failure.position, failure.level, unit,
                      failure.upper ? "above upper" : "below lower", failure.limit, unit);
}

}  // namespace tavlin
