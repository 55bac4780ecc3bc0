#include "sweep/zero_span_sweep.h"

namespace tavlin {

ZeroSpanSweep::ZeroSpanSweep() = default;
ZeroSpanSweep::~ZeroSpanSweep() = default;

void ZeroSpanSweep::Run(SweepContext&) {}

}  // namespace tavlin
