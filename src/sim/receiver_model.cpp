#include "sim/receiver_model.h"

#include <algorithm>
#include <array>
#include <cmath>

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

// Pass-band droop of the decimating filter, dB, at |D x offset x 40 / 486111.1|.
constexpr std::array<double, 23> kDroopDb = {-0.6, -0.6, -0.5, -0.3, 0.0, 0.1, 0.15, 0.2,
                                             0.0,  -0.3, -0.6, -0.9, 0.0, 0.0, 0.0,  0.0,
                                             0.0,  0.0,  0.0,  0.0,  0.0, 0.0, 0.0};

double DroopDb(int decimation, double offsetHz) {
    const double x = std::abs(decimation * offsetHz * 40.0 / 486111.1);
    const int i = static_cast<int>(x);
    if (i + 1 >= static_cast<int>(kDroopDb.size())) {
        return 0.0;
    }
    return (x - i) * kDroopDb[i + 1] + (i + 1 - x) * kDroopDb[i];
}

}  // namespace

ReceiverModel::ReceiverModel(const Scene& scene, const CalMemory::Image& trueResponse)
    : scene_(scene),
      selfTestInput_{scene.selfTest},
      correction_(trueResponse),
      preampFitted_(scene.PreampFitted()),
      externalReference_(scene.externalReference) {}

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
        const double difference = emitter.freqHz - loHz;
        const double ifHz = std::abs(difference);
        if (ifHz < low || ifHz > high) {
            continue;
        }
        double basebandHz = ifTuneHz - ifHz;
        // Above the LO a rising input frequency lowers the baseband one.
        double sense = difference > 0.0 ? -1.0 : 1.0;
        if (mirrored) {
            basebandHz = -basebandHz;
            sense = -sense;
        }
        if (std::abs(basebandHz) > 0.5 * plan.outputRateHz) {
            continue;  // outside the decimating filter
        }
        ToneSpec tone;
        tone.basebandHz = basebandHz;
        tone.amplitude = kFullScale * std::sqrt(PowerOfFullScale(state, emitter, ifHz, basebandHz));
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
    plan.noiseSigma = std::hypot(NoiseSigma(state, loHz, plan.outputRateHz), kSamplerNoiseCounts);
    return plan;
}

std::uint16_t ReceiverModel::DetectorReading(const ReceiverState& state, double loHz) const {
    double milliwatts = std::pow(10.0, kDetectorFloorDbm / 10.0);
    for (const SceneEmitter& emitter : InputEmitters(state)) {
        const double ifHz = std::abs(emitter.freqHz - loHz);
        if (ifHz >= kDetectorLowHz && ifHz <= kDetectorHighHz) {
            milliwatts += std::pow(10.0, (emitter.levelDbm - state.AttenDb()) / 10.0);
        }
    }
    const double counts = (10.0 * std::log10(milliwatts) + 1.0 + 85.0) / kDetectorCountDb;
    return static_cast<std::uint16_t>(std::clamp(std::lround(counts), 0L, 65535L));
}

// With the cable from SELF TEST to RF IN, the input carries only that signal.
const std::vector<SceneEmitter>& ReceiverModel::InputEmitters(const ReceiverState& state) const {
    return state.SelfTestSignalOn() ? selfTestInput_ : scene_.signals;
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

// P = 10^((L - atten - c) / 10) through the 10.7 MHz path; the 2.9 MHz path
// adds its offset. The IF filter and the decimator's droop shape it further.
double ReceiverModel::PowerOfFullScale(const ReceiverState& state, const SceneEmitter& emitter,
                                       double ifHz, double basebandHz) const {
    double levelDb =
        emitter.levelDbm - state.AttenDb() - correction_.At(emitter.freqHz, SettingsFor(state));
    if (state.ifPath == 1) {
        levelDb += correction_.SecondIfOffsetDb(state.HighRoute() && preampFitted_);
    }
    const double droopDb = DroopDb(state.Decimation(), basebandHz);
    return std::pow(10.0, (levelDb + droopDb) / 10.0) /
           correction_.IfFlatnessMultiplier(state.ifPath, ifHz);
}

// Noise of the scene's density (raised by the attenuator) through the same
// correction, over the whole output band.
double ReceiverModel::NoiseSigma(const ReceiverState& state, double loHz,
                                 double outputRateHz) const {
    const double ifNominal = state.ifPath == 0 ? kIf10M7NominalHz : kIf2M9NominalHz;
    const double tunedHz = loHz > ifNominal ? loHz - ifNominal : loHz + ifNominal;
    double densityDb = scene_.noiseFloorDbmHz - correction_.At(tunedHz, SettingsFor(state));
    if (state.ifPath == 1) {
        densityDb += correction_.SecondIfOffsetDb(state.HighRoute() && preampFitted_);
    }
    const double totalPower = std::pow(10.0, densityDb / 10.0) * outputRateHz;
    return kFullScale * std::sqrt(totalPower / 2.0);
}

}  // namespace tavlin::sim
