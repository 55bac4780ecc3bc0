#pragma once

#include <vector>

namespace tavlin::sim {

// One emitter as the sampler sees it: a complex tone at a baseband
// frequency with its modulation.
struct ToneSpec {
    double basebandHz = 0.0;
    double amplitude = 0.0;  // ADC counts (full scale 32768)
    double amDepth = 0.0;    // amplitude x (1 + depth cos 2 pi rate t)
    double amRateHz = 0.0;
    double fmDeviationHz = 0.0;  // signed: the mixing side may invert it
    double fmRateHz = 0.0;
};

// What the sample path must produce for the present tuning: the output
// rate, the noise per component and the tones.
struct SamplePlan {
    double outputRateHz = 486111.1111111111;
    double noiseSigma = 0.0;  // ADC counts per component
    bool silent = false;      // the sampler is not initialised: it outputs zeros
    std::vector<ToneSpec> tones;
};

}  // namespace tavlin::sim
