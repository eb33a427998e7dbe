// The settings a playback takes are always one publication whole, however the window's
// changes and the playback's takes interleave.

#include <gtest/gtest.h>

#include <thread>

#include "jobs/mailbox.h"
#include "processing/processing_parameters.h"

TEST(Mailbox, ATakeIsOnePublicationWholeAndOnlyNewerOnesAreTaken) {
    Mailbox<ProcessingParameters> box;
    ProcessingParameters taken;
    std::uint64_t seen = 0;
    box.TakeNewer(taken, seen);
    const std::uint64_t first = seen;
    EXPECT_NE(first, 0u);
    box.TakeNewer(taken, seen);
    EXPECT_EQ(seen, first);  // nothing new: nothing taken

    box.Change([](ProcessingParameters& held) {
        held = {.pan = {0, 0}, .lowCutoff = 0, .highCutoff = 0};
    });
    constexpr int kChanges = 200000;
    std::jthread window([&] {
        for (int i = 1; i <= kChanges; ++i) {
            box.Change([i](ProcessingParameters& p) {
                p.lowCutoff = i;
                p.highCutoff = -i;
                p.pan = {static_cast<float>(i), static_cast<float>(-i)};
            });
        }
    });
    int last = 0;
    while (last < kChanges) {
        box.TakeNewer(taken, seen);
        ASSERT_EQ(taken.highCutoff, -taken.lowCutoff);
        ASSERT_EQ(taken.pan.right, -taken.pan.left);
        ASSERT_EQ(taken.pan.left, static_cast<float>(taken.lowCutoff));
        ASSERT_GE(taken.lowCutoff, last);  // never an older one after a newer
        last = taken.lowCutoff;
    }
}
