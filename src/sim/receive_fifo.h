#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavlin::sim {

// The converter's receive buffer of one channel: a bounded first-in
// first-out byte queue. Bytes that do not fit are refused, as a full FIFO
// drops what the far end keeps sending.
class ReceiveFifo {
  public:
    explicit ReceiveFifo(std::size_t capacity);

    std::size_t Size() const { return size_; }
    std::size_t Capacity() const { return storage_.size(); }
    std::size_t Room() const { return storage_.size() - size_; }

    // Returns how many bytes were taken (all, or as many as fitted).
    std::size_t Push(const std::uint8_t* data, std::size_t count);
    // Moves up to `count` bytes to `out`; returns how many.
    std::size_t Pop(std::uint8_t* out, std::size_t count);
    void Clear();

  private:
    std::vector<std::uint8_t> storage_;
    std::size_t head_ = 0;  // index of the oldest byte
    std::size_t size_ = 0;
};

}  // namespace tavlin::sim
