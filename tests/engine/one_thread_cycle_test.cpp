// The default processing cycle: every machine on the thread that calls Render. No worker threads,
// the same samples as with workers, a bounded wait for a busy studio, and a rendering thread that
// is cancelled in the middle of a buffer leaves nothing locked.
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {

int ThreadCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

class OneThreadCycle : public ::testing::Test, public CStudioFixture {
public:
    OneThreadCycle() : CStudioFixture(64) {}
};

TEST_F(OneThreadCycle, NeedsNoWorkerThreadsAndMatchesTheWorkersSampleForSample) {
    const int before = ThreadCount();
    CMachineContainer* master = m_studio->NewProject();
    // A fan of consumers on one source, a send/return loop and a chain far deeper than a
    // recursion would allow.
    CMachineContainer* shared = Add(m_tone);
    Machine(shared)->m_frequency = 441.0;
    Machine(shared)->m_level = 0.01f;
    std::vector<CMachineContainer*> machines{shared};
    for (int i = 0; i < 30; ++i) {
        CMachineContainer* consumer = Add(m_effect);
        ASSERT_TRUE(Cable(shared, consumer));
        ASSERT_TRUE(Cable(consumer, master, nullptr, 0.5f));
        machines.push_back(consumer);
    }
    CMachineContainer* mixer = Add(m_sendMixer);
    CMachineContainer* effect = Add(m_monoEffect);
    ASSERT_TRUE(Cable(shared, mixer, "In"));
    ASSERT_TRUE(m_studio->Connect(mixer->FindConnector("Send"), effect->FindConnector("In")));
    ASSERT_TRUE(m_studio->Connect(effect->FindConnector("Out"), mixer->FindConnector("Return")));
    CMachineContainer* link = mixer;
    for (int i = 0; i < 200; ++i) {
        CMachineContainer* next = Add(m_effect);
        ASSERT_TRUE(Cable(link, next));
        link = next;
    }
    ASSERT_TRUE(Cable(link, master));
    machines.insert(machines.end(), {mixer, effect, link});

    auto renderTen = [&] {
        Machine(shared)->m_phase = 0.0;
        std::vector<float> samples;
        for (int i = 0; i < 10; ++i) {
            Render(64);
            samples.insert(samples.end(), m_output[0].begin(), m_output[0].end());
        }
        return samples;
    };
    for (int i = 0; i < 100; ++i) // gains and cable volumes settle
        Render(64);
    const std::vector<float> single = renderTen();
    EXPECT_EQ(ThreadCount(), before); // 234 machines, not one thread more
    for (CMachineContainer* frame : machines) {
        EXPECT_EQ(Machine(frame)->m_processThread, std::this_thread::get_id());
        EXPECT_EQ(Machine(frame)->m_processCount, 110);
    }

    m_studio->SetSingleThreaded(false);
    EXPECT_EQ(ThreadCount(), before + m_studio->MachineCount());
    const std::vector<float> threaded = renderTen();
    EXPECT_NE(Machine(mixer)->m_processThread, std::this_thread::get_id()); // a worker's
    EXPECT_EQ(threaded, single);
    EXPECT_GT(*std::max_element(single.begin(), single.end()), 0.1f);
    EXPECT_EQ(m_studio->RenderErrors().count, 0u);

    // Back to one thread: the same samples again, every machine on the caller.
    m_studio->SetSingleThreaded(true);
    EXPECT_EQ(renderTen(), single);
    EXPECT_EQ(Machine(mixer)->m_processThread, std::this_thread::get_id());
}

TEST_F(OneThreadCycle, AStudioLockedForLongCostsASilentBufferNotAStall) {
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* tone = Add(m_tone);
    Machine(tone)->m_level = Machine(tone)->m_rightLevel = 0.5f;
    ASSERT_TRUE(Cable(tone, master));
    for (int i = 0; i < 10; ++i)
        Render(64);
    ASSERT_GT(m_output[0][63], 0.0f);
    const int processed = Machine(tone)->m_processCount;
    const int32_t counter = m_host->GetSampleCounter();

    std::atomic<bool> held{false}, release{false};
    std::thread editor([&] {
        CMutexLock lock(m_studio->Mutex());
        held = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (!held)
        std::this_thread::yield();
    for (int i = 0; i < 3; ++i) {
        std::fill(m_output[0].begin(), m_output[0].end(), 0.7f);
        m_studio->Render(2, m_pointers.data(), 64); // returns although the lock stays held
        EXPECT_EQ(*std::max_element(m_output[0].begin(), m_output[0].end()), 0.0f);
    }
    EXPECT_EQ(m_studio->SkippedBuffers(), 3u);
    EXPECT_EQ(Machine(tone)->m_processCount, processed); // time stood still
    EXPECT_EQ(m_host->GetSampleCounter(), counter);
    release = true;
    editor.join();

    Render(64);
    EXPECT_GT(m_output[0][63], 0.0f);
    EXPECT_EQ(m_studio->SkippedBuffers(), 3u);
    EXPECT_EQ(m_host->GetSampleCounter(), counter + 64);
}

TEST_F(OneThreadCycle, OfflineTheRenderWaitsForALockHeldLongAndLosesNoBuffer) {
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* tone = Add(m_tone);
    Machine(tone)->m_level = Machine(tone)->m_rightLevel = 0.5f;
    ASSERT_TRUE(Cable(tone, master));
    m_studio->SetLiveDeadline(false);
    Render(64);
    const int processed = Machine(tone)->m_processCount;

    // The lock is held for many buffers' worth of time (64 frames are 1.45 ms at 44.1 kHz).
    std::atomic<bool> held{false};
    std::thread editor([&] {
        CMutexLock lock(m_studio->Mutex());
        held = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    });
    while (!held)
        std::this_thread::yield();
    Render(64); // waits for the lock, then renders
    editor.join();
    EXPECT_EQ(m_studio->SkippedBuffers(), 0u);
    EXPECT_EQ(Machine(tone)->m_processCount, processed + 1);
    EXPECT_GT(m_output[0][63], 0.0f);
}

struct CancelRun {
    CStudio* studio;
    float* channels[2];
};

void* RenderUntilCancelled(void* argument) {
    auto* run = static_cast<CancelRun*>(argument);
    for (;;) {
        run->studio->Render(2, run->channels, 64);
        pthread_testcancel(); // as a driver's wait for the next period is
    }
    return nullptr;
}

TEST_F(OneThreadCycle, ACancelledRenderingThreadFinishesItsBufferAndLeavesNothingLocked) {
    // A machine deep in the graph sits at a cancellation point while the thread is cancelled:
    // the buffer is finished (no unwind through the cycle, whose catch-alls would end the
    // program) and the thread ends at its next cancellation point outside the engine.
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* tone = Add(m_tone);
    CMachineContainer* first = Add(m_effect);
    CMachineContainer* second = Add(m_effect);
    Machine(tone)->m_level = Machine(tone)->m_rightLevel = 0.5f;
    ASSERT_TRUE(Cable(tone, first));
    ASSERT_TRUE(Cable(first, second));
    ASSERT_TRUE(Cable(second, master));
    std::atomic<bool> inside{false}, stay{true};
    Machine(tone)->m_onProcess = [&] {
        if (inside) return;
        inside = true;
        while (stay)
            usleep(1000); // a cancellation point
    };

    std::vector<float> left(64), right(64);
    CancelRun run{m_studio.get(), {left.data(), right.data()}};
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, nullptr, RenderUntilCancelled, &run), 0);
    while (!inside)
        std::this_thread::yield();
    ASSERT_EQ(pthread_cancel(thread), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // the sleeps are not cut short
    EXPECT_EQ(Machine(second)->m_processCount, 0);
    stay = false;
    void* result = nullptr;
    ASSERT_EQ(pthread_join(thread, &result), 0);
    EXPECT_EQ(result, PTHREAD_CANCELED);
    EXPECT_EQ(Machine(second)->m_processCount, 1); // the buffer was finished
    EXPECT_EQ(Machine(tone)->m_processCount, 1);

    for (CMachineContainer* frame : {master, tone, first, second})
        EXPECT_FALSE(frame->Machine()->IsLocked()) << frame->Name();
    ASSERT_TRUE(m_studio->Mutex().TryLock());
    m_studio->Mutex().Unlock();
    for (int i = 0; i < 200; ++i)
        Render(64);
    EXPECT_EQ(m_studio->SkippedBuffers(), 0u);
    EXPECT_NEAR(m_output[0][63], 0.5f, 1e-3f);
}

} // namespace
