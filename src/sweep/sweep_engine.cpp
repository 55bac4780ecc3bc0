#include "sweep/sweep_engine.h"

#include <mutex>

#include "document/analyzer_document.h"
#include "sweep/fft_sweep.h"
#include "sweep/narrow_fft_sweep.h"
#include "sweep/step_sweep.h"
#include "sweep/wide_sweep.h"
#include "sweep/zero_span_sweep.h"

namespace tavlin {

namespace {

constexpr double kClockChoiceSpanHz = 100e3;
constexpr double kWideClockFreqHz = 1e6;
constexpr double kNarrowSpanHz = 150.0;
constexpr double kFftSpanHz = 200e3;
constexpr double kStepSpanHz = 200e6;

}  // namespace

SweepEngine::SweepEngine()
    : captureI(kCaptureCapacity),
      captureQ(kCaptureCapacity),
      fftSweep_(std::make_unique<FftSweep>()),
      narrowFftSweep_(std::make_unique<NarrowFftSweep>()),
      stepSweep_(std::make_unique<StepSweep>()),
      wideSweep_(std::make_unique<WideSweep>()),
      zeroSpanSweep_(std::make_unique<ZeroSpanSweep>()) {
    ResetWorkingValues();
}

SweepEngine::~SweepEngine() = default;

void SweepEngine::ResetWorkingValues() {
    windowType = 0;
    windowSize = 512;
    lowPassTapCount = 63;
    lowPassCutoff = 0.22;
    peakFreqHint = -1.0;
    ifInUse = 10694444.444;
    ForgetLoPlan();
}

void SweepEngine::ForgetLoPlan() {
    plannedStartHz = -1.0;
    plannedStopHz = -1.0;
}

SweepContext SweepEngine::MakeContext(AnalyzerDocument& document, const SweepSettings& settings,
                                      SweepOutcome& outcome) {
    SweepContext context{document,
                         *this,
                         document.link,
                         document.calTable,
                         document.GetPrompter(),
                         document.GetProgress(),
                         document.GetClock(),
                         document.stopRequest,
                         settings,
                         workTrace_,
                         outcome};
    document.ReadSettings([&context](const InstrumentState& state) {
        context.sampleRateHz = state.sampleRateHz;
        context.ifFreq1Hz = state.ifFreq1Hz;
        context.ifFreq2Hz = state.ifFreq2Hz;
        return 0;
    });
    return context;
}

// Every sweep starts from the document's settings of this moment and from the
// trace on screen (averaging and max hold build on it).
SweepContext SweepEngine::BeginSweep(AnalyzerDocument& document, const SweepSettings& settings,
                                     SweepOutcome& outcome) {
    {
        std::lock_guard lock(document.traceMutex);
        workTrace_ = document.trace;
    }
    sweepStartHz = settings.startHz;
    sweepStopHz = settings.stopHz;
    return MakeContext(document, settings, outcome);
}

void SweepEngine::PerformSweep(AnalyzerDocument& document) {
    const SweepSettings settings = document.TakeSweepSettings();
    SweepOutcome outcome;
    SweepContext context = BeginSweep(document, settings, outcome);
    const double span = settings.SpanHz();

    const double clockFreq = span <= kClockChoiceSpanHz ? settings.CenterHz() : kWideClockFreqHz;
    if (ChooseSampleClock(clockFreq, context)) {
        document.link.SendClockMode(clockMode);
    }
    if (span > kFftSpanHz || span < kNarrowSpanHz) {
        ForgetLoPlan();
    }

    if (settings.ZeroSpan()) {
        zeroSpanSweep_->Run(context);
    } else if (span < kNarrowSpanHz) {
        narrowFftSweep_->Run(context);
    } else if (span <= kFftSpanHz) {
        fftSweep_->Run(context);
    } else if (span <= kStepSpanHz) {
        stepSweep_->Run(context);
    } else {
        wideSweep_->Run(context);
    }
    if (span <= kStepSpanHz) {
        peakFreqHint = -1.0;
    }
    Publish(document, outcome);
    // Keep the receiver constants of the mode this sweep used.
    document.EditSettings([&context](InstrumentState& state) {
        state.sampleRateHz = context.sampleRateHz;
        state.ifFreq1Hz = context.ifFreq1Hz;
        state.ifFreq2Hz = context.ifFreq2Hz;
    });
}

void SweepEngine::PerformNarrowFftSweep(AnalyzerDocument& document) {
    const SweepSettings settings = document.TakeSweepSettings();
    SweepOutcome outcome;
    SweepContext context = BeginSweep(document, settings, outcome);
    narrowFftSweep_->Run(context);
    Publish(document, outcome);
}

void SweepEngine::Publish(AnalyzerDocument& document, const SweepOutcome& outcome) {
    {
        std::lock_guard lock(document.traceMutex);
        document.trace.traceA = workTrace_.traceA;
        document.trace.traceAInt = workTrace_.traceAInt;
    }
    document.EditSettings([&outcome](InstrumentState& state) {
        if (outcome.rbwSet) {
            state.rbwHz = outcome.rbwHz;
        }
        if (outcome.counterSet) {
            state.counterFreqHz = outcome.counterFreqHz;
        }
        if (outcome.sweepTimeSet) {
            state.sweepTimeSec = outcome.sweepTimeSec;
        }
        if (outcome.gainModeSet) {
            state.gainMode = outcome.gainMode;
        }
    });
}

}  // namespace tavlin
