#include "view/limit_verdict_text.h"

#include <cmath>

#include "base/bounded_format.h"
#include "base/reading_flag.h"

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
    if (verdict.failures.empty()) {
        return std::string(ReadingFlagWord(ReadingFlag::kOverRange));
    }
    return "FAIL at " + PositionText(verdict.failures.front().position, zeroSpan);
}

std::string LimitFailureLine(const LimitFailure& failure, const MarkerScale& scale) {
    const char* unit = scale.FmDeviation() ? "Hz" : "dBm";
    const std::string level = FlaggedReadingText(FormatText("%.2f", failure.level), failure.flag);
    return FormatText(scale.ZeroSpan() ? "FAIL %.3f ms %s %s %s limit %.2f %s"
                                       : "FAIL %.0f Hz %s %s %s limit %.2f %s",
                      failure.position, level.c_str(), unit,
                      failure.upper ? "above upper" : "below lower", failure.limit, unit);
}

}  // namespace tavlin
