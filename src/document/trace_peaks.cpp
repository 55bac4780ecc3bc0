#include "document/trace_peaks.h"

#include <algorithm>
#include <vector>

namespace tavlin {

namespace {

using Rows = std::array<double, kTracePoints>;
constexpr int kLast = kTracePoints - 1;

// The deepest the trace falls walking from the peak by `step` until it rises
// above the peak or ends.
double DeepestBeside(const Rows& rows, int peak, int step) {
    double deepest = rows[peak];
    for (int i = peak + step; i >= 0 && i <= kLast && rows[i] >= rows[peak]; i += step) {
        deepest = std::max(deepest, rows[i]);
    }
    return deepest;
}

bool IsPeak(const Rows& rows, int i, double excursionRows) {
    const bool rises = i == 0 || rows[i - 1] > rows[i];
    const bool holds = i == kLast || rows[i + 1] >= rows[i];
    if (!rises || !holds) {
        return false;
    }
    // A point at the screen's edge has only one side to stand above.
    const bool leftStands = i == 0 || DeepestBeside(rows, i, -1) - rows[i] >= excursionRows;
    const bool rightStands = i == kLast || DeepestBeside(rows, i, 1) - rows[i] >= excursionRows;
    return leftStands && rightStands;
}

}  // namespace

std::vector<int> Peaks(const Rows& rows, double excursionRows) {
    std::vector<int> peaks;
    for (int i = 0; i <= kLast; ++i) {
        if (IsPeak(rows, i, excursionRows)) {
            peaks.push_back(i);
        }
    }
    return peaks;
}

std::optional<int> FindPeak(const Rows& rows, int from, PeakSearch search, double excursionRows) {
    const int start = std::clamp(from, 0, kLast);
    std::optional<int> found;
    for (const int peak : Peaks(rows, excursionRows)) {
        switch (search) {
            case PeakSearch::kLeft:
                found = peak < start ? std::optional(peak) : found;
                break;
            case PeakSearch::kRight:
                if (peak > start && !found) {
                    found = peak;
                }
                break;
            case PeakSearch::kNextLower:
                if (rows[peak] > rows[start] && (!found || rows[peak] < rows[*found])) {
                    found = peak;
                }
                break;
        }
    }
    return found;
}

}  // namespace tavlin
