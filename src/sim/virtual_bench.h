#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>

#include "ports/gpib_bus.h"
#include "sim/virtual_instrument.h"

namespace tavlin::sim {

// The factory's calibration bench beside the virtual unit: a signal
// generator at address 20 whose output reaches RF IN through a 3 dB pad and
// one arm of a power splitter, a dual power meter at address 13 (channel A on
// the splitter's other arm, channel B on the unit's CAL OUT) and a device at
// address 19 that is opened and never spoken to. Its 10 MHz standard feeds
// the unit's reference input while a procedure runs.
class VirtualBench final : public GpibBus {
  public:
    static constexpr int kPowerMeterAddress = 13;
    static constexpr int kAuxAddress = 19;
    static constexpr int kGeneratorAddress = 20;
    static constexpr double kPadDb = 3.0;
    // Each reading scatters within this of the true level, as a sensor's
    // calibration factor, linearity and noise would.
    static constexpr double kSensorUncertaintyDb = 0.05;
    // Below this the sensor reads its own zero offset and noise.
    static constexpr double kSensorFloorDbm = -70.0;

    explicit VirtualBench(VirtualInstrument& unit, unsigned seed = 1);
    ~VirtualBench() override;

    int OpenDevice(int primaryAddress) override;
    bool Write(int device, std::string_view bytes) override;
    std::optional<std::string> Read(int device, std::size_t maxBytes) override;
    // A closed descriptor answers nothing until it is opened again.
    void CloseDevice(int device) override;
    void ProcedureRunning(bool running) override;
    void ConnectGenerator(bool connected) override;
    void ConnectReference(bool connected) override;

    // --- Test side ----------------------------------------------------------
    // Generator frequency (Hz) and level (dBm) at its own output, once both
    // have been set.
    std::optional<std::pair<double, double>> GeneratorOutput() const;
    bool ReferenceFed() const;
    // Descriptors opened and not yet closed.
    std::size_t OpenDevices() const;

  private:
    void GeneratorCommand(std::string_view command);
    void UpdateRfInput();
    std::string MeterAnswer(char channel);
    double SensorReading(std::optional<double> trueDbm);

    mutable std::mutex mutex_;
    VirtualInstrument& unit_;
    std::mt19937 random_;
    std::map<int, int> addressOf_;  // descriptor -> primary address
    std::optional<double> generatorMhz_;
    std::optional<double> generatorDbm_;
    std::optional<char> pendingChannel_;  // 'A' or 'B' asked, not yet read
    bool referenceFed_ = false;
    bool generatorConnected_ = true;
};

}  // namespace tavlin::sim
