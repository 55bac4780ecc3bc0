#include "sweep/fft_sweep.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <utility>

#include "device/cal_table.h"
#include "device/device_link.h"
#include "dsp/dsp_primitives.h"
#include "dsp/fft.h"
#include "dsp/window.h"
#include "ports/prompter.h"
#include "sweep/amplitude_correction.h"
#include "sweep/counter_noise.h"
#include "sweep/fft_trace_mapping.h"
#include "sweep/if_path_response.h"
#include "sweep/iq_capture_offer.h"
#include "sweep/spectrum_rows.h"
#include "sweep/sweep_engine.h"

namespace tavlin {

namespace {

constexpr double kSampleScale = 1.0 / 32768.0;  // full scale 2^15
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kShortCaptureFromSpanHz = 1000.0;
constexpr int kCompressionCount = 30000;
constexpr double kBandSplitHz = 150e6;

// A bin of the main pass stronger than this many times the image pass's
// holds an image response.
constexpr double kImageMergeRatio = 1.4;
// Read as noise, the two passes are two draws of it, one 1.4 times the other
// half the time: keeping the lower would read noise low by a dB and more.
// Only a bin ten times the other's holds an image there.
constexpr double kNoiseImageMergeRatio = 10.0;

// Gain step of the 2.9 MHz image pass.
constexpr double kNoGainStepMarginDb = 14.0;
constexpr double kHighGainPlainDb = 12.0;
constexpr double kLowGainPlainDb = 16.0;
constexpr double kGainStepCountDb = 0.02;
constexpr double kGainStepOffsetDb = 2.56;
constexpr double kSecondIfCountDb = 0.1;
constexpr double kTopAttenuatorDb = 15.0;
constexpr int kTopAttenuatorRow = 3;
constexpr int kGainStepFlatnessIndex = 75;  // 76 MHz
constexpr double kLowBandFlatnessCountsPerDb = 32.0;

// The level plan's gain choice.
constexpr double kLowGainMarginDb = 5.0;
constexpr double kHighGainMarginDb = 17.0;

constexpr char kNoDataText[] = "Error 5 - USB Data Not Received";
constexpr char kNoDataCaption[] = "ERROR--TRY AGAIN";
constexpr char kCompressionText[] =
    "Warning: IF Level may be into compression\r\nReduce input or increase reference level";
constexpr char kCompressionCaption[] = "IF COMPRESSION WARNING";

double PowerRatio(double db) {
    return std::pow(10.0, 0.1 * db);
}

LevelSettings LevelOf(const SweepSettings& s, int gainMode) {
    return LevelSettings{s.attenDb, gainMode, s.preampAvailable, s.preampOn};
}

int AttenuatorRow(double attenDb) {
    const double row = std::floor(attenDb / 5.0 + 0.5);
    if (!(row >= 0.0)) {
        return 0;
    }
    return static_cast<int>(std::min(row, static_cast<double>(kTopAttenuatorRow)));
}

}  // namespace

FftSweep::FftSweep()
    : workRe_(kLongCapture),
      workIm_(kLongCapture),
      fft_(kLongCapture),
      window_(kLongCapture),
      main_(kLongCapture),
      image_(kLongCapture) {}

FftSweep::~FftSweep() = default;

int FftSweep::CaptureLength(double spanHz, int fftSize, bool realtime) {
    int length = spanHz >= kShortCaptureFromSpanHz ? kShortCapture : kLongCapture;
    if (realtime) {
        // One transform; the instrument counts captures in whole blocks, so
        // a shorter transform still takes one block (and averages it).
        length = std::max(fftSize, kCaptureBlock);
    }
    return std::min(std::max(length, fftSize), kLongCapture);
}

void FftSweep::Run(SweepContext& context) {
    const SweepSettings& s = context.settings;
    const double center = (context.plan.startHz + context.plan.stopHz) / 2.0;

    context.link.SetIfPath(0);
    context.plan.ifInUse = context.plan.receiver.ifFreq1Hz;
    context.engine.PlanLocalOscillators(context);
    context.outcome.rbwHz = SweepEngine::ChooseFftResolution(context);
    context.outcome.rbwSet = true;
    context.link.SetDecimation(context.plan.decimation);

    const PassGeometry pass = MainPassGeometry(context);
    if (Capture(context, pass.length)) {
        WarnIfCompressed(context, pass.length);
        OfferTunedCapture(context, context.engine.Capture().i.data(),
                          context.engine.Capture().q.data(), pass.length, center, pass.decimation,
                          false);
    }
    const int blocks = ProcessMainPass(context, pass);
    context.outcome.noiseBandwidthHz =
        NoiseBandwidthBins(context.plan.windowType, static_cast<std::size_t>(pass.fftSize)) *
        pass.sampleRateHz / pass.decimation / pass.fftSize;
    context.outcome.counterFreqHz = CountFrequency(pass, context.plan.clockMode == 1, center);
    context.outcome.counterSet = true;

    if (s.imageReject) {
        double gain = 1.0;
        if (context.plan.lo2SecondIf) {
            context.link.SetIfPath(1);
            gain = SecondIfGainStep(context);
        }
        SweepEngine::ProgramLo(context.link, context.plan.lo2, center >= kBandSplitHz);
        Capture(context, pass.length);  // no compression check on the image pass
        ProcessImagePass(context, ImagePassGeometry(context, pass), gain);
    }
    MapToTrace(context, pass, blocks);

    if (s.imageReject && context.plan.lo2SecondIf) {
        RestoreFirstIf(context);
    }
}

FftSweep::PassGeometry FftSweep::MainPassGeometry(const SweepContext& context) {
    const bool inverted = context.plan.clockMode == 1;
    PassGeometry pass;
    pass.fftSize = context.plan.fftSize;
    pass.length = CaptureLength(context.plan.stopHz - context.plan.startHz, pass.fftSize,
                                context.settings.realtimeMode);
    pass.decimation = context.plan.decimation;
    pass.sampleRateHz = context.plan.receiver.sampleRateHz;
    pass.ifHz = context.plan.ifInUse;
    pass.loErrorHz = context.plan.lo1ErrorHz;
    pass.shiftSign = inverted ? -1.0 : 1.0;
    pass.samplerMirrored = inverted;
    pass.mirrorAfter = inverted;
    return pass;
}

// The second look at the band is through LO2: on the other side of the
// signal (an LO below the signal reverses the spectrum, as the sampler does
// in clock mode 1), or above it through the 2.9 MHz IF, which is never
// mirrored. The shift must take out LO2's error in the samples' own
// orientation.
FftSweep::PassGeometry FftSweep::ImagePassGeometry(const SweepContext& context,
                                                   const PassGeometry& main) {
    const bool inverted = context.plan.clockMode == 1;
    PassGeometry pass = main;
    pass.loErrorHz = context.plan.lo2ErrorHz;
    if (context.plan.lo2SecondIf) {
        pass.ifHz = context.plan.receiver.ifFreq2Hz;
        pass.secondIf = true;
        pass.samplerMirrored = false;
        pass.mirrorAfter = false;
    } else {
        pass.samplerMirrored = inverted;
        pass.mirrorAfter = context.plan.lo2.highSide ? inverted : !inverted;
    }
    double sign = 1.0;
    if (pass.mirrorAfter) {
        sign = -sign;
    }
    if (!context.plan.lo2.highSide) {
        sign = -sign;
    }
    pass.shiftSign = sign;
    return pass;
}

// The counter is judged on the band as the counter sees it, before the IF
// correction lifts the filter's skirts (and their noise) at the edges.
int FftSweep::ProcessMainPass(SweepContext& context, const PassGeometry& pass) {
    const std::span<double> power(main_.data(), static_cast<std::size_t>(pass.fftSize));
    const int blocks = Accumulate(context, pass, power);
    context.outcome.counterFlag =
        CounterReadingFlag(power, pass.length, pass.sampleRateHz / pass.decimation);
    CorrectIfResponse(context, pass, power);
    if (pass.mirrorAfter) {
        Mirror(power);
    }
    return blocks;
}

// A bin that only an image reached in one pass is much weaker in the other,
// whose image frequencies lie elsewhere.
void FftSweep::ProcessImagePass(const SweepContext& context, const PassGeometry& pass,
                                double gain) {
    const std::span<double> power(image_.data(), static_cast<std::size_t>(pass.fftSize));
    Accumulate(context, pass, power);
    CorrectIfResponse(context, pass, power);
    if (gain != 1.0) {
        for (double& p : power) {
            p *= gain;
        }
    }
    if (pass.mirrorAfter) {
        Mirror(power);
    }
    MergeImagePass({main_.data(), power.size()}, power,
                   context.settings.powerAverage ? kNoiseImageMergeRatio : kImageMergeRatio);
}

void FftSweep::MapToTrace(SweepContext& context, const PassGeometry& pass, int blocks) {
    const SweepSettings& s = context.settings;
    const double center = (context.plan.startHz + context.plan.stopHz) / 2.0;
    const double span = context.plan.stopHz - context.plan.startHz;
    const std::span<double> power(main_.data(), static_cast<std::size_t>(pass.fftSize));
    const double count = std::max(1, blocks);
    for (double& p : power) {
        p /= count;
    }
    const double correction = AmplitudeCorrection(context.cal, LevelOf(s, s.gainMode), center);
    const int averageCount = context.advanceVideoAverage();
    const FftSpectrum spectrum{
        power, FftBinsPerPixel(pass.fftSize, pass.decimation, span, pass.sampleRateHz), false};
    MapSpectrumToTrace(spectrum, correction, averageCount, s, context.trace);
}

int FftSweep::Accumulate(const SweepContext& context, const PassGeometry& pass,
                         std::span<double> power) {
    const auto length = static_cast<std::size_t>(pass.length);
    const auto n = static_cast<std::size_t>(pass.fftSize);
    const std::int32_t* capturedI = context.engine.Capture().i.data();
    const std::int32_t* capturedQ = context.engine.Capture().q.data();
    for (std::size_t i = 0; i < length; ++i) {
        workRe_[i] = capturedI[i] * kSampleScale;
        workIm_[i] = capturedQ[i] * kSampleScale;
    }
    const double increment =
        pass.shiftSign * kTwoPi * pass.loErrorHz / pass.sampleRateHz * pass.decimation;
    FrequencyShift(length, increment, workRe_, workIm_, workRe_, workIm_);

    PrepareWindow(context.plan.windowType, pass.fftSize);
    const Fft& fft = PlanFor(pass.fftSize);
    const std::span<double> re = fft_.Re().first(n);
    const std::span<double> im = fft_.Im().first(n);
    const std::span<const double> window(window_.data(), n);
    std::fill(power.begin(), power.end(), 0.0);
    const std::size_t blocks = length / n;
    for (std::size_t b = 0; b < blocks; ++b) {
        std::copy_n(workRe_.begin() + static_cast<std::ptrdiff_t>(b * n), n, re.begin());
        std::copy_n(workIm_.begin() + static_cast<std::ptrdiff_t>(b * n), n, im.begin());
        ApplyWindow(n, re, im, window);
        fft.ForwardInPlace(re, im);
        for (std::size_t k = 0; k < n; ++k) {
            power[k] += BinPower(k, 1, re, im);
        }
    }
    return static_cast<int>(blocks);
}

double FftSweep::CountFrequency(const PassGeometry& pass, bool inverted, double centreHz) const {
    return EstimateFrequency(workRe_, workIm_, static_cast<std::size_t>(pass.length), inverted,
                             centreHz, pass.sampleRateHz / pass.decimation);
}

// Bin k' (signed) of a pass lies at the IF frequency ifHz - error - k' x bin
// width as the sampler delivered it; a sampler that mirrors the IF puts it on
// the other side. The correction is made in the sampler's own orientation,
// before any mirroring of the pass. Each path has its own response table;
// in clock mode 1 the 2.9 MHz IF lies some 100 kHz below the middle of its
// table, where the filter's response is no longer flat.
void FftSweep::CorrectIfResponse(const SweepContext& context, const PassGeometry& pass,
                                 std::span<double> power) {
    const long long n = static_cast<long long>(power.size());
    const double binHz = pass.sampleRateHz / static_cast<double>(n) / pass.decimation;
    const double direction = pass.samplerMirrored ? -1.0 : 1.0;
    for (long long k = 0; k < n; ++k) {
        const long long signedBin = k < n / 2 ? k : k - n;
        const double ifHz = pass.ifHz - pass.loErrorHz - direction * signedBin * binHz;
        power[static_cast<std::size_t>(k)] *=
            IfPathPowerFactor(context.cal, pass.secondIf, pass.decimation, pass.ifHz, ifHz);
    }
}

void FftSweep::Mirror(std::span<double> power) {
    const std::size_t n = power.size();
    for (std::size_t k = 1; k < n / 2; ++k) {
        std::swap(power[k], power[n - k]);
    }
}

void FftSweep::MergeImagePass(std::span<double> main, std::span<const double> image, double ratio) {
    const std::size_t n = std::min(main.size(), image.size());
    for (std::size_t k = 0; k < n; ++k) {
        if (main[k] > ratio * image[k]) {
            main[k] = image[k];
        }
    }
}

bool FftSweep::Capture(SweepContext& context, int length) {
    const int result = context.link.ReadSweepSamples(context.engine.Capture().i,
                                                     context.engine.Capture().q, length);
    if (result != kLinkOk) {
        // The sweep goes on with what the buffers hold.
        context.prompter.Inform(kNoDataText, kNoDataCaption);
        return false;
    }
    return true;
}

void FftSweep::WarnIfCompressed(SweepContext& context, int length) {
    const std::int32_t* capturedI = context.engine.Capture().i.data();
    const std::int32_t* capturedQ = context.engine.Capture().q.data();
    for (int i = 0; i < length; ++i) {
        if (std::abs(capturedI[i]) > kCompressionCount ||
            std::abs(capturedQ[i]) > kCompressionCount) {
            context.outcome.ifCompressed = true;
            context.prompter.Inform(kCompressionText, kCompressionCaption);
            context.stopRequest = 1;  // continuous sweeping stops after this sweep
            return;
        }
    }
}

// The 2.9 MHz path is about 11 dB hotter than the 10.7 MHz one: unless the
// reference level leaves room, the gain comes down one step (or the
// attenuator goes to 15 dB) for the image pass.
double FftSweep::SecondIfGainStep(SweepContext& context) {
    const SweepSettings& s = context.settings;
    const CalTable& cal = context.cal;
    const double center = (context.plan.startHz + context.plan.stopHz) / 2.0;
    const double c = AmplitudeCorrection(cal, LevelOf(s, s.gainMode), center);
    const double m = s.refLevelDbm - s.attenDb;
    const bool highBand = center >= kBandSplitHz;
    const double offsetDb = cal.IfGain2_9(highBand && s.preampAvailable) * kSecondIfCountDb;
    if (c >= m + kNoGainStepMarginDb) {
        return PowerRatio(-offsetDb);
    }
    if (s.gainMode == 2) {
        context.link.SetGainMode(1);
        const double stepDb = s.preampAvailable ? cal.HighGainStep() * kGainStepCountDb +
                                                      kHighGainPlainDb - kGainStepOffsetDb
                                                : kHighGainPlainDb;
        return PowerRatio(stepDb - offsetDb);
    }
    if (s.gainMode == 1) {
        context.link.SetGainMode(0);
        const double stepDb = s.preampAvailable ? cal.LowGainStep() * kGainStepCountDb +
                                                      kLowGainPlainDb - kGainStepOffsetDb
                                                : kLowGainPlainDb;
        return PowerRatio(stepDb - offsetDb);
    }
    context.link.SetAttenuator(kTopAttenuatorDb);
    const double topRow = cal.LowBandFlatness(kTopAttenuatorRow, kGainStepFlatnessIndex) /
                          kLowBandFlatnessCountsPerDb;
    const double presentRow =
        cal.LowBandFlatness(AttenuatorRow(s.attenDb), kGainStepFlatnessIndex) /
        kLowBandFlatnessCountsPerDb;
    return PowerRatio(topRow + (kTopAttenuatorDb - s.attenDb) - presentRow - offsetDb);
}

void FftSweep::RestoreFirstIf(SweepContext& context) {
    const SweepSettings& s = context.settings;
    const double center = (context.plan.startHz + context.plan.stopHz) / 2.0;
    context.link.SetIfPath(0);
    const double c = AmplitudeCorrection(context.cal, LevelOf(s, 1), center);
    const double m = s.refLevelDbm - s.attenDb;
    int gainMode = 1;
    if (m + kLowGainMarginDb > c) {
        gainMode = 0;
    } else if (m + kHighGainMarginDb < c) {
        gainMode = 2;
    }
    context.link.SetGainMode(gainMode);
    context.link.SetAttenuator(s.attenDb);
    context.outcome.gainModeSet = true;
    context.outcome.gainMode = gainMode;
}

const Fft& FftSweep::PlanFor(int fftSize) {
    const auto index = static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(fftSize)));
    if (!plans_[index]) {
        plans_[index] = std::make_unique<Fft>(static_cast<std::size_t>(fftSize));
    }
    return *plans_[index];
}

void FftSweep::PrepareWindow(int type, int fftSize) {
    if (windowPoints_ == fftSize && windowType_ == type) {
        return;
    }
    MakeWindow(type, static_cast<std::size_t>(fftSize), window_);
    windowPoints_ = fftSize;
    windowType_ = type;
}

}  // namespace tavlin
