// VST plug-ins in whole projects, with the test suite's own plug-ins: which plug-in a saved
// project loads when several share a short identifier, what the song tells a plug-in while it
// plays, and the scan's child processes when the program is ended.
#include "tests/app/cli_helpers.h"

#include "app/application.h"
#include "host_machines/vst/vst_adapter.h"
#include "tests/host_machines/plugins/test_plugin_log.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

const fs::path kPlugins = TB_TEST_VST_DIR;
const fs::path kTwinOne = kPlugins / "twins" / "first";
const fs::path kTwinTwo = kPlugins / "twins" / "second";
// The short identifier both twins have: their unique IDs 0x11223344 and 0x21324354 differ only in
// the high four bits of each byte.
const std::string kTwinIdentifier = "VST::\x04\x03\x02\x01";

// A configuration folder of this test's own, so the plug-in cache is ours and starts empty.
void UseFreshConfig(const std::string& name) {
    const fs::path folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
}

CApplication::Settings Settings(std::vector<fs::path> vstFolders) {
    CApplication::Settings settings;
    settings.newProject = false;
    settings.pluginFolder = fs::path(TAMBOREL_BIN_DIR) / "PlugIns";
    settings.vstFolders = std::move(vstFolders);
    return settings;
}

int32_t UniqueIdOf(CMachineContainer* frame) {
    auto* adapter = dynamic_cast<CVSTAdapter*>(frame->Machine());
    return adapter && adapter->Effect() ? adapter->Effect()->uniqueID : 0;
}

size_t Count(const std::vector<uint8_t>& bytes, const std::string& text) {
    size_t count = 0;
    for (auto it = bytes.begin();
         (it = std::search(it, bytes.end(), text.begin(), text.end())) != bytes.end(); ++it)
        ++count;
    return count;
}

// Saves a studio holding "Lead" (Twin Two) and "twin_one 2" (Twin One); the twins registered in
// the folders' order.
fs::path SaveTwins(const fs::path& path) {
    CApplication application(Settings({kTwinOne, kTwinTwo}));
    application.Project().New();
    MachineRegistry& registry = *application.Registry();
    EXPECT_EQ(registry.FindAllByIdentifier(kTwinIdentifier.c_str()).size(), 2u);
    CStudio& studio = *application.Studio();
    CMachineInfo* two = registry.FindByName("twin_two");
    CMachineInfo* one = registry.FindByName("twin_one");
    CMachineContainer* lead = studio.CreateFrame(two->CreateMachine(), two, "Lead", 10, 10);
    CMachineContainer* pad = studio.CreateFrame(one->CreateMachine(), one, "twin_one 2", 90, 10);
    EXPECT_EQ(UniqueIdOf(lead), 0x21324354);
    EXPECT_EQ(UniqueIdOf(pad), 0x11223344);
    application.Project().SaveAs(path);
    return path;
}

} // namespace

TEST(VSTProject, TwoPluginsSharingTheShortIdentifierEachReloadAsThemselves) {
    UseFreshConfig("vst-project-twins");
    const fs::path folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / "vst-project-twins";
    const fs::path saved = SaveTwins(folder / "twins.tbp");
    const std::vector<uint8_t> bytes = ReadBytes(saved);
    // Both records carry the described identifier, all ten bytes of it, readable as text.
    EXPECT_EQ(Count(bytes, kTwinIdentifier + std::string(1, '\0')), 2u);

    // Whatever order the folders are scanned in, each machine comes back as its own plug-in.
    for (const auto& folders :
         {std::vector<fs::path>{kTwinTwo, kTwinOne}, std::vector<fs::path>{kTwinOne, kTwinTwo}}) {
        CApplication application(Settings(folders));
        application.Project().Open(saved);
        CStudio& studio = *application.Studio();
        ASSERT_NE(studio.FindFrame("Lead"), nullptr);
        EXPECT_EQ(UniqueIdOf(studio.FindFrame("Lead")), 0x21324354);
        EXPECT_EQ(UniqueIdOf(studio.FindFrame("twin_one 2")), 0x11223344);
        EXPECT_TRUE(application.Project().LoadNotes().empty());
        // Saved again it is the same file.
        application.Project().SaveAs(folder / "again.tbp");
        EXPECT_EQ(ReadBytes(folder / "again.tbp"), bytes);
    }
}

TEST(VSTProject, AnAmbiguousFileWithoutMoreIdentityPicksByNameAndSaysWhich) {
    UseFreshConfig("vst-project-ambiguous");
    const fs::path folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / "vst-project-ambiguous";
    std::vector<uint8_t> bytes = ReadBytes(SaveTwins(folder / "twins.tbp"));
    // As other writers leave the bytes behind the identifier: one record with a damaged copy of
    // our facts (its checksum no longer fits), one with undefined bytes. Neither is taken for facts.
    const std::string tag = "TbId";
    auto first = std::search(bytes.begin(), bytes.end(), tag.begin(), tag.end());
    ASSERT_NE(first, bytes.end());
    first[12] ^= 0x20;
    auto second = std::search(first + 1, bytes.end(), tag.begin(), tag.end());
    ASSERT_NE(second, bytes.end());
    std::fill(second, second + 200, 0xAB);
    ASSERT_EQ(std::search(second + 1, bytes.end(), tag.begin(), tag.end()), bytes.end());
    WriteBytes(folder / "old.tbp", bytes);

    CApplication application(Settings({kTwinTwo, kTwinOne}));
    application.Project().Open(folder / "old.tbp");
    CStudio& studio = *application.Studio();
    // "twin_one 2" is named after Twin One's file; "Lead" names neither and gets the first
    // registered.
    EXPECT_EQ(UniqueIdOf(studio.FindFrame("twin_one 2")), 0x11223344);
    EXPECT_EQ(UniqueIdOf(studio.FindFrame("Lead")), 0x21324354);
    const std::vector<std::string>& notes = application.Project().LoadNotes();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_NE(notes[0].find("Machine 'Lead': 2 installed machine types share its identifier"),
              std::string::npos)
        << notes[0];
    EXPECT_NE(notes[0].find("chose Twin Two ("), std::string::npos) << notes[0];
    EXPECT_NE(notes[1].find("Machine 'twin_one 2'"), std::string::npos) << notes[1];
    EXPECT_NE(notes[1].find("chose Twin One (" + (kTwinOne / "twin_one.so").string() + ")"),
              std::string::npos)
        << notes[1];

    // Saved facts that match no installed plug-in (Twin Two is gone) load the one there is, and say so.
    CApplication onlyOne(Settings({kTwinOne}));
    onlyOne.Project().Open(folder / "twins.tbp");
    EXPECT_EQ(UniqueIdOf(onlyOne.Studio()->FindFrame("Lead")), 0x11223344);
    ASSERT_EQ(onlyOne.Project().LoadNotes().size(), 1u);
    EXPECT_NE(onlyOne.Project().LoadNotes()[0].find("uid 21324354"), std::string::npos)
        << onlyOne.Project().LoadNotes()[0];
}

TEST(VSTProject, TheSongAutomatesPluginParametersAndTellsItsPositionTempoAndTransport) {
    UseFreshConfig("vst-project-song");
    CApplication::Settings settings = Settings({kTwinOne});
    settings.audio = CApplication::Audio::Offline;
    settings.bufferSize = 256;
    settings.newProject = true;
    CApplication application(settings);
    CStudio& studio = *application.Studio();
    CMachineInfo* info = application.Registry()->FindByName("twin_one");
    CMachineContainer* synth = studio.CreateFrame(info->CreateMachine(), info, "Synth", 10, 10);
    ASSERT_TRUE(studio.Connect(synth->FindConnector("Line Out 1"), studio.MasterFrame()->Connector(0)));
    void* library = dlopen((kTwinOne / "twin_one.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    auto* log = static_cast<TestPluginLog*>(reinterpret_cast<void* (*)()>(dlsym(library, "TestPluginLog"))());

    // Parameter 2 goes to 0.9 at step 8: at 140 BPM and 44100 Hz a step is 1260 samples, so
    // sample 10080, inside buffer 39 (9984..10239).
    CSequencer& sequencer = *application.Sequencer();
    Pattern* sweep =
        sequencer.Patterns().CreatePattern(synth->FindConnector("Control In")->m_port, 4, "Sweep");
    const int32_t track = sweep->AddControlTrack(2);
    sweep->SetControlStep(track, 8, 0.9f);
    ASSERT_NE(sequencer.Song().PlacePattern(sweep, 0), nullptr);
    sequencer.Song().SetLength(8);
    CMachine* machine = synth->Machine();
    machine->SetParameter(2, 0.3f);

    std::vector<float> left(256), right(256);
    float* channels[2] = {left.data(), right.data()};
    auto render = [&] { application.Offline()->Render(channels, 2, 256); };
    const int valid = vst::kVstPpqPosValid | vst::kVstTempoValid | vst::kVstBarsValid | vst::kVstTimeSigValid;

    render(); // before Play: stopped
    EXPECT_EQ(log->timeFlags & (vst::kVstTransportPlaying | vst::kVstTransportChanged), 0);
    sequencer.Song().PlaySong();
    for (int buffer = 0; buffer < 45; ++buffer) {
        render();
        SCOPED_TRACE(buffer);
        EXPECT_FLOAT_EQ(machine->GetParameter(2), buffer < 39 ? 0.3f : 0.9f);
        EXPECT_EQ(log->samplePos, 256.0 * buffer);
        EXPECT_EQ(log->tempo, 140.0 * 60.0 / 16.0); // quarter notes (beats of four steps) a minute
        EXPECT_DOUBLE_EQ(log->ppqPos, 256.0 * buffer / 1260.0 / 4.0); // a beat is four 1260-sample steps
        EXPECT_EQ(log->timeSigNumerator, 4);
        EXPECT_EQ(log->timeFlags,
                  valid | vst::kVstTransportPlaying | (buffer == 0 ? vst::kVstTransportChanged : 0));
    }
    sequencer.Song().StopSong();
    render();
    EXPECT_EQ(log->timeFlags, valid | vst::kVstTransportChanged);
    EXPECT_EQ(log->samplePos, 256.0 * 45); // where the song stopped
    render();
    EXPECT_EQ(log->timeFlags, valid);
}

TEST(VSTScanChildren, EndWithTheProgramWhenItIsTerminatedDuringTheScan) {
    const fs::path config = fs::path(TAMBOREL_TEST_BINARY_DIR) / "vst-scan-children";
    fs::remove_all(config);
    Options options = DefaultOptions();
    options.vstFolders.clear();
    WriteOptions(options, config / "Tamborel Studio" / "Tamborel.opt");
    const fs::path hanging = config / "plugins";
    fs::create_directories(hanging);
    fs::copy_file(kPlugins / "bad" / "hanging.so", hanging / "hanging.so");

    const pid_t program = fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("VST_PATH", hanging.c_str(), 1);
        const std::string binary = std::string(TAMBOREL_BIN_DIR) + "/tamborel";
        execl(binary.c_str(), binary.c_str(), "machines", static_cast<char*>(nullptr));
        _exit(127);
    }
    // The scan's child for the hanging plug-in.
    const std::string childrenFile =
        "/proc/" + std::to_string(program) + "/task/" + std::to_string(program) + "/children";
    std::vector<pid_t> children;
    for (int wait = 0; wait < 600 && children.empty(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(childrenFile);
        for (pid_t child; in >> child;)
            children.push_back(child);
    }
    ASSERT_FALSE(children.empty()) << "no trial child appeared";
    kill(program, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(program, &status, 0), program);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    for (pid_t child : children) {
        // Gone, or at most a zombie waiting for whoever inherited it: not running any more.
        std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const size_t paren = line.rfind(')');
        ASSERT_NE(paren, std::string::npos);
        EXPECT_EQ(line.substr(paren + 2, 1), "Z") << "child " << child << " still runs: " << line;
    }
}

TEST(VSTRender, APluginOutputtingNaNIsSilencedNamedOnceAndTheRestOfTheMixRendersAsWithoutIt) {
    const fs::path folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / "vst-render-nan";
    UseFreshConfig("vst-render-nan");
    Options options = DefaultOptions();
    options.vstFolders.clear();
    WriteOptions(options, folder / "Tamborel Studio" / "Tamborel.opt");
    // Twin One (a steady 0.25 on both outputs) into the master; the second project also sends it
    // through the NaN maker into the master.
    for (const bool poisoned : {false, true}) {
        CApplication application(Settings({kTwinOne, kPlugins / "nan"}));
        application.Project().New();
        CStudio& studio = *application.Studio();
        CMachineInfo* synthInfo = application.Registry()->FindByName("twin_one");
        CMachineContainer* synth = studio.CreateFrame(synthInfo->CreateMachine(), synthInfo, "Synth", 10, 10);
        ASSERT_TRUE(studio.Connect(synth->FindConnector("Line Out 1"), studio.MasterFrame()->Connector(0)));
        if (poisoned) {
            CMachineInfo* nanInfo = application.Registry()->FindByName("nan_effect");
            CMachineContainer* effect =
                studio.CreateFrame(nanInfo->CreateMachine(), nanInfo, "Poison", 90, 10);
            ASSERT_TRUE(
                studio.Connect(synth->FindConnector("Line Out 1"), effect->FindConnector("Line In 1")));
            ASSERT_TRUE(
                studio.Connect(effect->FindConnector("Line Out 1"), studio.MasterFrame()->Connector(0)));
        }
        application.Sequencer()->Song().SetLength(4);
        application.Project().SaveAs(folder / (poisoned ? "poisoned.tbp" : "clean.tbp"));
    }
    const std::string environment = "XDG_CONFIG_HOME='" + folder.string() + "' VST_PATH='" +
                                    kTwinOne.string() + ":" + (kPlugins / "nan").string() + "' ";
    auto render = [&](const std::string& name) {
        return RunCommand("env -u DISPLAY " + environment + std::string(TAMBOREL_BIN_DIR) +
                          "/tamborel render '" + (folder / (name + ".tbp")).string() + "' -o '" +
                          (folder / (name + ".wav")).string() + "' --format f32 2>&1");
    };
    const Result clean = render("clean");
    const Result poisoned = render("poisoned");
    ASSERT_EQ(clean.status, 0) << clean.out;
    ASSERT_EQ(poisoned.status, 0) << poisoned.out;
    const std::string named = "VST plug-in 'NaN Maker' (machine 'Poison') produced NaN or infinite samples";
    const size_t first = poisoned.out.find(named);
    EXPECT_NE(first, std::string::npos) << poisoned.out;
    EXPECT_EQ(poisoned.out.find(named, first + 1), std::string::npos) << poisoned.out; // once
    EXPECT_EQ(poisoned.out.find("-inf"), std::string::npos) << poisoned.out;
    EXPECT_NE(poisoned.out.find("peak "), std::string::npos) << poisoned.out;
    const WavInfo wav = ParseWav(ReadBytes(folder / "poisoned.wav"));
    ASSERT_TRUE(wav.valid);
    EXPECT_TRUE(std::isfinite(wav.peak) && std::isfinite(wav.rms));
    EXPECT_GT(wav.peak, 0.1f);
    EXPECT_EQ(ReadBytes(folder / "poisoned.wav"), ReadBytes(folder / "clean.wav"));
}
