#include "device/ftdi_usb_driver.h"

#include <ftdi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "device/byte_queue.h"
#include "device/ftdi_baud_request.h"
#include "device/ftdi_channel_reader.h"

namespace tavlin {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<std::uint8_t>;
using TakeResult = ByteQueue::TakeResult;

// These tests describe a machine without the instrument (the build machines
// have none). Where a converter is plugged in they have nothing to say.
TEST(FtdiUsbDriverTest, WithoutAnInstrumentTheListIsEmptyAndNothingOpens) {
    FtdiUsbDriver driver;
    UsbHandle handle = 7;
    EXPECT_NE(driver.OpenByIndex(0, handle), kUsbOk) << "no list built yet";
    EXPECT_EQ(handle, kNoHandle);
    int count = -1;
    EXPECT_EQ(driver.DeviceCount(count), kUsbOk);
    if (count > 0) {
        GTEST_SKIP() << "a dual-channel converter is attached";
    }
    UsbDeviceInfo info;
    EXPECT_EQ(driver.DeviceInfo(0, info), kUsbDeviceNotFound);
    EXPECT_EQ(driver.DeviceInfo(-1, info), kUsbDeviceNotFound);
    EXPECT_NE(driver.OpenByIndex(-1, handle), kUsbOk);
}

TEST(FtdiUsbDriverTest, ConcurrentListingsStayClean) {
    FtdiUsbDriver shared;
    std::vector<std::thread> lookers;
    for (int t = 0; t < 3; ++t) {
        lookers.emplace_back([&shared] {
            for (int i = 0; i < 5; ++i) {
                int count = -1;
                UsbDeviceInfo info;
                EXPECT_EQ(shared.DeviceCount(count), kUsbOk);
                EXPECT_EQ(count % 2, 0) << "each converter shows both of its interfaces";
                shared.DeviceInfo(0, info);
            }
        });
    }
    for (auto& looker : lookers) {
        looker.join();
    }
}

// The request that the older dual-channel chip needs: the divisor with its
// eighths code, and the channel number in the low byte of the index; the
// eighths code's top bit travels in the index word.
TEST(FtdiBaudRequestTest, ClassicChipRequestCarriesDivisorAndChannel) {
    const struct {
        int rate, channel, value, index;
    } rows[] = {
        {46667, 2, 0x8040, 0x0002},                                  // 64 + 1/4
        {9600, 1, 0x4138, 0x0001},                                   // 312 + 1/2
        {115200, 1, 0x001A, 0x0001},    {29888, 2, 0x0064, 0x0102},  // 100 + 3/8
        {3'000'000, 2, 0x0000, 0x0002},
    };
    for (const auto& row : rows) {
        // A refused rate reads as words of 0: every row's index is not 0.
        const auto request =
            FtdiBaudRequest::ForClassicChip(row.rate, row.channel).value_or(FtdiBaudRequest{});
        EXPECT_EQ(request.value, row.value) << row.rate;
        EXPECT_EQ(request.index, row.index) << row.rate;
    }
    for (int rate : {0, -46667, 100}) {  // 100: below the slowest divisor
        EXPECT_FALSE(FtdiBaudRequest::ForClassicChip(rate, 2).has_value()) << rate;
    }
}

// A context that is not open answers every read as a vanished device does.
class FtdiChannelReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!context_) {
            GTEST_SKIP() << "libusb cannot start here";
        }
    }
    std::unique_ptr<ftdi_context, void (*)(ftdi_context*)> context_{ftdi_new(), ftdi_free};
    std::mutex contextMutex_;
};

TEST_F(FtdiChannelReaderTest, AVanishedDeviceEndsWaitingReadsAndFailsLaterCalls) {
    FtdiChannelReader reader(context_.get(), contextMutex_);
    EXPECT_NE(reader.Purge(milliseconds(5000)), kUsbOk) << "never started";
    reader.Start();
    std::uint8_t buffer[16];
    std::size_t taken = 0;
    // Only the vanished device can end this take early: a time-out says kTimedOut.
    EXPECT_EQ(reader.Queue().Take(buffer, sizeof buffer, milliseconds(30000), taken),
              TakeResult::kClosed);
    EXPECT_TRUE(reader.DeviceGone());
    EXPECT_EQ(taken, 0u);
    EXPECT_NE(reader.Purge(milliseconds(5000)), kUsbOk);
    EXPECT_NE(reader.CyclePort(milliseconds(5000)), kUsbOk);
    reader.Stop();
    reader.Stop();
    EXPECT_EQ(reader.Purge(milliseconds(5000)), kUsbDeviceNotOpened);
}

TEST_F(FtdiChannelReaderTest, StartAndStopRepeatedlyWhileAnotherThreadPurges) {
    for (int round = 0; round < 5; ++round) {
        FtdiChannelReader reader(context_.get(), contextMutex_);
        reader.Start();
        std::thread purger([&] {
            for (int i = 0; i < 3; ++i) {
                reader.Purge(milliseconds(1000));
            }
        });
        reader.Stop();
        purger.join();
        EXPECT_TRUE(reader.Queue().Closed());
    }
}

// --- The byte queue between a channel's reader thread and its reads -------------

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
    EXPECT_EQ(queue.Take(raw.data(), raw.size(), milliseconds(30), taken), TakeResult::kTimedOut);
    EXPECT_EQ(taken, 10u);
    EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 10), Sequence(10));
    EXPECT_EQ(raw[10], 0xEE) << "bytes past what was taken must stay untouched";
}

TEST(ByteQueueTest, PassingTheBoundDropsEverythingUntilCleared) {
    ByteQueue queue(1000);
    EXPECT_TRUE(Put(queue, Sequence(1000))) << "exactly the bound still fits";
    EXPECT_FALSE(Put(queue, Sequence(1)));
    EXPECT_TRUE(queue.Overflowed());
    EXPECT_EQ(queue.Size(), 0u) << "an overflowed queue holds nothing";
    // The bytes after the gap do not continue the stream: refused as well.
    EXPECT_FALSE(Put(queue, Sequence(10)));
    Bytes out;
    EXPECT_EQ(Take(queue, 10, out), TakeResult::kOverflowed);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(queue.Overflowed()) << "reported until the receiver is purged";

    queue.Clear();
    EXPECT_FALSE(queue.Overflowed());
    EXPECT_TRUE(Put(queue, Sequence(4, 0xA5)));
    EXPECT_EQ(Take(queue, 4, out), TakeResult::kComplete);
    EXPECT_EQ(out, Sequence(4, 0xA5));
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
    queue.Close();
    consumer.join();
    EXPECT_EQ(result, TakeResult::kClosed) << "woken by the close, not the time-out";
    EXPECT_EQ(out, Sequence(3));

    EXPECT_FALSE(Put(queue, Sequence(3)));
    queue.Clear();
    EXPECT_TRUE(queue.Closed()) << "a purge does not reopen a closed queue";
    EXPECT_EQ(Take(queue, 1, out, milliseconds(60000)), TakeResult::kClosed);
    EXPECT_TRUE(out.empty());
}

// The ring starts at 64 KiB: the second append wraps it, the third grows it
// while wrapped. The byte pattern repeats every 251 bytes, so a block moved by
// a whole turn of the ring would show.
TEST(ByteQueueTest, GrowingWhileWrappedKeepsTheOrder) {
    ByteQueue queue;
    const auto pattern = [](std::size_t from, std::size_t count) {
        Bytes bytes(count);
        std::ranges::generate(bytes, [&from] { return static_cast<std::uint8_t>(from++ % 251); });
        return bytes;
    };
    Bytes out;
    ASSERT_TRUE(Put(queue, pattern(0, 60000)));
    ASSERT_EQ(Take(queue, 50000, out), TakeResult::kComplete);
    ASSERT_TRUE(Put(queue, pattern(60000, 30000)));
    ASSERT_TRUE(Put(queue, pattern(90000, 100000)));
    EXPECT_EQ(Take(queue, 140000, out), TakeResult::kComplete);
    EXPECT_EQ(out, pattern(50000, 140000));
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
            // A refusal means an overflow, which ends the consumer's loop.
            EXPECT_TRUE(Put(queue, chunk)) << "after " << sent << " bytes";
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
        if (result == TakeResult::kOverflowed) {
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
