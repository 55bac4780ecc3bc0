#include "document/marker_scale.h"

#include <cmath>

#include "base/field_count.h"
#include "document/instrument_state.h"

namespace tavlin {

namespace {

constexpr double kColumns = 640.0;
constexpr double kZeroMvRow = 500.0;  // the bottom line
constexpr double kFmCentreRow = 250.0;
constexpr double kDbPerRowPerDbPerDiv = 0.02;  // 50 rows a division
constexpr double kMvPerRowPerMvRef = 0.002;    // 500 rows from the reference to 0 mV

}  // namespace

double DbmToMillivolts(double dbm) {
    return 1000.0 * std::pow(10.0, (dbm - 10.0 * std::log10(20.0)) / 20.0);
}

// A field added to either side stops the build here: decide whether a marker
// position or level depends on it, copy it below, then update the count.
static_assert(FieldCount<InstrumentState>() == 51,
              "InstrumentState changed: does a marker position or level depend on the new "
              "field? Copy it in MarkerScale::From, then update this count");
static_assert(FieldCount<MarkerScale>() == 10,
              "MarkerScale changed: fill the new field in MarkerScale::From, then update "
              "this count");

MarkerScale MarkerScale::From(const InstrumentState& state) {
    MarkerScale scale;
    scale.startHz = state.startFreqHz;
    scale.stopHz = state.stopFreqHz;
    scale.sweepTimeSec = state.sweepTimeSec;
    scale.refLevelDbm = state.refLevelDbm;
    scale.refLevelOffsetDb = state.refLevelOffsetDb;
    scale.dbPerDiv = state.dbPerDiv;
    scale.maxFmOffsetHz = state.maxFmOffsetHz;
    scale.freqOffsetHz = state.freqOffsetHz;
    scale.linearScale = state.linearScale != 0;
    scale.zeroSpanFm = state.zeroSpanFm != 0;
    return scale;
}

int MarkerScale::ColumnOfPosition(double position) const {
    double column = 0.0;
    if (ZeroSpan()) {
        // Position in ms, sweep time in s: 640 columns over the sweep.
        if (!(sweepTimeSec > 0.0)) {
            return 0;  // a sweep of no length has every time at its start
        }
        column = 0.64 * position / sweepTimeSec;
    } else {
        column = (position - startHz) * kColumns / SpanHz();
    }
    // Clamp while still in floating point: a position far off screen (or not
    // a number) must not reach the integer conversion.
    if (!(column > 0.0)) {
        return 0;
    }
    if (column >= kColumns) {
        return kLastColumn;
    }
    return static_cast<int>(column);
}

bool MarkerScale::Shows(double position) const {
    double column = 0.0;
    if (ZeroSpan()) {
        column = sweepTimeSec > 0.0 ? 0.64 * position / sweepTimeSec : 0.0;
    } else {
        column = (position - startHz) * kColumns / SpanHz();
    }
    return column >= -0.5 && column <= kColumns + 0.5;
}

double MarkerScale::PositionOfColumn(int column) const {
    if (ZeroSpan()) {
        return column * sweepTimeSec / 0.64;
    }
    return startHz + SpanHz() * column / kColumns;
}

double MarkerScale::LevelOfRow(double row) const {
    if (FmDeviation()) {
        return (kFmCentreRow - row) * maxFmOffsetHz / kFmCentreRow;
    }
    if (linearScale) {
        return DbmToMillivolts(ReferenceDbm()) * kMvPerRowPerMvRef * (kZeroMvRow - row);
    }
    return ReferenceDbm() - dbPerDiv * row * kDbPerRowPerDbPerDiv;
}

}  // namespace tavlin
