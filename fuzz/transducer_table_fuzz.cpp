// libFuzzer target: a transducer table file of any content, read as View >
// Transducer... and --transducer read it. A refused file must say why; an
// accepted one must hold rising finite points, and give a factor between its
// own lowest and highest dB everywhere inside it and none outside it.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "base/transducer_table.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckPoints(const tavlin::TransducerTable& table) {
    const auto& points = table.Points();
    Require(!points.empty() && points.size() <= tavlin::TransducerTable::kMaxPoints);
    for (std::size_t i = 0; i < points.size(); ++i) {
        Require(std::isfinite(points[i].hz) && std::isfinite(points[i].db));
        Require(i == 0 || points[i].hz > points[i - 1].hz);
    }
}

void CheckFactors(const tavlin::TransducerTable& table) {
    const auto& points = table.Points();
    const auto [low, high] = std::minmax_element(
        points.begin(), points.end(), [](const auto& a, const auto& b) { return a.db < b.db; });
    const double first = points.front().hz;
    const double last = points.back().hz;
    for (int k = 0; k <= 64; ++k) {
        const double hz = std::clamp(first + (last - first) * k / 64.0, first, last);
        const tavlin::TransducerFactor factor = table.At(hz);
        Require(factor.inRange);
        Require(factor.db >= low->db - 1e-9 && factor.db <= high->db + 1e-9);
    }
    for (const double outside : {std::nextafter(first, -1e300), std::nextafter(last, 1e300),
                                 std::numeric_limits<double>::quiet_NaN()}) {
        const tavlin::TransducerFactor factor = table.At(outside);
        Require(!factor.inRange && factor.db == 0.0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tavlin::TransducerTable::Parse parsed = tavlin::TransducerTable::FromText(text);
    if (!parsed.table) {
        Require(!parsed.error.empty());
        return 0;
    }
    CheckPoints(*parsed.table);
    CheckFactors(*parsed.table);
    return 0;
}
