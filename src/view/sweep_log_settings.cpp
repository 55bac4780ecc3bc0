#include "view/sweep_log_settings.h"

#include <cmath>

#include "base/bounded_format.h"

namespace tavlin {

namespace {

// The number at the start of the text and the one letter after it, if any.
struct NumberAndUnit {
    double number = 0.0;
    std::string_view unit;
};

std::optional<NumberAndUnit> SplitUnit(std::string_view text) {
    std::size_t used = 0;
    const std::optional<double> number = ReadNumberPrefix(text, used);
    if (!number || !std::isfinite(*number) || *number < 0.0) {
        return std::nullopt;
    }
    return NumberAndUnit{*number, text.substr(used)};
}

std::optional<double> SecondsPerUnit(std::string_view unit) {
    if (unit.empty() || unit == "s") {
        return 1.0;
    }
    if (unit == "m") {
        return 60.0;
    }
    if (unit == "h") {
        return 3600.0;
    }
    if (unit == "d") {
        return 86400.0;
    }
    return std::nullopt;
}

std::optional<double> BytesPerUnit(std::string_view unit) {
    if (unit.empty()) {
        return 1.0;
    }
    if (unit == "k" || unit == "K") {
        return 1e3;
    }
    if (unit == "M") {
        return 1e6;
    }
    if (unit == "G") {
        return 1e9;
    }
    return std::nullopt;
}

}  // namespace

std::optional<SweepLogFormat> ParseSweepLogFormat(std::string_view text) {
    if (text == "heatmap") {
        return SweepLogFormat::kHeatmap;
    }
    if (text == "table") {
        return SweepLogFormat::kTable;
    }
    return std::nullopt;
}

const char* SweepLogFormatName(SweepLogFormat format) {
    return format == SweepLogFormat::kHeatmap ? "heatmap" : "table";
}

std::optional<double> ParseLogSeconds(std::string_view text) {
    const std::optional<NumberAndUnit> split = SplitUnit(text);
    const std::optional<double> scale = split ? SecondsPerUnit(split->unit) : std::nullopt;
    if (!scale) {
        return std::nullopt;
    }
    return split->number * *scale;
}

std::optional<std::uint64_t> ParseLogBytes(std::string_view text) {
    const std::optional<NumberAndUnit> split = SplitUnit(text);
    const std::optional<double> scale = split ? BytesPerUnit(split->unit) : std::nullopt;
    if (!scale || split->number * *scale > 1e18) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(split->number * *scale);
}

std::string ParseLogRotate(std::string_view text, SweepLogSettings& settings) {
    const std::string refusal =
        "--rotate takes a size (100M) or a time (1h), not '" + std::string(text) + "'";
    const std::optional<NumberAndUnit> split = SplitUnit(text);
    if (!split || split->number <= 0.0) {
        return refusal;
    }
    if (const std::optional<std::uint64_t> bytes = ParseLogBytes(text)) {
        settings.rotateBytes = *bytes;
        return *bytes >= 1000 ? "" : "--rotate: a file of at least 1k";
    }
    if (const std::optional<double> seconds = ParseLogSeconds(text)) {
        settings.rotateSec = *seconds;
        return *seconds >= 1.0 ? "" : "--rotate: a time of at least 1 s";
    }
    return refusal;
}

std::string ParseLogMargin(std::string_view text, SweepLogSettings& settings) {
    if (text.ends_with('%')) {
        const std::optional<double> percent = ReadFiniteNumber(text.substr(0, text.size() - 1));
        if (!percent || *percent < 0.0 || *percent > 100.0) {
            return "--log-margin takes 0% to 100%, not '" + std::string(text) + "'";
        }
        settings.marginPercent = *percent;
        settings.marginBytes = UINT64_MAX;
        return "";
    }
    const std::optional<std::uint64_t> bytes = ParseLogBytes(text);
    if (!bytes) {
        return "--log-margin takes a size (500M) or a share (2%), not '" + std::string(text) + "'";
    }
    settings.marginBytes = *bytes;
    settings.marginPercent = 100.0;
    return "";
}

}  // namespace tavlin
