#include "sim/receiver_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace tavlin::sim {

namespace {

// IF filter pass bands (physical, not tied to the reference).
constexpr double kIf10M7LowHz = 10.45e6;
constexpr double kIf10M7HighHz = 10.95e6;
constexpr double kIf2M9LowHz = 2.65e6;
constexpr double kIf2M9HighHz = 3.15e6;
constexpr double kIf10M7NominalHz = 10.7e6;
constexpr double kIf2M9NominalHz = 2.9e6;
// The detector sees 10.7 MHz +- 2 MHz, flat.
constexpr double kDetectorLowHz = 8.7e6;
constexpr double kDetectorHighHz = 12.7e6;
constexpr double kFullScale = 32768.0;
// The noise spectrum is drawn in this many slices of the output band; the
// filter that gives it has as many taps.
constexpr int kNoiseSlices = 32;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

double PowerRatio(double db) {
    return std::pow(10.0, db / 10.0);
}

// A filter whose power response follows `density` (kNoiseSlices values
// across the output band, from -rate / 2 up), found by sampling that
// response and windowing the taps; scaled so unit-variance white pairs come
// out with `totalPower` (counts squared, both components).
std::vector<std::complex<double>> NoiseTaps(const std::vector<double>& density, double totalPower) {
    const int k = kNoiseSlices;
    std::vector<std::complex<double>> taps(k);
    double energy = 0.0;
    for (int n = 0; n < k; ++n) {
        const int lag = n < k / 2 ? n : n - k;
        std::complex<double> sum = 0.0;
        for (int m = 0; m < k; ++m) {
            const double slice = m - k / 2;
            sum += std::sqrt(density[m]) * std::polar(1.0, kTwoPi * slice * lag / k);
        }
        const double window = 0.5 * (1.0 + std::cos(kTwoPi * lag / k));
        taps[n] = sum * window;
        energy += std::norm(taps[n]);
    }
    const double scale = energy > 0.0 ? std::sqrt(totalPower / (2.0 * energy)) : 0.0;
    for (auto& tap : taps) {
        tap *= scale;
    }
    // The lags run 0 .. k/2 - 1 and then -k/2 .. -1: a delay of k/2 pairs
    // puts them in order, newest first.
    std::rotate(taps.begin(), taps.begin() + k / 2, taps.end());
    return taps;
}

// Each harmonic is an emitter of its own at n times the carrier. It carries
// the carrier's AM as it is and n times its frequency deviation.
std::vector<SceneEmitter> WithHarmonics(const std::vector<SceneEmitter>& signals) {
    std::vector<SceneEmitter> input;
    for (const SceneEmitter& emitter : signals) {
        input.push_back(emitter);
        input.back().harmonicsDbc.clear();
        for (std::size_t i = 0; i < emitter.harmonicsDbc.size(); ++i) {
            const double n = static_cast<double>(i + 2);
            SceneEmitter harmonic = emitter;
            harmonic.harmonicsDbc.clear();
            harmonic.freqHz = n * emitter.freqHz;
            harmonic.levelDbm = emitter.levelDbm + emitter.harmonicsDbc[i];
            harmonic.noiseBandwidthHz *= n;
            if (harmonic.fm) {
                harmonic.fm->deviationHz *= n;
            }
            // Multiplying a frequency by n multiplies its phase swings by n.
            for (auto& point : harmonic.phaseNoiseDbcHz) {
                point.second += 20.0 * std::log10(n);
            }
            input.push_back(harmonic);
        }
    }
    return input;
}

// The sideband density relative to the carrier at an offset: straight
// between the points in log offset, the first level below the first point;
// beyond the last point the sidebands have sunk into the noise floor.
double SidebandDbcHz(const std::vector<std::pair<double, double>>& profile, double offsetHz) {
    if (offsetHz <= profile.front().first) {
        return profile.front().second;
    }
    const auto above = std::lower_bound(
        profile.begin(), profile.end(), offsetHz,
        [](const std::pair<double, double>& point, double x) { return point.first < x; });
    if (above == profile.end()) {
        return -std::numeric_limits<double>::infinity();
    }
    const auto below = above - 1;
    const double t = std::log10(offsetHz / below->first) / std::log10(above->first / below->first);
    return below->second + t * (above->second - below->second);
}

// Bins of the sideband noise: a few hertz wide, so that a skirt reads right
// a hundred hertz from its carrier.
constexpr double kSidebandBinHz = 4.0;
constexpr std::size_t kMinSidebandBins = 1024;
constexpr std::size_t kMaxSidebandBins = 65536;
// The IF and decimating filters change slowly across the output band: they
// are evaluated at this many points and joined straight.
constexpr int kFilterPoints = 256;

}  // namespace

ReceiverModel::ReceiverModel(const Scene& scene, const TrueResponse& truth)
    : scene_(scene),
      input_(WithHarmonics(scene.signals)),
      selfTestInput_{scene.selfTest},
      truth_(truth),
      preampFitted_(scene.PreampFitted()),
      externalReference_(scene.externalReference) {}

void ReceiverModel::SetBenchSignal(const std::optional<SceneEmitter>& signal) {
    input_ = WithHarmonics(scene_.signals);
    if (signal) {
        input_.push_back(*signal);
    }
}

double ReceiverModel::ReferenceError(const ReceiverState& state) const {
    if (externalReference_ && state.externalRefSelected) {
        return 0.0;
    }
    return scene_.tcxoPpb * 1e-9;
}

double ReceiverModel::OutputRateHz(const ReceiverState& state) const {
    const double fs =
        ReceiverState::ClockConstants(state.clockMode).sampleRateHz * (1.0 + ReferenceError(state));
    return fs / state.Decimation();
}

double ReceiverModel::SynthesizerLoHz(const ReceiverState& state) const {
    return state.SynthesizerLoHz(ReferenceError(state));
}

double ReceiverModel::StepLoHz(const ReceiverState& state, int step) const {
    return step * kStepHz * (1.0 + ReferenceError(state));
}

double ReceiverModel::DetectorLoHz(const ReceiverState& state, int step) const {
    return step * kDetectorStepHz * (1.0 + ReferenceError(state));
}

// A tone beyond half the output rate is not dropped: the decimating filter's
// stop band attenuates it, and the output samples alias it by themselves.
SamplePlan ReceiverModel::Plan(const ReceiverState& state, double loHz) const {
    SamplePlan plan;
    const double e = ReferenceError(state);
    const SampleClockConstants& clock = ReceiverState::ClockConstants(state.clockMode);
    plan.outputRateHz = OutputRateHz(state);
    plan.silent = !state.samplerReady;
    const bool firstIf = state.ifPath == 0;
    const double ifTuneHz = (firstIf ? clock.ifTune10M7Hz : clock.ifTune2M9Hz) * (1.0 + e);
    const double low = firstIf ? kIf10M7LowHz : kIf2M9LowHz;
    const double high = firstIf ? kIf10M7HighHz : kIf2M9HighHz;
    // Clock mode 1 mirrors the first IF's spectrum; the second IF never.
    const bool mirrored = firstIf && state.clockMode == 1;
    for (const SceneEmitter& emitter : InputEmitters(state)) {
        if (emitter.noiseBandwidthHz > 0.0) {
            continue;  // drawn with the sidebands, bin by bin
        }
        const double difference = emitter.freqHz - loHz;
        const double ifHz = std::abs(difference);
        if (emitter.recording && RecordingReaches(loHz, low, high, emitter)) {
            plan.waveforms.push_back(RecordingAt(state, loHz, ifTuneHz, mirrored, emitter));
            continue;
        }
        if (ifHz < low || ifHz > high || emitter.recording) {
            continue;
        }
        double basebandHz = ifTuneHz - ifHz;
        // Above the LO a rising input frequency lowers the baseband one.
        double sense = difference > 0.0 ? -1.0 : 1.0;
        if (mirrored) {
            basebandHz = -basebandHz;
            sense = -sense;
        }
        ToneSpec tone;
        tone.basebandHz = basebandHz;
        const double levelDb = emitter.levelDbm + FrontEndGainDb(state, emitter.freqHz) +
                               FiltersDb(state, ifHz, basebandHz);
        tone.amplitude = kFullScale * std::sqrt(PowerRatio(levelDb));
        if (emitter.am) {
            tone.amDepth = emitter.am->depth;
            tone.amRateHz = emitter.am->rateHz;
        }
        if (emitter.fm) {
            tone.fmDeviationHz = sense * emitter.fm->deviationHz;
            tone.fmRateHz = emitter.fm->rateHz;
        }
        plan.tones.push_back(tone);
    }
    ShapeNoise(state, loHz, ifTuneHz, mirrored, plan);
    AddSidebands(state, loHz, ifTuneHz, mirrored, plan);
    return plan;
}

// Some of a recording's band passes the IF filter.
bool ReceiverModel::RecordingReaches(double loHz, double low, double high,
                                     const SceneEmitter& emitter) {
    const double half = 0.5 * emitter.recording->SampleRateHz();
    const double nearest = std::abs(emitter.freqHz - loHz) - half;
    return nearest <= high && std::abs(emitter.freqHz - loHz) + half >= low;
}

// A recording mixes as a carrier at its centre would, each frequency of its
// band weighed by the front end, the IF filter and the decimating filter
// where it falls; what the IF filter stops weighs nothing.
PlannedRecording ReceiverModel::RecordingAt(const ReceiverState& state, double loHz,
                                            double ifTuneHz, bool mirrored,
                                            const SceneEmitter& emitter) const {
    const bool firstIf = state.ifPath == 0;
    const double low = firstIf ? kIf10M7LowHz : kIf2M9LowHz;
    const double high = firstIf ? kIf10M7HighHz : kIf2M9HighHz;
    const double rate = emitter.recording->SampleRateHz();
    const bool above = emitter.freqHz > loHz;
    auto basebandOf = [&](double ifHz) { return mirrored ? ifHz - ifTuneHz : ifTuneHz - ifHz; };
    PlannedRecording waveform;
    waveform.recording = emitter.recording;
    waveform.basebandHz = basebandOf(std::abs(emitter.freqHz - loHz));
    waveform.conjugate = above != mirrored;
    for (int i = 0; i <= PlannedRecording::kPoints; ++i) {
        const double inputHz =
            emitter.freqHz + rate * (static_cast<double>(i) / PlannedRecording::kPoints - 0.5);
        const double ifHz = std::abs(inputHz - loHz);
        if (ifHz < low || ifHz > high || (inputHz - loHz > 0.0) != above) {
            waveform.countsPerRootMw.push_back(0.0);
            continue;
        }
        const double gainDb = emitter.recordingGainDb + FrontEndGainDb(state, inputHz) +
                              FiltersDb(state, ifHz, basebandOf(ifHz));
        waveform.countsPerRootMw.push_back(kFullScale * std::sqrt(PowerRatio(gainDb)));
    }
    return waveform;
}

std::uint16_t ReceiverModel::DetectorReading(const ReceiverState& state, double loHz) const {
    double milliwatts = PowerRatio(kDetectorFloorDbm);
    for (const SceneEmitter& emitter : InputEmitters(state)) {
        const double ifHz = std::abs(emitter.freqHz - loHz);
        if (ifHz >= kDetectorLowHz && ifHz <= kDetectorHighHz) {
            milliwatts += PowerRatio(emitter.levelDbm - state.AttenDb());
        }
    }
    const double counts = (10.0 * std::log10(milliwatts) + 1.0 + 85.0) / kDetectorCountDb;
    return static_cast<std::uint16_t>(std::clamp(std::lround(counts), 0L, 65535L));
}

// With the cable from SELF TEST to RF IN, the input carries only that signal.
const std::vector<SceneEmitter>& ReceiverModel::InputEmitters(const ReceiverState& state) const {
    return state.SelfTestSignalOn() ? selfTestInput_ : input_;
}

LevelSettings ReceiverModel::SettingsFor(const ReceiverState& state) const {
    LevelSettings settings;
    settings.attenIndex = state.attenIndex;
    settings.gainState = state.GainState();
    settings.preampFitted = preampFitted_;
    settings.preampOn = preampFitted_ && state.preampOn;
    settings.highBand = state.HighRoute();
    return settings;
}

// dB of full scale that 0 dBm at freqHz gives at the middle of the IF path in
// use: the front end's gain on the route in use (the route's own curve,
// whatever band the frequency lies in) and the IF path's offset.
double ReceiverModel::FrontEndGainDb(const ReceiverState& state, double freqHz) const {
    double db = -state.AttenDb() - truth_.CorrectionDb(freqHz, SettingsFor(state));
    if (state.ifPath == 1) {
        db += truth_.SecondIfOffsetDb(state.HighRoute());
    }
    return db;
}

// The IF filter at ifHz and the decimating filter at the baseband frequency
// (before decimation) shape what the front end passes.
double ReceiverModel::FiltersDb(const ReceiverState& state, double ifHz, double basebandHz) const {
    return truth_.IfResponseDb(state.ifPath, ifHz) +
           TrueResponse::DecimationFilterDb(state.Decimation(), basebandHz);
}

// The input's noise (the scene's density, raised by the attenuator) reaches
// the IF through both mixing sides, each with the front end's gain at its
// own frequency (a side below 0 Hz does not exist); the IF filter and the
// decimating filter shape it like an emitter, and decimation folds the whole
// sampled band into the output band. The sampler adds its own white noise.
void ReceiverModel::ShapeNoise(const ReceiverState& state, double loHz, double ifTuneHz,
                               bool mirrored, SamplePlan& plan) const {
    const bool firstIf = state.ifPath == 0;
    const double ifNominal = firstIf ? kIf10M7NominalHz : kIf2M9NominalHz;
    const double low = firstIf ? kIf10M7LowHz : kIf2M9LowHz;
    const double high = firstIf ? kIf10M7HighHz : kIf2M9HighHz;
    double sides = 0.0;  // full scale per hertz at the middle of the IF path
    for (const double inputHz : {loHz + ifNominal, loHz - ifNominal}) {
        if (inputHz > 0.0) {
            sides += PowerRatio(scene_.noiseFloorDbmHz + state.AttenDb() +
                                FrontEndGainDb(state, inputHz));
        }
    }
    const double rate = plan.outputRateHz;
    const int decimation = state.Decimation();
    const double samplerDensity = 2.0 * kSamplerNoiseCounts * kSamplerNoiseCounts / rate;
    std::vector<double> density(kNoiseSlices);
    double total = 0.0;
    for (int m = 0; m < kNoiseSlices; ++m) {
        const double outHz = (m - kNoiseSlices / 2) * rate / kNoiseSlices;
        double inputDensity = 0.0;
        for (int fold = -decimation; fold <= decimation; ++fold) {
            const double basebandHz = outHz + fold * rate;
            if (std::abs(basebandHz) > 0.5 * rate * decimation) {
                continue;
            }
            const double ifHz = mirrored ? ifTuneHz + basebandHz : ifTuneHz - basebandHz;
            if (ifHz < low || ifHz > high) {
                continue;
            }
            inputDensity += sides * PowerRatio(FiltersDb(state, ifHz, basebandHz));
        }
        density[m] = kFullScale * kFullScale * inputDensity + samplerDensity;
        total += density[m] * rate / kNoiseSlices;
    }
    plan.noiseTaps = NoiseTaps(density, total);
}

// A carrier's phase-noise sidebands reach the output wherever they pass the
// IF filter, also when the carrier itself lies outside it. At the small
// phase swings of an oscillator, phase modulation by noise of spectrum S(f)
// puts S(f) / 2 on either side of the carrier, which is what the profile
// gives; the sidebands are drawn as noise of that density, shaped by the
// filters like an emitter. Aliases from beyond the output band are left out:
// the decimating filter's stop band takes them far below the skirt.
// A band of noise is drawn the same way: its level spread evenly over its
// bandwidth, each bin weighted by the part of it the band covers.
void ReceiverModel::AddSidebands(const ReceiverState& state, double loHz, double ifTuneHz,
                                 bool mirrored, SamplePlan& plan) const {
    const double rate = plan.outputRateHz;
    std::size_t bins = kMinSidebandBins;
    while (bins < kMaxSidebandBins && rate / static_cast<double>(bins) > kSidebandBinHz) {
        bins *= 2;
    }
    const double binHz = rate / static_cast<double>(bins);
    const bool firstIf = state.ifPath == 0;
    const double low = firstIf ? kIf10M7LowHz : kIf2M9LowHz;
    const double high = firstIf ? kIf10M7HighHz : kIf2M9HighHz;
    auto ifOf = [&](double basebandHz) {
        return mirrored ? ifTuneHz + basebandHz : ifTuneHz - basebandHz;
    };
    std::vector<double> filters;  // power ratio at kFilterPoints + 1 points across the band
    for (const SceneEmitter& emitter : InputEmitters(state)) {
        const double band = emitter.noiseBandwidthHz;
        if (emitter.phaseNoiseDbcHz.empty() && band <= 0.0) {
            continue;
        }
        const double ifHz = std::abs(emitter.freqHz - loHz);
        const double carrierHz = mirrored ? ifHz - ifTuneHz : ifTuneHz - ifHz;
        const double reachHz = band > 0.0 ? 0.5 * band : emitter.phaseNoiseDbcHz.back().first;
        if (std::abs(carrierHz) - 0.5 * rate > reachHz) {
            continue;
        }
        if (filters.empty()) {
            for (int i = 0; i <= kFilterPoints; ++i) {
                const double b = rate * (static_cast<double>(i) / kFilterPoints - 0.5);
                const double at = ifOf(b);
                filters.push_back(at < low || at > high ? 0.0
                                                        : PowerRatio(FiltersDb(state, at, b)));
            }
            plan.sidebandDensity.assign(bins, 0.0);
        }
        const double carrier = kFullScale * kFullScale *
                               PowerRatio(emitter.levelDbm + FrontEndGainDb(state, emitter.freqHz));
        for (std::size_t m = 0; m < bins; ++m) {
            const double b = (static_cast<double>(m) - static_cast<double>(bins / 2)) * binHz;
            double ratio = 0.0;
            if (band > 0.0) {
                const double covered = std::min(b + 0.5 * binHz, carrierHz + reachHz) -
                                       std::max(b - 0.5 * binHz, carrierHz - reachHz);
                ratio = std::max(covered, 0.0) / (binHz * band);
            } else {
                const double dbc = SidebandDbcHz(emitter.phaseNoiseDbcHz, std::abs(b - carrierHz));
                ratio = std::isfinite(dbc) ? PowerRatio(dbc) : 0.0;
            }
            if (ratio == 0.0) {
                continue;
            }
            const double position = (b / rate + 0.5) * kFilterPoints;
            const int i = std::clamp(static_cast<int>(position), 0, kFilterPoints - 1);
            const double t = position - i;
            const double filter = (1.0 - t) * filters[i] + t * filters[i + 1];
            plan.sidebandDensity[m] += carrier * ratio * filter;
        }
    }
}

}  // namespace tavlin::sim
