#include "sim/instrument_firmware.h"

#include <algorithm>

#include "sim/factory_cal_image.h"

namespace tavlin::sim {

namespace {

// Argument bytes of each opcode; -1 for an opcode the unit does not know.
int ArgumentCount(std::uint8_t opcode) {
    switch (opcode) {
        case 'A':
        case 'C':
        case 'D':
        case 'F':
        case 'M':
        case 'O':
        case 'S':
            return 1;
        case 'I':
            return 2;
        case 'B':
        case 'E':
        case 'L':
        case 'N':
            return 4;
        case 'T':
        case 'V':
        case '3':
            return 0;
        default:
            return -1;
    }
}

int LittleEndian16(const std::uint8_t* bytes) {
    return bytes[0] | (bytes[1] << 8);
}

constexpr std::array<std::array<std::uint8_t, 2>, 5> kSamplerInitSequence = {{
    {0x00, 0x75},
    {0x38, 0x03},
    {0x00, 0x74},
    {0x00, 0x70},
    {0x38, 0x00},
}};

// The sampler's settling once its initialisation sequence is complete.
constexpr double kSamplerSettleSec = 0.150;

}  // namespace

InstrumentFirmware::InstrumentFirmware(const Scene& scene)
    : scene_(scene),
      model_(scene, TrueResponse::Of(scene)),
      memory_(FactoryCalImage::MemoryContents(scene, model_.Truth())),
      producer_(model_, state_) {}

void InstrumentFirmware::Execute(const std::vector<std::uint8_t>& frame, double nowSec,
                                 std::vector<std::uint8_t>& reply, SimFaults& faults) {
    if (frame.empty()) {
        return;
    }
    const std::uint8_t opcode = frame[0];
    const int needed = ArgumentCount(opcode);
    if (needed < 0 || frame.size() < static_cast<std::size_t>(needed) + 1) {
        return;  // not a command this firmware knows: ignored
    }
    const std::uint8_t* args = frame.data() + 1;
    switch (opcode) {
        case 'A':
            Attenuator(args[0]);
            break;
        case 'B':
            DetectorSweep(LittleEndian16(args), LittleEndian16(args + 2), reply);
            break;
        case 'C':
            ReferenceAndClock(args[0], reply);
            break;
        case 'D':
            if (args[0] <= ReceiverState::kHighRoute) {
                state_.route = args[0];
            }
            break;
        case 'E': {
            std::array<std::uint8_t, 4> word{};
            if (memory_.Handle(args, word)) {
                reply.insert(reply.end(), word.begin(), word.end());
            }
            break;
        }
        case 'F':
            if (args[0] <= 1) {
                state_.ifPath = args[0];
            }
            break;
        case 'I':
            SamplerRegister(args[0], args[1], nowSec);
            break;
        case 'L':
            SynthesizerWord((static_cast<std::uint32_t>(args[0]) << 24) | (args[1] << 16) |
                            (args[2] << 8) | args[3]);
            break;
        case 'M':
            if (args[0] <= 1 && scene_.PreampFitted()) {
                state_.preampOn = args[0] == 1;
            }
            break;
        case 'N':
            producer_.RunStepList(nowSec, LittleEndian16(args), LittleEndian16(args + 2),
                                  faults.missingStepBlock);
            break;
        case 'O':
            SyncTrigMode(args[0]);
            break;
        case 'S':
            Capture(args[0], nowSec, faults);
            break;
        case 'T':
            producer_.StartStream(nowSec);
            break;
        case 'V':
            FirmwareVersion(reply);
            break;
        case '3':
            producer_.StopStream();
            break;
        default:
            break;
    }
    ++state_.version;
}

void InstrumentFirmware::PowerCycle() {
    const std::uint64_t version = state_.version;
    state_ = ReceiverState();
    state_.version = version + 1;
    memory_.PowerCycle();
    producer_.Clear();
    initWrites_.clear();
}

void InstrumentFirmware::SetExternalReferencePresent(bool present) {
    model_.SetExternalReferencePresent(present);
    if (!present) {
        // Without its reference the unit falls back to the TCXO by itself.
        state_.externalRefSelected = false;
    }
    ++state_.version;
}

void InstrumentFirmware::SetBenchSignal(const std::optional<SceneEmitter>& signal) {
    model_.SetBenchSignal(signal);
    ++state_.version;
}

void InstrumentFirmware::Attenuator(std::uint8_t index) {
    if (index <= 3) {
        state_.attenIndex = index;
    }
}

// One reading per third step from start; each reading 16 bits, high byte first.
void InstrumentFirmware::DetectorSweep(int startStep, int stopStep,
                                       std::vector<std::uint8_t>& reply) {
    const int count = stopStep > startStep ? (stopStep - startStep) / 3 : 0;
    for (int j = 0; j < count; ++j) {
        const int step = startStep + 3 * j;
        const std::uint16_t value =
            model_.DetectorReading(state_, model_.DetectorLoHz(state_, step));
        reply.push_back(static_cast<std::uint8_t>(value >> 8));
        reply.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
}

void InstrumentFirmware::ReferenceAndClock(std::uint8_t mode, std::vector<std::uint8_t>& reply) {
    if (mode == 1) {
        if (model_.ExternalReferencePresent()) {
            state_.externalRefSelected = true;
        }
    } else if (mode == 2) {
        reply.push_back(model_.ExternalReferencePresent() ? 1 : 0);
    } else if (mode >= 8 && mode <= 10) {
        state_.clockMode = mode - 8;
        state_.samplerReady = false;  // a new clock needs the sampler set up again
        initWrites_.clear();
    }
}

// Registers 0x00 and 0x38 are only ever written as the initialisation
// sequence; the sampler delivers samples once the whole sequence has run.
void InstrumentFirmware::SamplerRegister(std::uint8_t reg, std::uint8_t value, double nowSec) {
    state_.samplerRegisters[reg] = value;
    if (reg != 0x00 && reg != 0x38) {
        return;
    }
    initWrites_.push_back({reg, value});
    if (initWrites_.size() > kSamplerInitSequence.size()) {
        initWrites_.erase(initWrites_.begin());
    }
    state_.samplerReady =
        initWrites_.size() == kSamplerInitSequence.size() &&
        std::equal(initWrites_.begin(), initWrites_.end(), kSamplerInitSequence.begin());
    if (state_.samplerReady) {
        state_.samplerSettledSec = nowSec + kSamplerSettleSec;
    }
}

// The low three bits select the register.
void InstrumentFirmware::SynthesizerWord(std::uint32_t word) {
    switch (word & 0x7) {
        case 0:
            state_.synthInt = static_cast<int>((word >> 15) & 0xFFFF);
            state_.synthFrac = static_cast<int>((word >> 3) & 0xFFF);
            break;
        case 1:
            state_.synthMod = static_cast<int>((word >> 3) & 0xFFF);
            break;
        case 2:
            state_.register2 = word;
            break;
        case 4:
            state_.outputDivider = static_cast<int>((word >> 20) & 0x7);
            break;
        default:
            break;
    }
}

void InstrumentFirmware::Capture(int blocks, double nowSec, SimFaults& faults) {
    long long pairs = static_cast<long long>(blocks) * DataProducer::kBlockPairs;
    if (TakeFault(faults.shortCaptures) && pairs > 0) {
        --pairs;
    }
    const std::uint8_t firstHeaderByte =
        TakeFault(faults.wrongHeaders) ? 0x00 : DataProducer::kHeader[0];
    const double periodSec =
        (scene_.trigger && !faults.noTrigger) ? scene_.trigger->periodMs / 1000.0 : 0.0;
    producer_.RequestCapture(nowSec, pairs, firstHeaderByte, state_.TriggerInput(), periodSec);
}

void InstrumentFirmware::SyncTrigMode(std::uint8_t mode) {
    if (mode > 3) {
        return;
    }
    state_.syncTrigMode = mode;
    if (mode != 3) {
        producer_.DropTriggerWaits();
    }
}

void InstrumentFirmware::FirmwareVersion(std::vector<std::uint8_t>& reply) const {
    reply.insert(reply.end(), scene_.firmware.begin(), scene_.firmware.end());
}

}  // namespace tavlin::sim
