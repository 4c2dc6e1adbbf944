// The audio path allocates nothing once a project has rendered its first buffers.
#include "tests/support/allocation_trap.h"
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

namespace {

TEST(AudioPath, RendersWithoutAllocating) {
    CStudioFixture fixture(128);
    CStudio& studio = *fixture.m_studio;
    CMachineContainer* master = studio.NewProject();
    CMachineContainer* tone = fixture.Add(fixture.m_tone);
    CMachineContainer* sequenced = fixture.Add(fixture.m_sequenced);
    CMachineContainer* mixer = fixture.Add(fixture.m_sendMixer);
    CMachineContainer* effect = fixture.Add(fixture.m_monoEffect);
    CStudioFixture::Machine(tone)->m_frequency = 440.0;
    CStudioFixture::Machine(tone)->m_level = 0.5f;
    ASSERT_TRUE(fixture.Cable(tone, mixer, "In"));
    ASSERT_TRUE(fixture.Cable(sequenced, master));
    ASSERT_TRUE(studio.Connect(mixer->FindConnector("Send"), effect->FindConnector("In")));
    ASSERT_TRUE(studio.Connect(effect->FindConnector("Out"), mixer->FindConnector("Return")));
    ASSERT_TRUE(fixture.Cable(mixer, master, nullptr, 0.5f));

    std::vector<float> left(128), right(128);
    float* channels[] = {left.data(), right.data()};
    CControlBuffer* control = sequenced->FindConnector("Control In")->m_port->m_controlBuffer;
    ControlEvent note{32, 3, kEventNoteOn, {}, 60, 0.5f, 261.6f};
    for (int i = 0; i < 20; ++i) { // warm-up: control buffers grow their node blocks
        control->AddEvent(&note);
        studio.Render(2, channels, 128);
    }
    allocation_trap::Arm();
    for (int i = 0; i < 200; ++i) {
        if (i == 100) master->Connector(0)->m_connections[0]->SetTargetVolume(0.25f);
        studio.Render(2, channels, 128);
    }
    EXPECT_EQ(allocation_trap::Disarm(), 0);
    EXPECT_NE(left[64], 0.0f);
}

} // namespace
