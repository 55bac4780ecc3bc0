#include "sweep/zero_span_plan.h"

#include <algorithm>
#include <cmath>

namespace tavlin {

namespace {

constexpr double kTracePixels = 640.0;
constexpr double kRawPowerFullScale = 1073741824.0;  // 2^30

// FM: the decimation that leaves room for a deviation of maxFmOffsetHz.
constexpr double kFmDecimationNumeratorHz = 101000.0;
// FM: 0.1 s per unit of decimation at the nominal rate.
constexpr double kFmSamplesPerDecimationUnit = 48611.111111;

// AM: the longest sweep time one full-rate capture of 65536 samples covers,
// and its halves.
constexpr double kAmFullCaptureSec = 0.1348;
constexpr double kAmHalfCaptureSec = 0.0674;
constexpr double kAmQuarterCaptureSec = 0.0337;

constexpr double kMinFmSmoothingCutoff = 0.03;
constexpr double kFmSmoothingSamples = 80.0;
constexpr double kFmSmoothingLimit = 0.25;

int FmCaptureLength(double samples) {
    if (samples >= 32000.0) {
        return 65536;
    }
    if (samples >= 16000.0) {
        return 32768;
    }
    if (samples >= 7000.0) {
        return 16384;
    }
    if (samples >= 3000.0) {
        return 8192;
    }
    return 4096;
}

int LimitDecimation(double decimation) {
    if (!(decimation >= kMinZeroSpanDecimation)) {
        return kMinZeroSpanDecimation;
    }
    return static_cast<int>(std::min(decimation, static_cast<double>(kMaxZeroSpanDecimation)));
}

}  // namespace

double ClampZeroSpanSweepTime(double sweepTimeSec) {
    if (std::isnan(sweepTimeSec)) {
        return kMaxZeroSpanSweepSec;
    }
    return std::clamp(sweepTimeSec, kMinZeroSpanSweepSec, kMaxZeroSpanSweepSec);
}

double UsableMaxFmOffset(double maxFmOffsetHz) {
    if (!std::isfinite(maxFmOffsetHz) || !(maxFmOffsetHz > 0.0)) {
        return kDefaultMaxFmOffsetHz;
    }
    return maxFmOffsetHz;
}

ZeroSpanCapturePlan PlanFmCapture(double sweepTimeSec, double maxFmOffsetHz, double sampleRateHz) {
    double decimation = std::floor(kFmDecimationNumeratorHz / UsableMaxFmOffset(maxFmOffsetHz));
    const double samplesPerPixel = sweepTimeSec * sampleRateHz / kTracePixels;
    if (decimation > samplesPerPixel) {
        decimation = std::trunc(samplesPerPixel);
    }
    ZeroSpanCapturePlan plan;
    plan.decimation = LimitDecimation(decimation);
    plan.samples = sweepTimeSec * sampleRateHz / plan.decimation;
    plan.sweepTimeSec = sweepTimeSec;
    if (plan.samples > kMaxFmSamples) {
        // The capture length below still follows the samples first asked for.
        plan.sweepTimeShortened = true;
        plan.sweepTimeSec = plan.decimation * kFmSamplesPerDecimationUnit / sampleRateHz;
    }
    plan.captureLength = FmCaptureLength(plan.samples);
    return plan;
}

ZeroSpanCapturePlan PlanAmCapture(double sweepTimeSec) {
    ZeroSpanCapturePlan plan;
    plan.sweepTimeSec = sweepTimeSec;
    if (sweepTimeSec > kAmFullCaptureSec) {
        plan.decimation = LimitDecimation(std::ceil(sweepTimeSec / kAmFullCaptureSec));
        plan.captureLength = 65536;
    } else if (sweepTimeSec > kAmHalfCaptureSec) {
        plan.captureLength = 65536;
    } else if (sweepTimeSec > kAmQuarterCaptureSec) {
        plan.captureLength = 32768;
    } else {
        plan.captureLength = 16384;
    }
    return plan;
}

double FmSmoothingCutoff(double samples) {
    return std::max(kFmSmoothingSamples / samples, kMinFmSmoothingCutoff);
}

bool FmNeedsSmoothing(double cutoff) {
    return cutoff < kFmSmoothingLimit;
}

double VideoTriggerThreshold(double levelDbm, double correctionDb, double attenDb,
                             double ifPathFactor) {
    const double factor = ifPathFactor > 0.0 && std::isfinite(ifPathFactor) ? ifPathFactor : 1.0;
    return std::pow(10.0, (levelDbm - correctionDb - attenDb) / 10.0) / factor * kRawPowerFullScale;
}

SeriesPosition PixelSamplePosition(double sampleRateHz, double sweepTimeSec, int decimation,
                                   int pixel, int offset, int captureLength) {
    double p = sampleRateHz * sweepTimeSec * pixel / kTracePixels / decimation + offset;
    const double last = captureLength - 1;
    if (!(p <= last)) {
        p = last;
    }
    if (!(p >= 0.0)) {
        p = 0.0;
    }
    SeriesPosition position;
    position.index = std::min(static_cast<int>(std::floor(p)), captureLength - 2);
    position.fraction = p - position.index;
    return position;
}

}  // namespace tavlin
