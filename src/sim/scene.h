#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/iq_recording.h"
#include "sim/sim_faults.h"

namespace tavlin::sim {

struct SceneAm {
    double rateHz = 1000.0;
    double depth = 0.5;  // 0 .. 1
};

struct SceneFm {
    double rateHz = 1000.0;
    double deviationHz = 5000.0;
};

// One emitter on the RF input.
struct SceneEmitter {
    double freqHz = 0.0;
    double levelDbm = -50.0;
    std::optional<SceneAm> am;
    std::optional<SceneFm> fm;
    // Levels of the 2nd, 3rd, ... harmonics relative to the carrier (dBc).
    std::vector<double> harmonicsDbc{};
    // Single-sideband phase noise: [offset Hz, dBc/Hz] points with rising
    // offsets, joined straight in log offset; empty: a clean carrier.
    std::vector<std::pair<double, double>> phaseNoiseDbcHz{};
    // Above 0: band-limited noise instead of a carrier, its level spread
    // evenly over this bandwidth centred on freqHz.
    double noiseBandwidthHz = 0.0;
    // A recording played as this emitter instead of a carrier: its samples
    // at freqHz (its own tuning unless the scene moves it), every level
    // raised by recordingGainDb. levelDbm is then its mean power.
    std::shared_ptr<const IqRecording> recording{};
    double recordingGainDb = 0.0;
};

struct SceneTrigger {
    double periodMs = 100.0;  // TRIG IN edges, one every period
};

enum class SceneCalibration { Factory, Blank };

// Points (x, dB) of a response curve, x rising.
using SceneCurve = std::vector<std::pair<double, double>>;

// The unit's own physical response where the scene gives it (each part
// optional; the rest is the built-in response). Gains are dB of full scale
// for a 0 dBm carrier at RF IN, with the attenuator at 0 dB, in gain state 1,
// at the middle of the 10.7 MHz IF filter.
struct SceneResponse {
    SceneCurve lowBandGainDb;   // against frequency, through the low-band route
    SceneCurve highBandGainDb;  // against frequency, through the high-band route
    SceneCurve if10M7Db;        // against the offset from 10.7 MHz
    SceneCurve if2M9Db;         // against the offset from 2.9 MHz
    std::optional<std::array<double, 4>> attenuatorDb;      // true loss of 0, 5, 10, 15 dB
    std::optional<std::array<double, 2>> gainStepsDb;       // gain state 0 below 1, 2 above 1
    std::optional<std::array<double, 2>> secondIfOffsetDb;  // low band, high band
};

// What the virtual unit is and what its RF input sees.
struct Scene {
    std::string serial = "TV000123";  // at most 8 characters
    std::string firmware = "Tavlin 2.03";
    bool externalReference = false;
    double tcxoPpb = 0.0;
    double noiseFloorDbmHz = -160.0;
    std::vector<SceneEmitter> signals;
    SceneEmitter selfTest{140e6, -15.0, std::nullopt, std::nullopt};
    SceneCalibration calibration = SceneCalibration::Factory;
    std::optional<SceneTrigger> trigger;
    SceneResponse response;
    SimFaults faults;  // what goes wrong with this unit (nothing by default)

    // The firmware text decides whether a preamplifier is fitted: "1." at
    // any position but the first marks a unit without one.
    bool PreampFitted() const;
};

struct SceneLoadResult {
    std::optional<Scene> scene;
    std::string error;  // names the file and the problem when scene is empty
};

// The unit used when no scene file is given: something worth looking at in
// the 902 .. 928 MHz band on a factory-calibrated unit.
Scene DefaultScene();

// Parses scene text; `sourceName` is the file name used in messages and
// `folder` the one a recording's relative file name starts from.
SceneLoadResult ParseScene(std::string_view text, const std::string& sourceName,
                           const std::filesystem::path& folder = {});

SceneLoadResult LoadSceneFile(const std::filesystem::path& path);

}  // namespace tavlin::sim
