#include <gtest/gtest.h>

#include <algorithm>

#include "sim/factory_cal_image.h"
#include "sim/level_correction.h"

namespace tavlin {
namespace {

using namespace ::tavlin::sim;

// The self test expects 7 dB (low band) and 8 dB (high band) at 140 MHz, with
// the preamplifier fitted or not; and the program must be able to write the
// table back, so no word may read as a memory command.
TEST(SimFactoryCalImage, MeetsTheSelfTestTargetsAndSurvivesTheWriteSequence) {
    for (const char* firmware : {"Tavlin 2.03", "Tavlin 1.50"}) {
        Scene scene;
        scene.firmware = firmware;
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
