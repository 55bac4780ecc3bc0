#pragma once

#include <array>
#include <cstdint>

namespace tavlin {

constexpr int kTracePoints = 641;  // one per horizontal pixel, 0 .. 640
constexpr double kBottomRow = 500.0;

// Trace A in screen rows: row 0 is the reference level, 50 rows a division,
// row 500 the bottom graticule line.
struct SweepTrace {
    std::array<double, kTracePoints> traceA{};
    std::array<std::int32_t, kTracePoints> traceAInt{};
    // A second array of doubles kept beside trace A. Only state files carry
    // it; it is kept so that a recalled file is written back unchanged.
    std::array<double, kTracePoints> traceAExtra{};
};

}  // namespace tavlin
