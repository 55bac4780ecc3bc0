#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <vector>

#include "fake_clock.h"
#include "scripted_usb_driver.h"

namespace tavlin::test {

// The instrument's 4096-byte calibration memory behind a ScriptedUsbDriver:
// answers "E" reads on the command channel and carries out the opening,
// erase and data-word forms. Records every "E" command with the virtual time
// at which it was written.
class FakeCalMemory {
  public:
    struct Command {
        std::vector<std::uint8_t> bytes;  // after the opcode
        long long atMs;
    };

    static constexpr UsbHandle kCommandHandle = 2;  // channel B of AddGenuinePair

    FakeCalMemory(ScriptedUsbDriver& driver, const FakeClock& clock)
        : driver_(driver), clock_(clock) {
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
        commands.push_back({word, clock_.TotalSleptMs()});
        if (word[0] == 0xFF && word[1] == 0x01) {
            const int address = word[2] + 256 * word[3];
            std::vector<std::uint8_t> reply(memory.begin() + address, memory.begin() + address + 4);
            if (shortReplyAt.count(address) != 0) {
                reply.resize(2);
            }
            driver_.QueueReceive(kCommandHandle, reply);
        } else if (word == std::vector<std::uint8_t>{0xFF, 0x15, 0x26, 0x37}) {
            writing_ = true;
            nextAddress_ = 0;
        } else if (word == std::vector<std::uint8_t>{0xFF, 0x14, 0x25, 0x36}) {
            if (writing_) {
                memory.fill(0xFF);
            }
            writing_ = false;
        } else if (writing_ && nextAddress_ < 4096) {
            std::copy(word.begin(), word.end(), memory.begin() + nextAddress_);
            nextAddress_ += 4;
        }
    }

    ScriptedUsbDriver& driver_;
    const FakeClock& clock_;
    bool writing_ = false;
    int nextAddress_ = 0;
};

}  // namespace tavlin::test
