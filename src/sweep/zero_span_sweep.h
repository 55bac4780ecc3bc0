#pragma once

#include <cstddef>
#include <vector>

#include "sweep/sweep_context.h"
#include "sweep/triggered_capture.h"
#include "sweep/zero_span_plan.h"

namespace tavlin {

// The sweep kind for spans below 1 Hz: the instrument stays tuned to the
// start frequency and the trace shows the detected power (AM) or the
// instantaneous frequency deviation (FM) across the sweep time. Its buffers
// are sized once, for the longest capture.
class ZeroSpanSweep {
  public:
    static constexpr std::size_t kSmoothingTaps = 255;

    ZeroSpanSweep();
    ~ZeroSpanSweep();
    void Run(SweepContext& context);

    // The demodulated series of the last sweep: Hz of deviation (FM) or power
    // relative to full scale (AM), one value per captured sample.
    const std::vector<double>& Series() const { return series_; }

  private:
    enum class Acquisition {
        kCaptured,
        kFailed,     // reported; rows are drawn from what the buffers hold
        kAbandoned,  // a stop request ended it: the previous rows stay
    };

    void RunFm(SweepContext& context, double sweepTimeSec);
    void RunAm(SweepContext& context, double sweepTimeSec);
    void UseDecimation(SweepContext& context, int decimation);
    Acquisition Acquire(SweepContext& context, int samples, bool retryOnce);
    static void OfferCapture(const SweepContext& context, int samples);
    int ReadCapture(SweepContext& context, int samples);
    void DemodulateFm(const SweepContext& context, int decimation, int samples);
    void DetectPower(const SweepContext& context, int samples);
    void SmoothFm(double samplesPerSweep, int samples);
    void DrawFmRows(SweepContext& context, const ZeroSpanCapturePlan& plan, double maxOffsetHz);
    void DrawAmRows(SweepContext& context, const ZeroSpanCapturePlan& plan);

    std::vector<double> series_;
    std::vector<double> taps_;
    TriggeredCapture triggeredCapture_;
};

}  // namespace tavlin
