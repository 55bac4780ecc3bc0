#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "device/usb_driver.h"
#include "sim/virtual_instrument.h"
#include "support/fake_clock.h"

namespace tavlin::test {

using namespace ::tavlin::sim;

// SLIP framing as the program sends it: escapes, then one frame end.
inline std::vector<std::uint8_t> SlipFrame(const std::vector<std::uint8_t>& command) {
    std::vector<std::uint8_t> frame;
    for (const std::uint8_t byte : command) {
        if (byte == 0xC0) {
            frame.insert(frame.end(), {0xDB, 0xDC});
        } else if (byte == 0xDB) {
            frame.insert(frame.end(), {0xDB, 0xDD});
        } else {
            frame.push_back(byte);
        }
    }
    frame.push_back(0xC0);
    return frame;
}

// First and second words of sample pairs (16-bit two's complement, LE).
inline void DecodePairs(const std::vector<std::uint8_t>& bytes, std::vector<double>& first,
                        std::vector<double>& second) {
    first.clear();
    second.clear();
    for (std::size_t i = 0; i + 3 < bytes.size(); i += 4) {
        first.push_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
        second.push_back(static_cast<std::int16_t>(bytes[i + 2] | (bytes[i + 3] << 8)));
    }
}

// A virtual unit on a fake clock, talked to only through the UsbDriver port
// with raw bytes, the way the device link does.
class SimSession {
  public:
    explicit SimSession(const Scene& scene = DefaultScene()) : unit(clock, scene) {}

    // Opens A (index 0) and B (index 1) with the link's settings.
    void Open() {
        ASSERT_EQ(driver.OpenByIndex(0, data), kUsbOk);
        ASSERT_EQ(driver.OpenByIndex(1, command), kUsbOk);
        ASSERT_EQ(driver.SetBaudRate(command, 46667), kUsbOk);
        ASSERT_EQ(driver.SetTimeouts(command, 5000, 5000), kUsbOk);
        ASSERT_EQ(driver.SetTimeouts(data, 1000, 1000), kUsbOk);
    }

    // Open plus the power-on commands: synthesizer register 2 and the
    // sampler's initialisation sequence.
    void OpenAndInitialise() {
        Open();
        Send({'L', 0x00, 0x00, 0x4C, 0x42});
        InitialiseSampler();
    }

    void InitialiseSampler() {
        Send({'I', 0x00, 0x75});
        Send({'I', 0x38, 0x03});
        Send({'I', 0x00, 0x74});
        Send({'I', 0x00, 0x70});
        Send({'I', 0x38, 0x00});
    }

    // The synthesizer commands for INT, FRAC, MOD and k doublings, with the
    // low-band divider split, as the program sends them.
    void SendSynthesizer(int intPart, int frac, int mod, int k, bool highBand) {
        int a = k;
        int b = 4;
        if (!highBand) {
            a = 1;
            b = 0;
            while (a + b < k - 3) {
                b == 3 ? ++a : ++b;
            }
        }
        Send({'L', 0x00, static_cast<std::uint8_t>(0x86 + 16 * a), 0x41, 0xBC});
        Send({'D', static_cast<std::uint8_t>(b)});
        Send({'L', 0x08, 0x00, static_cast<std::uint8_t>(0x80 + mod / 32),
              static_cast<std::uint8_t>((mod % 32) * 8 + 1)});
        Send({'L', 0x00, static_cast<std::uint8_t>((intPart / 2) & 0xFF),
              static_cast<std::uint8_t>((intPart % 2 ? 0x80 : 0x00) + frac / 32),
              static_cast<std::uint8_t>((frac % 32) * 8)});
    }

    // LO in MHz with modulus 100, high-band or low-band command set.
    void Tune(double loMhz, bool highBand) {
        int k = 0;
        while (loMhz < 2200.0) {
            loMhz *= 2.0;
            ++k;
        }
        const int intPart = static_cast<int>(loMhz / 10.0);
        const int frac =
            std::min(99, static_cast<int>(std::lround((loMhz - 10.0 * intPart) * 10.0)));
        SendSynthesizer(intPart, frac, 100, k, highBand);
    }

    // "S" for blocks x 512 pairs; waits until all of it came and returns the
    // pairs (header checked and removed).
    void Capture(int blocks, std::vector<double>& first, std::vector<double>& second) {
        Send({'S', static_cast<std::uint8_t>(blocks)});
        const std::vector<std::uint8_t> bytes = Read(data, 4 + 4 * 512 * blocks);
        ASSERT_EQ(bytes.size(), 4u + 4u * 512u * blocks);
        ASSERT_EQ(bytes[0], 0xA5);
        DecodePairs(std::vector<std::uint8_t>(bytes.begin() + 4, bytes.end()), first, second);
    }

    // Mean power of 16384 pairs relative to full scale, in dB.
    double MeasureLevel() {
        std::vector<double> first;
        std::vector<double> second;
        Capture(32, first, second);
        double sum = 0.0;
        for (std::size_t i = 0; i < first.size(); ++i) {
            sum += first[i] * first[i] + second[i] * second[i];
        }
        return 10.0 * std::log10(sum) - 132.4532;
    }

    int Send(const std::vector<std::uint8_t>& commandBytes) {
        const std::vector<std::uint8_t> frame = SlipFrame(commandBytes);
        std::size_t written = 0;
        return driver.Write(command, frame.data(), frame.size(), written);
    }

    std::vector<std::uint8_t> Read(UsbHandle handle, std::size_t count) {
        std::vector<std::uint8_t> bytes(count);
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
