#include "machine_interface/bank_server.h"
#include "machine_interface/library_loader.h"
#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

class CSilence : public CMachine {
public:
    explicit CSilence(CVeskHost* host) : CMachine(host) {}
    void Delete() override { delete this; }
    void Process() override {}
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return false; }
};

const std::filesystem::path kPlugins = TAMBOREL_TEST_BINARY_DIR;

} // namespace

TEST(VeskHost, NoteTable) {
    MachineRegistry registry;
    CVeskHost host(48000, 256, 0x16, &registry);
    float frequency = -1.0f;
    EXPECT_EQ(host.GetNoteFrequency(69, &frequency), 0);
    EXPECT_NEAR(frequency, 440.0f, 0.001f);
    EXPECT_EQ(host.GetNoteFrequency(0, &frequency), 0);
    EXPECT_NEAR(frequency, 8.1758f, 0.0001f);
    EXPECT_EQ(host.GetNoteFrequency(127, &frequency), 0);
    EXPECT_NEAR(frequency, 12543.85f, 0.05f);
    EXPECT_EQ(host.GetNoteFrequency(128, &frequency), 2);
    EXPECT_EQ(frequency, 0.0f);
    EXPECT_EQ(host.GetNoteFrequency(0xffffffffu, &frequency), 2);
}

TEST(VeskHost, ServicesAndCounters) {
    MachineRegistry registry;
    CVeskHost host(48000, 256, 0x16, &registry);
    EXPECT_EQ(host.GetBPM(), 140.0f);
    EXPECT_EQ(host.GetSampleRate(), 48000);
    EXPECT_EQ(host.GetBufferSize(), 256);
    EXPECT_EQ(host.GetProcessorFeatures(), 0x16);
    EXPECT_TRUE(host.SupportsFeature(0));
    EXPECT_FALSE(host.SupportsFeature(1));
    CHostBankServer* server = nullptr;
    EXPECT_EQ(host.GetBankServer(&server), 0);
    EXPECT_NE(server, nullptr);
    host.SetBPM(120.5f);
    EXPECT_EQ(host.GetBPM(), 120.5f);
    host.SetSampleRateAndBufferSize(22050, 64);
    EXPECT_EQ(host.GetSampleRate(), 22050);
    EXPECT_EQ(host.GetBufferSize(), 64);
    EXPECT_EQ(host.GetSampleCounter(), 0);
    host.AddToSampleCounter(0x7fffffff);
    host.AddToSampleCounter(2);  // wraps at 32 bits
    EXPECT_EQ(host.GetSampleCounter(), static_cast<int32_t>(0x80000001u));
}

TEST(MachineRegistry, LookupsByIdentifierNameAndPosition) {
    MachineRegistry registry;
    CVeskHost host(44100, 256, 0x16, &registry);
    auto* master = new CSimpleMachineInfo<CSilence>(&host, "Master", "Master");
    auto* first = new CSimpleMachineInfo<CSilence>(&host, "QX Echo", "VeskPlug::QX Echo");
    auto* second = new CSimpleMachineInfo<CSilence>(&host, "QX Echo Too", "VeskPlug::QX Echo");
    EXPECT_EQ(host.RegisterMachine(first), 0);
    EXPECT_EQ(host.RegisterMachine(master), 0);
    EXPECT_EQ(host.RegisterMachine(second), 0);
    EXPECT_EQ(registry.Count(), 3);
    EXPECT_EQ(registry.FindByIdentifier("VeskPlug::QX Echo"), first);
    EXPECT_EQ(registry.FindByIdentifier("veskplug::qx echo"), nullptr);
    EXPECT_EQ(registry.FindByName("QX Echo Too"), second);
    EXPECT_EQ(registry.FindByName("Master"), master);
    try {
        registry.FindByName("QX Nothing");
        FAIL() << "no error raised";
    } catch (const platform::CError& error) {
        EXPECT_STREQ(error.what(), "Machine <QX Nothing> Not Found");
    }
    EXPECT_EQ(registry.AddableMachines(), (std::vector<CMachineInfo*>{first, second}));
}

TEST(MachineRegistry, DefaultIconsStandInForMissingOnes) {
    MachineRegistry registry;
    CVeskHost host(44100, 256, 0x16, &registry);
    static const int smallIcon = 16, largeIcon = 32, own = 1;
    registry.SetDefaultIcons(&smallIcon, &largeIcon);
    auto* plain = new CSimpleMachineInfo<CSilence>(&host, "Plain", "Plain");
    auto* iconic = new CSimpleMachineInfo<CSilence>(&host, "Iconic", "Iconic");
    iconic->m_smallIcon = &own;
    host.RegisterMachine(plain);
    host.RegisterMachine(iconic);
    EXPECT_EQ(registry.At(0).smallIcon, &smallIcon);
    EXPECT_EQ(registry.At(0).largeIcon, &largeIcon);
    EXPECT_EQ(registry.At(1).smallIcon, &own);
    EXPECT_EQ(registry.At(1).largeIcon, &largeIcon);
}

TEST(LibraryDiscovery, LoadsLibrariesWithTheEntryAndSkipsTheRest) {
    MachineRegistry registry;
    CVeskHost host(44100, 256, 0x16, &registry);
    std::vector<std::string> progress;
    const int loaded = LoadMachineLibraries(kPlugins / "good", &host,
                                            [&](const std::string& text) { progress.push_back(text); });
    EXPECT_EQ(loaded, 1);
    ASSERT_EQ(registry.Count(), 1);
    EXPECT_STREQ(registry.At(0).info->m_displayName, "Test Tone");
    ASSERT_EQ(progress.size(), 2u);  // both libraries were tried
    for (const auto& text : progress) EXPECT_EQ(text.rfind("Loading PlugIn Library ", 0), 0u) << text;

    CMachine* machine = registry.At(0).info->CreateMachine();
    EXPECT_TRUE(machine->IsGenerator());
    EXPECT_EQ(machine->m_ports[0]->m_audioBuffer->m_length, 256);
    machine->Delete();

    EXPECT_EQ(LoadMachineLibraries(kPlugins / "missing", &host), 0);
    EXPECT_EQ(registry.Count(), 1);
}

TEST(LibraryDiscovery, TheEarlierOfTwoEqualIdentifiersWinsLookups) {
    MachineRegistry registry;
    CVeskHost host(44100, 256, 0x16, &registry);
    ASSERT_EQ(LoadMachineLibraries(kPlugins / "good", &host), 1);
    ASSERT_EQ(LoadMachineLibraries(kPlugins / "duplicate", &host), 1);
    ASSERT_EQ(registry.Count(), 2);
    EXPECT_STREQ(registry.FindByIdentifier("VeskPlug::Test Tone")->m_displayName, "Test Tone");
    EXPECT_STREQ(registry.FindByName("Second Of Its Id")->m_identifier, "VeskPlug::Test Tone");
}
