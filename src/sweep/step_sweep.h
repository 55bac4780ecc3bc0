#pragma once

#include "sweep/sweep_context.h"

namespace tavlin {

// The sweep kind for spans from 200 kHz to 200 MHz: the instrument's 200 kHz LO step list.
class StepSweep {
  public:
    StepSweep();
    ~StepSweep();
    void Run(SweepContext& context);
};

}  // namespace tavlin
