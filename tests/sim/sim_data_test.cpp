#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "sim_session.h"

namespace tavlin::test {
namespace {

using namespace ::tavlin::sim;

constexpr double kRate = 486111.1111111111;

class SimData : public ::testing::Test {
  protected:
    void SetUp() override {
        session.OpenAndInitialise();
        session.driver.SetTimeouts(session.data, 0, 0);  // look without waiting
    }
    std::vector<std::uint8_t> TakeAll(UsbHandle handle) {
        return session.Read(handle, session.Waiting(handle));
    }
    SimSession session;
};

TEST_F(SimData, CaptureSendsHeaderThenPairsAsTheyAreSampled) {
    session.Send({'I', 0x0E, 16 + 15});  // decimation 16: 512 pairs take 16.85 ms
    session.Send({'S', 0x01});
    EXPECT_EQ(session.Waiting(session.data), 4u);
    session.clock.Advance(8);
    const std::size_t half = session.Waiting(session.data);
    EXPECT_GT(half, 4u + 4u * 200);
    EXPECT_LT(half, 4u + 4u * 300);
    session.clock.Advance(8);
    EXPECT_LT(session.Waiting(session.data), 4u + 4u * 512);
    session.clock.Advance(1);
    const auto bytes = TakeAll(session.data);
    ASSERT_EQ(bytes.size(), 4u + 4u * 512);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4),
              (std::vector<std::uint8_t>{0xA5, 0x5A, 0xF0, 0x0F}));
    session.clock.Advance(100);
    EXPECT_EQ(session.Waiting(session.data), 0u);
}

TEST_F(SimData, CapturesQueueBehindEachOther) {
    session.Send({'S', 0x01});
    session.Send({'S', 0x02});
    session.clock.Advance(10);
    EXPECT_EQ(TakeAll(session.data).size(), 2u * 4 + 3u * 2048);
}

TEST_F(SimData, StreamRunsAtTheSampleRateUntilStopped) {
    session.Send({'T'});
    session.clock.Advance(100);
    const std::size_t waiting = session.Waiting(session.data);
    EXPECT_NEAR(static_cast<double>(waiting), 4.0 + 4.0 * 0.1 * kRate, 8.0);
    EXPECT_EQ(TakeAll(session.data)[1], 0x5A);
    session.clock.Advance(50);
    session.Send({'3'});
    const std::size_t atStop = session.Waiting(session.data);
    EXPECT_NEAR(static_cast<double>(atStop), 4.0 * 0.05 * kRate, 8.0);
    session.clock.Advance(10);
    EXPECT_EQ(session.Waiting(session.data), atStop);
    session.driver.Purge(session.data);
    session.driver.Purge(session.command);
    session.clock.Advance(1000);
    EXPECT_EQ(session.Waiting(session.data), 0u);
}

TEST_F(SimData, UnreadStreamOverrunsTheFifoWithoutGrowing) {
    session.Send({'T'});
    session.clock.Advance(10'000);
    EXPECT_EQ(session.Waiting(session.data), VirtualInstrument::kDataQueueBytes);
    session.Send({'3'});
}

TEST_F(SimData, StepListBlocksArriveAsEachStepCompletesOrGoMissing) {
    session.Send({'N', 0x00, 0x02, 0x09, 0x02});  // 10 steps
    const double stepMs = (150e-6 + 512 / kRate) * 1000.0;
    session.clock.Advance(static_cast<int>(3.5 * stepMs));
    EXPECT_EQ(session.Waiting(session.data), 3u * 2048);
    session.clock.Advance(static_cast<int>(std::ceil(10 * stepMs)) - 4);
    EXPECT_EQ(TakeAll(session.data).size(), 10u * 2048);

    SimFaults faults;
    faults.missingStepBlock = 3;
    session.unit.SetFaults(faults);
    session.Send({'N', 0x00, 0x02, 0x09, 0x02});
    session.clock.Advance(100);
    EXPECT_EQ(session.Waiting(session.data), 9u * 2048);
}

TEST_F(SimData, DetectorSweepAnswersBigEndianReadingsOnTheCommandChannel) {
    session.Send({'O', 0x01});  // SELF TEST (-15 dBm, 140 MHz) to RF IN
    session.Send({'A', 0x02});
    session.Send({'D', 0x04});
    session.Send({'B', 146, 0x00, 155, 0x00});
    const auto bytes = session.Read(session.command, 6);
    ASSERT_EQ(bytes.size(), 6u);
    EXPECT_EQ(session.Waiting(session.command), 0u);
    auto reading = [&](int i) { return (bytes[2 * i] << 8) | bytes[2 * i + 1]; };
    const double floor = (-80.0 + 86.0) / 0.13427734375;
    const double seen =
        (10.0 * std::log10(std::pow(10.0, -2.5) + std::pow(10.0, -8.0)) + 86.0) / 0.13427734375;
    EXPECT_EQ(reading(0), std::lround(floor));  // 146 MHz: the IF is 6 MHz
    EXPECT_EQ(reading(1), std::lround(seen));   // 149 MHz: 9 MHz
    EXPECT_EQ(reading(2), std::lround(seen));   // 152 MHz: 12 MHz
    // The broadband self-test check reads it near -13 dB.
    const double broadband = reading(1) * 0.13427734375 - 85.0 + 10.0;
    EXPECT_LT(std::abs(broadband + 13.0), 7.0);

    session.Send({'B', 156, 0x00, 165, 0x00});
    EXPECT_EQ(session.Read(session.command, 8).size(), 6u);
    session.Send({'B', 165, 0x00, 156, 0x00});  // stop before start: no readings
    EXPECT_EQ(session.Waiting(session.command), 0u);
}

// A capture on TRIG IN waits for the next edge; with none coming it waits
// until TRIG IN is left.
TEST(SimTrigger, CaptureWaitsForTheNextTriggerEdge) {
    Scene scene;
    scene.trigger = SceneTrigger{100.0};
    SimSession session(scene);
    session.OpenAndInitialise();
    session.Send({'O', 0x03});
    session.clock.Advance(30);
    session.Send({'S', 0x01});
    session.clock.Advance(60);
    EXPECT_EQ(session.Waiting(session.data), 0u);
    session.clock.Advance(20);  // past the edge
    session.clock.Advance(5);
    EXPECT_EQ(session.Waiting(session.data), 4u + 2048u);

    SimFaults faults;
    faults.noTrigger = true;
    session.unit.SetFaults(faults);
    session.driver.Purge(session.data);
    session.Send({'S', 0x01});
    session.clock.Advance(60'000);
    EXPECT_EQ(session.Waiting(session.data), 0u);
    session.Send({'O', 0x00});  // leaving TRIG IN drops the waiting capture
    session.Send({'S', 0x01});
    session.clock.Advance(5);
    EXPECT_EQ(session.Waiting(session.data), 4u + 2048u);
}

TEST(SimThreads, ReaderWaitsWhileAnotherThreadCommands) {
    SimSession session;
    session.OpenAndInitialise();
    std::vector<std::uint8_t> got;
    std::thread reader([&] { got = session.Read(session.data, 4 + 2048); });
    session.clock.SleepMs(30);
    session.Send({'S', 0x01});
    reader.join();
    EXPECT_EQ(got.size(), 4u + 2048u);
}

TEST(SimThreads, StreamReaderCommandSenderAndListerTogether) {
    SimSession session;
    session.OpenAndInitialise();
    session.Send({'T'});
    std::atomic<bool> stop{false};
    std::size_t streamed = 0;
    std::thread reader([&] {
        std::vector<std::uint8_t> block(16384);
        while (!stop) {
            std::size_t got = 0;
            session.driver.Read(session.data, block.data(), block.size(), got);
            streamed += got;
        }
    });
    std::thread lister([&] {
        while (!stop) {
            int count = 0;
            UsbDeviceInfo info;
            session.driver.DeviceCount(count);
            session.driver.DeviceInfo(0, info);
            session.clock.SleepMs(3);
        }
    });
    for (int i = 0; i < 50; ++i) {
        session.Tune(900.0 + i, true);
        session.clock.SleepMs(5);
    }
    session.Send({'3'});
    stop = true;
    reader.join();
    lister.join();
    EXPECT_GT(streamed, 4u * 486u * 250u);
}

TEST(SimThreads, UnplugEndsAWaitingRead) {
    SimSession session;
    session.OpenAndInitialise();
    session.driver.SetTimeouts(session.data, 60'000, 60'000);
    int status = kUsbOk;
    std::thread reader([&] {
        std::vector<std::uint8_t> bytes(4);
        std::size_t got = 0;
        status = session.driver.Read(session.data, bytes.data(), bytes.size(), got);
    });
    session.clock.SleepMs(100);
    session.unit.Unplug();
    reader.join();
    EXPECT_EQ(status, kUsbIoError);
    EXPECT_LT(session.clock.TotalSleptMs(), 60'000);
}

}  // namespace
}  // namespace tavlin::test
