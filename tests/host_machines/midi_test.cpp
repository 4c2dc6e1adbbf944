// The MIDI device registry and machines over a scripted backend.
#include "host_machines/midi/midi_devices.h"
#include "host_machines/midi_machines.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A backend with two inputs and one output whose calls are recorded.
class CScriptedBackend : public CMIDIBackend {
public:
    struct Open {
        MIDIHook hook;
        void* context;
    };
    std::vector<PortInfo> InputPorts() override { return {{"Keys", "k"}, {"Pads", "p"}}; }
    std::vector<PortInfo> OutputPorts() override { return {{"Synth", "s"}}; }
    int OpenInput(const PortInfo& port, MIDIHook hook, void* context, void** handle) override {
        if (failOpen) return failOpen;
        ++inputOpens;
        opens.push_back({hook, context});
        *handle = &opens.back();
        lastPort = port.name;
        return 0;
    }
    int StartInput(void*) override { return 0; }
    int CloseInput(void*) override {
        ++inputCloses;
        return 0;
    }
    int OpenOutput(const PortInfo&, void** handle) override {
        if (failOpen) return failOpen;
        *handle = this;
        return 0;
    }
    int CloseOutput(void*) override { return 0; }
    int Send(void*, uint32_t message, int64_t due) override {
        sent.push_back(message);
        dues.push_back(due);
        return 0;
    }

    int failOpen = 0;
    int inputOpens = 0;
    int inputCloses = 0;
    std::vector<Open> opens;
    std::string lastPort;
    std::vector<uint32_t> sent;
    std::vector<int64_t> dues;
};

int64_t g_now = 0;
int64_t FakeClock() {
    return g_now;
}

struct MIDITest : ::testing::Test {
    MachineRegistry machines;
    CVeskHost host{44100, 512, 0x16, &machines};
    CScriptedBackend* backend = nullptr;
    std::unique_ptr<CMIDIDeviceRegistry> registry;

    void SetUp() override {
        auto scripted = std::make_unique<CScriptedBackend>();
        backend = scripted.get();
        std::vector<std::unique_ptr<CMIDIBackend>> backends;
        backends.push_back(std::move(scripted));
        registry = std::make_unique<CMIDIDeviceRegistry>(std::move(backends));
        g_now = 1'000'000'000;
    }

    static std::vector<ControlEvent> Drain(CControlBuffer* buffer) {
        std::vector<ControlEvent> events;
        ControlEvent event;
        while (buffer->GetNextEvent(&event))
            events.push_back(event);
        return events;
    }
};

} // namespace

TEST_F(MIDITest, RegistryListsBackendDevices) {
    ASSERT_EQ(registry->InputCount(), 2);
    ASSERT_EQ(registry->OutputCount(), 1);
    EXPECT_EQ(registry->Input(1)->Name(), "Pads");
    EXPECT_EQ(registry->Input(1)->Number(), 1);
    EXPECT_EQ(registry->Output(0)->Name(), "Synth");
    EXPECT_EQ(registry->Input(2), nullptr);
    EXPECT_EQ(registry->Input(-1), nullptr);
}

TEST(MIDIRegistry, WorksEmptyWithoutSystemDevicesOrServer) {
    CMIDIDeviceRegistry system; // whatever this machine has; no sequencer or JACK gives none
    for (int32_t i = 0; i < system.InputCount(); ++i)
        EXPECT_FALSE(system.Input(i)->Name().empty());
    CMIDIDeviceRegistry none{std::vector<std::unique_ptr<CMIDIBackend>>{}};
    EXPECT_EQ(none.InputCount(), 0);
    EXPECT_EQ(none.OutputCount(), 0);
}

TEST_F(MIDITest, HookListRefusesDuplicatesAndUnknowns) {
    CMIDIInputDevice* device = registry->Input(0);
    int context = 0;
    const MIDIHook hook = [](void*, uint8_t, uint8_t, uint8_t) {};
    device->AddHook(hook, &context);
    try {
        device->AddHook(hook, &context);
        FAIL();
    } catch (const platform::CError& error) {
        EXPECT_STREQ(error.what(), "AddHook: Hook Already Added");
    }
    device->RemoveHook(hook, &context);
    try {
        device->RemoveHook(hook, &context);
        FAIL();
    } catch (const platform::CError& error) {
        EXPECT_STREQ(error.what(), "RemoveHook: Not Found");
    }
}

TEST_F(MIDITest, OpenFailureNamesDeviceAndCode) {
    backend->failOpen = 0x42;
    CMIDIInput input(&host, registry.get());
    try {
        input.SelectDevice(1);
        FAIL();
    } catch (const platform::CError& error) {
        EXPECT_STREQ(error.what(), "midiInOpen For Device <Pads> Failed With Error Code 0x42");
    }
}

TEST_F(MIDITest, VelocityZeroNoteOnIsANoteOffAndOtherMessagesAreIgnored) {
    CMIDIInput input(&host, registry.get());
    input.m_counterFrequency = 0; // no counter: everything goes out at offset 0
    input.SelectDevice(0);
    CMIDIInputDevice* device = registry->Input(0);
    device->Deliver(0x94, 60, 100); // note on, channel 5
    device->Deliver(0x94, 60, 0);   // note on with velocity 0, channel 5
    device->Deliver(0xB0, 7, 100);  // controller
    device->Deliver(0xC0, 5, 0);    // program change
    device->Deliver(0xE0, 0, 64);   // pitch bend
    input.Process();
    const auto events = Drain(input.m_ports[0]->m_controlBuffer);
    ASSERT_EQ(events.size(), 2u);
    // Both at offset 0; the note-off wins the tie.
    EXPECT_EQ(events[0].kind, kEventNoteOff);
    EXPECT_EQ(events[0].index, 60);
    EXPECT_EQ(events[0].value, 0.0f);
    EXPECT_EQ(events[1].kind, kEventNoteOn);
    EXPECT_NEAR(events[1].value, 100.0f / 127.0f, 1e-6);
    EXPECT_NEAR(events[1].frequency, 261.6256f, 0.01f);
    EXPECT_EQ(events[1].size, 0);
    EXPECT_EQ(events[1].time, 0);
}

TEST_F(MIDITest, TwoMachinesShareOneDevice) {
    auto* first = new CMIDIInput(&host, registry.get());
    auto* second = new CMIDIInput(&host, registry.get());
    first->m_counterFrequency = second->m_counterFrequency = 0;
    first->SelectDevice(0);
    second->SelectDevice(0);
    CMIDIInputDevice* device = registry->Input(0);
    EXPECT_EQ(backend->inputOpens, 1);
    EXPECT_EQ(device->OpenCount(), 2);
    EXPECT_EQ(device->HookCount(), 2);
    device->Deliver(0x90, 64, 127);
    first->Process();
    second->Process();
    EXPECT_EQ(Drain(first->m_ports[0]->m_controlBuffer).size(), 1u);
    EXPECT_EQ(Drain(second->m_ports[0]->m_controlBuffer).size(), 1u);
    first->Delete();
    EXPECT_EQ(backend->inputCloses, 0);
    EXPECT_TRUE(device->IsOpen());
    second->Delete();
    EXPECT_EQ(backend->inputCloses, 1);
    EXPECT_FALSE(device->IsOpen());
    EXPECT_EQ(device->HookCount(), 0);
}

TEST_F(MIDITest, NotesSound80MillisecondsAfterArrivalAtSampleAccuracy) {
    CMIDIInput input(&host, registry.get());
    input.m_clock = &FakeClock;
    input.SelectDevice(0);
    registry->Input(0)->Deliver(0x90, 69, 64);
    g_now += 10'000'000; // processed 10 ms after it arrived: due in 70 ms = 3087 samples
    input.Process();
    EXPECT_EQ(input.m_ports[0]->m_controlBuffer->GetCount(), 0);
    ASSERT_EQ(input.m_carry.GetCount(), 1);

    // Buffer after buffer the note waits, its offset recomputed, until it falls inside one.
    int32_t buffers = 0;
    std::vector<ControlEvent> events;
    while (events.empty() && buffers < 10) {
        g_now += 512 * 1'000'000'000LL / 44100;
        input.Process();
        ++buffers;
        events = Drain(input.m_ports[0]->m_controlBuffer);
    }
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(buffers, 6);
    // 3087 samples after the first Process, in the sixth buffer after it.
    EXPECT_NEAR(events[0].time, 3087 - 6 * 512, 1);
    EXPECT_EQ(input.m_carry.GetCount(), 0);
}

TEST_F(MIDITest, OutputSendsNotesOnChannelOneAndCarriesLateOnes) {
    CMIDIOutput output(&host, registry.get());
    output.m_clock = &FakeClock;
    output.SelectDevice(0);
    CControlBuffer* in = output.m_ports[0]->m_controlBuffer;
    ControlEvent on{32, 100, kEventNoteOn, {}, 60, 1.0f, 261.6f};
    ControlEvent off{32, 200, kEventNoteOff, {}, 60, 1.0f, 261.6f};
    ControlEvent parameter{32, 10, kEventParameter, {}, 3, 0.5f, 0.0f};
    ControlEvent late{32, 600, kEventNoteOn, {}, 62, 0.5f, 0.0f};
    in->AddEvent(&on);
    in->AddEvent(&off);
    in->AddEvent(&parameter);
    in->AddEvent(&late);
    output.Process();
    ASSERT_EQ(backend->sent.size(), 2u);
    EXPECT_EQ(backend->sent[0], 0x90u | (60u << 8) | (127u << 16));
    EXPECT_EQ(backend->sent[1], 0x80u | (60u << 8));
    EXPECT_EQ(backend->dues[0], g_now + 100LL * 1'000'000'000 / 44100);
    output.Process();
    ASSERT_EQ(backend->sent.size(), 3u);
    EXPECT_EQ(backend->sent[2], 0x90u | (62u << 8) | (63u << 16));
}

TEST_F(MIDITest, OutputToADeviceThatIsNotOpenReportsEachNote) {
    CMIDIOutput output(&host, registry.get());
    backend->failOpen = 5;
    try {
        output.SelectDevice(0);
        FAIL();
    } catch (const platform::CError& error) {
        EXPECT_STREQ(error.what(), "midiOutOpen For Device <Synth> Failed With Error Code 0x5");
    }
    ControlEvent on{32, 0, kEventNoteOn, {}, 60, 1.0f, 0.0f};
    output.m_ports[0]->m_controlBuffer->AddEvent(&on);
    output.m_ports[0]->m_controlBuffer->AddEvent(&on);
    output.Process();
    EXPECT_EQ(output.ErrorCount(), 2);
    EXPECT_EQ(output.LastError(), "MIDIOutputDevice[Synth]::Write() Called But Device Is Not Open");
    EXPECT_TRUE(backend->sent.empty());
}

TEST_F(MIDITest, OutputWithoutDeviceDropsNotes) {
    CMIDIOutput output(&host, registry.get());
    ControlEvent on{32, 0, kEventNoteOn, {}, 60, 1.0f, 0.0f};
    output.m_ports[0]->m_controlBuffer->AddEvent(&on);
    output.Process();
    EXPECT_EQ(output.ErrorCount(), 0);
    EXPECT_EQ(output.m_ports[0]->m_controlBuffer->GetCount(), 0);
}
