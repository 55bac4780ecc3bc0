#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "device/ftdi_channel_reader.h"
#include "device/usb_driver.h"

struct ftdi_context;

namespace tavlin {

// Where one interface of a dual-channel converter sits on the bus.
struct FtdiLocation {
    std::uint8_t bus = 0;
    std::uint8_t address = 0;
    int interfaceNumber = 0;  // 0 = interface A, 1 = interface B

    bool operator==(const FtdiLocation&) const = default;
};

// One open interface: its own libftdi context (one per interface, as the
// library wants it), its reader thread and receive queue, and the time-outs
// the device link asked for. Every call returns a UsbStatus.
class FtdiChannel {
  public:
    static constexpr int kDefaultTimeoutMs = 5000;

    // Opens the interface at `where`; empty with `status` set when it cannot.
    static std::unique_ptr<FtdiChannel> Open(const FtdiLocation& where, const UsbDeviceInfo& info,
                                             int& status);
    ~FtdiChannel();
    FtdiChannel(const FtdiChannel&) = delete;
    FtdiChannel& operator=(const FtdiChannel&) = delete;

    int SetBaudRate(int rate);
    int SetTimeouts(int readMs, int writeMs);
    int Write(const std::uint8_t* data, std::size_t count, std::size_t& written);
    int Read(std::uint8_t* data, std::size_t count, std::size_t& got);
    int QueueStatus(std::size_t& waiting);
    int Purge();
    int CyclePort();
    // Stops the reader, then closes the interface. Safe to call twice.
    void Close();

    const UsbDeviceInfo& Info() const { return info_; }
    const FtdiLocation& Where() const { return where_; }

  private:
    FtdiChannel(ftdi_context* context, const FtdiLocation& where, const UsbDeviceInfo& info);
    int SendClassicBaudRequest(int rate);
    std::chrono::milliseconds TaskLimit() const;

    const FtdiLocation where_;
    const UsbDeviceInfo info_;
    std::mutex contextMutex_;
    ftdi_context* context_;  // null once closed; guarded by contextMutex_
    std::atomic<int> readTimeoutMs_{kDefaultTimeoutMs};
    std::atomic<int> writeTimeoutMs_{kDefaultTimeoutMs};
    FtdiChannelReader reader_;
};

}  // namespace tavlin
