#include <gtest/gtest.h>

#include "sim/slip_decoder.h"

namespace tavlin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Frames = std::vector<Bytes>;

// Each case feeds its writes in turn and expects the frames completed by the
// last one.
TEST(SimSlipDecoder, FramesEscapesAndSplitsAcrossWrites) {
    struct Case {
        const char* what;
        std::vector<Bytes> writes;
        Frames frames;
    };
    const Case cases[] = {
        {"escapes", {{'E', 0xDB, 0xDC, 0xDB, 0xDD, 0x01, 0xC0}}, {{'E', 0xC0, 0xDB, 0x01}}},
        {"escape before an ordinary byte keeps it", {{'M', 0xDB, 0x01, 0xC0}}, {{'M', 0x01}}},
        {"split frames and a split escape",
         {{'L', 0x00, 0xDB}, {0xDC, 0x4C}, {0x42, 0xC0, 'V', 0xC0, 'T'}},
         {{'L', 0x00, 0xC0, 0x4C, 0x42}, {'V'}}},
        {"empty frames are dropped", {{0xC0, 0xC0}}, {}},
    };
    for (const Case& c : cases) {
        sim::SlipDecoder decoder;
        Frames frames;
        for (const Bytes& write : c.writes) {
            frames.clear();
            decoder.Feed(write.data(), write.size(), frames);
        }
        EXPECT_EQ(frames, c.frames) << c.what;
    }
}

TEST(SimSlipDecoder, GarbageIsBoundedAndResetForgetsAPartFrame) {
    sim::SlipDecoder decoder;
    Bytes garbage(1000, 0x41);  // a frame too long to be a command
    for (const int byte : {0xC0, 0x41, 0x02, 0xC0}) {
        garbage.push_back(static_cast<std::uint8_t>(byte));
    }
    Frames frames;
    decoder.Feed(garbage.data(), garbage.size(), frames);
    EXPECT_EQ(frames, (Frames{{0x41, 0x02}}));
    EXPECT_EQ(decoder.DiscardedFrames(), 1u);

    const Bytes part{'A', 0x01};
    const Bytes whole{'F', 0x01, 0xC0};
    frames.clear();
    decoder.Feed(part.data(), part.size(), frames);
    decoder.Reset();
    decoder.Feed(whole.data(), whole.size(), frames);
    EXPECT_EQ(frames, (Frames{{'F', 0x01}}));
}

}  // namespace
}  // namespace tavlin
