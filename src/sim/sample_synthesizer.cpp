#include "sim/sample_synthesizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace tavlin::sim {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr std::size_t kGaussianEntries = 1u << 16;
constexpr double kClip = 32767.0;

double WrapCycles(double cycles) {
    return cycles - std::floor(cycles);
}

// Unit-variance normal values, made once with Box-Muller from a fixed seed
// and rescaled so that the table's own variance is exactly one.
const std::array<float, kGaussianEntries>& GaussianTable() {
    static const std::array<float, kGaussianEntries> table = [] {
        std::array<float, kGaussianEntries> values{};
        std::uint64_t state = 0x853C49E6748FEA9Bull;
        auto uniform = [&state] {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            return (static_cast<double>(state >> 11) + 0.5) * (1.0 / 9007199254740992.0);
        };
        double sum = 0.0;
        double squares = 0.0;
        std::vector<double> raw(kGaussianEntries);
        for (std::size_t i = 0; i < kGaussianEntries; i += 2) {
            const double radius = std::sqrt(-2.0 * std::log(uniform()));
            const double angle = kTwoPi * uniform();
            raw[i] = radius * std::cos(angle);
            raw[i + 1] = radius * std::sin(angle);
        }
        for (const double v : raw) {
            sum += v;
        }
        const double mean = sum / kGaussianEntries;
        for (const double v : raw) {
            squares += (v - mean) * (v - mean);
        }
        const double scale = 1.0 / std::sqrt(squares / kGaussianEntries);
        for (std::size_t i = 0; i < kGaussianEntries; ++i) {
            values[i] = static_cast<float>((raw[i] - mean) * scale);
        }
        return values;
    }();
    return table;
}

}  // namespace

SampleSynthesizer::SampleSynthesizer(std::uint64_t seed) : rng_(seed == 0 ? 1 : seed) {
    GaussianTable();
}

void SampleSynthesizer::Start(const SamplePlan& plan, double startTimeSec) {
    rateHz_ = plan.outputRateHz > 0.0 ? plan.outputRateHz : 1.0;
    noiseTaps_ = plan.noiseTaps.empty() ? std::vector<std::complex<double>>{0.0} : plan.noiseTaps;
    const std::size_t history = noiseTaps_.size() - 1;
    whiteFirst_.assign(history + kBlockPairs, 0.0);
    whiteSecond_.assign(history + kBlockPairs, 0.0);
    DrawWhite(0, history);  // the filter starts in its steady state
    silent_ = plan.silent;
    sideband_.Start(plan.sidebandDensity, rateHz_);
    startTimeSec_ = startTimeSec;
    pairsRendered_ = 0;
    tones_.clear();
    for (const ToneSpec& planned : plan.tones) {
        ToneState tone{};
        tone.amplitude = planned.amplitude;
        tone.cycles = WrapCycles(planned.basebandHz * startTimeSec);
        tone.cyclesPerPair = planned.basebandHz / rateHz_;
        tone.amDepth = planned.amDepth;
        tone.amCycles = WrapCycles(planned.amRateHz * startTimeSec);
        tone.amCyclesPerPair = planned.amRateHz / rateHz_;
        // Peak frequency deviation dev at rate fm is a phase swing of dev / fm.
        tone.fmIndex = planned.fmRateHz > 0.0 ? planned.fmDeviationHz / planned.fmRateHz : 0.0;
        tone.fmCycles = WrapCycles(planned.fmRateHz * startTimeSec);
        tone.fmCyclesPerPair = planned.fmRateHz / rateHz_;
        tones_.push_back(tone);
    }
}

double SampleSynthesizer::NextPairTimeSec() const {
    return startTimeSec_ + static_cast<double>(pairsRendered_) / rateHz_;
}

void SampleSynthesizer::Render(std::uint8_t* out, std::size_t pairs) {
    while (pairs > 0) {
        const std::size_t block = std::min(pairs, kBlockPairs);
        RenderBlock(out, block);
        out += block * kBytesPerPair;
        pairs -= block;
        pairsRendered_ += block;
    }
}

void SampleSynthesizer::RenderBlock(std::uint8_t* out, std::size_t pairs) {
    if (silent_) {
        std::memset(out, 0, pairs * kBytesPerPair);
        return;
    }
    FillNoise(pairs);
    sideband_.Add(first_.data(), second_.data(), pairs);
    for (ToneState& tone : tones_) {
        if (tone.amDepth > 0.0 || tone.fmIndex != 0.0) {
            AddModulated(tone, pairs);
        } else {
            AddCarrier(tone, pairs);
        }
    }
    StoreClipped(out, pairs);
}

void SampleSynthesizer::DrawWhite(std::size_t from, std::size_t pairs) {
    const auto& table = GaussianTable();
    std::uint64_t state = rng_;
    for (std::size_t k = from; k < from + pairs; ++k) {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        const std::uint64_t bits = state * 0x2545F4914F6CDD1Dull;
        whiteFirst_[k] = table[(bits >> 32) & 0xFFFF];
        whiteSecond_[k] = table[bits >> 48];
    }
    rng_ = state;
}

// Each noise pair is the filter over the newest white pair and the ones
// before it; the last ones are kept for the next block.
void SampleSynthesizer::FillNoise(std::size_t pairs) {
    const std::size_t taps = noiseTaps_.size();
    const std::size_t history = taps - 1;
    DrawWhite(history, pairs);
    for (std::size_t k = 0; k < pairs; ++k) {
        double re = 0.0;
        double im = 0.0;
        const std::size_t newest = history + k;
        for (std::size_t j = 0; j < taps; ++j) {
            const double wRe = whiteFirst_[newest - j];
            const double wIm = whiteSecond_[newest - j];
            re += noiseTaps_[j].real() * wRe - noiseTaps_[j].imag() * wIm;
            im += noiseTaps_[j].real() * wIm + noiseTaps_[j].imag() * wRe;
        }
        first_[k] = re;
        second_[k] = im;
    }
    std::copy_n(whiteFirst_.begin() + static_cast<std::ptrdiff_t>(pairs), history,
                whiteFirst_.begin());
    std::copy_n(whiteSecond_.begin() + static_cast<std::ptrdiff_t>(pairs), history,
                whiteSecond_.begin());
}

void SampleSynthesizer::AddCarrier(ToneState& tone, std::size_t pairs) {
    const double start = kTwoPi * tone.cycles;
    const double step = kTwoPi * tone.cyclesPerPair;
    double re = tone.amplitude * std::cos(start);
    double im = tone.amplitude * std::sin(start);
    const double rotRe = std::cos(step);
    const double rotIm = std::sin(step);
    for (std::size_t k = 0; k < pairs; ++k) {
        first_[k] += re;
        second_[k] += im;
        const double nextRe = re * rotRe - im * rotIm;
        im = re * rotIm + im * rotRe;
        re = nextRe;
    }
    tone.cycles = WrapCycles(tone.cycles + tone.cyclesPerPair * static_cast<double>(pairs));
}

// AM scales the carrier by 1 + depth cos(theta_am); FM adds
// index x sin(theta_fm) to its phase. Both modulation phasors turn
// incrementally like the carrier.
void SampleSynthesizer::AddModulated(ToneState& tone, std::size_t pairs) {
    const double start = kTwoPi * tone.cycles;
    const double carrierStep = kTwoPi * tone.cyclesPerPair;
    double amRe = std::cos(kTwoPi * tone.amCycles);
    double amIm = std::sin(kTwoPi * tone.amCycles);
    const double amRotRe = std::cos(kTwoPi * tone.amCyclesPerPair);
    const double amRotIm = std::sin(kTwoPi * tone.amCyclesPerPair);
    double fmRe = std::cos(kTwoPi * tone.fmCycles);
    double fmIm = std::sin(kTwoPi * tone.fmCycles);
    const double fmRotRe = std::cos(kTwoPi * tone.fmCyclesPerPair);
    const double fmRotIm = std::sin(kTwoPi * tone.fmCyclesPerPair);
    for (std::size_t k = 0; k < pairs; ++k) {
        const double amplitude = tone.amplitude * (1.0 + tone.amDepth * amRe);
        const double phase = start + carrierStep * static_cast<double>(k) + tone.fmIndex * fmIm;
        first_[k] += amplitude * std::cos(phase);
        second_[k] += amplitude * std::sin(phase);
        const double nextAm = amRe * amRotRe - amIm * amRotIm;
        amIm = amRe * amRotIm + amIm * amRotRe;
        amRe = nextAm;
        const double nextFm = fmRe * fmRotRe - fmIm * fmRotIm;
        fmIm = fmRe * fmRotIm + fmIm * fmRotRe;
        fmRe = nextFm;
    }
    const double count = static_cast<double>(pairs);
    tone.cycles = WrapCycles(tone.cycles + tone.cyclesPerPair * count);
    tone.amCycles = WrapCycles(tone.amCycles + tone.amCyclesPerPair * count);
    tone.fmCycles = WrapCycles(tone.fmCycles + tone.fmCyclesPerPair * count);
}

void SampleSynthesizer::StoreClipped(std::uint8_t* out, std::size_t pairs) const {
    auto store = [](double value, std::uint8_t* at) {
        const double clipped = std::clamp(value, -kClip, kClip);
        const int word = static_cast<int>(clipped + (clipped >= 0.0 ? 0.5 : -0.5));
        const auto bits = static_cast<std::uint16_t>(static_cast<std::int16_t>(word));
        at[0] = static_cast<std::uint8_t>(bits & 0xFF);
        at[1] = static_cast<std::uint8_t>(bits >> 8);
    };
    for (std::size_t k = 0; k < pairs; ++k) {
        store(first_[k], out + k * kBytesPerPair);
        store(second_[k], out + k * kBytesPerPair + 2);
    }
}

}  // namespace tavlin::sim
