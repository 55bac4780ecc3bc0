// The detectors of a span swept in steps, on a carrier beside a band of noise.
#include <gtest/gtest.h>

#include <cmath>

#include "e2e/virtual_unit_fixture.h"

namespace tavlin {
namespace {

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
