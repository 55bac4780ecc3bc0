#include <gtest/gtest.h>

#include <thread>

#include "sim_session.h"

namespace tavlin::test {
namespace {

constexpr std::size_t kBlock = 4 * 512;

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
        SimSession s(scene);
        s.Open();
        s.driver.SetTimeouts(s.data, 0, 0);  // look without waiting
        s.unit.SetFaults(row.faults);
        for (const Bytes& command : row.commands) {
            s.Send(command);
        }
        s.clock.Advance(1000);
        EXPECT_EQ(s.Waiting(s.data), row.queued) << row.name;
        if (row.firstByte >= 0) {
            EXPECT_EQ(s.Read(s.data, 1).at(0), row.firstByte) << row.name;
        }
    }
}

// A read on the data channel waits without holding the unit, so another
// thread can use the command channel meanwhile.
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

}  // namespace
}  // namespace tavlin::test
