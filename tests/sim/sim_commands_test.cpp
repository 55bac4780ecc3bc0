#include <gtest/gtest.h>

#include <tuple>

#include "sim/cal_layout.h"
#include "sim_session.h"

namespace tavlin::test {
namespace {

using namespace ::tavlin::sim;

Scene SceneWithoutReferenceError() {
    Scene scene = DefaultScene();
    scene.tcxoPpb = 0.0;
    return scene;
}

class SimCommands : public ::testing::Test {
  protected:
    void SetUp() override { session.OpenAndInitialise(); }
    ReceiverState State() { return session.unit.State(); }
    std::vector<std::uint8_t> ReadWord(int address) {
        session.Send({'E', 0xFF, 0x01, static_cast<std::uint8_t>(address & 0xFF),
                      static_cast<std::uint8_t>(address >> 8)});
        return session.Read(session.command, 4);
    }
    SimSession session{SceneWithoutReferenceError()};
};

TEST_F(SimCommands, AttenuatorRouteIfPathPreampAndSyncModes) {
    session.Send({'A', 0x02});
    EXPECT_DOUBLE_EQ(State().AttenDb(), 10.0);
    session.Send({'A', 0x04});  // no such step: kept
    EXPECT_DOUBLE_EQ(State().AttenDb(), 10.0);
    session.Send({'D', 0x01});
    EXPECT_EQ(State().route, 1);
    session.Send({'F', 0x01});
    EXPECT_EQ(State().ifPath, 1);
    session.Send({'M', 0x01});
    EXPECT_TRUE(State().preampOn);
    session.Send({'M', 0x00});
    EXPECT_FALSE(State().preampOn);
    session.Send({'O', 0x03});
    EXPECT_TRUE(State().TriggerInput());
    session.Send({'O', 0x01});
    EXPECT_TRUE(State().SelfTestSignalOn());
}

TEST_F(SimCommands, ClockModeNeedsTheSamplerInitialisedAgain) {
    EXPECT_TRUE(State().samplerReady);
    session.Send({'C', 8 + 1});
    EXPECT_EQ(State().clockMode, 1);
    EXPECT_FALSE(State().samplerReady);
    session.Send({'I', 0x00, 0x75});
    session.Send({'I', 0x38, 0x03});
    session.Send({'I', 0x00, 0x70});  // out of order
    session.Send({'I', 0x38, 0x00});
    EXPECT_FALSE(State().samplerReady);
    session.InitialiseSampler();
    EXPECT_TRUE(State().samplerReady);
    session.Send({'C', 8 + 2});
    EXPECT_EQ(State().clockMode, 2);
}

TEST_F(SimCommands, ReferenceQueryAndSwitch) {
    session.Send({'C', 0x02});
    EXPECT_EQ(session.Read(session.command, 1), std::vector<std::uint8_t>{0});
    session.Send({'C', 0x01});  // no reference at the connector: stays internal
    EXPECT_FALSE(State().externalRefSelected);
    session.unit.SetExternalReferencePresent(true);
    session.Send({'C', 0x02});
    EXPECT_EQ(session.Read(session.command, 1), std::vector<std::uint8_t>{1});
    session.Send({'C', 0x01});
    EXPECT_TRUE(State().externalRefSelected);
    session.unit.SetExternalReferencePresent(false);
    EXPECT_FALSE(State().externalRefSelected);
}

TEST_F(SimCommands, VersionAnswersTheFirmwareTextAndUnknownOrShortCommandsAreIgnored) {
    session.Send({'V'});
    const auto text = session.Read(session.command, 11);
    EXPECT_EQ(std::string(text.begin(), text.end()), "Tavlin 2.03");
    session.Send({'Z', 0x01});
    session.Send({'A'});
    session.Send({'E', 0xFF, 0x01});
    EXPECT_EQ(State().attenIndex, 3);
    EXPECT_EQ(session.Waiting(session.command), 0u);
}

TEST_F(SimCommands, CalibrationMemoryReadsTheFactoryTable) {
    const std::uint16_t tcxo = 32768;
    EXPECT_EQ(ReadWord(CalLayout::kTcxoOffset),
              (std::vector<std::uint8_t>{tcxo & 0xFF, tcxo >> 8, 0, 0}));
    const auto date = ReadWord(CalLayout::kCalDate);
    EXPECT_EQ(std::string(date.begin(), date.end()), "Tue ");
    EXPECT_EQ(ReadWord(0)[0], 0x00);  // written, not blank
}

TEST_F(SimCommands, EraseAndWriteSequence) {
    session.Send({'E', 0xFF, 0x14, 0x25, 0x36});  // erase without opening: refused
    EXPECT_EQ(ReadWord(0)[0], 0x00);
    session.Send({'E', 0xFF, 0x15, 0x26, 0x37});
    session.Send({'E', 0xFF, 0x14, 0x25, 0x36});
    EXPECT_EQ(ReadWord(0), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(ReadWord(4092), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));

    session.Send({'E', 0x12, 0x34, 0x56, 0x78});  // locked again after the erase
    EXPECT_EQ(ReadWord(0)[0], 0xFF);
    session.Send({'E', 0xFF, 0x15, 0x26, 0x37});
    session.Send({'E', 0x12, 0x34, 0x56, 0x78});
    session.Send({'E', 0xFE, 0x01, 0x00, 0x00});  // a substituted 0xFF 0x01 word
    session.Send({'E', 0xFF, 0x15, 0x26, 0x37});  // mid-sequence: data
    EXPECT_EQ(ReadWord(0), (std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(ReadWord(4), (std::vector<std::uint8_t>{0xFE, 0x01, 0x00, 0x00}));
    EXPECT_EQ(ReadWord(8), (std::vector<std::uint8_t>{0xFF, 0x15, 0x26, 0x37}));
    EXPECT_EQ(ReadWord(2), (std::vector<std::uint8_t>{0x56, 0x78, 0xFE, 0x01}));
}

TEST_F(SimCommands, WritingWithoutEraseCanOnlyClearBits) {
    session.Send({'E', 0xFF, 0x15, 0x26, 0x37});
    session.Send({'E', 0xF0, 0xF0, 0x0F, 0x0F});
    EXPECT_EQ(ReadWord(0), (std::vector<std::uint8_t>{0x00, 0x00, 0x00, 0x00}));
    const CalMemory::Image memory = session.unit.Memory();
    EXPECT_EQ(memory[CalLayout::kIfGain2_9Low], 110);  // untouched beyond the write
}

TEST(SimCommandsOtherUnits, WithoutPreampItIsIgnoredAndABlankUnitReadsErased) {
    Scene scene;
    scene.firmware = "Tavlin 1.50";
    scene.calibration = SceneCalibration::Blank;
    SimSession session(scene);
    session.OpenAndInitialise();
    session.Send({'M', 0x01});
    EXPECT_FALSE(session.unit.State().preampOn);
    const CalMemory::Image memory = session.unit.Memory();
    EXPECT_TRUE(std::all_of(memory.begin(), memory.end(), [](auto b) { return b == 0xFF; }));
}

}  // namespace
}  // namespace tavlin::test
