// The processing cycle: pulling from the master, gains and glides, channel layouts, sends and
// returns, errors while rendering, the sequencer's hooks and the update pass.
#include "engine/studio_sequencer.h"
#include "engine/work_thread.h"
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

class ProcessingTest : public ::testing::Test, public CStudioFixture {
public:
    // These cases run the machines on their own workers; the one-thread cycle (the default) is
    // compared against them below and in the inline tests.
    ProcessingTest() : CStudioFixture(64) { m_studio->SetSingleThreaded(false); }
    // Renders until the master gain has reached its target (a new studio fades in).
    void SettleGain() {
        for (int i = 0; i < 200 && m_studio->MasterGain() != m_studio->MasterVolume(); ++i)
            Render(64);
    }
};

TEST_F(ProcessingTest, WithoutAMasterOutputIsSilentAndTimeStands) {
    CMachineContainer* tone = Add(m_tone);
    Machine(tone)->m_level = 0.5f;
    const int32_t before = m_host->GetSampleCounter();
    m_output.assign(2, std::vector<float>(64, 0.3f));
    m_pointers = {m_output[0].data(), m_output[1].data()};
    m_studio->Render(2, m_pointers.data(), 64);
    for (const auto& channel : m_output)
        for (float sample : channel)
            EXPECT_EQ(sample, 0.0f);
    EXPECT_EQ(m_host->GetSampleCounter(), before);
    EXPECT_EQ(Machine(tone)->m_processCount, 0); // not reachable from a master
}

TEST_F(ProcessingTest, CallbackWithoutAStudioLeavesTheArraysAlone) {
    CStudio::SetRenderTarget(nullptr);
    std::vector<float> left(16, 0.25f), right(16, 0.25f);
    float* channels[] = {left.data(), right.data()};
    CStudio::RenderCallback(2, channels, 16);
    EXPECT_EQ(left[7], 0.25f);

    m_studio->NewProject();
    CStudio::SetRenderTarget(m_studio.get());
    CStudio::RenderCallback(2, channels, 16);
    EXPECT_EQ(left[7], 0.0f);
    CStudio::SetRenderTarget(nullptr);
}

TEST_F(ProcessingTest, StereoMasterFeedsBothChannelsAndCountsSamples) {
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* tone = Add(m_tone);
    Machine(tone)->m_level = 0.25f;
    Machine(tone)->m_rightLevel = -0.5f;
    ASSERT_TRUE(Cable(tone, master));
    const int32_t before = m_host->GetSampleCounter();
    SettleGain();
    Render(64);
    EXPECT_FLOAT_EQ(m_output[0][10], 0.25f);
    EXPECT_FLOAT_EQ(m_output[1][10], -0.5f);
    EXPECT_GT(m_host->GetSampleCounter() - before, 64);
    EXPECT_EQ((m_host->GetSampleCounter() - before) % 64, 0);
    const auto peaks = m_studio->PeakMeter().Get();
    EXPECT_FLOAT_EQ(peaks.left, 0.0625f); // squared amplitudes
    EXPECT_FLOAT_EQ(peaks.right, 0.25f);
}

TEST_F(ProcessingTest, FourChannelsComeFromFourMonoPorts) {
    g_testChannels = 4;
    CMachineContainer* master = m_studio->NewProject();
    ASSERT_EQ(master->ConnectorCount(), 4);
    for (int32_t c = 0; c < 4; ++c) {
        EXPECT_EQ(master->Connector(c)->m_port->m_name, "Channel " + std::to_string(c + 1));
        CMachineContainer* tone = Add(m_monoTone);
        Machine(tone)->m_level = 0.1f * static_cast<float>(c + 1);
        ASSERT_TRUE(m_studio->Connect(tone->FindConnector("Out"), master->Connector(c)));
    }
    SettleGain();
    Render(64, 4);
    for (int32_t c = 0; c < 4; ++c)
        EXPECT_FLOAT_EQ(m_output[static_cast<size_t>(c)][5], 0.1f * static_cast<float>(c + 1));
    EXPECT_FLOAT_EQ(m_studio->PeakMeter().Get().right, 0.04f);
}

TEST_F(ProcessingTest, AGeneratorWithTwoConsumersRendersOnce) {
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* tone = Add(m_tone);
    CMachineContainer* left = Add(m_effect);
    CMachineContainer* right = Add(m_effect);
    Machine(tone)->m_level = Machine(tone)->m_rightLevel = 0.125f;
    ASSERT_TRUE(Cable(tone, left));
    ASSERT_TRUE(Cable(tone, right, nullptr, 0.5f));
    ASSERT_TRUE(Cable(left, master));
    ASSERT_TRUE(Cable(right, master));
    for (int i = 0; i < 10; ++i)
        Render(64);
    EXPECT_EQ(Machine(tone)->m_processCount, 10);
    EXPECT_EQ(Machine(left)->m_processCount, 10);
    EXPECT_EQ(Machine(right)->m_processCount, 10);
    SettleGain();
    Render(64);
    // Both consumers mixed the same buffer: 0.125 + 0.5 * 0.125.
    EXPECT_FLOAT_EQ(m_output[0][0], 0.1875f);
}

TEST_F(ProcessingTest, ManyConsumersOfOneSourceKeepRequestsAndWaitsPaired) {
    // More consumers than a worker's request queue holds, each asking the shared source first
    // and rendering its own silent source itself.
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* shared = Add(m_tone);
    Machine(shared)->m_level = Machine(shared)->m_rightLevel = 0.01f;
    std::vector<CMachineContainer*> consumers;
    for (int i = 0; i < 80; ++i) {
        CMachineContainer* consumer = Add(m_effect);
        ASSERT_TRUE(Cable(shared, consumer));
        ASSERT_TRUE(Cable(Add(m_tone), consumer));
        ASSERT_TRUE(Cable(consumer, master));
        consumers.push_back(consumer);
    }
    for (int i = 0; i < 20; ++i)
        Render(64);
    EXPECT_EQ(Machine(shared)->m_processCount, 20);
    for (CMachineContainer* consumer : consumers)
        ASSERT_EQ(Machine(consumer)->m_processCount, 20);
    SettleGain();
    Render(64);
    EXPECT_NEAR(m_output[0][0], 0.8f, 1e-5f);
    EXPECT_EQ(m_studio->RenderErrors().count, 0u);
}

TEST_F(ProcessingTest, OneThreadRendersEveryMachineOnTheCallerWithTheSameResult) {
    // Shared sources, more consumers than a request queue holds, a send/return loop and a chain
    // deeper than the calling thread may recurse: the same samples with and without workers.
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* shared = Add(m_tone);
    Machine(shared)->m_frequency = 441.0;
    Machine(shared)->m_level = 0.01f;
    std::vector<CMachineContainer*> machines{shared};
    for (int i = 0; i < 40; ++i) {
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

    // Gains and cable volumes settle first; each run then starts from the same sine phase.
    SettleGain();
    auto renderTwenty = [&] {
        for (CMachineContainer* frame : machines)
            Machine(frame)->m_processCount = 0;
        Machine(shared)->m_phase = 0.0;
        std::vector<float> samples;
        for (int i = 0; i < 20; ++i) {
            Render(64);
            samples.insert(samples.end(), m_output[0].begin(), m_output[0].end());
        }
        return samples;
    };
    const std::vector<float> threaded = renderTwenty();
    m_studio->SetSingleThreaded(true);
    const std::vector<float> single = renderTwenty();
    for (CMachineContainer* frame : machines)
        EXPECT_EQ(Machine(frame)->m_processCount, 20);
    // The one-thread cycle keeps no recursion: even the far end of the deep chain renders on
    // the caller.
    for (CMachineContainer* frame : machines)
        EXPECT_EQ(Machine(frame)->m_processThread, std::this_thread::get_id());
    EXPECT_EQ(m_studio->RenderErrors().count, 0u);
    EXPECT_EQ(threaded, single);
    EXPECT_GT(*std::max_element(single.begin(), single.end()), 0.1f);
}

TEST(ProcessingGlide, MasterGainAndCableVolumesSettleIn5994Samples) {
    CStudioFixture fixture(1);
    CStudio& studio = *fixture.m_studio;
    CMachineContainer* master = studio.NewProject();
    CMachineContainer* tone = fixture.Add(fixture.m_monoTone);
    CStudioFixture::Machine(tone)->m_level = 1.0f;
    ASSERT_TRUE(fixture.Cable(tone, master));

    fixture.Render(1);
    EXPECT_EQ(fixture.m_output[0][0], 0.0f);        // a new studio starts silent
    EXPECT_FLOAT_EQ(studio.MasterGain(), 0.00044f); // after one frame
    for (int i = 1; i < 5993; ++i)
        fixture.Render(1);
    EXPECT_LT(studio.MasterGain(), 1.0f);
    fixture.Render(1);
    EXPECT_EQ(studio.MasterGain(), 1.0f);

    CConnection* cable = master->Connector(0)->m_connections[0];
    cable->SetTargetVolume(0.0001f);
    for (int i = 0; i < 5993; ++i)
        fixture.Render(1);
    EXPECT_GT(cable->m_currentVolume, 0.0001f);
    fixture.Render(1);
    EXPECT_EQ(cable->m_currentVolume, 0.0001f);
    EXPECT_FLOAT_EQ(fixture.m_output[0][0], 0.0001f);
}

TEST_F(ProcessingTest, CableVolumeGlidesInsideABuffer) {
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* tone = Add(m_tone);
    Machine(tone)->m_level = Machine(tone)->m_rightLevel = 1.0f;
    ASSERT_TRUE(Cable(tone, master));
    SettleGain();
    master->Connector(0)->m_connections[0]->SetTargetVolume(0.5f);
    Render(64);
    // Every sample a little quieter, the first already one glide step below 1.
    EXPECT_FLOAT_EQ(m_output[0][0], 1.0f - 0.6f * 0.0004f);
    for (int i = 1; i < 64; ++i)
        EXPECT_LT(m_output[0][static_cast<size_t>(i)], m_output[0][static_cast<size_t>(i - 1)]);
}

TEST_F(ProcessingTest, MonoAndStereoCablesMixByLayout) {
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* mono = Add(m_monoTone);
    CMachineContainer* stereo = Add(m_tone);
    CMachineContainer* monoEffect = Add(m_monoEffect);
    Machine(mono)->m_level = 0.25f;
    Machine(stereo)->m_level = 0.5f;
    Machine(stereo)->m_rightLevel = 0.1f;
    ASSERT_TRUE(Cable(mono, master));       // mono into stereo: both sides
    ASSERT_TRUE(Cable(stereo, monoEffect)); // stereo into mono: the average
    ASSERT_TRUE(Cable(monoEffect, master));
    SettleGain();
    Render(64);
    EXPECT_FLOAT_EQ(m_output[0][3], 0.25f + 0.3f);
    EXPECT_FLOAT_EQ(m_output[1][3], 0.25f + 0.3f);
}

TEST_F(ProcessingTest, SendsRenderBeforeTheirEffectsAndReturnsAfter) {
    CEventLog log;
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* source = Add(m_monoTone);
    CMachineContainer* mixer = Add(m_sendMixer);
    CMachineContainer* effect = Add(m_monoEffect);
    for (CMachineContainer* frame : {source, mixer, effect})
        Machine(frame)->m_log = &log;
    Machine(source)->m_level = 0.5f;
    ASSERT_TRUE(Cable(source, mixer, "In"));
    ASSERT_TRUE(m_studio->Connect(mixer->FindConnector("Send"), effect->FindConnector("In")));
    ASSERT_TRUE(m_studio->Connect(effect->FindConnector("Out"), mixer->FindConnector("Return")));
    ASSERT_TRUE(Cable(mixer, master));
    SettleGain();
    Render(64);
    const auto entries = log.Entries();
    ASSERT_GE(entries.size(), 4u);
    const std::vector<std::string> last(entries.end() - 4, entries.end());
    EXPECT_EQ(last, (std::vector<std::string>{"Mono Tone 1 Process", "Send Mixer 1 Process",
                                              "Mono Effect 1 Process", "Send Mixer 1 ProcessLate"}));
    // The mixer's output: its input plus the effect's copy of the send (0.5 + 0.5).
    EXPECT_FLOAT_EQ(m_output[0][0], 1.0f);
}

TEST_F(ProcessingTest, AFailingMachineSilencesOneBufferAndIsRecorded) {
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* tone = Add(m_tone);
    CMachineContainer* effect = Add(m_effect);
    Machine(tone)->m_level = Machine(tone)->m_rightLevel = 0.5f;
    ASSERT_TRUE(Cable(tone, effect));
    ASSERT_TRUE(Cable(effect, master));
    SettleGain();
    Machine(tone)->m_fail = true; // on a worker thread
    Render(64);
    for (float sample : m_output[0])
        EXPECT_EQ(sample, 0.0f);
    const RenderErrorRecord errors = m_studio->RenderErrors();
    EXPECT_EQ(errors.count, 1u);
    EXPECT_EQ(errors.lastText, "Test machine failed");
    Render(64);
    EXPECT_FLOAT_EQ(m_output[0][0], 0.5f);
    EXPECT_EQ(m_studio->RenderErrors().count, 1u);
}

class FakeSequencer : public CStudioSequencer {
public:
    CMutex& EditorMutex() override { return mutex; }
    void Tick() override {
        ++ticks;
        heldDuringTick = mutex.IsLocked();
        if (target) {
            ControlEvent event{32, 5, kEventNoteOn, {}, 60, 0.5f, 261.6f};
            target->AddEvent(&event);
        }
    }
    void MachineAdded(CMachine*) override { ++added; }
    void MachineRemoved(CMachine*) override { ++removed; }
    void Clear() override {
        ++cleared;
        heldDuringClear = mutex.IsLocked();
    }
    void SampleRateChanged(int32_t rate) override { lastRate = rate; }
    void BufferSizeChanged(int32_t frames) override { lastFrames = frames; }

    CMutex mutex;
    CControlBuffer* target = nullptr;
    int ticks = 0, added = 0, removed = 0, cleared = 0;
    bool heldDuringTick = false, heldDuringClear = false;
    int32_t lastRate = 0, lastFrames = 0;
};

TEST_F(ProcessingTest, TheSequencerIsToldOfMachinesAndTicksEveryBuffer) {
    FakeSequencer sequencer;
    m_studio->AttachSequencer(&sequencer);
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* first = Add(m_sequenced);
    CMachineContainer* second = Add(m_sequenced);
    EXPECT_EQ(sequencer.added, 3);
    EXPECT_EQ(sequencer.cleared, 1);
    EXPECT_TRUE(sequencer.heldDuringClear);
    ASSERT_TRUE(m_studio->Connect(first->FindConnector("Control Out"), second->FindConnector("Control In")));
    ASSERT_TRUE(Cable(second, master));
    CPort* firstIn = first->FindConnector("Control In")->m_port;
    // An event left over from the last buffer is cleared before the tick.
    ControlEvent stale{32, 1, kEventNoteOff, {}, 1, 0.0f, 0.0f};
    firstIn->m_controlBuffer->AddEvent(&stale);
    sequencer.target = firstIn->m_controlBuffer;
    Render(64);
    EXPECT_EQ(sequencer.ticks, 1);
    EXPECT_TRUE(sequencer.heldDuringTick);
    // The stale event is gone, the ticked one is there (the test machine does not drain it).
    ControlEvent event{};
    ASSERT_TRUE(firstIn->m_controlBuffer->GetNextEvent(&event));
    EXPECT_EQ(event.kind, kEventNoteOn);
    EXPECT_EQ(event.time, 5);
    EXPECT_EQ(firstIn->m_controlBuffer->GetCount(), 0);

    m_studio->ApplyDriverFormat(22050, 32);
    EXPECT_EQ(sequencer.lastRate, 22050);
    EXPECT_EQ(sequencer.lastFrames, 32);
    m_studio->DeleteMachine(first);
    EXPECT_EQ(sequencer.removed, 1);
    m_studio->AttachSequencer(nullptr);
}

TEST_F(ProcessingTest, GraphicsThreadRunsTheUpdatePass) {
    CMachineContainer* tone = Add(m_tone);
    int hookRuns = 0;
    {
        CGraphicsThread graphics(*m_studio);
        graphics.AddRefreshHook([&hookRuns] { ++hookRuns; });
        graphics.Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        graphics.Stop();
    }
    EXPECT_GE(Machine(tone)->m_updates, 3);
    EXPECT_EQ(hookRuns, Machine(tone)->m_updates);
}

} // namespace
