#include "device/byte_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

namespace tavlin {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;
using TakeResult = ByteQueue::TakeResult;

// A long time-out for takes that must not wait for it: if one does, the test
// shows it as a hang of a few seconds rather than passing.
constexpr milliseconds kNoWait{5000};

// Bytes start, start + 1, ... so that a lost, doubled or reordered byte shows.
Bytes Sequence(std::size_t count, std::uint8_t start = 0) {
    Bytes bytes(count);
    std::iota(bytes.begin(), bytes.end(), start);
    return bytes;
}

bool Put(ByteQueue& queue, const Bytes& bytes) {
    return queue.Append(bytes.data(), bytes.size());
}

// Takes up to `count` bytes into `out` (resized to what was taken).
TakeResult Take(ByteQueue& queue, std::size_t count, Bytes& out, milliseconds wait = kNoWait) {
    out.assign(count, 0);
    std::size_t taken = 0;
    const TakeResult result = queue.Take(out.data(), count, wait, taken);
    out.resize(taken);
    return result;
}

TEST(ByteQueueTest, TakeWaitsForTheWholeCountOrTheTimeOut) {
    ByteQueue queue;
    std::thread producer([&] {
        Put(queue, Sequence(100));
        std::this_thread::sleep_for(milliseconds(20));
        Put(queue, Sequence(50, 100));
    });
    Bytes out;
    EXPECT_EQ(Take(queue, 150, out), TakeResult::kComplete);
    producer.join();
    EXPECT_EQ(out, Sequence(150));

    Put(queue, Sequence(10));
    Bytes raw(16, 0xEE);
    std::size_t taken = 0;
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(queue.Take(raw.data(), raw.size(), milliseconds(30), taken), TakeResult::kTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - before, milliseconds(30));
    EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 10), Sequence(10));
    EXPECT_EQ(taken, 10u);
    EXPECT_EQ(raw[10], 0xEE) << "bytes past what was taken must stay untouched";
    EXPECT_EQ(Take(queue, 4, out, milliseconds(0)), TakeResult::kTimedOut);
    EXPECT_TRUE(out.empty());
}

TEST(ByteQueueTest, PassingTheBoundDropsEverythingUntilCleared) {
    ByteQueue queue(1000);
    EXPECT_TRUE(Put(queue, Sequence(1000))) << "exactly the bound still fits";
    EXPECT_FALSE(Put(queue, Sequence(1)));
    EXPECT_TRUE(queue.Overflowed());
    EXPECT_EQ(queue.Size(), 0u) << "an overflowed queue holds nothing";
    // The bytes after the gap do not continue the stream: refused as well.
    EXPECT_FALSE(Put(queue, Sequence(10)));
    EXPECT_TRUE(queue.Inspect().overflowed);
    Bytes out;
    EXPECT_EQ(Take(queue, 10, out), TakeResult::kOverflowed);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(queue.Overflowed()) << "reported until the receiver is purged";

    queue.Clear();
    EXPECT_FALSE(queue.Overflowed());
    EXPECT_TRUE(Put(queue, Sequence(4, 0xA5)));
    EXPECT_EQ(Take(queue, 4, out), TakeResult::kComplete);
    EXPECT_EQ(out, Sequence(4, 0xA5));

    ByteQueue small(64);  // one append larger than the bound overflows an empty queue
    EXPECT_FALSE(Put(small, Sequence(65)));
    EXPECT_TRUE(small.Overflowed());
}

TEST(ByteQueueTest, OverflowWakesABlockedTake) {
    ByteQueue queue(100);
    Bytes out{1};
    TakeResult result = TakeResult::kComplete;
    std::thread consumer([&] { result = Take(queue, 80, out); });
    Put(queue, Sequence(60));
    Put(queue, Sequence(60));
    consumer.join();
    // Either the consumer saw the first 60 bytes (not enough) and then the
    // overflow, or it started late and found the overflow at once.
    EXPECT_EQ(result, TakeResult::kOverflowed);
    EXPECT_TRUE(out.empty());
}

TEST(ByteQueueTest, CloseWakesABlockedTakeWithWhatIsLeftAndIsFinal) {
    ByteQueue queue;
    Put(queue, Sequence(3));
    Bytes out;
    TakeResult result = TakeResult::kComplete;
    std::thread consumer([&] { result = Take(queue, 8, out, milliseconds(60000)); });
    std::this_thread::sleep_for(milliseconds(10));
    const auto before = std::chrono::steady_clock::now();
    queue.Close();
    consumer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - before, milliseconds(30000));
    EXPECT_EQ(result, TakeResult::kClosed);
    EXPECT_EQ(out, Sequence(3));

    EXPECT_FALSE(Put(queue, Sequence(3)));
    queue.Clear();
    EXPECT_TRUE(queue.Closed()) << "a purge does not reopen a closed queue";
    EXPECT_EQ(Take(queue, 1, out, milliseconds(60000)), TakeResult::kClosed);
    EXPECT_TRUE(out.empty());
}

// The producer waits for room, as a reader thread facing a slow consumer
// does, so that this test checks ordering only.
TEST(ByteQueueTest, ConcurrentProducerAndConsumerLoseNothing) {
    ByteQueue queue(1u << 16);
    constexpr std::size_t kTotal = 2'000'000;
    const auto byteAt = [](std::size_t i) { return static_cast<std::uint8_t>(i * 31 + 7); };
    std::thread producer([&] {
        std::mt19937 random(7);
        for (std::size_t sent = 0; sent < kTotal;) {
            Bytes chunk(std::min<std::size_t>(1 + random() % 5000, kTotal - sent));
            for (std::uint8_t& byte : chunk) {
                byte = byteAt(sent++);
            }
            while (queue.Size() + chunk.size() > queue.Bound()) {
                std::this_thread::yield();
            }
            if (!Put(queue, chunk)) {
                ADD_FAILURE() << "append refused after " << sent << " bytes";
                queue.Close();
                return;
            }
        }
    });
    std::mt19937 random(11);
    std::size_t received = 0;
    std::size_t mismatches = 0;
    for (Bytes out; received < kTotal;) {
        const std::size_t count = std::min<std::size_t>(1 + random() % 8192, kTotal - received);
        const TakeResult result = Take(queue, count, out, milliseconds(2));
        for (const std::uint8_t byte : out) {
            mismatches += byte != byteAt(received++);
        }
        if (result == TakeResult::kOverflowed || (result == TakeResult::kClosed && out.empty())) {
            break;
        }
    }
    producer.join();
    EXPECT_EQ(received, kTotal);
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(queue.Size(), 0u);
}

}  // namespace
}  // namespace tavlin
