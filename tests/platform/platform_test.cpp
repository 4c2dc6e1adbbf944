#include "platform/clock.h"
#include "platform/cpu.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/random.h"
#include "platform/resources.h"
#include "platform/semaphore.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

extern const platform::ResourceTable kTestResources;

TEST(Error, RaiseThrowsTheFormattedText) {
    try {
        platform::Raise("Machine <%s> Not Found", "QX Nothing");
        FAIL() << "no throw";
    } catch (const platform::CError& error) {
        EXPECT_STREQ(error.what(), "Machine <QX Nothing> Not Found");
    }
}

TEST(Random, FifteenBitValuesAndRepeatableSequences) {
    platform::SeedRandom(1234);
    std::vector<int> first;
    for (int i = 0; i < 1000; ++i) {
        const int value = platform::Random15();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, platform::kRandomMax);
        first.push_back(value);
    }
    platform::SeedRandom(1234);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(platform::Random15(), first[static_cast<size_t>(i)]);
    // The values cover the whole range rather than a few buckets.
    std::set<int> buckets;
    for (int value : first) buckets.insert(value / 4096);
    EXPECT_EQ(buckets.size(), 8u);
}

TEST(Random, ConcurrentDrawsNeverRepeatAStep) {
    // Every draw advances the one shared state exactly once: the union of what four threads draw
    // equals the single-threaded sequence of the same length (as a multiset).
    constexpr int kPerThread = 5000;
    platform::SeedRandom(99);
    std::multiset<int> expected;
    for (int i = 0; i < 4 * kPerThread; ++i) expected.insert(platform::Random15());
    platform::SeedRandom(99);
    std::vector<std::vector<int>> drawn(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&drawn, t] {
            for (int i = 0; i < kPerThread; ++i) drawn[static_cast<size_t>(t)].push_back(platform::Random15());
        });
    for (auto& thread : threads) thread.join();
    std::multiset<int> got;
    for (auto& list : drawn) got.insert(list.begin(), list.end());
    EXPECT_EQ(got, expected);
}

TEST(Clock, MonotonicCounters) {
    const int64_t a = platform::HighResCounter();
    const uint32_t tickA = platform::TickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const int64_t b = platform::HighResCounter();
    EXPECT_GE(b - a, 19 * platform::HighResFrequency() / 1000);
    EXPECT_GE(platform::TickCount() - tickA, 19u);
}

TEST(Cpu, SixtyFourBitFlags) { EXPECT_EQ(platform::ProcessorFeatures(), 0x16); }

TEST(Semaphore, CountsReleasesAndTimesOut) {
    platform::CSemaphore semaphore;
    EXPECT_FALSE(semaphore.WaitFor(10));
    semaphore.Release();
    semaphore.Release();
    semaphore.Wait();
    EXPECT_TRUE(semaphore.WaitFor(0));
    EXPECT_FALSE(semaphore.WaitFor(5));
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        semaphore.Release();
    });
    semaphore.Wait();  // sleeps past the spin and is woken
    releaser.join();
}

TEST(Thread, BodyWaitsForTheStartGateAndServesRequests) {
    std::atomic<bool> ran{false};
    std::atomic<bool> stop{false};
    platform::CRequestQueue queue;
    platform::CSemaphore done;
    platform::CPlatformThread thread;
    thread.Create([&] {
        ran = true;
        while (!stop) queue.WaitAndRun(50);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(ran.load()) << "the thread ran before Start";
    thread.Start();
    int counter = 0;
    struct Work {
        int* counter;
        platform::CSemaphore* done;
    } work{&counter, &done};
    auto increment = [](void* argument) {
        auto* w = static_cast<Work*>(argument);
        ++*w->counter;
        w->done->Release();
    };
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(queue.Post({increment, &work}));
        done.Wait();
    }
    EXPECT_EQ(counter, 10);
    stop = true;
    thread.Join();
    EXPECT_TRUE(ran.load());
}

TEST(Thread, FullQueueRefusesInsteadOfGrowing) {
    platform::CRequestQueue queue;
    int counter = 0;
    auto increment = [](void* argument) { ++*static_cast<int*>(argument); };
    for (int i = 0; i < platform::CRequestQueue::kCapacity; ++i) ASSERT_TRUE(queue.Post({increment, &counter}));
    EXPECT_FALSE(queue.Post({increment, &counter}));
    EXPECT_EQ(queue.RunPending(), platform::CRequestQueue::kCapacity);
    EXPECT_EQ(counter, platform::CRequestQueue::kCapacity);
}

TEST(Files, ListsOnlyFilesWithTheExtension) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / "list_files";
    fs::remove_all(folder);
    fs::create_directories(folder / "sub.so");
    std::ofstream(folder / "a.so") << "x";
    std::ofstream(folder / "b.txt") << "x";
    std::ofstream(folder / "so") << "x";
    const auto files = platform::ListFiles(folder, ".so");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename(), "a.so");
    EXPECT_EQ(platform::ListFiles(folder, "").size(), 3u);
    EXPECT_TRUE(platform::ListFiles(folder / "missing", ".so").empty());
}

TEST(Files, FoldersFollowTheEnvironment) {
    EXPECT_EQ(platform::ProgramFolder(), std::filesystem::path(TAMBOREL_TEST_BINARY_DIR));
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string keep = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", "/tmp/tamborel-xdg", 1);
    EXPECT_EQ(platform::AppDataFolder(), std::filesystem::path("/tmp/tamborel-xdg"));
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(platform::AppDataFolder(), std::filesystem::path("/home/someone/.config"));
    if (saved) setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
}

TEST(Files, StateFolderFollowsTheEnvironment) {
    const char* savedState = std::getenv("XDG_STATE_HOME");
    const std::string keepState = savedState ? savedState : "";
    const char* savedHome = std::getenv("HOME");
    const std::string keepHome = savedHome ? savedHome : "";
    setenv("XDG_STATE_HOME", "/tmp/tamborel-state", 1);
    EXPECT_EQ(platform::StateFolder(), std::filesystem::path("/tmp/tamborel-state"));
    setenv("XDG_STATE_HOME", "", 1); // an empty variable counts as unset
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(platform::StateFolder(), std::filesystem::path("/home/someone/.local/state"));
    if (savedState) setenv("XDG_STATE_HOME", keepState.c_str(), 1);
    else unsetenv("XDG_STATE_HOME");
    if (savedHome) setenv("HOME", keepHome.c_str(), 1);
}

TEST(Resources, LookedUpByTypeAndNumber) {
    const platform::Resource* binary = platform::FindResource(kTestResources, "BINARY", 7);
    ASSERT_NE(binary, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(binary->data), binary->size), "seven");
    const platform::Resource* png = platform::FindResource(kTestResources, "PNG", 7);
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(png->size, 20u);
    EXPECT_EQ(platform::FindResource(kTestResources, "PNG", 8), nullptr);
    EXPECT_EQ(platform::FindResource(kTestResources, "ICON", 7), nullptr);
}
