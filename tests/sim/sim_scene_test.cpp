#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/scene.h"

namespace tavlin {
namespace {

using namespace ::tavlin::sim;

std::string ErrorOf(const std::string& text) {
    const SceneLoadResult result = ParseScene(text, "bad.json");
    EXPECT_FALSE(result.scene.has_value()) << text;
    return result.error;
}

TEST(SimScene, AbsentKeysTakeTheirDefaults) {
    const SceneLoadResult result = ParseScene("{}", "empty.json");
    ASSERT_TRUE(result.scene) << result.error;
    const Scene& scene = *result.scene;
    EXPECT_EQ(scene.serial, "TV000123");
    EXPECT_EQ(scene.firmware, "Tavlin 2.03");
    EXPECT_FALSE(scene.externalReference);
    EXPECT_TRUE(scene.signals.empty());
    EXPECT_DOUBLE_EQ(scene.selfTest.freqHz, 140e6);
    EXPECT_DOUBLE_EQ(scene.selfTest.levelDbm, -15.0);
    EXPECT_EQ(scene.calibration, SceneCalibration::Factory);
    EXPECT_FALSE(scene.trigger);
}

TEST(SimScene, EveryKeyIsRead) {
    const SceneLoadResult result = ParseScene(R"({
        "serial": "AB12", "firmware": "Tavlin 1.50", "external_reference": true,
        "tcxo_ppb": -850.4, "noise_floor_dbm_hz": -150,
        "signals": [
            {"freq_hz": 1e9, "level_dbm": -30},
            {"freq_hz": 100e6, "level_dbm": -40, "am": {"rate_hz": 1000, "depth": 0.3},
             "fm": {"rate_hz": 400, "deviation_hz": 5000}}
        ],
        "self_test": {"freq_hz": 141e6, "level_dbm": -14},
        "calibration": "blank", "trigger": {"period_ms": 40}
    })",
                                              "full.json");
    ASSERT_TRUE(result.scene) << result.error;
    const Scene& scene = *result.scene;
    EXPECT_EQ(scene.serial, "AB12");
    EXPECT_TRUE(scene.externalReference);
    EXPECT_DOUBLE_EQ(scene.tcxoPpb, -850.4);
    EXPECT_DOUBLE_EQ(scene.noiseFloorDbmHz, -150.0);
    ASSERT_EQ(scene.signals.size(), 2u);
    EXPECT_FALSE(scene.signals[0].am);
    ASSERT_TRUE(scene.signals[1].am && scene.signals[1].fm);
    EXPECT_DOUBLE_EQ(scene.signals[1].am->depth, 0.3);
    EXPECT_DOUBLE_EQ(scene.signals[1].fm->deviationHz, 5000.0);
    EXPECT_DOUBLE_EQ(scene.selfTest.freqHz, 141e6);
    EXPECT_EQ(scene.calibration, SceneCalibration::Blank);
    ASSERT_TRUE(scene.trigger);
    EXPECT_DOUBLE_EQ(scene.trigger->periodMs, 40.0);
}

TEST(SimScene, MalformedFilesAreRefusedWithFileAndProblem) {
    EXPECT_EQ(ErrorOf(R"({"serial": "TV0001234"})"),
              "scene file 'bad.json': 'serial' must be at most 8 characters");
    EXPECT_EQ(ErrorOf(R"({"signals": [{"freq_hz": 1e6, "level_dbm": "loud"}]})"),
              "scene file 'bad.json': 'signals[0].level_dbm' must be a number");
    EXPECT_EQ(ErrorOf(R"({"signals": [{"level_dbm": -3}]})"),
              "scene file 'bad.json': 'signals[0].freq_hz' is missing");
    EXPECT_EQ(ErrorOf(R"({"calibration": "factory-ish"})"),
              "scene file 'bad.json': 'calibration' must be \"factory\" or \"blank\"");
    EXPECT_EQ(ErrorOf(R"({"noise_flor_dbm_hz": -150})"),
              "scene file 'bad.json': unknown key 'noise_flor_dbm_hz'");
    EXPECT_EQ(ErrorOf(R"({"external_reference": 1})"),
              "scene file 'bad.json': 'external_reference' must be true or false");
    EXPECT_EQ(ErrorOf("[1, 2]"), "scene file 'bad.json': the top level must be an object");
    EXPECT_EQ(ErrorOf(R"({"signals": {}})"), "scene file 'bad.json': 'signals' must be a list");
    EXPECT_NE(ErrorOf(R"({"signals": [{"freq_hz": 1e6, "level_dbm": -3, "am": {"rate_hz": 1e3,
                         "depth": 1.5}}]})")
                  .find("'signals[0].am.depth' must lie between 0 and 1"),
              std::string::npos);
    EXPECT_NE(ErrorOf(R"({"tcxo_ppb": 40000})").find("'tcxo_ppb' must lie between"),
              std::string::npos);
    const std::string syntax = ErrorOf(R"({"serial": "TV1",)");
    EXPECT_EQ(syntax.rfind("scene file 'bad.json': not valid JSON: ", 0), 0u) << syntax;
    EXPECT_EQ(LoadSceneFile("/nonexistent/dir/none.json").error,
              "scene file '/nonexistent/dir/none.json': cannot be opened");
}

TEST(SimScene, PreampFollowsTheFirmwareText) {
    // "1." anywhere but at the first character marks a unit without one.
    for (const auto& [text, fitted] : {std::pair{"Tavlin 2.03", true},
                                       {"Tavlin 1.50", false},
                                       {"1.9 Tavlin", true},
                                       {"V2.11.", false}}) {
        Scene scene;
        scene.firmware = text;
        EXPECT_EQ(scene.PreampFitted(), fitted) << text;
    }
}

TEST(SimScene, EveryShippedSceneLoadsAndTheDefaultFillsThePresetView) {
    const std::filesystem::path folder = std::filesystem::path(TAVLIN_SOURCE_DIR) / "scenes";
    int loaded = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".json") {
            continue;
        }
        const SceneLoadResult result = LoadSceneFile(entry.path());
        EXPECT_TRUE(result.scene) << result.error;
        ++loaded;
    }
    EXPECT_GE(loaded, 6);
    // The default scene shows something in the preset view.
    const Scene scene = DefaultScene();
    ASSERT_FALSE(scene.signals.empty());
    for (const SceneEmitter& emitter : scene.signals) {
        EXPECT_GE(emitter.freqHz, 902e6);
        EXPECT_LE(emitter.freqHz, 928e6);
    }
}

}  // namespace
}  // namespace tavlin
