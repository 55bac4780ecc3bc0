#include "sweep/wide_sweep.h"

#include <algorithm>
#include <cmath>

#include "device/cal_table.h"
#include "device/device_link.h"
#include "sweep/band_route_correction.h"
#include "sweep/spectrum_rows.h"
#include "sweep/sweep_engine.h"

namespace tavlin {

namespace {

constexpr double kMHz = 1e6;
constexpr double kStepHz = 200e3;
constexpr double kBandSplitHz = 150e6;
constexpr double kLowBandIfHz = 10.7e6;
constexpr double kLowBandOffsetHz = 11e6;
constexpr double kHighBandStopMarginHz = 16e6;
constexpr double kHighBandStartMarginHz = 15e6;
constexpr int kIndicesPerReading = 3;
constexpr double kImageRegionHz = 17.7e6;
constexpr int kImageMarginValue = 800;  // 8 dB in hundredths
constexpr double kDetectorDbPerCount = 0.13427734375;
constexpr double kDetectorZeroDbm = -85.0;
constexpr double kPixelWiderThanReadingHz = 1.92e9;
constexpr int kRefinementThreshold = 240;
constexpr int kSideReadings = 7;  // about two IFs in readings
constexpr double kPeakOffsetMHz = 10.5;
constexpr int kRefinementFirstOffset = 23;
constexpr int kPeakHalfWidth = 5;
constexpr double kPeakShapeWidthHz = 20e6;
constexpr double kPeakShapeScale = 2.5e-7;
constexpr int kNoPowerValue = -30000;  // hundredths of a dB, far below any row
constexpr int kPixels = kTracePoints - 1;

// Step power as the low band keeps it: hundredths of a dB, truncated.
int StepValue(double power) {
    if (!(power > 0.0)) {
        return kNoPowerValue;
    }
    return std::max(kNoPowerValue, static_cast<int>(1000.0 * std::log10(power)));
}

double DetectorLevel(int reading) {
    return reading * kDetectorDbPerCount + kDetectorZeroDbm;
}

int PixelOf(double freqHz, double startHz, double spanHz) {
    return static_cast<int>(std::floor((freqHz - startHz) * kPixels / spanHz + 0.5));
}

}  // namespace

WideSweep::WideSweep() = default;
WideSweep::~WideSweep() = default;

int WideSweep::LowBandFirstIndex(double startHz) {
    return std::max(kFirstLowBandIndex,
                    static_cast<int>(std::trunc((startHz - kLowBandOffsetHz) / kMHz)));
}

DetectorPlan WideSweep::PlanDetector(double startHz, double stopHz, bool lowBandSwept) {
    DetectorPlan plan;
    plan.h0 =
        lowBandSwept
            ? kHighBandIndexAfterLowBand
            : std::max(0, static_cast<int>(std::trunc((startHz - kHighBandStartMarginHz) / kMHz)));
    const int top = static_cast<int>(std::trunc((stopHz + kHighBandStopMarginHz) / kMHz));
    plan.h1 = std::min(top, plan.h0 + kIndicesPerReading * kMaxDetectorValues);
    plan.h1 -= (plan.h1 - plan.h0) % kIndicesPerReading;
    plan.h1 = std::max(plan.h1, plan.h0);
    return plan;
}

void WideSweep::Run(SweepContext& context) {
    const SweepSettings& s = context.settings;
    DeviceLink& link = context.link;
    link.SetIfPath(0);
    context.plan.ifInUse = context.plan.receiver.ifFreq1Hz;
    // The step list is read at the full sample rate whatever the last FFT sweep left.
    link.SetDecimation(1);
    link.SetGainMode(0);
    context.outcome.gainModeSet = true;
    context.outcome.gainMode = 0;
    kept_ = context.trace.traceA;
    rows_.fill(kBottomRowClamp);
    peak_ = Peak{};
    readingCount_ = 0;
    reader_.SetReceiver(context.plan.receiver.sampleRateHz, context.plan.receiver.ifFreq1Hz,
                        context.cal);
    reader_.BeginSweep();
    const BandRouteCorrection route(context.cal,
                                    LevelSettings{s.attenDb, 0, s.preampAvailable, s.preampOn});
    const StepReadPorts ports = StepReadPorts::Of(context);

    const bool lowBandSwept = s.startHz < kLowBandBelowHz;
    if (lowBandSwept) {
        const int firstIndex = LowBandFirstIndex(s.startHz);
        link.SetBandSelect(false);
        SweepLowBand(context, ports, firstIndex);
        if (!stepValues_.empty()) {
            DrawLowBand(context, route, firstIndex, static_cast<int>(stepValues_.size()));
        }
    }
    const DetectorPlan plan = PlanDetector(s.startHz, s.stopHz, lowBandSwept);
    const double firstPixel =
        lowBandSwept ? std::ceil(kPixels * (kBandSplitHz - s.startHz) / s.SpanHz()) : 0.0;
    if (SweepHighBand(context, plan)) {
        DrawHighBand(context, plan, static_cast<int>(std::clamp(firstPixel, 0.0, kPixels + 1.0)));
        RefinePeak(context, ports, route, plan);
    }
    FinishRows(context);
}

// A read that did not complete leaves no values: its pixels stay on the
// floor rather than reading zeros as full scale.
void WideSweep::SweepLowBand(SweepContext& context, const StepReadPorts& ports, int firstIndex) {
    const int first = 5 * firstIndex;
    const int steps = kLastLowBandStep - first + 1;
    stepValues_.clear();
    if (steps <= 0) {
        return;
    }
    stepPowers_.resize(static_cast<std::size_t>(steps));
    const int result = reader_.ReadStepList(ports, first, kLastLowBandStep, 1, stepPowers_);
    if (result == StepListReader::kCompressed) {
        context.outcome.ifCompressed = true;
        context.stopRequest = 1;
    }
    if (result == StepListReader::kAborted) {
        return;
    }
    stepValues_.resize(stepPowers_.size());
    std::transform(stepPowers_.begin(), stepPowers_.end(), stepValues_.begin(), StepValue);
}

// Each frequency is seen from below (step i) and from above (step i + 107);
// the smaller is free of images. Below 17.7 MHz the step's own image region
// is drawn too: a reading well above its partner there is a real signal seen
// from above, anything else is shown at the band's floor.
void WideSweep::DrawLowBand(SweepContext& context, const BandRouteCorrection& route, int firstIndex,
                            int steps) {
    const SweepSettings& s = context.settings;
    const double k = RowsPerDb(s.dbPerDiv);
    const double span = s.SpanHz();
    const int floorValue = *std::min_element(stepValues_.begin(), stepValues_.end());
    for (int i = 0; i + kSideStepPair < steps; ++i) {
        const int below = stepValues_[i];
        const int above = stepValues_[i + kSideStepPair];
        const double f = firstIndex * kMHz + kLowBandIfHz + i * kStepHz;
        const double top = (s.refLevelDbm - route.At(f, false) - s.attenDb) * k;
        const int p = std::max(0, PixelOf(f, s.startHz, span));
        if (p <= kPixels) {
            rows_[p] = std::min(rows_[p], top - std::min(below, above) * k / 100.0);
        }
        // The step sees a signal an IF below its LO there, which passed the
        // front end at its own frequency: it takes that frequency's correction.
        const double image = firstIndex * kMHz - kLowBandIfHz + i * kStepHz;
        if (image < kImageRegionHz && image >= s.startHz) {
            const int value = below <= above + kImageMarginValue ? floorValue : below;
            const double imageTop = (s.refLevelDbm - route.At(image, false) - s.attenDb) * k;
            const int p2 = PixelOf(image, s.startHz, span);
            if (p2 >= 0 && p2 <= kPixels) {
                rows_[p2] = std::min(rows_[p2], imageTop - value * k / 100.0);
            }
        }
    }
}

bool WideSweep::SweepHighBand(SweepContext& context, const DetectorPlan& plan) {
    if (plan.Values() <= 0) {
        return false;
    }
    readings_.fill(0);
    if (context.link.StartDetectorSweep(plan.h0, plan.h1, readings_.data()) != kLinkOk) {
        return false;
    }
    readingCount_ = plan.Values();
    return true;
}

// Readings beyond the answer take its first or last one.
int WideSweep::Reading(int index) const {
    return readings_[static_cast<std::size_t>(std::clamp(index, 0, readingCount_ - 1))];
}

// The detector sees everything an IF (within 2 MHz) either side of its LO:
// a signal shows three to four readings below and above its own frequency,
// and the smaller of the two sides is free of images.
//
// A pixel wider than a reading also looks a reading below and above (so no
// signal between pixel centres is lost); a signal that its neighbour already
// shows centred is left to that neighbour. Otherwise one signal would show
// at full level on three pixels and its peak would be read at the first.
void WideSweep::DrawHighBand(const SweepContext& context, const DetectorPlan& plan,
                             int firstPixel) {
    const SweepSettings& s = context.settings;
    const double span = s.SpanHz();
    for (int i = firstPixel; i <= kPixels; ++i) {
        const double f = s.startHz + i * span / kPixels;
        const double position = std::floor((f / kMHz - plan.h0) / kIndicesPerReading + 0.5);
        const int j = static_cast<int>(std::clamp(position, -10.0, readingCount_ + 10.0));
        const auto sides = [this, j](int lowA, int lowB, int highA, int highB) {
            return std::min(std::max(Reading(j - lowA), Reading(j - lowB)),
                            std::max(Reading(j + highA), Reading(j + highB)));
        };
        centred_[i] = sides(3, 4, 3, 4);
        lower_[i] = sides(4, 5, 2, 3);
        upper_[i] = sides(2, 3, 4, 5);
    }
    const double k = RowsPerDb(s.dbPerDiv);
    const double top = (s.refLevelDbm - WideDetectorCorrection() - s.attenDb) * k;
    const bool widePixels = span > kPixelWiderThanReadingHz;
    for (int i = firstPixel; i <= kPixels; ++i) {
        const int v = centred_[i];
        double level = DetectorLevel(v);
        if (widePixels) {
            const bool lowerShownBelow = i > firstPixel && centred_[i - 1] >= lower_[i];
            if (lower_[i] > v && !lowerShownBelow) {
                level = DetectorLevel(lower_[i]);
            }
            const bool upperShownAbove = i < kPixels && centred_[i + 1] >= upper_[i];
            if (upper_[i] > v && !upperShownAbove) {
                level = DetectorLevel(upper_[i]);
            }
        }
        rows_[i] = top - k * level;
        if (rows_[i] < peak_.row) {
            peak_ = Peak{rows_[i], i, s.startHz + i * span / kPixels};
        }
    }
}

// The detector reads a signal's power only roughly: the strongest one is
// looked at again through the step list, an IF above it, and drawn as a
// peak 20 MHz wide at the level found.
void WideSweep::RefinePeak(SweepContext& context, const StepReadPorts& ports,
                           const BandRouteCorrection& route, const DetectorPlan& plan) {
    if (readingCount_ < 2 || peak_.pixel < 0) {
        return;
    }
    const auto strongest =
        std::max_element(readings_.begin() + 1, readings_.begin() + readingCount_);
    const int q = static_cast<int>(strongest - readings_.begin());
    if (*strongest <= kRefinementThreshold) {
        return;
    }
    const int lastBelowCheck = (plan.h1 - plan.h0 - 3 * kSideReadings) / kIndicesPerReading;
    const bool signalAbove =
        q < kSideReadings ||
        (q <= lastBelowCheck && Reading(q - kSideReadings) <= Reading(q + kSideReadings));
    const double estimateMHz =
        plan.h0 + kIndicesPerReading * q + (signalAbove ? kPeakOffsetMHz : -kPeakOffsetMHz);
    const int first = static_cast<int>(std::trunc(5.0 * estimateMHz + kRefinementFirstOffset));
    stepPowers_.resize(kRefinementSteps);
    const int result =
        reader_.ReadStepList(ports, first, first + kRefinementSteps - 1, 1, stepPowers_);
    if (result == StepListReader::kCompressed) {
        context.outcome.ifCompressed = true;
        context.stopRequest = 1;
    }
    if (result == StepListReader::kAborted) {
        return;  // zeros here would draw a full-scale peak
    }
    std::array<int, kRefinementSteps> values{};
    std::transform(stepPowers_.begin(), stepPowers_.end(), values.begin(), StepValue);
    const int z = std::clamp(
        static_cast<int>(std::max_element(values.begin(), values.end()) - values.begin()),
        kPeakHalfWidth, kRefinementSteps - 1 - kPeakHalfWidth);
    const int best = *std::max_element(values.begin() + (z - kPeakHalfWidth),
                                       values.begin() + (z + kPeakHalfWidth + 1));
    // The step sees the signal an IF below its LO.
    const double peakHz = (first + z) * kStepHz - context.plan.ifInUse;
    const SweepSettings& s = context.settings;
    const double k = RowsPerDb(s.dbPerDiv);
    const double peakRow =
        (s.refLevelDbm - route.At(peak_.freqHz, true) - s.attenDb) * k - 10.0 * k * (best * 0.001);
    DrawPeak(context, peakHz, peakRow);
}

// A quartic peak 20 MHz wide, cut off at the floor around it. The floor is
// read one pixel outside the shape: over the widest spans the detector's own
// response to the signal is as wide as the shape, and a floor read at its
// edges would flatten the peak into a plateau whose first pixel, not the
// signal's, is the highest. Of the two sides the lower level is the floor:
// a signal beside the shape (one the low band shows just below 150 MHz)
// would flatten it the same way.
void WideSweep::DrawPeak(const SweepContext& context, double peakHz, double peakRow) {
    const SweepSettings& s = context.settings;
    const double span = s.SpanHz();
    const int p0 = std::max(0, PixelOf(peakHz - kPeakShapeWidthHz / 2.0, s.startHz, span));
    if (p0 > kPixels) {
        return;
    }
    const int width = static_cast<int>(std::floor(kPeakShapeWidthHz / span * kPixels + 0.5));
    const int last = std::min(p0 + std::max(width, 0), kPixels);
    const double floorRow =
        std::max(rows_[std::max(p0 - 1, 0)], rows_[std::min(last + 1, kPixels)]);
    const double k = RowsPerDb(s.dbPerDiv);
    for (int p = p0; p <= last; ++p) {
        const double f = s.startHz + p * span / kPixels;
        const double shape = std::pow((peakHz - f) * kPeakShapeScale, 4.0);
        rows_[p] = std::min(peakRow + k * shape, floorRow);
    }
}

// The rows are shaped in dB; the screen may show them on the linear scale.
void WideSweep::FinishRows(SweepContext& context) const {
    const SweepSettings& s = context.settings;
    for (int i = 0; i <= kPixels; ++i) {
        double row = RowOnScale(rows_[i], s);
        if ((s.maxHold && row > kept_[i]) || (s.minHold && row < kept_[i])) {
            row = kept_[i];
        }
        SetRow(context.trace, i, row);
    }
}

}  // namespace tavlin
