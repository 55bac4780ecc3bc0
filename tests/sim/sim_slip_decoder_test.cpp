#include <gtest/gtest.h>

#include "sim/slip_decoder.h"

namespace tavlin {
namespace {

using namespace ::tavlin::sim;

using Frames = std::vector<std::vector<std::uint8_t>>;

Frames FeedAll(SlipDecoder& decoder, const std::vector<std::uint8_t>& bytes) {
    Frames frames;
    decoder.Feed(bytes.data(), bytes.size(), frames);
    return frames;
}

TEST(SimSlipDecoder, EscapesStandForFrameEndAndEscape) {
    SlipDecoder decoder;
    const Frames frames = FeedAll(decoder, {'E', 0xDB, 0xDC, 0xDB, 0xDD, 0x01, 0xC0});
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], (std::vector<std::uint8_t>{'E', 0xC0, 0xDB, 0x01}));
}

TEST(SimSlipDecoder, FramesSplitAcrossWritesAndAnEscapeSplitFromItsByte) {
    SlipDecoder decoder;
    EXPECT_TRUE(FeedAll(decoder, {'L', 0x00, 0xDB}).empty());
    EXPECT_TRUE(FeedAll(decoder, {0xDC, 0x4C}).empty());
    const Frames frames = FeedAll(decoder, {0x42, 0xC0, 'V', 0xC0, 'T'});
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], (std::vector<std::uint8_t>{'L', 0x00, 0xC0, 0x4C, 0x42}));
    EXPECT_EQ(frames[1], (std::vector<std::uint8_t>{'V'}));
    // "T" waits for its frame end.
    EXPECT_EQ(FeedAll(decoder, {0xC0}), Frames{{'T'}});
}

TEST(SimSlipDecoder, EmptyFramesAreDroppedAndGarbageIsBounded) {
    SlipDecoder decoder;
    EXPECT_TRUE(FeedAll(decoder, {0xC0, 0xC0}).empty());
    std::vector<std::uint8_t> garbage(1000, 0x41);
    garbage.push_back(0xC0);
    garbage.insert(garbage.end(), {'A', 0x02, 0xC0});
    const Frames frames = FeedAll(decoder, garbage);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], (std::vector<std::uint8_t>{'A', 0x02}));
    EXPECT_EQ(decoder.DiscardedFrames(), 1u);
}

TEST(SimSlipDecoder, EscapeBeforeAnOrdinaryByteKeepsThatByte) {
    SlipDecoder decoder;
    EXPECT_EQ(FeedAll(decoder, {'M', 0xDB, 0x01, 0xC0}), (Frames{{'M', 0x01}}));
}

TEST(SimSlipDecoder, ResetForgetsAPartFrame) {
    SlipDecoder decoder;
    FeedAll(decoder, {'A', 0x01});
    decoder.Reset();
    EXPECT_EQ(FeedAll(decoder, {'F', 0x01, 0xC0}), (Frames{{'F', 0x01}}));
}

}  // namespace
}  // namespace tavlin
