// The xrun counter on a real JACK server of our own (dummy backend, not real-time): a buffer the
// studio holds far longer than its period makes the server miss a cycle; the driver counts it,
// the CPU-load peak shows the slow buffer, and the user's reset brings the counter back to 0.
#include "audio_out/asio_driver.h"
#include "tests/support/processes.h"
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

template <typename Condition> bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

TEST(JackXruns, AStalledBufferIsCountedAndTheResetClearsTheCount) {
    if (!processes::CJackServer::Installed()) GTEST_SKIP() << "jackd or jack_lsp missing";
    const processes::CJackServer server("xrun");
    ASSERT_TRUE(server.Started());
    ASSERT_TRUE(server.WaitUntilUp()) << "the JACK server did not come up";

    DriverOptions options;
    CASIODriver driver(options, "tamborel-xrun");
    ASSERT_TRUE(driver.IsAvailable());
    EXPECT_EQ(driver.GetXruns(), 0u);

    // A tone into the master; the tone's Process stalls for 100 ms (about 19 periods of 5.3 ms)
    // once when asked.
    CStudioFixture fixture(driver.GetBufferSize(), driver.GetSampleRate());
    g_testChannels = driver.GetChannels();
    CMachineContainer* master = fixture.m_studio->NewProject();
    CMachineContainer* tone = fixture.Add(fixture.m_tone);
    ASSERT_TRUE(fixture.Cable(tone, master));
    std::atomic<bool> stall{false};
    std::atomic<int64_t> buffers{0};
    CStudioFixture::Machine(tone)->m_onProcess = [&] {
        buffers.fetch_add(1);
        if (stall.exchange(false)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    };
    CStudio::SetRenderTarget(fixture.m_studio.get());
    struct TargetGuard {
        ~TargetGuard() { CStudio::SetRenderTarget(nullptr); }
    } target;
    // Stopped before the studio goes, also when an assertion ends the test early.
    struct StopGuard {
        CASIODriver& driver;
        ~StopGuard() { driver.Stop(); }
    } stopGuard{driver};
    driver.SetCallback(CStudio::RenderCallback);
    driver.Start();
    ASSERT_TRUE(WaitFor([&] { return buffers.load() > 100; }, std::chrono::seconds(10)));

    // A server without real-time scheduling may miss a cycle on its own while starting on a busy
    // machine: what came before the stall is reset away.
    driver.ResetXruns();
    fixture.m_studio->CpuLoad().TakePeak();
    const int64_t before = buffers.load();
    stall.store(true);
    ASSERT_TRUE(WaitFor([&] { return driver.GetXruns() > 0; }, std::chrono::seconds(5)))
        << "no xrun was counted for a buffer 19 periods late";
    // The server tells of the missed cycle while the stalled buffer may still be rendering; sound
    // goes on after it, and the stalled buffer's share of its period shows in the peak.
    EXPECT_TRUE(WaitFor([&] { return buffers.load() > before + 50; }, std::chrono::seconds(5)));
    EXPECT_GE(fixture.m_studio->CpuLoad().TakePeak(), 10.0f);

    // The count outlives Stop (the tool bar still shows it) until the user resets it.
    driver.Stop();
    const uint64_t counted = driver.GetXruns();
    EXPECT_GT(counted, 0u);
    driver.ResetXruns();
    EXPECT_EQ(driver.GetXruns(), 0u);
}

} // namespace
