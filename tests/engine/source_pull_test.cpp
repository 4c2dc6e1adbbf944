// The walk over the sources a machine waits for, which the one-thread cycle, the workers and the
// cycle refusal all share, and the master's output into the driver's channels.
#include "engine/cable_mixing.h"
#include "engine/source_pull.h"
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class SourcePull : public ::testing::Test, public CStudioFixture {
public:
    SourcePull() : CStudioFixture(64) {}

    static std::vector<CMachineContainer*> Sources(const CMachineContainer* frame, bool late) {
        std::vector<CMachineContainer*> sources;
        SourceCursor cursor;
        while (CMachineContainer* source = NextSource(frame, late, cursor))
            sources.push_back(source);
        return sources;
    }
};

TEST_F(SourcePull, EachPhaseInConnectorOrderOncePerCableWithoutTheSends) {
    m_studio->NewProject();
    CMachineInfo* twoInputs = Register("Two Inputs", {{kPortControlIn, "Control In"},
                                                      {kPortStereoIn, "A"},
                                                      {kPortStereoIn, "B"},
                                                      {kPortReturnIn, "Return"},
                                                      {kPortSendOut, "Send"},
                                                      {kPortStereoOut, "Out"}});
    CMachineContainer* sink = Add(twoInputs);
    CMachineContainer* first = Add(m_tone);
    CMachineContainer* second = Add(m_tone);
    CMachineContainer* sequenced = Add(m_sequenced);
    CMachineContainer* effect = Add(m_monoEffect);
    // Cabled B before A: the walk follows the connectors, not the order of the cables.
    ASSERT_TRUE(Cable(second, sink, "B"));
    ASSERT_TRUE(Cable(first, sink, "A"));
    ASSERT_TRUE(Cable(second, sink, "A"));
    ASSERT_TRUE(
        m_studio->Connect(sequenced->FindConnector("Control Out"), sink->FindConnector("Control In")));
    ASSERT_TRUE(m_studio->Connect(sink->FindConnector("Send"), effect->FindConnector("In")));
    ASSERT_TRUE(m_studio->Connect(effect->FindConnector("Out"), sink->FindConnector("Return")));

    // A source cabled twice comes twice; the control cable's source is waited for like any other.
    EXPECT_EQ(Sources(sink, false), (std::vector<CMachineContainer*>{sequenced, first, second, second}));
    EXPECT_EQ(Sources(sink, true), (std::vector<CMachineContainer*>{effect}));
    // The effect reads the send its owner filled: it waits for nobody, in either phase.
    EXPECT_TRUE(Sources(effect, false).empty());
    EXPECT_TRUE(Sources(effect, true).empty());
    EXPECT_TRUE(Sources(first, false).empty());

    // The cursor resumes where it stopped, inside a connector's cables and across connectors, and
    // stays at the end once there.
    SourceCursor cursor;
    EXPECT_EQ(NextSource(sink, false, cursor), sequenced);
    EXPECT_EQ(NextSource(sink, false, cursor), first);
    const SourceCursor middle = cursor;
    EXPECT_EQ(NextSource(sink, false, cursor), second);
    SourceCursor again = middle;
    EXPECT_EQ(NextSource(sink, false, again), second);
    EXPECT_EQ(NextSource(sink, false, cursor), second);
    EXPECT_EQ(NextSource(sink, false, cursor), nullptr);
    EXPECT_EQ(NextSource(sink, false, cursor), nullptr);

    // The refusal sees the same waits: the effect behind the return may not wait for its owner.
    EXPECT_FALSE(Cable(sink, effect, "In"));
    // And the walk follows cables removed since.
    m_studio->Disconnect(sink->FindConnector("A"), 0);
    EXPECT_EQ(Sources(sink, false), (std::vector<CMachineContainer*>{sequenced, second, second}));
}

TEST_F(SourcePull, MasterOutputSilencesWhatNoPortOrBufferCovers) {
    CMachineContainer* tone = Add(m_tone); // one stereo port, buffers of 64 samples
    CAudioBuffer* buffer = Machine(tone)->m_ports[0]->m_audioBuffer;
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(buffer->m_length, 64);
    for (int32_t i = 0; i < buffer->m_length; ++i) {
        buffer->m_channel1[i] = 0.5f;
        buffer->m_channel2[i] = -0.25f;
    }
    std::vector<std::vector<float>> out(3, std::vector<float>(100, 7.0f));
    float* channels[] = {out[0].data(), out[1].data(), out[2].data()};

    // Stereo takes the port's two channels; past the port's 64 samples the buffer is silent.
    cable_mixing::MasterOutput result =
        cable_mixing::MixMasterOutput(tone->Machine(), 2, channels, 100, 1.0f, 1.0f);
    EXPECT_EQ(out[0][0], 0.5f);
    EXPECT_EQ(out[0][63], 0.5f);
    EXPECT_EQ(out[1][63], -0.25f);
    EXPECT_EQ(out[0][64], 0.0f);
    EXPECT_EQ(out[1][99], 0.0f);
    EXPECT_EQ(out[2][0], 7.0f); // not asked for, not touched
    EXPECT_EQ(result.peakLeft, 0.25f);
    EXPECT_EQ(result.peakRight, 0.0625f);
    EXPECT_EQ(result.gain, 1.0f);

    // Three channels: channel c is the first channel of port c, and there is only one port.
    result = cable_mixing::MixMasterOutput(tone->Machine(), 3, channels, 100, 1.0f, 1.0f);
    EXPECT_EQ(out[0][10], 0.5f);
    EXPECT_EQ(out[1][10], 0.0f);
    EXPECT_EQ(out[2][10], 0.0f);
    EXPECT_EQ(result.peakRight, 0.0f);

    // The gain glides the same whether the buffer has channels or none.
    const float withChannels =
        cable_mixing::MixMasterOutput(tone->Machine(), 1, channels, 100, 0.0f, 1.0f).gain;
    const float withoutChannels =
        cable_mixing::MixMasterOutput(tone->Machine(), 0, channels, 100, 0.0f, 1.0f).gain;
    EXPECT_GT(withChannels, 0.0f);
    EXPECT_LT(withChannels, 1.0f);
    EXPECT_EQ(withoutChannels, withChannels);
    // Gliding up from silence, the first sample is still silent and the peak is below the level.
    EXPECT_EQ(out[0][0], 0.0f);
    EXPECT_GT(out[0][63], 0.0f);
    EXPECT_LT(out[0][63], 0.5f);
}

} // namespace
