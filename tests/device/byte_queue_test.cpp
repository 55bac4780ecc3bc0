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
using TakeResult = ByteQueue::TakeResult;

// Bytes 0, 1, 2, ... so that a lost, doubled or reordered byte shows.
std::vector<std::uint8_t> Sequence(std::size_t count, std::uint8_t start = 0) {
    std::vector<std::uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), start);
    return bytes;
}

// A long time-out for takes that must not wait for it: if one does, the test
// shows it as a hang of a few seconds rather than passing.
constexpr milliseconds kNoWait{5000};

TEST(ByteQueueTest, TakeWaitsUntilTheWholeCountArrived) {
    ByteQueue queue;
    const auto first = Sequence(100);
    const auto second = Sequence(50, 100);
    std::thread producer([&] {
        queue.Append(first.data(), first.size());
        std::this_thread::sleep_for(milliseconds(20));
        queue.Append(second.data(), second.size());
    });
    std::vector<std::uint8_t> out(150);
    std::size_t taken = 0;
    EXPECT_EQ(queue.Take(out.data(), out.size(), kNoWait, taken), TakeResult::kComplete);
    producer.join();
    EXPECT_EQ(taken, 150u);
    EXPECT_EQ(out, Sequence(150));
    EXPECT_EQ(queue.Size(), 0u);
}

TEST(ByteQueueTest, TimedOutTakeHandsOutWhatCameAndWaitedTheTimeOut) {
    ByteQueue queue;
    const auto bytes = Sequence(10);
    queue.Append(bytes.data(), bytes.size());
    std::vector<std::uint8_t> out(16, 0xEE);
    std::size_t taken = 0;
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(queue.Take(out.data(), out.size(), milliseconds(30), taken), TakeResult::kTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - before, milliseconds(30));
    EXPECT_EQ(taken, 10u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), out.begin()));
    EXPECT_EQ(out[10], 0xEE) << "bytes past what was taken must stay untouched";
    EXPECT_EQ(queue.Size(), 0u);

    EXPECT_EQ(queue.Take(out.data(), 4, milliseconds(0), taken), TakeResult::kTimedOut);
    EXPECT_EQ(taken, 0u);
}

TEST(ByteQueueTest, PartialTakesKeepOrderAcrossWrapAndGrowth) {
    ByteQueue queue(1u << 20);
    std::vector<std::uint8_t> expected;
    std::vector<std::uint8_t> received;
    std::uint8_t next = 0;
    // Leave a remainder each round so the ring's head walks around it, then
    // append enough that the ring has to grow while its contents wrap.
    const std::size_t appends[] = {40000, 30000, 50000, 20000, 150000, 70000, 3};
    const std::size_t takes[] = {35000, 30000, 40000, 10000, 100000, 60000, 85003};
    for (std::size_t round = 0; round < std::size(appends); ++round) {
        auto chunk = Sequence(appends[round], next);
        next = static_cast<std::uint8_t>(next + appends[round]);
        expected.insert(expected.end(), chunk.begin(), chunk.end());
        ASSERT_TRUE(queue.Append(chunk.data(), chunk.size()));
        std::vector<std::uint8_t> out(takes[round]);
        std::size_t taken = 0;
        ASSERT_EQ(queue.Take(out.data(), out.size(), kNoWait, taken), TakeResult::kComplete);
        received.insert(received.end(), out.begin(), out.end());
    }
    EXPECT_EQ(queue.Size(), 0u);
    EXPECT_EQ(received, expected);
}

TEST(ByteQueueTest, ClearDropsTheBytesAndLaterDataStartsFresh) {
    ByteQueue queue;
    const auto stale = Sequence(500);
    queue.Append(stale.data(), stale.size());
    queue.Clear();
    EXPECT_EQ(queue.Size(), 0u);
    const auto fresh = Sequence(4, 0xA5);
    queue.Append(fresh.data(), fresh.size());
    std::vector<std::uint8_t> out(4);
    std::size_t taken = 0;
    EXPECT_EQ(queue.Take(out.data(), 4, kNoWait, taken), TakeResult::kComplete);
    EXPECT_EQ(out, fresh);
}

TEST(ByteQueueTest, PassingTheBoundDropsEverythingUntilCleared) {
    ByteQueue queue(1000);
    EXPECT_EQ(queue.Bound(), 1000u);
    const auto full = Sequence(1000);
    EXPECT_TRUE(queue.Append(full.data(), full.size())) << "exactly the bound still fits";
    const std::uint8_t extra = 1;
    EXPECT_FALSE(queue.Append(&extra, 1));
    EXPECT_TRUE(queue.Overflowed());
    EXPECT_EQ(queue.Size(), 0u) << "an overflowed queue holds nothing";

    // The bytes after the gap do not continue the stream: refused as well.
    const auto later = Sequence(10);
    EXPECT_FALSE(queue.Append(later.data(), later.size()));
    const auto level = queue.Inspect();
    EXPECT_TRUE(level.overflowed);
    EXPECT_EQ(level.size, 0u);

    std::vector<std::uint8_t> out(10);
    std::size_t taken = 99;
    EXPECT_EQ(queue.Take(out.data(), out.size(), kNoWait, taken), TakeResult::kOverflowed);
    EXPECT_EQ(taken, 0u);
    EXPECT_TRUE(queue.Overflowed()) << "reported until the receiver is purged";

    queue.Clear();
    EXPECT_FALSE(queue.Overflowed());
    EXPECT_TRUE(queue.Append(later.data(), later.size()));
    EXPECT_EQ(queue.Take(out.data(), out.size(), kNoWait, taken), TakeResult::kComplete);
    EXPECT_EQ(out, later);

    ByteQueue small(64);  // one append larger than the bound overflows an empty queue
    const auto big = Sequence(65);
    EXPECT_FALSE(small.Append(big.data(), big.size()));
    EXPECT_TRUE(small.Overflowed());
}

TEST(ByteQueueTest, OverflowWakesABlockedTake) {
    ByteQueue queue(100);
    std::size_t taken = 0;
    TakeResult result = TakeResult::kComplete;
    std::thread consumer([&] {
        std::vector<std::uint8_t> out(80);
        result = queue.Take(out.data(), out.size(), kNoWait, taken);
    });
    const auto bytes = Sequence(60);
    queue.Append(bytes.data(), bytes.size());
    queue.Append(bytes.data(), bytes.size());
    consumer.join();
    // Either the consumer saw the first 60 bytes (not enough) and then the
    // overflow, or it started late and found the overflow at once.
    EXPECT_EQ(result, TakeResult::kOverflowed);
    EXPECT_EQ(taken, 0u);
}

TEST(ByteQueueTest, CloseWakesABlockedTakeWithWhatIsLeft) {
    ByteQueue queue;
    const auto bytes = Sequence(3);
    queue.Append(bytes.data(), bytes.size());
    std::size_t taken = 0;
    TakeResult result = TakeResult::kComplete;
    std::vector<std::uint8_t> out(8);
    std::thread consumer(
        [&] { result = queue.Take(out.data(), out.size(), milliseconds(60000), taken); });
    std::this_thread::sleep_for(milliseconds(10));
    const auto before = std::chrono::steady_clock::now();
    queue.Close();
    consumer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - before, milliseconds(30000));
    EXPECT_EQ(result, TakeResult::kClosed);
    EXPECT_EQ(taken, 3u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), out.begin()));

    EXPECT_TRUE(queue.Closed());
    EXPECT_FALSE(queue.Append(bytes.data(), bytes.size()));
    queue.Clear();
    EXPECT_TRUE(queue.Closed()) << "a purge does not reopen a closed queue";
    EXPECT_EQ(queue.Take(out.data(), 1, milliseconds(60000), taken), TakeResult::kClosed);
    EXPECT_EQ(taken, 0u);
}

TEST(ByteQueueTest, ConcurrentProducerAndConsumerLoseNothing) {
    ByteQueue queue(1u << 16);
    constexpr std::size_t kTotal = 2'000'000;
    std::thread producer([&] {
        std::mt19937 random(7);
        std::vector<std::uint8_t> chunk;
        std::size_t sent = 0;
        while (sent < kTotal) {
            const std::size_t n = std::min<std::size_t>(1 + random() % 5000, kTotal - sent);
            chunk.resize(n);
            for (std::size_t i = 0; i < n; ++i) {
                chunk[i] = static_cast<std::uint8_t>((sent + i) * 31 + 7);
            }
            // Like a reader thread facing a slow consumer: wait for room
            // rather than overflow, so that this test checks ordering only.
            while (queue.Size() + n > queue.Bound()) {
                std::this_thread::yield();
            }
            if (!queue.Append(chunk.data(), n)) {
                ADD_FAILURE() << "append refused after " << sent << " bytes";
                queue.Close();
                return;
            }
            sent += n;
        }
    });
    std::mt19937 random(11);
    std::vector<std::uint8_t> out(8192);
    std::size_t received = 0;
    std::size_t mismatches = 0;
    while (received < kTotal) {
        const std::size_t want =
            std::min<std::size_t>(1 + random() % out.size(), kTotal - received);
        std::size_t taken = 0;
        const auto result = queue.Take(out.data(), want, milliseconds(2), taken);
        if (result == TakeResult::kOverflowed || (result == TakeResult::kClosed && taken == 0)) {
            break;
        }
        for (std::size_t i = 0; i < taken; ++i) {
            mismatches += out[i] != static_cast<std::uint8_t>((received + i) * 31 + 7);
        }
        received += taken;
    }
    producer.join();
    EXPECT_EQ(received, kTotal);
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(queue.Size(), 0u);
}

}  // namespace
}  // namespace tavlin
