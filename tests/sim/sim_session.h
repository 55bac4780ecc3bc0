#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "device/usb_driver.h"
#include "sim/virtual_instrument.h"
#include "support/fake_clock.h"

namespace tavlin::test {

using namespace ::tavlin::sim;
using Bytes = std::vector<std::uint8_t>;

// A virtual unit on a fake clock, talked to only through the UsbDriver port
// with raw bytes, the way the device link does.
class SimSession {
  public:
    explicit SimSession(const Scene& scene = DefaultScene()) : unit(clock, scene) {}

    // Opens A (index 0) and B (index 1) with the link's settings, then sends
    // the power-on commands: synthesizer register 2 and the sampler's start.
    void Open() {
        ASSERT_EQ(driver.OpenByIndex(0, data), kUsbOk);
        ASSERT_EQ(driver.OpenByIndex(1, command), kUsbOk);
        ASSERT_EQ(driver.SetBaudRate(command, 46667), kUsbOk);
        ASSERT_EQ(driver.SetTimeouts(command, 5000, 5000), kUsbOk);
        ASSERT_EQ(driver.SetTimeouts(data, 1000, 1000), kUsbOk);
        Send({'L', 0x00, 0x00, 0x4C, 0x42});
        InitialiseSampler();
    }

    void InitialiseSampler() {
        for (const Bytes& c :
             {Bytes{'I', 0x00, 0x75}, Bytes{'I', 0x38, 0x03}, Bytes{'I', 0x00, 0x74},
              Bytes{'I', 0x00, 0x70}, Bytes{'I', 0x38, 0x00}}) {
            Send(c);
        }
    }

    // SLIP framing as the program sends it: escapes, then one frame end.
    int Send(const Bytes& commandBytes) {
        Bytes frame;
        for (const std::uint8_t byte : commandBytes) {
            if (byte == 0xC0) {
                frame.insert(frame.end(), {0xDB, 0xDC});
            } else if (byte == 0xDB) {
                frame.insert(frame.end(), {0xDB, 0xDD});
            } else {
                frame.push_back(byte);
            }
        }
        frame.push_back(0xC0);
        std::size_t written = 0;
        return driver.Write(command, frame.data(), frame.size(), written);
    }

    Bytes Read(UsbHandle handle, std::size_t count) {
        Bytes bytes(count);
        std::size_t got = 0;
        EXPECT_EQ(driver.Read(handle, bytes.data(), count, got), kUsbOk);
        bytes.resize(got);
        return bytes;
    }

    std::size_t Waiting(UsbHandle handle) {
        std::size_t waiting = 0;
        driver.QueueStatus(handle, waiting);
        return waiting;
    }

    FakeClock clock;
    VirtualInstrument unit;
    UsbDriver& driver = unit;
    UsbHandle data = kNoHandle;
    UsbHandle command = kNoHandle;
};

}  // namespace tavlin::test
