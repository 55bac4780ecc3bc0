// The frequency plan of the sweep engine: the sample-clock mode that keeps the
// sampler's harmonics off the tuned frequency, the fractional-N settings of
// the two local oscillators, and the FFT resolution of the FFT sweeps.

#include <array>
#include <cmath>

#include "device/device_link.h"
#include "sweep/rbw_rules.h"
#include "sweep/sweep_engine.h"

namespace tavlin {

namespace {

// The sampler clock and its harmonics.
constexpr double kSamplerClockHz = 23333333.33;
constexpr double kHarmonicGuardHz = 120000.0;
constexpr long long kMode2HarmonicStep = 27;

struct ClockModeConstants {
    double ifFreq1Hz;
    double ifFreq2Hz;
    double sampleRateHz;
};

constexpr std::array<ClockModeConstants, 3> kClockModes{{
    {10694444.4444, 2916666.6667, 486111.1111},
    {10687500.0, 2812500.0, 468750.0},
    {10705357.142857144, 2919642.8571428573, 486607.1428571429},
}};

// Synthesizer: 10 MHz comparison frequency, VCO from 2.2 GHz, output divided
// by 2^k.
constexpr double kComparisonHz = 10e6;
constexpr double kVcoFloorHz = 2.2e9;
constexpr int kMaxDividerExponent = 16;
constexpr int kLargestDenominator = 900;
constexpr int kSmallestSettledDenominator = 90;
constexpr double kNoFractionYetHz = 500000.0;

// Span-dependent tolerance of the residual LO error (before the divider).
constexpr double kToleranceSpanFraction = 0.05;
constexpr double kToleranceFloorHz = 5000.0;
// The measuring receiver's tolerance: 1 kHz per divider step plus 5 kHz.
constexpr double kReceiverTolerancePerStepHz = 1000.0;

// Near DC the LOs sit a little off the plain high-side setting, so the
// sampler's own DC term and the LO leakage land outside the displayed span;
// the digital shift takes the offsets out again.
constexpr double kNearDcCentreHz = 5e6;
constexpr double kLowCentreHz = 18e6;
constexpr double kHighReferenceDbm = 5.0;
constexpr double kLo1NearDcOffset = 0.03;
constexpr double kLo2NearDcOffset = 0.05;

constexpr double kBandSplitHz = 150e6;
constexpr double kReceiverSecondIfFromHz = 10e6;

bool IsPrime(int d) {
    const int limit = static_cast<int>(std::floor(std::sqrt(static_cast<double>(d)) + 0.01));
    for (int divisor = 2; divisor <= limit; ++divisor) {
        if (d % divisor == 0) {
            return false;
        }
    }
    return d >= 2;
}

// The LO before the divider: doubled (with its offset) until the VCO range.
struct VcoTarget {
    double vcoHz = 0.0;
    double offsetHz = 0.0;
    int div = 0;
};

VcoTarget ToVcoRange(double loHz, double offsetHz) {
    VcoTarget target{loHz, offsetHz, 0};
    while (target.vcoHz < kVcoFloorHz && target.div < kMaxDividerExponent) {
        target.vcoHz *= 2.0;
        target.offsetHz *= 2.0;
        ++target.div;
    }
    return target;
}

// How a fraction search weighs a candidate's residual error e (always >= 0).
struct FractionGoal {
    double toleranceHz = 0.0;  // the search stops once the error is below it
    bool aimAtHalfTolerance = false;
    int skippedDenominator = 0;  // 0: none skipped
};

// Integer and prime-denominator fraction of the comparison frequency nearest
// to the VCO target under the goal; fills intPart, num and den.
void SearchFraction(double vcoHz, const FractionGoal& goal, LoSetting& lo) {
    lo.intPart = static_cast<int>(std::floor(vcoHz / kComparisonHz));
    const double fraction = vcoHz - lo.intPart * kComparisonHz;
    const auto measure = [&goal](double e) {
        return goal.aimAtHalfTolerance ? std::fabs(e - goal.toleranceHz / 2.0) : e;
    };
    double best = kNoFractionYetHz;
    for (int d = 2; d <= kLargestDenominator; ++d) {
        if (!IsPrime(d) || d == goal.skippedDenominator) {
            continue;
        }
        const int m = static_cast<int>(std::floor(d * fraction / kComparisonHz));
        const double above = measure((m + 1.0) / d * kComparisonHz - fraction);
        if (above < best) {
            lo.num = m + 1;
            lo.den = d;
            best = above;
        }
        const double below = measure(fraction - static_cast<double>(m) / d * kComparisonHz);
        if (below < best) {
            lo.num = m;
            lo.den = d;
            best = below;
        }
        if (d > kSmallestSettledDenominator && best < goal.toleranceHz) {
            break;
        }
    }
    // A numerator equal to the denominator is the next whole multiple: the
    // synthesizer's fraction register cannot hold it.
    if (lo.num >= lo.den) {
        lo.intPart += lo.num / lo.den;
        lo.num %= lo.den;
    }
}

// Wanted and synthesized frequency at the divider output, both counted in
// the synthesizer's own hertz (its reference taken as exactly 10 MHz);
// returns the error with the sign that the digital shift takes out (wanted -
// actual above the signal, actual - wanted below it) in true hertz, as the
// sample rate and IF it is set against are: with the reference 30 ppm off,
// the difference is about 30 kHz of LO, and 30 ppm of it left in would read
// a narrow span's signal about 1 Hz off.
double FinishLo(const VcoTarget& target, double timebaseCorrection, LoSetting& lo) {
    const double divisor = std::ldexp(1.0, target.div);
    lo.div = target.div;
    lo.wantedHz = (target.vcoHz + target.offsetHz) / divisor / timebaseCorrection;
    lo.actualHz = (lo.intPart + static_cast<double>(lo.num) / lo.den) * kComparisonHz / divisor;
    const double errorHz = lo.highSide ? lo.wantedHz - lo.actualHz : lo.actualHz - lo.wantedHz;
    return errorHz * timebaseCorrection;
}

double UsableTimebase(double correction) {
    return std::isfinite(correction) && correction > 0.0 ? correction : 1.0;
}

double SpanTolerance(double spanHz, int div) {
    return (kToleranceSpanFraction * spanHz + kToleranceFloorHz) * std::ldexp(1.0, div);
}

// One candidate of the measuring receiver's plan.
struct ReceiverCandidate {
    LoSetting lo;
    double errorHz = 0.0;
};

ReceiverCandidate PlanReceiverCandidate(double loHz, bool highSide, double timebaseCorrection) {
    ReceiverCandidate candidate;
    candidate.lo.highSide = highSide;
    const VcoTarget target = ToVcoRange(loHz, 0.0);
    FractionGoal goal;
    goal.toleranceHz =
        kReceiverTolerancePerStepHz * std::ldexp(1.0, target.div) + kToleranceFloorHz;
    SearchFraction(target.vcoHz, goal, candidate.lo);
    candidate.errorHz = FinishLo(target, timebaseCorrection, candidate.lo);
    return candidate;
}

}  // namespace

// --- Sample clock ------------------------------------------------------------------

int SweepEngine::SampleClockModeFor(double freqHz, int syncTrigMode) {
    if (!std::isfinite(freqHz)) {
        return 0;
    }
    const double h = std::floor(freqHz / kSamplerClockHz + 0.5);
    if (h == 0.0 || !(std::fabs(h * kSamplerClockHz - freqHz) < kHarmonicGuardHz)) {
        return 0;
    }
    if (syncTrigMode == 1) {
        return 0;  // an external trigger or sync needs the plain clock
    }
    return std::fmod(h, static_cast<double>(kMode2HarmonicStep)) == 0.0 ? 2 : 1;
}

bool SweepEngine::ChooseSampleClock(double freqHz, SweepContext& context) {
    const int mode = SampleClockModeFor(freqHz, context.settings.syncTrigMode);
    const bool changed = mode != clockMode_;
    clockMode_ = mode;
    UseTimebase(context.settings.timebaseCorrection);
    context.plan.clockMode = clockMode_;
    context.plan.receiver = receiver_;
    return changed;
}

void SweepEngine::UseTimebase(double correction) {
    const double timebase = UsableTimebase(correction);
    const ClockModeConstants& constants = kClockModes[static_cast<std::size_t>(clockMode_)];
    receiver_.ifFreq1Hz = constants.ifFreq1Hz * timebase;
    receiver_.ifFreq2Hz = constants.ifFreq2Hz * timebase;
    receiver_.sampleRateHz = constants.sampleRateHz * timebase;
}

void SweepEngine::ShowLoPlan(SweepContext& context) const {
    context.plan.lo1 = loPlan_.lo1;
    context.plan.lo2 = loPlan_.lo2;
    context.plan.lo2SecondIf = loPlan_.lo2SecondIf;
    context.plan.lo1ErrorHz = lo1ErrorHz_.load();
    context.plan.lo2ErrorHz = lo2ErrorHz_.load();
}

// --- Local oscillators -------------------------------------------------------------

bool SweepEngine::DeviceHoldsPlan(SweepContext& context) {
    if (context.stopRequest.load() != 0 || context.settings.imageReject) {
        ForgetLoPlan();
    }
    const SweepPlan& plan = context.plan;
    return loPlan_.startHz == plan.startHz && loPlan_.stopHz == plan.stopHz &&
           loPlan_.ifHz == plan.receiver.ifFreq1Hz &&
           loPlan_.refLevelDbm == context.settings.refLevelDbm;
}

void SweepEngine::PlanLocalOscillators(SweepContext& context) {
    if (DeviceHoldsPlan(context)) {
        ShowLoPlan(context);
        return;
    }
    const SweepSettings& s = context.settings;
    const double timebase = UsableTimebase(s.timebaseCorrection);
    const double center = (context.plan.startHz + context.plan.stopHz) / 2.0;
    const double span = context.plan.stopHz - context.plan.startHz;
    LoSetting& lo1 = loPlan_.lo1;
    LoSetting& lo2 = loPlan_.lo2;
    bool& lo2SecondIf = loPlan_.lo2SecondIf;

    double lo1Hz = center + context.plan.receiver.ifFreq1Hz;
    double offset1Hz = 0.0;
    double lo2Hz = center - context.plan.receiver.ifFreq1Hz;
    double offset2Hz = 0.0;
    lo1.highSide = true;
    lo2.highSide = false;
    lo2SecondIf = false;
    if (center <= kNearDcCentreHz ||
        (center <= kLowCentreHz && s.refLevelDbm > kHighReferenceDbm)) {
        lo1Hz = center + context.plan.receiver.ifFreq1Hz + kLo1NearDcOffset * span;
        offset1Hz = -kLo1NearDcOffset * span;
        lo2Hz = center + context.plan.receiver.ifFreq1Hz - kLo2NearDcOffset * span;
        offset2Hz = kLo2NearDcOffset * span;
        lo2.highSide = true;
    } else if (s.refLevelDbm <= kHighReferenceDbm) {
        lo2Hz = center + context.plan.receiver.ifFreq2Hz;
        lo2.highSide = true;
        lo2SecondIf = true;
    }

    // The fractions are searched in the synthesizer's own hertz: searched
    // in true hertz, a reference 30 ppm off would leave 130 kHz of error at
    // 4.3 GHz, which puts the signal in the decimating filter's transition
    // band, where the digital shift cannot bring back what it took.
    const VcoTarget vco1 = ToVcoRange(lo1Hz, offset1Hz);
    FractionGoal goal1;
    goal1.toleranceHz = SpanTolerance(span, vco1.div);
    SearchFraction(vco1.vcoHz / timebase, goal1, lo1);
    lo1ErrorHz_ = FinishLo(vco1, timebase, lo1);

    // LO2 aims at half the tolerance and never shares LO1's denominator, so
    // its residual error differs from LO1's and the two passes' spurs fall
    // in different places.
    const VcoTarget vco2 = ToVcoRange(lo2Hz, offset2Hz);
    FractionGoal goal2;
    goal2.toleranceHz = SpanTolerance(span, vco2.div);
    goal2.aimAtHalfTolerance = true;
    goal2.skippedDenominator = lo1.den;
    SearchFraction(vco2.vcoHz / timebase, goal2, lo2);
    lo2ErrorHz_ = FinishLo(vco2, timebase, lo2);

    const int result = ProgramLo(context.link, lo1, center >= kBandSplitHz);
    // Only a plan the device accepted may be reused; with image rejection on
    // or a stop pending the next sweep plans afresh.
    const bool reusable =
        result == kLinkOk && context.stopRequest.load() == 0 && !context.settings.imageReject;
    if (reusable) {
        loPlan_.startHz = context.plan.startHz;
        loPlan_.stopHz = context.plan.stopHz;
        loPlan_.ifHz = context.plan.receiver.ifFreq1Hz;
        loPlan_.refLevelDbm = s.refLevelDbm;
    } else {
        ForgetLoPlan();
    }
    ShowLoPlan(context);
}

int SweepEngine::ProgramLo(DeviceLink& link, const LoSetting& lo, bool highBand) {
    return link.SetSynthesizer(lo.intPart, lo.num, lo.den, lo.div, highBand);
}

void SweepEngine::PlanReceiverOscillators(SweepContext& context) {
    // This reprograms LO1: an FFT plan the device held is gone.
    ForgetLoPlan();
    const double timebase = UsableTimebase(context.settings.timebaseCorrection);
    const double center = (context.plan.startHz + context.plan.stopHz) / 2.0;
    double candidateAHz = center + context.plan.receiver.ifFreq1Hz;
    double candidateBHz = candidateAHz;
    bool candidateBHigh = true;
    if (center >= kReceiverSecondIfFromHz) {
        context.link.SetIfPath(1);
        context.plan.ifInUse = context.plan.receiver.ifFreq2Hz;
        candidateAHz = center + context.plan.receiver.ifFreq2Hz;
        candidateBHz = center - context.plan.receiver.ifFreq2Hz;
        candidateBHigh = false;
        loPlan_.lo2SecondIf = true;
    } else {
        context.link.SetIfPath(0);
        context.plan.ifInUse = context.plan.receiver.ifFreq1Hz;
        loPlan_.lo2SecondIf = false;
    }
    const ReceiverCandidate a = PlanReceiverCandidate(candidateAHz, true, timebase);
    const ReceiverCandidate b = PlanReceiverCandidate(candidateBHz, candidateBHigh, timebase);
    // The smaller denominator puts the fractional spurs further out.
    const ReceiverCandidate& chosen = a.lo.den < b.lo.den ? a : b;
    loPlan_.lo1 = chosen.lo;
    lo1ErrorHz_ = chosen.errorHz;
    ShowLoPlan(context);
    ProgramLo(context.link, loPlan_.lo1, center >= kBandSplitHz);
}

// --- FFT resolution --------------------------------------------------------------------

double SweepEngine::ChooseFftResolution(SweepContext& context) {
    SweepPlan& plan = context.plan;
    const FftResolution resolution =
        tavlin::ChooseFftResolution(plan.stopHz - plan.startHz, context.settings.spanRbwRatio,
                                    plan.lo1ErrorHz, plan.lo2ErrorHz);
    plan.decimation = resolution.decimation;
    plan.fftSize = resolution.fftSize;
    return resolution.rbwHz;
}

}  // namespace tavlin
