// A recording as an emitter of the virtual unit against the carrier it holds.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "sim/receiver_model.h"
#include "sim/sample_synthesizer.h"
#include "support/test_directory.h"

namespace tavlin::test {
namespace {

using namespace ::tavlin::sim;

constexpr double kCenterHz = 915e6;
constexpr double kOffsetHz = 12e3;  // the recorded carrier, above the centre
constexpr double kRateHz = 486111.1111111111;
constexpr double kLevelDbm = -40.0;
constexpr double kScaleDb = -20.0;
constexpr std::size_t kRecordedPairs = 1 << 14;
constexpr std::size_t kRenderedPairs = 1 << 13;

// A SigMF pair holding a carrier at kCenterHz + kOffsetHz of kLevelDbm.
std::filesystem::path WriteRecording(const std::filesystem::path& folder) {
    std::ofstream meta(folder / "tone.sigmf-meta");
    meta << R"({"global": {"core:datatype": "ci16_le", "core:sample_rate": )" << kRateHz
         << R"(}, "captures": [{"core:sample_start": 0, "core:frequency": )" << kCenterHz
         << R"(, "tavlin:scale_db": )" << kScaleDb << R"(}], "annotations": []})";
    std::ofstream data(folder / "tone.sigmf-data", std::ios::binary);
    const double amplitude = 32768.0 * std::pow(10.0, (kLevelDbm - kScaleDb) / 20.0);
    for (std::size_t n = 0; n < kRecordedPairs; ++n) {
        const std::complex<double> x =
            std::polar(amplitude, 2.0 * std::numbers::pi * kOffsetHz * n / kRateHz);
        for (const double word : {x.real(), x.imag()}) {
            const auto bits =
                static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(word)));
            data.put(static_cast<char>(bits & 0xFF)).put(static_cast<char>(bits >> 8));
        }
    }
    return folder / "tone.sigmf-meta";
}

// Without noise, the amplitude in counts the output of `plan` holds at a
// baseband frequency.
double AmplitudeAt(SamplePlan plan, double basebandHz) {
    plan.noiseTaps = {{0.0, 0.0}};
    SampleSynthesizer synthesizer;
    synthesizer.Start(plan, 0.0);
    std::vector<std::uint8_t> bytes(kRenderedPairs * SampleSynthesizer::kBytesPerPair);
    synthesizer.Render(bytes.data(), kRenderedPairs);
    std::complex<double> sum;
    for (std::size_t k = 0; k < kRenderedPairs; ++k) {
        const auto word = [&](std::size_t at) {
            return static_cast<double>(static_cast<std::int16_t>(bytes[at] | (bytes[at + 1] << 8)));
        };
        const std::size_t at = k * SampleSynthesizer::kBytesPerPair;
        sum += std::complex<double>(word(at), word(at + 2)) *
               std::polar(1.0, -2.0 * std::numbers::pi * basebandHz * k / plan.outputRateHz);
    }
    return std::abs(sum) / kRenderedPairs;
}

// On either mixing side and with the sampler mirrored or not, the recording
// lands where the carrier it holds would, as strong: a recording turned the
// wrong way round puts its carrier 24 kHz away.
TEST(SimIqPlayback, ARecordingPlaysAsTheCarrierItHolds) {
    struct Row {
        const char* name;
        double loHz;
        int clockMode;
    };
    const Row rows[] = {
        {"LO above", kCenterHz + 10.69e6, 0},
        {"LO below", kCenterHz - 10.69e6, 0},
        {"LO above, sampler mirrored", kCenterHz + 10.69e6, 1},
        {"LO below, sampler mirrored", kCenterHz - 10.69e6, 1},
    };
    std::string error;
    const auto recording = IqRecording::Load(WriteRecording(MakeTestDirectory("iq-play")), error);
    ASSERT_TRUE(recording) << error;
    Scene played;
    played.signals.resize(1);
    played.signals[0].freqHz = kCenterHz;
    played.signals[0].recording = recording;
    Scene carrier;
    carrier.signals = {{kCenterHz + kOffsetHz, kLevelDbm, std::nullopt, std::nullopt}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ReceiverState state;
        state.samplerReady = true;
        state.clockMode = row.clockMode;
        const SamplePlan expected =
            ReceiverModel(carrier, TrueResponse::Of(carrier)).Plan(state, row.loHz);
        const SamplePlan plan =
            ReceiverModel(played, TrueResponse::Of(played)).Plan(state, row.loHz);
        ASSERT_EQ(expected.tones.size(), 1u);
        ASSERT_EQ(plan.waveforms.size(), 1u);
        const double b = expected.tones[0].basebandHz;
        EXPECT_NEAR(20.0 * std::log10(AmplitudeAt(plan, b) / AmplitudeAt(expected, b)), 0.0, 0.05);
    }
}

}  // namespace
}  // namespace tavlin::test
