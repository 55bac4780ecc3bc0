// The noise marker, the peak table and the detectors read off trace A of a
// virtual unit whose noise density and carriers are known.
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

using StepSweepDetectorsTest = test::VirtualUnitTest;

// Every detector reads the carrier at its level, and the band's noise (its
// mean in dB over the points within 3.5 MHz of the band's middle) by a known
// amount under its mean power, which the RMS detector reads. A sample is the
// power of one bin, scattered as an exponential: 2.51 dB under in dB. With
// image suppression a point is the smaller of the two mixing sides'
// readings, which halves the noise's mean power (3.01 dB). Peak and average
// take three readings a third of a pixel apart, partly in one bin.
TEST_F(StepSweepDetectorsTest, EachDetectorReadsTheCarrierAndNoiseByItsKnownAmount) {
    struct Row {
        const char* name;
        Detector detector;
        bool imageSuppression;
        double dbUnderMeanPower;
    };
    const Row rows[] = {
        {"rms", Detector::kRms, false, 0.0},
        {"sample", Detector::kSample, false, -2.51},
        {"sample of the smaller side", Detector::kSample, true, -3.01 - 2.51},
        {"peak", Detector::kPeak, false, -0.8},
        {"peak of the smaller side", Detector::kPeak, true, -3.0},
        {"average", Detector::kAverage, false, -2.1},
    };
    sim::SceneEmitter band = Cw(922e6, -40.0);
    band.noiseBandwidthHz = 10e6;
    const auto sweep = [&](Detector detector, bool imageSuppression) {
        Start({Cw(904e6, -30.0), band});
        Edit([&](InstrumentState& s) { s.detector = detector, s.imageReject = imageSuppression; });
        Sweep(915e6, 26e6);
        const auto trace = Rows();
        double power = 0.0, db = 0.0;
        const int first = 407, last = 578;  // 918.5 to 925.5 MHz
        for (int i = first; i <= last; ++i) {
            power += std::pow(10.0, LevelOfRow(trace[i]) / 10.0);
            db += LevelOfRow(trace[i]);
        }
        const int points = last - first + 1;
        return std::pair(10.0 * std::log10(power / points), db / points);
    };
    const double meanPowerDb = sweep(Detector::kRms, true).first;
    for (const Row& row : rows) {
        const double dbMean = sweep(row.detector, row.imageSuppression).second;
        EXPECT_NEAR(dbMean - meanPowerDb, row.dbUnderMeanPower, 0.4) << row.name;
        EXPECT_NEAR(LevelNear(904e6, 0.2e6), -30.0, 0.4) << row.name;
    }
}

}  // namespace
}  // namespace tavlin
