#include "base/ring_buffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavlin {
namespace {

// Values pushed across the end of the store come out in order, a full ring
// takes only what fits, and places filled at the back are read at the front.
TEST(RingBufferTest, KeepsTheOrderAcrossTheEndAndTakesOnlyWhatFits) {
    RingBuffer<int> ring(4);
    const std::vector<int> in{1, 2, 3, 4, 5, 6, 7};
    std::vector<int> out(4);
    EXPECT_EQ(ring.Push(in.data(), 3), 3u);
    EXPECT_EQ(ring.Pop(out.data(), 2), 2u);
    EXPECT_EQ(ring.Push(in.data() + 3, 4), 3u) << "room for three";
    EXPECT_EQ(ring.Pop(out.data(), 3), 3u);
    ring.Back() = 8;
    ring.Commit();
    EXPECT_EQ(ring.Front(), 6);
    EXPECT_EQ(ring.Pop(out.data(), 5), 2u);
    EXPECT_EQ(out, (std::vector<int>{6, 8, 5, 0}));
}

}  // namespace
}  // namespace tavlin
