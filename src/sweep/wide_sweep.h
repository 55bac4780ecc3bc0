#pragma once

#include "sweep/sweep_context.h"

namespace tavlin {

// The sweep kind for spans above 200 MHz: step list below 150 MHz, the detector sweep above.
class WideSweep {
  public:
    WideSweep();
    ~WideSweep();
    void Run(SweepContext& context);
};

}  // namespace tavlin
