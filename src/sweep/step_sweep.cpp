#include "sweep/step_sweep.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "device/cal_table.h"
#include "device/device_link.h"
#include "dsp/pixel_detector.h"
#include "dsp/window.h"
#include "ports/clock.h"
#include "sweep/band_route_correction.h"
#include "sweep/rbw_rules.h"
#include "sweep/spectrum_rows.h"
#include "sweep/sweep_engine.h"
#include "sweep/tone_locator.h"

namespace tavlin {

namespace {

constexpr double kSixteenMhz = 16e6;
constexpr double kNarrowSpanHz = 20e6;
constexpr double kFineRbwBelowSixteenHz = 50000.0;
constexpr double kStepRoundingAllowance = 0.0001;
constexpr int kPixels = kTracePoints - 1;
constexpr int kSubPointsPerPixel = 3;
// How much weaker than the high side a signal may show in the second view
// below 16 MHz (a power ratio, 15 dB): the filter skirts' loss beyond what
// the table corrects, with room to spare.
constexpr double kSecondViewReach = 31.6;
// Sides within this power ratio (1 dB, more than a route's error just
// beyond its table) read the same signal.
constexpr double kSidesConfirm = 1.26;
// Where each route's table ends: the high band's a step below 150 MHz (the
// reader extrapolates that far), the low band's at 150 MHz.
constexpr double kHighTableFloorHz = 140e6;
constexpr double kLowTableTopHz = 150e6;
// The mean-power pixel samples each bin at least this many times, so a bin
// counts by the share of it the pixel covers.
constexpr int kMeanSamplesPerBin = 4;
// The widest resolution read as a spectrum: 8 bins of 30 kHz span 243 kHz,
// more than a step.
constexpr double kCoveringRbwHz = 100000.0;
// The two sides of a mean-power pixel are compared over the pixel and this
// many bins either side of it: wide enough that one bin's noise barely moves
// the choice (a choice made on the pixel alone would keep the weaker of two
// noisy readings and read noise low), narrow enough to follow a signal.
constexpr double kSideChoiceBins = 8.0;
// Sides that agree within this power ratio (10 dB) both read the signal and
// are averaged; beyond it one side carries an image and the other is kept.
// One short transform per step leaves the sides' noise some dB apart, and a
// choice of the weaker one at a closer ratio would read noise low.
constexpr double kSidesAgree = 10.0;

int PointsForRbw(double rbwHz) {
    if (rbwHz <= 6500.0) {
        return 128;
    }
    if (rbwHz <= 13000.0) {
        return 64;
    }
    if (rbwHz <= 25000.0) {
        return 32;
    }
    if (rbwHz <= 50000.0) {
        return 16;
    }
    return rbwHz <= 100000.0 ? 8 : 1;
}

// The row of a power relative to full scale, before the display's scale.
double LogRow(double power, const SweepSettings& s) {
    const double k = RowsPerDb(s.dbPerDiv);
    return power > 0.0 ? (s.refLevelDbm - s.attenDb) * k - 10.0 * k * std::log10(power)
                       : std::numeric_limits<double>::infinity();
}

int FloorToInt(double x) {
    return static_cast<int>(std::floor(x));
}

}  // namespace

StepSweep::StepSweep() = default;
StepSweep::~StepSweep() = default;

StepPlan StepSweep::Plan(double startHz, double stopHz, double spanRbwRatio, double sampleRateHz,
                         bool meanRows) {
    StepPlan plan;
    plan.s0 = std::max(0, FloorToInt(startHz / kStepHz));
    plan.s1 =
        std::max(plan.s0, static_cast<int>(std::ceil(stopHz / kStepHz + kStepRoundingAllowance)));
    plan.skip = std::max(0, kSixteenMhzStep - plan.s0);
    plan.count = plan.s1 - plan.s0 + 2 * kSideSteps + 1;
    plan.rbwHz = StepSweepRbw(stopHz - startHz, spanRbwRatio);
    if (startHz < kSixteenMhz) {
        plan.rbwHz = std::min(plan.rbwHz, kFineRbwBelowSixteenHz);
    }
    plan.pointsPerStep = PointsForRbw(plan.rbwHz);
    // A step's single power sums a band 10 % wider than the step, so that a
    // signal between two steps reads in full: noise then integrates right
    // but a carrier 0.4 dB low. Mean rows take the finest bins that still
    // cover each step instead; the pixel's mean sets the resolution anyway.
    if (meanRows && plan.pointsPerStep == 1) {
        plan.pointsPerStep = PointsForRbw(kCoveringRbwHz);
        plan.rbwHz = kCoveringRbwHz;
    }
    plan.binWidthHz = plan.pointsPerStep > 1 ? sampleRateHz / (2.0 * plan.pointsPerStep) : kStepHz;
    plan.noiseBandwidthHz =
        plan.pointsPerStep > 1
            ? NoiseBandwidthBins(kFlatTopWindow, 2 * static_cast<std::size_t>(plan.pointsPerStep)) *
                  plan.binWidthHz
            : StepListReader::kStepBandNoiseBandwidthHz;
    return plan;
}

void StepSweep::Run(SweepContext& context) {
    const SweepSettings& settings = context.settings;
    plan_ = Plan(settings.startHz, settings.stopHz, settings.spanRbwRatio,
                 context.plan.receiver.sampleRateHz, settings.powerAverage);
    context.plan.ifInUse = context.plan.receiver.ifFreq1Hz;
    ifInUseHz_ = context.plan.receiver.ifFreq1Hz;
    sampleRateHz_ = context.plan.receiver.sampleRateHz;
    // The LO steps come from the same reference as everything else the unit makes.
    stepHz_ = kStepHz * settings.timebaseCorrection;
    imageReject_ = settings.imageReject;
    context.outcome.rbwSet = true;
    context.outcome.rbwHz = plan_.rbwHz;
    // Peak rows (each pixel's strongest point, through the weaker side) do
    // not add up to the power of noise: only mean rows can be integrated.
    context.outcome.noiseBandwidthHz = settings.powerAverage ? plan_.noiseBandwidthHz : 0.0;

    DeviceLink& link = context.link;
    link.SetDecimation(1);
    link.SetIfPath(0);
    const bool highBand = plan_.s0 >= kBandSplitStep;
    link.SetBandSelect(highBand);
    highRouteFromStep_ = highBand ? INT_MIN : INT_MAX;

    reader_.SetReceiver(sampleRateHz_, ifInUseHz_, context.cal);
    reader_.BeginSweep();
    reader_.SetMeanSpectra(settings.powerAverage);
    buffer_.assign(static_cast<std::size_t>(plan_.count) * plan_.pointsPerStep, 0.0);
    if (plan_.pointsPerStep > 1 && locatorPoints_ != plan_.pointsPerStep) {
        locator_ = std::make_unique<ToneLocator>(kFlatTopWindow,
                                                 2 * static_cast<std::size_t>(plan_.pointsPerStep));
        locatorPoints_ = plan_.pointsPerStep;
    }
    const StepReadPorts ports = StepReadPorts::Of(context);
    secondViewRead_ = false;
    if (plan_.skip > 0 && imageReject_ && plan_.pointsPerStep > 1) {
        ReadSecondView(ports);
    }
    ReadSteps(context, ports);
    if (settings.powerAverage) {
        DrawMeanTrace(context);
    } else {
        DrawTrace(context);
    }
}

// A read that sees IF compression stops continuous sweeping after this sweep;
// the reads still to come are made all the same, so the trace shows the
// signals that compress (the warning itself is shown once per sweep).
void StepSweep::ReadInto(SweepContext& context, const StepReadPorts& ports, int first, int last,
                         int entry) {
    if (first > last) {
        return;
    }
    const std::size_t offset = static_cast<std::size_t>(entry) * plan_.pointsPerStep;
    const int result = reader_.ReadStepList(ports, first, last, plan_.pointsPerStep,
                                            std::span<double>(buffer_).subspan(offset));
    if (result == StepListReader::kCompressed) {
        context.outcome.ifCompressed = true;
        context.stopRequest = 1;
    }
}

void StepSweep::ReadSteps(SweepContext& context, const StepReadPorts& ports) {
    const int s0 = plan_.s0;
    const int s1 = plan_.s1;
    const int lowFirst = s0 + plan_.skip - kSideSteps;
    const double span = context.settings.SpanHz();
    if (span < kNarrowSpanHz) {
        if (s1 >= kSixteenMhzStep) {
            ReadInto(context, ports, lowFirst, s1 - kSideSteps, plan_.skip);
        }
        ReadInto(context, ports, s0 + kSideSteps, s1 + kSideSteps, kHighSideEntry);
    } else if (s0 >= kBandSplitStep || s1 < kCrossingLimitStep) {
        ReadInto(context, ports, lowFirst, s1 + kSideSteps, plan_.skip);
    } else {
        ReadInto(context, ports, lowFirst, kBandSplitStep, plan_.skip);
        context.link.SetBandSelect(true);
        highRouteFromStep_ = kBandSplitStep;
        ReadInto(context, ports, kBandSplitStep, s1 + kSideSteps, kBandSplitStep - s0 + kSideSteps);
    }
}

// Below 16 MHz the LO cannot sit an IF below the signal, so the low side is
// replaced there by a second high-side view: the step next to the one the
// high-side lookup uses, which sees the same frequency 200 kHz further out in
// its block (in the outer bins of the block's FFT). An image reaches the two
// views from frequencies 400 kHz apart, so the smaller of the two suppresses
// it as the low side does above 16 MHz. The read covers one step beyond each
// end of the high-side steps of 0 .. 16 MHz, where the second view lies.
void StepSweep::ReadSecondView(const StepReadPorts& ports) {
    const int p = plan_.pointsPerStep;
    secondViewHigh_ = kTopSecondViewStep;
    secondViewLow_ = plan_.s0 + kSideSteps - 1;
    const int blocks = secondViewHigh_ - secondViewLow_ + 1;
    secondView_.assign(static_cast<std::size_t>(blocks) * 2 * p, 0.0);
    reader_.ReadStepListDescending(ports, secondViewHigh_, secondViewLow_, p, secondView_);
    secondViewRead_ = true;
}

// The power at freqHz seen by the high-side step next to the one the
// high-side lookup uses; that step itself when the neighbour was not read.
double StepSweep::SecondView(double freqHz) const {
    const int p = plan_.pointsPerStep;
    const double loFreqHz = freqHz + ifInUseHz_;
    const double nearest = std::floor(loFreqHz / stepHz_ + 0.5);
    if (std::isnan(nearest)) {
        return 0.0;
    }
    const int main = static_cast<int>(std::clamp(nearest, -1.0, secondViewHigh_ + 1.0));
    const int neighbour = loFreqHz >= main * stepHz_ ? main + 1 : main - 1;
    for (const int step : {neighbour, main}) {
        if (step < secondViewLow_ || step > secondViewHigh_) {
            continue;
        }
        const double bin = std::floor((loFreqHz - step * stepHz_) / plan_.binWidthHz + 0.5);
        if (bin < -p || bin >= p) {
            continue;
        }
        const auto block = static_cast<std::size_t>(secondViewHigh_ - step);
        const auto index = static_cast<std::size_t>(bin < 0 ? bin + 2 * p : bin);
        return secondView_[block * 2 * p + index];
    }
    return 0.0;
}

// The power at freqHz through one side (+1 low, -1 high). An entry beyond the
// steps read takes the nearest one read.
StepSweep::Sample StepSweep::Lookup(double freqHz, int side) const {
    const double x = freqHz - side * ifInUseHz_ - (plan_.s0 - kSideSteps) * stepHz_;
    const double entry = std::floor(x / stepHz_ + 0.5);
    const int b = static_cast<int>(
        std::clamp(std::isnan(entry) ? 0.0 : entry, 0.0, static_cast<double>(plan_.count - 1)));
    const bool highRoute = plan_.s0 - kSideSteps + b >= highRouteFromStep_;
    if (side > 0 && b < plan_.skip && secondViewRead_) {
        return {SecondView(freqHz), highRoute, true};
    }
    if (plan_.pointsPerStep == 1) {
        return {buffer_[static_cast<std::size_t>(b)], highRoute};
    }
    const double basebandHz = side > 0 ? b * stepHz_ - x : x - b * stepHz_;
    return {CorrectedBin(b, basebandHz), highRoute};
}

// The bin at basebandHz in step entry b, corrected for the IF path at the
// frequency of the tone it holds. Bins are 15 or 30 kHz wide here, and on
// the IF filter's skirt the response changes by a dB across one: corrected
// at its centre, a tone between bins would read up to a dB off, and
// corrected at the frequency asked for, a bin beside a tone would read that
// tone too high. For noise the located frequency falls anywhere near the
// bin, which averages out.
double StepSweep::CorrectedBin(int b, double basebandHz) const {
    const int p = plan_.pointsPerStep;
    const int bin = static_cast<int>(std::clamp(std::floor(basebandHz / plan_.binWidthHz + 0.5),
                                                static_cast<double>(-p / 2), p / 2 - 1.0));
    const auto power = [&](int signedBin) {
        const int j = signedBin < 0 ? signedBin + p : signedBin;
        return buffer_[static_cast<std::size_t>(b) * p + static_cast<std::size_t>(j)];
    };
    const double below = bin > -p / 2 ? power(bin - 1) : 0.0;
    const double above = bin < p / 2 - 1 ? power(bin + 1) : 0.0;
    const int towards = above >= below ? 1 : -1;
    const double offset = locator_->OffsetBins(power(bin), std::max(above, below));
    const double toneHz = (bin + towards * offset) * plan_.binWidthHz;
    return power(bin) * reader_.PowerFactorAt(toneHz);
}

StepSweep::Sample StepSweep::SideLevel(double freqHz, int side,
                                       const PixelCorrection& correction) const {
    Sample sample = Lookup(freqHz, side);
    sample.power *= sample.highRoute ? correction.high : correction.low;
    return sample;
}

// The second view sees its frequency 100 to 200 kHz off the middle of its
// block, on the skirts of the IF filter and the sampler's filter, which take
// some 10 dB there that the calibration table does not hold (it ends
// 125 kHz out). So it tells a signal (which it sees too, weakened) from an
// image (which it does not see at all), but it does not measure the signal.
//
// Near the band split one side may have passed a route whose table does not
// reach the frequency (the high band's below 140 MHz, the low band's above
// 150 MHz): its correction holds the table's end entry, a few tenths of a dB
// from the truth there. Such a side still tells a signal from an image and
// from noise: where it confirms the other side, the other side measures.
double StepSweep::PixelLevel(double freqHz, const PixelCorrection& correction) const {
    const Sample highSide = SideLevel(freqHz, -1, correction);
    const double high = highSide.power;
    if (!imageReject_) {
        return high;
    }
    const Sample other = SideLevel(freqHz, +1, correction);
    if (other.secondView) {
        return other.power * kSecondViewReach >= high ? high : other.power;
    }
    const bool highOffTable = OffItsTable(freqHz, highSide.highRoute);
    if (highOffTable != OffItsTable(freqHz, other.highRoute)) {
        const double measured = highOffTable ? other.power : high;
        const double confirming = highOffTable ? high : other.power;
        if (measured <= confirming * kSidesConfirm && confirming <= measured * kSidesConfirm) {
            return measured;
        }
    }
    return std::min(other.power, high);
}

bool StepSweep::OffItsTable(double freqHz, bool highRoute) {
    return highRoute ? freqHz < kHighTableFloorHz : freqHz > kLowTableTopHz;
}

StepSweep::PixelCorrection StepSweep::CorrectionAt(const BandRouteCorrection& route,
                                                   double freqHz) const {
    PixelCorrection correction{1.0, 1.0};
    if (highRouteFromStep_ != INT_MIN) {
        correction.low = std::pow(10.0, 0.1 * route.At(freqHz, false));
    }
    if (highRouteFromStep_ != INT_MAX) {
        correction.high = std::pow(10.0, 0.1 * route.At(freqHz, true));
    }
    return correction;
}

// Rows are worked out in dB and drawn on the settings' scale. A pixel at
// least one bin wide is taken under the detector from sub-points a third of
// a pixel apart, or a bin apart where a pixel holds more than three bins (a
// sweep from below 16 MHz keeps its fine bins over wide spans), so a narrow
// signal between sub-points is never lost to the peak; the sample reads the
// pixel's own frequency alone. The RMS detector draws the mean rows below.
void StepSweep::DrawTrace(SweepContext& context) {
    const SweepSettings& s = context.settings;
    const BandRouteCorrection route(
        context.cal, LevelSettings{s.attenDb, s.gainMode, s.preampAvailable, s.preampOn});
    const double pixelHz = s.SpanHz() / kPixels;
    int subPoints = 1;
    if (pixelHz >= plan_.binWidthHz && s.detector != Detector::kSample) {
        subPoints = std::max(kSubPointsPerPixel,
                             static_cast<int>(std::ceil(pixelHz / plan_.binWidthHz)) | 1);
    }
    const double subPointHz = pixelHz / subPoints;
    for (int i = 0; i <= kPixels; ++i) {
        const double f = s.startHz + i * pixelHz;
        const PixelCorrection correction = CorrectionAt(route, f);
        PixelDetector pixel(s.detector);
        pixel.Add(PixelLevel(f, correction));
        for (int m = 1; m <= subPoints / 2; ++m) {
            pixel.Add(PixelLevel(f + m * subPointHz, correction));
            pixel.Add(PixelLevel(f - m * subPointHz, correction));
        }
        const double level = pixel.Power();
        StoreRow(context.trace, i, RowOnScale(LogRow(level, s), s), s);
    }
}

// The mean power through one side over [fromHz, fromHz + pixelHz), sampled
// at the midpoints of equal parts. Below 16 MHz the low side is the second
// view, which tells a signal from an image but reads it weakened: there the
// side stands for the image-rejected level instead.
double StepSweep::MeanSidePower(double fromHz, double pixelHz, int subPoints, int side,
                                const PixelCorrection& correction) const {
    double sum = 0.0;
    for (int m = 0; m < subPoints; ++m) {
        const double f = fromHz + (m + 0.5) * pixelHz / subPoints;
        const Sample sample = SideLevel(f, side, correction);
        sum += sample.secondView ? PixelLevel(f, correction) : sample.power;
    }
    return sum / subPoints;
}

// The mean power of each pixel: every bin in the pixel counts by its power,
// so the rows integrate to the power of noise as of tones. The image is
// rejected as in the peak rows, but by the sides' mean over a few bins about
// the pixel; where they agree, both are averaged, which halves the noise.
void StepSweep::DrawMeanTrace(SweepContext& context) {
    const SweepSettings& s = context.settings;
    const BandRouteCorrection route(
        context.cal, LevelSettings{s.attenDb, s.gainMode, s.preampAvailable, s.preampOn});
    const double pixelHz = s.SpanHz() / kPixels;
    const int subPoints =
        kMeanSamplesPerBin * std::max(1, static_cast<int>(std::ceil(pixelHz / plan_.binWidthHz)));
    meanLow_.assign(kTracePoints, 0.0);
    meanHigh_.assign(kTracePoints, 0.0);
    for (int i = 0; i <= kPixels; ++i) {
        const double f = s.startHz + i * pixelHz;
        const PixelCorrection correction = CorrectionAt(route, f);
        const double from = f - pixelHz / 2.0;
        meanHigh_[i] = MeanSidePower(from, pixelHz, subPoints, -1, correction);
        meanLow_[i] =
            imageReject_ ? MeanSidePower(from, pixelHz, subPoints, +1, correction) : meanHigh_[i];
    }
    const int reach =
        static_cast<int>(std::min(64.0, std::ceil(kSideChoiceBins * plan_.binWidthHz / pixelHz)));
    for (int i = 0; i <= kPixels; ++i) {
        double low = 0.0;
        double high = 0.0;
        for (int j = std::max(0, i - reach); j <= std::min(kPixels, i + reach); ++j) {
            low += meanLow_[j];
            high += meanHigh_[j];
        }
        double level = 0.5 * (meanLow_[i] + meanHigh_[i]);
        if (low > kSidesAgree * high) {
            level = meanHigh_[i];
        } else if (high > kSidesAgree * low) {
            level = meanLow_[i];
        }
        StoreRow(context.trace, i, RowOnScale(LogRow(level, s), s), s);
    }
}

}  // namespace tavlin
