#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tavlin {

// The two layouts of a sweep log. kHeatmap: one CSV row per sweep of date,
// time, Hz low, Hz high, Hz step, samples and the levels, the layout the
// common heat-map tools read. kTable: '#' lines with the settings, then one
// row per sweep of the UTC time, a flag and the levels.
enum class SweepLogFormat { kHeatmap, kTable };

// What a sweep log is asked to do. Zero means "not set" for every limit.
struct SweepLogSettings {
    static constexpr std::uint64_t kDefaultMarginBytes = 100'000'000;
    static constexpr double kDefaultMarginPercent = 1.0;

    std::filesystem::path path;
    SweepLogFormat format = SweepLogFormat::kHeatmap;
    double intervalSec = 0.0;  // at most one sweep kept per interval
    double durationSec = 0.0;  // the log ends this long after it started
    std::uint64_t rotateBytes = 0;
    double rotateSec = 0.0;
    // The free room the log leaves on its file system: the smaller of the
    // bytes and the percentage of the file system's size.
    std::uint64_t marginBytes = kDefaultMarginBytes;
    double marginPercent = kDefaultMarginPercent;
};

// "heatmap" or "table".
std::optional<SweepLogFormat> ParseSweepLogFormat(std::string_view text);
const char* SweepLogFormatName(SweepLogFormat format);

// "90", "1.5s", "10m", "2h", "1d": seconds, at least 0.
std::optional<double> ParseLogSeconds(std::string_view text);

// "4096", "500k", "100M", "2G" (powers of 1000): bytes.
std::optional<std::uint64_t> ParseLogBytes(std::string_view text);

// --rotate: a size ("100M") or a time ("1h", "30m"; a bare number is a
// size). "" when taken, else why not.
std::string ParseLogRotate(std::string_view text, SweepLogSettings& settings);

// --log-margin: a size ("500M") or a share of the file system ("2%"); the
// one given replaces both defaults. "" when taken, else why not.
std::string ParseLogMargin(std::string_view text, SweepLogSettings& settings);

}  // namespace tavlin
