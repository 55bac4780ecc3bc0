#include "document/limit_verdict.h"

#include <algorithm>
#include <cmath>

#include "document/level_rows.h"
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

// A row off the graticule holds only a bound of the level: the sweep clamps
// what lies beyond. A limit on the far side of that bound may or may not be
// crossed by the true level.
bool Undecided(double row, std::int32_t limitRow) {
    if (limitRow <= -kFarRow || limitRow >= kFarRow) {
        return false;  // no limit at this column
    }
    const ReadingFlag flag = FlagOfRow(row);
    return (flag == ReadingFlag::kAboveScreen && limitRow <= row) ||
           (flag == ReadingFlag::kBelowScreen && limitRow >= row);
}

}  // namespace

LimitVerdict TestTraceAgainstLimits(const std::array<double, kTracePoints>& traceRows,
                                    const std::array<std::int32_t, kTracePoints>& upperRows,
                                    const std::array<std::int32_t, kTracePoints>& lowerRows,
                                    const MarkerScale& scale, bool ifCompressed) {
    LimitVerdict verdict;
    verdict.tested = true;
    verdict.overRange = ifCompressed;
    const ReadingFlag compression = ifCompressed ? ReadingFlag::kOverRange : ReadingFlag::kNone;
    for (int column = 0; column < kTracePoints; ++column) {
        // Rows grow downward from the reference level.
        const double row = traceRows[column];
        const bool aboveUpper = row < upperRows[column];
        const bool belowLower = row > lowerRows[column];
        if (!aboveUpper && !belowLower) {
            verdict.overRange = verdict.overRange || Undecided(row, upperRows[column]) ||
                                Undecided(row, lowerRows[column]);
            continue;
        }
        // A level known only as a bound beyond the limit it is tested
        // against (an upper limit below the screen, a lower one above it)
        // does not decide the column.
        const ReadingFlag edge = FlagOfRow(row);
        if ((aboveUpper && edge == ReadingFlag::kBelowScreen) ||
            (belowLower && edge == ReadingFlag::kAboveScreen)) {
            verdict.overRange = true;
            continue;
        }
        LimitFailure failure;
        failure.column = column;
        failure.position = scale.PositionOfColumn(column);
        failure.level = LevelInDbm(scale, row);
        failure.upper = aboveUpper;
        failure.limit = LevelInDbm(scale, aboveUpper ? upperRows[column] : lowerRows[column]);
        failure.flag = WorseReadingFlag(edge, compression);
        verdict.failures.push_back(failure);
    }
    verdict.pass = verdict.failures.empty() && !verdict.overRange;
    return verdict;
}

}  // namespace tavlin
