// The VST adapter and the folder scan, with small plug-ins built for these tests.
#include "host_machines/vst/vst_adapter.h"
#include "host_machines/vst/vst_cache.h"
#include "host_machines/vst/vst_scan.h"
#include "host_machines/vst/vst_transport.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "tests/support/studio_fixture.h"
#include "tests/host_machines/plugins/test_plugin_log.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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
    EXPECT_EQ(call(audioMasterTempoAt), 4500000); // 120 × 60 / 16 quarter notes a minute
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
    EXPECT_EQ(time->tempo, 450.0);
    EXPECT_EQ(time->flags, kVstTempoValid | kVstTimeSigValid);
    EXPECT_EQ(time->timeSigNumerator, 4); // the song's bars are 4/4
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
    settings.cachePath = root / "cache.txt";
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
    ASSERT_TRUE(fs::exists(settings.cachePath));

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

    // Libraries that came up cleanly are registered without a new trial, and so is the support
    // library without an entry known as such.
    MachineRegistry third;
    CVeskHost thirdHost{44100, 64, 0x16, &third};
    result = ScanVSTFolders({kPlugins / "good"}, &thirdHost, settings);
    EXPECT_EQ(result.registered, 3);
    EXPECT_EQ(result.probed, 0);
    EXPECT_EQ(result.cached, 4);

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

// ---- the plug-in cache --------------------------------------------------------------------

TEST(VSTCache, KeepsFactsPerLibraryUntilTheFileChanges) {
    const fs::path root = fs::path(TAMBOREL_TEST_BINARY_DIR) / "vst_cache";
    fs::remove_all(root);
    fs::create_directories(root);
    VSTLibraryFacts plugin;
    plugin.effectName = "Tab\tand\nnewline";
    plugin.vendor = "Vendor";
    plugin.product = "Product";
    plugin.category = 6;
    plugin.uniqueId = -123456789;
    plugin.inputs = 1;
    plugin.outputs = 4;
    plugin.parameters = 71;
    plugin.programs = 3;
    plugin.flags = 0x131;
    plugin.takesMidi = true;
    plugin.pluginMain = false;
    VSTLibraryFacts supportLibrary;
    supportLibrary.kind = VSTLibraryFacts::Kind::NoEntry;
    VSTLibraryFacts hung;
    hung.kind = VSTLibraryFacts::Kind::Hung;
    hung.reason = "hung while loading";

    CVSTCache cache;
    const VSTFileStamp stamp{1234, 5678};
    cache.Put("/lib/a.so", stamp, plugin);
    cache.Put("/lib/with\ttab.so", stamp, supportLibrary);
    cache.Put("/lib/h.so", {1, 2}, hung);
    cache.Put("/lib/new\nline.so", stamp, plugin); // cannot be kept in a line: not kept
    ASSERT_TRUE(cache.Save(root / "cache.txt"));
    // A line of another program, or half a line, is dropped; the rest still loads.
    { std::ofstream(root / "cache.txt", std::ios::app) << "garbage\n12\t34\t0\t1\n"; }

    CVSTCache read;
    read.Load(root / "cache.txt");
    EXPECT_EQ(read.Size(), 3u);
    const VSTLibraryFacts* found = read.Find("/lib/a.so", stamp);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->effectName, "Tab and newline"); // control characters cannot break the line
    VSTLibraryFacts expected = plugin;
    expected.effectName = "Tab and newline";
    EXPECT_EQ(*found, expected);
    ASSERT_NE(read.Find("/lib/with\ttab.so", stamp), nullptr);
    EXPECT_EQ(read.Find("/lib/with\ttab.so", stamp)->kind, VSTLibraryFacts::Kind::NoEntry);
    EXPECT_EQ(read.Find("/lib/h.so", {1, 2})->reason, "hung while loading");
    // A new size or modification time is a new library.
    EXPECT_EQ(read.Find("/lib/a.so", {1234, 5679}), nullptr);
    EXPECT_EQ(read.Find("/lib/a.so", {1235, 5678}), nullptr);
    // None of those files exists.
    EXPECT_TRUE(read.ForgetMissing());
    EXPECT_EQ(read.Size(), 0u);

    // Another header (an older or foreign file) is no cache at all.
    {
        std::ofstream(root / "foreign.txt")
            << "Something else\n1\t2\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t1\t\t\t\t\t/x.so\n";
    }
    read.Load(root / "foreign.txt");
    EXPECT_EQ(read.Size(), 0u);
    read.Load(root / "missing.txt");
    EXPECT_EQ(read.Size(), 0u);
}

TEST(VSTScan, RegistersFromTheTrialAndLoadsALibraryOnlyForItsFirstMachine) {
    MachineRegistry registry;
    CVeskHost host{44100, 64, 0x16, &registry};
    const fs::path cache = fs::path(TAMBOREL_TEST_BINARY_DIR) / "vst_lazy_cache.txt";
    fs::remove(cache);
    VSTScanSettings settings;
    settings.cachePath = cache;
    const int32_t loadedBefore = CVSTAdapterInfo::LoadedLibraryCount();
    VSTScanResult result = ScanVSTFolders({kPlugins / "synths", kPlugins / "good"}, &host, settings);
    EXPECT_EQ(result.registered, 5);
    EXPECT_EQ(result.probed, 6);
    EXPECT_EQ(CVSTAdapterInfo::LoadedLibraryCount(), loadedBefore); // the trials ran in children

    auto* deaf = dynamic_cast<CVSTAdapterInfo*>(registry.FindByIdentifier("VST::\x08"));
    ASSERT_NE(deaf, nullptr);
    EXPECT_FALSE(deaf->IsLoaded());
    const VSTLibraryFacts& facts = deaf->Facts();
    EXPECT_EQ(facts.effectName, "Test Plug-in");
    EXPECT_EQ(facts.vendor, "Tamborel Tests");
    EXPECT_EQ(facts.category, 2);
    EXPECT_EQ(facts.uniqueId, 0x12345068);
    EXPECT_EQ(facts.inputs, 0);
    EXPECT_EQ(facts.outputs, 2);
    EXPECT_EQ(facts.parameters, 4);
    EXPECT_TRUE(facts.takesMidi); // an instrument, though it does not answer "receiveVstMIDIEvent"
    EXPECT_EQ(facts.flags & effFlagsIsSynth, effFlagsIsSynth);
    const MachineIdentity* identity = registry.IdentityOf(deaf);
    ASSERT_NE(identity, nullptr);
    ASSERT_EQ(identity->facts.size(), 3u);
    EXPECT_EQ(identity->facts[0], (std::pair<std::string, std::string>{"uid", "12345068"}));
    EXPECT_EQ(identity->facts[2], (std::pair<std::string, std::string>{"file", "deaf_synth.so"}));

    // Every plug-in's machine has exactly the ports the listing shows from its facts.
    for (int32_t i = 0; i < registry.Count(); ++i) {
        auto* info = dynamic_cast<CVSTAdapterInfo*>(registry.At(i).info);
        ASSERT_NE(info, nullptr);
        SCOPED_TRACE(info->m_displayName);
        MachinePtr machine(info->CreateMachine());
        EXPECT_TRUE(info->IsLoaded());
        std::string listed;
        for (const VSTPortPlan& port :
             VSTPortLayout(info->Facts().inputs, info->Facts().outputs, info->Facts().takesMidi)) {
            char flags[16];
            std::snprintf(flags, sizeof flags, "%03x", port.flags);
            listed += port.name + "=" + flags + ";";
        }
        EXPECT_EQ(PortSummary(machine.get()), listed);
        EXPECT_EQ(machine->m_parameterCount, info->Facts().parameters);
    }
    EXPECT_EQ(CVSTAdapterInfo::LoadedLibraryCount(), loadedBefore + 5);
    MachinePtr second(deaf->CreateMachine());
    EXPECT_EQ(CVSTAdapterInfo::LoadedLibraryCount(), loadedBefore + 5); // loaded once

    // The next start knows everything from the cache and tries nothing.
    MachineRegistry again;
    CVeskHost secondHost{44100, 64, 0x16, &again};
    result = ScanVSTFolders({kPlugins / "synths", kPlugins / "good"}, &secondHost, settings);
    EXPECT_EQ(result.registered, 5);
    EXPECT_EQ(result.probed, 0);
    EXPECT_EQ(result.cached, 6);
    EXPECT_EQ(dynamic_cast<CVSTAdapterInfo*>(again.FindByIdentifier("VST::\x08"))->Facts(), facts);
}

// ---- what reaches the plug-in while it renders --------------------------------------------

TEST_F(VSTTest, ParameterEventsReachThePluginBeforeItsBlock) {
    auto plugin = Load(&host, kPlugins / "synths" / "deaf_synth.so");
    MachinePtr machine(plugin.info->CreateMachine());
    CControlBuffer* control = machine->m_ports[0]->m_controlBuffer;
    auto send = [&](int32_t time, int32_t kind, int32_t index, float value) {
        ControlEvent event{32, time, kind, {}, index, value, 0.0f};
        control->AddEvent(&event);
    };
    send(40, kEventParameter, 2, 0.6f);
    send(10, kEventParameter, 2, 0.9f);
    send(12, kEventParameter, 99, 0.5f); // no such parameter: nothing happens
    send(20, kEventParameter, 1, 1.5f);  // out of range: the largest value
    send(20, kEventNoteOn, 60, 1.0f);
    plugin.log->midiEvents = 0;
    machine->Process();
    EXPECT_FLOAT_EQ(machine->GetParameter(2), 0.6f); // in time order: the later change wins
    EXPECT_FLOAT_EQ(machine->GetParameter(1), 1.0f);
    EXPECT_EQ(plugin.log->midiEvents, 1); // the note still arrives
    EXPECT_EQ(control->GetCount(), 0);

    // A plug-in that refused MIDI still has its parameters automated.
    auto refusing = Load(&host, kPlugins / "synths" / "refusing_synth.so");
    const int callsBefore = refusing.log->processEventsCalls;
    MachinePtr deafToNotes(refusing.info->CreateMachine());
    CControlBuffer* refusingControl = deafToNotes->m_ports[0]->m_controlBuffer;
    ControlEvent on{32, 0, kEventNoteOn, {}, 64, 1.0f, 0.0f};
    refusingControl->AddEvent(&on);
    deafToNotes->Process(); // refuses the note: no more MIDI
    ASSERT_FALSE(static_cast<CVSTAdapter*>(deafToNotes.get())->WantsMidi());
    ControlEvent change{32, 3, kEventParameter, {}, 3, 0.25f, 0.0f};
    refusingControl->AddEvent(&change);
    refusingControl->AddEvent(&on);
    deafToNotes->Process();
    EXPECT_FLOAT_EQ(deafToNotes->GetParameter(3), 0.25f);
    EXPECT_EQ(refusing.log->processEventsCalls, callsBefore + 1);
}

TEST_F(VSTTest, TimeInformationFollowsTheSongTransport) {
    auto plugin = Load(&host, kPlugins / "good" / "stereo_effect.so");
    CVSTTransport transport;
    plugin.info->SetTransport(&transport);
    MachinePtr machine(plugin.info->CreateMachine());
    host.SetBPM(32.0f); // a beat of four steps lasts 0.5 s: 120 quarter notes a minute
    const int valid = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
    auto render = [&](bool playing, int64_t songSample) {
        transport.Publish(playing, songSample, 64);
        machine->Process();
    };

    render(false, 0);
    EXPECT_EQ(plugin.log->timeFlags, valid); // stopped, unchanged
    EXPECT_EQ(plugin.log->samplePos, 0.0);
    EXPECT_EQ(plugin.log->tempo, 120.0);
    EXPECT_EQ(plugin.log->sampleRate, 44100.0);
    EXPECT_EQ(plugin.log->timeSigNumerator, 4);
    EXPECT_EQ(plugin.log->timeSigDenominator, 4);

    render(true, 0);
    EXPECT_EQ(plugin.log->timeFlags, valid | kVstTransportPlaying | kVstTransportChanged);
    EXPECT_EQ(plugin.log->samplePos, 0.0);
    EXPECT_EQ(plugin.log->ppqPos, 0.0);
    render(true, 64);
    EXPECT_EQ(plugin.log->timeFlags, valid | kVstTransportPlaying); // went on as expected
    EXPECT_EQ(plugin.log->samplePos, 64.0);
    EXPECT_DOUBLE_EQ(plugin.log->ppqPos, 64.0 / 44100.0 * 2.0);
    EXPECT_EQ(plugin.log->barStartPos, 0.0);

    // A jump (a loop back, a new start) is a change; 2.5 s at 120 a minute is 5 quarter notes, in the
    // bar that starts at quarter note 4.
    render(true, 110250);
    EXPECT_EQ(plugin.log->timeFlags, valid | kVstTransportPlaying | kVstTransportChanged);
    EXPECT_DOUBLE_EQ(plugin.log->ppqPos, 5.0);
    EXPECT_DOUBLE_EQ(plugin.log->barStartPos, 4.0);

    render(false, 110250);
    EXPECT_EQ(plugin.log->timeFlags, valid | kVstTransportChanged);
    EXPECT_EQ(plugin.log->samplePos, 110250.0); // where it stopped
    render(false, 110250);
    EXPECT_EQ(plugin.log->timeFlags, valid);
}

TEST(VSTInStudio, PluginOutputtingNaNIsSilencedAndReportedOnceTheRestOfTheMixIntact) {
    std::mutex lock;
    std::vector<std::string> messages;
    SetVSTMessageSink([&](const std::string& text) {
        std::lock_guard guard(lock);
        messages.push_back(text);
    });
    // The same tone into the master, once with the poisoned plug-in beside it.
    auto renderMix = [](bool withPoison, uint32_t* silenced) {
        CStudioFixture fixture(256);
        CStudio& studio = *fixture.m_studio;
        VSTScanSettings settings;
        settings.cachePath.clear();
        EXPECT_EQ(ScanVSTFolders({kPlugins / "nan"}, fixture.m_host.get(), settings).registered, 1);
        CMachineContainer* master = studio.NewProject();
        CMachineContainer* tone = fixture.Add(fixture.m_tone);
        CStudioFixture::Machine(tone)->m_frequency = 441.0;
        CStudioFixture::Machine(tone)->m_level = 0.5f;
        EXPECT_TRUE(studio.Connect(tone->FindConnector("Out"), master->FindConnector("Line In")));
        CMachineContainer* poisoned = nullptr;
        if (withPoison) {
            poisoned = fixture.Add(fixture.m_registry->FindByName("nan_effect"));
            EXPECT_TRUE(fixture.Cable(tone, poisoned));
            EXPECT_TRUE(
                studio.Connect(poisoned->FindConnector("Line Out 1"), master->FindConnector("Line In")));
        }
        std::vector<float> mix;
        for (int buffer = 0; buffer < 20; ++buffer) {
            fixture.Render(256);
            for (const auto& channel : fixture.m_output)
                mix.insert(mix.end(), channel.begin(), channel.end());
        }
        if (poisoned) {
            *silenced = static_cast<CVSTAdapter*>(poisoned->Machine())->SilencedBuffers();
            const CAudioBuffer* out = poisoned->Machine()->m_ports[1]->m_audioBuffer;
            for (int32_t i = 0; i < out->m_length; ++i) {
                EXPECT_EQ(out->m_channel1[i], 0.0f);
                EXPECT_EQ(out->m_channel2[i], 0.0f);
            }
            studio.DeleteMachine(poisoned);
        }
        return mix;
    };
    uint32_t silenced = 0;
    const std::vector<float> clean = renderMix(false, nullptr);
    const std::vector<float> poisoned = renderMix(true, &silenced);
    EXPECT_EQ(silenced, 20u);
    ASSERT_EQ(clean.size(), poisoned.size());
    double sum = 0.0;
    for (float sample : clean)
        sum += static_cast<double>(sample) * sample;
    EXPECT_GT(sum, 1.0);        // the tone is there
    EXPECT_EQ(clean, poisoned); // and nothing of the poisoned branch, not even its finite samples
    SetVSTMessageSink(nullptr);
    ASSERT_EQ(messages.size(), 1u); // once, however many buffers
    EXPECT_NE(messages[0].find("'NaN Maker'"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("NaN or infinite"), std::string::npos) << messages[0];
}
