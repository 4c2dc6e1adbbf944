// The VST adapter and the folder scan, with small plug-ins built for these tests.
#include "host_machines/vst/vst_adapter.h"
#include "host_machines/vst/vst_scan.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "tests/host_machines/plugins/test_plugin_log.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;
using namespace vst;

namespace {

const fs::path kPlugins = TB_TEST_VST_DIR;

struct MachineDeleter {
    void operator()(CMachine* machine) const { machine->Delete(); }
};
using MachinePtr = std::unique_ptr<CMachine, MachineDeleter>;

// Loads one test plug-in straight into a descriptor (as the scan does) and finds its log.
struct LoadedPlugin {
    std::unique_ptr<CVSTAdapterInfo> info;
    TestPluginLog* log = nullptr;
};

LoadedPlugin Load(CVeskHost* host, const fs::path& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << dlerror();
    auto entry = reinterpret_cast<EntryProc>(dlsym(handle, "VSTPluginMain"));
    auto logOf = reinterpret_cast<void* (*)()>(dlsym(handle, "TestPluginLog"));
    LoadedPlugin plugin;
    plugin.info = std::make_unique<CVSTAdapterInfo>(host, handle, entry, true, path.stem().string(),
                                                    path.parent_path().string());
    plugin.log = static_cast<TestPluginLog*>(logOf());
    return plugin;
}

struct VSTTest : ::testing::Test {
    MachineRegistry registry;
    CVeskHost host{44100, 64, 0x16, &registry};
};

std::string PortSummary(CMachine* machine) {
    std::string summary;
    for (int32_t i = 0; i < machine->m_portCount; ++i) {
        char flags[16];
        std::snprintf(flags, sizeof flags, "%03x", machine->m_ports[i]->m_flags);
        summary += std::string(machine->m_ports[i]->m_name) + "=" + flags + ";";
    }
    return summary;
}

} // namespace

TEST_F(VSTTest, PortsFollowThePluginsInputsOutputsAndMidi) {
    auto stereo = Load(&host, kPlugins / "good" / "stereo_effect.so");
    MachinePtr twoByTwo(stereo.info->CreateMachine());
    EXPECT_EQ(PortSummary(twoByTwo.get()), "Line In 1=111;Line Out 1=121;");
    EXPECT_FALSE(twoByTwo->IsGenerator());

    auto wide = Load(&host, kPlugins / "good" / "more" / "one_in_four_out.so");
    MachinePtr oneByFour(wide.info->CreateMachine());
    EXPECT_EQ(PortSummary(oneByFour.get()),
              "Line In 1=011;Line Out 1=021;Line Out 2=021;Line Out 3=021;Line Out 4=021;");

    auto box = Load(&host, kPlugins / "good" / "silent_box.so");
    MachinePtr none(box.info->CreateMachine());
    EXPECT_EQ(none->m_portCount, 0);
    none->Process(); // nothing to do, nothing to break

    // An instrument that says it does not know "receiveVstMIDIEvent" still takes notes.
    auto deaf = Load(&host, kPlugins / "synths" / "deaf_synth.so");
    MachinePtr synth(deaf.info->CreateMachine());
    EXPECT_EQ(PortSummary(synth.get()), "Control In=012;Line Out 1=121;");
    EXPECT_TRUE(synth->IsGenerator());
}

TEST_F(VSTTest, PluginComesUpInOrderAndProcessesReplacing) {
    auto plugin = Load(&host, kPlugins / "good" / "stereo_effect.so");
    const int opensBefore = plugin.log->opcodes[effOpen];
    MachinePtr machine(plugin.info->CreateMachine());
    EXPECT_EQ(plugin.log->opcodes[effOpen], opensBefore + 1);
    EXPECT_GE(plugin.log->opcodes[effMainsChanged], 1);
    EXPECT_GE(plugin.log->opcodes[effStartProcess], 1);
    CAudioBuffer* in = machine->m_ports[0]->m_audioBuffer;
    for (int32_t i = 0; i < in->m_length; ++i)
        in->m_channel1[i] = in->m_channel2[i] = 0.8f;
    machine->Process();
    const CAudioBuffer* out = machine->m_ports[1]->m_audioBuffer;
    EXPECT_FLOAT_EQ(out->m_channel1[0], 0.4f);
    EXPECT_FLOAT_EQ(out->m_channel2[63], 0.4f);
    const int closes = plugin.log->opcodes[effClose];
    machine.reset();
    EXPECT_EQ(plugin.log->opcodes[effClose], closes + 1);
    EXPECT_EQ(LiveVSTAdapterCount(), 0);
}

TEST_F(VSTTest, NotesBecomeMidiEventsNoteOffFirstAtOneOffset) {
    auto plugin = Load(&host, kPlugins / "synths" / "deaf_synth.so");
    MachinePtr machine(plugin.info->CreateMachine());
    CControlBuffer* control = machine->m_ports[0]->m_controlBuffer;
    ControlEvent on{32, 10, kEventNoteOn, {}, 64, 1.0f, 0.0f};
    ControlEvent off{32, 10, kEventNoteOff, {}, 60, 0.5f, 0.0f};
    ControlEvent parameter{32, 5, kEventParameter, {}, 1, 0.5f, 0.0f};
    control->AddEvent(&on);
    control->AddEvent(&off);
    control->AddEvent(&parameter);
    plugin.log->midiEvents = 0;
    machine->Process();
    ASSERT_EQ(plugin.log->midiEvents, 2);
    EXPECT_EQ(plugin.log->midi[0][0], 0x80);
    EXPECT_EQ(plugin.log->midi[0][1], 60);
    EXPECT_EQ(plugin.log->midi[0][2], 0);
    EXPECT_EQ(plugin.log->midi[1][0], 0x90);
    EXPECT_EQ(plugin.log->midi[1][1], 64);
    EXPECT_EQ(plugin.log->midi[1][2], 127);
    EXPECT_EQ(plugin.log->deltaFrames[0], 10);
    EXPECT_EQ(control->GetCount(), 0);
}

TEST_F(VSTTest, PluginRefusingEventsGetsNoMoreMidi) {
    auto plugin = Load(&host, kPlugins / "synths" / "refusing_synth.so");
    MachinePtr machine(plugin.info->CreateMachine());
    auto* adapter = static_cast<CVSTAdapter*>(machine.get());
    ControlEvent on{32, 0, kEventNoteOn, {}, 64, 1.0f, 0.0f};
    CControlBuffer* control = machine->m_ports[0]->m_controlBuffer;
    control->AddEvent(&on);
    machine->Process();
    EXPECT_EQ(plugin.log->processEventsCalls, 1);
    EXPECT_FALSE(adapter->WantsMidi());
    control->AddEvent(&on);
    machine->Process();
    EXPECT_EQ(plugin.log->processEventsCalls, 1);
    EXPECT_EQ(control->GetCount(), 0);
}

TEST_F(VSTTest, IdentifierEndsAtAZeroNibble) {
    char identifier[10];
    CVSTAdapterInfo::BuildIdentifier(0x41424344, identifier);
    EXPECT_EQ(std::memcmp(identifier, "VST::\x04\x03\x02\x01\0", 10), 0);
    // deaf_synth's uniqueID is 0x12345068: byte 0 (0x68) gives 8, byte 1 (0x50) gives 0, so
    // read as text the identifier ends there; the bytes behind the zero are still kept.
    auto plugin = Load(&host, kPlugins / "synths" / "deaf_synth.so");
    EXPECT_EQ(std::memcmp(plugin.info->m_identifier, "VST::\x08\x00\x04\x02", 10), 0);
    EXPECT_EQ(std::strlen(plugin.info->m_identifier), 6u);
    EXPECT_STREQ(plugin.info->m_displayName, "deaf_synth");
    EXPECT_EQ(plugin.info->Folder(), (kPlugins / "synths").string() + "/");
}

TEST_F(VSTTest, HostCallbackAnswers) {
    auto plugin = Load(&host, kPlugins / "good" / "stereo_effect.so");
    MachinePtr machine(plugin.info->CreateMachine());
    auto* adapter = static_cast<CVSTAdapter*>(machine.get());
    AEffect* effect = adapter->Effect();
    host.SetBPM(120.0f);
    host.AddToSampleCounter(1000);
    auto call = [&](int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f) {
        return CVSTAdapter::HostCallback(effect, opcode, index, value, ptr, opt);
    };
    EXPECT_EQ(CVSTAdapter::HostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f), 2400);
    EXPECT_EQ(call(audioMasterGetSampleRate), 44100);
    EXPECT_EQ(call(audioMasterGetBlockSize), 64);
    EXPECT_EQ(call(audioMasterTempoAt), 1200000);
    char vendor[64];
    std::memset(vendor, 'x', sizeof vendor);
    EXPECT_EQ(call(audioMasterGetVendorString, 0, 0, vendor), 0);
    EXPECT_STREQ(vendor, kVSTVendorString);
    char canDo[] = "receiveVstTimeInfo";
    char cannot[] = "offline";
    EXPECT_EQ(call(audioMasterCanDo, 0, 0, canDo), 1);
    EXPECT_EQ(call(audioMasterCanDo, 0, 0, cannot), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(call(audioMasterGetDirectory))),
              (kPlugins / "good").string() + "/");
    EXPECT_EQ(call(audioMasterWantMidi), 1);
    EXPECT_EQ(call(audioMasterGetCurrentProcessLevel), 0);
    EXPECT_EQ(call(audioMasterAutomate, 2, 0, nullptr, 0.75f), 0);
    EXPECT_FLOAT_EQ(machine->GetParameter(2), 0.75f);

    // Time information without flags: sample position and rate only.
    const auto* time = reinterpret_cast<const VstTimeInfo*>(call(audioMasterGetTime, 0, 0));
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->samplePos, 1000.0);
    EXPECT_EQ(time->sampleRate, 44100.0);
    EXPECT_EQ(time->tempo, 0.0);
    EXPECT_EQ(time->flags, 0);
    EXPECT_EQ(time->timeSigNumerator, 0);
    time =
        reinterpret_cast<const VstTimeInfo*>(call(audioMasterGetTime, 0, kVstTempoValid | kVstTimeSigValid));
    EXPECT_EQ(time->tempo, 120.0);
    EXPECT_EQ(time->flags, kVstTempoValid | kVstTimeSigValid);
    EXPECT_EQ(time->timeSigNumerator, 1);
    EXPECT_EQ(time->timeSigDenominator, 4);
}

TEST_F(VSTTest, ParametersTextsAndChunkState) {
    auto plugin = Load(&host, kPlugins / "good" / "stereo_effect.so");
    MachinePtr machine(plugin.info->CreateMachine());
    EXPECT_EQ(machine->m_parameterCount, 4);
    char text[64];
    machine->GetParameterName(1, text);
    EXPECT_STREQ(text, "Parameter Number 1 Long Name");
    machine->SetParameter(1, 0.5f);
    machine->GetParameterDisplay(1, text);
    EXPECT_STREQ(text, "0.50 dB");

    const unsigned char chunk[5] = {1, 2, 3, 0, 5};
    machine->SetState(chunk, 5, false);
    const void* data = nullptr;
    int32_t size = 0;
    bool parameterList = true;
    machine->GetState(&data, &size, &parameterList);
    EXPECT_FALSE(parameterList);
    ASSERT_EQ(size, 5);
    EXPECT_EQ(std::memcmp(data, chunk, 5), 0);
}

TEST(VSTScan, SkipsCrashingAndHangingLibrariesAndRemembersThem) {
    MachineRegistry registry;
    CVeskHost host{44100, 64, 0x16, &registry};
    const fs::path root = fs::path(TAMBOREL_TEST_BINARY_DIR) / "vst_scan";
    fs::remove_all(root);
    fs::create_directories(root);
    // The test plug-ins, plus a link to a folder (followed) and a link back up (a loop).
    fs::create_directory_symlink(kPlugins / "good", root / "linked");
    fs::create_directory_symlink(root, root / "loop");
    fs::create_directories(root / "bad");
    for (const char* name : {"crashing.so", "hanging.so"})
        fs::copy_file(kPlugins / "bad" / name, root / "bad" / name);

    VSTScanSettings settings;
    settings.skipListPath = root / "skipped.txt";
    settings.knownGoodListPath = root / "known_good.txt";
    settings.probeTimeoutMilliseconds = 1500;
    std::vector<std::string> reported;
    settings.skipped = [&](const std::string& path, const std::string& reason) {
        reported.push_back(path + " " + reason);
    };
    std::vector<std::string> progress;
    settings.progress = [&](const std::string& text) { progress.push_back(text); };

    // The good folder is reached twice (directly and through the link): each library once.
    VSTScanResult result = ScanVSTFolders({root, kPlugins / "good"}, &host, settings);
    EXPECT_EQ(result.registered, 3); // stereo_effect, silent_box, one_in_four_out
    EXPECT_EQ(result.probed, 6);     // and support_library, crashing, hanging
    EXPECT_EQ(registry.Count(), 3);
    ASSERT_EQ(reported.size(), 2u);
    std::sort(reported.begin(), reported.end());
    EXPECT_NE(reported[0].find("crashing.so crashed while loading (signal 11"), std::string::npos)
        << reported[0];
    EXPECT_NE(reported[1].find("hanging.so hung while loading"), std::string::npos) << reported[1];
    EXPECT_NE(std::find(progress.begin(), progress.end(), "Loading VST PlugIn stereo_effect.so..."),
              progress.end());
    ASSERT_TRUE(fs::exists(settings.skipListPath));

    // The next start skips them without trying, however long they would take.
    reported.clear();
    settings.probeTimeoutMilliseconds = 60000;
    MachineRegistry again;
    CVeskHost secondHost{44100, 64, 0x16, &again};
    const auto started = std::chrono::steady_clock::now();
    result = ScanVSTFolders({root / "bad"}, &secondHost, settings);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_EQ(result.registered, 0);
    ASSERT_EQ(reported.size(), 2u);
    for (const auto& line : reported)
        EXPECT_NE(line.find("skipped until the file changes"), std::string::npos);

    // Libraries that came up cleanly are loaded without a new trial.
    MachineRegistry third;
    CVeskHost thirdHost{44100, 64, 0x16, &third};
    result = ScanVSTFolders({kPlugins / "good"}, &thirdHost, settings);
    EXPECT_EQ(result.registered, 3);
    EXPECT_EQ(result.probed, 1); // the support library without an entry is tried each time

    // A changed library gets tried again.
    reported.clear();
    settings.probeTimeoutMilliseconds = 1500;
    fs::last_write_time(root / "bad" / "crashing.so",
                        fs::file_time_type::clock::now() + std::chrono::hours(1));
    ScanVSTFolders({root / "bad" / "crashing.so", root / "bad"}, &secondHost, settings);
    std::sort(reported.begin(), reported.end());
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_NE(reported[0].find("crashed while loading"), std::string::npos) << reported[0];
}

TEST(VSTScan, FoldersComeFromTheOptionsThenVSTPath) {
    const auto defaults = DefaultVSTFolders();
    ASSERT_GE(defaults.size(), 5u);
    EXPECT_EQ(defaults.back(), fs::path("/usr/lib/lxvst"));
    EXPECT_EQ(defaults[defaults.size() - 2], fs::path("/usr/lib/vst"));
    setenv("VST_PATH", "/opt/a:/opt/b::", 1);
    const auto folders = VSTScanFolders({"/mine"});
    unsetenv("VST_PATH");
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(folders[0], fs::path("/mine"));
    EXPECT_EQ(folders[1], fs::path("/opt/a"));
    EXPECT_EQ(folders[2], fs::path("/opt/b"));
}
