// The "Wave Out" xrun counter on a device that plays by the clock and runs dry when the program
// falls behind (the test device of underrun_device.cpp, made known to ALSA through a
// configuration file of our own): a buffer rendered far too slowly is one underrun, counted;
// the device plays on and the user's reset clears the count.
#include "audio_out/wave_out_driver.h"

#include <gtest/gtest.h>

#include <alsa/asoundlib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

std::atomic<int64_t> g_frames{0};
std::atomic<bool> g_stall{false};

// Silence; holds one buffer 100 ms (five times what the device keeps) when asked.
void StallingCallback(int32_t channelCount, float** channels, int32_t frames) {
    SilenceCallback(channelCount, channels, frames);
    g_frames.fetch_add(frames);
    if (g_stall.exchange(false)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

template <typename Condition> bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// ALSA's own configuration, then ours naming the test device.
void UseTestDevice() {
    const auto file = std::filesystem::path(TAMBOREL_TEST_BINARY_DIR) / "underrun-device.conf";
    std::ofstream(file) << "pcm_type.tamborel_underrun { lib \"" << TAMBOREL_UNDERRUN_DEVICE << "\" }\n"
                        << "pcm.tamborel_underrun { type tamborel_underrun }\n";
    const std::string path = std::string(snd_config_topdir()) + "/alsa.conf:" + file.string();
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
}

TEST(AlsaXruns, AnUnderrunIsCountedThePlayingGoesOnAndTheResetClearsIt) {
    UseTestDevice();
    DriverOptions options;
    options.waveOutFormat = 0x800; // 44.1 kHz, 16-bit, stereo
    options.waveOutLatency = 10;   // two buffers of 441 frames: the device holds 20 ms
    CWaveOutDriver driver(options, {"tamborel_underrun"});
    ASSERT_TRUE(driver.IsAvailable()) << "the test device did not open";
    EXPECT_TRUE(driver.CurrentIsSoundCard());
    driver.SetCallback(StallingCallback);
    driver.Start();
    struct StopGuard {
        CWaveOutDriver& driver;
        ~StopGuard() { driver.Stop(); }
    } guard{driver};

    // It plays by the clock: about a quarter second of buffers in a quarter second.
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([] { return g_frames.load() > 11025; }, std::chrono::seconds(5)));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(200));

    // A busy machine may have let the device run dry already: that is reset away first.
    driver.ResetXruns();
    g_stall.store(true);
    ASSERT_TRUE(WaitFor([&] { return driver.GetXruns() > 0; }, std::chrono::seconds(5)))
        << "no underrun was counted for a buffer five device buffers late";
    // The device came back from the underrun: samples flow on, nothing is reported lost.
    const int64_t after = g_frames.load();
    EXPECT_TRUE(WaitFor([&] { return g_frames.load() > after + 11025; }, std::chrono::seconds(5)));
    EXPECT_EQ(driver.Watch().kind, DriverEvent::Kind::None);
    EXPECT_FALSE(driver.IsLost());

    driver.Stop();
    EXPECT_GE(driver.GetXruns(), 1u) << "the count outlives Stop until the user resets it";
    driver.ResetXruns();
    EXPECT_EQ(driver.GetXruns(), 0u);
}

} // namespace
