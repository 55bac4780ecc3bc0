#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "device/cal_table.h"

namespace tavlin {

class Clock;
class DeviceLink;
class Fft;
class Prompter;
struct SweepContext;

// What a step-list read talks to. The missing-data count lives as long as the
// program.
struct StepReadPorts {
    DeviceLink& link;
    Prompter& prompter;
    Clock& clock;
    long& missingDataCount;

    static StepReadPorts Of(SweepContext& context);
};

// Reads the instrument's list of 200 kHz LO steps, one block of 512 sample
// pairs per step, and turns each block into powers relative to full scale.
// Only the second half of a block is used: the first covers the LO's settling.
//
// The blocks pass the same 10.7 MHz IF filter and sampler as the FFT
// captures, so powers are corrected by the IF path's response at their
// baseband frequency (IfPathPowerFactor), as the FFT sweeps correct their
// bins; with a flat IF and no droop the values are the plain mean powers.
// The spectra of ReadStepList are the exception: their bins are a fifth of a
// step or less, so a tone on the filter's skirt fills bins whose centres lie
// up to a bin from it, where the response differs by a dB. They come
// uncorrected, and the caller corrects a bin at the frequency it reads it
// for (PowerFactorAt). Buffers and FFT plans are kept between reads and
// sweeps.
class StepListReader {
  public:
    static constexpr int kComplete = 0;
    static constexpr int kCompressed = 1;  // complete, IF compression seen
    static constexpr int kAborted = 2;     // a block did not arrive
    static constexpr int kBlockPairs = 512;
    static constexpr int kFirstUsed = 256;
    static constexpr int kUsedPairs = 256;
    // The step's power sums every bin within 110 kHz of the IF centre through
    // a window scaled to unit mean square: noise then reads its density in
    // each bin's width and a tone its whole power over the bins its main lobe
    // spans, so whatever the window, the filter's noise bandwidth is the band.
    static constexpr double kStepBandHalfWidthHz = 110e3;
    static constexpr double kStepBandNoiseBandwidthHz = 2.0 * kStepBandHalfWidthHz;
    static constexpr int kMaxPointsPerStep = 128;
    static constexpr std::int32_t kCompressionLevel = 30000;

    StepListReader();
    ~StepListReader();
    StepListReader(const StepListReader&) = delete;
    StepListReader& operator=(const StepListReader&) = delete;

    // The receiver of the coming reads: complex sample rate, the IF the
    // sampler is tuned to, and the calibration table whose 10.7 MHz IF
    // response corrects the powers; it must outlive the reads. Corrections
    // are rebuilt only when these change. Reading before this is set is a
    // programming error.
    void SetReceiver(double sampleRateHz, double ifInUseHz, const CalTable& cal);

    // A sweep shows the compression warning and the "Missing data" box once
    // each, however many reads see them.
    void BeginSweep() {
        compressionWarned_ = false;
        missingWarned_ = false;
    }
    // Mean spectra: StepSpectrum averages the powers of every 2P pairs of
    // 256 .. 511 instead of reading the first 2P alone, for rows that are
    // integrated over a band (the resolution stays that of 2P points).
    void SetMeanSpectra(bool on) { meanSpectra_ = on; }

    // Steps first .. last in ascending order; P powers per step in FFT order
    // (StepSpectrum, uncorrected), or one (StepPower) when P is 1. out holds
    // (last - first + 1) x P values. A missing block zeroes all of out.
    int ReadStepList(const StepReadPorts& ports, int first, int last, int pointsPerStep,
                     std::span<double> out);

    // Steps high down to low; block t (the t-th received, step high - t)
    // holds all 2P bins of its FFT (StepFullSpectrum), so out holds
    // (high - low + 1) x 2P values. Never checks compression. A missing block
    // leaves its entries zero and the read goes on with the next (result
    // kAborted); two missing in a row end it.
    int ReadStepListDescending(const StepReadPorts& ports, int high, int low, int pointsPerStep,
                               std::span<double> out);

    // Power of pairs 256 .. 511 of a block within the step's own slot: the
    // 200 kHz about the IF centre, widened by a tenth so a signal between two
    // steps reads in full in both. The sampler passes more than twice that,
    // and a power over all of it would show a signal at full level up to
    // 340 kHz away from its frequency. A power-normalised window keeps noise
    // and tones at their true power and a strong neighbour out of the slot.
    double StepPower(const std::int32_t* i, const std::int32_t* q);
    // P powers from a flat-top 2P-point FFT of pairs 256 .. 256 + 2P - 1: the
    // P central bins, bins 0 .. P/2 - 1 then 3P/2 .. 2P - 1 (bin spacing
    // sampleRate / 2P), not corrected for the IF path.
    void StepSpectrum(const std::int32_t* i, const std::int32_t* q, int pointsPerStep, double* out);
    // The same FFT with all 2P bins, in FFT order.
    void StepFullSpectrum(const std::int32_t* i, const std::int32_t* q, int pointsPerStep,
                          double* out);

    // The factor that undoes the IF path for a signal at basebandHz in a
    // step block (IF centre minus the signal's IF).
    double PowerFactorAt(double basebandHz) const;

    // True when any of the first n pairs has |I| or |Q| above 30000.
    static bool CompressionSeen(const std::int32_t* i, const std::int32_t* q, int n);

  private:
    struct Transform {
        std::unique_ptr<Fft> fft;
        std::vector<double> window;
        std::vector<double> correction;  // per FFT bin: IF response x droop, 0 outside the band
        unsigned builtFor = 0;           // the receiver version the correction is for
    };

    static bool ValidPoints(int pointsPerStep);
    Transform& SpectrumTransform(std::size_t n);
    Transform& StepBandTransform();
    void Refresh(Transform& transform, std::size_t n, double bandHz) const;
    void BuildCorrection(Transform& transform, std::size_t n, double bandHz) const;
    void TransformBlock(const std::int32_t* i, const std::int32_t* q, Transform& transform,
                        std::size_t n, std::size_t first = kFirstUsed);
    void ProcessBlock(int pointsPerStep, double* out);
    bool AwaitBlock(const StepReadPorts& ports, int index, int count);

    std::array<Transform, 9> spectra_;  // flat-top, by log2 of the length
    Transform stepBand_;
    std::vector<std::int32_t> blockI_;
    std::vector<std::int32_t> blockQ_;
    std::vector<double> re_;
    std::vector<double> im_;
    double sampleRateHz_ = 0.0;
    double ifInUseHz_ = 0.0;
    const CalTable* cal_ = nullptr;
    std::array<double, CalTable::kIfResponsePoints> ifResponse_{};  // what they were built for
    unsigned receiverVersion_ = 1;
    bool compressionWarned_ = false;
    bool missingWarned_ = false;
    bool meanSpectra_ = false;
};

}  // namespace tavlin
