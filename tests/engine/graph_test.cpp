// The machine graph: cables and their refusals, naming, deletion, frames, driver changes.
#include "engine/volume.h"
#include "platform/error.h"
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

namespace {

class GraphTest : public ::testing::Test, public CStudioFixture {};

TEST_F(GraphTest, RefusesCablesThatDoNotFit) {
    CMachineContainer* tone = Add(m_tone);
    CMachineContainer* effect = Add(m_effect);
    CMachineContainer* sequenced = Add(m_sequenced);
    CMachineContainer* other = Add(m_sequenced);
    CStudio& studio = *m_studio;

    // Missing connector, control into audio, two outputs, two inputs, one machine.
    EXPECT_FALSE(studio.Connect(nullptr, effect->FindConnector("In")));
    EXPECT_FALSE(studio.Connect(sequenced->FindConnector("Control Out"), effect->FindConnector("In")));
    EXPECT_FALSE(studio.Connect(tone->FindConnector("Out"), effect->FindConnector("Out")));
    EXPECT_FALSE(studio.Connect(effect->FindConnector("In"), sequenced->FindConnector("Control In")));
    EXPECT_FALSE(studio.Connect(effect->FindConnector("Out"), effect->FindConnector("In")));
    EXPECT_FALSE(
        studio.Connect(sequenced->FindConnector("Control Out"), sequenced->FindConnector("Control In")));

    // Either order is accepted once; the same pair again is refused.
    EXPECT_TRUE(studio.Connect(effect->FindConnector("In"), tone->FindConnector("Out"), 0.5f));
    EXPECT_FALSE(studio.Connect(tone->FindConnector("Out"), effect->FindConnector("In")));
    EXPECT_TRUE(studio.Connect(sequenced->FindConnector("Control Out"), other->FindConnector("Control In")));

    CConnector* in = effect->FindConnector("In");
    ASSERT_EQ(in->m_connections.Count(), 1);
    EXPECT_EQ(in->m_connections[0]->m_source, tone->FindConnector("Out"));
    EXPECT_FLOAT_EQ(in->m_connections[0]->TargetVolume(), 0.5f);
    EXPECT_FLOAT_EQ(in->m_connections[0]->m_currentVolume, 0.5f);
    EXPECT_EQ(in->m_fanIn, 1);
    EXPECT_EQ(tone->FindConnector("Out")->m_fanOut, 1);
    EXPECT_EQ(tone->FindConnector("Out")->m_connections.Count(), 0); // kept on the input side only
}

TEST_F(GraphTest, RefusesCablesThatCloseACycleButNotThroughASend) {
    CMachineContainer* a = Add(m_effect);
    CMachineContainer* b = Add(m_effect);
    CMachineContainer* c = Add(m_effect);
    EXPECT_TRUE(Cable(a, b));
    EXPECT_FALSE(Cable(b, a)); // two machines waiting for each other
    EXPECT_TRUE(Cable(b, c));
    EXPECT_FALSE(Cable(c, a)); // around three machines
    EXPECT_EQ(a->FindConnector("In")->m_connections.Count(), 0);

    // A send into an effect and the effect back into the return: the effect does not wait for
    // the mixer, so this loop is allowed.
    CMachineContainer* mixer = Add(m_sendMixer);
    CMachineContainer* effect = Add(m_monoEffect);
    EXPECT_TRUE(m_studio->Connect(mixer->FindConnector("Send"), effect->FindConnector("In")));
    EXPECT_TRUE(m_studio->Connect(effect->FindConnector("Out"), mixer->FindConnector("Return")));
    // But the effect into the mixer's ordinary input would wait in a circle through the return.
    CMachineContainer* second = Add(m_monoEffect);
    EXPECT_TRUE(m_studio->Connect(mixer->FindConnector("Out"), second->FindConnector("In")));
    EXPECT_FALSE(m_studio->Connect(second->FindConnector("Out"), mixer->FindConnector("Return")));
}

TEST_F(GraphTest, NamesNewMachinesWithTheSmallestFreeNumber) {
    CMachineContainer* first = Add(m_tone);
    CMachineContainer* second = Add(m_tone);
    CMachineContainer* third = Add(m_tone);
    EXPECT_EQ(first->Name(), "Tone 1");
    EXPECT_EQ(second->Name(), "Tone 2");
    EXPECT_EQ(third->Name(), "Tone 3");
    EXPECT_STREQ(third->Machine()->GetName(), "Tone 3");
    m_studio->DeleteMachine(second);
    EXPECT_EQ(Add(m_tone)->Name(), "Tone 2");
    EXPECT_EQ(Add(m_tone)->Name(), "Tone 4");
    EXPECT_EQ(m_studio->MachineCount(), 4);
    EXPECT_EQ(m_studio->Frames().back()->Name(), "Tone 4"); // appended at the tail
}

TEST_F(GraphTest, DeletingAMachineRemovesEveryCableItTakesPartIn) {
    CMachineContainer* tone = Add(m_tone);
    CMachineContainer* left = Add(m_effect);
    CMachineContainer* right = Add(m_effect);
    CMachineContainer* sink = Add(m_effect);
    ASSERT_TRUE(Cable(tone, left));
    ASSERT_TRUE(Cable(tone, right));
    ASSERT_TRUE(Cable(left, sink));
    m_studio->DeleteMachine(tone);
    EXPECT_EQ(left->FindConnector("In")->m_connections.Count(), 0);
    EXPECT_EQ(right->FindConnector("In")->m_connections.Count(), 0);
    EXPECT_EQ(left->FindConnector("In")->m_fanIn, 0);
    // Deleting a consumer lowers the source's fan-out too.
    m_studio->DeleteMachine(sink);
    EXPECT_EQ(left->FindConnector("Out")->m_fanOut, 0);
    EXPECT_EQ(m_studio->MachineCount(), 2);
}

TEST_F(GraphTest, DisconnectChecksTheIndexAndKeepsTheOrder) {
    CMachineContainer* a = Add(m_tone);
    CMachineContainer* b = Add(m_tone);
    CMachineContainer* c = Add(m_tone);
    CMachineContainer* effect = Add(m_effect);
    ASSERT_TRUE(Cable(a, effect));
    ASSERT_TRUE(Cable(b, effect));
    ASSERT_TRUE(Cable(c, effect));
    CConnector* in = effect->FindConnector("In");
    try {
        m_studio->Disconnect(in, 3);
        FAIL() << "no error raised";
    } catch (const platform::CError& error) {
        EXPECT_STREQ(error.what(), "Index Out Of Bounds");
    }
    EXPECT_THROW(m_studio->Disconnect(in, -1), platform::CError);
    m_studio->Disconnect(in, 1);
    ASSERT_EQ(in->m_connections.Count(), 2);
    EXPECT_EQ(in->m_connections[0]->m_source->m_frame, a);
    EXPECT_EQ(in->m_connections[1]->m_source->m_frame, c);
    EXPECT_EQ(b->FindConnector("Out")->m_fanOut, 0);
    EXPECT_EQ(in->m_fanIn, 2);
}

TEST_F(GraphTest, ConnectsByProjectIndices) {
    CMachineContainer* tone = Add(m_tone);
    CMachineContainer* effect = Add(m_effect);
    tone->Machine()->m_projectIndex = 7;
    effect->Machine()->m_projectIndex = 3;
    EXPECT_FALSE(m_studio->ConnectByIndices(7, 1, 3, 0, 1.0f)); // the tone has one port only
    EXPECT_FALSE(m_studio->ConnectByIndices(8, 0, 3, 0, 1.0f));
    EXPECT_TRUE(m_studio->ConnectByIndices(7, 0, 3, 0, 0.25f));
    EXPECT_FLOAT_EQ(effect->FindConnector("In")->m_connections[0]->TargetVolume(), 0.25f);
}

TEST(CableVolume, SliderMapsFortyDecibels) {
    EXPECT_NEAR(volume::SliderToCableVolume(0.0f), 0.0001f, 1e-9f);
    EXPECT_FLOAT_EQ(volume::SliderToCableVolume(1.0f), 1.0f);
    EXPECT_NEAR(volume::SliderToCableVolume(0.5f), 0.01f, 1e-7f);
    EXPECT_FLOAT_EQ(volume::CableVolumeToSlider(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(volume::CableVolumeToSlider(1e-9f), 0.0f); // below -40 dB clamps
    EXPECT_FLOAT_EQ(volume::CableVolumeToSlider(4.0f), 1.0f);  // above 0 dB clamps
    EXPECT_NEAR(volume::CableVolumeToSlider(0.01f), 0.5f, 1e-6f);
    EXPECT_NEAR(volume::MasterVolumeToSlider(1.0f), 0.85f, 1e-6f);
    EXPECT_NEAR(volume::SliderToMasterVolume(0.85f), 1.0f, 1e-5f);
    EXPECT_NEAR(10.0f * std::log10(volume::SliderToMasterVolume(0.0f)), -34.0f, 1e-4f);
}

TEST_F(GraphTest, NewProjectHasOnlyTheMaster) {
    Add(m_tone);
    CMachineContainer* master = m_studio->NewProject();
    EXPECT_EQ(m_studio->MachineCount(), 1);
    EXPECT_EQ(m_studio->MasterFrame(), master);
    EXPECT_EQ(master->Name(), "Master");
    EXPECT_EQ(master->Identifier(), "Master");
    EXPECT_EQ(master->m_x, 32);
    EXPECT_EQ(master->m_y, 32);
    m_studio->Clear();
    EXPECT_EQ(m_studio->MachineCount(), 0);
    EXPECT_EQ(m_studio->MasterFrame(), nullptr);
}

TEST_F(GraphTest, OnlyExactlyMasterBecomesTheMasterFrame) {
    CMachineInfo* info = m_host->Registry()->FindByName("Master");
    m_studio->CreateFrame(info->CreateMachine(), info, "Masters", 0, 0);
    EXPECT_EQ(m_studio->MasterFrame(), nullptr);
    CMachineContainer* master = m_studio->CreateFrame(info->CreateMachine(), info, "Master", 0, 0);
    EXPECT_EQ(m_studio->MasterFrame(), master);
    m_studio->DeleteMachine(master);
    EXPECT_EQ(m_studio->MasterFrame(), nullptr);
}

TEST_F(GraphTest, SavedStateReachesTheMachineBeforeItsName) {
    CEventLog log;
    auto* machine = new CTestMachine(m_host.get(), {{kPortMonoOut, "Out"}});
    machine->m_log = &log;
    const char state[] = {'h', 'P', 'b', 'T', 0, 0, 0, 0};
    m_studio->CreateFrame(machine, m_tone, "Restored", 5, 6, state, sizeof state, true);
    const auto entries = log.Entries();
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[0], "SetState 8");
    EXPECT_EQ(entries[1], "SetName Restored");
}

TEST_F(GraphTest, RenameChangesNameOnlyWhenDifferent) {
    CEventLog log;
    CMachineContainer* frame = Add(m_tone);
    Machine(frame)->m_log = &log;
    m_studio->Rename(frame, "Tone 1");
    EXPECT_TRUE(log.Entries().empty());
    m_studio->Rename(frame, "Lead");
    EXPECT_EQ(frame->Name(), "Lead");
    EXPECT_STREQ(frame->Machine()->GetName(), "Lead");
}

class RecordingListener : public CContainerListener {
public:
    void ParameterChanged(CMachineContainer*, int32_t index, float value) override {
        lastIndex = index;
        lastValue = value;
    }
    void ConnectorsChanged(CMachineContainer*) override { ++connectorChanges; }
    int32_t lastIndex = -1;
    float lastValue = 0.0f;
    int connectorChanges = 0;
};

TEST_F(GraphTest, ParameterChangesAndCablesReachTheFramesListener) {
    CMachineContainer* tone = Add(m_tone);
    CMachineContainer* effect = Add(m_effect);
    RecordingListener listener;
    tone->AddListener(&listener);
    m_host->ParameterChanged(tone->Machine(), 3, 0.75f);
    EXPECT_EQ(listener.lastIndex, -1); // parameter news waits for the user interface's timer
    m_studio->DeliverNotifications();
    EXPECT_EQ(listener.lastIndex, 3);
    EXPECT_FLOAT_EQ(listener.lastValue, 0.75f);
    ASSERT_TRUE(Cable(tone, effect));
    EXPECT_EQ(listener.connectorChanges, 1);
}

TEST_F(GraphTest, DriverChangeRebuildsTheMasterWithoutCables) {
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* tone = Add(m_tone);
    ASSERT_TRUE(Cable(tone, master));
    ASSERT_EQ(master->ConnectorCount(), 1);

    g_testChannels = 6;
    m_studio->ApplyDriverFormat(48000, 128);
    ASSERT_EQ(master->ConnectorCount(), 6);
    EXPECT_STREQ(master->Connector(5)->m_port->m_name, "Channel 6");
    EXPECT_EQ(master->Connector(0)->m_port->m_flags, kPortMonoIn);
    for (int32_t c = 0; c < 6; ++c)
        EXPECT_EQ(master->Connector(c)->m_connections.Count(), 0);
    EXPECT_EQ(tone->FindConnector("Out")->m_fanOut, 0);
    EXPECT_EQ(m_host->GetSampleRate(), 48000);
    EXPECT_EQ(m_host->GetBufferSize(), 128);
    EXPECT_EQ(Machine(tone)->m_rate, 48000);
    EXPECT_EQ(tone->FindConnector("Out")->m_port->m_audioBuffer->m_length, 128);
    EXPECT_EQ(master->Connector(2)->m_port->m_audioBuffer->m_length, 128);

    g_testChannels = 1;
    m_studio->ApplyDriverFormat(48000, 128);
    ASSERT_EQ(master->ConnectorCount(), 1);
    EXPECT_EQ(master->Connector(0)->m_port->m_flags, kPortMonoIn);
    EXPECT_STREQ(master->Connector(0)->m_port->m_name, "Line In");
    g_testChannels = 0;
    m_studio->ApplyDriverFormat(48000, 128);
    EXPECT_EQ(master->ConnectorCount(), 0);
    g_testChannels = 2;
    m_studio->ApplyDriverFormat(44100, 256);
    EXPECT_EQ(master->Connector(0)->m_port->m_flags, kPortStereoIn);
}

} // namespace
