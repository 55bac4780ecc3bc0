#include "sim/scene.h"

#include <cmath>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <vector>

#include "base/atomic_file.h"

namespace tavlin::sim {

namespace {

using Json = nlohmann::json;

constexpr std::size_t kMaxSerialChars = 8;
constexpr std::size_t kMaxFirmwareChars = 31;  // the version answer is read into 32 bytes
constexpr std::size_t kMaxSceneBytes = 4 * 1024 * 1024;
constexpr std::size_t kMaxSignals = 64;
constexpr std::size_t kMaxCurvePoints = 500;
constexpr std::size_t kMaxHarmonics = 31;
constexpr double kMaxFaultCount = 1e9;  // counts and times of the faults
// A problem echoes what it found (a key, a number): a file may hold one of
// any length, the terminal gets its beginning.
constexpr std::size_t kMaxProblemChars = 200;

// Thrown inside the parser only; ParseScene turns it into a message.
struct SceneProblem {
    std::string text;
};

[[noreturn]] void Refuse(const std::string& text) {
    throw SceneProblem{text};
}

void RefuseUnknownKeys(const Json& object, const std::string& where,
                       std::initializer_list<const char*> known) {
    for (const auto& item : object.items()) {
        bool isKnown = false;
        for (const char* name : known) {
            isKnown = isKnown || item.key() == name;
        }
        if (!isKnown) {
            Refuse("unknown key '" + item.key() + "'" + (where.empty() ? "" : " in " + where));
        }
    }
}

const Json& RequireObject(const Json& value, const std::string& where) {
    if (!value.is_object()) {
        Refuse("'" + where + "' must be an object");
    }
    return value;
}

double CheckedNumber(const Json& value, const std::string& name, double low, double high) {
    if (!value.is_number()) {
        Refuse("'" + name + "' must be a number");
    }
    const double number = value.get<double>();
    if (!std::isfinite(number) || number < low || number > high) {
        std::ostringstream range;
        range << "'" << name << "' must lie between " << low << " and " << high;
        Refuse(range.str());
    }
    return number;
}

double ReadNumber(const Json& object, const char* key, const std::string& where, double low,
                  double high, double fallback, bool required = false) {
    const std::string name = where.empty() ? key : where + "." + key;
    if (!object.contains(key)) {
        if (required) {
            Refuse("'" + name + "' is missing");
        }
        return fallback;
    }
    return CheckedNumber(object.at(key), name, low, high);
}

std::string ReadText(const Json& object, const char* key, std::size_t maxChars,
                     const std::string& fallback) {
    if (!object.contains(key)) {
        return fallback;
    }
    const Json& value = object.at(key);
    if (!value.is_string()) {
        Refuse(std::string("'") + key + "' must be text");
    }
    std::string text = value.get<std::string>();
    if (text.size() > maxChars) {
        Refuse(std::string("'") + key + "' must be at most " + std::to_string(maxChars) +
               " characters");
    }
    if (text.find('\0') != std::string::npos) {
        Refuse(std::string("'") + key + "' must not contain a NUL character");
    }
    return text;
}

// A key given twice in one object would silently take its last value: the
// parser reports every key, and the first one seen twice refuses the scene.
class DuplicateKeyFinder {
  public:
    Json::parser_callback_t Callback() {
        return [this](int, Json::parse_event_t event, Json& parsed) {
            if (event == Json::parse_event_t::object_start) {
                keys_.emplace_back();
            } else if (event == Json::parse_event_t::object_end && !keys_.empty()) {
                keys_.pop_back();
            } else if (event == Json::parse_event_t::key && !keys_.empty()) {
                const std::string key = parsed.get<std::string>();
                if (!keys_.back().insert(key).second && first_.empty()) {
                    first_ = key;
                }
            }
            return true;
        };
    }
    const std::string& First() const { return first_; }

  private:
    std::vector<std::set<std::string>> keys_;
    std::string first_;
};

// A curve: a list of [x, dB] points with x rising.
SceneCurve ReadCurve(const Json& object, const char* key, const std::string& where, double xLow,
                     double xHigh, double dbLow, double dbHigh) {
    if (!object.contains(key)) {
        return {};
    }
    const std::string name = where + key;
    const Json& list = object.at(key);
    if (!list.is_array() || list.empty() || list.size() > kMaxCurvePoints) {
        Refuse("'" + name + "' must be a list of 1 to " + std::to_string(kMaxCurvePoints) +
               " [x, dB] points");
    }
    SceneCurve curve;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string at = name + "[" + std::to_string(i) + "]";
        const Json& point = list[i];
        if (!point.is_array() || point.size() != 2 || !point[0].is_number() ||
            !point[1].is_number()) {
            Refuse("'" + at + "' must be a pair of numbers");
        }
        const double x = point[0].get<double>();
        const double db = point[1].get<double>();
        if (!std::isfinite(x) || !std::isfinite(db) || x < xLow || x > xHigh || db < dbLow ||
            db > dbHigh) {
            std::ostringstream range;
            range << "'" << at << "' must lie between [" << xLow << ", " << dbLow << "] and ["
                  << xHigh << ", " << dbHigh << "]";
            Refuse(range.str());
        }
        if (!curve.empty() && x <= curve.back().first) {
            Refuse("'" + at + "' must lie above the point before it");
        }
        curve.emplace_back(x, db);
    }
    return curve;
}

// A recording as an emitter: its file (relative to the scene's folder), and
// optionally where to play it and how much louder.
SceneEmitter ReadRecordingEmitter(const Json& value, const std::string& where,
                                  const std::filesystem::path& folder) {
    RefuseUnknownKeys(value, where, {"iq_file", "freq_hz", "level_db"});
    const Json& file = value.at("iq_file");
    if (!file.is_string() || file.get<std::string>().empty()) {
        Refuse("'" + where + ".iq_file' must be a file name");
    }
    const std::filesystem::path path = folder / std::filesystem::path(file.get<std::string>());
    std::string error;
    SceneEmitter emitter;
    emitter.recording = IqRecording::Load(path, error);
    if (!emitter.recording) {
        Refuse("'" + where + ".iq_file': " + error);
    }
    emitter.freqHz = ReadNumber(value, "freq_hz", where, 0.0, 10e9, emitter.recording->CenterHz());
    emitter.recordingGainDb = ReadNumber(value, "level_db", where, -100.0, 100.0, 0.0);
    emitter.levelDbm = emitter.recording->MeanPowerDbm() + emitter.recordingGainDb;
    return emitter;
}

SceneEmitter ReadEmitter(const Json& value, const std::string& where,
                         const std::filesystem::path& folder) {
    RequireObject(value, where);
    if (value.contains("iq_file")) {
        return ReadRecordingEmitter(value, where, folder);
    }
    RefuseUnknownKeys(value, where,
                      {"freq_hz", "level_dbm", "am", "fm", "harmonics_dbc", "phase_noise_dbc_hz",
                       "noise_bandwidth_hz"});
    SceneEmitter emitter;
    emitter.freqHz = ReadNumber(value, "freq_hz", where, 0.0, 10e9, 0.0, true);
    emitter.levelDbm = ReadNumber(value, "level_dbm", where, -200.0, 30.0, 0.0, true);
    if (value.contains("am")) {
        const std::string am = where + ".am";
        const Json& object = RequireObject(value.at("am"), am);
        RefuseUnknownKeys(object, am, {"rate_hz", "depth"});
        emitter.am = SceneAm{ReadNumber(object, "rate_hz", am, 0.001, 1e6, 0.0, true),
                             ReadNumber(object, "depth", am, 0.0, 1.0, 0.0, true)};
    }
    if (value.contains("fm")) {
        const std::string fm = where + ".fm";
        const Json& object = RequireObject(value.at("fm"), fm);
        RefuseUnknownKeys(object, fm, {"rate_hz", "deviation_hz"});
        emitter.fm = SceneFm{ReadNumber(object, "rate_hz", fm, 0.001, 1e6, 0.0, true),
                             ReadNumber(object, "deviation_hz", fm, 0.0, 1e6, 0.0, true)};
    }
    if (value.contains("harmonics_dbc")) {
        const std::string name = where + ".harmonics_dbc";
        const Json& list = value.at("harmonics_dbc");
        if (!list.is_array() || list.size() > kMaxHarmonics) {
            Refuse("'" + name + "' must be a list of at most " + std::to_string(kMaxHarmonics) +
                   " levels");
        }
        for (std::size_t i = 0; i < list.size(); ++i) {
            emitter.harmonicsDbc.push_back(
                CheckedNumber(list[i], name + "[" + std::to_string(i) + "]", -200.0, 0.0));
        }
    }
    emitter.phaseNoiseDbcHz =
        ReadCurve(value, "phase_noise_dbc_hz", where + ".", 0.001, 1e9, -250.0, 0.0);
    if (value.contains("noise_bandwidth_hz")) {
        emitter.noiseBandwidthHz =
            ReadNumber(value, "noise_bandwidth_hz", where, 1.0, 200e6, 0.0, true);
        // A band of noise has no carrier to modulate or to carry sidebands.
        if (emitter.am || emitter.fm || !emitter.phaseNoiseDbcHz.empty()) {
            Refuse("'" + where +
                   ".noise_bandwidth_hz' cannot be combined with am, fm or phase_noise_dbc_hz");
        }
    }
    return emitter;
}

std::vector<SceneEmitter> ReadSignals(const Json& root, const std::filesystem::path& folder) {
    std::vector<SceneEmitter> signals;
    if (!root.contains("signals")) {
        return signals;
    }
    const Json& list = root.at("signals");
    if (!list.is_array()) {
        Refuse("'signals' must be a list");
    }
    if (list.size() > kMaxSignals) {
        Refuse("'signals' holds more than " + std::to_string(kMaxSignals) + " emitters");
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        signals.push_back(ReadEmitter(list[i], "signals[" + std::to_string(i) + "]", folder));
    }
    return signals;
}

SceneCalibration ReadCalibration(const Json& root) {
    if (!root.contains("calibration")) {
        return SceneCalibration::Factory;
    }
    const Json& value = root.at("calibration");
    if (value == "factory") {
        return SceneCalibration::Factory;
    }
    if (value == "blank") {
        return SceneCalibration::Blank;
    }
    Refuse("'calibration' must be \"factory\" or \"blank\"");
}

std::optional<SceneTrigger> ReadTrigger(const Json& root) {
    if (!root.contains("trigger") || root.at("trigger").is_null()) {
        return std::nullopt;
    }
    const Json& object = RequireObject(root.at("trigger"), "trigger");
    RefuseUnknownKeys(object, "trigger", {"period_ms"});
    return SceneTrigger{ReadNumber(object, "period_ms", "trigger", 0.1, 1e6, 0.0, true)};
}

template <std::size_t N>
std::optional<std::array<double, N>> ReadNumbers(const Json& object, const char* key, double low,
                                                 double high) {
    if (!object.contains(key)) {
        return std::nullopt;
    }
    const std::string name = std::string("response.") + key;
    const Json& list = object.at(key);
    if (!list.is_array() || list.size() != N) {
        Refuse("'" + name + "' must be a list of " + std::to_string(N) + " numbers");
    }
    std::array<double, N> numbers{};
    for (std::size_t i = 0; i < N; ++i) {
        numbers[i] = CheckedNumber(list[i], name + "[" + std::to_string(i) + "]", low, high);
    }
    return numbers;
}

// The unit's own response, each part optional.
SceneResponse ReadResponse(const Json& root) {
    if (!root.contains("response")) {
        return {};
    }
    const Json& object = RequireObject(root.at("response"), "response");
    RefuseUnknownKeys(object, "response",
                      {"low_band_gain_db", "high_band_gain_db", "if_10m7_db", "if_2m9_db",
                       "attenuator_db", "gain_steps_db", "second_if_offset_db"});
    SceneResponse response;
    response.lowBandGainDb =
        ReadCurve(object, "low_band_gain_db", "response.", 0.0, 10e9, -60.0, 40.0);
    response.highBandGainDb =
        ReadCurve(object, "high_band_gain_db", "response.", 0.0, 10e9, -60.0, 40.0);
    response.if10M7Db = ReadCurve(object, "if_10m7_db", "response.", -500e3, 500e3, -100.0, 10.0);
    response.if2M9Db = ReadCurve(object, "if_2m9_db", "response.", -500e3, 500e3, -100.0, 10.0);
    response.attenuatorDb = ReadNumbers<4>(object, "attenuator_db", 0.0, 30.0);
    response.gainStepsDb = ReadNumbers<2>(object, "gain_steps_db", 0.0, 40.0);
    response.secondIfOffsetDb = ReadNumbers<2>(object, "second_if_offset_db", -20.0, 40.0);
    return response;
}

bool ReadFlag(const Json& object, const char* key, const std::string& where, bool fallback) {
    if (!object.contains(key)) {
        return fallback;
    }
    if (!object.at(key).is_boolean()) {
        Refuse("'" + where + key + "' must be true or false");
    }
    return object.at(key).get<bool>();
}

// A count of occurrences: 0 off, n the next n, -1 every one.
int ReadCount(const Json& object, const char* key, int fallback, int low = -1) {
    const double count =
        ReadNumber(object, key, "faults", low, kMaxFaultCount, static_cast<double>(fallback));
    if (count != std::floor(count)) {
        Refuse(std::string("'faults.") + key + "' must be a whole number");
    }
    return static_cast<int>(count);
}

SimFaults ReadFaults(const Json& root) {
    SimFaults faults;
    if (!root.contains("faults")) {
        return faults;
    }
    const Json& object = RequireObject(root.at("faults"), "faults");
    RefuseUnknownKeys(
        object, "faults",
        {"listing", "data_channel_already_open", "data_open_failures", "command_open_failures",
         "failed_writes", "short_captures", "wrong_headers", "missing_step_block", "no_trigger",
         "unplug_after_commands", "unplug_at_data_request", "replug_after_ms"});
    if (object.contains("listing")) {
        const Json& listing = object.at("listing");
        if (listing == "normal") {
            faults.listing = SimFaults::Listing::Normal;
        } else if (listing == "no_device") {
            faults.listing = SimFaults::Listing::NoDevice;
        } else if (listing == "only_data_channel") {
            faults.listing = SimFaults::Listing::OnlyDataChannel;
        } else if (listing == "foreign_descriptions") {
            faults.listing = SimFaults::Listing::ForeignDescriptions;
        } else {
            Refuse(
                "'faults.listing' must be \"normal\", \"no_device\", \"only_data_channel\" or "
                "\"foreign_descriptions\"");
        }
    }
    faults.dataChannelAlreadyOpen =
        ReadFlag(object, "data_channel_already_open", "faults.", faults.dataChannelAlreadyOpen);
    faults.dataOpenFailures = ReadCount(object, "data_open_failures", faults.dataOpenFailures);
    faults.commandOpenFailures =
        ReadCount(object, "command_open_failures", faults.commandOpenFailures);
    faults.failedWrites = ReadCount(object, "failed_writes", faults.failedWrites);
    faults.shortCaptures = ReadCount(object, "short_captures", faults.shortCaptures);
    faults.wrongHeaders = ReadCount(object, "wrong_headers", faults.wrongHeaders);
    // A block index of a step list (-1: none left out).
    faults.missingStepBlock = ReadCount(object, "missing_step_block", faults.missingStepBlock);
    faults.noTrigger = ReadFlag(object, "no_trigger", "faults.", faults.noTrigger);
    faults.unplugAfterCommands =
        ReadCount(object, "unplug_after_commands", faults.unplugAfterCommands, 0);
    faults.unplugAtDataRequest =
        ReadCount(object, "unplug_at_data_request", faults.unplugAtDataRequest, 0);
    faults.replugAfterMs = ReadCount(object, "replug_after_ms", faults.replugAfterMs);
    return faults;
}

Scene ReadScene(const Json& root, const std::filesystem::path& folder) {
    if (!root.is_object()) {
        Refuse("the top level must be an object");
    }
    RefuseUnknownKeys(root, "",
                      {"serial", "firmware", "external_reference", "tcxo_ppb", "noise_floor_dbm_hz",
                       "signals", "self_test", "calibration", "trigger", "response", "faults"});
    Scene scene;
    scene.serial = ReadText(root, "serial", kMaxSerialChars, scene.serial);
    if (scene.serial.empty()) {
        Refuse("'serial' must not be empty");  // the unit's name, and its cache file's
    }
    scene.firmware = ReadText(root, "firmware", kMaxFirmwareChars, scene.firmware);
    if (root.contains("external_reference")) {
        if (!root.at("external_reference").is_boolean()) {
            Refuse("'external_reference' must be true or false");
        }
        scene.externalReference = root.at("external_reference").get<bool>();
    }
    // The table stores the error as 32768 + ppb in 16 bits.
    scene.tcxoPpb = ReadNumber(root, "tcxo_ppb", "", -32767.0, 32767.0, scene.tcxoPpb);
    scene.noiseFloorDbmHz =
        ReadNumber(root, "noise_floor_dbm_hz", "", -200.0, -60.0, scene.noiseFloorDbmHz);
    scene.signals = ReadSignals(root, folder);
    if (root.contains("self_test")) {
        const Json& object = RequireObject(root.at("self_test"), "self_test");
        RefuseUnknownKeys(object, "self_test", {"freq_hz", "level_dbm"});
        scene.selfTest.freqHz =
            ReadNumber(object, "freq_hz", "self_test", 0.0, 10e9, scene.selfTest.freqHz);
        scene.selfTest.levelDbm =
            ReadNumber(object, "level_dbm", "self_test", -200.0, 30.0, scene.selfTest.levelDbm);
    }
    scene.calibration = ReadCalibration(root);
    scene.trigger = ReadTrigger(root);
    scene.response = ReadResponse(root);
    scene.faults = ReadFaults(root);
    return scene;
}

std::string Cut(std::string problem) {
    if (problem.size() > kMaxProblemChars) {
        problem.resize(kMaxProblemChars);
        problem += "...";
    }
    return problem;
}

// nlohmann's messages start with "[json.exception.parse_error.101] ".
std::string WithoutExceptionTag(const std::string& what) {
    const auto close = what.find("] ");
    return Cut((what.rfind("[json.", 0) == 0 && close != std::string::npos) ? what.substr(close + 2)
                                                                            : what);
}

}  // namespace

bool Scene::PreampFitted() const {
    const auto at = firmware.find("1.", 1);
    return at == std::string::npos;
}

Scene DefaultScene() {
    Scene scene;
    scene.tcxoPpb = 1200.0;
    scene.signals = {
        {903.5e6, -42.0, std::nullopt, std::nullopt},
        {915.0e6, -25.0, std::nullopt, std::nullopt},
        {919.25e6, -60.0, SceneAm{1000.0, 0.5}, std::nullopt},
        {924.6e6, -50.0, std::nullopt, SceneFm{1000.0, 25000.0}},
        {927.4e6, -75.0, std::nullopt, std::nullopt},
    };
    return scene;
}

SceneLoadResult ParseScene(std::string_view text, const std::string& sourceName,
                           const std::filesystem::path& folder) {
    SceneLoadResult result;
    const std::string prefix = "scene file '" + sourceName + "': ";
    Json root;
    DuplicateKeyFinder duplicates;
    try {
        root = Json::parse(text.begin(), text.end(), duplicates.Callback());
    } catch (const Json::exception& error) {
        result.error = prefix + "not valid JSON: " + WithoutExceptionTag(error.what());
        return result;
    }
    if (!duplicates.First().empty()) {
        result.error = prefix + Cut("'" + duplicates.First() + "' is given twice");
        return result;
    }
    try {
        result.scene = ReadScene(root, folder);
    } catch (const SceneProblem& problem) {
        result.error = prefix + Cut(problem.text);
    } catch (const Json::exception& error) {
        result.error = prefix + WithoutExceptionTag(error.what());
    }
    return result;
}

SceneLoadResult LoadSceneFile(const std::filesystem::path& path) {
    const std::string name = path.string();
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(path, kMaxSceneBytes, bytes, error)) {
        return {std::nullopt, "scene file: " + error};
    }
    return ParseScene(std::string(bytes.begin(), bytes.end()), name, path.parent_path());
}

}  // namespace tavlin::sim
