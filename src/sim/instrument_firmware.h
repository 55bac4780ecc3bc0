#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/cal_memory.h"
#include "sim/data_producer.h"
#include "sim/receive_fifo.h"
#include "sim/receiver_model.h"
#include "sim/receiver_state.h"
#include "sim/scene.h"
#include "sim/sim_faults.h"

namespace tavlin::sim {

// The virtual unit's firmware: carries out each decoded command frame on
// the receiver state, the calibration memory and the data channel, and
// answers on the command channel where the command has an answer.
class InstrumentFirmware {
  public:
    explicit InstrumentFirmware(const Scene& scene);
    InstrumentFirmware(const InstrumentFirmware&) = delete;
    InstrumentFirmware& operator=(const InstrumentFirmware&) = delete;

    // Runs one command frame (opcode and arguments) received at `nowSec`.
    // Answer bytes for the command channel are appended to `reply`; fault
    // counts that the command uses up are taken from `faults`.
    void Execute(const std::vector<std::uint8_t>& frame, double nowSec,
                 std::vector<std::uint8_t>& reply, SimFaults& faults);

    void ProduceData(double nowSec, ReceiveFifo& dataRx) { producer_.Produce(nowSec, dataRx); }
    double DataReadySec(std::size_t bytes) { return producer_.ReadySec(bytes); }

    // Power lost or the port cycled: everything but the calibration memory
    // returns to its power-on state.
    void PowerCycle();

    void SetExternalReferencePresent(bool present);
    void SetBenchSignal(const std::optional<SceneEmitter>& signal);

    const ReceiverState& State() const { return state_; }
    const CalMemory& Memory() const { return memory_; }
    const ReceiverModel& Model() const { return model_; }

  private:
    void Attenuator(std::uint8_t index);
    void DetectorSweep(int startStep, int stopStep, std::vector<std::uint8_t>& reply);
    void ReferenceAndClock(std::uint8_t mode, std::vector<std::uint8_t>& reply);
    void SamplerRegister(std::uint8_t reg, std::uint8_t value, double nowSec);
    void SynthesizerWord(std::uint32_t word);
    void Capture(int blocks, double nowSec, SimFaults& faults);
    void SyncTrigMode(std::uint8_t mode);
    void FirmwareVersion(std::vector<std::uint8_t>& reply) const;

    Scene scene_;
    ReceiverModel model_;
    ReceiverState state_;
    CalMemory memory_;
    DataProducer producer_;
    std::vector<std::array<std::uint8_t, 2>> initWrites_;  // sampler registers 0x00 / 0x38
};

}  // namespace tavlin::sim
