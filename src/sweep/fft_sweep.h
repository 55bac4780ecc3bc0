#pragma once

#include <array>
#include <memory>
#include <span>
#include <vector>

#include "dsp/split_complex_buffer.h"
#include "sweep/sweep_context.h"

namespace tavlin {

class Fft;

// The sweep kind for spans from 150 Hz to 200 kHz: a capture through LO1
// turned into a block-averaged FFT power spectrum, and with image rejection
// on a second capture through LO2 (on the other side of the signal, or
// through the 2.9 MHz IF) whose spectrum replaces the first wherever the first
// is clearly stronger, which is where only an image reached it. Its buffers
// are sized once; a sweep allocates nothing except the transform plan of an
// FFT length it has not used before.
class FftSweep {
  public:
    static constexpr int kShortCapture = 16384;  // spans from 1 kHz
    static constexpr int kLongCapture = 65536;   // narrower spans
    static constexpr int kCaptureBlock = 512;    // captures come in whole blocks

    FftSweep();
    ~FftSweep();
    FftSweep(const FftSweep&) = delete;
    FftSweep& operator=(const FftSweep&) = delete;

    void Run(SweepContext& context);

    // Samples captured per pass: 16384 from a 1 kHz span up, else 65536; in
    // realtime mode one transform's worth, at least one whole block; never
    // fewer than fftSize.
    static int CaptureLength(double spanHz, int fftSize, bool realtime);

    // --- The processing of the captures, on samples already in the engine's
    // capture buffers (the benchmark and tests drive these directly) ---------
    // How the samples of a pass are oriented and what is done to them.
    struct PassGeometry {
        int length = 0;      // L samples captured
        int fftSize = 0;     // N
        int decimation = 1;  // D
        double sampleRateHz = 0.0;
        double ifHz = 0.0;      // the IF centre of the path the pass used
        bool secondIf = false;  // the pass ran through the 2.9 MHz IF
        double loErrorHz = 0.0;
        double shiftSign = 1.0;        // +1 moves the spectrum down by the LO error
        bool samplerMirrored = false;  // the sampler itself reverses the IF spectrum
        bool mirrorAfter = false;      // the pass's spectrum is reversed to read upward
    };
    // The main pass as the engine's plan and the clock mode lay it out.
    static PassGeometry MainPassGeometry(const SweepContext& context);
    // The image pass through LO2, from the main pass.
    static PassGeometry ImagePassGeometry(const SweepContext& context, const PassGeometry& main);
    // Main pass: shift, block-averaged windowed FFT power, IF response and
    // droop, mirrored when the clock mode mirrors. Returns the number of blocks.
    int ProcessMainPass(SweepContext& context, const PassGeometry& pass);
    // Image pass likewise (times gain, the 2.9 MHz path's level step), then
    // merged into the main pass.
    void ProcessImagePass(const SweepContext& context, const PassGeometry& pass, double gain);
    // The mean power of the blocks, corrected and drawn into the trace.
    void MapToTrace(SweepContext& context, const PassGeometry& pass, int blocks);

    // Scales and shifts the capture into the work arrays and sums the
    // windowed block spectra into `power` (N bins). Returns the number of blocks.
    int Accumulate(const SweepContext& context, const PassGeometry& pass, std::span<double> power);
    // The mean frequency of the shifted capture about centreHz (the counter).
    double CountFrequency(const PassGeometry& pass, bool inverted, double centreHz) const;
    // Undoes the IF filter's response (of the path the pass used) and the
    // decimation droop, per bin.
    static void CorrectIfResponse(const SweepContext& context, const PassGeometry& pass,
                                  std::span<double> power);
    // Swaps bins k and N - k, so the spectrum reads in the other direction.
    static void Mirror(std::span<double> power);
    // Where the main spectrum exceeds 1.4 times the image pass's, only an
    // image reached it: the image pass's value replaces it.
    static void MergeImagePass(std::span<double> main, std::span<const double> image, double ratio);

    std::span<double> MainPower() { return {main_.data(), main_.size()}; }
    std::span<double> ImagePower() { return {image_.data(), image_.size()}; }

  private:
    bool Capture(SweepContext& context, int length);
    void WarnIfCompressed(SweepContext& context, int length);
    // Sets the device for the 2.9 MHz image pass and returns the power ratio
    // by which its spectrum is brought back to the main pass's scale.
    double SecondIfGainStep(SweepContext& context);
    // Back to the 10.7 MHz path with the level plan's gain state and attenuator.
    void RestoreFirstIf(SweepContext& context);
    const Fft& PlanFor(int fftSize);
    void PrepareWindow(int type, int fftSize);

    std::vector<double> workRe_;
    std::vector<double> workIm_;
    SplitComplexBuffer fft_;  // the block being transformed
    std::vector<double> window_;
    std::vector<double> main_;
    std::vector<double> image_;
    int windowPoints_ = 0;
    int windowType_ = -1;
    std::array<std::unique_ptr<Fft>, 17> plans_;
};

}  // namespace tavlin
