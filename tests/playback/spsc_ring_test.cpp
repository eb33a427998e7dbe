// The ring that carries blocks from the writer to the sound callback: in order, never more
// than it holds, each slot reused only once the reader is done with it.

#include <gtest/gtest.h>

#include <cstddef>
#include <thread>

#include "playback/spsc_ring.h"

namespace {

TEST(SpscRing, HoldsItsCapacityAndHandsItemsOnInOrderAcrossTheWrap) {
    SpscRing<int, 2> ring;
    EXPECT_EQ(ring.Front(), nullptr);
    int next = 0;
    int expected = 0;
    for (int round = 0; round < 5; ++round) {
        while (ring.Size() < 2) {
            ring.Back() = next++;
            ring.Push();
        }
        ASSERT_NE(ring.Front(), nullptr);
        EXPECT_EQ(*ring.Front(), expected++);
        ring.Pop();
        EXPECT_EQ(ring.Size(), 1u);
    }
    ring.Clear();
    EXPECT_EQ(ring.Size(), 0u);
    EXPECT_EQ(ring.Front(), nullptr);
}

TEST(SpscRing, AReaderOnAnotherThreadGetsEveryItemOnceInOrder) {
    constexpr int kItems = 200000;
    SpscRing<int, 2> ring;
    std::thread writer([&ring] {
        for (int i = 0; i < kItems; ++i) {
            while (ring.Size() == 2) {
                std::this_thread::yield();
            }
            ring.Back() = i;
            ring.Push();
        }
    });
    int expected = 0;
    while (expected < kItems) {
        if (const int* item = ring.Front()) {
            ASSERT_EQ(*item, expected++);
            ring.Pop();
        } else {
            std::this_thread::yield();
        }
    }
    writer.join();
    EXPECT_EQ(ring.Front(), nullptr);
}

}  // namespace
