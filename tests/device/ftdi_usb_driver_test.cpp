#include "device/ftdi_usb_driver.h"

#include <ftdi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "device/ftdi_baud_request.h"
#include "device/ftdi_channel_reader.h"

namespace tavlin {
namespace {

using std::chrono::milliseconds;

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
    EXPECT_EQ(count, 0);
    for (int index : {0, 1, -1}) {
        UsbDeviceInfo info{true, "stale", "stale"};
        EXPECT_EQ(driver.DeviceInfo(index, info), kUsbDeviceNotFound) << index;
        handle = 7;
        EXPECT_NE(driver.OpenByIndex(index, handle), kUsbOk) << index;
        EXPECT_EQ(handle, kNoHandle) << index;
    }
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
        const auto request = FtdiBaudRequest::ForClassicChip(row.rate, row.channel);
        ASSERT_TRUE(request.has_value()) << row.rate;
        EXPECT_EQ(request->value, row.value) << row.rate;
        EXPECT_EQ(request->index, row.index) << row.rate;
    }
    EXPECT_NEAR(FtdiBaudRequest::ForClassicChip(46667, 2)->actualRate, 46667, 46667 / 100);
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
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(reader.Queue().Take(buffer, sizeof buffer, milliseconds(30000), taken),
              ByteQueue::TakeResult::kClosed);
    EXPECT_LT(std::chrono::steady_clock::now() - before, milliseconds(10000));
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

}  // namespace
}  // namespace tavlin
