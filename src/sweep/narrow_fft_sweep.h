#pragma once

#include <cstddef>
#include <vector>

#include "sweep/sweep_context.h"

namespace tavlin {

// The sweep kind for spans from 1 Hz to 150 Hz: one streamed capture of up to
// 2^24 samples before decimation and one FFT of all of it (up to 2^23 points).
// Its arrays are allocated per sweep and freed at the end; the work is done in
// place: the capture lands as scaled doubles in the transform's own arrays,
// and the power spectrum overwrites the real part.
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

    // Shift by the LO error, window, one forward FFT of re.size() points; on
    // return re holds the power of every bin and im is released. increment
    // is the phase step of the shift per sample.
    static void PowerSpectrum(std::vector<double>& re, std::vector<double>& im, double increment,
                              int windowType);

    // The spectrum of a complete capture in re/im (N pairs scaled to full
    // scale 1, taken at the given decimation) drawn into the trace, with the
    // level correction of the centre; re and im are consumed.
    void ProcessCapture(SweepContext& context, std::vector<double>& re, std::vector<double>& im,
                        int decimation, double loErrorHz);

  private:
    // Streams N pairs into re/im, scaled to full scale 1, with the progress
    // window's bar. False when a block did not come: the capture is abandoned
    // after the first such block.
    bool StreamCapture(SweepContext& context, std::vector<double>& re, std::vector<double>& im);
};

}  // namespace tavlin
