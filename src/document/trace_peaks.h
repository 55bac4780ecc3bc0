#pragma once

#include <array>
#include <optional>
#include <vector>

#include "sweep/sweep_trace.h"

namespace tavlin {

// The marker's peak searches after PEAK: the next lower peak, the nearest
// peak to the left or to the right of the marker.
enum class PeakSearch { kNextLower, kLeft, kRight };

// A peak is a point higher than the one before it and not lower than the one
// after it, which stands at least `excursionRows` above the trace on each
// side before the trace rises higher than it (or reaches the screen's edge),
// so that the ripple of noise on a trace is no peak. Rows are measured down
// from the top: a higher level is a smaller row. Every peak, left to right:
std::vector<int> Peaks(const std::array<double, kTracePoints>& rows, double excursionRows);

// The peak found from column
// `from`, the marker's; none when there is none that way.
std::optional<int> FindPeak(const std::array<double, kTracePoints>& rows, int from,
                            PeakSearch search, double excursionRows);

}  // namespace tavlin
