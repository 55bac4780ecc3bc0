#include <gtest/gtest.h>

#include "sim_session.h"

namespace tavlin::test {
namespace {

std::vector<bool> OpenFlags(UsbDriver& driver) {
    int count = -1;
    EXPECT_EQ(driver.DeviceCount(count), kUsbOk);
    std::vector<bool> flags;
    for (int i = 0; i < count; ++i) {
        UsbDeviceInfo info;
        EXPECT_EQ(driver.DeviceInfo(i, info), kUsbOk);
        flags.push_back(info.alreadyOpen);
    }
    return flags;
}

TEST(SimUsbPort, AnOpenInterfaceIsFlaggedAndCannotBeOpenedTwice) {
    SimSession session;
    session.Open();
    EXPECT_EQ(OpenFlags(session.driver), (std::vector<bool>{true, true}));
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

    SimSession held;  // another process holds the data interface
    held.unit.SetFaults({.dataChannelAlreadyOpen = true});
    EXPECT_EQ(OpenFlags(held.driver), (std::vector<bool>{true, false}));
    EXPECT_EQ(held.driver.OpenByIndex(0, held.data), kUsbDeviceNotOpened);
    EXPECT_EQ(held.driver.OpenByIndex(1, held.command), kUsbOk);
}

// An unplugged or port-cycled unit fails every call at once and its old
// handles stay dead; reopened, it is in its power-on state, its calibration
// memory (erased here) kept.
TEST(SimUsbPort, VanishedOrCycledUnitFailsEveryCallUntilReopened) {
    SimSession session;
    session.Open();
    session.Send({'A', 0x00});
    session.unit.Unplug();
    EXPECT_TRUE(OpenFlags(session.driver).empty());
    std::size_t waiting = 0;
    EXPECT_NE(session.driver.QueueStatus(session.data, waiting), kUsbOk);
    std::uint8_t byte = 0;
    EXPECT_NE(session.driver.Read(session.command, &byte, 1, waiting), kUsbOk);
    EXPECT_NE(session.Send({'V'}), kUsbOk);
    EXPECT_EQ(session.clock.TotalSleptMs(), 0);
    session.unit.PlugIn();
    EXPECT_NE(session.Send({'V'}), kUsbOk);
    session.driver.Close(session.data);
    session.driver.Close(session.command);
    session.Open();
    EXPECT_EQ(session.unit.State().attenIndex, 3);

    session.Send({'O', 0x01});
    session.Send({'E', 0xFF, 0x15, 0x26, 0x37});
    session.Send({'E', 0xFF, 0x14, 0x25, 0x36});
    ASSERT_EQ(session.driver.CyclePort(session.data), kUsbOk);
    EXPECT_NE(session.Send({'V'}), kUsbOk);
    EXPECT_EQ(session.driver.Close(session.data), kUsbOk);
    EXPECT_EQ(session.driver.Close(session.command), kUsbOk);
    EXPECT_TRUE(OpenFlags(session.driver).empty()) << "off the bus for a while";
    session.clock.Advance(2500);
    session.Open();
    EXPECT_EQ(session.unit.State().syncTrigMode, 0);
    EXPECT_EQ(session.unit.Memory()[0], 0xFF);
}

}  // namespace
}  // namespace tavlin::test
