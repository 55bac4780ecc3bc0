// Channel power and occupied bandwidth read from trace A of a virtual unit
// whose emitters' powers and spectra are known: a carrier, a band of noise
// and an FM signal whose lines follow the Bessel functions.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "e2e/virtual_unit_fixture.h"

namespace tavlin {
namespace {

using TraceMeasurementsTest = test::VirtualUnitTest;

constexpr double kCentreHz = 915e6;
constexpr double kLevelDbm = -30.0;

sim::SceneEmitter NoiseBand(double freqHz, double levelDbm, double bandwidthHz) {
    sim::SceneEmitter emitter{freqHz, levelDbm, std::nullopt, std::nullopt};
    emitter.noiseBandwidthHz = bandwidthHz;
    return emitter;
}

// The whole power of each emitter lies inside the channel (half the span).
// The FFT sweep averages its blocks; the step list draws the mean power of
// each pixel while channel power is on, from the transforms of one short
// capture per step, so its noise band spans several steps for the reading
// to settle.
TEST_F(TraceMeasurementsTest, ChannelPowerReadsTheEmittersPower) {
    struct Row {
        std::string name;
        sim::SceneEmitter emitter;
        double spanHz;
        double toleranceDb;
    };
    const std::vector<Row> rows = {
        {"carrier, FFT span", Cw(kCentreHz + 3.3e3, kLevelDbm), 200e3, 0.3},
        {"noise band, FFT span", NoiseBand(kCentreHz - 2e3, kLevelDbm, 40e3), 200e3, 0.5},
        {"carrier, step span", Cw(kCentreHz + 33e3, kLevelDbm), 2e6, 0.3},
        {"carrier, wide step span", Cw(kCentreHz + 1.3e6, kLevelDbm), 20e6, 0.3},
        {"noise band, step span", NoiseBand(kCentreHz - 20e3, kLevelDbm, 1.2e6), 4e6, 0.5},
        {"noise band, wide step span", NoiseBand(kCentreHz, kLevelDbm, 4e6), 20e6, 0.5},
    };
    for (const Row& row : rows) {
        Start({row.emitter});
        doc->SetTraceMeasurements({.channelPowerOn = true});
        Sweep(kCentreHz, row.spanHz);
        const auto reading = doc->ChannelPower();
        ASSERT_TRUE(reading) << row.name;
        EXPECT_NEAR(reading->powerDbm, kLevelDbm, row.toleranceDb) << row.name;
        EXPECT_DOUBLE_EQ(reading->bandwidthHz, row.spanHz / 2.0) << row.name;
        EXPECT_NEAR(reading->densityDbmHz, reading->powerDbm - 10.0 * std::log10(row.spanHz / 2.0),
                    1e-9)
            << row.name;
        EXPECT_EQ(reading->flag, ReadingFlag::kNone) << row.name;
    }
    // With the measurements off a step span keeps its peak rows, which
    // would read noise low: they give no reading rather than a wrong one.
    doc->SetTraceMeasurements({});
    Sweep(kCentreHz, 2e6);
    EXPECT_FALSE(doc->ChannelPower());
}

// An FM signal's lines lie at multiples of the rate from the carrier, line
// n with the share J_n(beta)^2 of the power. The 99 % band reaches the
// outermost line whose side still holds more than 0.5 % beyond it: the
// reading lies within a fraction of the filter's width of that line. The
// band's offset from the centre is the measurement's own test.
TEST_F(TraceMeasurementsTest, OccupiedBandwidthOfFm) {
    const double rateHz = 10e3;
    const double deviationHz = 20e3;
    const double beta = deviationHz / rateHz;
    int edgeLine = 0;
    double beyond = 0.5 * (1.0 - std::pow(std::cyl_bessel_j(0.0, beta), 2));
    while (beyond > 0.005) {
        ++edgeLine;
        beyond -= std::pow(std::cyl_bessel_j(static_cast<double>(edgeLine), beta), 2);
    }
    const double expectedHz = 2.0 * edgeLine * rateHz;

    sim::SceneEmitter fm = Cw(kCentreHz, kLevelDbm);
    fm.fm = sim::SceneFm{rateHz, deviationHz};
    Start({fm});
    Sweep(kCentreHz, 100e3);
    const auto reading = doc->OccupiedBandwidth();
    ASSERT_TRUE(reading);
    EXPECT_NEAR(reading->bandwidthHz, expectedHz, 0.03 * expectedHz);
    EXPECT_NEAR(reading->freqErrorHz, 0.0, doc->Settings().rbwHz);
}

}  // namespace
}  // namespace tavlin
