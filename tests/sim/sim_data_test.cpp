#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim_session.h"

namespace tavlin::test {
namespace {

constexpr double kRate = 486111.1111111111;
constexpr std::size_t kBlock = 4 * 512;

// A unit opened with its data channel read without waiting.
struct LookingSession : SimSession {
    explicit LookingSession(const Scene& scene = DefaultScene()) : SimSession(scene) {
        Open();
        driver.SetTimeouts(data, 0, 0);
    }
    std::size_t Queued() { return Waiting(data); }
};

TEST(SimData, CapturesArriveAsTheyAreSampledAndQueueBehindEachOther) {
    LookingSession s;
    s.Send({'I', 0x0E, 16 + 15});  // decimation 16: 512 pairs take 16.85 ms
    s.Send({'S', 0x01});
    s.Send({'S', 0x02});
    EXPECT_EQ(s.Queued(), 4u);
    s.clock.Advance(8);
    EXPECT_GT(s.Queued(), 4u + 4u * 200);
    EXPECT_LT(s.Queued(), 4u + 4u * 300);
    s.clock.Advance(8);
    EXPECT_LT(s.Queued(), 4u + kBlock);
    s.clock.Advance(1);
    const Bytes first = s.Read(s.data, 4 + kBlock);
    EXPECT_EQ(Bytes(first.begin(), first.begin() + 4), (Bytes{0xA5, 0x5A, 0xF0, 0x0F}));
    s.clock.Advance(100);
    EXPECT_EQ(s.Queued(), 4u + 2 * kBlock);
    s.clock.Advance(100);
    EXPECT_EQ(s.Queued(), 4u + 2 * kBlock) << "nothing after the requested blocks";
}

TEST(SimData, StreamRunsAtTheSampleRateUntilStoppedAndOverrunsTheFifoWithoutGrowing) {
    LookingSession s;
    s.Send({'T'});
    s.clock.Advance(100);
    EXPECT_NEAR(static_cast<double>(s.Queued()), 4.0 + 4.0 * 0.1 * kRate, 8.0);
    EXPECT_EQ(s.Read(s.data, s.Queued())[1], 0x5A);
    s.clock.Advance(50);
    s.Send({'3'});
    const std::size_t atStop = s.Queued();
    EXPECT_NEAR(static_cast<double>(atStop), 4.0 * 0.05 * kRate, 8.0);
    s.clock.Advance(10);
    EXPECT_EQ(s.Queued(), atStop);
    s.driver.Purge(s.data);
    s.clock.Advance(1000);
    EXPECT_EQ(s.Queued(), 0u);

    s.Send({'T'});
    s.clock.Advance(10'000);
    EXPECT_EQ(s.Queued(), VirtualInstrument::kDataQueueBytes);
}

// Each fault the unit can be given, as the data channel shows it. The scene
// has a trigger every 100 ms, so only the no-trigger fault keeps a capture on
// TRIG IN from coming, until leaving TRIG IN drops the waiting capture.
TEST(SimData, InjectedFaultsShowOnTheDataChannel) {
    struct Row {
        const char* name;
        SimFaults faults;
        std::vector<Bytes> commands;
        std::size_t queued;
        int firstByte;  // -1: not checked
    };
    const Bytes capture{'S', 0x01};
    const Row rows[] = {
        {"none", {}, {{'O', 0x03}, capture}, 4 + kBlock, 0xA5},
        {"short capture", {.shortCaptures = 1}, {capture}, 4 + kBlock - 4, 0xA5},
        {"wrong header", {.wrongHeaders = 1}, {capture}, 4 + kBlock, 0x00},
        {"refused write", {.failedWrites = 1}, {capture}, 0, -1},
        {"missing step block", {.missingStepBlock = 3}, {{'N', 0, 2, 9, 2}}, 9 * kBlock, -1},
        {"no trigger", {.noTrigger = true}, {{'O', 0x03}, capture}, 0, -1},
        {"no trigger, TRIG IN left",
         {.noTrigger = true},
         {{'O', 3}, capture, {'O', 0}, capture},
         4 + kBlock,
         0xA5},
    };
    for (const Row& row : rows) {
        Scene scene;
        scene.trigger = SceneTrigger{100.0};
        LookingSession s(scene);
        s.unit.SetFaults(row.faults);
        for (const Bytes& command : row.commands) {
            s.Send(command);
        }
        s.clock.Advance(1000);
        EXPECT_EQ(s.Queued(), row.queued) << row.name;
        if (row.firstByte >= 0) {
            EXPECT_EQ(s.Read(s.data, 1).at(0), row.firstByte) << row.name;
        }
    }
}

// A read waits without holding the unit, so another thread can command.
TEST(SimThreads, ReaderWaitsWhileAnotherThreadCommands) {
    SimSession session;
    session.Open();
    Bytes got;
    std::thread reader([&] { got = session.Read(session.data, 4 + kBlock); });
    session.clock.SleepMs(30);
    session.Send({'S', 0x01});
    reader.join();
    EXPECT_EQ(got.size(), 4u + kBlock);
}

TEST(SimThreads, StreamReaderCommandSenderAndListerTogether) {
    SimSession session;
    session.Open();
    session.Send({'T'});
    std::atomic<bool> stop{false};
    std::size_t streamed = 0;
    std::thread reader([&] {
        Bytes block(16384);
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
        session.Send({'L', 0x00, static_cast<std::uint8_t>(0x40 + i), 0x41, 0xBC});
        session.Send({'A', static_cast<std::uint8_t>(i % 4)});
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
    session.Open();
    session.driver.SetTimeouts(session.data, 60'000, 60'000);
    int status = kUsbOk;
    std::thread reader([&] {
        Bytes bytes(4);
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
