#include "sweep/sweep_engine.h"

namespace tavlin {

bool SweepEngine::ChooseSampleClock(double, SweepContext&) {
    return false;
}
void SweepEngine::PlanLocalOscillators(SweepContext&) {}
double SweepEngine::ChooseFftResolution(double, const SweepSettings&) {
    return 0.0;
}
void SweepEngine::PlanReceiverOscillators(SweepContext&) {}
int SweepEngine::ProgramLo(DeviceLink&, const LoSetting&, bool) {
    return 0;
}

}  // namespace tavlin
