#pragma once

#include "device/usb_driver.h"

namespace tavlin::test {

// Passes every call to another driver; a test overrides the calls it wants
// to watch (counting commands, recording frames, acting after a block).
class ForwardingUsbDriver : public UsbDriver {
  public:
    explicit ForwardingUsbDriver(UsbDriver& inner) : inner_(inner) {}

    int DeviceCount(int& c) override { return inner_.DeviceCount(c); }
    int DeviceInfo(int i, UsbDeviceInfo& info) override { return inner_.DeviceInfo(i, info); }
    int OpenByIndex(int i, UsbHandle& h) override { return inner_.OpenByIndex(i, h); }
    int SetBaudRate(UsbHandle h, int r) override { return inner_.SetBaudRate(h, r); }
    int SetTimeouts(UsbHandle h, int r, int w) override { return inner_.SetTimeouts(h, r, w); }
    int Write(UsbHandle h, const std::uint8_t* d, std::size_t n, std::size_t& w) override {
        return inner_.Write(h, d, n, w);
    }
    int Read(UsbHandle h, std::uint8_t* d, std::size_t n, std::size_t& g) override {
        return inner_.Read(h, d, n, g);
    }
    int QueueStatus(UsbHandle h, std::size_t& w) override { return inner_.QueueStatus(h, w); }
    int Purge(UsbHandle h) override { return inner_.Purge(h); }
    int HandleInfo(UsbHandle h, UsbDeviceInfo& info) override { return inner_.HandleInfo(h, info); }
    int CyclePort(UsbHandle h) override { return inner_.CyclePort(h); }
    int Close(UsbHandle h) override { return inner_.Close(h); }

  protected:
    UsbDriver& inner_;
};

}  // namespace tavlin::test
