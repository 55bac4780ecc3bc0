#include "sweep/narrow_fft_sweep.h"

#include <cmath>
#include <new>
#include <numbers>
#include <span>

#include "device/device_link.h"
#include "dsp/dsp_primitives.h"
#include "dsp/fft.h"
#include "dsp/split_complex_buffer.h"
#include "dsp/window.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "sweep/amplitude_correction.h"
#include "sweep/fft_trace_mapping.h"
#include "sweep/if_path_response.h"
#include "sweep/iq_capture_offer.h"
#include "sweep/sweep_engine.h"

namespace tavlin {

namespace {

constexpr double kSampleScale = 1.0 / 32768.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kRbwNumerator = 1638400.0;
constexpr int kAfterStreamMs = 10;

}  // namespace

NarrowFftSweep::NarrowFftSweep() = default;
NarrowFftSweep::~NarrowFftSweep() = default;

int NarrowFftSweep::DecimationFor(double loErrorHz) {
    const double error = std::fabs(loErrorHz);
    if (error <= 6000.0) {
        return 16;
    }
    if (error <= 12000.0) {
        return 8;
    }
    if (error <= 24000.0) {
        return 4;
    }
    return 2;
}

std::size_t NarrowFftSweep::SamplesBeforeDecimation(double spanHz) {
    if (spanHz < 20.0) {
        return std::size_t{1} << 24;
    }
    if (spanHz < 40.0) {
        return std::size_t{1} << 23;
    }
    if (spanHz < 80.0) {
        return std::size_t{1} << 22;
    }
    return std::size_t{1} << 21;
}

void NarrowFftSweep::Run(SweepContext& context) {
    const double span = context.plan.stopHz - context.plan.startHz;

    context.progress.Show();
    context.link.SetIfPath(0);
    context.plan.ifInUse = context.plan.receiver.ifFreq1Hz;
    context.engine.PlanLocalOscillators(context);
    const double loErrorHz = context.plan.lo1ErrorHz;
    const int d = DecimationFor(loErrorHz);
    const std::size_t n = SamplesBeforeDecimation(span) / static_cast<std::size_t>(d);
    context.plan.decimation = d;
    context.plan.fftSize = static_cast<int>(n);
    context.outcome.rbwHz = kRbwNumerator / d / static_cast<double>(n);
    context.outcome.rbwSet = true;
    context.outcome.noiseBandwidthHz = NoiseBandwidthBins(context.plan.windowType, n) *
                                       context.plan.receiver.sampleRateHz / d /
                                       static_cast<double>(n);
    context.link.SetDecimation(d);

    try {
        // On the transform's alignment: arrays off it would be turned
        // before and after the transform, four more sweeps over memory far
        // larger than the cache.
        SplitComplexBuffer capture(n);
        if (StreamCapture(context, capture.Re(), capture.Im(),
                          ShiftIncrement(context, loErrorHz, d))) {
            FinishCapture(context, capture.Re(), capture.Im(), d, loErrorHz);
        }
    } catch (const std::bad_alloc&) {
        // No room for the long transform: the trace keeps the last sweep.
    }
    context.progress.Hide();
}

double NarrowFftSweep::ShiftIncrement(const SweepContext& context, double loErrorHz,
                                      int decimation) {
    const bool inverted = context.plan.clockMode == 1;
    return (inverted ? -1.0 : 1.0) * kTwoPi * loErrorHz / context.plan.receiver.sampleRateHz *
           decimation;
}

void NarrowFftSweep::PrepareChunk(std::span<double> re, std::span<double> im, std::size_t first,
                                  std::size_t count, double increment, int windowType) {
    const std::span<const double> window = WindowFor(windowType, re.size()).subspan(first, count);
    const std::span<double> chunkRe = re.subspan(first, count);
    const std::span<double> chunkIm = im.subspan(first, count);
    FrequencyShift(count, increment, chunkRe, chunkIm, chunkRe, chunkIm, first);
    ApplyWindow(count, chunkRe, chunkIm, window);
}

void NarrowFftSweep::FinishCapture(SweepContext& context, std::span<double> re,
                                   std::span<double> im, int decimation, double loErrorHz) {
    const SweepSettings& s = context.settings;
    const double center = (context.plan.startHz + context.plan.stopHz) / 2.0;
    const double span = context.plan.stopHz - context.plan.startHz;
    const std::size_t n = re.size();
    PlanFor(n).ForwardInPlace(re, im);
    for (std::size_t k = 0; k < n; ++k) {
        re[k] = BinPower(k, 1, re, im);
    }
    // The span is far narrower than the IF filter and the droop table's
    // steps: one factor at the centre serves every bin.
    const double ifPath = IfPathPowerFactor(context.cal, false, decimation, context.plan.ifInUse,
                                            context.plan.ifInUse - loErrorHz);
    const double correction =
        AmplitudeCorrection(context.cal,
                            LevelSettings{s.attenDb, s.gainMode, s.preampAvailable, s.preampOn},
                            center) +
        10.0 * std::log10(ifPath);
    const int averageCount = context.advanceVideoAverage();
    const FftSpectrum spectrum{re,
                               FftBinsPerPixel(static_cast<int>(re.size()), decimation, span,
                                               context.plan.receiver.sampleRateHz),
                               context.plan.clockMode == 1};
    MapSpectrumToTrace(spectrum, correction, averageCount, s, context.trace);
}

bool NarrowFftSweep::StreamCapture(SweepContext& context, std::span<double> re,
                                   std::span<double> im, double increment) {
    const int windowType = context.plan.windowType;
    DeviceLink& link = context.link;
    std::int32_t* blockI = context.engine.Capture().i.data();
    std::int32_t* blockQ = context.engine.Capture().q.data();
    const std::size_t blocks = re.size() / kStreamBlockPairs;
    bool complete = true;
    link.StartStream();
    link.ReadStreamHeader();
    for (std::size_t block = 0; block < blocks; ++block) {
        // A block that does not come has been reported once: with the unit
        // gone every further block would time out and report again.
        if (!link.ReadStreamBlock(blockI, blockQ)) {
            complete = false;
            break;
        }
        OfferTunedCapture(context, blockI, blockQ, static_cast<int>(kStreamBlockPairs),
                          (context.plan.startHz + context.plan.stopHz) / 2.0,
                          context.plan.decimation, block > 0);
        const std::size_t first = block * kStreamBlockPairs;
        for (std::size_t k = 0; k < kStreamBlockPairs; ++k) {
            re[first + k] = blockI[k] * kSampleScale;
            im[first + k] = blockQ[k] * kSampleScale;
        }
        const std::size_t received = first + kStreamBlockPairs;
        if (received % kPrepareChunk == 0 || received == re.size()) {
            const std::size_t chunkStart = (received - 1) / kPrepareChunk * kPrepareChunk;
            PrepareChunk(re, im, chunkStart, received - chunkStart, increment, windowType);
        }
        context.progress.SetPosition(static_cast<int>((block + 1) * 100 / blocks));
    }
    link.StopStream();
    context.clock.SleepMs(kAfterStreamMs);
    link.PurgeBoth();
    return complete;
}

std::span<const double> NarrowFftSweep::WindowFor(int windowType, std::size_t n) {
    if (window_.size() != n || windowType_ != windowType) {
        window_.assign(n, 0.0);
        MakeWindow(windowType, n, window_);
        windowType_ = windowType;
    }
    return window_;
}

const Fft& NarrowFftSweep::PlanFor(std::size_t n) {
    if (!plan_ || plan_->Size() != n) {
        plan_ = std::make_unique<Fft>(n);
    }
    return *plan_;
}

}  // namespace tavlin
