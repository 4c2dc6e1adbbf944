// The processing cycle at every sample rate and buffer size the drivers offer: a stream cut into
// buffers of 1, 64, 256 or 1000 frames is the same stream, sample for sample: sources keep their
// phase across buffers, the master gain glides on per sample, every machine renders once per
// buffer, and the sample counter advances by exactly what was rendered.
#include "engine/volume.h"
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace {

constexpr int32_t kTotalFrames = 3000;

class ProcessingSweepTest : public ::testing::TestWithParam<std::tuple<int32_t, int32_t, bool>> {};

TEST_P(ProcessingSweepTest, BuffersOfAnySizeJoinIntoOneStream) {
    const auto [rate, buffer, singleThreaded] = GetParam();
    CStudioFixture fixture(buffer, rate);
    CStudio& studio = *fixture.m_studio;
    studio.SetSingleThreaded(singleThreaded);
    CMachineContainer* master = studio.NewProject();
    // A sine through an effect (a chain), and a constant straight in (a fan of two at the master).
    CMachineContainer* tone = fixture.Add(fixture.m_tone);
    CMachineContainer* effect = fixture.Add(fixture.m_effect);
    CMachineContainer* offset = fixture.Add(fixture.m_tone);
    CStudioFixture::Machine(tone)->m_frequency = 1000.0;
    CStudioFixture::Machine(tone)->m_level = 0.5f;
    CStudioFixture::Machine(offset)->m_level = 0.125f;
    CStudioFixture::Machine(offset)->m_rightLevel = -0.125f;
    ASSERT_TRUE(fixture.Cable(tone, effect));
    ASSERT_TRUE(fixture.Cable(effect, master, nullptr, 0.5f));
    ASSERT_TRUE(fixture.Cable(offset, master));
    studio.SetSampleRate(rate);

    std::vector<float> left, right;
    const int32_t counterBefore = fixture.m_host->GetSampleCounter();
    int32_t buffers = 0;
    while (static_cast<int32_t>(left.size()) < kTotalFrames) {
        fixture.Render(buffer);
        left.insert(left.end(), fixture.m_output[0].begin(), fixture.m_output[0].end());
        right.insert(right.end(), fixture.m_output[1].begin(), fixture.m_output[1].end());
        ++buffers;
    }
    EXPECT_EQ(fixture.m_host->GetSampleCounter() - counterBefore, buffers * buffer);
    for (CMachineContainer* frame : {tone, effect, offset})
        EXPECT_EQ(CStudioFixture::Machine(frame)->m_processCount, buffers) << frame->m_name;
    EXPECT_EQ(studio.RenderErrors().count, 0u);

    // The same arithmetic, one sample at a time, with no buffers at all.
    double phase = 0.0;
    float gain = 0.0f;
    for (size_t i = 0; i < left.size(); ++i) {
        const float sine = 0.5f * static_cast<float>(std::sin(phase));
        phase += 2.0 * M_PI * 1000.0 / rate;
        if (phase > 2.0 * M_PI) phase -= 2.0 * M_PI;
        const float l = 0.5f * sine + 0.125f;
        const float r = 0.5f * sine - 0.125f;
        ASSERT_EQ(left[i], gain * l) << "frame " << i;
        ASSERT_EQ(right[i], gain * r) << "frame " << i;
        gain = volume::Glide(gain, 1.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(RatesAndBuffers, ProcessingSweepTest,
                         ::testing::Combine(::testing::Values(44100, 48000, 96000),
                                            ::testing::Values(1, 64, 256, 1000), ::testing::Bool()),
                         [](const auto& test) {
                             return std::to_string(std::get<0>(test.param)) + "Hz_" +
                                    std::to_string(std::get<1>(test.param)) + "frames" +
                                    (std::get<2>(test.param) ? "_oneThread" : "_workers");
                         });

} // namespace
