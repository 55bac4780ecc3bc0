#pragma once

#include "base/reading_flag.h"
#include "document/downconverter_offset.h"
#include "sweep/sweep_settings.h"

namespace tavlin {

struct InstrumentState;

// dBm to millivolts RMS across 50 ohms.
double DbmToMillivolts(double dbm);

// The settings that turn a trace column into a marker position and a screen
// row into a marker level, copied from the document in one piece so that a
// marker never mixes a new span with an old start.
//
// Columns run 0 .. 640; rows are measured down from the reference level
// (row 0) to the bottom graticule line (row 500). A span below 1 Hz is zero
// span, where positions are times in milliseconds from the start of the sweep.
class MarkerScale {
  public:
    static constexpr int kLastColumn = 640;
    static constexpr int kCenterColumn = 320;

    // Call with the settings lock held (AnalyzerDocument::ReadSettings).
    static MarkerScale From(const InstrumentState& state);

    bool ZeroSpan() const { return IsZeroSpan(SpanHz()); }
    // The FM detector's deviation rows apply only while zero span is shown.
    bool FmDeviation() const { return ZeroSpan() && zeroSpanFm; }
    double SpanHz() const { return stopHz - startHz; }

    // The column a position falls on, clamped to the screen. Any position,
    // however far off screen or not finite, gives a column in 0 .. 640.
    int ColumnOfPosition(double position) const;
    // Hz, or milliseconds in zero span.
    double PositionOfColumn(int column) const;
    // Whether a position lies on the screen (within half a column of it).
    bool Shows(double position) const;
    // A marker's flag under these settings: off span when its position is
    // not on the screen, whatever was measured there before.
    ReadingFlag FlagAt(double position, ReadingFlag measured) const {
        return Shows(position) ? measured : ReadingFlag::kOffSpan;
    }
    // dBm with the reference level offset; mV on the linear scale; Hz of
    // deviation in zero-span FM.
    double LevelOfRow(double row) const;
    // The reference level with its offset, in dBm.
    double ReferenceDbm() const { return refLevelDbm + refLevelOffsetDb; }

    double startHz = 0.0;
    double stopHz = 0.0;
    double sweepTimeSec = 0.0;
    double refLevelDbm = 0.0;
    double refLevelOffsetDb = 0.0;
    double dbPerDiv = 10.0;
    double maxFmOffsetHz = 100000.0;
    double freqOffsetHz = 0.0;
    DownconverterOffset FreqOffset() const { return {freqOffsetHz}; }
    bool linearScale = false;
    bool zeroSpanFm = false;
};

}  // namespace tavlin
