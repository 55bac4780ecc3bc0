#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "sim/factory_cal_image.h"
#include "sim/level_correction.h"
#include "sim/scene.h"

namespace tavlin {
namespace {

using namespace ::tavlin::sim;

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

TEST(SimScene, EveryShippedSceneLoads) {
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
}

// The self test expects 7 dB (low band) and 8 dB (high band) at 140 MHz, with
// the preamplifier fitted or not; and the program must be able to write the
// table back, so no word may read as a memory command.
TEST(SimFactoryCalImage, MeetsTheSelfTestTargetsAndSurvivesTheWriteSequence) {
    for (const char* firmware : {"Tavlin 2.03", "Tavlin 1.50"}) {
        Scene scene;
        scene.firmware = firmware;
        // "1." anywhere but at the first character marks a unit without one.
        EXPECT_EQ(scene.PreampFitted(), firmware == std::string("Tavlin 2.03")) << firmware;
        const CalMemory::Image image = FactoryCalImage::MemoryContents(scene);
        const LevelCorrection table(image);
        for (const bool highBand : {false, true}) {
            const LevelSettings settings{2, 0, scene.PreampFitted(), false, highBand};
            EXPECT_NEAR(table.At(140e6, settings), highBand ? 8.0 : 7.0, 0.002) << firmware;
        }
        for (std::size_t a = 0; a < image.size(); a += 4) {
            const bool read = image[a] == 0xFF && image[a + 1] == 0x01;
            const bool erase = image[a] == 0xFF && image[a + 1] == 0x14 && image[a + 2] == 0x25 &&
                               image[a + 3] == 0x36;
            EXPECT_FALSE(read || erase) << "address " << a;
        }
    }
}

TEST(SimFactoryCalImage, BlankUnitIsErasedButKeepsAResponse) {
    Scene scene;
    scene.calibration = SceneCalibration::Blank;
    const CalMemory::Image memory = FactoryCalImage::MemoryContents(scene);
    EXPECT_TRUE(std::all_of(memory.begin(), memory.end(), [](auto b) { return b == 0xFF; }));
    Scene factory = scene;
    factory.calibration = SceneCalibration::Factory;
    EXPECT_EQ(FactoryCalImage::TrueResponse(scene), FactoryCalImage::MemoryContents(factory));
}

}  // namespace
}  // namespace tavlin
