// `tamborel render` and `tamborel info`, run as separate processes exactly as a user would run them,
// on small projects the tests make through the studio's own API.
#include "tests/app/cli_helpers.h"

#include "app/application.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

namespace fs = std::filesystem;

// A master, a BassHead playing a two-beat figure with a filter sweep, and an HD recorder track
// "Bass Stem" between them; the song is 4 beats long at 140.
fs::path MakeTinyProject(const fs::path& folder, bool withMaster = true) {
    CApplication::Settings settings;
    settings.newProject = false;
    settings.pluginFolder = fs::path(TAMBOREL_BIN_DIR) / "PlugIns";
    settings.vstFolders = std::vector<fs::path>{};
    CApplication application(settings);
    CStudio& studio = *application.Studio();
    application.Project().New();
    if (!withMaster) studio.DeleteMachine(studio.MasterFrame());
    CMachineInfo* bassInfo = application.Registry()->FindByIdentifier("VeskPlug::QX BassHead");
    EXPECT_NE(bassInfo, nullptr);
    CMachineContainer* bass = studio.CreateFrame(bassInfo->CreateMachine(), bassInfo, "Bass", 10, 10);
    CMachineInfo* trackInfo = application.Registry()->FindByIdentifier("QX HD Recorder Track (Stereo)");
    CMachineContainer* stem = studio.CreateFrame(trackInfo->CreateMachine(), trackInfo, "Bass Stem", 100, 10);
    EXPECT_TRUE(studio.Connect(bass->FindConnector("Line Out"), stem->FindConnector("Line In")));
    if (withMaster) {
        EXPECT_TRUE(
            studio.Connect(stem->FindConnector("Line Out"), studio.MasterFrame()->Connector(0), 0.5f));
    }
    CSequencer& sequencer = *application.Sequencer();
    Pattern* figure =
        sequencer.Patterns().CreatePattern(bass->FindConnector("Control In")->m_port, 2, "Figure");
    figure->AddNote(0, 3, 36);
    figure->AddNote(4, 2, 43);
    const int32_t cutoff = figure->AddControlTrack(25);
    for (int32_t step = 0; step < 8; ++step)
        figure->SetControlStep(cutoff, step, 0.1f + 0.05f * step);
    sequencer.Song().SetLength(4);
    EXPECT_NE(sequencer.Song().PlacePattern(figure, 0), nullptr);
    EXPECT_NE(sequencer.Song().PlacePattern(figure, 2), nullptr);
    application.Project().SetInfo("tiny");
    const fs::path path = folder / (withMaster ? "tiny.tbp" : "no-master.tbp");
    application.Project().SaveAs(path);
    return path;
}

// Frames of a song of the given beats at a rate and tempo, as the sequencer counts them.
int64_t SongFrames(int32_t beats, int32_t rate, float bpm) {
    const float step = static_cast<float>(rate) * 4.0f / bpm;
    return static_cast<int64_t>(static_cast<float>(beats * 4) * step);
}

class RenderCommand : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::path(TAMBOREL_TEST_BINARY_DIR) /
                   ("render-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }
    fs::path m_folder;
};

} // namespace

TEST_F(RenderCommand, LoopsAndTailAreExactAndASeededRenderRepeatsByteForByte) {
    const fs::path project = MakeTinyProject(m_folder);
    const std::string base =
        "render '" + project.string() + "' --seed 7 --loops 3 --tail 0.5 --buffer 64 -o '";
    const Result first = RunTamborel(base + (m_folder / "a.wav").string() + "'", true);
    ASSERT_EQ(first.status, 0) << first.out;
    EXPECT_NE(first.out.find("real time"), std::string::npos) << first.out;
    ASSERT_EQ(RunTamborel(base + (m_folder / "b.wav").string() + "'", true).status, 0);
    const std::vector<uint8_t> a = ReadBytes(m_folder / "a.wav");
    EXPECT_EQ(a, ReadBytes(m_folder / "b.wav"));

    const WavInfo wav = ParseWav(a);
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(wav.formatTag, 1);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.rate, 44100u);
    EXPECT_EQ(wav.frames, 3 * SongFrames(4, 44100, 140.0f) + 22050);
    EXPECT_GT(wav.peak, 0.05f);
    EXPECT_LT(wav.peak, 0.999f);
    ExpectSoxAgrees(m_folder / "a.wav", wav.frames, 2);
}

TEST_F(RenderCommand, FloatOutputRatesAndStems) {
    const fs::path project = MakeTinyProject(m_folder);
    const fs::path stems = m_folder / "stems";
    const Result result =
        RunTamborel("render '" + project.string() + "' --format f32 --rate 48000 --tail 0 -o '" +
                        (m_folder / "f.wav").string() + "' --stems '" + stems.string() + "'",
                    true);
    ASSERT_EQ(result.status, 0) << result.out;
    const WavInfo mix = ParseWav(ReadBytes(m_folder / "f.wav"));
    ASSERT_TRUE(mix.valid);
    EXPECT_EQ(mix.formatTag, 3);
    EXPECT_EQ(mix.rate, 48000u);
    EXPECT_EQ(mix.frames, SongFrames(4, 48000, 140.0f));

    // One file per HD recorder track, named after it, exactly as long as the mix (the song's
    // 21942 frames end inside a buffer) and twice as loud as the master's half-volume cable
    // makes the mix.
    ASSERT_TRUE(fs::exists(stems / "Bass Stem.wav"));
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(stems))
        ++files;
    EXPECT_EQ(files, 1);
    const WavInfo stem = ParseWav(ReadBytes(stems / "Bass Stem.wav"));
    ASSERT_TRUE(stem.valid);
    EXPECT_EQ(stem.formatTag, 3);
    EXPECT_EQ(stem.channels, 2);
    EXPECT_EQ(mix.frames % 256, 182u);
    EXPECT_EQ(stem.frames, mix.frames);
    EXPECT_GT(stem.peak, mix.peak * 1.5f);
    ExpectSoxAgrees(stems / "Bass Stem.wav", stem.frames, 2);
}

TEST_F(RenderCommand, ErrorsAreToldAndFail) {
    const std::string out = " -o '" + (m_folder / "x.wav").string() + "'";
    const Result missing = RunTamborel("render '" + (m_folder / "none.tbp").string() + "'" + out, true);
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.out.find("Failed To Open File '" + (m_folder / "none.tbp").string() + "' For Reading"),
              std::string::npos)
        << missing.out;

    const fs::path corrupt = m_folder / "corrupt.tbp";
    WriteBytes(corrupt, {' ', 'P', 'B', 'T', 2, 1, 0});
    const Result damaged = RunTamborel("render '" + corrupt.string() + "'" + out, true);
    EXPECT_NE(damaged.status, 0);
    EXPECT_NE(damaged.out.find("File '" + corrupt.string() + "' Is Corrupt"), std::string::npos)
        << damaged.out;

    // A machine type nobody has installed.
    std::vector<uint8_t> unknown = {' ', 'P', 'B', 'T', 2, 1, 0, 0, 0x0C, 0x43, 1, 0, 0, 0};
    std::vector<uint8_t> record(2065, 0);
    std::memcpy(record.data(), "Wobble", 6);
    std::memcpy(record.data() + 1024, "VeskPlug::QX Wobbler", 20);
    unknown.insert(unknown.end(), record.begin(), record.end());
    const fs::path strange = m_folder / "unknown.tbp";
    WriteBytes(strange, unknown);
    const Result type = RunTamborel("render '" + strange.string() + "'" + out, true);
    EXPECT_NE(type.status, 0);
    EXPECT_NE(
        type.out.find("Machine of Name 'Wobble' and UniqueID 'VeskPlug::QX Wobbler' Could Not Be Loaded"),
        std::string::npos)
        << type.out;
    EXPECT_FALSE(fs::exists(m_folder / "x.wav"));

    EXPECT_NE(RunTamborel("render" + out).status, 0);
    EXPECT_NE(RunTamborel("render '" + corrupt.string() + "'").status, 0);
    EXPECT_NE(RunTamborel("render '" + corrupt.string() + "' --format s24" + out).status, 0);
    EXPECT_NE(RunTamborel("render '" + corrupt.string() + "' --loops 0" + out).status, 0);

    // Without a master the file is silent, and the command says so.
    const fs::path noMaster = MakeTinyProject(m_folder, false);
    const Result silent = RunTamborel("render '" + noMaster.string() + "' --tail 0.1" + out, true);
    ASSERT_EQ(silent.status, 0) << silent.out;
    EXPECT_NE(silent.out.find("no master"), std::string::npos) << silent.out;
    const WavInfo wav = ParseWav(ReadBytes(m_folder / "x.wav"));
    ASSERT_TRUE(wav.valid);
    EXPECT_EQ(wav.frames, SongFrames(4, 44100, 140.0f) + 4410);
    EXPECT_EQ(wav.peak, 0.0f);
}

TEST_F(RenderCommand, InfoDescribesTheProject) {
    const fs::path project = MakeTinyProject(m_folder);
    const Result json = RunTamborel("info '" + project.string() + "' --json");
    ASSERT_EQ(json.status, 0);
    const auto description = nlohmann::json::parse(json.out);
    EXPECT_EQ(description["version"], "2.1");
    EXPECT_FLOAT_EQ(description["tempo"].get<float>(), 140.0f);
    ASSERT_EQ(description["machines"].size(), 3u);
    EXPECT_EQ(description["machines"][0]["name"], "Master");
    EXPECT_EQ(description["machines"][1]["name"], "Bass");
    EXPECT_EQ(description["machines"][1]["id"], "VeskPlug::QX BassHead");
    EXPECT_EQ(description["machines"][1]["parameters"].size(), 73u);
    EXPECT_EQ(description["machines"][2]["type"], "QX HD Recorder Track (Stereo)");
    ASSERT_EQ(description["cables"].size(), 2u);
    // Listed with the machine whose input holds them: the master's first.
    EXPECT_EQ(description["cables"][0]["from"], "Bass Stem");
    EXPECT_EQ(description["cables"][0]["to"], "Master");
    EXPECT_FLOAT_EQ(description["cables"][0]["volume"].get<float>(), 0.5f);
    EXPECT_EQ(description["cables"][1]["toPort"], "Line In");
    ASSERT_EQ(description["patterns"].size(), 1u);
    EXPECT_EQ(description["patterns"][0]["notes"].size(), 2u);
    EXPECT_EQ(description["patterns"][0]["controlTracks"][0]["name"], "VCF1 Cutoff");
    EXPECT_EQ(description["patterns"][0]["controlTracks"][0]["steps"].size(), 8u);
    EXPECT_EQ(description["song"]["lengthBeats"], 4);
    EXPECT_EQ(description["song"]["entryCount"], 2);
    EXPECT_EQ(description["info"], "tiny");

    const Result text = RunTamborel("info '" + project.string() + "'");
    ASSERT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Bass  [QX BassHead]"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Figure@2"), std::string::npos) << text.out;
}

TEST(LiveCommand, WithoutASoundDeviceSaysHowToRenderInstead) {
    // A name that is no file fails at once, whatever devices the machine has.
    const Result missing = RunTamborel("'\"/no/such/project.tbp\"'", true);
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.out.find("Failed To Open File '/no/such/project.tbp' For Reading"), std::string::npos)
        << missing.out;
}

TEST(LiveCommand, PlaysUntilInterruptedOrSaysHowToRender) {
    // With a device the new project plays until the interrupt; without one it says what to do.
    const Result result = RunTamborel("", true, "timeout --preserve-status -s INT 4 ");
    if (result.status == 0)
        EXPECT_NE(result.out.find("stopped"), std::string::npos) << result.out;
    else
        EXPECT_NE(result.out.find("tamborel render"), std::string::npos) << result.out;
}
