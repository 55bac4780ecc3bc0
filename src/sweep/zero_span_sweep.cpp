#include "sweep/zero_span_sweep.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>

#include "device/device_link.h"
#include "dsp/dsp_primitives.h"
#include "ports/clock.h"
#include "ports/prompter.h"
#include "sweep/amplitude_correction.h"
#include "sweep/if_path_response.h"
#include "sweep/iq_capture_offer.h"
#include "sweep/spectrum_rows.h"
#include "sweep/sweep_engine.h"

namespace tavlin {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kPowerFullScale = 1073741824.0;  // 2^30: (2^15)^2 for each of I and Q
constexpr double kRbwNumeratorHz = 240000.0;
constexpr double kCentreRow = 250.0;
constexpr int kRetryPauseMs = 100;

constexpr const char* kBufferText =
    "Invalid combination of Max deviation\r\nand sweep time.  Insufficient buffer";
constexpr const char* kBufferCaption = "SWEEP TIME ADJUSTED";
constexpr const char* kNoDataText = "Error 5 - USB Data Not Received";
constexpr const char* kNoDataCaption = "ERROR--TRY AGAIN";

void StoreSweepTime(SweepContext& context, double sweepTimeSec) {
    context.outcome.sweepTimeSet = true;
    context.outcome.sweepTimeSec = sweepTimeSec;
}

bool VideoTriggerOn(SweepContext& context) {
    return context.videoTriggerOn();
}

bool StopRequested(const SweepContext& context) {
    return context.stopRequest.load() != 0;
}

constexpr int kTrigInMode = 3;

// Says on screen that the capture waits for a trigger, for as long as it does.
class TriggerWaitNotice {
  public:
    TriggerWaitNotice(SweepContext& context, bool waits)
        : show_(waits ? context.showTriggerWait : nullptr) {
        if (show_) {
            show_(true);
        }
    }
    ~TriggerWaitNotice() {
        if (show_) {
            show_(false);
        }
    }
    TriggerWaitNotice(const TriggerWaitNotice&) = delete;
    TriggerWaitNotice& operator=(const TriggerWaitNotice&) = delete;

  private:
    std::function<void(bool)> show_;
};

// Row of an FM deviation: 250 at none, 0 at +maxOffset, 500 at -maxOffset.
double FmRow(double deviationHz, double maxOffsetHz) {
    return (1.0 - deviationHz / maxOffsetHz) * kCentreRow;
}

}  // namespace

ZeroSpanSweep::ZeroSpanSweep() : series_(SweepEngine::kCaptureCapacity), taps_(kSmoothingTaps) {}

ZeroSpanSweep::~ZeroSpanSweep() = default;

void ZeroSpanSweep::Run(SweepContext& context) {
    const SweepSettings& settings = context.settings;
    context.plan.startHz = settings.startHz;
    context.plan.stopHz = settings.stopHz;
    // The 10.7 MHz path: a utility or an interrupted image pass may have
    // left the 2.9 MHz one selected.
    context.link.SetIfPath(0);
    context.plan.ifInUse = context.plan.receiver.ifFreq1Hz;
    context.engine.PlanLocalOscillators(context);

    // A sweep time left from a swept span (up to the 2.2 s preset, or
    // whatever the last pass measured) would ask for more decimation than
    // the instrument has: the zero-span range holds here however the span
    // became zero, and is kept for the next pass and the annotation.
    const double sweepTimeSec = ClampZeroSpanSweepTime(settings.sweepTimeSec);
    if (sweepTimeSec != settings.sweepTimeSec) {
        StoreSweepTime(context, sweepTimeSec);
    }
    if (settings.zeroSpanFm) {
        RunFm(context, sweepTimeSec);
    } else {
        RunAm(context, sweepTimeSec);
    }
}

void ZeroSpanSweep::UseDecimation(SweepContext& context, int decimation) {
    context.plan.decimation = decimation;
    context.link.SetDecimation(decimation);
    context.outcome.rbwSet = true;
    context.outcome.rbwHz = kRbwNumeratorHz / decimation;
}

void ZeroSpanSweep::RunFm(SweepContext& context, double sweepTimeSec) {
    const double maxOffsetHz = UsableMaxFmOffset(context.settings.maxFmOffsetHz);
    const ZeroSpanCapturePlan plan =
        PlanFmCapture(sweepTimeSec, maxOffsetHz, context.plan.receiver.sampleRateHz);
    if (plan.sweepTimeShortened) {
        context.prompter.Inform(kBufferText, kBufferCaption);
        StoreSweepTime(context, plan.sweepTimeSec);
    }
    UseDecimation(context, plan.decimation);
    if (Acquire(context, plan.captureLength, false) == Acquisition::kAbandoned) {
        return;
    }
    DemodulateFm(context, plan.decimation, plan.captureLength);
    SmoothFm(plan.samples, plan.captureLength);
    DrawFmRows(context, plan, maxOffsetHz);
}

void ZeroSpanSweep::RunAm(SweepContext& context, double sweepTimeSec) {
    const ZeroSpanCapturePlan plan = PlanAmCapture(sweepTimeSec);
    UseDecimation(context, plan.decimation);
    if (Acquire(context, plan.captureLength, true) == Acquisition::kAbandoned) {
        return;
    }
    DetectPower(context, plan.captureLength);
    DrawAmRows(context, plan);
}

void ZeroSpanSweep::OfferCapture(const SweepContext& context, int samples) {
    OfferTunedCapture(context, context.engine.Capture().i.data(), context.engine.Capture().q.data(),
                      samples, context.settings.startHz, context.plan.decimation, false);
}

int ZeroSpanSweep::ReadCapture(SweepContext& context, int samples) {
    return context.link.ReadSweepSamples(context.engine.Capture().i, context.engine.Capture().q,
                                         samples);
}

// A failed plain capture is reported once and the rows are drawn from what
// the buffers hold. A capture that failed because a stop was requested (a
// TRIG IN wait given up) is no fault: the sweep ends with the previous rows.
ZeroSpanSweep::Acquisition ZeroSpanSweep::Acquire(SweepContext& context, int samples,
                                                  bool retryOnce) {
    const TriggerWaitNotice notice(
        context, VideoTriggerOn(context) || context.settings.syncTrigMode == kTrigInMode);
    if (VideoTriggerOn(context)) {
        switch (triggeredCapture_.Capture(context, samples)) {
            case TriggeredCapture::Result::kCaptured:
                OfferCapture(context, samples);
                return Acquisition::kCaptured;
            case TriggeredCapture::Result::kStopped:
                return Acquisition::kAbandoned;
            case TriggeredCapture::Result::kTimedOut:
                return Acquisition::kFailed;
        }
    }
    int result = ReadCapture(context, samples);
    if (result != kLinkOk && retryOnce && !StopRequested(context)) {
        context.clock.SleepMs(kRetryPauseMs);
        context.link.PurgeBoth();
        result = ReadCapture(context, samples);
    }
    if (result == kLinkOk) {
        OfferCapture(context, samples);
        return Acquisition::kCaptured;
    }
    if (StopRequested(context)) {
        return Acquisition::kAbandoned;
    }
    context.prompter.Inform(kNoDataText, kNoDataCaption);
    return Acquisition::kFailed;
}

// Instantaneous frequency from the phase step between samples, less the
// step the residual LO error adds. Clock mode 1 delivers the spectrum
// mirrored, so both the error and the deviation change sign there.
void ZeroSpanSweep::DemodulateFm(const SweepContext& context, int decimation, int samples) {
    const bool inverted = context.plan.clockMode == 1;
    const double rateHz = context.plan.receiver.sampleRateHz / decimation;
    double omega = kTwoPi * context.plan.lo1ErrorHz / rateHz;
    if (inverted) {
        omega = -omega;
    }
    const std::int32_t* i = context.engine.Capture().i.data();
    const std::int32_t* q = context.engine.Capture().q.data();
    double previous = 0.0;
    for (int n = 0; n < samples; ++n) {
        const double phase = std::atan2(static_cast<double>(q[n]), static_cast<double>(i[n]));
        double step = previous - phase + omega;
        if (step > std::numbers::pi) {
            step -= kTwoPi;
        }
        if (step < -std::numbers::pi) {
            step += kTwoPi;
        }
        previous = phase;
        const double deviationHz = step / kTwoPi * rateHz;
        series_[n] = inverted ? deviationHz : -deviationHz;
    }
}

void ZeroSpanSweep::SmoothFm(double samplesPerSweep, int samples) {
    const double cutoff = FmSmoothingCutoff(samplesPerSweep);
    if (!FmNeedsSmoothing(cutoff)) {
        return;
    }
    DesignLowPass(cutoff, kSmoothingTaps, taps_);
    FilterFir(static_cast<std::size_t>(samples), kSmoothingTaps, series_, taps_);
}

void ZeroSpanSweep::DrawFmRows(SweepContext& context, const ZeroSpanCapturePlan& plan,
                               double maxOffsetHz) {
    for (int pixel = 0; pixel < kTracePoints; ++pixel) {
        const SeriesPosition at =
            PixelSamplePosition(context.plan.receiver.sampleRateHz, plan.sweepTimeSec,
                                plan.decimation, pixel, kFmSettlingSamples, plan.captureLength);
        const double e = at.fraction;
        const double row = (1.0 - e) * FmRow(series_[at.index], maxOffsetHz) +
                           e * FmRow(series_[at.index + 1], maxOffsetHz);
        SetRow(context.trace, pixel, ClampRow(row));
    }
}

// Power relative to full scale; I^2 + Q^2 reaches 2^31 at full scale, past
// the range of a 32-bit sum.
void ZeroSpanSweep::DetectPower(const SweepContext& context, int samples) {
    const std::int32_t* i = context.engine.Capture().i.data();
    const std::int32_t* q = context.engine.Capture().q.data();
    for (int n = 0; n < samples; ++n) {
        const std::int64_t re = i[n];
        const std::int64_t im = q[n];
        series_[n] = static_cast<double>(re * re + im * im) / kPowerFullScale;
    }
}

// The power is corrected as the spectrum kinds correct the bin of a signal
// at the tuned frequency: for the front end, and for the IF filter and the
// sampler's droop where the signal sits, the LO's residual error from the IF
// centre (the droop alone is -0.6 dB there).
void ZeroSpanSweep::DrawAmRows(SweepContext& context, const ZeroSpanCapturePlan& plan) {
    const SweepSettings& settings = context.settings;
    const double frontEndDb =
        AmplitudeCorrection(context.cal,
                            LevelSettings{settings.attenDb, settings.gainMode,
                                          settings.preampAvailable, settings.preampOn},
                            settings.startHz);
    const double ifPathFactor = TunedIfPathPowerFactor(
        context.cal, plan.decimation, context.plan.ifInUse, context.plan.lo1ErrorHz);
    const double correctionDb = frontEndDb + 10.0 * std::log10(ifPathFactor);
    for (int pixel = 0; pixel < kTracePoints; ++pixel) {
        const SeriesPosition at =
            PixelSamplePosition(context.plan.receiver.sampleRateHz, plan.sweepTimeSec,
                                plan.decimation, pixel, 0, plan.captureLength);
        const double e = at.fraction;
        const double row = (1.0 - e) * ToScreenRow(series_[at.index], correctionDb, settings) +
                           e * ToScreenRow(series_[at.index + 1], correctionDb, settings);
        SetRow(context.trace, pixel, ClampRow(row));
    }
}

}  // namespace tavlin
