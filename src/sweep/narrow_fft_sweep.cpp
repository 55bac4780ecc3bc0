#include "sweep/narrow_fft_sweep.h"

namespace tavlin {

NarrowFftSweep::NarrowFftSweep() = default;
NarrowFftSweep::~NarrowFftSweep() = default;

void NarrowFftSweep::Run(SweepContext&) {}

}  // namespace tavlin
