#pragma once

#include <complex>
#include <memory>
#include <vector>

#include "sim/iq_recording.h"

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

// A recording as the sampler sees it: its samples (the square root of mW at
// RF IN) moved to a baseband frequency, conjugated where the mixing side
// turns the spectrum round, and weighed by the unit's response at each
// frequency of its band: counts per root mW at kPoints + 1 offsets evenly
// from -rate / 2 to +rate / 2 of the recording, in its own orientation.
struct PlannedRecording {
    static constexpr int kPoints = 64;
    std::shared_ptr<const IqRecording> recording;
    double basebandHz = 0.0;
    std::vector<double> countsPerRootMw;
    bool conjugate = false;
};

// What the sample path must produce for the present tuning: the output
// rate, the noise and the tones. The noise is white Gaussian pairs of unit
// variance per component through a short filter that gives it its spectrum
// (noiseTaps[0] applies to the newest pair), in ADC counts.
struct SamplePlan {
    double outputRateHz = 486111.1111111111;
    std::vector<std::complex<double>> noiseTaps = {{0.0, 0.0}};
    bool silent = false;  // the sampler is not initialised: it outputs zeros
    std::vector<ToneSpec> tones;
    std::vector<PlannedRecording> waveforms;
    // Noise given bin by bin across the output band, from -rate / 2 up, in
    // counts squared per hertz (both components): the phase-noise sidebands
    // of carriers that have them. Empty when no carrier has any; otherwise a
    // power of two of bins, fine enough to draw a sideband close to its
    // carrier.
    std::vector<double> sidebandDensity;
};

}  // namespace tavlin::sim
