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

// The phasor magnitude x e^{j 2 pi (cycles + k cyclesPerPair)} for k = 0 ..
// pairs - 1 into re and im (room for an even count). Even and odd pairs turn
// in two chains of their own, each anchored to its exact phase and turned
// by twice the step, so that neither waits for the other; over a block the
// rounding stays far below a count.
void FillPhasors(double cycles, double cyclesPerPair, double magnitude, std::size_t pairs,
                 double* re, double* im) {
    double evenRe = magnitude * std::cos(kTwoPi * cycles);
    double evenIm = magnitude * std::sin(kTwoPi * cycles);
    double oddRe = magnitude * std::cos(kTwoPi * (cycles + cyclesPerPair));
    double oddIm = magnitude * std::sin(kTwoPi * (cycles + cyclesPerPair));
    const double stepRe = std::cos(2.0 * kTwoPi * cyclesPerPair);
    const double stepIm = std::sin(2.0 * kTwoPi * cyclesPerPair);
    for (std::size_t k = 0; k < pairs; k += 2) {
        re[k] = evenRe;
        im[k] = evenIm;
        re[k + 1] = oddRe;
        im[k + 1] = oddIm;
        const double nextEven = evenRe * stepRe - evenIm * stepIm;
        evenIm = evenRe * stepIm + evenIm * stepRe;
        evenRe = nextEven;
        const double nextOdd = oddRe * stepRe - oddIm * stepIm;
        oddIm = oddRe * stepIm + oddIm * stepRe;
        oddRe = nextOdd;
    }
}

constexpr std::size_t kPhasorEntries = 1024;
constexpr double kPhasorStep = kTwoPi / kPhasorEntries;

// e^{j 2 pi n / 1024} for n = 0 .. 1023, re then im.
const std::array<double, 2 * kPhasorEntries>& PhasorTable() {
    static const std::array<double, 2 * kPhasorEntries> table = [] {
        std::array<double, 2 * kPhasorEntries> values{};
        for (std::size_t n = 0; n < kPhasorEntries; ++n) {
            values[2 * n] = std::cos(kPhasorStep * static_cast<double>(n));
            values[2 * n + 1] = std::sin(kPhasorStep * static_cast<double>(n));
        }
        return values;
    }();
    return table;
}

// e^{j x}: the nearest of the table's 1024 angles times the series of the
// rest, which is at most pi / 1024; the terms left out are below 1e-18. The
// angle may be thousands of radians (a wide FM swing at a low rate); the
// reduction then loses about 1e-16 of it per radian, still far below a count.
inline void UnitPhasor(double x, double& re, double& im) {
    // Adding 1.5 x 2^52 rounds to a whole number of table steps in the low
    // bits of the sum, without a branch.
    constexpr double kRounder = 6755399441055744.0;
    const double shifted = x * (1.0 / kPhasorStep) + kRounder;
    const double nearest = shifted - kRounder;
    const double r = x - nearest * kPhasorStep;
    const double r2 = r * r;
    const double cosR = 1.0 - r2 * (0.5 - r2 * (1.0 / 24.0));
    const double sinR = r * (1.0 - r2 * ((1.0 / 6.0) - r2 * (1.0 / 120.0)));
    std::uint64_t bits = 0;
    std::memcpy(&bits, &shifted, sizeof bits);
    const double* table = PhasorTable().data() + 2 * (bits & (kPhasorEntries - 1));
    re = table[0] * cosR - table[1] * sinR;
    im = table[0] * sinR + table[1] * cosR;
}

// The noise filter over a block: out[k] = sum over j of taps[j] x
// white[k - j], white given from its newest pair of the block's first
// output on. Eight neighbouring pairs are summed side by side, four to a
// vector (the same operations in the same order as one at a time, so the
// same values on every processor); a block whose length is not a multiple
// of eight makes a few pairs more from old white values, which are never
// used (the arrays hold a whole block). On x86-64 a second version for AVX2
// runs the vectors in one register each where the processor has it.
[[gnu::always_inline]] inline void FilterNoiseBlock(const std::complex<double>* taps,
                                                    std::size_t tapCount, const double* whiteRe,
                                                    const double* whiteIm, std::size_t pairs,
                                                    double* outRe, double* outIm) {
    using Lanes = double __attribute__((vector_size(4 * sizeof(double))));
    // Vectors go through memory by reference only: by value their passing
    // would differ between the two versions.
    const auto load = [](const double* from, Lanes& lanes) {
        std::memcpy(&lanes, from, sizeof lanes);
    };
    const auto store = [](const Lanes& lanes, double* to) {
        std::memcpy(to, &lanes, sizeof lanes);
    };
    for (std::size_t k = 0; k < pairs; k += 8) {
        Lanes re0{};
        Lanes re1{};
        Lanes im0{};
        Lanes im1{};
        for (std::size_t j = 0; j < tapCount; ++j) {
            const Lanes tapRe = Lanes{} + taps[j].real();
            const Lanes tapIm = Lanes{} + taps[j].imag();
            Lanes re0In;
            Lanes im0In;
            Lanes re1In;
            Lanes im1In;
            load(whiteRe + k - j, re0In);
            load(whiteIm + k - j, im0In);
            load(whiteRe + k - j + 4, re1In);
            load(whiteIm + k - j + 4, im1In);
            re0 += tapRe * re0In - tapIm * im0In;
            im0 += tapRe * im0In + tapIm * re0In;
            re1 += tapRe * re1In - tapIm * im1In;
            im1 += tapRe * im1In + tapIm * re1In;
        }
        store(re0, outRe + k);
        store(re1, outRe + k + 4);
        store(im0, outIm + k);
        store(im1, outIm + k + 4);
    }
}

void FilterNoisePlain(const std::complex<double>* taps, std::size_t tapCount, const double* whiteRe,
                      const double* whiteIm, std::size_t pairs, double* outRe, double* outIm) {
    FilterNoiseBlock(taps, tapCount, whiteRe, whiteIm, pairs, outRe, outIm);
}

using NoiseFilter = void (*)(const std::complex<double>*, std::size_t, const double*, const double*,
                             std::size_t, double*, double*);

#if defined(__x86_64__)
[[gnu::target("avx2")]] void FilterNoiseAvx2(const std::complex<double>* taps, std::size_t tapCount,
                                             const double* whiteRe, const double* whiteIm,
                                             std::size_t pairs, double* outRe, double* outIm) {
    FilterNoiseBlock(taps, tapCount, whiteRe, whiteIm, pairs, outRe, outIm);
}

// Chosen at the first use, not by the loader: a sanitizer's runtime must be
// up before code of ours runs.
NoiseFilter ChosenNoiseFilter() {
    static const NoiseFilter chosen =
        __builtin_cpu_supports("avx2") ? FilterNoiseAvx2 : FilterNoisePlain;
    return chosen;
}
#else
NoiseFilter ChosenNoiseFilter() {
    return FilterNoisePlain;
}
#endif

}  // namespace

SampleSynthesizer::SampleSynthesizer(std::uint64_t seed) : rng_(seed == 0 ? 1 : seed) {
    GaussianTable();
    PhasorTable();
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
    waveforms_.clear();
    for (const PlannedRecording& planned : plan.waveforms) {
        StartWaveform(planned, startTimeSec);
    }
    ++starts_;
}

// The segment is weighed by the response bin by bin through a transform of
// its own (zero-padded to a power of two), so that every frequency of the
// recording is weighed where it falls, as an emitter there would be.
void SampleSynthesizer::StartWaveform(const PlannedRecording& planned, double startTimeSec) {
    const auto& segments = planned.recording->Segments();
    const auto& segment = segments[starts_ % segments.size()];
    if (segment.empty()) {
        return;
    }
    const auto points = static_cast<double>(PlannedRecording::kPoints);
    WaveformState waveform{};
    waveform.samples = ShapedBySpectrum(segment, [&planned, points](double share) {
        const double position = (share + 0.5) * points;
        const int i = std::clamp(static_cast<int>(position), 0, PlannedRecording::kPoints - 1);
        const double t = position - i;
        return (1.0 - t) * planned.countsPerRootMw[i] + t * planned.countsPerRootMw[i + 1];
    });
    waveform.samplesPerPair = planned.recording->SampleRateHz() / rateHz_;
    waveform.cycles = WrapCycles(planned.basebandHz * startTimeSec);
    waveform.cyclesPerPair = planned.basebandHz / rateHz_;
    waveform.conjugate = planned.conjugate;
    waveforms_.push_back(std::move(waveform));
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
    for (WaveformState& waveform : waveforms_) {
        AddWaveform(waveform, pairs);
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
    ChosenNoiseFilter()(noiseTaps_.data(), taps, whiteFirst_.data() + history,
                        whiteSecond_.data() + history, pairs, first_.data(), second_.data());
    std::copy_n(whiteFirst_.begin() + static_cast<std::ptrdiff_t>(pairs), history,
                whiteFirst_.begin());
    std::copy_n(whiteSecond_.begin() + static_cast<std::ptrdiff_t>(pairs), history,
                whiteSecond_.begin());
}

void SampleSynthesizer::AddCarrier(ToneState& tone, std::size_t pairs) {
    FillPhasors(tone.cycles, tone.cyclesPerPair, tone.amplitude, pairs, carrierRe_.data(),
                carrierIm_.data());
    for (std::size_t k = 0; k < pairs; ++k) {
        first_[k] += carrierRe_[k];
        second_[k] += carrierIm_[k];
    }
    tone.cycles = WrapCycles(tone.cycles + tone.cyclesPerPair * static_cast<double>(pairs));
}

// AM scales the carrier by 1 + depth cos(theta_am); FM adds
// index x sin(theta_fm) to its phase. The carrier and both modulation
// phasors are turned like the CW carrier; the FM phase term becomes a phasor
// through the table and short series of UnitPhasor.
void SampleSynthesizer::AddModulated(ToneState& tone, std::size_t pairs) {
    FillPhasors(tone.cycles, tone.cyclesPerPair, tone.amplitude, pairs, carrierRe_.data(),
                carrierIm_.data());
    if (tone.amDepth > 0.0) {
        FillPhasors(tone.amCycles, tone.amCyclesPerPair, tone.amDepth, pairs, modRe_.data(),
                    modIm_.data());
        for (std::size_t k = 0; k < pairs; ++k) {
            const double gain = 1.0 + modRe_[k];
            carrierRe_[k] *= gain;
            carrierIm_[k] *= gain;
        }
    }
    if (tone.fmIndex == 0.0) {
        for (std::size_t k = 0; k < pairs; ++k) {
            first_[k] += carrierRe_[k];
            second_[k] += carrierIm_[k];
        }
    } else {
        FillPhasors(tone.fmCycles, tone.fmCyclesPerPair, tone.fmIndex, pairs, modRe_.data(),
                    modIm_.data());
        for (std::size_t k = 0; k < pairs; ++k) {
            double swingRe = 0.0;
            double swingIm = 0.0;
            UnitPhasor(modIm_[k], swingRe, swingIm);
            first_[k] += carrierRe_[k] * swingRe - carrierIm_[k] * swingIm;
            second_[k] += carrierRe_[k] * swingIm + carrierIm_[k] * swingRe;
        }
    }
    const double count = static_cast<double>(pairs);
    tone.cycles = WrapCycles(tone.cycles + tone.cyclesPerPair * count);
    tone.amCycles = WrapCycles(tone.amCycles + tone.amCyclesPerPair * count);
    tone.fmCycles = WrapCycles(tone.fmCycles + tone.fmCyclesPerPair * count);
}

// Between two recorded samples the value is taken on the straight line
// joining them: exact when the recording was made at the output rate, and
// a gentle low pass near its band edges otherwise.
void SampleSynthesizer::AddWaveform(WaveformState& waveform, std::size_t pairs) {
    FillPhasors(waveform.cycles, waveform.cyclesPerPair, 1.0, pairs, carrierRe_.data(),
                carrierIm_.data());
    const std::vector<std::complex<float>>& samples = waveform.samples;
    const auto length = static_cast<double>(samples.size());
    const float sign = waveform.conjugate ? -1.0f : 1.0f;
    for (std::size_t k = 0; k < pairs; ++k) {
        const double at = waveform.position + static_cast<double>(k) * waveform.samplesPerPair;
        const double wrapped = at - length * std::floor(at / length);
        const auto first = std::min(static_cast<std::size_t>(wrapped), samples.size() - 1);
        const std::size_t second = first + 1 < samples.size() ? first + 1 : 0;
        const auto t = static_cast<float>(wrapped - static_cast<double>(first));
        const std::complex<float> x = samples[first] + t * (samples[second] - samples[first]);
        const double re = x.real();
        const double im = sign * x.imag();
        first_[k] += re * carrierRe_[k] - im * carrierIm_[k];
        second_[k] += re * carrierIm_[k] + im * carrierRe_[k];
    }
    const double advanced =
        waveform.position + static_cast<double>(pairs) * waveform.samplesPerPair;
    waveform.position = advanced - length * std::floor(advanced / length);
    waveform.cycles =
        WrapCycles(waveform.cycles + waveform.cyclesPerPair * static_cast<double>(pairs));
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
