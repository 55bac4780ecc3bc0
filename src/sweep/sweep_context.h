#pragma once

#include <atomic>

#include "sweep/sweep_settings.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

class CalTable;
class Clock;
class DeviceLink;
class ProgressSink;
class Prompter;
class SweepEngine;
class AnalyzerDocument;

// What a sweep produced besides the trace rows; the engine writes these back
// into the document when the sweep kind returns.
struct SweepOutcome {
    bool rbwSet = false;
    double rbwHz = 0.0;
    bool counterSet = false;
    double counterFreqHz = 0.0;
    bool sweepTimeSet = false;  // zero span rewrote or clamped its time
    double sweepTimeSec = 0.0;
    bool gainModeSet = false;  // the wide sweep and the 2.9 MHz image pass choose it
    int gainMode = 1;
};

// Everything one sweep kind works with. The settings are the copy taken when
// the sweep started; the trace holds the previous rows on entry (averaging and
// max hold read them) and the new rows on return.
struct SweepContext {
    AnalyzerDocument& document;
    SweepEngine& engine;
    DeviceLink& link;
    const CalTable& cal;
    Prompter& prompter;
    ProgressSink& progress;
    Clock& clock;
    std::atomic<int>& stopRequest;
    const SweepSettings& settings;
    SweepTrace& trace;
    SweepOutcome& outcome;

    // The receiver constants of the sample-clock mode in force for this sweep.
    double sampleRateHz = 486111.1111;
    double ifFreq1Hz = 10694444.4444;
    double ifFreq2Hz = 2916666.6667;
};

}  // namespace tavlin
