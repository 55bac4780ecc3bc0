#pragma once

#include "sweep/sweep_context.h"

namespace tavlin {

// The sweep kind for spans from 150 Hz to 200 kHz: captures with an image pass, FFT power spectrum.
class FftSweep {
  public:
    FftSweep();
    ~FftSweep();
    void Run(SweepContext& context);
};

}  // namespace tavlin
