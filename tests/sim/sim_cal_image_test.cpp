#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "sim/cal_layout.h"
#include "sim/factory_cal_image.h"
#include "sim/level_correction.h"

namespace tavlin {
namespace {

using namespace ::tavlin::sim;

LevelSettings Settings(bool preampFitted, bool highBand, bool preampOn = false) {
    return LevelSettings{2, 0, preampFitted, preampOn, highBand};
}

// The end-to-end accuracy table never switches the preamplifier on: its gain
// and low-frequency roll-off are read here.
TEST(SimLevelCorrection, PreampGainAndItsRolloff) {
    CalMemory::Image image;
    image.fill(128);
    for (const std::size_t clip : {CalLayout::kIfClipHigh, CalLayout::kIfClipLow}) {
        image[clip] = 43268 & 0xFF;  // (43268 - 32768) x 0.001 - 10.5 = 0 dB
        image[clip + 1] = 43268 >> 8;
    }
    image[CalLayout::kIfGain2_9Low] = image[CalLayout::kIfGain2_9High] = 0;
    std::fill_n(image.begin() + CalLayout::kPreampLowBand, 150, 200);  // 20 dB
    std::fill_n(image.begin() + CalLayout::kPreampRolloff, 15, 64);    // 2 dB
    const LevelCorrection table(image);
    const LevelSettings on{0, 1, true, true, false};
    EXPECT_NEAR(table.At(10e6, on), -20.0, 1e-9);
    EXPECT_NEAR(table.At(500e3, on), -(20.0 - 2.0), 1e-9);
    EXPECT_NEAR(table.At(150e3, on), -(20.0 - 2.8 * 2.0 + 0.8), 1e-9);
    EXPECT_TRUE(std::isfinite(table.At(0.0, on)));
    EXPECT_NEAR(table.At(10e6, LevelSettings{0, 1, false, true, false}), 0.0, 1e-9);
}

// The self test expects 7 dB (low band) and 8 dB (high band) at 140 MHz, with
// the preamplifier fitted or not.
TEST(SimFactoryCalImage, PlausibleTableThatMeetsTheSelfTestTargets) {
    for (const char* firmware : {"Tavlin 2.03", "Tavlin 1.50"}) {
        Scene scene;
        scene.firmware = firmware;
        scene.tcxoPpb = -850.6;
        const CalMemory::Image image = FactoryCalImage::MemoryContents(scene);
        const LevelCorrection table(image);
        const bool fitted = scene.PreampFitted();
        EXPECT_NEAR(table.At(140e6, Settings(fitted, false)), 7.0, 0.002) << firmware;
        EXPECT_NEAR(table.At(140e6, Settings(fitted, true)), 8.0, 0.002) << firmware;
        EXPECT_EQ(image[CalLayout::kTcxoOffset] | (image[CalLayout::kTcxoOffset + 1] << 8),
                  32768 - 851);
        EXPECT_STREQ(reinterpret_cast<const char*>(image.data() + CalLayout::kCalDate),
                     "Tue Mar 12 14:05:33 2024\n");
        // Flatness varies over frequency and between attenuator rows.
        const auto high = image.begin() + CalLayout::kHighBandFlatness;
        EXPECT_GT(std::set<int>(high, high + 1704).size(), 20u);
        EXPECT_FALSE(std::equal(high, high + 426, high + 3 * 426));
        // Every word must survive the program's write sequence unchanged.
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
