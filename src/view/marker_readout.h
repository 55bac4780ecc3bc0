#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/reading_flag.h"
#include "document/marker_scale.h"
#include "document/marker_state.h"
#include "view/level_display.h"

namespace tavlin {

// The marker readout line drawn above the graticule and the cursor readout
// of the status bar, for one copy of the settings.
//
// Frequencies of a single marker are shown with the downconverter offset;
// the unit (GHz, MHz, KHz, Hz) is chosen by the magnitude. Times (zero span)
// are shown in milliseconds, without offset.
class MarkerReadout {
  public:
    // `levelFlag` qualifies every marker level: a stale one shows the flag's
    // word in place of the number. `levels` gives the unit and transducer.
    explicit MarkerReadout(const MarkerScale& scale, ReadingFlag levelFlag = ReadingFlag::kNone,
                           LevelDisplay levels = {})
        : scale_(scale), levelFlag_(levelFlag), levels_(std::move(levels)) {}

    // Empty when no marker is on. Marker 1's text ends in three blanks,
    // which separate it from marker 2's or the delta's.
    std::string Line(const MarkerState& markers) const;
    // Markers 3 to 6 that are on, two to a line in the form of marker 2's
    // text, so that a line is about as wide as that of markers 1 and 2; none
    // when all are off.
    std::vector<std::string> ExtraLines(const MarkerState& markers) const;
    // The pointer over graticule column `column`, whose level is `level`.
    // `flag` is the level's own (the screen edge's bound, over range).
    std::string Cursor(int column, double level, ReadingFlag flag = ReadingFlag::kNone) const;
    // The flag of `other`'s level less `reference`'s: a bound of either
    // reading bounds the difference, opposite bounds leave it unknown.
    static ReadingFlag DifferenceFlag(ReadingFlag reference, ReadingFlag other);

  private:
    std::string Marker1Text(const MarkerState& markers) const;
    std::string DeltaText(const MarkerState& markers) const;
    std::string Marker2Text(const MarkerState& markers) const;
    // "MKR n: <position>, <level>" of one marker but marker 1.
    std::string SingleText(int number, double position, double level, ReadingFlag own) const;
    // "dBm", or "mV " on the linear scale.
    const char* LevelUnit() const;
    // "<level> <unit>" of a marker at `position`, or the flag's word.
    std::string Reading(double position, double level, ReadingFlag flag) const;
    // The transducer's factor at marker 2 less that at marker 1.
    double FactorDifference(const MarkerState& markers) const;

    MarkerScale scale_;
    ReadingFlag levelFlag_;
    LevelDisplay levels_;
};

}  // namespace tavlin
