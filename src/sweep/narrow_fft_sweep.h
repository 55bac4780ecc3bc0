#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "sweep/sweep_context.h"

namespace tavlin {

class Fft;

// The sweep kind for spans from 1 Hz to 150 Hz: one streamed capture of up to
// 2^24 samples before decimation and one FFT of all of it (up to 2^23 points).
// Its arrays are allocated per sweep and freed at the end; the work is done in
// place: the capture lands as scaled doubles in the transform's own arrays,
// and the power spectrum overwrites the real part. The window and the
// transform's plan are kept for the next sweep of the same length (they cost
// a third of the work), and the capture is shifted and windowed piece by
// piece while the stream is still coming, so that after the last block only
// the transform and the trace remain.
class NarrowFftSweep {
  public:
    NarrowFftSweep();
    ~NarrowFftSweep();
    NarrowFftSweep(const NarrowFftSweep&) = delete;
    NarrowFftSweep& operator=(const NarrowFftSweep&) = delete;

    void Run(SweepContext& context);

    // Decimation from the residual LO error: the error must stay well inside
    // the decimated band.
    static int DecimationFor(double loErrorHz);
    // Samples before decimation by span: 2^24 below 20 Hz, halving at 20, 40
    // and 80 Hz.
    static std::size_t SamplesBeforeDecimation(double spanHz);

    // Samples shifted and windowed at a time while the stream comes.
    static constexpr std::size_t kPrepareChunk = 65536;

    // Shift by the LO error and window samples [first, first + count) of a
    // capture of re.size() pairs; increment is the phase step of the shift
    // per sample (ShiftIncrement).
    void PrepareChunk(std::span<double> re, std::span<double> im, std::size_t first,
                      std::size_t count, double increment, int windowType);
    // One forward FFT of the prepared capture, then the spectrum drawn into
    // the trace with the level correction of the centre; on return re holds
    // the power of every bin.
    void FinishCapture(SweepContext& context, std::span<double> re, std::span<double> im,
                       int decimation, double loErrorHz);
    static double ShiftIncrement(const SweepContext& context, double loErrorHz, int decimation);

  private:
    // Streams N pairs into re/im, scaled to full scale 1, preparing each
    // chunk as it is complete, with the progress window's bar. False when a
    // block did not come: the capture is abandoned after the first such
    // block.
    bool StreamCapture(SweepContext& context, std::span<double> re, std::span<double> im,
                       double increment);
    std::span<const double> WindowFor(int windowType, std::size_t n);
    const Fft& PlanFor(std::size_t n);

    std::vector<double> window_;
    int windowType_ = -1;
    std::unique_ptr<Fft> plan_;
};

}  // namespace tavlin
