// The test double of the sound output waits as the real one does, so that tests of the
// playback job over it mean something.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "tests/test_support/test_audio_out.h"

namespace {

using std::chrono::milliseconds;

Bytes Block(std::size_t seed, std::size_t size) {
    Bytes block(size);
    for (std::size_t i = 0; i < size; ++i) {
        block[i] = static_cast<std::uint8_t>(i * 3 + seed);
    }
    return block;
}

TEST(TestAudioOutTest, WritesWaitWhileTwoBlocksAreUnfinishedAndDrainWaitsForAll) {
    TestAudioOut out(milliseconds(20));
    out.holdCompletions = true;
    std::atomic<std::size_t> queued{0};
    out.onWrite = [&queued](std::size_t index) { queued = index + 1; };
    const AudioFormat format{48000, 1};
    ASSERT_TRUE(out.Open(format, "any"));
    EXPECT_EQ(out.OpenedFormat(), format);

    const std::vector<std::size_t> sizes = {100, 7, 44100, 3, 900};
    Bytes written;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const Bytes block = Block(i, sizes[i]);
        written.insert(written.end(), block.begin(), block.end());
    }
    auto writer = std::async(std::launch::async, [&] {
        std::size_t offset = 0;
        for (const std::size_t size : sizes) {
            if (!out.Write(written.data() + offset, size)) {
                return false;
            }
            offset += size;
        }
        return true;
    });
    EXPECT_EQ(writer.wait_for(milliseconds(100)), std::future_status::timeout);
    EXPECT_EQ(queued, 2u) << "a third block was queued while two were unfinished";
    EXPECT_EQ(out.Completions(), 0u);

    out.ReleaseHeld();
    ASSERT_TRUE(writer.get());
    out.Drain();
    EXPECT_EQ(out.Completions(), sizes.size());
    EXPECT_EQ(out.MaxInFlight(), 2u);
    EXPECT_EQ(out.Played(), written);
    EXPECT_EQ(out.BlockSizes(), sizes);
    out.Close();
    EXPECT_FALSE(out.IsOpen());
    EXPECT_EQ(out.Opens(), 1);
    EXPECT_EQ(out.Closes(), 1);
}

TEST(TestAudioOutTest, AbortEndsEveryWait) {
    struct Case {
        const char* waiter;
        std::function<void(TestAudioOut&)> wait;
    };
    const Case cases[] = {
        {"Write", [](TestAudioOut& out) { out.Write(Block(3, 10).data(), 10); }},
        {"WaitForRoom", [](TestAudioOut& out) { out.WaitForRoom(); }},
        {"Drain", [](TestAudioOut& out) { out.Drain(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.waiter);
        TestAudioOut out;
        out.holdCompletions = true;
        ASSERT_TRUE(out.Open(AudioFormat{}));
        const Bytes block = Block(1, 10);
        ASSERT_TRUE(out.Write(block.data(), block.size()));
        ASSERT_TRUE(out.Write(block.data(), block.size()));
        auto job = std::async(std::launch::async, [&out, &c] { c.wait(out); });
        EXPECT_EQ(job.wait_for(milliseconds(50)), std::future_status::timeout);
        out.Abort();
        EXPECT_EQ(job.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        EXPECT_FALSE(out.Write(block.data(), block.size()));
        EXPECT_EQ(out.Error(), "Playback was aborted.");
        EXPECT_EQ(out.Completions(), 0u);
        EXPECT_EQ(out.BlockSizes().size(), 2u);
    }
}

TEST(TestAudioOutTest, FailuresSayWhy) {
    TestAudioOut cannotOpen;
    cannotOpen.failOpen = true;
    EXPECT_FALSE(cannotOpen.Open(AudioFormat{}));
    EXPECT_FALSE(cannotOpen.IsOpen());
    EXPECT_EQ(cannotOpen.Error(), "Device unavailable");
    EXPECT_EQ(cannotOpen.Opens(), 0);

    TestAudioOut cannotWrite;
    cannotWrite.failWrites = true;
    ASSERT_TRUE(cannotWrite.Open(AudioFormat{}));
    const Bytes block = Block(1, 10);
    EXPECT_FALSE(cannotWrite.Write(block.data(), block.size()));
    EXPECT_EQ(cannotWrite.Error(), "The sound device stopped working.");
    EXPECT_TRUE(cannotWrite.Played().empty());
}

}  // namespace
