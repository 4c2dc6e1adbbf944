// Real plug-ins no one here wrote: Debian's lsp-plugins-vst and dragonfly-reverb-vst, found by
// the scan of the default Linux folders, made into machines, fed a tone, and their chunks saved
// and restored. Skips when the packages are missing.
#include "host_machines/vst/vst_adapter.h"
#include "host_machines/vst/vst_scan.h"
#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct MachineDeleter {
    void operator()(CMachine* machine) const { machine->Delete(); }
};
using MachinePtr = std::unique_ptr<CMachine, MachineDeleter>;

constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 256;

CMachineInfo* FindByName(MachineRegistry& registry, const std::string& name) {
    for (int32_t i = 0; i < registry.Count(); ++i)
        if (name == registry.At(i).info->m_displayName) return registry.At(i).info;
    return nullptr;
}

// Feeds blocks of a 440 Hz tone into every audio input; the RMS of the last half of the output.
double ToneThrough(CMachine* machine, int blocks, bool* finite) {
    double sum = 0.0;
    int64_t count = 0;
    *finite = true;
    int64_t phase = 0;
    for (int b = 0; b < blocks; ++b) {
        for (int32_t p = 0; p < machine->m_portCount; ++p) {
            CPort* port = machine->m_ports[p];
            if (!port->IsAudio() || !port->IsInput()) continue;
            for (int32_t i = 0; i < port->m_audioBuffer->m_length; ++i) {
                const float sample =
                    0.5f * static_cast<float>(std::sin(2.0 * M_PI * 440.0 * (phase + i) / kRate));
                port->m_audioBuffer->m_channel1[i] = sample;
                if (port->m_audioBuffer->m_channel2) port->m_audioBuffer->m_channel2[i] = sample;
            }
        }
        phase += kBlock;
        machine->Lock();
        machine->Process();
        machine->Unlock();
        if (b < blocks / 2) continue;
        for (int32_t p = 0; p < machine->m_portCount; ++p) {
            CPort* port = machine->m_ports[p];
            if (!port->IsAudio() || !port->IsOutput()) continue;
            for (float* channel : {port->m_audioBuffer->m_channel1, port->m_audioBuffer->m_channel2}) {
                if (!channel) continue;
                for (int32_t i = 0; i < port->m_audioBuffer->m_length; ++i) {
                    *finite = *finite && std::isfinite(channel[i]);
                    sum += static_cast<double>(channel[i]) * channel[i];
                    ++count;
                }
            }
        }
    }
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

std::vector<uint8_t> StateOf(CMachine* machine, bool* parameterList) {
    const void* data = nullptr;
    int32_t size = 0;
    machine->GetState(&data, &size, parameterList);
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + (size > 0 ? size : 0));
}

} // namespace

TEST(RealVST, EffectsFromTwoPackagesProcessAndKeepTheirChunks) {
    const bool haveLsp = fs::exists("/usr/lib/vst/lsp-plugins");
    const bool haveDragonfly = fs::exists("/usr/lib/lxvst/DragonflyRoomReverb-vst.so");
    if (!haveLsp || !haveDragonfly)
        GTEST_SKIP() << "lsp-plugins-vst or dragonfly-reverb-vst is not installed";

    MachineRegistry registry;
    CVeskHost host{kRate, kBlock, 0x16, &registry};
    VSTScanSettings settings;
    settings.cachePath.clear(); // every library gets its trial
    const VSTScanResult result = ScanVSTFolders(DefaultVSTFolders(), &host, settings);
    EXPECT_GE(result.registered, 5);

    for (const char* name : {"compressor-stereo", "DragonflyRoomReverb-vst"}) {
        SCOPED_TRACE(name);
        CMachineInfo* info = FindByName(registry, name);
        ASSERT_NE(info, nullptr);
        MachinePtr machine(info->CreateMachine());
        ASSERT_NE(static_cast<CVSTAdapter*>(machine.get())->Effect(), nullptr);
        EXPECT_FALSE(machine->IsGenerator());
        bool finite = false;
        const double rms = ToneThrough(machine.get(), 200, &finite);
        EXPECT_TRUE(finite);
        EXPECT_GT(rms, 1e-3);

        // Move a parameter so the state is not the default one, then save and restore.
        machine->SetParameter(0, 0.3f);
        bool parameterList = true;
        const std::vector<uint8_t> saved = StateOf(machine.get(), &parameterList);
        ASSERT_FALSE(saved.empty());
        // Both packages keep their settings in chunks of their own.
        EXPECT_FALSE(parameterList);
        MachinePtr fresh(info->CreateMachine());
        fresh->SetState(saved.data(), static_cast<int32_t>(saved.size()), parameterList);
        bool freshList = !parameterList;
        const std::vector<uint8_t> restored = StateOf(fresh.get(), &freshList);
        EXPECT_EQ(freshList, parameterList);
        EXPECT_EQ(restored, saved);
    }
}

TEST(RealVST, EffectRendersThroughTheProcessingCycle) {
    if (!fs::exists("/usr/lib/lxvst/DragonflyPlateReverb-vst.so"))
        GTEST_SKIP() << "dragonfly-reverb-vst is not installed";
    CStudioFixture fixture(kBlock, kRate);
    CStudio& studio = *fixture.m_studio;
    VSTScanSettings settings;
    settings.cachePath.clear();
    ASSERT_EQ(ScanVSTFolders({"/usr/lib/lxvst"}, fixture.m_host.get(), settings).registered, 4);
    CMachineInfo* reverb = FindByName(*fixture.m_registry, "DragonflyPlateReverb-vst");
    ASSERT_NE(reverb, nullptr);
    CMachineContainer* master = studio.NewProject();
    CMachineContainer* tone = fixture.Add(fixture.m_tone);
    CStudioFixture::Machine(tone)->m_frequency = 440.0;
    CStudioFixture::Machine(tone)->m_level = 0.5f;
    CMachineContainer* effect = fixture.Add(reverb);
    ASSERT_TRUE(fixture.Cable(tone, effect));
    ASSERT_TRUE(studio.Connect(effect->FindConnector("Line Out 1"), master->FindConnector("Line In")));
    double sum = 0.0;
    bool finite = true;
    for (int buffer = 0; buffer < 200; ++buffer) {
        fixture.Render(kBlock);
        if (buffer < 100) continue;
        for (const auto& channel : fixture.m_output)
            for (float sample : channel) {
                finite = finite && std::isfinite(sample);
                sum += static_cast<double>(sample) * sample;
            }
    }
    EXPECT_TRUE(finite);
    EXPECT_GT(std::sqrt(sum / (100.0 * kBlock * 2)), 1e-3);
    EXPECT_EQ(studio.RenderErrors().count, 0u);
    studio.DeleteMachine(effect);
}
