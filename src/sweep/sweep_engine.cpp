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
    : capture_{std::vector<std::int32_t>(kCaptureCapacity),
               std::vector<std::int32_t>(kCaptureCapacity)},
      fftSweep_(std::make_unique<FftSweep>()),
      narrowFftSweep_(std::make_unique<NarrowFftSweep>()),
      stepSweep_(std::make_unique<StepSweep>()),
      wideSweep_(std::make_unique<WideSweep>()),
      zeroSpanSweep_(std::make_unique<ZeroSpanSweep>()) {
    ResetWorkingValues();
}

SweepEngine::~SweepEngine() = default;

void SweepEngine::ResetWorkingValues() {
    windowType_ = 0;
    peakFreqHint_ = -1.0;
    ForgetLoPlan();
}

void SweepEngine::ForgetLoPlan() {
    loPlan_.startHz = -1.0;
    loPlan_.stopHz = -1.0;
}

SweepPlan SweepEngine::PlanInForce() const {
    SweepPlan plan;
    plan.clockMode = clockMode_;
    plan.receiver = receiver_;
    plan.windowType = windowType_;
    plan.ifInUse = receiver_.ifFreq1Hz;
    plan.lo1 = loPlan_.lo1;
    plan.lo2 = loPlan_.lo2;
    plan.lo2SecondIf = loPlan_.lo2SecondIf;
    plan.lo1ErrorHz = lo1ErrorHz_.load();
    plan.lo2ErrorHz = lo2ErrorHz_.load();
    return plan;
}

LoTuning SweepEngine::Tuning() const {
    return {clockMode_, lo1ErrorHz_.load(), loPlan_.lo1.highSide, loPlan_.lo2SecondIf};
}

void SweepEngine::BeginSweep(SweepContext& context) const {
    context.plan = PlanInForce();
    context.plan.startHz = context.settings.startHz;
    context.plan.stopHz = context.settings.stopHz;
}

SweepPlan SweepEngine::PrepareSweep(SweepContext& context) {
    BeginSweep(context);
    const SweepSettings& settings = context.settings;
    const double span = settings.SpanHz();
    const double clockFreq = span <= kClockChoiceSpanHz ? settings.CenterHz() : kWideClockFreqHz;
    if (ChooseSampleClock(clockFreq, context)) {
        context.link.SendClockMode(clockMode_);
    }
    if (span > kFftSpanHz || span < kNarrowSpanHz) {
        ForgetLoPlan();
    }
    return context.plan;
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
        peakFreqHint_ = -1.0;
    }
}

void SweepEngine::PerformNarrowFftSweep(SweepContext& context) {
    BeginSweep(context);
    ForgetLoPlan();
    narrowFftSweep_->Run(context);
}

}  // namespace tavlin
