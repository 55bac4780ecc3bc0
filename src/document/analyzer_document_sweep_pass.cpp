// One sweep of the document's settings: the context the sweep kinds work in,
// and the publishing of what they produced.
#include "document/analyzer_document.h"

namespace tavlin {

void AnalyzerDocument::PerformSweep() {
    const SweepSettings settings = TakeSweepSettings();
    SweepOutcome outcome;
    SweepContext context = BeginSweepContext(settings, outcome);
    engine.PrepareSweep(context);
    // The receiver constants of the clock mode chosen are the document's at
    // once: the trigger level entry reads them, also while this sweep waits
    // for a trigger.
    EditSettingsQuietly([&context](InstrumentState& s) {
        s.sampleRateHz = context.sampleRateHz;
        s.ifFreq1Hz = context.ifFreq1Hz;
        s.ifFreq2Hz = context.ifFreq2Hz;
    });
    engine.SweepBySpan(context);
    PublishSweep(context);
}

void AnalyzerDocument::PerformNarrowFftSweep() {
    const SweepSettings settings = TakeSweepSettings();
    SweepOutcome outcome;
    SweepContext context = BeginSweepContext(settings, outcome);
    engine.PerformNarrowFftSweep(context);
    PublishSweep(context);
}

// Every sweep starts from the trace on screen (averaging and max hold build
// on it) and from the receiver constants of the clock mode in force.
SweepContext AnalyzerDocument::BeginSweepContext(const SweepSettings& settings,
                                                 SweepOutcome& outcome) {
    {
        std::lock_guard lock(traceMutex_);
        sweepTrace_ = screen_.trace;
        sweepEpoch_ = screenEpoch_.load();
    }
    SweepContext context{
        engine,
        link,
        calTable,
        prompter_,
        progress_,
        clock_,
        stopRequest,
        settings,
        sweepTrace_,
        outcome,
        [this] { return ReadSettings([](const InstrumentState& s) { return s.videoTrigger; }); },
        [this] { return AdvanceVideoAverage(); },
        [this](bool waiting) {
            triggerWaiting_ = waiting;
            views_.UpdateAllViews();
        },
    };
    ReadSettings([&context](const InstrumentState& s) {
        context.sampleRateHz = s.sampleRateHz;
        context.ifFreq1Hz = s.ifFreq1Hz;
        context.ifFreq2Hz = s.ifFreq2Hz;
        return 0;
    });
    return context;
}

void AnalyzerDocument::PublishSweep(const SweepContext& context) {
    {
        std::lock_guard lock(traceMutex_);
        if (screenEpoch_.load() != sweepEpoch_) {
            return;
        }
        screen_.trace.traceA = sweepTrace_.traceA;
        screen_.trace.traceAInt = sweepTrace_.traceAInt;
    }
    const SweepOutcome& outcome = context.outcome;
    EditSettingsQuietly([&outcome](InstrumentState& s) {
        if (outcome.rbwSet) {
            s.rbwHz = outcome.rbwHz;
        }
        if (outcome.counterSet) {
            s.counterFreqHz = outcome.counterFreqHz;
        }
        if (outcome.sweepTimeSet) {
            s.sweepTimeSec = outcome.sweepTimeSec;
        }
        if (outcome.gainModeSet) {
            s.gainMode = outcome.gainMode;
        }
    });
}

}  // namespace tavlin
