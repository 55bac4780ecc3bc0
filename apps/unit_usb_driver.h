#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/usb_driver.h"

namespace tavlin {

// The USB layer as the server sees it. Given a serial, the device list
// shows only the two interfaces whose serial is the unit's with "A" or "B"
// appended, so the device link's "first free pair" is that unit's pair
// whatever else is on the bus; without one, every interface. It counts the
// channels opened, so the server sees the link come back after a reset.
// Every other call goes through unchanged.
//
// The list is built and read by the device link alone, one call at a time.
class UnitUsbDriver final : public UsbDriver {
  public:
    UnitUsbDriver(UsbDriver& inner, std::string serial)
        : inner_(inner), serial_(std::move(serial)) {}

    int ChannelsOpened() const { return opened_.load(); }

    // Whether the unit is listed now.
    bool UnitListed() {
        int count = 0;
        return DeviceCount(count) == kUsbOk && count > 0;
    }

    int DeviceCount(int& count) override {
        indices_.clear();
        int all = 0;
        const int status = inner_.DeviceCount(all);
        for (int index = 0; index < all; ++index) {
            UsbDeviceInfo info;
            if (inner_.DeviceInfo(index, info) == kUsbOk && IsOurInterface(info.serial)) {
                indices_.push_back(index);
            }
        }
        count = static_cast<int>(indices_.size());
        return status;
    }
    int DeviceInfo(int index, UsbDeviceInfo& info) override {
        return Listed(index) ? inner_.DeviceInfo(indices_[index], info) : kUsbDeviceNotFound;
    }
    int OpenByIndex(int index, UsbHandle& handle) override {
        const int status =
            Listed(index) ? inner_.OpenByIndex(indices_[index], handle) : kUsbDeviceNotFound;
        opened_ += status == kUsbOk ? 1 : 0;
        return status;
    }
    int SetBaudRate(UsbHandle handle, int rate) override {
        return inner_.SetBaudRate(handle, rate);
    }
    int SetTimeouts(UsbHandle handle, int readMs, int writeMs) override {
        return inner_.SetTimeouts(handle, readMs, writeMs);
    }
    int Write(UsbHandle handle, const std::uint8_t* data, std::size_t count,
              std::size_t& written) override {
        return inner_.Write(handle, data, count, written);
    }
    int Read(UsbHandle handle, std::uint8_t* data, std::size_t count, std::size_t& got) override {
        return inner_.Read(handle, data, count, got);
    }
    int QueueStatus(UsbHandle handle, std::size_t& waiting) override {
        return inner_.QueueStatus(handle, waiting);
    }
    int Purge(UsbHandle handle) override { return inner_.Purge(handle); }
    int HandleInfo(UsbHandle handle, UsbDeviceInfo& info) override {
        return inner_.HandleInfo(handle, info);
    }
    int CyclePort(UsbHandle handle) override { return inner_.CyclePort(handle); }
    int Close(UsbHandle handle) override { return inner_.Close(handle); }

  private:
    bool IsOurInterface(const std::string& interfaceSerial) const {
        return serial_.empty() || (interfaceSerial.size() == serial_.size() + 1 &&
                                   interfaceSerial.starts_with(serial_));
    }
    bool Listed(int index) const {
        return index >= 0 && static_cast<std::size_t>(index) < indices_.size();
    }

    UsbDriver& inner_;
    std::string serial_;
    std::vector<int> indices_;  // the inner list's index of each interface shown
    std::atomic<int> opened_{0};
};

}  // namespace tavlin
