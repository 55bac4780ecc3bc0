#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/usb_driver.h"

namespace tavlin::sim {

class VirtualConverter;

// A program started with the virtual USB library preloaded finds its scene
// here: set and empty for the built-in scene, else a scene file's path.
inline constexpr const char* kVirtualUsbSceneVariable = "TAVLIN_VIRTUAL_USB_SCENE";

// The two generations of the instrument's dual-channel converter, told apart
// by the device release number (bcdDevice): 5.00 is the full-speed FT2232C/D
// with 64-byte packets, 7.00 the high-speed FT2232H with 512-byte packets.
enum class ConverterChip { kFt2232C, kFt2232H };

// What an FT2232C/D does with a baud-rate request whose index word names no
// channel (low byte 0): some set channel A, some stall the request.
enum class UnnamedChannelBaud { kSetsChannelA, kStalls };

// One converter as it sits on the bus.
struct ConverterSetup {
    ConverterChip chip = ConverterChip::kFt2232H;
    UnnamedChannelBaud unnamedChannelBaud = UnnamedChannelBaud::kSetsChannelA;
    std::string manufacturer = "FTDI";
    std::string product = "Tavlin";
    std::string serial = "TV000123";  // empty: the device has no serial number string
    std::uint8_t bus = 1;
    std::uint8_t address = 7;
    bool accessible = true;         // false: opening is refused, as without the udev rule
    bool serialDriverBound = true;  // the kernel's ftdi_sio holds both interfaces at plug-in
    // The kernel binds its serial driver again to every interface after a USB reset.
    bool rebindSerialDriverOnReset = true;
    std::array<bool, 2> claimedElsewhere{};  // another program holds the interface
    int latencyMs = 16;                      // the latency timer at power-on
};

// One vendor control request as the converter received it.
struct ControlRequest {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    bool stalled = false;
};

// Counters of one interface's bulk-IN side.
struct InTransferCounts {
    int completed = 0;     // transfers that returned success
    int carryingData = 0;  // of those, transfers with at least one data byte
    std::size_t dataBytes = 0;
    // When the last transfer that carried data was handed to the host.
    std::chrono::steady_clock::time_point lastDataAt{};
    // The most the chip held at a moment the host had no buffer queued for
    // it, and what its receive buffer could not hold and so lost.
    std::size_t largestHeld = 0;
    std::size_t lostBytes = 0;
};

// A USB bus in software with dual-channel converters on it: what the libusb
// entry points of the virtual USB library answer from. Interface A of a
// converter leads to channel 0 of its backend's device list, interface B to
// channel 1 (the virtual instrument lists its data channel first). Plugging,
// unplugging and the inspection calls are for tests and for the virtual USB
// library's own start-up; the bus is one per process, as libusb's devices are.
class VirtualUsbBus {
  public:
    static VirtualUsbBus& Instance();

    // Plugs in a converter in front of `backend`, which must outlive it on the
    // bus. Returns the device's number for the calls below.
    int Plug(const ConverterSetup& setup, UsbDriver& backend);
    // Pulls every converter out: open handles fail from now on.
    void UnplugAll();

    std::vector<ControlRequest> ControlRequests(int device) const;
    void ClearControlRequests(int device);
    // The rate the UART of an interface runs at (0: never set since power-on).
    int ChannelBaud(int device, int interfaceNumber) const;
    bool SerialDriverBound(int device, int interfaceNumber) const;
    int Resets(int device) const;
    InTransferCounts InTransfers(int device, int interfaceNumber) const;

    // Holds every bulk-IN packet of the interface back while `hold` is on:
    // IN transfers then wait (up to their time-out) and carry nothing.
    void HoldInPackets(int device, int interfaceNumber, bool hold);
    // The next `count` bulk-IN transfers of the interface fail with
    // `libusbError` after carrying one packet of data (when there is any).
    void FailInTransfers(int device, int interfaceNumber, int libusbError, int count);

    // For the libusb entry points.
    std::vector<std::shared_ptr<VirtualConverter>> Converters() const;

  private:
    VirtualUsbBus() = default;
    std::shared_ptr<VirtualConverter> Converter(int device) const;

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<VirtualConverter>> converters_;  // device n is slot n
};

}  // namespace tavlin::sim
