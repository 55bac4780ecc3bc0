#include "document/marker_commands.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "document/analyzer_document.h"
#include "document/level_rows.h"
#include "document/sweep_pause.h"
#include "ports/prompter.h"

namespace tavlin {

namespace {

using Rows = decltype(SweepTrace::traceA);

constexpr int kLastColumn = MarkerScale::kLastColumn;
// dBm from mV for MKR->REF LVL; the instrument has always used 13.01 here.
constexpr double kMvToDbmConstant = 13.01;
constexpr double kThreeDbRowsPerDbPerDiv = 150.0;  // 3 dB below the peak, in rows
constexpr double kRowsPerDivision = 50.0;
constexpr double kPeakExcursionDb = 6.0;
constexpr double kPeakExcursionRows = 30.0;

int ClampColumn(int column) {
    return std::clamp(column, 0, kLastColumn);
}

// The scale trace A's rows were drawn on: a marker level is read on it, so it
// is the level measured there whatever the screen shows now.
const MarkerScale& DrawnScale(const ScreenState& screen, const MarkerScale& shown) {
    return screen.basis.measured ? screen.basis.scale : shown;
}

double LevelAt(const ScreenState& screen, const MarkerScale& shown, double position) {
    const MarkerScale& drawn = DrawnScale(screen, shown);
    return drawn.LevelOfRow(screen.trace.traceA[drawn.ColumnOfPosition(position)]);
}

// The flag of a level read from a row of this screen: the screen edge's
// bound, and over range for any row of a sweep that overdrove the IF.
ReadingFlag RowFlag(const ScreenState& screen, double row) {
    return WorseReadingFlag(
        FlagOfRow(row), screen.basis.ifCompressed ? ReadingFlag::kOverRange : ReadingFlag::kNone);
}

// The flag of a level read there: off span when the position is on neither
// the screen shown nor the one the rows were measured on, and the screen
// edge's bound when the row lies on it.
ReadingFlag FlagAt(const ScreenState& screen, const MarkerScale& shown, double position) {
    const MarkerScale& drawn = DrawnScale(screen, shown);
    const ReadingFlag row = RowFlag(screen, screen.trace.traceA[drawn.ColumnOfPosition(position)]);
    return shown.FlagAt(position, drawn.FlagAt(position, row));
}

void ReadInto(ExtraMarker& marker, const ScreenState& screen, const MarkerScale& shown) {
    marker.level = LevelAt(screen, shown, marker.position);
    marker.flag = FlagAt(screen, shown, marker.position);
}

// Equal rows resolve to the rightmost point.
int RightmostLowestRow(const Rows& rows) {
    int index = 0;
    double best = rows[0];
    for (int i = 1; i <= kLastColumn; ++i) {
        if (rows[i] <= best) {
            best = rows[i];
            index = i;
        }
    }
    return index;
}

// Equal rows resolve to the leftmost point.
int LeftmostLowestRow(const Rows& rows) {
    int index = 0;
    double best = rows[0];
    for (int i = 1; i <= kLastColumn; ++i) {
        if (rows[i] < best) {
            best = rows[i];
            index = i;
        }
    }
    return index;
}

// Of two neighbouring columns, the one whose row is nearer the threshold;
// `inner` (the one nearer the peak) wins a tie.
int NearerToThreshold(const Rows& rows, int outer, int inner, double threshold) {
    return std::abs(rows[inner] - threshold) <= std::abs(rows[outer] - threshold) ? inner : outer;
}

int LeftThreeDbEdge(const Rows& rows, int peak, double threshold) {
    int j = peak;
    while (j > 0 && rows[j] <= threshold) {
        --j;
    }
    return NearerToThreshold(rows, j, std::min(j + 1, kLastColumn), threshold);
}

int RightThreeDbEdge(const Rows& rows, int peak, double threshold) {
    int k = peak;
    while (k < kLastColumn && rows[k] <= threshold) {
        ++k;
    }
    return NearerToThreshold(rows, k, std::max(k - 1, 0), threshold);
}

// The reference level that puts marker 1 on the top line, or nothing when
// its level cannot be one (0 mV or less has no dBm).
std::optional<double> ReferenceFromMarkerLevel(double level, bool linearScale) {
    if (!std::isfinite(level) || (linearScale && level <= 0.0)) {
        return std::nullopt;
    }
    return linearScale ? 20.0 * std::log10(level * 0.001) + kMvToDbmConstant : level;
}

}  // namespace

MarkerScale MarkerCommands::Scale() const {
    return doc_.ReadSettings([](const InstrumentState& s) { return MarkerScale::From(s); });
}

MarkerScale MarkerCommands::RowsScale() const {
    const MarkerScale shown = Scale();
    return doc_.ReadTrace(
        [&shown](const ScreenState& screen) { return DrawnScale(screen, shown); });
}

ReadingFlag MarkerCommands::LevelFlag() const {
    const MarkerScale shown = Scale();
    const bool stale = doc_.ReadTrace(
        [&shown](const ScreenState& screen) { return LevelsStaleOn(screen.basis, shown); });
    return stale ? ReadingFlag::kStale : ReadingFlag::kNone;
}

ReadingFlag MarkerCommands::LevelReadingFlag(const MarkerState& m, bool second) const {
    return LevelReadingFlag(second ? m.marker2Pos : m.marker1Pos,
                            second ? m.marker2Flag : m.marker1Flag);
}

ReadingFlag MarkerCommands::LevelReadingFlag(double position, ReadingFlag measured) const {
    return WorseReadingFlag(WorseReadingFlag(Scale().FlagAt(position, measured), LevelFlag()),
                            doc_.TraceReadingFlag());
}

int MarkerCommands::ColumnOfPosition(double position) const {
    return Scale().ColumnOfPosition(position);
}

double MarkerCommands::PositionOfColumn(int column) const {
    return Scale().PositionOfColumn(ClampColumn(column));
}

double MarkerCommands::LevelOfColumn(int column) const {
    const MarkerScale scale = Scale();
    return doc_.ReadTrace([&scale, column](const ScreenState& screen) {
        return LevelAt(screen, scale, scale.PositionOfColumn(ClampColumn(column)));
    });
}

ReadingFlag MarkerCommands::FlagOfColumn(int column) const {
    const MarkerScale scale = Scale();
    return doc_.ReadTrace([&scale, column](const ScreenState& screen) {
        return FlagAt(screen, scale, scale.PositionOfColumn(ClampColumn(column)));
    });
}

MarkerState MarkerCommands::Snapshot() const {
    return doc_.ReadTrace([](const ScreenState& screen) { return screen.markers; });
}

void MarkerCommands::StoreIntoActiveMarker(MarkerState& m, double position, double level,
                                           ReadingFlag flag) {
    if (m.extra.active != 0) {
        m.extra.Of(m.extra.active) = {true, position, level, flag};
    } else if (m.marker2Active != 0) {
        m.marker2Pos = position;
        m.marker2Level = level;
        m.marker2Flag = flag;
        m.marker2On = 1;
    } else {
        m.marker1Pos = position;
        m.marker1Level = level;
        m.marker1Flag = flag;
        m.marker1On = 1;
    }
}

void MarkerCommands::Peak() {
    const MarkerScale scale = Scale();
    const double hint = doc_.PeakFrequencyHint();
    doc_.EditMarkers([&scale, hint](MarkerState& m, const ScreenState& screen) {
        const MarkerScale& drawn = DrawnScale(screen, scale);
        const Rows& rows = screen.trace.traceA;
        const int column = RightmostLowestRow(rows);
        const double position = hint > 0.0 ? hint : drawn.PositionOfColumn(column);
        StoreIntoActiveMarker(m, position, drawn.LevelOfRow(rows[column]),
                              RowFlag(screen, rows[column]));
    });
}

void MarkerCommands::PlaceActiveMarker(int column) {
    const MarkerScale scale = Scale();
    const int c = ClampColumn(column);
    doc_.EditMarkers([&scale, c](MarkerState& m, const ScreenState& screen) {
        const double position = scale.PositionOfColumn(c);
        StoreIntoActiveMarker(m, position, LevelAt(screen, scale, position),
                              FlagAt(screen, scale, position));
    });
}

// A position put on a point may convert back a hair short of it, which a
// truncated column would take for the point before: half a point is added.
void MarkerCommands::MoveActiveMarker(int points) {
    const MarkerScale scale = Scale();
    const MarkerState m = Snapshot();
    if (!m.ActiveOn()) {
        return;
    }
    const double halfPoint = (scale.PositionOfColumn(1) - scale.PositionOfColumn(0)) / 2.0;
    const int column = scale.ColumnOfPosition(m.ActivePosition() + halfPoint);
    PlaceActiveMarker(column + points);
}

void MarkerCommands::Normal() {
    const MarkerScale scale = Scale();
    doc_.EditMarkers([&scale](MarkerState& m, const ScreenState& screen) {
        m.marker1On = 1;
        m.marker2On = 0;
        m.marker2Active = 0;
        m.markerDelta = 0;
        m.extra.active = 0;
        // Half the sweep, in ms, in zero span.
        m.marker1Pos =
            scale.ZeroSpan() ? 500.0 * scale.sweepTimeSec : scale.startHz + scale.SpanHz() / 2.0;
        m.marker1Level = LevelAt(screen, scale, m.marker1Pos);
        m.marker1Flag = FlagAt(screen, scale, m.marker1Pos);
    });
}

void MarkerCommands::Off() {
    doc_.EditMarkers([](MarkerState& m, const ScreenState&) {
        m.marker1On = 0;
        m.marker2On = 0;
        m.marker2Active = 0;
        m.markerDelta = 0;
        m.extra = {};
    });
}

void MarkerCommands::Delta() {
    doc_.EditMarkers([](MarkerState& m, const ScreenState&) {
        if (m.marker2On == 0) {
            m.marker2Pos = m.marker1Pos;
            m.marker2Level = m.marker1Level;
            m.marker2Flag = m.marker1Flag;
            m.marker2On = 1;
        }
        m.marker2Active = m.marker2Active != 0 ? 0 : 1;
        m.markerDelta = 1;
        m.extra.active = 0;
    });
}

void MarkerCommands::DeltaOff() {
    doc_.EditMarkers([](MarkerState& m, const ScreenState&) {
        m.marker2On = 0;
        m.marker2Active = 0;
        m.markerDelta = 0;
        m.extra.active = 0;
    });
}

// A peak stands 6 dB above the trace beside it; on the linear and FM screens,
// where rows are no decibels, three fifths of a division.
bool MarkerCommands::NextPeak(PeakSearch search) {
    const MarkerScale scale = Scale();
    return doc_.EditMarkers([&scale, search](MarkerState& m, const ScreenState& screen) {
        if (!m.ActiveOn()) {
            return false;
        }
        const MarkerScale& drawn = DrawnScale(screen, scale);
        const bool decibels = !drawn.linearScale && !drawn.FmDeviation();
        const double excursion =
            decibels ? kPeakExcursionDb * kRowsPerDivision / drawn.dbPerDiv : kPeakExcursionRows;
        const Rows& rows = screen.trace.traceA;
        const int from = drawn.ColumnOfPosition(m.ActivePosition());
        const std::optional<int> column = FindPeak(rows, from, search, excursion);
        if (!column) {
            return false;
        }
        StoreIntoActiveMarker(m, drawn.PositionOfColumn(*column), drawn.LevelOfRow(rows[*column]),
                              RowFlag(screen, rows[*column]));
        return true;
    });
}

void MarkerCommands::MarkerToCenter() {
    if (Scale().ZeroSpan()) {
        return;  // a marker time is no frequency to tune to
    }
    const double position =
        doc_.ReadTrace([](const ScreenState& screen) { return screen.markers.ActivePosition(); });
    doc_.SetCenter(position);
    doc_.RequestRepaint();
}

void MarkerCommands::MarkerToRefLevel() {
    const SweepPause pause(doc_);
    const MarkerState m = Snapshot();
    // A marker off the span has no level to move the reference to.
    if (!ReadingFlagKeepsNumber(Scale().FlagAt(m.marker1Pos, m.marker1Flag))) {
        return;
    }
    const double level = m.marker1Level;
    // The level is in the unit of the trace it was read from, which a scale
    // changed since may no longer be.
    const MarkerScale shown = Scale();
    const bool linear = doc_.ReadTrace(
        [&shown](const ScreenState& screen) { return DrawnScale(screen, shown).linearScale; });
    if (const auto ref = ReferenceFromMarkerLevel(level, linear)) {
        doc_.EditSettings([&ref](InstrumentState& s) { s.refLevelDbm = *ref; });
        doc_.ApplyLevelPlan();
    }
}

void MarkerCommands::ThreeDbPoints() {
    const MarkerScale scale = Scale();
    if (scale.linearScale) {
        doc_.GetPrompter().Inform("Only available in LOG scale", "NOT IMPLEMENTED");
        return;
    }
    doc_.EditMarkers([&shown = scale](MarkerState& m, const ScreenState& screen) {
        const MarkerScale& scale = DrawnScale(screen, shown);
        const Rows& rows = screen.trace.traceA;
        const int peak = LeftmostLowestRow(rows);
        const double threshold = rows[peak] + kThreeDbRowsPerDbPerDiv / scale.dbPerDiv;
        const int left = LeftThreeDbEdge(rows, peak, threshold);
        const int right = RightThreeDbEdge(rows, peak, threshold);
        // Both levels carry the reference level offset, like every other
        // marker level, so the delta stays right after marker 1 follows the
        // next sweep.
        m.marker1Pos = scale.PositionOfColumn(left);
        m.marker1Level = scale.LevelOfRow(rows[left]);
        m.marker1Flag = RowFlag(screen, rows[left]);
        m.marker2Pos = scale.PositionOfColumn(right);
        m.marker2Level = scale.LevelOfRow(rows[right]);
        m.marker2Flag = RowFlag(screen, rows[right]);
        m.marker1On = 1;
        m.marker2On = 1;
        m.marker2Active = 0;
        m.markerDelta = 1;
        m.extra.active = 0;
    });
}

void MarkerCommands::SetMarkerFreq(double position) {
    if (!std::isfinite(position)) {
        return;
    }
    const MarkerScale scale = Scale();
    doc_.EditMarkers([&scale, position](MarkerState& m, const ScreenState& screen) {
        m.marker1Pos = position;
        m.marker2Active = 0;
        m.marker1On = 1;
        m.extra.active = 0;
        RefreshLevel(m, screen, scale);
    });
}

void MarkerCommands::RefreshMarkerLevel() {
    const MarkerScale scale = Scale();
    doc_.EditMarkers(
        [&scale](MarkerState& m, const ScreenState& screen) { RefreshLevel(m, screen, scale); },
        Repaint::Deferred);
}

void MarkerCommands::RefreshLevel(MarkerState& m, const ScreenState& screen,
                                  const MarkerScale& shown) {
    // A marker off the screen keeps its position; the edge column under it
    // is no reading of it.
    for (ExtraMarker& marker : m.extra.markers) {
        if (marker.on) {
            ReadInto(marker, screen, shown);
        }
    }
    if (m.marker2Active != 0) {
        m.marker2Level = LevelAt(screen, shown, m.marker2Pos);
        m.marker2Flag = FlagAt(screen, shown, m.marker2Pos);
    } else if (m.marker1On != 0) {
        m.marker1Level = LevelAt(screen, shown, m.marker1Pos);
        m.marker1Flag = FlagAt(screen, shown, m.marker1Pos);
    }
}

// A marker turned on anew stands at the centre of the screen, as NORMAL
// puts marker 1.
void MarkerCommands::ActivateMarker(int number) {
    const MarkerScale scale = Scale();
    doc_.EditMarkers([&scale, number](MarkerState& m, const ScreenState& screen) {
        if (ExtraMarkers::Holds(number)) {
            ExtraMarker& marker = m.extra.Of(number);
            if (!marker.on) {
                marker.on = true;
                marker.position = scale.PositionOfColumn(MarkerScale::kCenterColumn);
                ReadInto(marker, screen, scale);
            }
            m.extra.active = number;
            return;
        }
        m.extra.active = 0;
        m.marker2Active = number == 2 ? 1 : 0;
        int& on = number == 2 ? m.marker2On : m.marker1On;
        if (on == 0) {
            on = 1;
            RefreshLevel(m, screen, scale);
        }
    });
}

void MarkerCommands::ExtraMarkerOff(int number) {
    if (!ExtraMarkers::Holds(number)) {
        return;
    }
    doc_.EditMarkers([number](MarkerState& m, const ScreenState&) {
        m.extra.Of(number).on = false;
        if (m.extra.active == number) {
            m.extra.active = 0;
        }
    });
}

void MarkerCommands::PlaceExtraMarker(int number, double position) {
    if (!ExtraMarkers::Holds(number) || !std::isfinite(position)) {
        return;
    }
    const MarkerScale scale = Scale();
    doc_.EditMarkers([&scale, number, position](MarkerState& m, const ScreenState& screen) {
        ExtraMarker& marker = m.extra.Of(number);
        marker.on = true;
        marker.position = position;
        ReadInto(marker, screen, scale);
    });
}

void MarkerCommands::RestoreExtraMarkers(const ExtraMarkers& kept) {
    const MarkerScale scale = Scale();
    doc_.EditMarkers([&scale, &kept](MarkerState& m, const ScreenState& screen) {
        for (int n = ExtraMarkers::kFirst; n <= ExtraMarkers::kLast; ++n) {
            const ExtraMarker& from = kept.Of(n);
            ExtraMarker& marker = m.extra.Of(n);
            marker.on = from.on && std::isfinite(from.position);
            marker.position = marker.on ? from.position : 0.0;
            ReadInto(marker, screen, scale);
        }
        m.extra.active = 0;
    });
}

}  // namespace tavlin
