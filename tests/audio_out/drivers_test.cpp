// The offline renderer and the driver list.
#include "audio_out/driver_manager.h"
#include "audio_out/offline_driver.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

int g_buffersRendered = 0;
float g_next = 0.0f;

// A ramp across buffers, so gaps and repeats show.
void RampCallback(int32_t channelCount, float** channels, int32_t frames) {
    ++g_buffersRendered;
    for (int32_t i = 0; i < frames; ++i) {
        for (int32_t c = 0; c < channelCount; ++c)
            channels[c][i] = g_next + 0.5f * static_cast<float>(c);
        g_next += 1.0f;
    }
}

TEST(OfflineDriver, HandsOutAContinuousStreamInAnyPieces) {
    g_buffersRendered = 0;
    g_next = 0.0f;
    COfflineDriver driver(44100, 64, 2);
    driver.SetCallback(RampCallback);
    int updates = 0;
    int buffersAtLastUpdate = -1;
    bool updateInsideABuffer = false;
    driver.SetUpdatePass([&] {
        ++updates;
        updateInsideABuffer |= buffersAtLastUpdate == g_buffersRendered;
        buffersAtLastUpdate = g_buffersRendered;
    });
    std::vector<float> left(1000), right(1000), extra(1000, 9.0f);
    float* channels[] = {left.data(), right.data(), extra.data()};
    int32_t frame = 0;
    for (int32_t piece : {1, 63, 100, 500, 7}) {
        driver.Render(channels, 3, piece);
        for (int32_t i = 0; i < piece; ++i) {
            ASSERT_EQ(left[static_cast<size_t>(i)], static_cast<float>(frame + i));
            ASSERT_EQ(right[static_cast<size_t>(i)], static_cast<float>(frame + i) + 0.5f);
            ASSERT_EQ(extra[static_cast<size_t>(i)], 0.0f);
        }
        frame += piece;
    }
    EXPECT_EQ(driver.FramesRendered(), 671);
    EXPECT_EQ(g_buffersRendered, 11); // 671 frames need 11 buffers of 64

    // One pass per 10 ms of audio, run between buffers.
    std::vector<float> big(44100);
    float* mono[] = {big.data()};
    driver.Render(mono, 1, 44100);
    EXPECT_GE(updates, 98);
    EXPECT_LE(updates, 102);
    EXPECT_FALSE(updateInsideABuffer);
}

class CFakeDriver : public CAudioOutputDriver {
public:
    CFakeDriver(const char* name, bool available, int32_t channels)
        : m_name(name), m_available(available), m_channels(channels) {}
    void SetCallback(RenderCallback callback) override { m_callback = callback; }
    int32_t GetChannels() override { return m_channels; }
    int32_t GetBufferSize() override { return 128; }
    int32_t GetSampleRate() override { return 48000; }
    const char* GetName() override { return m_name; }
    void Start() override {
        m_running = true;
        ++m_starts;
    }
    void Stop() override { m_running = false; }
    bool IsAvailable() override { return m_available; }
    std::string GetDeviceName() override { return "fake"; }
    DriverEvent Watch() override {
        DriverEvent event = m_nextEvent;
        m_nextEvent = {};
        return event;
    }

    const char* m_name;
    bool m_available;
    int32_t m_channels;
    bool m_running = false;
    RenderCallback m_callback = nullptr;
    DriverEvent m_nextEvent;
    int32_t m_starts = 0;
};

TEST(DriverManager, IndexFromOptionsBindingAndSwitching) {
    DriverOptions options;
    options.driverIndex = 5;
    auto* wave = new CFakeDriver("Wave Out", true, 2);
    auto* asio = new CFakeDriver("ASIO", false, 8);
    {
        COutputDriverManager manager(options, std::unique_ptr<CAudioOutputDriver>(wave),
                                     std::unique_ptr<CAudioOutputDriver>(asio));
        EXPECT_EQ(manager.CurrentIndex(), 0); // an index above 1 selects 0
        EXPECT_EQ(COutputDriverManager::CurrentChannelCount(), 2);

        int32_t formatRate = 0, formatSize = 0;
        auto hook = [&](int32_t rate, int32_t size) {
            formatRate = rate;
            formatSize = size;
        };
        EXPECT_TRUE(manager.Bind(SilenceCallback, hook));
        EXPECT_TRUE(wave->m_running);
        EXPECT_EQ(wave->m_callback, &SilenceCallback);
        EXPECT_EQ(formatRate, 48000);
        EXPECT_EQ(formatSize, 128);

        // An unavailable driver is made current but never started.
        formatRate = 0;
        EXPECT_FALSE(manager.SwitchTo(1, SilenceCallback, hook));
        EXPECT_FALSE(wave->m_running);
        EXPECT_FALSE(asio->m_running);
        EXPECT_EQ(formatRate, 0);
        EXPECT_EQ(COutputDriverManager::CurrentChannelCount(), 8);
        EXPECT_EQ(options.driverIndex, 1);
    }
    EXPECT_EQ(options.driverIndex, 1); // written back at the end
    EXPECT_EQ(COutputDriverManager::CurrentChannelCount(), 2);
}

TEST(DriverManager, WatchPassesEventsOnAndBindsAgainForANewFormat) {
    DriverOptions options;
    auto* wave = new CFakeDriver("Wave Out", true, 2);
    COutputDriverManager manager(options, std::unique_ptr<CAudioOutputDriver>(wave),
                                 std::make_unique<CFakeDriver>("ASIO", false, 2));
    int32_t formats = 0;
    ASSERT_TRUE(manager.Bind(SilenceCallback, [&](int32_t, int32_t) { ++formats; }));
    EXPECT_EQ(manager.Watch().kind, DriverEvent::Kind::None);

    wave->m_nextEvent = {DriverEvent::Kind::Lost, "gone"};
    const DriverEvent lost = manager.Watch();
    EXPECT_EQ(lost.kind, DriverEvent::Kind::Lost);
    EXPECT_EQ(lost.text, "gone");
    EXPECT_EQ(wave->m_starts, 1); // told, not restarted

    // A new format: the studio hears of it through the hook of the last binding, then the driver starts.
    wave->m_nextEvent = {DriverEvent::Kind::Reformat, "back at 48000 Hz"};
    const DriverEvent back = manager.Watch();
    EXPECT_EQ(back.text, "back at 48000 Hz; sound resumes at the new format");
    EXPECT_EQ(formats, 2);
    EXPECT_EQ(wave->m_starts, 2);
    EXPECT_TRUE(wave->m_running);
    EXPECT_EQ(wave->m_callback, &SilenceCallback);

    // With a format change hook, that one hears of it, and the binding's hook does not.
    int32_t changedRate = 0, changedSize = 0;
    manager.SetFormatChangeHook([&](int32_t rate, int32_t size) {
        changedRate = rate;
        changedSize = size;
    });
    wave->m_nextEvent = {DriverEvent::Kind::Reformat, "back"};
    manager.Watch();
    EXPECT_EQ(changedRate, 48000);
    EXPECT_EQ(changedSize, 128);
    EXPECT_EQ(formats, 2);
    EXPECT_EQ(wave->m_starts, 3);
}

} // namespace
