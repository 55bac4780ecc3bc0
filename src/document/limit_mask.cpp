#include "document/limit_mask.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/atomic_file.h"
#include "base/bounded_format.h"
#include "base/csv_lines.h"
#include "document/level_rows.h"
#include "document/marker_scale.h"

namespace tavlin {

namespace {

// Far beyond any band the unit tunes and any level it can show.
constexpr double kMaxMaskHz = 1e12;
constexpr double kMaxMaskDbm = 200.0;

std::optional<double> LimitAt(const std::vector<LimitMaskPoint>& points, double hz,
                              bool stricterIsLower) {
    if (points.empty() || hz < points.front().hz || hz > points.back().hz) {
        return std::nullopt;
    }
    // Every sweep draws 641 columns of a mask of up to 10 000 points: each
    // column finds its points by bisection.
    const auto first =
        std::lower_bound(points.begin(), points.end(), hz,
                         [](const LimitMaskPoint& p, double value) { return p.hz < value; });
    const auto last =
        std::upper_bound(first, points.end(), hz,
                         [](double value, const LimitMaskPoint& p) { return value < p.hz; });
    if (first == last) {
        const LimitMaskPoint& below = *(first - 1);
        const double t = (hz - below.hz) / (first->hz - below.hz);
        return below.dbm + t * (first->dbm - below.dbm);
    }
    // Points sharing a frequency make a step in the mask: the stricter side holds there.
    const auto byLevel = [](const LimitMaskPoint& a, const LimitMaskPoint& b) {
        return a.dbm < b.dbm;
    };
    const auto strictest = stricterIsLower ? std::min_element(first, last, byLevel)
                                           : std::max_element(first, last, byLevel);
    return strictest->dbm;
}

bool ParseNumber(std::string_view field, double& value) {
    field = CsvLines::Trimmed(field);
    if (!field.empty() && field.front() == '+') {
        field.remove_prefix(1);
    }
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    return ec == std::errc() && end == field.data() + field.size() && std::isfinite(value);
}

std::string Lowered(std::string_view s) {
    std::string out(s);
    std::ranges::transform(out, out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// The point of one data line, or the reason it is refused.
std::optional<LimitMaskPoint> ParsePoint(std::string_view line, std::string& problem) {
    const auto comma = line.find(',');
    if (comma == std::string_view::npos || line.find(',', comma + 1) != std::string_view::npos) {
        problem = "expected \"frequency Hz, level dBm\"";
        return std::nullopt;
    }
    LimitMaskPoint point;
    if (!ParseNumber(line.substr(0, comma), point.hz) || point.hz < 0.0 || point.hz > kMaxMaskHz) {
        problem = "the frequency is not a number of Hz from 0 to 1e12";
        return std::nullopt;
    }
    if (!ParseNumber(line.substr(comma + 1), point.dbm) || std::abs(point.dbm) > kMaxMaskDbm) {
        problem = "the level is not a number of dBm from -200 to 200";
        return std::nullopt;
    }
    return point;
}

std::int32_t GuardedRow(const MarkerScale& scale, double dbm) {
    const bool inMillivolts = scale.linearScale && !scale.FmDeviation();
    return LevelToRow(scale, inMillivolts ? DbmToMillivolts(dbm) : dbm);
}

}  // namespace

std::optional<double> UpperLimitAt(const LimitMask& mask, double hz) {
    return LimitAt(mask.upper, hz, true);
}

std::optional<double> LowerLimitAt(const LimitMask& mask, double hz) {
    return LimitAt(mask.lower, hz, false);
}

LimitMaskParse ParseLimitMask(std::string_view text) {
    LimitMaskParse result;
    if (text.size() > kMaxLimitMaskBytes) {
        result.error = "the file is larger than 1 MiB";
        return result;
    }
    LimitMask mask;
    std::vector<LimitMaskPoint>* section = &mask.upper;
    CsvLines lines(text);
    std::string_view line;
    while (lines.Next(line)) {
        const std::string word = Lowered(line);
        if (word == "upper" || word == "lower") {
            section = word == "upper" ? &mask.upper : &mask.lower;
            continue;
        }
        std::string problem;
        const auto point = ParsePoint(line, problem);
        if (point && !section->empty() && point->hz < section->back().hz) {
            problem = "the frequency falls below the point before it";
        }
        if (mask.upper.size() + mask.lower.size() >= kMaxLimitMaskPoints) {
            problem = "more than 10000 points";
        }
        if (!problem.empty()) {
            result.error = "line " + std::to_string(lines.LineNumber()) + ": " + problem;
            return result;
        }
        section->push_back(*point);
    }
    if (mask.Empty()) {
        result.error = "the file holds no points";
        return result;
    }
    result.mask = std::move(mask);
    return result;
}

std::string FormatLimitMask(const LimitMask& mask) {
    std::string out = "# frequency Hz, level dBm\n";
    auto section = [&out](const char* name, const std::vector<LimitMaskPoint>& points) {
        if (points.empty()) {
            return;
        }
        out += name;
        out += '\n';
        for (const LimitMaskPoint& p : points) {
            out += FormatText("%.17g,%.17g\n", p.hz, p.dbm);
        }
    };
    section("upper", mask.upper);
    section("lower", mask.lower);
    return out;
}

LimitMaskParse ReadLimitMaskFile(const std::filesystem::path& path) {
    std::vector<std::uint8_t> bytes;
    LimitMaskParse result;
    if (!ReadWholeFile(path, kMaxLimitMaskBytes, bytes, result.error)) {
        return result;
    }
    result = ParseLimitMask({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    if (!result.mask) {
        result.error = path.filename().string() + ": " + result.error;
    }
    return result;
}

std::filesystem::path LimitMaskPathBeside(const std::filesystem::path& statePath) {
    std::filesystem::path mask = statePath;
    mask.replace_extension(".limits.csv");
    return mask;
}

LimitRows RowsOfLimitMask(const LimitMask& mask, const MarkerScale& scale) {
    LimitRows rows;
    for (int column = 0; column < kTracePoints; ++column) {
        const double hz = scale.PositionOfColumn(column);
        const auto upper = UpperLimitAt(mask, hz);
        const auto lower = LowerLimitAt(mask, hz);
        rows.upper[column] = upper ? GuardedRow(scale, *upper) : -kFarRow;
        rows.lower[column] = lower ? GuardedRow(scale, *lower) : kFarRow;
    }
    return rows;
}

}  // namespace tavlin
