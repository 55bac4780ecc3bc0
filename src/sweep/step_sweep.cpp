#include "sweep/step_sweep.h"

namespace tavlin {

StepSweep::StepSweep() = default;
StepSweep::~StepSweep() = default;

void StepSweep::Run(SweepContext&) {}

}  // namespace tavlin
