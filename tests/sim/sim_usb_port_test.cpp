#include <gtest/gtest.h>

#include "sim/virtual_instrument.h"
#include "sim_session.h"

namespace tavlin::test {
namespace {

using namespace ::tavlin::sim;

std::vector<UsbDeviceInfo> List(UsbDriver& driver) {
    int count = -1;
    EXPECT_EQ(driver.DeviceCount(count), kUsbOk);
    std::vector<UsbDeviceInfo> infos(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(driver.DeviceInfo(i, infos[i]), kUsbOk);
    }
    return infos;
}

TEST(SimUsbPort, AnOpenInterfaceIsFlaggedAndCannotBeOpenedTwice) {
    SimSession session;
    session.Open();
    const auto infos = List(session.driver);
    EXPECT_TRUE(infos[0].alreadyOpen);
    EXPECT_TRUE(infos[1].alreadyOpen);
    UsbHandle again = 99;
    EXPECT_EQ(session.driver.OpenByIndex(0, again), kUsbDeviceNotOpened);
    EXPECT_EQ(again, kNoHandle);
    UsbDeviceInfo info;
    ASSERT_EQ(session.driver.HandleInfo(session.command, info), kUsbOk);
    EXPECT_EQ(info.serial, "TV000123B");
    EXPECT_EQ(session.driver.Close(session.data), kUsbOk);
    EXPECT_EQ(session.driver.Close(session.data), kUsbInvalidHandle);
    UsbHandle reopened = kNoHandle;
    EXPECT_EQ(session.driver.OpenByIndex(0, reopened), kUsbOk);
    EXPECT_NE(reopened, session.data);  // a stale handle never comes back to life
}

TEST(SimUsbPort, DataInterfaceHeldByAnotherProcess) {
    SimSession session;
    SimFaults faults;
    faults.dataChannelAlreadyOpen = true;
    session.unit.SetFaults(faults);
    const auto infos = List(session.driver);
    EXPECT_TRUE(infos[0].alreadyOpen);
    EXPECT_FALSE(infos[1].alreadyOpen);
    UsbHandle handle = kNoHandle;
    EXPECT_EQ(session.driver.OpenByIndex(0, handle), kUsbDeviceNotOpened);
    EXPECT_EQ(session.driver.OpenByIndex(1, handle), kUsbOk);
}

TEST(SimUsbPort, VanishedUnitFailsEveryCallUntilPluggedInAndReopened) {
    SimSession session;
    session.OpenAndInitialise();
    session.Send({'A', 0x00});
    session.unit.Unplug();
    int count = -1;
    EXPECT_EQ(session.driver.DeviceCount(count), kUsbOk);
    EXPECT_EQ(count, 0);
    std::size_t waiting = 0;
    EXPECT_NE(session.driver.QueueStatus(session.data, waiting), kUsbOk);
    EXPECT_NE(session.Send({'V'}), kUsbOk);
    std::uint8_t byte = 0;
    std::size_t got = 0;
    EXPECT_NE(session.driver.Read(session.command, &byte, 1, got), kUsbOk);
    EXPECT_EQ(session.clock.TotalSleptMs(), 0);  // failing calls do not wait

    session.unit.PlugIn();
    EXPECT_EQ(session.driver.DeviceCount(count), kUsbOk);
    EXPECT_EQ(count, 2);
    EXPECT_NE(session.Send({'V'}), kUsbOk);  // old handles stay dead
    EXPECT_EQ(session.driver.Close(session.data), kUsbOk);
    EXPECT_EQ(session.driver.Close(session.command), kUsbOk);
    session.OpenAndInitialise();
    EXPECT_EQ(session.unit.State().attenIndex, 3);  // power-on state again
}

// The unit leaves the bus for the 2.5 s of a port cycle and comes back in its
// power-on state, its calibration memory (erased here) kept.
TEST(SimUsbPort, PortCycleDropsTheUnitForAWhile) {
    SimSession session;
    session.OpenAndInitialise();
    session.Send({'O', 0x01});
    session.Send({'E', 0xFF, 0x15, 0x26, 0x37});
    session.Send({'E', 0xFF, 0x14, 0x25, 0x36});
    ASSERT_EQ(session.driver.CyclePort(session.data), kUsbOk);
    EXPECT_NE(session.Send({'V'}), kUsbOk);
    EXPECT_EQ(session.driver.Close(session.data), kUsbOk);
    EXPECT_EQ(session.driver.Close(session.command), kUsbOk);
    int count = -1;
    session.driver.DeviceCount(count);
    EXPECT_EQ(count, 0);
    session.clock.Advance(2500);
    session.driver.DeviceCount(count);
    EXPECT_EQ(count, 2);
    session.OpenAndInitialise();
    EXPECT_EQ(session.unit.State().syncTrigMode, 0);  // the self-test signal went off
    EXPECT_EQ(session.unit.Memory()[0], 0xFF);
}

TEST(SimUsbPort, CommandsAtTheWrongRateAreNotUnderstood) {
    SimSession session;
    UsbHandle command = kNoHandle;
    ASSERT_EQ(session.driver.OpenByIndex(1, command), kUsbOk);
    session.command = command;
    session.Send({'A', 0x00});
    EXPECT_EQ(session.unit.State().attenIndex, 3);
    session.driver.SetBaudRate(command, 46667);
    session.Send({'A', 0x00});
    EXPECT_EQ(session.unit.State().attenIndex, 0);
}

TEST(SimUsbPort, ReadWaitsThroughTheClockUpToItsTimeout) {
    SimSession session;
    session.Open();
    session.driver.SetTimeouts(session.command, 500, 500);
    session.Send({'V'});
    const long long before = session.clock.TotalSleptMs();
    // Fewer bytes than asked: the read gives what came after the time-out.
    EXPECT_EQ(session.Read(session.command, 32).size(), 11u);
    EXPECT_EQ(session.clock.TotalSleptMs() - before, 500);
    session.driver.SetTimeouts(session.command, 0, 0);
    EXPECT_TRUE(session.Read(session.command, 4).empty());
    EXPECT_EQ(session.clock.TotalSleptMs() - before, 500);
}

}  // namespace
}  // namespace tavlin::test
