#include <gtest/gtest.h>

#include <filesystem>

#include "sim/scene.h"

namespace tavlin {
namespace {

using namespace ::tavlin::sim;

TEST(SimScene, EveryKeyIsReadAndAbsentKeysTakeTheirDefaults) {
    const SceneLoadResult empty = ParseScene("{}", "empty.json");
    ASSERT_TRUE(empty.scene) << empty.error;
    EXPECT_EQ(empty.scene->serial, "TV000123");
    EXPECT_FALSE(empty.scene->trigger);

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

TEST(SimScene, BadScenesAreRefusedWithFileAndProblem) {
    struct Row {
        const char* text;
        std::string error;  // after "scene file 'bad.json': "; "...": how it begins
    };
    const Row rows[] = {
        {R"({"serial": "TV0001234"})", "'serial' must be at most 8 characters"},
        {R"({"signals": [{"freq_hz": 1e6, "level_dbm": "loud"}]})",
         "'signals[0].level_dbm' must be a number"},
        {R"({"signals": [{"level_dbm": -3}]})", "'signals[0].freq_hz' is missing"},
        {R"({"calibration": "factory-ish"})", "'calibration' must be \"factory\" or \"blank\""},
        {R"({"noise_flor_dbm_hz": -150})", "unknown key 'noise_flor_dbm_hz'"},
        {R"({"external_reference": 1})", "'external_reference' must be true or false"},
        {"[1, 2]", "the top level must be an object"},
        {R"({"signals": {}})", "'signals' must be a list"},
        {R"({"signals": [{"freq_hz": 1e6, "level_dbm": -3, "am": {"rate_hz": 1e3, "depth": 1.5}}]})",
         "'signals[0].am.depth' must lie between 0 and 1..."},
        {R"({"tcxo_ppb": 40000})", "'tcxo_ppb' must lie between ..."},
        {R"({"serial": "TV1",)", "not valid JSON: ..."},
    };
    for (const Row& row : rows) {
        const SceneLoadResult result = ParseScene(row.text, "bad.json");
        EXPECT_FALSE(result.scene.has_value()) << row.text;
        std::string expected = "scene file 'bad.json': " + row.error;
        if (expected.ends_with("...")) {
            expected.resize(expected.size() - 3);
            EXPECT_EQ(result.error.rfind(expected, 0), 0u) << result.error;
        } else {
            EXPECT_EQ(result.error, expected);
        }
    }
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
    int loaded = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(TAVLIN_SOURCE_DIR) / "scenes")) {
        if (entry.path().extension() == ".json") {
            const SceneLoadResult result = LoadSceneFile(entry.path());
            EXPECT_TRUE(result.scene) << result.error;
            ++loaded;
        }
    }
    EXPECT_GE(loaded, 6);
    const Scene scene = DefaultScene();
    ASSERT_FALSE(scene.signals.empty());
    for (const SceneEmitter& emitter : scene.signals) {
        EXPECT_GE(emitter.freqHz, 902e6);
        EXPECT_LE(emitter.freqHz, 928e6);
    }
}

}  // namespace
}  // namespace tavlin
