// The instrument's command set: each operation checks its arguments, stages
// the opcode and argument bytes and sends them as one frame per command.
// An argument that would wrap or leave the range the instrument accepts is
// refused before anything reaches the wire.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/device_link.h"
#include "ports/clock.h"
#include "ports/log.h"

namespace tavlin {

namespace {

constexpr std::uint8_t kOpAttenuator = 'A';
constexpr std::uint8_t kOpDetectorSweep = 'B';
constexpr std::uint8_t kOpReference = 'C';
constexpr std::uint8_t kOpRouting = 'D';
constexpr std::uint8_t kOpIfPath = 'F';
constexpr std::uint8_t kOpSampler = 'I';
constexpr std::uint8_t kOpSynthesizer = 'L';
constexpr std::uint8_t kOpPreamp = 'M';
constexpr std::uint8_t kOpStepList = 'N';
constexpr std::uint8_t kOpSyncTrigger = 'O';
constexpr std::uint8_t kOpCapture = 'S';
constexpr std::uint8_t kOpStreamStart = 'T';
constexpr std::uint8_t kOpStreamStop = '3';

// "C" arguments.
constexpr std::uint8_t kReferenceSwitchExternal = 1;
constexpr std::uint8_t kReferenceQuery = 2;
constexpr int kClockModeBase = 8;

// "D" argument that selects the high-band route.
constexpr int kHighBandRoute = 4;
// The low band's widest external divider stage.
constexpr int kLowBandRoute = 3;
// Doublings taken by the low-band route itself.
constexpr int kLowBandRouteDoublings = 3;

// Sampler registers.
constexpr std::uint8_t kSamplerControl = 0x00;
constexpr std::uint8_t kSamplerClockSetup = 0x38;
constexpr std::uint8_t kSamplerGainLow = 0x06;
constexpr std::uint8_t kSamplerGainHigh = 0x0C;
constexpr std::uint8_t kSamplerDecimation = 0x0E;
constexpr std::uint8_t kSamplerGainOn = 0x80;
constexpr int kDecimationOffset = 15;

struct SamplerWrite {
    std::uint8_t reg;
    std::uint8_t value;
};
constexpr std::array<SamplerWrite, 5> kSamplerInitSequence{{
    {kSamplerControl, 0x75},
    {kSamplerClockSetup, 0x03},
    {kSamplerControl, 0x74},
    {kSamplerControl, 0x70},
    {kSamplerClockSetup, 0x00},
}};

constexpr int kSamplerSettleMs = 150;
// A fractional-N synthesizer of this kind selects its VCO band and locks
// within about a millisecond of a retune; twice that leaves margin.
constexpr int kSynthesizerLockMs = 2;
constexpr int kReferenceSettleMs = 250;

// Synthesizer limits: INT has 9 usable bits in register 0 as the instrument
// packs it, FRAC and MOD 12 bits, the output divider select 3 bits of which
// the part accepts 0..4.
constexpr int kMaxSynthInt = 511;
// The low three bits of a synthesizer word select its register.
constexpr std::uint32_t kRegisterSelectMask = 0x7;
constexpr int kMinSynthMod = 2;
constexpr int kMaxSynthMod = 4095;
constexpr int kMaxOutputDivider = 4;

// Register 1 with MOD 100: the step list's 200 kHz steps are fractions of 100.
constexpr std::uint32_t kStepListModWord = 0x08008321;

constexpr int kMaxAttenuatorIndex = 3;
constexpr int kMinDecimation = 1;
constexpr int kMaxDecimation = 16;
constexpr int kMaxClockMode = 2;
constexpr int kMaxGainMode = 2;
constexpr int kMaxIfPath = 1;
constexpr int kMaxSyncTriggerMode = 3;
constexpr int kMaxCaptureBlocks = 255;
constexpr int kMaxStepNumber = 0xFFFF;
constexpr int kStepsPerDetectorValue = 3;

std::uint32_t Register0Word(int intPart, int frac) {
    return (static_cast<std::uint32_t>(intPart) << 15) | (static_cast<std::uint32_t>(frac) << 3);
}

std::uint32_t Register1Word(int mod) {
    return 0x08008001u + (static_cast<std::uint32_t>(mod) << 3);
}

std::uint32_t Register4Word(int outputDivider) {
    return 0x008641BCu + (static_cast<std::uint32_t>(outputDivider) << 20);
}

// Below 150 MHz the k doublings of the LO are shared between the
// synthesizer's own output divider and the external divider stage of the
// low-band route; the route itself always takes three.
struct LowBandDividers {
    int synthesizer;  // a: the synthesizer's output divider select
    int external;     // b: the "D" stage
};

LowBandDividers SplitLowBandDivider(int doublings) {
    const int shared = doublings - kLowBandRouteDoublings;
    if (shared <= 1) {
        return {1, 0};
    }
    const int external = shared - 1 < kLowBandRoute ? shared - 1 : kLowBandRoute;
    return {shared - external, external};
}

bool InRange(int value, int low, int high) {
    return value >= low && value <= high;
}

std::uint8_t Low(int value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}
std::uint8_t High(int value) {
    return static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

// A setting the instrument keeps goes out only when it differs from the one
// last taken, and is remembered only once the instrument took it: a failed
// write is a fault, after which every setting is sent again.
template <typename Send>
int SendIfChanged(int value, int& sent, Send send) {
    if (value == sent) {
        return kLinkOk;
    }
    const int result = send();
    if (result == kLinkOk) {
        sent = value;
    }
    return result;
}

}  // namespace

int DeviceLink::SetSynthesizer(int intPart, int frac, int mod, int divider, bool highBand) {
    const bool fractionValid = InRange(mod, kMinSynthMod, kMaxSynthMod) && frac >= 0 && frac < mod;
    const bool loAboveZero = intPart > 0 || frac > 0;
    if (!InRange(intPart, 0, kMaxSynthInt) || !fractionValid || !loAboveZero || divider < 0) {
        return kLinkRefused;
    }
    int outputDivider = divider;
    int route = kHighBandRoute;
    if (!highBand) {
        const LowBandDividers split = SplitLowBandDivider(divider);
        outputDivider = split.synthesizer;
        route = split.external;
    }
    if (outputDivider > kMaxOutputDivider) {
        return kLinkRefused;
    }
    // Only what differs from what the synthesizer holds goes out, in the
    // usual order; register 0 then follows whenever anything went, since
    // writing it is what makes the part take its other registers.
    bool changed = false;
    int result = SendSynthesizerWordIfChanged(Register4Word(outputDivider), changed);
    if (result == kLinkOk) {
        result = SendIfChanged(route, held_.route, [this, route, &changed] {
            changed = true;
            return Stage({kOpRouting, static_cast<std::uint8_t>(route)});
        });
    }
    if (result == kLinkOk) {
        result = SendSynthesizerWordIfChanged(Register1Word(mod), changed);
    }
    if (result == kLinkOk && changed) {
        result = LoadSynthesizerWord(Register0Word(intPart, frac));
    } else if (result == kLinkOk) {
        result = SendSynthesizerWordIfChanged(Register0Word(intPart, frac), changed);
    }
    // A retuned synthesizer needs time to lock before its samples are
    // good, and the unit gives no sign of lock: the wait is kept after a
    // retune, and only then.
    if (result == kLinkOk && changed) {
        clock_.SleepMs(kSynthesizerLockMs);
    }
    return result;
}

int DeviceLink::SendSynthesizerWordIfChanged(std::uint32_t word, bool& sent) {
    const std::optional<std::uint32_t>& held = held_.synthesizer[word & kRegisterSelectMask];
    if (held == word) {
        return kLinkOk;
    }
    sent = true;
    return LoadSynthesizerWord(word);
}

// The unit tunes the synthesizer and the LO route itself through a step
// list or a detector sweep: what they hold afterwards is its choice.
void DeviceLink::ForgetTuning() {
    held_.synthesizer = {};
    held_.route = -1;
}

int DeviceLink::SetBandSelect(bool high) {
    const int route = high ? kHighBandRoute : kLowBandRoute;
    return SendIfChanged(route, held_.route, [this, route] {
        return Stage({kOpRouting, static_cast<std::uint8_t>(route)});
    });
}

int DeviceLink::SetAttenuator(double db) {
    // Nearest 5 dB step, halves rounded up.
    const double index = std::trunc(db * 0.2 + 0.5);
    if (!(index >= 0.0 && index <= kMaxAttenuatorIndex)) {  // also refuses NaN
        return kLinkRefused;
    }
    const int step = static_cast<int>(index);
    return SendIfChanged(step, held_.attenuatorIndex, [this, step] {
        return Stage({kOpAttenuator, static_cast<std::uint8_t>(step)});
    });
}

int DeviceLink::SetGainMode(int mode) {
    if (!InRange(mode, 0, kMaxGainMode)) {
        return kLinkRefused;
    }
    return SendIfChanged(mode, held_.gainMode, [this, mode] {
        const std::uint8_t lowGain = mode == 0 ? kSamplerGainOn : 0x00;
        const std::uint8_t highGain = mode == 2 ? kSamplerGainOn : 0x00;
        const int result = Stage({kOpSampler, kSamplerGainLow, lowGain});
        if (result != kLinkOk) {
            return result;
        }
        return Stage({kOpSampler, kSamplerGainHigh, highGain});
    });
}

int DeviceLink::SetDecimation(int decimation) {
    if (!InRange(decimation, kMinDecimation, kMaxDecimation)) {
        return kLinkRefused;
    }
    return SendIfChanged(decimation, decimationSent_, [this, decimation] {
        return Stage({kOpSampler, kSamplerDecimation,
                      static_cast<std::uint8_t>(decimation + kDecimationOffset)});
    });
}

int DeviceLink::SetIfPath(int path) {
    if (!InRange(path, 0, kMaxIfPath)) {
        return kLinkRefused;
    }
    return SendIfChanged(path, ifPathSent_, [this, path] {
        return Stage({kOpIfPath, static_cast<std::uint8_t>(path)});
    });
}

int DeviceLink::SendClockMode(int mode) {
    if (!InRange(mode, 0, kMaxClockMode)) {
        return kLinkRefused;
    }
    int result = Stage({kOpReference, static_cast<std::uint8_t>(kClockModeBase + mode)});
    if (result != kLinkOk) {
        return result;
    }
    // The sampler loses its set-up when its clock changes.
    clock_.SleepMs(kReferenceSettleMs);
    result = InitialiseSampler();
    if (result == kLinkOk) {
        clockModeSent_ = mode;
    }
    // Whether the sampler's gain and decimation registers outlive its new
    // set-up is the unit's affair: they are sent again.
    held_.gainMode = -1;
    decimationSent_ = 0;
    return result;
}

// The unit writes each register as the command comes, so the writes follow
// each other at the command pace; what needs time is the sampler itself,
// which settles once the sequence is complete before its samples are good.
int DeviceLink::InitialiseSampler() {
    for (const SamplerWrite& write : kSamplerInitSequence) {
        const int result = Stage({kOpSampler, write.reg, write.value});
        if (result != kLinkOk) {
            return result;
        }
    }
    clock_.SleepMs(kSamplerSettleMs);
    return kLinkOk;
}

bool DeviceLink::CheckReference(bool previous) {
    // Asks whether an external reference is present. No answer at all tells
    // nothing, so the state stays as it was.
    const auto queryExternal = [this](std::uint8_t& answer) {
        if (Stage({kOpReference, kReferenceQuery}) != kLinkOk) {
            return false;
        }
        return ReadReply(&answer, 1) == 1;
    };

    std::uint8_t answer = 0;
    if (!queryExternal(answer)) {
        return previous;
    }
    if (answer == 0) {
        return false;
    }
    if (previous) {
        return true;
    }
    // The reference has just appeared: a single reading is not trusted.
    if (!queryExternal(answer) || answer == 0) {
        return previous;
    }
    if (Stage({kOpReference, kReferenceSwitchExternal}) != kLinkOk) {
        return previous;
    }
    clock_.SleepMs(kReferenceSettleMs);
    // On the external reference the instrument needs longer after each command.
    slowDevice = 1;
    return true;
}

int DeviceLink::SetPreamp(bool on) {
    const int state = on ? 1 : 0;
    return SendIfChanged(state, held_.preamp, [this, state] {
        return Stage({kOpPreamp, static_cast<std::uint8_t>(state)});
    });
}

int DeviceLink::SetSyncTrigger(int mode) {
    if (!InRange(mode, 0, kMaxSyncTriggerMode)) {
        return kLinkRefused;
    }
    return SendIfChanged(mode, held_.syncTrigger, [this, mode] {
        return Stage({kOpSyncTrigger, static_cast<std::uint8_t>(mode)});
    });
}

int DeviceLink::StartDetectorSweep(int startStep, int stopStep, std::uint16_t* values) {
    if (values == nullptr || !InRange(startStep, 0, kMaxStepNumber) ||
        !InRange(stopStep, 0, kMaxStepNumber) || startStep >= stopStep) {
        return kLinkRefused;
    }
    const int valueCount = (stopStep - startStep) / kStepsPerDetectorValue;
    if (valueCount > kMaxDetectorValues) {
        return kLinkRefused;
    }
    int result = SetBandSelect(true);
    if (result != kLinkOk) {
        return result;
    }
    result =
        Stage({kOpDetectorSweep, Low(startStep), High(startStep), Low(stopStep), High(stopStep)});
    ForgetTuning();
    if (result != kLinkOk) {
        return result;
    }
    std::array<std::uint8_t, 2 * kMaxDetectorValues> reply{};
    const std::size_t wanted = 2 * static_cast<std::size_t>(valueCount);
    const std::size_t got = ReadReply(reply.data(), wanted);
    // Each value arrives most significant byte first.
    for (std::size_t i = 0; 2 * i + 1 < got; ++i) {
        values[i] = static_cast<std::uint16_t>((reply[2 * i] << 8) | reply[2 * i + 1]);
    }
    if (got != wanted) {
        CountFault();
        LogWarning("device", "short detector sweep reply: " + std::to_string(got) + " of " +
                                 std::to_string(wanted) + " bytes");
        // The rest of a late answer must not be taken for the next reply.
        driver_.Purge(commandChannel_);
        return kLinkWrongAmount;
    }
    return kLinkOk;
}

int DeviceLink::RunStepList(int first, int last) {
    if (!InRange(first, 0, kMaxStepNumber) || !InRange(last, 0, kMaxStepNumber)) {
        return kLinkRefused;
    }
    const int result = LoadSynthesizerWord(kStepListModWord);
    if (result != kLinkOk) {
        return result;
    }
    const int sent = Stage({kOpStepList, Low(first), High(first), Low(last), High(last)});
    ForgetTuning();
    return sent;
}

int DeviceLink::RunStepListDown(int first, int last) {
    if (!InRange(first, 0, kMaxStepNumber) || !InRange(last, 0, kMaxStepNumber)) {
        return kLinkRefused;
    }
    const int result = LoadSynthesizerWord(kStepListModWord);
    if (result != kLinkOk) {
        return result;
    }
    const int sent = Stage({kOpStepList, Low(last), High(last), Low(first), High(first)});
    ForgetTuning();
    return sent;
}

int DeviceLink::RequestCapture(int blocks) {
    if (!InRange(blocks, 1, kMaxCaptureBlocks)) {
        return kLinkRefused;
    }
    return Stage({kOpCapture, static_cast<std::uint8_t>(blocks)});
}

int DeviceLink::StartStream() {
    return Stage({kOpStreamStart});
}

int DeviceLink::StopStream() {
    return Stage({kOpStreamStop});
}

int DeviceLink::LoadSynthesizerWord(std::uint32_t word) {
    const int result =
        Stage({kOpSynthesizer, static_cast<std::uint8_t>(word >> 24),
               static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 8),
               static_cast<std::uint8_t>(word)});
    if (result == kLinkOk) {
        held_.synthesizer[word & kRegisterSelectMask] = word;
    }
    return result;
}

}  // namespace tavlin
