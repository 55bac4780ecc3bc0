#pragma once

#include "sweep/sweep_context.h"

namespace tavlin {

// The sweep kind for spans from 1 Hz to 150 Hz: one streamed capture and one long FFT.
class NarrowFftSweep {
  public:
    NarrowFftSweep();
    ~NarrowFftSweep();
    void Run(SweepContext& context);
};

}  // namespace tavlin
