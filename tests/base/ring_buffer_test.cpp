#include "base/ring_buffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavlin {
namespace {

// Values pushed across the end of the store come out in order, and a full
// ring takes only what fits.
TEST(RingBufferTest, PushTakesWhatFitsAndPopKeepsTheOrderAcrossTheEnd) {
    RingBuffer<int> ring(4);
    const std::vector<int> in{1, 2, 3, 4, 5, 6, 7};
    std::vector<int> out(4);
    EXPECT_EQ(ring.Push(in.data(), 3), 3u);
    EXPECT_EQ(ring.Pop(out.data(), 2), 2u);
    EXPECT_EQ(ring.Push(in.data() + 3, 4), 3u) << "room for three";
    EXPECT_EQ(ring.Room(), 0u);
    EXPECT_EQ(ring.Pop(out.data(), 5), 4u);
    EXPECT_EQ(out, (std::vector<int>{3, 4, 5, 6}));
}

// Written at Back and read at Front in place, turn after turn.
TEST(RingBufferTest, PlacesFilledAtTheBackComeOutAtTheFront) {
    RingBuffer<int> ring(3);
    for (int value = 0; value < 8; ++value) {
        ring.Back() = value;
        ring.Commit();
        if (ring.Size() == 2) {
            EXPECT_EQ(ring.Front(), value - 1);
            ring.DropFront();
        }
    }
    EXPECT_EQ(ring.Size(), 1u);
    EXPECT_EQ(ring.Front(), 7);
}

}  // namespace
}  // namespace tavlin
