#include "document/level_rows.h"

#include <algorithm>
#include <cmath>

#include "document/marker_scale.h"

namespace tavlin {

namespace {

constexpr double kFmCentreRow = 250.0;
constexpr double kRowsPerDivision = 50.0;
constexpr double kColumns = 640.0;
// Edges that moved by less than a tenth of a column leave every signal on
// its column (signal track's fine steps).
constexpr double kSameEdgeColumns = 0.1;

bool SameBand(const MarkerScale& from, const MarkerScale& to) {
    const double toleranceHz = std::abs(from.SpanHz()) * kSameEdgeColumns / kColumns;
    return std::abs(to.startHz - from.startHz) <= toleranceHz &&
           std::abs(to.stopHz - from.stopHz) <= toleranceHz;
}

// A zero-span trace is one frequency against time: only the same frequency
// over the same sweep time is the same trace.
bool SameTimeAxis(const MarkerScale& from, const MarkerScale& to) {
    return from.startHz == to.startHz && from.sweepTimeSec == to.sweepTimeSec;
}

// A row at or below the bottom line only says the level was no higher: on a
// scale where that level is on screen it is not known.
std::int32_t RowOnLevelScale(std::int32_t row, const MarkerScale& from, const MarkerScale& to) {
    if (row == kNoRow) {
        return kNoRow;
    }
    const double moved = RowOfLevel(to, from.LevelOfRow(row));
    if (!std::isfinite(moved) || (row >= kBottomLineRow && moved < kBottomLineRow)) {
        return kNoRow;
    }
    return static_cast<std::int32_t>(
        std::lround(std::clamp(moved, -double{kFarRow}, double{kFarRow})));
}

// The highest level among columns first .. last that hold one.
std::int32_t HighestRow(const ScreenRows& rows, int first, int last) {
    std::int32_t highest = kNoRow;
    for (int i = first; i <= last; ++i) {
        if (rows[i] != kNoRow && (highest == kNoRow || rows[i] < highest)) {
            highest = rows[i];
        }
    }
    return highest;
}

// The source column under each column of the new band; a new column that
// covers several keeps the highest level among them, as a peak detector would.
ScreenRows RowsOnBand(const ScreenRows& rows, const MarkerScale& from, const MarkerScale& to) {
    ScreenRows moved{};
    const double columnsPerHz = kColumns / from.SpanHz();
    const auto sourceColumn = [&](double column) {
        return (to.startHz + to.SpanHz() * column / kColumns - from.startHz) * columnsPerHz;
    };
    for (int c = 0; c < kTracePoints; ++c) {
        const double centre = sourceColumn(c);
        const double first = std::max(0.0, std::ceil(sourceColumn(c - 0.5)));
        const double last = std::min(kColumns, std::floor(sourceColumn(c + 0.5)));
        if (first <= last) {
            moved[c] = HighestRow(rows, static_cast<int>(first), static_cast<int>(last));
        } else if (centre >= -0.5 && centre <= kColumns + 0.5) {
            moved[c] = rows[std::clamp<long>(std::lround(centre), 0, kTracePoints - 1)];
        } else {
            moved[c] = kNoRow;
        }
    }
    return moved;
}

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

float LevelDbmOfRow(const MarkerScale& scale, double row) {
    const double level = scale.LevelOfRow(row);
    if (!scale.linearScale) {
        return static_cast<float>(level);
    }
    if (!(level > 0.0)) {
        return kNoPowerDbm;
    }
    const double dbm = 20.0 * std::log10(level / DbmToMillivolts(0.0));
    return static_cast<float>(std::max(dbm, static_cast<double>(kNoPowerDbm)));
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

bool SameLevelUnit(const MarkerScale& a, const MarkerScale& b) {
    if (a.FmDeviation() || b.FmDeviation()) {
        return a.FmDeviation() && b.FmDeviation();
    }
    return a.linearScale == b.linearScale;
}

ScreenRows RowsOnScale(const ScreenRows& rows, const MarkerScale& from, const MarkerScale& to) {
    ScreenRows none{};
    none.fill(kNoRow);
    if (!SameLevelUnit(from, to) || from.ZeroSpan() != to.ZeroSpan() ||
        !std::isfinite(from.SpanHz()) || !std::isfinite(to.SpanHz())) {
        return none;
    }
    ScreenRows moved = rows;
    if (from.ZeroSpan() && !SameTimeAxis(from, to)) {
        return none;
    }
    if (!from.ZeroSpan() && !SameBand(from, to)) {
        moved = RowsOnBand(rows, from, to);
    }
    const bool sameLevels = from.ReferenceDbm() == to.ReferenceDbm() &&
                            from.dbPerDiv == to.dbPerDiv && from.maxFmOffsetHz == to.maxFmOffsetHz;
    if (!sameLevels) {
        std::transform(moved.begin(), moved.end(), moved.begin(),
                       [&](std::int32_t row) { return RowOnLevelScale(row, from, to); });
    }
    return moved;
}

}  // namespace tavlin
