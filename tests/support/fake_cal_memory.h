#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "fake_clock.h"
#include "scripted_usb_driver.h"

namespace tavlin::test {

// The instrument's 4096-byte calibration memory behind a ScriptedUsbDriver:
// answers "E" reads on the command channel and records every "E" command.
class FakeCalMemory {
  public:
    struct Command {
        std::vector<std::uint8_t> bytes;  // after the opcode
    };

    static constexpr UsbHandle kCommandHandle = 2;  // channel B of AddGenuinePair

    explicit FakeCalMemory(ScriptedUsbDriver& driver) : driver_(driver) {
        memory.fill(0x80);
        driver_.onWrite = [this](UsbHandle handle, const std::vector<std::uint8_t>& frame) {
            if (handle == kCommandHandle) {
                Handle(UnSlip(frame));
            }
        };
    }

    // Fills the memory with a recognisable pattern (no byte pair 0xFF 0x01).
    void FillPattern() {
        for (std::size_t i = 0; i < memory.size(); ++i) {
            memory[i] = static_cast<std::uint8_t>((i * 7 + i / 256) % 251);
        }
        // Fields a working unit can have: a clear blank mark, flat IF
        // responses, level references and gain steps near their centres and
        // a reference oscillator 1.2 ppm off.
        memory[0] = 0;
        std::fill_n(memory.begin() + 2436, 104, 100);
        for (const auto& [offset, word] : {std::pair{2540, 128},
                                           {2542, 128},
                                           {2544, 28500},
                                           {2546, 32000},
                                           {2548, 32768 + 1200}}) {
            memory[offset] = static_cast<std::uint8_t>(word & 0xFF);
            memory[offset + 1] = static_cast<std::uint8_t>(word >> 8);
        }
    }

    std::array<std::uint8_t, 4096> memory{};
    std::set<int> shortReplyAt;  // word addresses answered with only 2 bytes
    std::vector<Command> commands;

    int Reads() const {
        int n = 0;
        for (const Command& c : commands) {
            n += c.bytes.size() == 4 && c.bytes[0] == 0xFF && c.bytes[1] == 0x01;
        }
        return n;
    }

  private:
    void Handle(const std::vector<std::uint8_t>& command) {
        if (command.size() != 5 || command[0] != 'E') {
            return;
        }
        const std::vector<std::uint8_t> word(command.begin() + 1, command.end());
        commands.push_back({word});
        if (word[0] == 0xFF && word[1] == 0x01) {
            const int address = word[2] + 256 * word[3];
            std::vector<std::uint8_t> reply(memory.begin() + address, memory.begin() + address + 4);
            if (shortReplyAt.count(address) != 0) {
                reply.resize(2);
            }
            driver_.QueueReceive(kCommandHandle, reply);
        }
    }

    ScriptedUsbDriver& driver_;
};

}  // namespace tavlin::test
