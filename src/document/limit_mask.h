#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sweep/sweep_trace.h"

namespace tavlin {

class MarkerScale;

struct LimitMaskPoint {
    double hz = 0.0;
    double dbm = 0.0;
    bool operator==(const LimitMaskPoint&) const = default;
};

// A limit given as levels against frequency, such as a spectrum emission
// mask: between two points the limit runs straight on the screen's linear
// frequency axis; beyond the first and last point there is no limit. Two
// points on one frequency make a vertical step.
struct LimitMask {
    std::vector<LimitMaskPoint> upper;
    std::vector<LimitMaskPoint> lower;

    bool Empty() const { return upper.empty() && lower.empty(); }
    bool operator==(const LimitMask&) const = default;
};

// The limit at a frequency, or none outside the points. On a vertical step
// the stricter of the two levels holds: the lower for an upper limit, the
// higher for a lower one.
std::optional<double> UpperLimitAt(const LimitMask& mask, double hz);
std::optional<double> LowerLimitAt(const LimitMask& mask, double hz);

struct LimitMaskParse {
    std::optional<LimitMask> mask;
    std::string error;  // names the line when the mask is refused
};

constexpr std::size_t kMaxLimitMaskBytes = 1 << 20;
constexpr std::size_t kMaxLimitMaskPoints = 10000;

// A mask file: lines of "frequency Hz, level dBm"; a line "upper" or "lower"
// starts the points of that limit (upper until one says otherwise); blank
// lines and lines starting with '#' are skipped. Frequencies must not fall
// from one point to the next. The whole text is checked before anything is
// taken: any fault refuses the file with the line it is on.
LimitMaskParse ParseLimitMask(std::string_view text);
std::string FormatLimitMask(const LimitMask& mask);
// A mask file read whole and parsed; the error names the file.
LimitMaskParse ReadLimitMaskFile(const std::filesystem::path& path);

// Where a state file's mask is kept: "bench.pqz" keeps it in
// "bench.limits.csv".
std::filesystem::path LimitMaskPathBeside(const std::filesystem::path& statePath);

// The screen rows of a mask on the scale given; columns the mask does not
// reach get rows far off the screen, where no trace can cross them.
struct LimitRows {
    std::array<std::int32_t, kTracePoints> upper{};
    std::array<std::int32_t, kTracePoints> lower{};
};
LimitRows RowsOfLimitMask(const LimitMask& mask, const MarkerScale& scale);

}  // namespace tavlin
