#include "sim/receiver_state.h"

#include <cmath>

namespace tavlin::sim {

namespace {

constexpr double kReferenceHz = 10e6;

constexpr std::array<SampleClockConstants, 3> kClockModes = {{
    {486111.1111111111, 10694444.444444444, 2916666.6666666667},
    {468750.0, 10687500.0, 2812500.0},
    {486607.1428571429, 10705357.142857144, 2919642.8571428573},
}};

}  // namespace

ReceiverState::ReceiverState() {
    samplerRegisters[kRegDecimation] = 16;  // decimation 1 after power-on
}

int ReceiverState::GainState() const {
    if (samplerRegisters[kRegGainLow] & 0x80) {
        return 0;
    }
    if (samplerRegisters[kRegGainHigh] & 0x80) {
        return 2;
    }
    return 1;
}

int ReceiverState::Decimation() const {
    const int value = samplerRegisters[kRegDecimation] - 15;
    return value < 1 ? 1 : (value > 16 ? 16 : value);
}

int ReceiverState::ChainDividerExponent() const {
    return HighRoute() ? outputDivider : outputDivider + 3 + route;
}

double ReceiverState::SynthesizerLoHz(double e) const {
    // A modulus below 2 leaves the fractional part out of the loop.
    const double fraction = synthMod >= 2 ? static_cast<double>(synthFrac) / synthMod : 0.0;
    const double oscillatorHz = (synthInt + fraction) * kReferenceHz * (1.0 + e);
    return std::ldexp(oscillatorHz, -ChainDividerExponent());
}

const SampleClockConstants& ReceiverState::ClockConstants(int mode) {
    return kClockModes[(mode >= 0 && mode <= 2) ? mode : 0];
}

}  // namespace tavlin::sim
