#pragma once

#include <array>
#include <string>

#include "base/reading_flag.h"
#include "document/trace_basis.h"
#include "document/trace_measurements.h"
#include "dsp/pixel_detector.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

struct InstrumentState;

// One complete sweep as a log keeps it: trace A in dBm with the flag of each
// point, the band at the converter's input, when the sweep ended and the
// settings it was swept with.
struct SweepRecord {
    double utcSec = 0.0;  // seconds since 1970-01-01 UTC
    double startHz = 0.0;
    double stopHz = 0.0;  // equal to startHz in zero span
    bool zeroSpan = false;
    double sweepTimeSec = 0.0;
    double rbwHz = 0.0;
    double refLevelDbm = 0.0;  // with the reference level offset
    double attenDb = 0.0;
    Detector detector = Detector::kPeak;  // what each point made of the readings it covers
    std::string traceMode;                // "NORMAL", "MAX HOLD", "MIN HOLD" or "AVERAGE n"
    int videoAverage = 1;
    std::string serial;
    std::array<float, kTracePoints> levelsDbm{};
    // kNone for a measured level; kAboveScreen or kBelowScreen when the row
    // lay off the graticule (the level is a bound); kOverRange for every
    // point of a sweep that overdrove the IF.
    std::array<ReadingFlag, kTracePoints> flags{};
};

// The record of rows published with `basis` under `settings`. None of the
// FM detector's rows: they are deviation, not level.
bool MakeSweepRecord(const TraceBasis& basis, const TraceRows& rows,
                     const InstrumentState& settings, double utcSec, SweepRecord& record);

}  // namespace tavlin
