#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tavlin::sim {

// The unit's 4096-byte calibration flash and its "E" command forms:
//   FF 01 lo hi   read the 4 bytes at address lo + 256 hi (answered)
//   FF 15 26 37   open for writing; the next data word goes to address 0
//   FF 14 25 36   erase (only when open): every byte 0xFF, memory locked
//   anything else a data word at the next address of an open sequence
// Like flash, a write can only clear bits, so a table written without an
// erase reads back damaged. Once a write sequence has begun, the opening
// pattern is stored as data: the program substitutes only the erase and read
// patterns in its data words, so this is the only reading under which every
// table it sends is stored as sent.
class CalMemory {
  public:
    static constexpr std::size_t kBytes = 4096;
    using Image = std::array<std::uint8_t, kBytes>;

    explicit CalMemory(const Image& contents) : bytes_(contents) {}

    // Handles the four argument bytes of an "E" command. Returns true when
    // the form is a read, with its answer in `reply`.
    bool Handle(const std::uint8_t* args, std::array<std::uint8_t, 4>& reply);

    // Power cycle: an open sequence is abandoned, the contents stay.
    void PowerCycle() { mode_ = Mode::Locked; }

    const Image& Bytes() const { return bytes_; }
    bool WriteSequenceOpen() const { return mode_ != Mode::Locked; }
    std::size_t NextWriteAddress() const { return nextAddress_; }

  private:
    enum class Mode { Locked, Open, Writing };

    void Read(std::size_t address, std::array<std::uint8_t, 4>& reply) const;
    void WriteWord(const std::uint8_t* word);

    Image bytes_;
    Mode mode_ = Mode::Locked;
    std::size_t nextAddress_ = 0;
};

}  // namespace tavlin::sim
