#include "sim/cal_memory.h"

namespace tavlin::sim {

namespace {

bool Matches(const std::uint8_t* args, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2,
             std::uint8_t b3) {
    return args[0] == b0 && args[1] == b1 && args[2] == b2 && args[3] == b3;
}

}  // namespace

bool CalMemory::Handle(const std::uint8_t* args, std::array<std::uint8_t, 4>& reply) {
    if (args[0] == 0xFF && args[1] == 0x01) {
        Read(args[2] + 256u * args[3], reply);
        return true;
    }
    if (Matches(args, 0xFF, 0x14, 0x25, 0x36)) {
        if (mode_ != Mode::Locked) {
            bytes_.fill(0xFF);
            mode_ = Mode::Locked;
        }
        return false;
    }
    if (Matches(args, 0xFF, 0x15, 0x26, 0x37) && mode_ != Mode::Writing) {
        mode_ = Mode::Open;
        nextAddress_ = 0;
        return false;
    }
    if (mode_ != Mode::Locked) {
        WriteWord(args);
    }
    return false;
}

void CalMemory::Read(std::size_t address, std::array<std::uint8_t, 4>& reply) const {
    for (std::size_t i = 0; i < reply.size(); ++i) {
        reply[i] = bytes_[(address + i) % kBytes];
    }
}

void CalMemory::WriteWord(const std::uint8_t* word) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes_[nextAddress_ + i] &= word[i];
    }
    nextAddress_ += 4;
    mode_ = Mode::Writing;
    if (nextAddress_ >= kBytes) {
        mode_ = Mode::Locked;
        nextAddress_ = 0;
    }
}

}  // namespace tavlin::sim
