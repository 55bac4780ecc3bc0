// The noise marker and the peak table read off trace A of a virtual unit
// whose noise density and carriers are known.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "document/marker_commands.h"
#include "document/marker_measurements.h"
#include "e2e/virtual_unit_fixture.h"

namespace tavlin {
namespace {

using MarkerFunctionsTest = test::VirtualUnitTest;

constexpr double kCentreHz = 915e6;

// The scene's density stands behind the attenuator and reaches the IF
// through both mixing sides, so the corrected trace reads it raised by the
// attenuation in use and by 3 dB. With the RMS detector each row is the mean
// power of its bins: their power mean over the marker's neighbourhood, less
// the filter's noise bandwidth, is the density.
TEST_F(MarkerFunctionsTest, NoiseMarkerReadsTheScenesDensity) {
    struct Row {
        std::string name;
        double spanHz;
    };
    const std::vector<Row> rows = {{"FFT span", 200e3}, {"step span", 4e6}};
    const double sceneDbmHz = -125.0;
    for (const Row& row : rows) {
        Start({}, {.noiseDbmHz = sceneDbmHz});
        doc->SetTraceMeasurements({.noiseOn = true});
        Sweep(kCentreHz, row.spanHz);
        MarkerCommands(*doc).Normal();
        const auto reading = MarkerMeasurements(*doc).NoiseAtActiveMarker(50);
        ASSERT_TRUE(reading) << row.name;
        const double bothSidesDbmHz = sceneDbmHz + doc->Settings().attenDb + 10.0 * std::log10(2.0);
        EXPECT_NEAR(reading->densityDbmHz, bothSidesDbmHz, 0.5) << row.name;
        EXPECT_EQ(reading->flag, ReadingFlag::kNone) << row.name;
    }
    // The strongest bin of each pixel reads noise high by no known amount.
    doc->SetTraceMeasurements({});
    Sweep(kCentreHz, 200e3);
    EXPECT_EQ(MarkerMeasurements(*doc).NoiseAtActiveMarker(50)->flag, ReadingFlag::kDetector);
}

// Every carrier of the default scene stands out of the noise: the table
// lists them highest first, each at its frequency and level. The span is
// swept in steps, each a short capture: the AM carrier reads its envelope,
// 1 +- 0.5 in amplitude, at the moment of the capture. (Sixth comes a
// response of the strongest carrier, -54 dBc at 906.19 MHz.)
TEST_F(MarkerFunctionsTest, PeakTableListsTheDefaultScenesCarriers) {
    const auto loaded = sim::LoadSceneFile(TAVLIN_SOURCE_DIR "/scenes/default.json");
    ASSERT_TRUE(loaded.scene);
    Start(*loaded.scene);
    Sweep(918e6, 30e6);
    const std::vector<PeakTableRow> table =
        MarkerMeasurements(*doc).PeakTable({.count = 5, .threshold = -85.0, .excursionDb = 6.0});
    struct Carrier {
        double hz;
        double lowDbm;
        double highDbm;
    };
    const std::vector<Carrier> expected = {{915.0e6, -26.0, -24.0},
                                           {903.5e6, -43.0, -41.0},
                                           {924.6e6, -51.5, -48.5},
                                           {919.25e6, -66.1, -56.4},
                                           {927.4e6, -76.0, -74.0}};
    ASSERT_EQ(table.size(), expected.size());
    const double pixelHz = 30e6 / 640.0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(table[i].position, expected[i].hz, 1.5 * pixelHz) << i;
        EXPECT_GE(table[i].level, expected[i].lowDbm) << i;
        EXPECT_LE(table[i].level, expected[i].highDbm) << i;
        EXPECT_EQ(table[i].flag, ReadingFlag::kNone) << i;
    }
}

}  // namespace
}  // namespace tavlin
