#pragma once

#include <string>

#include "utilities/receiver/audio_tone_finder.h"
#include "utilities/receiver/receiver_analysis.h"

namespace tavlin {

// Whether a modulated carrier fits the filters it was measured through, and
// the setting that would fit when it does not. Beyond the IF bandwidth the
// decimation filter cuts the FM sidebands and the discriminator reads the
// deviation low (and the counter off); a tone outside the audio filter
// reads low by the filter's loss there. Neither shows in the numbers
// themselves, so the results name the fault and its remedy.
class ReceiverFit {
  public:
    // rateHz is the decimated sample rate.
    ReceiverFit(const ReceiverControls& controls, int decimation, double rateHz);

    // The FM tone as the discriminator gave it, before the audio filter:
    // Carson's bandwidth 2 (deviation + rate) against the IF bandwidth, and
    // a discriminator that turned beyond the IF's edge on more than a sliver
    // of samples (clippedShare, 0 .. 1), which reads any deviation low.
    void JudgeFm(const AudioToneFinder::Tone& fm, double clippedShare);
    // Any tone: within the audio filter's pass band or not.
    void JudgeAudio(const AudioToneFinder::Tone& tone);

    bool BeyondIf() const { return !ifAdvice_.empty(); }
    // "" when everything fits, else "BEYOND FILTER: IF Bandwidth 30 KHz"
    // and/or the audio filter that would pass the tone.
    std::string AdviceLine() const;

    // The IF bandwidth of a decimation, as its setting names it.
    static double IfBandwidthHz(int decimation);

  private:
    double AudioGain(double toneHz) const;
    std::string AudioSettingFor(double toneHz) const;

    ReceiverControls controls_;
    int decimation_;
    double rateHz_;
    std::string ifAdvice_;
    std::string audioAdvice_;
};

}  // namespace tavlin
