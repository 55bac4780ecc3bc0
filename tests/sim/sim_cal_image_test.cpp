#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "sim/cal_layout.h"
#include "sim/factory_cal_image.h"
#include "sim/level_correction.h"

namespace tavlin {
namespace {

using namespace ::tavlin::sim;

void PutWord(CalMemory::Image& image, std::size_t offset, std::uint16_t value) {
    image[offset] = value & 0xFF;
    image[offset + 1] = value >> 8;
}

// A neutral table: every flatness byte 128, both base levels 0 dB.
CalMemory::Image NeutralTable() {
    CalMemory::Image image;
    image.fill(128);
    PutWord(image, CalLayout::kIfClipHigh, 43268);  // (43268 - 32768) x 0.001 - 10.5 = 0
    PutWord(image, CalLayout::kIfClipLow, 43268);
    image[CalLayout::kIfGain2_9Low] = 0;
    image[CalLayout::kIfGain2_9High] = 0;
    return image;
}

LevelSettings Settings(int atten, int gain, bool preampFitted, bool highBand,
                       bool preampOn = false) {
    return LevelSettings{atten, gain, preampFitted, preampOn, highBand};
}

TEST(SimLevelCorrection, PreampGainAndItsRolloff) {
    CalMemory::Image image = NeutralTable();
    std::fill_n(image.begin() + CalLayout::kPreampLowBand, 150, 200);  // 20 dB
    std::fill_n(image.begin() + CalLayout::kPreampRolloff, 15, 64);    // 2 dB
    const LevelCorrection table(image);
    EXPECT_NEAR(table.At(10e6, Settings(0, 1, true, false, true)), -20.0, 1e-9);
    EXPECT_NEAR(table.At(500e3, Settings(0, 1, true, false, true)), -(20.0 - 2.0), 1e-9);
    EXPECT_NEAR(table.At(150e3, Settings(0, 1, true, false, true)), -(20.0 - 2.8 * 2.0 + 0.8),
                1e-9);
    EXPECT_TRUE(std::isfinite(table.At(0.0, Settings(0, 1, true, false, true))));
    EXPECT_NEAR(table.At(10e6, Settings(0, 1, false, false, true)), 0.0, 1e-9);
}

TEST(SimLevelCorrection, IfFlatnessIndexing) {
    CalMemory::Image image = NeutralTable();
    image[CalLayout::kIfFlatness10M7 + 0] = 150;
    image[CalLayout::kIfFlatness10M7 + 50] = 130;
    image[CalLayout::kIfFlatness2M9 + 25] = 100;
    const LevelCorrection table(image);
    EXPECT_DOUBLE_EQ(table.IfFlatnessMultiplier(0, 10.5e6), 1.5);  // below: first entry
    EXPECT_DOUBLE_EQ(table.IfFlatnessMultiplier(0, 10.579e6), 1.5);
    EXPECT_DOUBLE_EQ(table.IfFlatnessMultiplier(0, 11.0e6), 1.3);  // above: last entry
    EXPECT_DOUBLE_EQ(table.IfFlatnessMultiplier(1, 2.916e6), 1.0);
}

TEST(SimFactoryCalImage, PlausibleTableThatMeetsTheSelfTestTargets) {
    Scene scene;
    scene.tcxoPpb = -850.6;
    const CalMemory::Image image = FactoryCalImage::MemoryContents(scene);
    const LevelCorrection table(image);
    EXPECT_NEAR(table.At(140e6, Settings(2, 0, true, false)), 7.0, 0.002);
    EXPECT_NEAR(table.At(140e6, Settings(2, 0, true, true)), 8.0, 0.002);
    EXPECT_EQ(image[CalLayout::kBlankMark], 0x00);
    EXPECT_EQ(image[CalLayout::kTcxoOffset] | (image[CalLayout::kTcxoOffset + 1] << 8),
              32768 - 851);
    EXPECT_EQ(image[CalLayout::kIfGain2_9Low], 110);
    EXPECT_STREQ(reinterpret_cast<const char*>(image.data() + CalLayout::kCalDate),
                 "Tue Mar 12 14:05:33 2024\n");

    // Flatness varies over frequency and between attenuator rows.
    std::set<int> lowValues(image.begin() + CalLayout::kLowBandFlatness,
                            image.begin() + CalLayout::kLowBandFlatness + 600);
    std::set<int> highValues(image.begin() + CalLayout::kHighBandFlatness,
                             image.begin() + CalLayout::kHighBandFlatness + 1704);
    EXPECT_GT(lowValues.size(), 10u);
    EXPECT_GT(highValues.size(), 20u);
    EXPECT_FALSE(std::equal(image.begin() + CalLayout::kHighBandFlatness,
                            image.begin() + CalLayout::kHighBandFlatness + 426,
                            image.begin() + CalLayout::kHighBandFlatness + 3 * 426));
    // The low band below 10 MHz repeats the 10 MHz entry.
    EXPECT_EQ(image[CalLayout::kLowBandFlatness], image[CalLayout::kLowBandFlatness + 9]);

    // IF response: 1.00 at the centre, rising towards the edges, last byte repeated.
    const std::size_t if10 = CalLayout::kIfFlatness10M7;
    EXPECT_EQ(image[if10 + 25], 100);
    EXPECT_GT(image[if10 + 0], 120);
    EXPECT_GT(image[if10 + 50], 120);
    EXPECT_EQ(image[if10 + 51], image[if10 + 50]);
}

TEST(SimFactoryCalImage, UnitWithoutPreampMeetsTheSameTargets) {
    Scene scene;
    scene.firmware = "Tavlin 1.50";
    const LevelCorrection table(FactoryCalImage::MemoryContents(scene));
    EXPECT_NEAR(table.At(140e6, Settings(2, 0, false, false)), 7.0, 0.002);
    EXPECT_NEAR(table.At(140e6, Settings(2, 0, false, true)), 8.0, 0.002);
}

// Every word must survive the program's write sequence unchanged.
TEST(SimFactoryCalImage, NoWordLooksLikeAMemoryCommand) {
    const CalMemory::Image image = FactoryCalImage::MemoryContents(DefaultScene());
    for (std::size_t a = 0; a < image.size(); a += 4) {
        const bool read = image[a] == 0xFF && image[a + 1] == 0x01;
        const bool erase = image[a] == 0xFF && image[a + 1] == 0x14 && image[a + 2] == 0x25 &&
                           image[a + 3] == 0x36;
        EXPECT_FALSE(read || erase) << "address " << a;
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
