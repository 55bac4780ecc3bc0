#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/receiver_state.h"
#include "sim/sample_plan.h"
#include "sim/scene.h"
#include "sim/true_response.h"

namespace tavlin::sim {

// The physics of the virtual receiver: which emitters of the scene reach the
// sampler through the present LO, IF path and clock mode, where they land at
// baseband and how strong they are, and the noise that comes with them. The
// levels follow the unit's own true response (its gain on the band route in
// use, its IF filter, its decimating filter), never a calibration table.
class ReceiverModel {
  public:
    static constexpr double kStepHz = 200e3;        // step list: LO = n x 200 kHz
    static constexpr double kDetectorStepHz = 1e6;  // detector sweep: LO = h x 1 MHz
    static constexpr double kDetectorFloorDbm = -80.0;
    static constexpr double kDetectorCountDb = 0.13427734375;
    // The sampler's own noise at its output, RMS counts per component: a
    // converter's thermal and rounding noise of about one LSB. It dithers a
    // signal of a few counts, whose level would otherwise depend on how its
    // samples happen to round.
    static constexpr double kSamplerNoiseCounts = 1.0;

    ReceiverModel(const Scene& scene, const TrueResponse& truth);

    // True reference error: the TCXO's, or none while the external reference
    // is present and selected.
    double ReferenceError(const ReceiverState& state) const;
    bool ExternalReferencePresent() const { return externalReference_; }
    void SetExternalReferencePresent(bool present) { externalReference_ = present; }
    // The calibration bench's generator on the RF input, beside the scene's
    // emitters; nothing when it is off.
    void SetBenchSignal(const std::optional<SceneEmitter>& signal);

    double OutputRateHz(const ReceiverState& state) const;
    double SynthesizerLoHz(const ReceiverState& state) const;
    double StepLoHz(const ReceiverState& state, int step) const;
    double DetectorLoHz(const ReceiverState& state, int step) const;

    // Tones and noise at the sampler for an LO frequency.
    SamplePlan Plan(const ReceiverState& state, double loHz) const;

    // Broadband detector reading (16 bits) for an LO frequency.
    std::uint16_t DetectorReading(const ReceiverState& state, double loHz) const;

    const TrueResponse& Truth() const { return truth_; }
    const Scene& GetScene() const { return scene_; }

  private:
    const std::vector<SceneEmitter>& InputEmitters(const ReceiverState& state) const;
    static bool RecordingReaches(double loHz, double low, double high, const SceneEmitter& emitter);
    PlannedRecording RecordingAt(const ReceiverState& state, double loHz, double ifTuneHz,
                                 bool mirrored, const SceneEmitter& emitter) const;
    LevelSettings SettingsFor(const ReceiverState& state) const;
    double FrontEndGainDb(const ReceiverState& state, double freqHz) const;
    double FiltersDb(const ReceiverState& state, double ifHz, double basebandHz) const;
    void AddSidebands(const ReceiverState& state, double loHz, double ifTuneHz, bool mirrored,
                      SamplePlan& plan) const;
    void ShapeNoise(const ReceiverState& state, double loHz, double ifTuneHz, bool mirrored,
                    SamplePlan& plan) const;

    Scene scene_;
    std::vector<SceneEmitter> input_;  // the scene's emitters and their harmonics
    std::vector<SceneEmitter> selfTestInput_;
    TrueResponse truth_;
    bool preampFitted_;
    bool externalReference_;
};

}  // namespace tavlin::sim
