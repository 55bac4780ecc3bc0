#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/sample_plan.h"
#include "sim/sideband_noise.h"

namespace tavlin::sim {

// Turns a sample plan into sample pairs as the unit sends them: first word
// then second word, each 16-bit two's complement little-endian, clipped at
// +-32767 like the ADC. Fast enough to run many times the real sample rate
// on one core: Gaussian noise comes from a precomputed table indexed by a
// xorshift generator and is given its spectrum by the plan's short filter,
// and each tone and its modulation are incrementally rotated phasors,
// re-anchored to their exact phases at the start of every block so they
// never drift.
class SampleSynthesizer {
  public:
    static constexpr std::size_t kBlockPairs = 256;
    static constexpr std::size_t kBytesPerPair = 4;

    explicit SampleSynthesizer(std::uint64_t seed = 0x2545F4914F6CDD1Dull);

    // Starts rendering `plan` with its first pair at `startTimeSec`; tone and
    // modulation phases follow from the absolute time, so successive captures
    // of the same tuning stay coherent.
    void Start(const SamplePlan& plan, double startTimeSec);

    // Writes `pairs` pairs (4 bytes each) to `out` and moves time on.
    void Render(std::uint8_t* out, std::size_t pairs);

    double NextPairTimeSec() const;
    double OutputRateHz() const { return rateHz_; }

  private:
    struct ToneState {
        double amplitude;
        double cycles;  // carrier phase at the next pair, in cycles (0 .. 1)
        double cyclesPerPair;
        double amDepth;
        double amCycles;  // AM phase, in cycles
        double amCyclesPerPair;
        double fmIndex;   // peak phase deviation, radians
        double fmCycles;  // FM phase, in cycles
        double fmCyclesPerPair;
    };

    // A recording being played: one of its segments from the start, looped,
    // read at the output rate between its samples, after the unit's response
    // across its band (in counts).
    struct WaveformState {
        std::vector<std::complex<float>> samples;
        double position;  // in the segment's samples
        double samplesPerPair;
        double cycles;
        double cyclesPerPair;
        bool conjugate;
    };

    void StartWaveform(const PlannedRecording& planned, double startTimeSec);
    void AddWaveform(WaveformState& waveform, std::size_t pairs);
    void RenderBlock(std::uint8_t* out, std::size_t pairs);
    void DrawWhite(std::size_t from, std::size_t pairs);
    void FillNoise(std::size_t pairs);
    void AddCarrier(ToneState& tone, std::size_t pairs);
    void AddModulated(ToneState& tone, std::size_t pairs);
    void StoreClipped(std::uint8_t* out, std::size_t pairs) const;

    std::vector<ToneState> tones_;
    std::vector<WaveformState> waveforms_;
    // Each start plays the next segment of a recording: a capture of the
    // virtual unit sees one capture of the real one, whole.
    std::uint64_t starts_ = 0;
    SidebandNoise sideband_;
    std::vector<std::complex<double>> noiseTaps_;
    // White pairs: the filter's history (taps - 1 pairs) followed by a block.
    std::vector<double> whiteFirst_;
    std::vector<double> whiteSecond_;
    bool silent_ = false;
    double rateHz_ = 486111.1111111111;
    double startTimeSec_ = 0.0;
    std::uint64_t pairsRendered_ = 0;
    std::uint64_t rng_;
    std::array<double, kBlockPairs> first_{};
    std::array<double, kBlockPairs> second_{};
    // One tone's carrier and modulation phasors over a block.
    std::array<double, kBlockPairs> carrierRe_{};
    std::array<double, kBlockPairs> carrierIm_{};
    std::array<double, kBlockPairs> modRe_{};
    std::array<double, kBlockPairs> modIm_{};
};

}  // namespace tavlin::sim
