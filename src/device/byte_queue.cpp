#include "device/byte_queue.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tavlin {

namespace {

constexpr std::size_t kInitialCapacity = 64u << 10;

}  // namespace

ByteQueue::ByteQueue(std::size_t bound) : bound_(bound) {
    if (bound == 0) {
        throw std::invalid_argument("ByteQueue needs a bound above zero");
    }
}

bool ByteQueue::Append(const std::uint8_t* data, std::size_t count) {
    bool queued = false;
    {
        std::lock_guard lock(mutex_);
        if (closed_ || overflowed_) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        if (count > bound_ - size_) {
            DropAll();
            overflowed_ = true;
        } else {
            GrowFor(size_ + count);
            const std::size_t capacity = ring_.size();
            const std::size_t tail = (head_ + size_) % capacity;
            const std::size_t first = std::min(count, capacity - tail);
            std::memcpy(ring_.data() + tail, data, first);
            std::memcpy(ring_.data(), data + first, count - first);
            size_ += count;
            queued = true;
        }
    }
    // An overflow wakes a waiting reader too: its data is gone.
    arrived_.notify_all();
    return queued;
}

ByteQueue::TakeResult ByteQueue::Take(std::uint8_t* destination, std::size_t count,
                                      std::chrono::milliseconds timeout, std::size_t& taken) {
    taken = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(mutex_);
    const bool ready = arrived_.wait_until(
        lock, deadline, [&] { return size_ >= count || overflowed_ || closed_; });
    if (overflowed_) {
        return TakeResult::kOverflowed;
    }
    taken = std::min(count, size_);
    CopyOut(destination, taken);
    if (taken == count) {
        return TakeResult::kComplete;
    }
    return ready ? TakeResult::kClosed : TakeResult::kTimedOut;
}

std::size_t ByteQueue::Size() const {
    std::lock_guard lock(mutex_);
    return size_;
}

ByteQueue::Level ByteQueue::Inspect() const {
    std::lock_guard lock(mutex_);
    return Level{size_, overflowed_, closed_};
}

void ByteQueue::MarkLost() {
    {
        std::lock_guard lock(mutex_);
        DropAll();
        overflowed_ = true;
    }
    arrived_.notify_all();
}

void ByteQueue::Clear() {
    std::lock_guard lock(mutex_);
    DropAll();
    overflowed_ = false;
}

void ByteQueue::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    arrived_.notify_all();
}

bool ByteQueue::Overflowed() const {
    std::lock_guard lock(mutex_);
    return overflowed_;
}

bool ByteQueue::Closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

// Keeps the oldest byte first while the ring is re-laid into a larger one.
void ByteQueue::GrowFor(std::size_t total) {
    if (total <= ring_.size()) {
        return;
    }
    std::size_t capacity = std::max(ring_.size(), kInitialCapacity);
    while (capacity < total) {
        capacity *= 2;
    }
    capacity = std::min(capacity, bound_);
    std::vector<std::uint8_t> larger(capacity);
    const std::size_t queued = size_;
    CopyOut(larger.data(), queued);
    ring_.swap(larger);
    head_ = 0;
    size_ = queued;
}

void ByteQueue::CopyOut(std::uint8_t* destination, std::size_t count) {
    if (count == 0) {
        return;
    }
    const std::size_t capacity = ring_.size();
    const std::size_t first = std::min(count, capacity - head_);
    std::memcpy(destination, ring_.data() + head_, first);
    std::memcpy(destination + first, ring_.data(), count - first);
    head_ = (head_ + count) % capacity;
    size_ -= count;
}

void ByteQueue::DropAll() {
    head_ = 0;
    size_ = 0;
}

}  // namespace tavlin
