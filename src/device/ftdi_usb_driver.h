#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "device/usb_driver.h"

namespace tavlin {

class FtdiChannel;
struct FtdiListEntry;
struct FtdiLocation;

// The instrument's converter through libftdi1: the real hardware path.
//
// DeviceCount builds the device list (two entries per converter, one per
// interface); DeviceInfo and OpenByIndex refer to the last list built, as on
// the vendor's driver. Handles are small positive numbers, 0 is none. Each
// open interface has a reader thread that keeps its receive queue, so "bytes
// waiting" and purge exist. A port cycle is a USB reset of the whole device
// (libusb_reset_device). On Linux the device does not leave the bus: it is
// reset in place and keeps its address, but both channels lose their settings
// and the instrument restarts, so both handles are spent; the device link
// closes them and opens anew, which detaches the kernel's serial driver again
// if it took the interfaces back meanwhile.
//
// Calls on different handles may come from different threads.
class FtdiUsbDriver final : public UsbDriver {
  public:
    FtdiUsbDriver();
    ~FtdiUsbDriver() override;  // closes every channel still open
    FtdiUsbDriver(const FtdiUsbDriver&) = delete;
    FtdiUsbDriver& operator=(const FtdiUsbDriver&) = delete;

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

  private:
    std::shared_ptr<FtdiChannel> Channel(UsbHandle handle);
    bool OwnedLocked(const FtdiLocation& where) const;
    UsbHandle AddLocked(std::shared_ptr<FtdiChannel> channel);

    std::mutex openMutex_;      // one open at a time, so an interface is never opened twice
    mutable std::mutex mutex_;  // the list and the handle table
    std::vector<FtdiListEntry> list_;
    std::vector<std::shared_ptr<FtdiChannel>> channels_;  // handle h is slot h - 1
};

}  // namespace tavlin
