#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "device/usb_driver.h"
#include "sim/usb/virtual_usb_bus.h"

namespace tavlin::sim {

// One dual-channel converter on the virtual bus: its descriptors, the
// kernel's hold on its interfaces, the claims of this process's handles, its
// vendor requests and the packet framing of its bulk-IN endpoints. Behind
// interface A and B sit channel 0 and 1 of the backend.
//
// Results are libusb's: 0 or a byte count on success, a LIBUSB_ERROR_* code
// otherwise. Handles are numbers the converter gives out at Open. Every call
// may come from any thread; none holds the lock while it waits.
class VirtualConverter {
  public:
    static constexpr int kInterfaces = 2;
    static constexpr int kStillWaiting = 1;

    // One bulk-IN transfer in progress: the host's buffer and how far the
    // chip has filled it.
    struct InTransfer {
        std::uint8_t* data = nullptr;
        int length = 0;
        int transferred = 0;
        std::size_t dataBytes = 0;
        bool started = false;  // the claim was checked and a failure armed
        bool fails = false;
        int failureError = 0;
    };

    VirtualConverter(const ConverterSetup& setup, UsbDriver& backend);

    const ConverterSetup& Setup() const { return setup_; }
    int PacketSize() const;
    std::uint16_t DeviceRelease() const;
    // The string descriptor `index` (1 manufacturer, 2 product, 3 serial);
    // false when the device has none of that number.
    bool StringDescriptor(int index, std::string& text) const;

    // From now on every call fails with LIBUSB_ERROR_NO_DEVICE and the
    // backend is no longer touched.
    void Unplug();
    // On the bus: not unplugged, and the unit behind it is powered and
    // attached (a scene's unplug fault, or the second after a port cycle,
    // takes the whole converter off the bus, as pulling the cable does).
    bool OnBus() const;
    // Not unplugged (the backend is not asked).
    bool Plugged() const;

    int Open(int& handle);
    void Close(int handle);
    int KernelDriverActive(int interfaceNumber) const;
    int DetachKernelDriver(int interfaceNumber);
    int Claim(int handle, int interfaceNumber, bool autoDetach);
    int Release(int handle, int interfaceNumber);
    int Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                std::uint16_t index, std::uint8_t* data, std::uint16_t length);
    int BulkOut(int handle, std::uint8_t endpoint, const std::uint8_t* data, int length,
                int& transferred);
    int BulkIn(int handle, std::uint8_t endpoint, std::uint8_t* data, int length, int& transferred,
               unsigned timeoutMs);
    // One look of the host at a bulk-IN transfer it has queued: the packets
    // that are due go into it. kStillWaiting while it is not over, else how
    // it ended (a libusb code).
    int StepIn(int handle, std::uint8_t endpoint, InTransfer& transfer);
    // The host has no buffer queued on the interface of `endpoint`: what the
    // chip received meanwhile stays in its receive buffer, and what passes
    // that buffer's size is lost, as the next packet's line status says.
    void HoldReceived(std::uint8_t endpoint);
    int Reset();

    std::vector<ControlRequest> ControlRequests() const;
    void ClearControlRequests();
    int ChannelBaud(int interfaceNumber) const;
    bool SerialDriverBound(int interfaceNumber) const;
    int Resets() const;
    InTransferCounts InTransfers(int interfaceNumber) const;
    void HoldInPackets(int interfaceNumber, bool hold);
    void FailInTransfers(int interfaceNumber, int libusbError, int count);

  private:
    using SteadyTime = std::chrono::steady_clock::time_point;

    struct Interface {
        bool serialDriverBound = false;
        bool rebindWhenFree = false;    // after a reset, once no handle holds it
        bool autoDetached = false;      // the claim took it from the serial driver
        int claimedBy = 0;              // a handle, 0 = none
        UsbHandle channel = kNoHandle;  // the backend's, while claimed
        int baud = 0;
        int latencyMs = 16;
        std::vector<std::uint8_t> packet;  // data of the packet being built
        // What the chip's receive buffer holds beyond that packet, oldest first.
        std::vector<std::uint8_t> received;
        SteadyTime lastPacket{};
        bool hold = false;
        bool overrun = false;  // bytes were lost since the last packet went out
        int failures = 0;
        int failureError = 0;
        InTransferCounts counts;
    };

    static bool ValidInterface(int interfaceNumber);
    int InStepLocked(int handle, int interfaceNumber, InTransfer& transfer);
    bool SendPacketLocked(Interface& in, InTransfer& transfer, SteadyTime now, int& status);
    int VendorRequestLocked(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                            std::uint16_t index, std::uint8_t* data, std::uint16_t length);
    int OpenChannelLocked(int interfaceNumber);
    void CloseChannelLocked(Interface& in);
    bool FillPacketLocked(Interface& in);
    void DropReceivedLocked(Interface& in);
    void HoldReceivedLocked(Interface& in);
    std::size_t ReceiveBufferBytes() const;
    void FreeLocked(int interfaceNumber);
    void RebindIfFreeLocked(int interfaceNumber);

    const ConverterSetup setup_;
    UsbDriver& backend_;

    mutable std::mutex mutex_;
    bool plugged_ = true;
    std::set<int> handles_;  // open handles
    int nextHandle_ = 1;
    std::array<Interface, kInterfaces> interfaces_;
    std::vector<ControlRequest> requests_;
    int resets_ = 0;
};

}  // namespace tavlin::sim
