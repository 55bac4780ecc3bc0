#pragma once

#include "sweep/sweep_context.h"

namespace tavlin {

// The sweep kind for spans below 1 Hz: AM or FM against time.
class ZeroSpanSweep {
  public:
    ZeroSpanSweep();
    ~ZeroSpanSweep();
    void Run(SweepContext& context);
};

}  // namespace tavlin
