#pragma once

#include <atomic>
#include <functional>

#include "base/reading_flag.h"

#include "sweep/sweep_plan.h"
#include "sweep/sweep_settings.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

class CalTable;
class Clock;
class DeviceLink;
class IqCaptureTap;
class ProgressSink;
class Prompter;
class SweepEngine;

// What a sweep produced besides the trace rows; whoever started the sweep
// writes these back into its settings when the sweep kind returns.
struct SweepOutcome {
    bool rbwSet = false;
    double rbwHz = 0.0;
    bool counterSet = false;
    double counterFreqHz = 0.0;
    ReadingFlag counterFlag = ReadingFlag::kNone;  // kBelowNoise: it counted noise
    bool sweepTimeSet = false;                     // zero span rewrote or clamped its time
    double sweepTimeSec = 0.0;
    // Noise bandwidth of the resolution filter the trace was drawn through,
    // for integrating power over a band of the trace; 0 where the sweep kind
    // has none (wide sweep, zero span).
    double noiseBandwidthHz = 0.0;
    bool gainModeSet = false;  // the wide sweep and the 2.9 MHz image pass choose it
    int gainMode = 1;
    // A capture came near the sampler's full scale: the IF may have been in
    // compression, so no level of this sweep is true.
    bool ifCompressed = false;
    // The link failed during the sweep (a write refused, a capture refused,
    // a block or reply that never came): some rows stand for no data.
    bool incomplete = false;
};

// Everything one sweep kind works with. The settings are the copy taken when
// the sweep started; the trace holds the previous rows on entry (averaging and
// max hold read them) and the new rows on return.
struct SweepContext {
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

    // The video trigger is read while the capture waits, not from the copy:
    // the panel may switch it off to release a sweep that waits for ever.
    std::function<bool()> videoTriggerOn;
    // Advances the running video average (n = min(index + 1, count)) and
    // returns n. It reads the live index, which choosing a count restarts
    // even while a sweep runs.
    std::function<int()> advanceVideoAverage;
    // Told when a capture begins and ends waiting for a trigger (the video
    // trigger, or TRIG IN at the unit's input), so the screen can say so;
    // may be empty.
    std::function<void(bool)> showTriggerWait = nullptr;

    // The plan of this sweep: what preparing it chose, then what the sweep
    // kind planned on top (LOs, IF, resolution). The engine fills it; the
    // sweep kinds read it.
    SweepPlan plan{};

    // Where the raw captures go while I/Q is being recorded; none otherwise.
    IqCaptureTap* iqTap = nullptr;
};

}  // namespace tavlin
