// The virtual unit's sample path against the textbook formulas of its tones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

#include "sim/sample_synthesizer.h"

namespace tavlin::test {
namespace {

using namespace ::tavlin::sim;

// A CW carrier, AM, a wide FM swing (75 rad at a low rate), and AM with FM
// from the mirrored mixing side, rendered in pieces that end inside blocks,
// from a start time far from zero. Without noise each pair must be the
// direct formula rounded to whole counts: a rotator that drifts, a block
// that starts from the wrong phase or a modulation with the wrong sign or
// scale is off by many counts.
TEST(SimSynthesizer, TonesFollowTheDirectFormulaToTheCount) {
    SamplePlan plan;
    plan.outputRateHz = 486111.1111111111 * (1.0 + 30e-6);
    plan.tones = {{-5555.6, 6000.0},
                  {23456.7, 7000.0, 0.8, 1234.5},
                  {-81234.5, 5000.0, 0.0, 0.0, 75000.0, 997.0},
                  {150321.0, 4000.0, 0.3, 333.0, -12500.0, 3100.0}};
    const double startSec = 2.75;
    constexpr std::size_t kPairs = 1 << 17;
    constexpr std::size_t kPiece = 1000;
    SampleSynthesizer synthesizer;
    synthesizer.Start(plan, startSec);
    std::vector<std::uint8_t> bytes(kPairs * SampleSynthesizer::kBytesPerPair);
    for (std::size_t done = 0; done < kPairs; done += kPiece) {
        synthesizer.Render(bytes.data() + done * SampleSynthesizer::kBytesPerPair,
                           std::min(kPiece, kPairs - done));
    }

    const auto angle = [&](double hz, std::size_t k) {
        const long double cycles = static_cast<long double>(hz) * startSec +
                                   static_cast<long double>(hz) * k / plan.outputRateHz;
        return 2.0 * std::numbers::pi * static_cast<double>(cycles - std::floor(cycles));
    };
    const auto word = [&](std::size_t at) {
        return static_cast<double>(static_cast<std::int16_t>(bytes[at] | (bytes[at + 1] << 8)));
    };
    double worst = 0.0;
    for (std::size_t k = 0; k < kPairs; ++k) {
        std::complex<double> expected;
        for (const ToneSpec& tone : plan.tones) {
            const double gain = 1.0 + tone.amDepth * std::cos(angle(tone.amRateHz, k));
            const double swing = tone.fmRateHz > 0.0 ? tone.fmDeviationHz / tone.fmRateHz *
                                                           std::sin(angle(tone.fmRateHz, k))
                                                     : 0.0;
            expected += tone.amplitude * gain * std::polar(1.0, angle(tone.basebandHz, k) + swing);
        }
        const std::size_t at = k * SampleSynthesizer::kBytesPerPair;
        worst = std::max({worst, std::abs(word(at) - expected.real()),
                          std::abs(word(at + 2) - expected.imag())});
    }
    EXPECT_LE(worst, 0.5 + 1e-3);
    EXPECT_NEAR(synthesizer.NextPairTimeSec(), startSec + kPairs / plan.outputRateHz, 1e-12);
}

}  // namespace
}  // namespace tavlin::test
