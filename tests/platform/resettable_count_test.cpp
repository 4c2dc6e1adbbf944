// The count behind the xrun counter and the clip light: events added on another thread while
// the user resets are never lost or counted twice.
#include "platform/resettable_count.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(ResettableCount, ResetsWhileAnotherThreadCountsLoseNothing) {
    CResettableCount count;
    count.Add(3);
    EXPECT_EQ(count.Count(), 3u);
    count.Reset();
    EXPECT_EQ(count.Count(), 0u);
    EXPECT_EQ(count.Total(), 3u);

    constexpr uint64_t kEvents = 200000;
    std::atomic<bool> done{false};
    std::atomic<bool> resetting{false};
    std::thread counter([&] {
        // Counting starts once resets have begun, so the two always overlap.
        while (!resetting.load())
            std::this_thread::yield();
        for (uint64_t i = 0; i < kEvents; ++i)
            count.Add();
        done.store(true);
    });
    // Each reading after a reset can only grow until the next reset, and never exceeds what
    // was added.
    do {
        count.Reset();
        resetting.store(true);
        const uint64_t first = count.Count();
        const uint64_t second = count.Count();
        EXPECT_LE(first, second);
        EXPECT_LE(second, kEvents);
    } while (!done.load());
    counter.join();
    EXPECT_EQ(count.Total(), 3 + kEvents);
    count.Reset();
    EXPECT_EQ(count.Count(), 0u);
    count.Add();
    EXPECT_EQ(count.Count(), 1u);
}

} // namespace
