// libFuzzer target: a limit mask file of any content, parsed as the Trace
// menu and --limit-mask read it. A refused file must say why; an accepted
// one must write back to the same points, give limits that never leave the
// range of its own levels, and turn into screen rows and a verdict on every
// kind of screen without anything undefined.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "document/limit_mask.h"
#include "document/limit_verdict.h"
#include "document/marker_scale.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The limit at any frequency lies between the lowest and highest level of
// its points, since it only joins them by straight lines.
void CheckLimitsStayInRange(const std::vector<tavlin::LimitMaskPoint>& points,
                            const tavlin::LimitMask& mask, bool upper) {
    if (points.empty()) {
        return;
    }
    const auto [low, high] = std::minmax_element(
        points.begin(), points.end(), [](const auto& a, const auto& b) { return a.dbm < b.dbm; });
    const double first = points.front().hz;
    const double last = points.back().hz;
    for (int k = 0; k <= 64; ++k) {
        // Rounding can carry the last probe a hair past the last point
        // (0.3 + 0.6 * 64 / 64 = 0.9000000000000001), where the mask has
        // rightly no limit: probe only inside the mask's own range.
        const double hz = std::clamp(first + (last - first) * k / 64.0, first, last);
        const auto limit = upper ? tavlin::UpperLimitAt(mask, hz) : tavlin::LowerLimitAt(mask, hz);
        Require(limit.has_value());
        Require(*limit >= low->dbm - 1e-9 && *limit <= high->dbm + 1e-9);
    }
    const auto below = upper ? tavlin::UpperLimitAt(mask, std::nextafter(first, -1.0))
                             : tavlin::LowerLimitAt(mask, std::nextafter(first, -1.0));
    Require(first == 0.0 || !below.has_value());
}

std::vector<tavlin::MarkerScale> Screens(const tavlin::LimitMask& mask) {
    tavlin::MarkerScale wide;
    wide.stopHz = 4.4e9;
    tavlin::MarkerScale linear;
    linear.startHz = 914e6;
    linear.stopHz = 916e6;
    linear.linearScale = true;
    linear.dbPerDiv = 1.0;
    tavlin::MarkerScale own;
    const auto& points = mask.upper.empty() ? mask.lower : mask.upper;
    own.startHz = points.front().hz;
    own.stopHz = points.back().hz;
    own.refLevelDbm = points.front().dbm;
    own.dbPerDiv = 2.0;
    tavlin::MarkerScale zero;
    zero.startHz = zero.stopHz = points.front().hz;
    zero.sweepTimeSec = 0.1;
    return {wide, linear, own, zero};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tavlin::LimitMaskParse parsed = tavlin::ParseLimitMask(text);
    if (!parsed.mask) {
        Require(!parsed.error.empty());
        return 0;
    }
    const tavlin::LimitMask& mask = *parsed.mask;
    Require(!mask.Empty() && mask.upper.size() + mask.lower.size() <= tavlin::kMaxLimitMaskPoints);

    const tavlin::LimitMaskParse again = tavlin::ParseLimitMask(tavlin::FormatLimitMask(mask));
    Require(again.mask.has_value() && *again.mask == mask);

    CheckLimitsStayInRange(mask.upper, mask, true);
    CheckLimitsStayInRange(mask.lower, mask, false);

    std::array<double, tavlin::kTracePoints> trace{};
    for (int column = 0; column < tavlin::kTracePoints; ++column) {
        trace[column] = (column * 37) % 500;
    }
    for (const tavlin::MarkerScale& screen : Screens(mask)) {
        const tavlin::LimitRows rows = tavlin::RowsOfLimitMask(mask, screen);
        const tavlin::LimitVerdict verdict =
            tavlin::TestTraceAgainstLimits(trace, rows.upper, rows.lower, screen);
        Require(verdict.pass == verdict.failures.empty());
        int previous = -1;
        for (const tavlin::LimitFailure& failure : verdict.failures) {
            Require(failure.column > previous && failure.column < tavlin::kTracePoints);
            Require(std::isfinite(failure.position) && std::isfinite(failure.limit));
            previous = failure.column;
        }
    }
    return 0;
}
