// The Mixer inside the processing cycle: a QuadDelay on AUX 1, fed by the "AUX 1 Out" send and
// returned through "AUX 1 In", comes back in the same buffer and echoes at its delay.
#include "machines/mixer/mixer.h"
#include "machines/quaddelay/echo.h"
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A stereo source that plays one unit click at a given sample of its output.
class CClickMachine : public CMachine {
public:
    explicit CClickMachine(CVeskHost* host) : CMachine(host) { AddPort(kPortStereoOut, "Out"); }
    void Delete() override { delete this; }
    void Process() override {
        CAudioBuffer* out = m_ports[0]->m_audioBuffer;
        out->Clear();
        if (m_click >= m_position && m_click < m_position + out->m_length) {
            out->m_channel1[m_click - m_position] = 1.0f;
            out->m_channel2[m_click - m_position] = 1.0f;
        }
        m_position += out->m_length;
    }
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return true; }
    int64_t m_click = -1;
    int64_t m_position = 0;
};

class SendReturnTest : public ::testing::Test, public CStudioFixture {
public:
    SendReturnTest() : CStudioFixture(256) {
        m_clickInfo = new CSimpleMachineInfo<CClickMachine>(m_host.get(), "Click", "Click");
        m_host->RegisterMachine(m_clickInfo);
        m_mixerInfo = new CMixerInfo(m_host.get());
        m_host->RegisterMachine(m_mixerInfo);
        m_echoInfo = new CEchoInfo(m_host.get());
        m_host->RegisterMachine(m_echoInfo);
    }
    CMachineInfo* m_clickInfo;
    CMachineInfo* m_mixerInfo;
    CMachineInfo* m_echoInfo;
};

} // namespace

TEST_F(SendReturnTest, QuadDelayOnAnAuxBusEchoesThroughTheMixer) {
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* click = Add(m_clickInfo);
    CMachineContainer* mixerFrame = Add(m_mixerInfo);
    CMachineContainer* echoFrame = Add(m_echoInfo);
    ASSERT_TRUE(m_studio->Connect(click->FindConnector("Out"), mixerFrame->FindConnector("Track 1 In")));
    ASSERT_TRUE(
        m_studio->Connect(mixerFrame->FindConnector("AUX 1 Out"), echoFrame->FindConnector("Line In")));
    ASSERT_TRUE(
        m_studio->Connect(echoFrame->FindConnector("Line Out"), mixerFrame->FindConnector("AUX 1 In")));
    ASSERT_TRUE(m_studio->Connect(mixerFrame->FindConnector("Output"), master->Connector(0)));

    auto* mixer = static_cast<CMixer*>(mixerFrame->Machine());
    auto* echo = static_cast<CEcho*>(echoFrame->Machine());
    mixer->SetParameter(0, 0.8f);                      // Track 1 Level: unity
    mixer->SetParameter(5, 1.0f);                      // Track 1 AUX1: full send
    mixer->SetParameter(mixer->AuxParameter(0), 1.0f); // AUX 1 Level: +12 dB
    // Let the master fade-in, the mixer's gains and the echo's delay glide settle.
    const int32_t buffers = 3 * 44100 / 256;
    for (int32_t b = 0; b < buffers; ++b)
        Render(256);
    ASSERT_EQ(m_studio->MasterGain(), m_studio->MasterVolume());

    const int64_t start = static_cast<int64_t>(buffers) * 256;
    const int64_t clickAt = start + 200; // near the end of a buffer
    static_cast<CClickMachine*>(click->Machine())->m_click = clickAt;
    std::vector<float> left;
    for (int32_t b = 0; b < 40; ++b) {
        Render(256);
        left.insert(left.end(), m_output[0].begin(), m_output[0].end());
    }
    const double delay = echo->DelayLine(0, 0).DelaySamples();
    ASSERT_GT(delay, 3000.0);
    ASSERT_LT(delay, 4000.0);

    // The direct path: EQ 0.5 and Balance 0.5 at unity Level, three samples late. What remains is
    // what came back through AUX 1 In.
    std::vector<float> returned(left);
    returned[200 + 3] -= 0.25f;
    // The send and the return strip each delay by three samples; the QuadDelay's line passes its
    // input through its band-pass at once, so the return sounds in the click's own buffer.
    for (size_t i = 0; i < 200 + 6; ++i)
        ASSERT_NEAR(returned[i], 0.0f, 1e-6f) << i;
    EXPECT_GT(std::fabs(returned[200 + 6]), 1e-3f);
    EXPECT_LT(200 + 6, 256);

    // The echo: after a quiet gap, sound again at the line's delay.
    const auto echoAt = static_cast<size_t>(200 + 6 + std::floor(delay));
    double gap = 0.0, echoPeak = 0.0;
    for (size_t i = echoAt - 600; i < echoAt - 2; ++i)
        gap = std::max(gap, std::fabs(static_cast<double>(returned[i])));
    for (size_t i = echoAt - 2; i < echoAt + 100; ++i)
        echoPeak = std::max(echoPeak, std::fabs(static_cast<double>(returned[i])));
    EXPECT_GT(echoPeak, 1e-3);
    EXPECT_GT(echoPeak, 20.0 * gap);
    size_t onset = echoAt - 600;
    while (onset < echoAt + 100 && std::fabs(returned[onset]) < 0.1 * echoPeak)
        ++onset;
    EXPECT_NEAR(static_cast<double>(onset), static_cast<double>(echoAt), 2.0);
}
