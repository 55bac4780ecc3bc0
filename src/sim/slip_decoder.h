#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavlin::sim {

// Reassembles SLIP-framed commands from the bytes written to the command
// channel. Frames end with 0xC0 and may arrive split across writes; 0xDB 0xDC
// stands for 0xC0 and 0xDB 0xDD for 0xDB. Empty frames are dropped, and a
// frame that grows past the longest command is discarded whole, so garbage on
// the line can neither grow memory nor be taken for a command.
class SlipDecoder {
  public:
    static constexpr std::uint8_t kEnd = 0xC0;
    static constexpr std::uint8_t kEscape = 0xDB;
    static constexpr std::uint8_t kEscapedEnd = 0xDC;
    static constexpr std::uint8_t kEscapedEscape = 0xDD;
    static constexpr std::size_t kMaxFrameBytes = 16;

    // Appends every frame completed by these bytes to `frames`.
    void Feed(const std::uint8_t* data, std::size_t count,
              std::vector<std::vector<std::uint8_t>>& frames);

    // Forgets a partly received frame (the unit was reset).
    void Reset();

    std::size_t DiscardedFrames() const { return discarded_; }

  private:
    void Append(std::uint8_t byte);

    std::vector<std::uint8_t> frame_;
    bool escaped_ = false;
    bool overlong_ = false;
    std::size_t discarded_ = 0;
};

}  // namespace tavlin::sim
