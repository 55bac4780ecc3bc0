#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace tavlin {

// A first-in first-out ring of values over one fixed store. Values go in
// and out by copy (Push, Pop), or are written and read in place where they
// lie (Back and Commit on the way in, Front and DropFront on the way out),
// so that a large value is filled and played without being copied. The ring
// has no lock: its owner guards it. A value seen through Back or Front stays
// where it is until Grow re-lays the store.
template <typename T>
class RingBuffer {
  public:
    explicit RingBuffer(std::size_t capacity = 0) : store_(capacity) {}

    std::size_t Size() const { return size_; }
    std::size_t Capacity() const { return store_.size(); }
    std::size_t Room() const { return store_.size() - size_; }

    // Copies in as many of the `count` values as there is room for, in order;
    // returns how many.
    std::size_t Push(const T* values, std::size_t count) {
        const std::size_t taken = std::min(count, Room());
        const std::size_t tail = Wrap(head_ + size_);
        const std::size_t first = std::min(taken, Capacity() - tail);
        std::copy_n(values, first, store_.data() + tail);
        std::copy_n(values + first, taken - first, store_.data());
        size_ += taken;
        return taken;
    }

    // Moves up to `count` of the oldest values to `out`; returns how many.
    std::size_t Pop(T* out, std::size_t count) {
        const std::size_t taken = std::min(count, size_);
        const std::size_t first = std::min(taken, Capacity() - head_);
        std::copy_n(store_.data() + head_, first, out);
        std::copy_n(store_.data(), taken - first, out + first);
        head_ = Wrap(head_ + taken);
        size_ -= taken;
        return taken;
    }

    // The free place after the newest value; there must be room.
    T& Back() { return store_[Wrap(head_ + size_)]; }
    // Takes the value written at Back into the ring.
    void Commit() { ++size_; }
    // The oldest value; the ring must not be empty.
    T& Front() { return store_[head_]; }
    const T& Front() const { return store_[head_]; }
    void DropFront() {
        head_ = Wrap(head_ + 1);
        --size_;
    }

    void Clear() {
        head_ = 0;
        size_ = 0;
    }

    // A larger store, the oldest value first; a smaller capacity is ignored.
    void Grow(std::size_t capacity) {
        if (capacity <= Capacity()) {
            return;
        }
        std::vector<T> larger(capacity);
        const std::size_t count = size_;
        Pop(larger.data(), count);
        store_.swap(larger);
        head_ = 0;
        size_ = count;
    }

  private:
    // head_ and size_ are each at most the capacity, so one turn is enough.
    std::size_t Wrap(std::size_t index) const {
        return index < Capacity() ? index : index - Capacity();
    }

    std::vector<T> store_;
    std::size_t head_ = 0;  // index of the oldest value
    std::size_t size_ = 0;
};

}  // namespace tavlin
