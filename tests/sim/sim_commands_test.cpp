#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim/cal_layout.h"
#include "sim_session.h"

namespace tavlin::test {
namespace {

// What the unit makes of the command bytes; the bytes themselves are pinned
// by the device link's tests, the levels by the end-to-end accuracy table.
class SimCommands : public ::testing::Test {
  protected:
    void SetUp() override { session.Open(); }
    ReceiverState State() { return session.unit.State(); }
    Bytes ReadWord(int address) {
        session.Send({'E', 0xFF, 0x01, static_cast<std::uint8_t>(address & 0xFF),
                      static_cast<std::uint8_t>(address >> 8)});
        return session.Read(session.command, 4);
    }
    SimSession session;
};

TEST_F(SimCommands, UnknownShortOrOutOfRangeCommandsAreIgnored) {
    session.Send({'V'});
    const auto text = session.Read(session.command, 11);
    EXPECT_EQ(std::string(text.begin(), text.end()), "Tavlin 2.03");
    session.Send({'A', 0x02});
    for (const Bytes& ignored : {Bytes{'A', 0x04}, Bytes{'Z', 0x01}, Bytes{'A'},
                                 Bytes{'E', 0xFF, 0x01}, Bytes{'O', 0x04}}) {
        session.Send(ignored);
    }
    EXPECT_DOUBLE_EQ(State().AttenDb(), 10.0);
    EXPECT_EQ(State().syncTrigMode, 0);
    EXPECT_EQ(session.Waiting(session.command), 0u);
}

// After a clock mode change the sampler sends zeros until it has been
// initialised again, in order.
TEST_F(SimCommands, ClockModeNeedsTheSamplerInitialisedAgain) {
    session.Send({'C', 8 + 1});
    EXPECT_EQ(State().clockMode, 1);
    EXPECT_FALSE(State().samplerReady);
    session.Send({'S', 0x01});
    const Bytes capture = session.Read(session.data, 4 + 2048);
    ASSERT_EQ(capture.size(), 4u + 2048u);
    EXPECT_TRUE(std::all_of(capture.begin() + 4, capture.end(), [](auto b) { return b == 0; }));
    for (const Bytes& c : {Bytes{'I', 0x00, 0x75}, Bytes{'I', 0x38, 0x03}, Bytes{'I', 0x00, 0x70},
                           Bytes{'I', 0x38, 0x00}}) {
        session.Send(c);  // one step left out
    }
    EXPECT_FALSE(State().samplerReady);
    session.InitialiseSampler();
    EXPECT_TRUE(State().samplerReady);
}

// The memory takes an erase or data words only after the opening form, is
// locked again by the erase, and a write without an erase only clears bits.
TEST_F(SimCommands, CalibrationMemoryLocksAndWritesLikeFlash) {
    const Bytes open{'E', 0xFF, 0x15, 0x26, 0x37};
    const Bytes erase{'E', 0xFF, 0x14, 0x25, 0x36};
    const Bytes factory = ReadWord(0);
    session.Send(erase);
    session.Send({'E', 0xF0, 0xF0, 0x0F, 0x0F});
    EXPECT_EQ(ReadWord(0), factory) << "neither erase nor data before the opening form";
    session.Send(open);
    session.Send({'E', 0xF0, 0xF0, 0x0F, 0x0F});
    EXPECT_EQ(ReadWord(0), (Bytes{0x00, 0x00, 0x00, 0x00})) << "no erase: bits only cleared";
    EXPECT_EQ(session.unit.Memory()[CalLayout::kIfGain2_9Low], 110);
    session.Send(open);
    session.Send(erase);
    EXPECT_EQ(ReadWord(4092), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    session.Send({'E', 0x12, 0x34, 0x56, 0x78});
    EXPECT_EQ(ReadWord(0)[0], 0xFF) << "locked again after the erase";

    session.Send(open);
    for (const Bytes& word :
         {Bytes{'E', 0x12, 0x34, 0x56, 0x78}, Bytes{'E', 0xFE, 0x01, 0, 0}, open}) {
        session.Send(word);  // the opening form mid-sequence is data
    }
    EXPECT_EQ(ReadWord(4), (Bytes{0xFE, 0x01, 0x00, 0x00}));
    EXPECT_EQ(ReadWord(8), (Bytes{0xFF, 0x15, 0x26, 0x37}));
    EXPECT_EQ(ReadWord(2), (Bytes{0x56, 0x78, 0xFE, 0x01}));
}

}  // namespace
}  // namespace tavlin::test
