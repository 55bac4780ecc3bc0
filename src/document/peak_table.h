#pragma once

#include <vector>

#include "base/reading_flag.h"
#include "document/marker_scale.h"
#include "document/trace_measurements.h"

namespace tavlin {

struct PeakTableSettings {
    int count = 10;
    // In the screen's level unit: dBm, or mV on the linear scale.
    double threshold = -100.0;
    // How far a peak stands above the trace on each side before the trace
    // rises higher; on the linear screen, where rows are no decibels, three
    // fifths of a division as NEXT PEAK takes.
    double excursionDb = 6.0;
};

struct PeakTableRow {
    double position = 0.0;  // Hz without the downconverter offset
    double level = 0.0;     // in the unit of `drawn`
    ReadingFlag flag = ReadingFlag::kNone;
};

// The `count` highest peaks of the rows drawn on `drawn` at or above the
// threshold, highest first (equal levels: the lower frequency first). A
// peak on the screen's top row is flagged as at least its level; every peak
// of a sweep that overdrove the IF is over range.
std::vector<PeakTableRow> FindPeakTable(const TraceRows& rows, const MarkerScale& drawn,
                                        bool ifCompressed, const PeakTableSettings& settings);

}  // namespace tavlin
