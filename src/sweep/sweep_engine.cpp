#include "sweep/sweep_engine.h"

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
    peakFreqHint = -1.0;
    ifInUse = 10694444.444;
    ForgetLoPlan();
}

void SweepEngine::ForgetLoPlan() {
    plannedStartHz = -1.0;
    plannedStopHz = -1.0;
}

void SweepEngine::BeginSweep(const SweepContext& context) {
    sweepStartHz = context.settings.startHz;
    sweepStopHz = context.settings.stopHz;
}

SweepPlan SweepEngine::PrepareSweep(SweepContext& context) {
    BeginSweep(context);
    const SweepSettings& settings = context.settings;
    const double span = settings.SpanHz();
    const double clockFreq = span <= kClockChoiceSpanHz ? settings.CenterHz() : kWideClockFreqHz;
    if (ChooseSampleClock(clockFreq, context)) {
        context.link.SendClockMode(clockMode);
    }
    if (span > kFftSpanHz || span < kNarrowSpanHz) {
        ForgetLoPlan();
    }
    return {sweepStartHz, sweepStopHz, clockMode, receiver_};
}

void SweepEngine::SweepBySpan(SweepContext& context) {
    const SweepSettings& settings = context.settings;
    const double span = settings.SpanHz();
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
}

void SweepEngine::PerformNarrowFftSweep(SweepContext& context) {
    BeginSweep(context);
    ApplyReceiver(context);
    ForgetLoPlan();
    narrowFftSweep_->Run(context);
}

}  // namespace tavlin
