#pragma once

#include "document/level_rows.h"
#include "document/marker_scale.h"

namespace tavlin {

// What turns a trace's rows back into power against frequency: the band and
// scale the sweep drew them with, and the noise bandwidth of the resolution
// filter they came through. Published with the rows, under the same lock.
struct TraceBasis {
    MarkerScale scale;
    double noiseBandwidthHz = 0.0;  // 0: the trace cannot be integrated (wide sweep, zero span)
    // False for rows put on the screen as they are to be drawn (the floor
    // after a preset, a utility's own plot): those follow whatever is shown.
    bool measured = false;
    bool ifCompressed = false;  // the sweep overdrove the IF: no level of it is true
    // How each row came from the filter's output, which decides whether noise
    // read off the trace is its power: the mean power of the pixel's FFT bins
    // (the RMS detector) or the strongest of them; averaged over sweeps in
    // the screen's unit (dB or mV), or held at its maximum or minimum.
    bool powerMeanRows = false;
    bool averagedOverSweeps = false;
    bool heldOverSweeps = false;

    static TraceBasis MeasuredOn(const MarkerScale& scale) {
        TraceBasis basis;
        basis.scale = scale;
        basis.measured = true;
        return basis;
    }
};

// The rows as they belong on the screen `shown`: moved to its band and scale
// when they were measured under another, gaps (kNoRow) where they say
// nothing.
ScreenRows RowsShownOn(const ScreenRows& rows, const TraceBasis& basis, const MarkerScale& shown);

// A marker level read from rows of `basis` is in the unit of that basis:
// on a screen of another unit it is stale.
bool LevelsStaleOn(const TraceBasis& basis, const MarkerScale& shown);

}  // namespace tavlin
