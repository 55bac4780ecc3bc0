#include "document/limit_verdict.h"

#include <algorithm>
#include <cmath>

#include "document/marker_scale.h"

namespace tavlin {

namespace {

double LevelInDbm(const MarkerScale& scale, double row) {
    const double level = scale.LevelOfRow(row);
    if (!scale.linearScale || scale.FmDeviation()) {
        return level;
    }
    return 20.0 * std::log10(std::max(level, 1e-30) / DbmToMillivolts(0.0));
}

}  // namespace

LimitVerdict TestTraceAgainstLimits(const std::array<double, kTracePoints>& traceRows,
                                    const std::array<std::int32_t, kTracePoints>& upperRows,
                                    const std::array<std::int32_t, kTracePoints>& lowerRows,
                                    const MarkerScale& scale) {
    LimitVerdict verdict;
    verdict.tested = true;
    for (int column = 0; column < kTracePoints; ++column) {
        // Rows grow downward from the reference level.
        const double row = traceRows[column];
        const bool aboveUpper = row < upperRows[column];
        const bool belowLower = row > lowerRows[column];
        if (!aboveUpper && !belowLower) {
            continue;
        }
        LimitFailure failure;
        failure.column = column;
        failure.position = scale.PositionOfColumn(column);
        failure.level = LevelInDbm(scale, row);
        failure.upper = aboveUpper;
        failure.limit = LevelInDbm(scale, aboveUpper ? upperRows[column] : lowerRows[column]);
        verdict.failures.push_back(failure);
    }
    verdict.pass = verdict.failures.empty();
    return verdict;
}

}  // namespace tavlin
