#include "utilities/receiver/receiver_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/reading_flag.h"
#include "dsp/dsp_primitives.h"

namespace tavlin {

namespace {

constexpr double kWidestIfHz = 240000.0;
constexpr int kWidestDecimation = 1;
constexpr int kNarrowestDecimation = 16;
constexpr int kTaps = 255;
// A tone read through more than 1 dB of the audio filter's loss is outside
// its pass band.
constexpr double kPassBandGain = 0.891;
// More than this share of samples beyond the IF's edge is a clipped
// discriminator rather than noise's odd click.
constexpr double kClippedShare = 0.01;
// A low-pass cut-off that passes a tone flat lies this far above it at least.
constexpr double kLowPassMarginHz = 1000.0;
constexpr double kRoundCutoffHz = 100.0;

std::string IfSettingText(int decimation) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f KHz", ReceiverFit::IfBandwidthHz(decimation) / 1000.0);
    return text;
}

// The narrowest IF setting that holds the bandwidth, or the widest.
int DecimationHolding(double bandwidthHz) {
    for (int d = kNarrowestDecimation; d > kWidestDecimation; d /= 2) {
        if (ReceiverFit::IfBandwidthHz(d) >= bandwidthHz) {
            return d;
        }
    }
    return kWidestDecimation;
}

}  // namespace

double ReceiverFit::IfBandwidthHz(int decimation) {
    return kWidestIfHz / std::max(decimation, 1);
}

ReceiverFit::ReceiverFit(const ReceiverControls& controls, int decimation, double rateHz)
    : controls_(controls), decimation_(decimation), rateHz_(rateHz) {}

double ReceiverFit::AudioGain(double toneHz) const {
    const double f = toneHz / rateHz_;
    if (controls_.bandPass) {
        return BandPassGain(controls_.bandPassCentreHz / rateHz_, 1.0 - decimation_ * 0.001, f);
    }
    std::vector<double> taps(kTaps);
    DesignLowPass(controls_.lowPassCutoffHz / rateHz_, kTaps, taps);
    return FirGain(taps, f);
}

// The band-pass centred on the tone; a low-pass whose cut-off leaves the
// tone in its flat part.
std::string ReceiverFit::AudioSettingFor(double toneHz) const {
    char text[64];
    if (controls_.bandPass) {
        std::snprintf(text, sizeof text, "Audio Band Pass Fc=%.0f Hz", toneHz);
    } else {
        const double tone = std::round(toneHz);
        const double cutoff =
            std::ceil(std::max(2.0 * tone, tone + kLowPassMarginHz) / kRoundCutoffHz) *
            kRoundCutoffHz;
        std::snprintf(text, sizeof text, "Audio Low Pass Fc=%.0f Hz", cutoff);
    }
    return text;
}

void ReceiverFit::JudgeAudio(const AudioToneFinder::Tone& tone) {
    if (tone.found && audioAdvice_.empty() && AudioGain(tone.frequencyHz) < kPassBandGain) {
        audioAdvice_ = AudioSettingFor(tone.frequencyHz);
    }
}

// A clipped discriminator reads the deviation low by an unknown amount: the
// next wider setting is the first that may hold it. Its output is distorted
// too, so the audio filter is judged once the IF fits.
void ReceiverFit::JudgeFm(const AudioToneFinder::Tone& fm, double clippedShare) {
    const double carsonHz = fm.found ? 2.0 * (fm.amplitude + fm.frequencyHz) : 0.0;
    const bool clipped = clippedShare > kClippedShare;
    if (carsonHz <= IfBandwidthHz(decimation_) && !clipped) {
        JudgeAudio(fm);
        return;
    }
    int fitting = DecimationHolding(carsonHz);
    if (clipped) {
        fitting = std::min(fitting, std::max(decimation_ / 2, kWidestDecimation));
    }
    ifAdvice_ =
        fitting < decimation_ ? "IF Bandwidth " + IfSettingText(fitting) : "no IF Bandwidth fits";
}

std::string ReceiverFit::AdviceLine() const {
    std::string settings = ifAdvice_;
    if (!audioAdvice_.empty()) {
        settings += (settings.empty() ? "" : ", ") + audioAdvice_;
    }
    if (settings.empty()) {
        return {};
    }
    return std::string(ReadingFlagWord(ReadingFlag::kBeyondFilter)) + ": " + settings + "\r\n\r\n";
}

}  // namespace tavlin
