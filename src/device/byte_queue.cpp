#include "device/byte_queue.h"

#include <algorithm>
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
        if (count > bound_ - ring_.Size()) {
            ring_.Clear();
            overflowed_ = true;
        } else {
            GrowFor(ring_.Size() + count);
            ring_.Push(data, count);
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
        lock, deadline, [&] { return ring_.Size() >= count || overflowed_ || closed_; });
    if (overflowed_) {
        return TakeResult::kOverflowed;
    }
    taken = ring_.Pop(destination, count);
    if (taken == count) {
        return TakeResult::kComplete;
    }
    return ready ? TakeResult::kClosed : TakeResult::kTimedOut;
}

std::size_t ByteQueue::Size() const {
    std::lock_guard lock(mutex_);
    return ring_.Size();
}

ByteQueue::Level ByteQueue::Inspect() const {
    std::lock_guard lock(mutex_);
    return Level{ring_.Size(), overflowed_, closed_};
}

void ByteQueue::MarkLost() {
    {
        std::lock_guard lock(mutex_);
        ring_.Clear();
        overflowed_ = true;
    }
    arrived_.notify_all();
}

void ByteQueue::Clear() {
    std::lock_guard lock(mutex_);
    ring_.Clear();
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

// Doubles from the initial capacity until the total fits, never past the
// bound; the ring keeps the oldest byte first.
void ByteQueue::GrowFor(std::size_t total) {
    if (total <= ring_.Capacity()) {
        return;
    }
    std::size_t capacity = std::max(ring_.Capacity(), kInitialCapacity);
    while (capacity < total) {
        capacity *= 2;
    }
    ring_.Grow(std::min(capacity, bound_));
}

}  // namespace tavlin
