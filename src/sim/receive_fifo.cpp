#include "sim/receive_fifo.h"

#include <algorithm>
#include <cstring>

namespace tavlin::sim {

ReceiveFifo::ReceiveFifo(std::size_t capacity) : storage_(capacity) {}

std::size_t ReceiveFifo::Push(const std::uint8_t* data, std::size_t count) {
    const std::size_t taken = std::min(count, Room());
    const std::size_t capacity = storage_.size();
    std::size_t tail = (head_ + size_) % std::max<std::size_t>(capacity, 1);
    std::size_t done = 0;
    while (done < taken) {
        const std::size_t run = std::min(taken - done, capacity - tail);
        std::memcpy(storage_.data() + tail, data + done, run);
        done += run;
        tail = (tail + run) % capacity;
    }
    size_ += taken;
    return taken;
}

std::size_t ReceiveFifo::Pop(std::uint8_t* out, std::size_t count) {
    const std::size_t taken = std::min(count, size_);
    const std::size_t capacity = storage_.size();
    std::size_t done = 0;
    while (done < taken) {
        const std::size_t run = std::min(taken - done, capacity - head_);
        std::memcpy(out + done, storage_.data() + head_, run);
        done += run;
        head_ = (head_ + run) % capacity;
    }
    size_ -= taken;
    if (size_ == 0) {
        head_ = 0;
    }
    return taken;
}

void ReceiveFifo::Clear() {
    head_ = 0;
    size_ = 0;
}

}  // namespace tavlin::sim
