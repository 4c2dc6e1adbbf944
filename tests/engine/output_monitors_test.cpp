// The tool bar's output monitors as the engine keeps them: the CPU-load meter's smoothing (fed
// with chosen busy times, no clock involved), its peak, and the latched clip light, alone and fed
// by the studio's render.
#include "engine/clip_light.h"
#include "engine/cpu_load_meter.h"
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

namespace {

constexpr double kRate = 44100.0;

// Feeds buffers of the given size at a constant share of their period for the given audio time;
// returns the audio time at which the smoothed load first reached the threshold (-1: never).
double FeedConstant(CCpuLoadMeter& meter, int32_t frames, double share, double seconds, float threshold) {
    const double period = frames / kRate;
    double crossedAt = -1.0;
    for (double elapsed = 0.0; elapsed < seconds;) {
        meter.Feed(share * period, period);
        elapsed += period;
        if (crossedAt < 0.0 && meter.Load() >= threshold) crossedAt = elapsed;
    }
    return crossedAt;
}

class CpuLoadStep : public ::testing::TestWithParam<int32_t> {};

TEST_P(CpuLoadStep, SettlesAtTheShareWithTheSameTimeConstantForEveryBufferSize) {
    const int32_t frames = GetParam();
    const double period = frames / kRate;
    CCpuLoadMeter meter;
    EXPECT_FLOAT_EQ(meter.Load(), 0.0f);
    // A step from idle to 40 % of the period: half way after ln 2 time constants of audio time,
    // whether that took 4 buffers or 300.
    const double halfWay = FeedConstant(meter, frames, 0.4, 3.0, 0.2f);
    EXPECT_NEAR(halfWay, CCpuLoadMeter::kTimeConstantSeconds * std::log(2.0), period + 1e-9) << frames;
    EXPECT_NEAR(meter.Load(), 0.4f, 0.4f * 1e-3f) << "3 s are ten time constants";
    // Back to idle: falls with the same constant.
    const double halfDown = [&] {
        double elapsed = 0.0;
        while (meter.Load() > 0.2f && elapsed < 3.0) {
            meter.Feed(0.0, period);
            elapsed += period;
        }
        return elapsed;
    }();
    EXPECT_NEAR(halfDown, CCpuLoadMeter::kTimeConstantSeconds * std::log(2.0), period + 1e-9) << frames;
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, CpuLoadStep, ::testing::Values(32, 256, 1024, 2048));

TEST(CpuLoadMeter, APeakShowsOneSlowBufferInFullUntilItIsTaken) {
    CCpuLoadMeter meter;
    const double period = 256 / kRate;
    FeedConstant(meter, 256, 0.1, 1.0, 1.0f);
    EXPECT_NEAR(meter.TakePeak(), 0.1f, 1e-6f);
    // One callback ran three periods long: the device missed buffers. The average hardly moves,
    // the peak tells.
    meter.Feed(3.0 * period, period);
    FeedConstant(meter, 256, 0.1, 0.05, 1.0f);
    EXPECT_LT(meter.Load(), 0.2f);
    EXPECT_NEAR(meter.TakePeak(), 3.0f, 1e-5f);
    EXPECT_NEAR(meter.TakePeak(), 0.0f, 1e-6f) << "taking the peak starts a new watch";
    meter.Feed(0.05 * period, period);
    EXPECT_NEAR(meter.TakePeak(), 0.05f, 1e-6f);
}

TEST(CpuLoadMeter, OverrunsReadAboveOneAndOddInputsDoNotPoisonTheAverage) {
    CCpuLoadMeter meter;
    const double period = 512 / kRate;
    FeedConstant(meter, 512, 1.5, 3.0, 10.0f);
    EXPECT_NEAR(meter.Load(), 1.5f, 2e-3f) << "a callback longer than its period is no 100 %";

    CCpuLoadMeter odd;
    FeedConstant(odd, 512, 0.3, 3.0, 10.0f);
    const float settled = odd.Load();
    odd.Feed(0.001, 0.0); // no format yet
    odd.Feed(0.001, -1.0);
    odd.Feed(0.001, std::numeric_limits<double>::infinity());
    EXPECT_FLOAT_EQ(odd.Load(), settled) << "buffers without a period are ignored";
    odd.Feed(std::numeric_limits<double>::quiet_NaN(), period);
    odd.Feed(-1.0, period); // a clock that stepped back
    EXPECT_TRUE(std::isfinite(odd.Load()));
    EXPECT_LT(odd.Load(), settled);
    EXPECT_GE(odd.Load(), 0.0f);

    // A callback stalled for a quarter of an hour is read as 100 periods: the average is back
    // near idle within seconds instead of showing thousands of percent for minutes.
    CCpuLoadMeter stalled;
    stalled.Feed(900.0, period);
    EXPECT_FLOAT_EQ(stalled.TakePeak(), CCpuLoadMeter::kHighestShare);
    FeedConstant(stalled, 512, 0.0, 3.0, 10.0f);
    EXPECT_LT(stalled.Load(), 0.01f);
}

TEST(ClipLight, LightsAboveFullScaleOnlyAndStaysLitUntilCleared) {
    CClipLight light;
    EXPECT_FALSE(light.IsLit());
    light.Input(1.0f); // a sample of exactly full scale plays as it is
    light.Input(0.0f);
    light.Input(std::numeric_limits<float>::quiet_NaN());
    EXPECT_FALSE(light.IsLit());
    const float justAbove = std::nextafter(1.0f, 2.0f);
    light.Input(justAbove * justAbove);
    EXPECT_TRUE(light.IsLit());
    for (int i = 0; i < 1000; ++i)
        light.Input(0.01f); // quiet buffers after the clip
    EXPECT_TRUE(light.IsLit()) << "latched";
    light.Input(std::numeric_limits<float>::infinity());
    EXPECT_EQ(light.ClippedBuffers(), 2u);
    light.Reset();
    EXPECT_FALSE(light.IsLit());
    EXPECT_EQ(light.ClippedBuffers(), 0u);
    light.Input(4.0f);
    EXPECT_TRUE(light.IsLit()) << "lights again after a clear";
    EXPECT_EQ(light.ClippedBuffers(), 1u);
}

class OutputMonitorsInStudio : public ::testing::Test, public CStudioFixture {
protected:
    void SettleGain() {
        for (int i = 0; i < 200 && m_studio->MasterGain() != m_studio->MasterVolume(); ++i)
            Render(64);
    }
};

TEST_F(OutputMonitorsInStudio, TheMasterOutputAboveFullScaleLightsTheClipLight) {
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* tone = Add(m_tone);
    Machine(tone)->m_level = 0.7f;
    Machine(tone)->m_rightLevel = 0.7f;
    ASSERT_TRUE(Cable(tone, master));
    SettleGain();
    Render(64);
    EXPECT_FALSE(m_studio->ClipLight().IsLit()) << "0.7 is no clip";
    // Two sources summed past full scale in the right channel only.
    CMachineContainer* second = Add(m_tone);
    Machine(second)->m_level = 0.0f;
    Machine(second)->m_rightLevel = 0.4f;
    ASSERT_TRUE(Cable(second, master));
    Render(64);
    EXPECT_TRUE(m_studio->ClipLight().IsLit());
    m_studio->DeleteMachine(second);
    Render(64);
    EXPECT_TRUE(m_studio->ClipLight().IsLit()) << "still lit after the overload ended";
    m_studio->ClipLight().Reset();
    Render(64);
    EXPECT_FALSE(m_studio->ClipLight().IsLit());
    // The master volume turned down takes the overload away: the light watches what is played.
    Machine(tone)->m_level = 1.6f;
    m_studio->SetMasterVolume(0.25f);
    SettleGain();
    m_studio->ClipLight().Reset();
    Render(64);
    EXPECT_FALSE(m_studio->ClipLight().IsLit());
}

TEST_F(OutputMonitorsInStudio, AClipOnAChannelTheMeterDoesNotShowStillLightsIt) {
    g_testChannels = 4;
    CMachineContainer* master = m_studio->NewProject();
    ASSERT_EQ(master->ConnectorCount(), 4);
    CMachineContainer* tone = Add(m_monoTone);
    Machine(tone)->m_level = -1.25f;
    ASSERT_TRUE(m_studio->Connect(tone->FindConnector("Out"), master->Connector(3)));
    SettleGain();
    Render(64, 4);
    EXPECT_FLOAT_EQ(m_studio->PeakMeter().Get().left, 0.0f);
    EXPECT_TRUE(m_studio->ClipLight().IsLit());
}

TEST_F(OutputMonitorsInStudio, RenderFeedsTheCpuLoadWithItsShareOfThePeriod) {
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* tone = Add(m_tone);
    ASSERT_TRUE(Cable(tone, master));
    Render(64);
    EXPECT_GT(m_studio->CpuLoad().TakePeak(), 0.0f);
    EXPECT_GT(m_studio->CpuLoad().Load(), 0.0f);
    // A machine that holds the buffer for twice its period (64 frames at 44.1 kHz: 1.45 ms):
    // sleeping lasts at least that long, so the share is at least 2 however fast the machine.
    Machine(tone)->m_onProcess = [] { std::this_thread::sleep_for(std::chrono::microseconds(2903)); };
    Render(64);
    EXPECT_GE(m_studio->CpuLoad().TakePeak(), 2.0f);
}

} // namespace
