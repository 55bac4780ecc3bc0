#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "device/usb_driver.h"
#include "ports/clock.h"
#include "sim/cal_memory.h"
#include "sim/instrument_firmware.h"
#include "sim/receive_fifo.h"
#include "sim/receiver_state.h"
#include "sim/scene.h"
#include "sim/sim_faults.h"
#include "sim/slip_decoder.h"

namespace tavlin::sim {

// A Tavlin that exists only in software, behind the same USB port as the
// real converter: two interfaces described "Tavlin A" (data) and "Tavlin B"
// (command), each with the scene's serial number and its letter. Commands
// are SLIP frames on B; answers come back on B, samples on A as the capture
// proceeds in the clock's time. A read that must wait sleeps through the
// clock, never longer than the channel's read time-out, and never with the
// lock held, so the GUI, sweep and reader threads can share one unit.
class VirtualInstrument final : public UsbDriver {
  public:
    static constexpr int kCommandBaud = 46667;
    static constexpr int kPowerOnBaud = 9600;
    static constexpr std::size_t kDataQueueBytes = 1u << 20;
    static constexpr std::size_t kCommandQueueBytes = 1u << 16;
    static constexpr int kReenumerationMs = 1000;  // off the bus after a port cycle
    static constexpr int kLongestSleepMs = 20;

    explicit VirtualInstrument(Clock& clock, const Scene& scene = DefaultScene());

    int DeviceCount(int& count) override;
    int DeviceInfo(int index, UsbDeviceInfo& info) override;
    int OpenByIndex(int index, UsbHandle& handle) override;
    int SetBaudRate(UsbHandle handle, int rate) override;
    int SetTimeouts(UsbHandle handle, int readMs, int writeMs) override;
    int Write(UsbHandle handle, const std::uint8_t* data, std::size_t count,
              std::size_t& written) override;
    int Read(UsbHandle handle, std::uint8_t* data, std::size_t count, std::size_t& got) override;
    int QueueStatus(UsbHandle handle, std::size_t& waiting) override;
    int Purge(UsbHandle handle) override;
    int HandleInfo(UsbHandle handle, UsbDeviceInfo& info) override;
    int CyclePort(UsbHandle handle) override;
    int Close(UsbHandle handle) override;

    // --- Test side ----------------------------------------------------------
    void SetFaults(const SimFaults& faults);
    SimFaults Faults() const;
    // The cable is pulled: every call on an open handle fails, the count is
    // 0. PlugIn brings the unit back (power-on state, handles to reopen).
    void Unplug();
    void PlugIn();
    void SetExternalReferencePresent(bool present);
    // The calibration bench's generator on the RF input (nothing: off).
    void SetBenchSignal(const std::optional<SceneEmitter>& signal);
    ReceiverState State() const;
    CalMemory::Image Memory() const;
    // Command frames executed since the unit was made, for faults that
    // strike a given number of frames on.
    long long CommandsExecuted() const;
    const Scene& GetScene() const { return scene_; }

  private:
    enum class Interface { Data, Command };

    struct Channel {
        Interface interface = Interface::Data;
        int readTimeoutMs = 0;
        int baudRate = kPowerOnBaud;
        bool dead = false;  // the device went away under this handle
    };

    std::vector<Interface> Listing(Clock::TimePoint now);
    void PullCableLocked(Clock::TimePoint now);
    void ReplugWhenDue(Clock::TimePoint now);
    UsbDeviceInfo InfoOf(Interface interface) const;
    bool InterfaceOpen(Interface interface) const;
    int Find(UsbHandle handle, Channel*& channel);
    ReceiveFifo& QueueOf(Interface interface);
    void AdvanceData(Clock::TimePoint now);
    void ExecuteCommands(const std::uint8_t* data, std::size_t count, double nowSec);
    void PowerDown();
    int SleepBeforeRetryMs(Interface interface, std::size_t wanted, Clock::TimePoint now,
                           Clock::TimePoint deadline);
    static double Seconds(Clock::TimePoint time);
    static bool BaudUnderstood(int rate);

    mutable std::mutex mutex_;
    Clock& clock_;
    const Scene scene_;
    InstrumentFirmware firmware_;
    SlipDecoder decoder_;
    ReceiveFifo dataRx_{kDataQueueBytes};
    ReceiveFifo commandRx_{kCommandQueueBytes};
    SimFaults faults_;
    std::map<UsbHandle, Channel> channels_;
    UsbHandle nextHandle_ = 1;
    bool pluggedIn_ = true;
    long long commandsExecuted_ = 0;            // since the unit was made, across power cycles
    long long dataRequests_ = 0;                // the same, of requests for samples
    std::optional<Clock::TimePoint> replugAt_;  // the scene's unplug fault: back at this time
    Clock::TimePoint offBusUntil_{};
    std::vector<std::vector<std::uint8_t>> frames_;
    std::vector<std::uint8_t> reply_;
};

}  // namespace tavlin::sim
