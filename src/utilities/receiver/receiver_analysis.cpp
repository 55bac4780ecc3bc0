#include "utilities/receiver/receiver_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "base/bounded_format.h"
#include "base/reading_flag.h"
#include "dsp/dsp_primitives.h"
#include "utilities/receiver/receiver_fit.h"

namespace tavlin {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int kTaps = 255;
constexpr int kHistory = 10;
constexpr double kShowButtonBelow = 4000000.0;
constexpr double kHideButtonAbove = 4500000.0;
constexpr double kLeaveSensitiveAbove = 900000000.0;

template <typename... Args>
std::string Format(const char* format, Args... args) {
    return FormatText(format, args...);
}

double Wrapped(double step) {
    if (step > std::numbers::pi) {
        return step - kTwoPi;
    }
    if (step < -std::numbers::pi) {
        return step + kTwoPi;
    }
    return step;
}

// A block whose modulation does not fit a filter reads low.
ReadingFlag FitFlag(const ReceiverFit& fit) {
    return fit.AdviceLine().empty() ? ReadingFlag::kNone : ReadingFlag::kBeyondFilter;
}

}  // namespace

int DecimationForBandwidth(std::string_view text) {
    if (text == "240 KHz") {
        return 1;
    }
    if (text == "120 KHz") {
        return 2;
    }
    if (text == "60 KHz") {
        return 4;
    }
    if (text == "30 KHz") {
        return 8;
    }
    return 16;
}

std::string IfBandwidthSetting(double hz) {
    for (int decimation = 1; decimation <= 16; decimation *= 2) {
        if (hz == ReceiverFit::IfBandwidthHz(decimation)) {
            return Format("%.0f KHz", hz / 1000.0);
        }
    }
    return {};
}

std::string ControlsRefusal(const ReceiverControls& controls, int decimation) {
    // The filters take their frequencies in cycles per sample of the
    // decimated rate (486111.111 / D): anything from half of it on, or not
    // above 0, leaves no band to pass.
    const double nyquistHz = 486111.111 / decimation / 2.0;
    const double hz = controls.bandPass ? controls.bandPassCentreHz : controls.lowPassCutoffHz;
    if (!(hz > 0.0 && hz < nyquistHz)) {
        return Format("The audio filter frequency must be above 0 Hz and below %.0f Hz.",
                      nyquistHz);
    }
    return {};
}

ReceiverAnalysis::ReceiverAnalysis()
    : work_(kSamples), re_(kSamples), im_(kSamples), taps_(kTaps), history_(kHistory, 0.0) {}

void ReceiverAnalysis::Restart() {
    referencePower_ = 5.0;
    std::ranges::fill(history_, 0.0);
    started_ = false;
    lastSync_ = false;
    sensitiveSet_ = false;
}

std::string ReceiverAnalysis::Process(std::span<const std::int32_t> i,
                                      std::span<const std::int32_t> q, const ReceiverTuning& tuning,
                                      const ReceiverControls& controls) {
    const double rateHz = tuning.sampleRateHz / tuning.decimation;
    Discriminate(i, q, tuning);
    const double clippedShare = ShareBeyond(ReceiverFit::IfBandwidthHz(tuning.decimation) / 2.0);
    const AudioToneFinder::Tone fmTone = FindTone(carrierOffsetHz_, rateHz);
    // Counted from the frequency we meant to tune: the discriminator has
    // already taken LO1's residual error out of m.
    const double counterHz =
        tuning.loHighSide ? tuning.tunedHz - carrierOffsetHz_ : tuning.tunedHz + carrierOffsetHz_;

    Filter(controls, tuning, false);
    const Tone fm = Analyse(work_, -100.0 / tuning.decimation, rateHz);
    ReceiverFit fmFit(controls, tuning.decimation, rateHz);
    fmFit.JudgeFm(fmTone, clippedShare);
    // Sidebands cut by the IF filter pull the mean frequency too.
    const ReadingFlag counterFlag =
        fmFit.BeyondIf() ? ReadingFlag::kBeyondFilter : ReadingFlag::kNone;
    std::string text =
        "RF COUNTER: " + FlaggedReadingText(Format("%.2f Hz", counterHz), counterFlag) + "\r\n\r\n";
    reading_.counterHz = counterHz;
    reading_.counterFlag = counterFlag;
    reading_.fm = {controls.showFm, fm.rms, fm.peakPlus, fm.peakMinus, fm.audioHz, FitFlag(fmFit)};
    if (controls.showFm) {
        text += Format(
            "FM RMS: %.2f Hz\r\n   RMS(RT2): %.2f Hz\r\n   PEAK+: %.1f Hz\r\n"
            "   PEAK-: %.1f Hz\r\n   Audio Freq: %.3f Hz\r\n\r\n",
            fm.rms, fm.rms * std::numbers::sqrt2, fm.peakPlus, fm.peakMinus, fm.audioHz);
        text += fmFit.AdviceLine();
    }

    envelopeSum_ = Envelope(i, q);
    const AudioToneFinder::Tone amTone = FindTone(1.0, rateHz);
    Filter(controls, tuning, true);
    const Tone am = Analyse(work_, -0.1 / tuning.decimation, rateHz);
    ReceiverFit amFit(controls, tuning.decimation, rateHz);
    amFit.JudgeAudio(amTone);
    reading_.am = {controls.showAm,       am.rms * 100.0, am.peakPlus * 100.0,
                   am.peakMinus * -100.0, am.audioHz,     FitFlag(amFit)};
    if (controls.showAm) {
        text += Format(
            "AM PEAK+: %.2f%c \r\n   PEAK-: %.2f%c \r\n   RMS: %.3f%c\r\n"
            "   Audio Freq: %.3f Hz\r\n\r\n",
            reading_.am.peakPlus, '%', reading_.am.peakMinus, '%', reading_.am.rms, '%',
            am.audioHz);
        text += amFit.AdviceLine();
    }

    if (controls.syncDetector != lastSync_) {
        started_ = false;
        std::ranges::fill(history_, 0.0);
        lastSync_ = controls.syncDetector;
    }
    if (!started_) {
        lockedOffsetHz_ = carrierOffsetHz_ - tuning.loErrorHz;
    }
    text += RelativePower(Power(i, q, tuning, controls.syncDetector));
    return text;
}

// a[n] = phi(n - 1) - phi(n) + k, in Hz, less LO1's residual error k. On a
// mirrored spectrum the phase turns the other way, so the step is reversed
// while the error term keeps its sign, as in zero span.
void ReceiverAnalysis::Discriminate(std::span<const std::int32_t> i,
                                    std::span<const std::int32_t> q, const ReceiverTuning& tuning) {
    const double rateHz = tuning.sampleRateHz / tuning.decimation;
    const double k = kTwoPi * tuning.loErrorHz / rateHz;
    double previous = 0.0;
    double sum = 0.0;
    for (int n = 0; n < kSamples; ++n) {
        const double phase = std::atan2(static_cast<double>(q[n]), static_cast<double>(i[n]));
        const double turn = tuning.mirrored ? phase - previous : previous - phase;
        work_[n] = Wrapped(turn + k) / kTwoPi * rateHz;
        previous = phase;
        if (n > 0) {
            sum += work_[n];
        }
    }
    carrierOffsetHz_ = sum / (kSamples - 1);
}

// The share of the discriminator's samples, once the filters have settled,
// that turned further from the carrier than edgeHz.
double ReceiverAnalysis::ShareBeyond(double edgeHz) const {
    int beyond = 0;
    for (int n = kSettle; n < kSamples; ++n) {
        if (std::abs(work_[n] - carrierOffsetHz_) > edgeHz) {
            ++beyond;
        }
    }
    return static_cast<double>(beyond) / (kSamples - kSettle);
}

// The strongest tone of the series in work_ once the filters would have
// settled, less its mean.
AudioToneFinder::Tone ReceiverAnalysis::FindTone(double mean, double rateHz) {
    for (int n = 0; n < AudioToneFinder::kLength; ++n) {
        re_[n] = work_[kSettle + n] - mean;
    }
    return toneFinder_.Find(re_, rateHz);
}

// The FM series is low-passed less its mean, the envelope (mean 1) has it
// taken off after the filter; the band-pass rejects the mean by itself.
void ReceiverAnalysis::Filter(const ReceiverControls& c, const ReceiverTuning& tuning,
                              bool envelope) {
    const double rateHz = tuning.sampleRateHz / tuning.decimation;
    if (c.bandPass) {
        BandPass(c.bandPassCentreHz / rateHz, 1.0 - tuning.decimation * 0.001, kSamples, work_);
        return;
    }
    DesignLowPass(c.lowPassCutoffHz / rateHz, kTaps, taps_);
    if (!envelope) {
        for (int n = 1; n < kSamples; ++n) {
            work_[n] -= carrierOffsetHz_;
        }
    }
    FilterFir(kSamples, kTaps, work_, taps_);
    if (envelope) {
        for (double& v : work_) {
            v -= 1.0;
        }
    }
}

ReceiverAnalysis::Tone ReceiverAnalysis::Analyse(std::span<const double> x, double armBelow,
                                                 double rateHz) {
    Tone tone;
    double sumSquares = 0.0;
    bool armed = false;
    int count = 0;
    double first = 0.0;
    double last = 0.0;
    bool haveFirst = false;
    for (int n = kSettle; n < kSamples; ++n) {
        const double v = x[n];
        tone.peakPlus = std::max(tone.peakPlus, v);
        tone.peakMinus = std::min(tone.peakMinus, v);
        sumSquares += v * v;
        if (v < armBelow) {
            armed = true;
        } else if (armed && v >= 0.0) {
            armed = false;
            const double t = (n - 1) + (-x[n - 1] / (v - x[n - 1]));
            if (!haveFirst) {
                first = t;
                haveFirst = true;
            } else {
                last = t;
                ++count;
            }
        }
    }
    tone.rms = std::sqrt(sumSquares / (kSamples - kSettle));
    if (count != 0) {
        tone.audioHz = rateHz / ((last - first) / count);
    }
    return tone;
}

// The envelope scaled to a mean of 1; returns the sum before scaling. A
// capture of zeros has no envelope to scale and stays 0.
double ReceiverAnalysis::Envelope(std::span<const std::int32_t> i,
                                  std::span<const std::int32_t> q) {
    double sum = 0.0;
    for (int n = 0; n < kSamples; ++n) {
        const double a = i[n];
        const double b = q[n];
        work_[n] = std::sqrt(a * a + b * b);
        sum += work_[n];
    }
    if (sum > 0.0) {
        const double scale = kSamples / sum;
        for (double& v : work_) {
            v *= scale;
        }
    }
    return sum;
}

double ReceiverAnalysis::Power(std::span<const std::int32_t> i, std::span<const std::int32_t> q,
                               const ReceiverTuning& tuning, bool sync) {
    double power = 0.0;
    if (!sync) {
        for (int n = kSettle; n < kSamples; ++n) {
            const double a = i[n];
            const double b = q[n];
            power += a * a + b * b;
        }
    } else {
        std::copy_n(i.begin(), kSamples, re_.begin());
        std::copy_n(q.begin(), kSamples, im_.begin());
        // The locked carrier sits at -c in baseband, at +c on a mirrored spectrum.
        const double basebandHz = tuning.mirrored ? lockedOffsetHz_ : -lockedOffsetHz_;
        const double rateHz = tuning.sampleRateHz / tuning.decimation;
        FrequencyShift(kSamples, kTwoPi * basebandHz / rateHz, re_, im_, re_, im_);
        double sumRe = 0.0;
        double sumIm = 0.0;
        for (int n = 0; n < kSamples; ++n) {
            sumRe += re_[n];
            sumIm += im_[n];
        }
        power = sumRe * sumRe + sumIm * sumIm;
    }
    // One count squared is below any real reading: a capture of zeros is
    // held there rather than dividing by zero.
    return std::max(power, 1.0);
}

std::string ReceiverAnalysis::RelativePower(double power) {
    if (rangeMode_ == 2) {
        calOffsetDb_ = history_[kHistory - 2] - 10.0 * std::log10(power / referencePower_);
        sensitiveSet_ = true;
        rangeMode_ = 1;
    }
    if (!started_) {
        referencePower_ = power;
    } else {
        std::shift_left(history_.begin(), history_.end(), 1);
        history_.back() =
            10.0 * std::log10(power / referencePower_) + (rangeMode_ == 1 ? calOffsetDb_ : 0.0);
    }
    double sum = 0.0;
    for (double h : history_) {
        sum += h;
    }
    started_ = true;
    reading_.relativeDb = history_.back();
    reading_.averagedDb = sum / kHistory;
    return Format("%sRelative Power: %.3f dBc\r\n", rangeMode_ == 1 ? "*" : "", history_.back()) +
           Format("Averaged: %.3f dBc\r\n", reading_.averagedDb);
}

RangeAction ReceiverAnalysis::UpdateRange() {
    RangeAction action;
    const double s = envelopeSum_;
    if (s < kShowButtonBelow && rangeMode_ == 0) {
        if (calOffsetDb_ == 0.0) {
            action.button = RangeAction::Button::Show;
        } else {
            rangeMode_ = 1;
        }
    }
    if (s > kHideButtonAbove) {
        action.button = RangeAction::Button::Hide;
    }
    if (s > kLeaveSensitiveAbove && rangeMode_ == 1) {
        rangeMode_ = 0;
    }
    if (rangeMode_ == 1 && !sensitiveSet_) {
        action.range = RangeAction::Range::Sensitive;
        sensitiveSet_ = true;
    } else if (rangeMode_ == 0 && sensitiveSet_) {
        action.range = RangeAction::Range::Normal;
        sensitiveSet_ = false;
    } else if (rangeMode_ == 3) {
        action.range = RangeAction::Range::Sensitive;
        rangeMode_ = 2;
    }
    return action;
}

}  // namespace tavlin
