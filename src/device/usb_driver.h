#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavlin {

// One interface of the instrument's dual-channel USB serial converter, as the
// converter's driver lists it.
struct UsbDeviceInfo {
    bool alreadyOpen = false;  // opened by some process
    std::string serial;
    std::string description;  // "Tavlin A" / "Tavlin B" on a genuine unit
};

using UsbHandle = int;  // 0 = no channel
constexpr UsbHandle kNoHandle = 0;

// Status codes of the USB driver calls (0 = success, as on the converter's
// vendor library). Anything non-zero is a failure.
enum UsbStatus : int {
    kUsbOk = 0,
    kUsbInvalidHandle = 1,
    kUsbDeviceNotFound = 2,
    kUsbDeviceNotOpened = 3,
    kUsbIoError = 4,
    kUsbOtherError = 18,
};

// The port between the device link and a USB serial layer: the libftdi1
// adapter on real hardware, the virtual instrument otherwise.
//
// Read blocks until `count` bytes arrived or the channel's read time-out
// expired, and reports what it got. QueueStatus reports bytes that can be read
// without waiting. Purge drops the receive queue.
class UsbDriver {
  public:
    virtual ~UsbDriver() = default;

    virtual int DeviceCount(int& count) = 0;
    virtual int DeviceInfo(int index, UsbDeviceInfo& info) = 0;
    virtual int OpenByIndex(int index, UsbHandle& handle) = 0;
    virtual int SetBaudRate(UsbHandle handle, int rate) = 0;
    virtual int SetTimeouts(UsbHandle handle, int readMs, int writeMs) = 0;
    virtual int Write(UsbHandle handle, const std::uint8_t* data, std::size_t count,
                      std::size_t& written) = 0;
    virtual int Read(UsbHandle handle, std::uint8_t* data, std::size_t count, std::size_t& got) = 0;
    virtual int QueueStatus(UsbHandle handle, std::size_t& waiting) = 0;
    virtual int Purge(UsbHandle handle) = 0;
    virtual int HandleInfo(UsbHandle handle, UsbDeviceInfo& info) = 0;
    virtual int CyclePort(UsbHandle handle) = 0;
    virtual int Close(UsbHandle handle) = 0;
};

}  // namespace tavlin
