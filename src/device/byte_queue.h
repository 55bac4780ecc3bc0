#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "base/ring_buffer.h"

namespace tavlin {

// The receive queue of one USB channel: a reader thread appends what the
// converter delivers, the device link takes it out. The queue is bounded: a
// consumer that falls behind must not make the program eat all memory. When an
// append would pass the bound, every queued byte is dropped and the queue
// stays "overflowed" until Clear: the bytes after a gap are not the
// continuation of what was read before, so they are refused too, and every
// take and inspection reports the overflow until the receiver is purged. A
// transfer that failed on the bus leaves the same kind of gap (MarkLost).
//
// Close is final: it wakes every waiter, later appends are refused and takes
// no longer wait (they hand out what is left).
class ByteQueue {
  public:
    // Well above the largest burst the instrument sends at once (a 255-block
    // capture is about 510 KiB).
    static constexpr std::size_t kDefaultBound = 4u << 20;

    enum class TakeResult {
        kComplete,    // every byte asked for was taken
        kTimedOut,    // the time-out passed: what was queued was taken
        kOverflowed,  // data was lost; nothing taken until Clear
        kClosed,      // closed before enough bytes came: what was left was taken
    };

    struct Level {
        std::size_t size = 0;
        bool overflowed = false;
        bool closed = false;
    };

    explicit ByteQueue(std::size_t bound = kDefaultBound);
    ByteQueue(const ByteQueue&) = delete;
    ByteQueue& operator=(const ByteQueue&) = delete;

    // False when the bytes were not queued (the bound was passed now or
    // earlier, or the queue is closed).
    bool Append(const std::uint8_t* data, std::size_t count);

    // Waits until `count` bytes are queued, the time-out passes, the queue
    // overflows or closes, then takes up to `count` bytes into `destination`.
    TakeResult Take(std::uint8_t* destination, std::size_t count, std::chrono::milliseconds timeout,
                    std::size_t& taken);

    std::size_t Size() const;
    Level Inspect() const;
    // Bytes were lost on the way in: the queue is emptied and reports an
    // overflow until Clear, so that nothing after the gap is spliced on.
    void MarkLost();
    // Drops every queued byte and forgets an overflow (not a close).
    void Clear();
    void Close();

    bool Overflowed() const;
    bool Closed() const;
    std::size_t Bound() const { return bound_; }

  private:
    void GrowFor(std::size_t total);

    const std::size_t bound_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    RingBuffer<std::uint8_t> ring_;  // capacity grows by doubling up to the bound
    bool overflowed_ = false;
    bool closed_ = false;
};

}  // namespace tavlin
