#pragma once

#include <array>
#include <cstdint>

namespace tavlin::sim {

// Nominal constants of one sample clock mode; the unit multiplies each by
// (1 + reference error).
struct SampleClockConstants {
    double sampleRateHz;  // complex rate before decimation
    double ifTune10M7Hz;  // sampler tuning on the 10.7 MHz path
    double ifTune2M9Hz;   // sampler tuning on the 2.9 MHz path
};

// Everything the virtual unit has been told: synthesizer words, routing,
// attenuator, sampler registers, IF path, clocks, preamplifier, SYNC/TRIG
// mode. A plain record that the firmware writes and the receiver model reads;
// `version` moves with every change so that a stream can re-plan.
struct ReceiverState {
    static constexpr int kHighRoute = 4;
    static constexpr std::uint8_t kRegGainLow = 0x06;
    static constexpr std::uint8_t kRegGainHigh = 0x0C;
    static constexpr std::uint8_t kRegDecimation = 0x0E;

    // Synthesizer registers 0, 1, 2 and 4.
    int synthInt = 300;
    int synthFrac = 0;
    int synthMod = 100;
    int outputDivider = 0;  // s: the oscillator divided by 2^s
    std::uint32_t register2 = 0;
    // "D": 0..3 low-band route with its extra divider, 4 high-band route.
    int route = kHighRoute;
    int attenIndex = 3;  // 0..3 for 0, 5, 10, 15 dB
    std::array<std::uint8_t, 256> samplerRegisters{};
    bool samplerReady = false;  // the initialisation sequence has run
    // The sampler settles after its initialisation: what it samples before
    // this clock time is not good (silence here).
    double samplerSettledSec = 0.0;
    int ifPath = 0;     // 0: 10.7 MHz, 1: 2.9 MHz
    int clockMode = 0;  // 0, 1, 2
    bool externalRefSelected = false;
    bool preampOn = false;
    int syncTrigMode = 0;  // 0 off, 1 self-test signal, 2 sync out, 3 trigger in
    std::uint64_t version = 0;

    ReceiverState();

    bool HighRoute() const { return route == kHighRoute; }
    double AttenDb() const { return 5.0 * attenIndex; }
    // 0 low gain, 1 normal, 2 high gain, from sampler registers 0x06 / 0x0C.
    int GainState() const;
    // D = register 0x0E - 15, 1..16.
    int Decimation() const;
    bool SelfTestSignalOn() const { return syncTrigMode == 1; }
    bool TriggerInput() const { return syncTrigMode == 3; }

    // The LO the synthesizer words give through the present route, for a
    // reference error `e`.
    double SynthesizerLoHz(double e) const;
    // Output divider of the whole chain, as a power of two.
    int ChainDividerExponent() const;

    static const SampleClockConstants& ClockConstants(int mode);
};

}  // namespace tavlin::sim
