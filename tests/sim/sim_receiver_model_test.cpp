#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sim/factory_cal_image.h"
#include "sim/level_correction.h"
#include "sim/receiver_model.h"
#include "sim_session.h"

namespace tavlin::test {
namespace {

using namespace ::tavlin::sim;

constexpr double kRate0 = 486111.1111111111;
constexpr double kIfTune0 = 10694444.444444444;

Scene OneEmitter(double freqHz, double levelDbm, double tcxoPpb = 0.0) {
    Scene scene;
    scene.tcxoPpb = tcxoPpb;
    scene.signals = {{freqHz, levelDbm, std::nullopt, std::nullopt}};
    return scene;
}

double DroopDb(double offsetHz) {
    const double table[] = {-0.6, -0.6, -0.5, -0.3, 0.0, 0.1, 0.15, 0.2, 0.0, -0.3, -0.6, -0.9};
    const double x = std::abs(offsetHz * 40.0 / 486111.1);
    const int i = static_cast<int>(x);
    return (x - i) * table[i + 1] + (i + 1 - x) * table[i];
}

class SimReceiver : public ::testing::Test {
  protected:
    void Start(const Scene& scene) {
        session = std::make_unique<SimSession>(scene);
        session->OpenAndInitialise();
        session->Send({'I', 0x0E, 16});  // decimation 1
        session->Send({'F', 0x00});
    }
    void Capture(std::vector<double>& first, std::vector<double>& second) {
        session->Capture(32, first, second);
    }
    std::unique_ptr<SimSession> session;
};

// The self test's checks, with the SELF TEST signal on RF IN.
TEST_F(SimReceiver, SelfTestReadsNearTheMiddleOfItsWindows) {
    Start(DefaultScene());
    SimSession& s = *session;
    s.Send({'O', 0x01});
    s.Send({'A', 0x02});
    s.Send({'I', 0x06, 0x80});  // gain state 0
    s.Send({'I', 0x0C, 0x00});
    s.Tune(150.7, true);
    const double hb = s.MeasureLevel();
    EXPECT_LT(std::abs(hb + 33.0), 1.5) << hb;
    s.Send({'D', 0x03});
    s.Tune(129.3, false);
    const double lb = s.MeasureLevel();
    EXPECT_LT(std::abs(lb + 32.0), 1.5) << lb;
    s.Send({'A', 0x03});
    const double lb15 = s.MeasureLevel();
    EXPECT_LT(std::abs(lb - lb15 - 5.0), 0.5) << lb - lb15;
    s.Send({'F', 0x01});
    s.Tune(137.1, false);
    const double if2 = s.MeasureLevel();
    EXPECT_LT(std::abs(if2 + 26.0), 1.5) << if2;
}

// Reading = L - atten - c(table) (+ the 2.9 MHz offset) + droop: the
// program, applying the table it reads from the memory, gets L back.
TEST_F(SimReceiver, EmitterLevelIsTheInverseOfTheTable) {
    struct Case {
        std::uint8_t atten;
        int gain;
        bool preamp;
        bool highBand;
        int ifPath;
    };
    const Case cases[] = {{2, 1, false, true, 0},
                          {0, 0, false, true, 0},
                          {3, 2, true, true, 0},
                          {1, 1, false, false, 0},
                          {2, 0, true, false, 1}};
    Start(OneEmitter(120e6, -37.0));
    const LevelCorrection table(session->unit.Memory());
    for (const Case& c : cases) {
        SimSession& s = *session;
        s.Send({'A', c.atten});
        s.Send({'I', 0x06, static_cast<std::uint8_t>(c.gain == 0 ? 0x80 : 0x00)});
        s.Send({'I', 0x0C, static_cast<std::uint8_t>(c.gain == 2 ? 0x80 : 0x00)});
        s.Send({'M', static_cast<std::uint8_t>(c.preamp ? 1 : 0)});
        s.Send({'F', static_cast<std::uint8_t>(c.ifPath)});
        const double ifMhz = c.ifPath == 0 ? 10.7 : 2.9;
        s.Tune(120.0 + ifMhz, c.highBand);  // LO above the signal
        LevelSettings settings{c.atten, c.gain, true, c.preamp, c.highBand};
        double expected = -37.0 - 5.0 * c.atten - table.At(120e6, settings) +
                          DroopDb((c.ifPath == 0 ? kIfTune0 : 2916666.6667) - ifMhz * 1e6);
        if (c.ifPath == 1) {
            expected += table.SecondIfOffsetDb(false) -
                        10.0 * std::log10(table.IfFlatnessMultiplier(1, 2.9e6));
        }
        EXPECT_NEAR(s.MeasureLevel(), expected, 0.1)
            << "atten " << int(c.atten) << " gain " << c.gain << " path " << c.ifPath;
    }
}

TEST_F(SimReceiver, BlankUnitHasItsOwnResponseWithAnErasedMemory) {
    Scene scene = OneEmitter(1e9, -20.0);
    scene.calibration = SceneCalibration::Blank;
    Start(scene);
    session->Send({'A', 0x02});
    session->Tune(1010.7, true);
    const LevelCorrection truth(FactoryCalImage::TrueResponse(scene));
    const double expected = -20.0 - 10.0 - truth.At(1e9, LevelSettings{2, 1, true, false, true}) +
                            DroopDb(kIfTune0 - 10.7e6);
    EXPECT_NEAR(session->MeasureLevel(), expected, 0.1);
    EXPECT_EQ(session->unit.Memory()[0], 0xFF);
}

TEST_F(SimReceiver, NoiseFloorFollowsTheSceneDensity) {
    Scene scene;
    scene.noiseFloorDbmHz = -140.0;
    Start(scene);
    session->Send({'A', 0x00});
    session->Tune(510.7, true);
    const LevelCorrection table(session->unit.Memory());
    const double fromScene = -140.0 - table.At(500e6, LevelSettings{0, 1, true, false, true}) +
                             10.0 * std::log10(kRate0);
    // The sampler adds its own count of noise to I and to Q.
    const double sampler = 2.0 * std::pow(ReceiverModel::kSamplerNoiseCounts / 32768.0, 2);
    const double expected = 10.0 * std::log10(std::pow(10.0, fromScene / 10.0) + sampler);
    EXPECT_NEAR(session->MeasureLevel(), expected, 0.2);
}

TEST_F(SimReceiver, UninitialisedSamplerSendsZeros) {
    Start(OneEmitter(1000e6, -30.0));
    session->Send({'C', 8 + 2});
    session->Tune(989.3, true);
    std::vector<double> first, second;
    Capture(first, second);
    EXPECT_TRUE(std::all_of(first.begin(), first.end(), [](double v) { return v == 0.0; }));
}

}  // namespace
}  // namespace tavlin::test
