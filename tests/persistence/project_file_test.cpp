// The project file: round trips, every older version, damaged files, and saves that never lose
// the previous file.
#include "app/application.h"
#include "engine/studio.h"
#include "machine_interface/library_loader.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "persistence/project_file.h"
#include "sequencer/sequencer.h"
#include "tests/support/recording_machine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A machine with a control input, a stereo input and output, and two parameters kept in fields.
class CKnobMachine : public CMachine {
public:
    explicit CKnobMachine(CVeskHost* host) : CMachine(host) {
        AddPort(kPortControlIn, "Control In");
        AddPort(kPortStereoIn, "Line In");
        AddPort(kPortStereoOut, "Line Out");
        m_parameterCount = 2;
    }
    void Delete() override { delete this; }
    void Process() override {}
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return true; }
    float GetParameter(int32_t index) override { return m_values[index & 1]; }
    void SetParameter(int32_t index, float value) override { m_values[index & 1] = value; }
    void GetState(const void** data, int32_t* size, bool* parameterList) override {
        if (s_failState) throw std::runtime_error("the machine cannot describe itself");
        CMachine::GetState(data, size, parameterList);
    }
    float m_values[2] = {0.25f, 0.5f};
    static inline bool s_failState = false;
};

class CKnobInfo : public CMachineInfo {
public:
    CKnobInfo(CVeskHost* host, const char* name) : CMachineInfo(name, name), m_host(host) {}
    void Delete() override { delete this; }
    CMachine* CreateMachine() override { return new CKnobMachine(m_host); }
    CVeskHost* m_host;
};

// A studio with the host's own machines and two knob machine types ("Knob" and "Other").
class ProjectFileTest : public ::testing::Test {
protected:
    ProjectFileTest()
        : m_host(44100, 256, 0, &m_registry), m_sequencer(&m_host), m_studio(&m_host),
          m_project(&m_studio, &m_sequencer) {
        RegisterHostMachines(&m_host);
        m_host.RegisterMachine(new CKnobInfo(&m_host, "Knob"));
        m_host.RegisterMachine(new CKnobInfo(&m_host, "Other"));
        m_studio.AttachSequencer(&m_sequencer);
        m_folder =
            fs::path(TAMBOREL_TEST_BINARY_DIR) /
            ("project-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    ~ProjectFileTest() override {
        m_studio.Clear();
        fs::permissions(m_folder, fs::perms::owner_all);
        fs::remove_all(m_folder);
        CKnobMachine::s_failState = false;
    }

    CMachineContainer* Add(const char* type, int32_t x, int32_t y) {
        return m_studio.AddMachine(m_registry.FindByName(type), x, y);
    }

    // Master, two knobs (one with patterns, a song and cables), a project text.
    void BuildSong() {
        m_project.New();
        m_host.SetBPM(123.5f);
        CMachineContainer* bass = Add("Knob", 100, 50);
        CMachineContainer* echo = Add("Other", 200, 60);
        bass->m_panelMode = kPanelDefault;
        static_cast<CKnobMachine*>(bass->Machine())->m_values[1] = 0.875f;
        ASSERT_TRUE(m_studio.Connect(bass->FindConnector("Line Out"), echo->FindConnector("Line In"), 0.5f));
        ASSERT_TRUE(
            m_studio.Connect(echo->FindConnector("Line Out"), m_studio.MasterFrame()->Connector(0), 0.75f));
        ASSERT_TRUE(
            m_studio.Connect(bass->FindConnector("Line Out"), m_studio.MasterFrame()->Connector(0), 0.25f));
        CPatternEditor& patterns = m_sequencer.Patterns();
        Pattern* verse = patterns.CreatePattern(bass->Machine()->m_ports[0], 4, "Verse");
        verse->AddNote(0, 2, 36);
        verse->AddNote(4, 1, 43);
        const int32_t cutoff = verse->AddControlTrack(1);
        verse->SetControlStep(cutoff, 3, 0.125f);
        const int32_t velocity = verse->AddControlTrack(kVelocityParameter);
        verse->SetControlStep(velocity, 4, 0.5f);
        Pattern* fill = patterns.CreatePattern(bass->Machine()->m_ports[0], 2, "Fill");
        fill->AddNote(1, 3, 40);
        Pattern* swell = patterns.CreatePattern(echo->Machine()->m_ports[0], 8, nullptr);
        swell->AddNote(0, 32, 60);
        m_sequencer.Song().SetLength(32);
        ASSERT_NE(m_sequencer.Song().PlacePattern(verse, 0), nullptr);
        ASSERT_NE(m_sequencer.Song().PlacePattern(fill, 4), nullptr);
        ASSERT_NE(m_sequencer.Song().PlacePattern(verse, 8), nullptr);
        ASSERT_NE(m_sequencer.Song().PlacePattern(swell, 0), nullptr);
        m_project.SetInfo("A song for the tests.\nSecond line.");
    }

    std::vector<uint8_t> Bytes() { return WriteProjectBytes(m_studio, m_sequencer, m_project.Info()); }

    // Loads bytes through a file, as the Open command does; returns the error text or "".
    std::string OpenBytes(const std::vector<uint8_t>& bytes) {
        const fs::path path = m_folder / "in.tbp";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        try {
            m_project.Open(path);
        } catch (const platform::CError& error) {
            return error.what();
        }
        return "";
    }
    std::string CorruptText() const { return "File '" + (m_folder / "in.tbp").string() + "' Is Corrupt"; }

    MachineRegistry m_registry;
    CVeskHost m_host;
    CSequencer m_sequencer;
    CStudio m_studio;
    CProject m_project;
    fs::path m_folder;
};

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Builds files of any version by hand, little-endian.
class CFileBuilder {
public:
    CFileBuilder& Header(int8_t major, int8_t minor, float tempo = 120.0f) {
        Raw(" PBT", 4);
        m_bytes.push_back(static_cast<uint8_t>(major));
        m_bytes.push_back(static_cast<uint8_t>(minor));
        return Float(tempo);
    }
    CFileBuilder& Raw(const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), bytes, bytes + size);
        return *this;
    }
    CFileBuilder& Int32(int32_t value) { return Raw(&value, 4); }
    CFileBuilder& Float(float value) { return Raw(&value, 4); }
    // A machine record; garbage after each NUL, which readers must ignore.
    CFileBuilder& Machine(const std::string& name, const std::string& identifier, int32_t x, int32_t y,
                          std::vector<float> parameters = {}) {
        std::vector<uint8_t> field(1024, 0xAB);
        std::memcpy(field.data(), name.c_str(), name.size() + 1);
        Raw(field.data(), field.size());
        std::fill(field.begin(), field.end(), 0xCD);
        std::memcpy(field.data(), identifier.c_str(), identifier.size() + 1);
        Raw(field.data(), field.size());
        Int32(x).Int32(y).Int32(kPanelIcon);
        if (parameters.empty()) {
            Int32(0);
            m_bytes.push_back(0);
            return *this;
        }
        Int32(static_cast<int32_t>(8 + 4 * parameters.size()));
        m_bytes.push_back(1);
        Raw("hPbT", 4).Int32(static_cast<int32_t>(parameters.size()));
        for (float value : parameters)
            Float(value);
        return *this;
    }
    // A cable block of 4- or 5-field records.
    CFileBuilder& Cables(const std::vector<std::array<int32_t, 4>>& cables, bool withVolume,
                         float volume = 0.5f) {
        const size_t record = withVolume ? 20 : 16;
        Int32(static_cast<int32_t>(4 + record * cables.size())).Int32(static_cast<int32_t>(cables.size()));
        for (const auto& cable : cables) {
            for (int32_t field : cable)
                Int32(field);
            if (withVolume) Float(volume);
        }
        return *this;
    }
    CFileBuilder& NoPatterns() { return Int32(4).Int32(0); }
    CFileBuilder& EmptySong(int32_t beats = 16) { return Int32(8).Int32(beats).Int32(0); }
    CFileBuilder& Text(const std::string& text) {
        Int32(static_cast<int32_t>(text.size() + 1));
        return Raw(text.c_str(), text.size() + 1);
    }
    std::vector<uint8_t> m_bytes;
};

// Master and one knob whose "Line Out" (port 2) feeds the master's "Line In" (port 0).
CFileBuilder TwoMachineFile(int8_t major, int8_t minor) {
    CFileBuilder file;
    file.Header(major, minor, 96.0f).Int32(2);
    file.Machine("Master", "Master", 32, 32).Machine("Knob 1", "Knob", 10, 20, {0.75f, 0.125f});
    file.Cables({{1, 2, 0, 0}}, major >= 2).NoPatterns();
    file.Cables({}, major >= 2).NoPatterns();
    file.EmptySong();
    return file;
}

float CableVolume(CStudio& studio) {
    const CConnector* input = studio.MasterFrame()->Connector(0);
    return input->m_connections.Count() == 1 ? input->m_connections[0]->TargetVolume() : -1.0f;
}

} // namespace

TEST_F(ProjectFileTest, SaveLoadSaveIsByteIdenticalAndRestoresEverything) {
    BuildSong();
    const std::vector<uint8_t> first = Bytes();
    const fs::path path = m_folder / "song.tbp";
    m_project.SaveAs(path);
    EXPECT_EQ(ReadFile(path), first);
    EXPECT_EQ(m_project.WindowTitle(), "Tamborel Studio - song.tbp");

    m_host.SetBPM(140.0f);
    m_project.Open(path);
    EXPECT_FALSE(m_project.LoadedIncompletely());
    EXPECT_EQ(Bytes(), first);

    EXPECT_FLOAT_EQ(m_host.GetBPM(), 123.5f);
    ASSERT_EQ(m_studio.MachineCount(), 3);
    CMachineContainer* bass = m_studio.FindFrame("Knob 1");
    ASSERT_NE(bass, nullptr);
    EXPECT_EQ(bass->m_x, 100);
    EXPECT_EQ(bass->m_y, 50);
    EXPECT_EQ(bass->m_panelMode, kPanelDefault);
    EXPECT_FLOAT_EQ(bass->Machine()->GetParameter(1), 0.875f);
    const CConnector* echoIn = m_studio.FindFrame("Other 1")->FindConnector("Line In");
    ASSERT_EQ(echoIn->m_connections.Count(), 1);
    EXPECT_FLOAT_EQ(echoIn->m_connections[0]->TargetVolume(), 0.5f);
    EXPECT_EQ(m_studio.MasterFrame()->Connector(0)->m_connections.Count(), 2);
    ASSERT_EQ(m_sequencer.Patterns().Patterns().Count(), 3);
    const Pattern* verse = m_sequencer.Patterns().Patterns()[0];
    EXPECT_STREQ(verse->Name(), "Verse");
    EXPECT_EQ(verse->CountNotes(), 2);
    EXPECT_EQ(verse->Machine(), bass->Machine());
    EXPECT_EQ(m_sequencer.Song().Length(), 32);
    EXPECT_EQ(m_sequencer.Song().Song().EntryCount(), 4);
    EXPECT_EQ(m_project.Info(), "A song for the tests.\nSecond line.");
}

TEST_F(ProjectFileTest, EmptyStudioWritesHeaderCountSongAndText) {
    m_studio.Clear();
    m_project.SetInfo("");
    const std::vector<uint8_t> bytes = Bytes();
    // Header 10, M 4, song size 4 + blob 8, text length 4 + NUL.
    ASSERT_EQ(bytes.size(), 10u + 4u + 12u + 5u);
    EXPECT_EQ(std::memcmp(bytes.data(), " PBT\x02\x01", 6), 0);
    const uint8_t tail[] = {0, 0, 0, 0, 8, 0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes.data() + 10, tail, sizeof tail), 0);
    EXPECT_EQ(OpenBytes(bytes), "");
    EXPECT_EQ(m_studio.MachineCount(), 0);
}

TEST_F(ProjectFileTest, OlderAndNewerVersions) {
    struct Case {
        int8_t major, minor;
        float volume;
        bool text;
    };
    for (const Case& version :
         {Case{1, 0, 1.0f, false}, Case{1, 7, 1.0f, false}, Case{2, 0, 0.5f, false}, Case{2, 1, 0.5f, true},
          Case{2, 4, 0.5f, false}, Case{3, 0, 0.5f, true}, Case{3, 9, 0.5f, true}}) {
        SCOPED_TRACE(testing::Message() << int(version.major) << '.' << int(version.minor));
        CFileBuilder file = TwoMachineFile(version.major, version.minor);
        // Files without the text item may carry trailing bytes; they are not read.
        file.Text("About this song");
        m_project.SetInfo("left over");
        ASSERT_EQ(OpenBytes(file.m_bytes), "");
        EXPECT_EQ(m_studio.MachineCount(), 2);
        EXPECT_FLOAT_EQ(CableVolume(m_studio), version.volume);
        EXPECT_EQ(m_project.Info(), version.text ? "About this song" : "");
        EXPECT_FLOAT_EQ(m_host.GetBPM(), 96.0f);
        EXPECT_FLOAT_EQ(m_studio.FindFrame("Knob 1")->Machine()->GetParameter(0), 0.75f);
        EXPECT_EQ(m_project.FileVersion().major, version.major);
    }
}

TEST_F(ProjectFileTest, VersionFourAndHigherAreRefused) {
    for (int8_t major : {int8_t{4}, int8_t{9}, int8_t{127}}) {
        CFileBuilder file = TwoMachineFile(major, 0);
        EXPECT_EQ(OpenBytes(file.m_bytes),
                  "File '" + (m_folder / "in.tbp").string() + "' Has Incompatible Version Number");
        EXPECT_EQ(m_studio.MachineCount(), 0);
    }
    // Version bytes are signed: 0x80 is major -128, an old layout.
    CFileBuilder old = TwoMachineFile(1, 0);
    old.m_bytes[4] = 0x80;
    EXPECT_EQ(OpenBytes(old.m_bytes), "");
    EXPECT_FLOAT_EQ(CableVolume(m_studio), 1.0f);
}

TEST_F(ProjectFileTest, TheBassSynthesizersEarlierNameIsRenamedAndItsIdentifierLookedUpAsStored) {
    CFileBuilder file;
    file.Header(2, 1).Int32(1).Machine("VeskPlug::QX BrainSynth", "Knob", 0, 0);
    file.Cables({}, true).NoPatterns().EmptySong().Text("");
    ASSERT_EQ(OpenBytes(file.m_bytes), "");
    ASSERT_EQ(m_studio.MachineCount(), 1);
    EXPECT_EQ(m_studio.Frames()[0]->m_name, "VeskPlug::QX BassHead");
    EXPECT_STREQ(m_studio.Frames()[0]->Info()->m_displayName, "Knob");

    // Only the exact 24 bytes count: a longer name stays as it is.
    CFileBuilder longer;
    longer.Header(2, 1).Int32(1).Machine("VeskPlug::QX BrainSynth 2", "Knob", 0, 0);
    longer.Cables({}, true).NoPatterns().EmptySong().Text("");
    ASSERT_EQ(OpenBytes(longer.m_bytes), "");
    EXPECT_EQ(m_studio.Frames()[0]->m_name, "VeskPlug::QX BrainSynth 2");
}

TEST_F(ProjectFileTest, HostMachinesKeepTheirTypesAndTheEmptyIdentifierIsTheMidiInput) {
    m_project.New();
    Add("QX HD Recorder Track (Stereo)", 0, 0);
    Add("QX MIDI Output", 0, 0);
    const std::vector<uint8_t> bytes = Bytes();
    ASSERT_EQ(OpenBytes(bytes), "");
    EXPECT_STREQ(m_studio.FindFrame("QX HD Recorder Track (Stereo) 1")->Info()->m_displayName,
                 "QX HD Recorder Track (Stereo)");
    EXPECT_STREQ(m_studio.FindFrame("QX MIDI Output 1")->Info()->m_displayName, "QX MIDI Output");

    CFileBuilder older;
    older.Header(2, 1).Int32(1).Machine("Keys", "", 0, 0);
    older.Cables({}, true).NoPatterns().EmptySong().Text("");
    ASSERT_EQ(OpenBytes(older.m_bytes), "");
    EXPECT_STREQ(m_studio.FindFrame("Keys")->Info()->m_displayName, "QX MIDI Input");
}

TEST_F(ProjectFileTest, DamagedFilesAreReportedWithTheirTexts) {
    const std::string corrupt = "File '" + (m_folder / "in.tbp").string() + "' Is Corrupt";
    // Headers shorter than 10 bytes, and a wrong magic.
    const std::vector<uint8_t> header = {' ', 'P', 'B', 'T', 2, 1, 0, 0, 0xF0, 0x42};
    for (size_t length = 0; length < header.size(); ++length)
        EXPECT_EQ(OpenBytes(std::vector<uint8_t>(header.begin(), header.begin() + static_cast<long>(length))),
                  corrupt)
            << length;
    std::vector<uint8_t> wrongMagic = TwoMachineFile(2, 1).Text("").m_bytes;
    wrongMagic[0] = 'X';
    EXPECT_EQ(OpenBytes(wrongMagic), corrupt);

    // A file cut anywhere fails: a machine record, a state, a cable block, a blob, the song, the text.
    BuildSong();
    const std::vector<uint8_t> whole = Bytes();
    for (size_t length = 10; length < whole.size(); length += (length + 700 < whole.size() ? 97 : 3)) {
        const std::string error =
            OpenBytes(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(length)));
        EXPECT_EQ(error.rfind(corrupt, 0), 0u) << length << ": " << error;
        EXPECT_TRUE(m_project.LoadedIncompletely());
    }

    // Sizes far beyond the file allocate nothing.
    CFileBuilder hugeState;
    hugeState.Header(2, 1).Int32(1).Machine("Knob 1", "Knob", 0, 0);
    std::memcpy(hugeState.m_bytes.data() + 14 + 2060, "\xff\xff\xff\x7f", 4);
    EXPECT_EQ(OpenBytes(hugeState.m_bytes), corrupt);
    CFileBuilder hugeCount;
    hugeCount.Header(2, 1).Int32(0x7fffffff);
    EXPECT_EQ(OpenBytes(hugeCount.m_bytes), corrupt);
    CFileBuilder negativeBlock;
    negativeBlock.Header(2, 1).Int32(1).Machine("Knob 1", "Knob", 0, 0).Int32(-4);
    EXPECT_EQ(OpenBytes(negativeBlock.m_bytes), corrupt);
    CFileBuilder hugeText;
    hugeText.Header(2, 1).Int32(0).EmptySong().Int32(0x7ffffff0);
    EXPECT_EQ(OpenBytes(hugeText.m_bytes), corrupt);
    CFileBuilder badCableCount;
    badCableCount.Header(2, 1).Int32(1).Machine("Knob 1", "Knob", 0, 0).Int32(4).Int32(3);
    EXPECT_EQ(OpenBytes(badCableCount.m_bytes), corrupt);
    CFileBuilder noTempo;
    noTempo.Header(2, 1, 0.0f).Int32(0).EmptySong().Text("");
    EXPECT_EQ(OpenBytes(noTempo.m_bytes), corrupt);
}

TEST_F(ProjectFileTest, OnlyTheTempoFieldsRangeLoads) {
    // Near 0 a step outlasts any song length the sequencer can count; far above 1000 a song
    // lasts no time at all. Neither is a tempo the program writes.
    for (const float tempo : {1e-30f, 0.999f, -120.0f, 1000.01f, 1e30f, INFINITY, NAN}) {
        CFileBuilder file;
        file.Header(2, 1, tempo).Int32(0).EmptySong().Text("");
        EXPECT_EQ(OpenBytes(file.m_bytes), CorruptText()) << tempo;
    }
    for (const float tempo : {kMinProjectTempo, 60.5f, kMaxProjectTempo}) {
        CFileBuilder file;
        file.Header(2, 1, tempo).Int32(0).EmptySong().Text("");
        EXPECT_EQ(OpenBytes(file.m_bytes), "") << tempo;
        EXPECT_EQ(m_host.GetBPM(), tempo);
    }
}

TEST_F(ProjectFileTest, UnknownMachinesStopTheLoadWithWhatWasBuiltAndSaveIsRefused) {
    CFileBuilder file;
    file.Header(2, 1)
        .Int32(3)
        .Machine("Master", "Master", 32, 32)
        .Machine("Wobble", "VeskPlug::QX Wobbler", 0, 0);
    file.Machine("Knob 1", "Knob", 0, 0);
    EXPECT_EQ(OpenBytes(file.m_bytes),
              "Machine of Name 'Wobble' and UniqueID 'VeskPlug::QX Wobbler' Could Not Be Loaded");
    EXPECT_EQ(m_studio.MachineCount(), 1); // the master made before stays
    EXPECT_TRUE(m_project.LoadedIncompletely());
    EXPECT_EQ(m_project.Path(), m_folder / "in.tbp");
    const std::vector<uint8_t> before = ReadFile(m_folder / "in.tbp");
    try {
        m_project.Save();
        FAIL() << "a half-loaded project was saved over its file";
    } catch (const platform::CError& error) {
        EXPECT_EQ(std::string(error.what()), "Project '" + (m_folder / "in.tbp").string() +
                                                 "' Was Loaded Incompletely; Save It Under Another Name");
    }
    EXPECT_EQ(ReadFile(m_folder / "in.tbp"), before);
    m_project.SaveAs(m_folder / "rescued.tbp");
    EXPECT_FALSE(m_project.LoadedIncompletely());
    m_project.Save();

    try {
        m_project.Open(m_folder / "missing.tbp");
        FAIL();
    } catch (const platform::CError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Failed To Open File '" + (m_folder / "missing.tbp").string() + "' For Reading");
    }
}

TEST_F(ProjectFileTest, CablesToMachinesOrPortsThatDoNotExistConnectNothing) {
    CFileBuilder file;
    file.Header(2, 1).Int32(2).Machine("Master", "Master", 32, 32).Machine("Knob 1", "Knob", 0, 0);
    file.Cables({{1, 2, 0, 7}, {5, 2, 0, 0}, {1, 2, 0, 0}}, true).NoPatterns();
    file.Cables({}, true).NoPatterns().EmptySong().Text("");
    ASSERT_EQ(OpenBytes(file.m_bytes), "");
    EXPECT_FLOAT_EQ(CableVolume(m_studio), 0.5f);
}

TEST_F(ProjectFileTest, SavingKeepsThePreviousFileAsBackupAndNeverDamagesIt) {
    BuildSong();
    const fs::path path = m_folder / "song.tbp";
    m_project.SaveAs(path);
    const std::vector<uint8_t> first = ReadFile(path);
    m_project.SetInfo("second version");
    m_project.Save();
    EXPECT_EQ(ReadFile(fs::path(path.string() + ".bak")), first);
    const std::vector<uint8_t> second = ReadFile(path);
    EXPECT_NE(second, first);

    // A machine that fails to give its state: the error is raised, the disk is untouched.
    CKnobMachine::s_failState = true;
    m_project.SetInfo("third version");
    EXPECT_THROW(m_project.Save(), std::runtime_error);
    CKnobMachine::s_failState = false;
    EXPECT_EQ(ReadFile(path), second);
    EXPECT_EQ(ReadFile(fs::path(path.string() + ".bak")), first);

    // A write that fails half-way (the file-size limit stands in for a full disk).
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &small);
    std::string error;
    try {
        m_project.Save();
    } catch (const platform::CError& failure) {
        error = failure.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(error, "Failed To Write File '" + path.string() + "'");
    EXPECT_EQ(ReadFile(path), second);
    // No temporary file is left behind.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(m_folder))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 2);

    // A folder that cannot be written (not for root, who writes anywhere).
    if (geteuid() != 0) {
        fs::permissions(m_folder, fs::perms::owner_read | fs::perms::owner_exec);
        try {
            m_project.Save();
            ADD_FAILURE() << "saved into a read-only folder";
        } catch (const platform::CError& failure) {
            EXPECT_EQ(std::string(failure.what()), "Failed To Open File '" + path.string() + "' For Writing");
        }
        fs::permissions(m_folder, fs::perms::owner_all);
        EXPECT_EQ(ReadFile(path), second);
    }
}

// The demo song loads with the stock machines and saves back to the same bytes.
TEST(DemoSong, LoadSaveIsByteIdentical) {
    const fs::path demo = fs::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp";
    ASSERT_TRUE(fs::exists(demo));
    CApplication::Settings settings;
    settings.newProject = false;
    settings.pluginFolder = fs::path(TAMBOREL_BIN_DIR) / "PlugIns";
    settings.vstFolders = std::vector<fs::path>{};
    CApplication application(settings);
    application.Project().Open(demo);
    EXPECT_EQ(
        WriteProjectBytes(*application.Studio(), *application.Sequencer(), application.Project().Info()),
        ReadFile(demo));
}

TEST_F(ProjectFileTest, LoadingTellsOfEveryFrameInListOrderAndThenThatTheProjectLoaded) {
    BuildSong();
    const std::vector<uint8_t> bytes = Bytes();
    CEventLog log;
    CRecordingStudioListener listener(&log);
    m_studio.Observer().AddListener(&listener);
    ASSERT_EQ(OpenBytes(bytes), "");
    m_studio.Observer().RemoveListener(&listener);
    std::vector<std::string> told = log.Take();
    // Clearing first: every old frame removed, their cables as one piece of news, then cleared.
    const auto cleared = std::find(told.begin(), told.end(), "cleared");
    ASSERT_NE(cleared, told.end());
    EXPECT_EQ(std::vector<std::string>(told.begin(), cleared),
              (std::vector<std::string>{"removed Master", "removed Knob 1", "removed Other 1", "cables"}));
    std::vector<std::string> added;
    for (auto entry = cleared + 1; entry != told.end(); ++entry)
        if (entry->rfind("added ", 0) == 0) added.push_back(entry->substr(6));
    std::vector<std::string> listed;
    for (CMachineContainer* frame : m_studio.Frames())
        listed.push_back(frame->m_name);
    EXPECT_EQ(added, listed);
    EXPECT_EQ(added, (std::vector<std::string>{"Master", "Knob 1", "Other 1"}));
    EXPECT_EQ(std::count(told.begin(), told.end(), "cables"), 1 + 3); // the clear, then each cable
    EXPECT_EQ(told.back(), "loaded");

    // A load that stops part-way still ends with the news, so views show what was built.
    CFileBuilder file;
    file.Header(2, 1).Int32(2).Machine("Master", "Master", 32, 32).Machine("Wobble", "VeskPlug::None", 0, 0);
    m_studio.Observer().AddListener(&listener);
    EXPECT_NE(OpenBytes(file.m_bytes), "");
    m_studio.Observer().RemoveListener(&listener);
    told = log.Take();
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.back(), "loaded");
    EXPECT_EQ(std::count(told.begin(), told.end(), "added Master"), 1);
}

TEST_F(ProjectFileTest, EveryKindOfEditRaisesTheChangeCounter) {
    m_project.New();
    EXPECT_FALSE(m_project.HasChanges());
    CChangeCounter& changes = m_studio.Changes();
    CMachineContainer* knob = nullptr;
    CMachineContainer* other = nullptr;
    auto raises = [&](const char* what, auto edit) {
        const uint64_t before = changes.Count();
        edit();
        EXPECT_GT(changes.Count(), before) << what;
    };
    raises("add a machine", [&] { knob = Add("Knob", 10, 10); });
    other = Add("Other", 90, 10);
    raises("connect",
           [&] { m_studio.Connect(knob->FindConnector("Line Out"), other->FindConnector("Line In")); });
    raises("disconnect", [&] { m_studio.Disconnect(other->FindConnector("Line In"), 0); });
    raises("rename", [&] { m_studio.Rename(knob, "Lead"); });
    raises("move", [&] { m_studio.MoveFrame(knob, 40, 50); });
    raises("panel mode", [&] { knob->SetPanelMode(kPanelDefault); });
    raises("parameter from the user", [&] { m_host.ParameterChanged(knob->Machine(), 1, 0.5f); });
    raises("randomize", [&] { knob->Randomize(); });
    CPatternEditor& patterns = m_sequencer.Patterns();
    patterns.SelectMachine(knob->Machine());
    Pattern* pattern = nullptr;
    raises("add a pattern", [&] { pattern = patterns.AddPattern(); });
    ASSERT_NE(pattern, nullptr);
    raises("add a note", [&] { patterns.AddNoteAt(0, 60); });
    raises("remove a note", [&] { patterns.RemoveNote(patterns.NoteAt(0, 60)); });
    patterns.SelectProperty(1);
    raises("add a control track", [&] { patterns.AddControlTrack(); });
    raises("set a control step", [&] { patterns.PressStep(0, 2, 0.5f); });
    raises("song length", [&] { m_sequencer.Song().SetLength(64); });
    raises("place a pattern", [&] { m_sequencer.Song().PlacePattern(pattern, 0); });
    raises("remove a pattern", [&] { patterns.RemovePattern(); });
    raises("tempo", [&] { m_studio.SetTempo(97.0f); });
    raises("project text", [&] { m_project.SetInfo("notes"); });
    raises("delete a machine", [&] { m_studio.DeleteMachine(other); });

    // What changes nothing raises nothing.
    const uint64_t settled = changes.Count();
    m_studio.Rename(knob, "Lead");
    m_studio.MoveFrame(knob, 40, 50);
    m_studio.SetTempo(97.0f);
    m_project.SetInfo("notes");
    EXPECT_FALSE(knob->SetPanelMode(kPanelDefault));
    EXPECT_FALSE(m_studio.Connect(knob->FindConnector("Line Out"), knob->FindConnector("Line In")));
    EXPECT_EQ(changes.Count(), settled);
}

TEST_F(ProjectFileTest, OnlyASaveThatReachedTheDiskClearsTheChanges) {
    BuildSong();
    ASSERT_TRUE(m_project.HasChanges());
    // Refused: no path yet.
    EXPECT_THROW(m_project.Save(), platform::CError);
    EXPECT_TRUE(m_project.HasChanges());
    // Failed: the folder cannot be written to.
    const fs::path locked = m_folder / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    if (::geteuid() != 0) { // root writes anyway
        EXPECT_THROW(m_project.SaveAs(locked / "song.tbp"), platform::CError);
        EXPECT_TRUE(m_project.HasChanges());
    }
    fs::permissions(locked, fs::perms::owner_all);
    // Good.
    m_project.SaveAs(m_folder / "song.tbp");
    EXPECT_FALSE(m_project.HasChanges());
    m_project.SetInfo("edited");
    EXPECT_TRUE(m_project.HasChanges());
    m_project.Save();
    EXPECT_FALSE(m_project.HasChanges());

    // Opening gives an unchanged project; one that loaded incompletely refuses to save and keeps
    // its changes.
    m_project.Open(m_folder / "song.tbp");
    EXPECT_FALSE(m_project.HasChanges());
    CFileBuilder file;
    file.Header(2, 1).Int32(2).Machine("Master", "Master", 32, 32).Machine("Wobble", "VeskPlug::None", 0, 0);
    EXPECT_NE(OpenBytes(file.m_bytes), "");
    EXPECT_TRUE(m_project.HasChanges());
    EXPECT_THROW(m_project.Save(), platform::CError);
    EXPECT_TRUE(m_project.HasChanges());
    m_project.New();
    EXPECT_FALSE(m_project.HasChanges());
}
