#pragma once

#include "base/reading_flag.h"
#include "document/extra_markers.h"

namespace tavlin {

struct MarkerState {
    int marker1On = 0;
    int marker2On = 0;
    int marker2Active = 0;
    int markerDelta = 0;
    double marker1Pos = 0.0;  // Hz without the downconverter offset; ms in zero span
    double marker2Pos = 0.0;
    double marker1Level = 0.0;  // dBm with the ref level offset; mV on LIN; Hz in FM
    double marker2Level = 0.0;
    // Why a level cannot be taken at face value: read off the screen's edge,
    // or at a position the sweep did not cover. State files do not carry it.
    ReadingFlag marker1Flag = ReadingFlag::kNone;
    ReadingFlag marker2Flag = ReadingFlag::kNone;
    ExtraMarkers extra{};  // markers 3 to 6: state files do not carry them

    // The active marker, the one the peak searches and a click move.
    bool ActiveOn() const {
        if (extra.active != 0) {
            return extra.Of(extra.active).on;
        }
        return (marker2Active != 0 ? marker2On : marker1On) != 0;
    }
    double ActivePosition() const {
        if (extra.active != 0) {
            return extra.Of(extra.active).position;
        }
        return marker2Active != 0 ? marker2Pos : marker1Pos;
    }
    int ActiveNumber() const {
        if (extra.active != 0) {
            return extra.active;
        }
        return marker2Active != 0 ? 2 : 1;
    }
};

}  // namespace tavlin
