// A studio with its own host services and a registry holding the master and a few test machine
// types, for the engine's tests.
#pragma once

#include "engine/master.h"
#include "engine/studio.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "tests/support/test_machines.h"

#include <memory>
#include <vector>

// The channel count the master machines of a test see.
inline int32_t g_testChannels = 2;
inline int32_t TestChannelCount() {
    return g_testChannels;
}

class CStudioFixture {
public:
    explicit CStudioFixture(int32_t bufferSize = 256, int32_t sampleRate = 44100) {
        g_testChannels = 2;
        CMaster::SetChannelCountSource(TestChannelCount);
        m_registry = std::make_unique<MachineRegistry>();
        m_host = std::make_unique<CVeskHost>(sampleRate, bufferSize, 0x16, m_registry.get());
        m_host->RegisterMachine(new CMasterInfo(m_host.get()));
        m_tone = Register("Tone", {{kPortStereoOut, "Out"}});
        m_monoTone = Register("Mono Tone", {{kPortMonoOut, "Out"}});
        m_effect = Register("Effect", {{kPortStereoIn, "In"}, {kPortStereoOut, "Out"}});
        m_monoEffect = Register("Mono Effect", {{kPortMonoIn, "In"}, {kPortMonoOut, "Out"}});
        m_sequenced = Register(
            "Sequenced",
            {{kPortControlIn, "Control In"}, {kPortControlOut, "Control Out"}, {kPortStereoOut, "Out"}});
        m_sendMixer = Register(
            "Send Mixer",
            {{kPortMonoIn, "In"}, {kPortSendOut, "Send"}, {kPortReturnIn, "Return"}, {kPortMonoOut, "Out"}});
        m_studio = std::make_unique<CStudio>(m_host.get());
    }
    ~CStudioFixture() {
        m_studio.reset();
        CMaster::SetChannelCountSource(nullptr);
    }

    CMachineInfo* Register(const char* name, std::vector<CTestMachine::PortSpec> ports) {
        auto* info = new CTestMachineInfo(m_host.get(), name, ports);
        m_host->RegisterMachine(info);
        return info;
    }
    CMachineContainer* Add(CMachineInfo* info) { return m_studio->AddMachine(info, 0, 0); }
    static CTestMachine* Machine(CMachineContainer* frame) {
        return static_cast<CTestMachine*>(frame->Machine());
    }
    // Output connector "Out" of one frame into the first input connector of another.
    bool Cable(CMachineContainer* from, CMachineContainer* to, const char* input = nullptr,
               float volume = 1.0f) {
        CConnector* in = input ? to->FindConnector(input) : nullptr;
        for (int32_t c = 0; !in && c < to->ConnectorCount(); ++c)
            if (to->Connector(c)->m_port->IsInput() && to->Connector(c)->m_port->IsAudio())
                in = to->Connector(c);
        return m_studio->Connect(from->FindConnector("Out"), in, volume);
    }

    // Renders buffers of the given size into stereo (or wider) arrays kept by the fixture.
    void Render(int32_t frames, int32_t channels = 2) {
        m_output.assign(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames), 0.0f));
        m_pointers.clear();
        for (auto& channel : m_output)
            m_pointers.push_back(channel.data());
        m_studio->Render(channels, m_pointers.data(), frames);
    }

    std::unique_ptr<MachineRegistry> m_registry;
    std::unique_ptr<CVeskHost> m_host;
    std::unique_ptr<CStudio> m_studio;
    CMachineInfo* m_tone;
    CMachineInfo* m_monoTone;
    CMachineInfo* m_effect;
    CMachineInfo* m_monoEffect;
    CMachineInfo* m_sequenced;
    CMachineInfo* m_sendMixer;
    std::vector<std::vector<float>> m_output;
    std::vector<float*> m_pointers;
};
