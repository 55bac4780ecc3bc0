#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "device/usb_driver.h"

namespace tavlin::test {

// A USB driver whose devices, open results and receive queues a test scripts,
// and which records every call. Handles are index + 1.
class ScriptedUsbDriver final : public UsbDriver {
  public:
    struct Device {
        UsbDeviceInfo info;
        int failOpens = 0;  // this many opens fail before one succeeds (-1: always)
    };

    std::vector<Device> devices;
    bool failWrites = false;
    // Called after each write with the handle and the frame, to queue replies.
    std::function<void(UsbHandle, const std::vector<std::uint8_t>&)> onWrite;
    // What arrives on a handle right after it is purged (data sent on).
    std::function<std::vector<std::uint8_t>(UsbHandle)> onPurge;

    static UsbDeviceInfo Info(const std::string& description, bool open = false,
                              const std::string& serial = "TV000123") {
        return UsbDeviceInfo{open, serial, description};
    }
    void AddGenuinePair() {
        devices.push_back({Info("Tavlin A", false, "TV000123A"), 0});
        devices.push_back({Info("Tavlin B", false, "TV000123B"), 0});
    }

    int DeviceCount(int& count) override {
        std::lock_guard lock(mutex_);
        Log("count");
        count = static_cast<int>(devices.size());
        return kUsbOk;
    }
    int DeviceInfo(int index, UsbDeviceInfo& info) override {
        std::lock_guard lock(mutex_);
        if (index < 0 || index >= static_cast<int>(devices.size())) {
            return kUsbDeviceNotFound;
        }
        info = devices[index].info;
        return kUsbOk;
    }
    int OpenByIndex(int index, UsbHandle& handle) override {
        std::lock_guard lock(mutex_);
        Log("open " + std::to_string(index));
        if (index < 0 || index >= static_cast<int>(devices.size())) {
            return kUsbDeviceNotFound;
        }
        Device& d = devices[index];
        if (d.failOpens != 0) {
            if (d.failOpens > 0) {
                --d.failOpens;
            }
            return kUsbDeviceNotOpened;
        }
        handle = index + 1;
        open_[handle] = true;
        return kUsbOk;
    }
    int SetBaudRate(UsbHandle handle, int rate) override {
        std::lock_guard lock(mutex_);
        Log("rate " + std::to_string(handle) + " " + std::to_string(rate));
        return kUsbOk;
    }
    int SetTimeouts(UsbHandle handle, int readMs, int writeMs) override {
        std::lock_guard lock(mutex_);
        Log("timeouts " + std::to_string(handle) + " " + std::to_string(readMs) + " " +
            std::to_string(writeMs));
        return kUsbOk;
    }
    int Write(UsbHandle handle, const std::uint8_t* data, std::size_t count,
              std::size_t& written) override {
        std::function<void(UsbHandle, const std::vector<std::uint8_t>&)> hook;
        std::vector<std::uint8_t> frame(data, data + count);
        {
            std::lock_guard lock(mutex_);
            if (!IsOpen(handle) || failWrites) {
                written = 0;
                return kUsbIoError;
            }
            writes_[handle].push_back(frame);
            Log("write " + std::to_string(handle));
            written = count;
            hook = onWrite;
        }
        if (hook) {
            hook(handle, frame);
        }
        return kUsbOk;
    }
    int Read(UsbHandle handle, std::uint8_t* data, std::size_t count, std::size_t& got) override {
        std::lock_guard lock(mutex_);
        got = 0;
        if (!IsOpen(handle)) {
            return kUsbInvalidHandle;
        }
        auto& queue = rx_[handle];
        while (got < count && !queue.empty()) {
            data[got++] = queue.front();
            queue.pop_front();
        }
        return kUsbOk;
    }
    int QueueStatus(UsbHandle handle, std::size_t& waiting) override {
        std::lock_guard lock(mutex_);
        waiting = IsOpen(handle) ? rx_[handle].size() : 0;
        return IsOpen(handle) ? kUsbOk : kUsbInvalidHandle;
    }
    int Purge(UsbHandle handle) override {
        std::lock_guard lock(mutex_);
        Log("purge " + std::to_string(handle));
        rx_[handle].clear();
        if (onPurge) {
            const std::vector<std::uint8_t> late = onPurge(handle);
            rx_[handle].assign(late.begin(), late.end());
        }
        return kUsbOk;
    }
    int HandleInfo(UsbHandle handle, UsbDeviceInfo& info) override {
        std::lock_guard lock(mutex_);
        if (!IsOpen(handle)) {
            return kUsbInvalidHandle;
        }
        info = devices[handle - 1].info;
        return kUsbOk;
    }
    int CyclePort(UsbHandle handle) override {
        std::lock_guard lock(mutex_);
        Log("cycle " + std::to_string(handle));
        return kUsbOk;
    }
    int Close(UsbHandle handle) override {
        std::lock_guard lock(mutex_);
        Log("close " + std::to_string(handle));
        open_[handle] = false;
        return kUsbOk;
    }

    // --- Test side ----------------------------------------------------------
    void QueueReceive(UsbHandle handle, const std::vector<std::uint8_t>& bytes) {
        std::lock_guard lock(mutex_);
        rx_[handle].insert(rx_[handle].end(), bytes.begin(), bytes.end());
    }
    std::size_t Queued(UsbHandle handle) {
        std::lock_guard lock(mutex_);
        return rx_[handle].size();
    }
    std::vector<std::vector<std::uint8_t>> Writes(UsbHandle handle) {
        std::lock_guard lock(mutex_);
        return writes_[handle];
    }
    void ClearWrites() {
        std::lock_guard lock(mutex_);
        writes_.clear();
    }
    std::vector<std::string> Calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    void ClearCalls() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }

  private:
    bool IsOpen(UsbHandle handle) {
        auto it = open_.find(handle);
        return it != open_.end() && it->second;
    }
    void Log(std::string call) { calls_.push_back(std::move(call)); }

    std::mutex mutex_;
    std::map<UsbHandle, bool> open_;
    std::map<UsbHandle, std::deque<std::uint8_t>> rx_;
    std::map<UsbHandle, std::vector<std::vector<std::uint8_t>>> writes_;
    std::vector<std::string> calls_;
};

// Removes the SLIP escaping and the frame end of one written frame.
inline std::vector<std::uint8_t> UnSlip(const std::vector<std::uint8_t>& frame) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        if (frame[i] == 0xC0) {
            break;
        }
        if (frame[i] == 0xDB && i + 1 < frame.size()) {
            out.push_back(frame[i + 1] == 0xDC ? 0xC0 : 0xDB);
            ++i;
        } else {
            out.push_back(frame[i]);
        }
    }
    return out;
}

}  // namespace tavlin::test
