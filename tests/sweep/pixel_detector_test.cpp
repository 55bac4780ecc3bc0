// The detectors on known spectra: a tone alone in a pixel, and noise of
// Rayleigh envelope (exponentially distributed bin powers).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "sweep/fft_trace_mapping.h"
#include "sweep/spectrum_rows.h"

namespace tavlin {
namespace {

constexpr double kBinsPerPixel = 64.0;
constexpr std::size_t kBins = 64 * 640;
constexpr double kNoisePower = 1e-4;
constexpr double kTonePower = 1e-2;
constexpr double kFloorPower = 1e-9;
constexpr int kTonePixel = 100;

enum class Scene { kToneOnPixel, kToneOffPixel, kNoise };

std::vector<double> SpectrumOf(Scene scene) {
    std::vector<double> power(kBins, kFloorPower);
    if (scene == Scene::kNoise) {
        std::mt19937 random(7);
        std::exponential_distribution<double> bin(1.0 / kNoisePower);
        std::generate(power.begin(), power.end(), [&] { return bin(random); });
        return power;
    }
    // Pixel i lies on bin (i - 320) x 64, taken modulo the bins.
    const long long offset = (kTonePixel - 320) * 64 + (scene == Scene::kToneOffPixel ? 1 : 0);
    power[static_cast<std::size_t>(offset + static_cast<long long>(kBins))] = kTonePower;
    return power;
}

SweepTrace Draw(const std::vector<double>& power, const SweepSettings& settings) {
    SweepTrace trace;
    trace.traceA.fill(settings.minHold ? kTopRowClamp : kBottomRow);
    MapSpectrumToTrace({power, kBinsPerPixel, false}, 0.0, 1, settings, trace);
    return trace;
}

struct DetectorRow {
    const char* name;
    Scene scene;
    Detector detector;
    bool logMean;  // the mean of the pixels' dB rather than of their power
    double expectedDb;
    double toleranceDb;
};

class PixelDetectorTest : public testing::TestWithParam<DetectorRow> {};

// A tone reads against its own level; noise, the mean over the 641 pixels,
// against its mean power. A pixel holds 65 bins.
TEST_P(PixelDetectorTest, ReadsTheKnownLevel) {
    const DetectorRow& row = GetParam();
    SweepSettings settings;
    settings.detector = row.detector;
    const SweepTrace trace = Draw(SpectrumOf(row.scene), settings);
    const bool tone = row.scene != Scene::kNoise;
    const double referenceRow = ToScreenRow(tone ? kTonePower : kNoisePower, 0.0, settings);
    double readDb = (referenceRow - trace.traceA[kTonePixel]) / RowsPerDb(10.0);
    if (!tone) {
        double sum = 0.0;
        for (double r : trace.traceA) {
            const double db = (referenceRow - r) / RowsPerDb(10.0);
            sum += row.logMean ? db : std::pow(10.0, db / 10.0);
        }
        readDb = row.logMean ? sum / kTracePoints : 10.0 * std::log10(sum / kTracePoints);
    }
    EXPECT_NEAR(readDb, row.expectedDb, row.toleranceDb);
}

INSTANTIATE_TEST_SUITE_P(
    Detectors, PixelDetectorTest,
    testing::Values(
        DetectorRow{"ToneReadsItsLevelOnPeak", Scene::kToneOnPixel, Detector::kPeak, false, 0.0,
                    0.01},
        // 10 log 65 under: the tone's power shared by the pixel's bins
        DetectorRow{"ToneReadsItsPowerOverTheBinsOnRms", Scene::kToneOnPixel, Detector::kRms, false,
                    -18.13, 0.02},
        // (sqrt(tone) + 64 sqrt(floor))^2 / 65^2: nearly 20 log 65 under
        DetectorRow{"ToneReadsItsVoltageOverTheBinsOnAverage", Scene::kToneOnPixel,
                    Detector::kAverage, false, -36.09, 0.02},
        DetectorRow{"ToneABinOffIsMissedBySample", Scene::kToneOffPixel, Detector::kSample, false,
                    -70.0, 0.01},
        DetectorRow{"NoiseReadsItsMeanPowerOnRms", Scene::kNoise, Detector::kRms, false, 0.0, 0.1},
        // pi/4 of the mean power, plus the scatter of a mean of 65 envelopes
        DetectorRow{"NoiseReadsLowOnAverage", Scene::kNoise, Detector::kAverage, false, -1.03, 0.1},
        // the largest of 65 exponentials: their harmonic number, 4.76
        DetectorRow{"NoiseReadsHighOnPeak", Scene::kNoise, Detector::kPeak, false, 6.78, 0.3},
        // the mean of the dB of an exponential: -2.51 dB
        DetectorRow{"NoiseSamplesAveragedInDbReadLow", Scene::kNoise, Detector::kSample, true,
                    -2.51, 0.5}),
    [](const testing::TestParamInfo<DetectorRow>& info) { return info.param.name; });

// Min hold keeps the lowest level of each pixel.
TEST(TraceHold, MinHoldKeepsTheWeakerTone) {
    const std::vector<double> strong = SpectrumOf(Scene::kToneOnPixel);
    auto weak = strong;
    std::replace(weak.begin(), weak.end(), kTonePower, kTonePower / 10);
    const SweepSettings settings{.minHold = true};
    SweepTrace trace = Draw(weak, settings);
    MapSpectrumToTrace({strong, kBinsPerPixel, false}, 0.0, 1, settings, trace);
    EXPECT_NEAR(trace.traceA[kTonePixel], ToScreenRow(kTonePower / 10, 0.0, settings), 1e-9);
}

}  // namespace
}  // namespace tavlin
