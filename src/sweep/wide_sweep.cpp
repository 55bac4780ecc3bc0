#include "sweep/wide_sweep.h"

namespace tavlin {

WideSweep::WideSweep() = default;
WideSweep::~WideSweep() = default;

void WideSweep::Run(SweepContext&) {}

}  // namespace tavlin
