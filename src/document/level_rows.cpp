#include "document/level_rows.h"

#include <algorithm>
#include <cmath>

#include "document/marker_scale.h"

namespace tavlin {

namespace {

constexpr double kBottomLineRow = 500.0;
constexpr double kFmCentreRow = 250.0;
constexpr double kRowsPerDivision = 50.0;

}  // namespace

double RowOfLevel(const MarkerScale& scale, double level) {
    if (scale.FmDeviation()) {
        return kFmCentreRow - kFmCentreRow * level / scale.maxFmOffsetHz;
    }
    if (scale.linearScale) {
        return kBottomLineRow - kBottomLineRow * level / DbmToMillivolts(scale.ReferenceDbm());
    }
    return (scale.ReferenceDbm() - level) * kRowsPerDivision / scale.dbPerDiv;
}

int LevelToRow(const MarkerScale& scale, double level) {
    const double row = RowOfLevel(scale, level);
    if (std::isnan(row)) {
        return static_cast<int>(kBottomLineRow);
    }
    // Clamped while still a double: the conversion truncates toward zero.
    return static_cast<int>(std::clamp(row, -double{kFarRow}, double{kFarRow}));
}

ReadingFlag FlagOfRow(double row) {
    if (row < 0.0) {
        return ReadingFlag::kAboveScreen;
    }
    if (row > kBottomLineRow) {
        return ReadingFlag::kBelowScreen;
    }
    return ReadingFlag::kNone;
}

}  // namespace tavlin
