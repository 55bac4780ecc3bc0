#include "sweep/fft_sweep.h"

namespace tavlin {

FftSweep::FftSweep() = default;
FftSweep::~FftSweep() = default;

void FftSweep::Run(SweepContext&) {}

}  // namespace tavlin
