#include "host_machines/soundfont/soundfont_loader.h"
#include "machine_interface/bank_client.h"
#include "machine_interface/bank_server.h"
#include "tests/host_machines/soundfont_builder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace sf_test;

const char* const kTimGM6mb = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// Records what the server tells, with the server's lock state at that moment.
class CRecordingClient : public CBankClient {
public:
    explicit CRecordingClient(CHostBankServer* server) : CBankClient(nullptr) {
        m_bankServer = server;
        m_serverAvailable = 1;
    }
    void OnBankAdded(int32_t bank) override {
        seen.push_back("bank " + std::to_string(bank) + (m_bankServer->IsLocked() ? "" : " unlocked"));
        if (reloadFrom) reloadResult = CSoundFontLoader().LoadBank(*reloadFrom, *m_bankServer);
    }
    void OnBankInfoAdded(int32_t bank, int32_t entry) override {
        seen.push_back("info " + std::to_string(bank) + "." + std::to_string(entry));
    }
    void OnBankPresetAdded(int32_t bank, int32_t preset) override {
        seen.push_back("preset " + std::to_string(bank) + "." + std::to_string(preset));
    }
    std::vector<std::string> seen;
    const std::string* reloadFrom = nullptr;
    int32_t reloadResult = -1;
};

// The server's contents read back the way a client reads them: length, then text.
std::string BankName(CHostBankServer& server, int32_t bank) {
    CMutexLock lock(server);
    int32_t length = 0;
    EXPECT_EQ(server.GetBankNameLength(bank, &length), 0);
    std::string text(static_cast<size_t>(length) + 1, '?');
    EXPECT_EQ(server.GetBankName(bank, text.data()), 0);
    text.resize(static_cast<size_t>(length));
    return text;
}

std::vector<std::string> Info(CHostBankServer& server, int32_t bank) {
    CMutexLock lock(server);
    int32_t count = 0;
    EXPECT_EQ(server.GetBankInfoCount(bank, &count), 0);
    std::vector<std::string> lines;
    for (int32_t entry = 0; entry < count; ++entry) {
        int32_t keyLength = 0, valueLength = 0;
        server.GetBankInfoKeyLength(bank, entry, &keyLength);
        server.GetBankInfoValueLength(bank, entry, &valueLength);
        std::string key(static_cast<size_t>(keyLength) + 1, '?'), value(static_cast<size_t>(valueLength) + 1, '?');
        server.GetBankInfoKey(bank, entry, key.data());
        server.GetBankInfoValue(bank, entry, value.data());
        lines.push_back(key.c_str() + std::string("=") + value.c_str());
    }
    return lines;
}

std::vector<std::string> Presets(CHostBankServer& server, int32_t bank) {
    CMutexLock lock(server);
    int32_t count = 0;
    EXPECT_EQ(server.GetBankPresetCount(bank, &count), 0);
    std::vector<std::string> names;
    for (int32_t preset = 0; preset < count; ++preset) {
        int32_t length = 0;
        server.GetBankPresetNameLength(bank, preset, &length);
        std::string name(static_cast<size_t>(length) + 1, '?');
        server.GetBankPresetName(bank, preset, name.data());
        EXPECT_EQ(name.back(), '\0') << "the name's terminating zero is copied";
        name.resize(static_cast<size_t>(length));
        names.push_back(name);
    }
    return names;
}

class SoundFontTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() /
                   ("tamborel_soundfont_" + std::to_string(getpid()) + "_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    std::string Write(const Bytes& bytes, const std::string& name = "bank.sf2") {
        const fs::path path = m_folder / name;
        WriteBytes(path, bytes);
        return path.string();
    }
    // Loads the file into a fresh server; the server must stay empty on a refusal.
    int32_t LoadIntoEmptyServer(const Bytes& bytes) {
        CHostBankServer server;
        const int32_t result = CSoundFontLoader().LoadBank(Write(bytes), server);
        if (result != 0) {
            EXPECT_EQ(server.BankCount(), 0);
        }
        EXPECT_FALSE(server.IsLocked());
        return result;
    }

    fs::path m_folder;
};

TEST_F(SoundFontTest, PublishesNameInformationAndPresetsInOrder) {
    CBankFile file;
    // Written in an order of its own, with an entry the reader does not know.
    file.info = {Chunk("ISFT", Text("Editor 1.0")),  Chunk("ICMT", Text("For tests")),
                 Chunk("ICOP", Text("Free")),        Chunk("IPRD", Text("Studio")),
                 Chunk("IENG", Text("Someone")),     Chunk("ICRD", Text("May 2024")),
                 Chunk("iver", Version(1, 22)),      Chunk("irom", Text("1MGM")),
                 Chunk("ISBJ", Text("ignored")),     Chunk("INAM", Text("Full Bank")),
                 Chunk("isng", Text("EMU8000")),     Chunk("ifil", Version(2, 4))};
    CHostBankServer server;
    CRecordingClient client(&server);
    ASSERT_EQ(client.ConnectBankServer(), 0);

    ASSERT_EQ(CSoundFontLoader().LoadBank(Write(file.Build()), server), 0);
    EXPECT_FALSE(server.IsLocked());
    ASSERT_EQ(server.BankCount(), 1);
    EXPECT_EQ(BankName(server, 0), "Full Bank");
    EXPECT_EQ(Info(server, 0), (std::vector<std::string>{
                                   "SoundFont Version=2.4", "Sound Engine=EMU8000", "ROM=1MGM", "ROM Version=1.22",
                                   "Creation Date=May 2024", "Sound Designer=Someone", "Product=Studio",
                                   "Copyright=Free", "Comment=For tests", "Tools=Editor 1.0"}));
    EXPECT_EQ(Presets(server, 0), (std::vector<std::string>{"Grand Piano", "Strings"}));
    // The bank first, then its entries, then its presets; every notification with the server locked.
    std::vector<std::string> expected = {"bank 0"};
    for (int entry = 0; entry < 10; ++entry) expected.push_back("info 0." + std::to_string(entry));
    expected.push_back("preset 0.0");
    expected.push_back("preset 0.1");
    EXPECT_EQ(client.seen, expected);
}

TEST_F(SoundFontTest, OnlyTheEntriesPresentArePublished) {
    CHostBankServer server;
    ASSERT_EQ(CSoundFontLoader().LoadBank(Write(CBankFile().Build()), server), 0);
    EXPECT_EQ(Info(server, 0), (std::vector<std::string>{"SoundFont Version=2.1", "Sound Engine=EMU8000"}));
}

TEST_F(SoundFontTest, TextsAreCutAtTheirFirstZeroOrTheirChunk) {
    CBankFile file;
    const Bytes unterminated = {'N', 'o', 'E', 'n', 'd'}; // odd and without a zero: taken whole
    Bytes cut = Text("Short");
    cut.insert(cut.end(), {'J', 'u', 'n', 'k', 0, 0});
    file.info = {Chunk("ifil", Version(2, 0)), Chunk("isng", unterminated), Chunk("INAM", cut),
                 Chunk("ICMT", {})};
    // A name filling all 20 bytes has no zero of its own; one with bytes after its zero.
    Bytes second = PresetRecord("Twenty Characters Ok", 1, 0);
    Bytes third = PresetRecord("Bass", 2, 0);
    third[10] = 'X';
    file.presetData = {Chunk("phdr", Join({PresetRecord("First", 0, 0), second, third, PresetRecord("EOP", 0, 0)}))};

    CSoundFontLoader loader;
    ASSERT_EQ(loader.Load(Write(file.Build())), 0);
    EXPECT_EQ(loader.SoundEngine(), "NoEnd");
    EXPECT_EQ(loader.BankName(), "Short");
    ASSERT_EQ(loader.PresetCount(), 3);
    EXPECT_EQ(loader.PresetName(1), "Twenty Characters Ok");
    EXPECT_EQ(loader.PresetName(2), "Bass");
    EXPECT_EQ(loader.PresetName(3), "") << "the terminal record is no preset";
    const auto entries = loader.InfoEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].key, "Comment");
    EXPECT_EQ(entries[2].value, "") << "an empty chunk is an empty entry";
}

TEST_F(SoundFontTest, TwoPresetRecordsPublishOnePreset) {
    CBankFile file;
    file.presetData = {PresetHeaders({"Only"})};
    CHostBankServer server;
    ASSERT_EQ(CSoundFontLoader().LoadBank(Write(file.Build()), server), 0);
    EXPECT_EQ(Presets(server, 0), std::vector<std::string>{"Only"});
}

TEST_F(SoundFontTest, LoadingTwiceAddsTwoBanksOfTheSameName) {
    CHostBankServer server;
    const std::string path = Write(CBankFile().Build());
    CSoundFontLoader loader;
    ASSERT_EQ(loader.LoadBank(path, server), 0);
    ASSERT_EQ(loader.LoadBank(path, server), 0);
    ASSERT_EQ(server.BankCount(), 2);
    EXPECT_EQ(BankName(server, 0), "Test Bank");
    EXPECT_EQ(BankName(server, 1), "Test Bank");
    EXPECT_EQ(Presets(server, 1), Presets(server, 0));
}

TEST_F(SoundFontTest, AFileThatCannotBeOpenedGivesSeven) {
    CHostBankServer server;
    EXPECT_EQ(CSoundFontLoader().LoadBank((m_folder / "missing.sf2").string(), server), 7);
    EXPECT_EQ(CSoundFontLoader().LoadBank(m_folder.string(), server), 7) << "a folder is no file";
    EXPECT_EQ(server.BankCount(), 0);
    EXPECT_FALSE(server.IsLocked());
}

// Each spoils one rule of a bank file; every one is refused with 8 and publishes nothing.
TEST_F(SoundFontTest, DamagedOrForeignFilesAreRefusedWithEight) {
    struct Case {
        const char* what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    auto spoil = [&](const char* what, auto change) {
        CBankFile file;
        change(file);
        cases.push_back({what, file.Build()});
    };
    spoil("version 3.0", [](CBankFile& f) { f.info[0] = Chunk("ifil", Version(3, 0)); });
    spoil("version 1.0", [](CBankFile& f) { f.info[0] = Chunk("ifil", Version(1, 0)); });
    spoil("ifil of 6 bytes", [](CBankFile& f) { f.info[0] = Chunk("ifil", Join({Version(2, 1), {0, 0}})); });
    spoil("iver of 2 bytes", [](CBankFile& f) { f.info.push_back(Chunk("iver", {1, 0})); });
    spoil("no ifil", [](CBankFile& f) { f.info.erase(f.info.begin()); });
    spoil("no isng", [](CBankFile& f) { f.info.erase(f.info.begin() + 1); });
    spoil("no INAM", [](CBankFile& f) { f.info.erase(f.info.begin() + 2); });
    spoil("one phdr record", [](CBankFile& f) { f.presetData = {PresetHeaders({})}; });
    spoil("phdr of 1.5 records", [](CBankFile& f) { f.presetData = {Chunk("phdr", Bytes(57, 0))}; });
    spoil("no phdr", [](CBankFile& f) { f.presetData = {Chunk("pbag", Bytes(8, 0))}; });
    spoil("LIST below 4 bytes inside INFO", [](CBankFile& f) { f.info.push_back(Chunk("LIST", {'a', 'b'})); });
    spoil("chunk past the INFO list", [](CBankFile& f) {
        Bytes chunk = Chunk("ICMT", Text("abcd"));
        chunk[4] = 9; // one byte more than the list holds
        f.info.push_back(chunk);
    });
    cases.push_back({"foreign top-level LIST",
                     Riff("sfbk", {List("INFO", CBankFile().info), List("movi", {}), List("pdta", CBankFile().presetData)})});
    cases.push_back({"no top-level LIST", Riff("sfbk", {Chunk("INAM", Text("x"))})});
    cases.push_back({"top-level LIST below 4 bytes",
                     Riff("sfbk", {List("INFO", CBankFile().info), Chunk("LIST", {'p', 'd', 't'}),
                                   List("pdta", CBankFile().presetData)})});
    {
        Bytes file = CBankFile().Build();
        file.insert(file.end(), {'L', 'I', 'S', 'T', 0xF0, 0xFF, 0xFF, 0xFF, 'p', 'd', 't', 'a'});
        const uint32_t riffSize = static_cast<uint32_t>(file.size() - 8);
        std::memcpy(file.data() + 4, &riffSize, 4);
        cases.push_back({"top-level chunk of nearly 4 GB", file});
    }
    {
        Bytes file = CBankFile().Build();
        file[8] = 'x';
        cases.push_back({"form type sfbx", file});
    }
    {
        Bytes file = CBankFile().Build();
        file[0] = 'R';
        file[1] = 'I';
        file[2] = 'F';
        file[3] = 'X';
        cases.push_back({"RIFX", file});
    }
    {
        Bytes file = CBankFile().Build();
        file.pop_back();
        cases.push_back({"one byte shorter than its RIFF size", file});
    }
    {
        Bytes file = CBankFile().Build();
        std::memset(file.data() + 4, 0, 4);
        file[4] = 3;
        cases.push_back({"RIFF size below 4", file});
    }
    cases.push_back({"empty file", {}});
    cases.push_back({"header only", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 's', 'f'}});

    for (const Case& c : cases) EXPECT_EQ(LoadIntoEmptyServer(c.bytes), 8) << c.what;
}

TEST_F(SoundFontTest, WhatTheRulesLeaveAloneIsSkipped) {
    // Chunks beside the LISTs at the top level, an unknown chunk in pdta, a LIST nested in INFO,
    // the sample data's contents, a stray 7 bytes at the block's end and bytes after the RIFF
    // block are all passed over.
    CBankFile file;
    file.info.push_back(List("nest", {Chunk("INAM", Text("Not the name"))}));
    file.sampleData = {Chunk("smpl", Bytes(6, 0xFF)), Chunk("sm24", Bytes(3, 1))};
    file.presetData.push_back(Chunk("zzzz", Bytes(2, 0)));
    Bytes bytes = Riff("sfbk", {Chunk("JUNK", Bytes(10, 0)), List("INFO", file.info), List("sdta", file.sampleData),
                                List("pdta", file.presetData), Bytes(7, 0x55)});
    bytes.insert(bytes.end(), {'t', 'a', 'i', 'l'});
    CSoundFontLoader loader;
    ASSERT_EQ(loader.Load(Write(bytes)), 0);
    EXPECT_EQ(loader.BankName(), "Test Bank");
    EXPECT_EQ(loader.PresetCount(), 2);
    // The same bytes from memory read alike.
    CSoundFontLoader fromMemory;
    EXPECT_EQ(fromMemory.LoadBytes(bytes.data(), bytes.size()), 0);
    EXPECT_EQ(fromMemory.PresetName(0), "Grand Piano");
}

TEST_F(SoundFontTest, AServerRefusalEndsPublishingAndUnlocks) {
    CHostBankServer server;
    CRecordingClient client(&server);
    ASSERT_EQ(client.ConnectBankServer(), 0);
    const std::string path = Write(CBankFile().Build());
    client.reloadFrom = &path; // loads again from inside the server's notification
    ASSERT_EQ(CSoundFontLoader().LoadBank(path, server), 0);
    EXPECT_EQ(client.reloadResult, kBankNotifying);
    EXPECT_EQ(server.BankCount(), 1);
    EXPECT_FALSE(server.IsLocked()) << "the refused publisher unlocked what it locked";

    CSoundFontLoader refused;
    EXPECT_EQ(refused.Load((m_folder / "missing.sf2").string()), 7);
    EXPECT_EQ(refused.Publish(server), 8) << "nothing loaded, nothing published";
    CSoundFontLoader loaded;
    ASSERT_EQ(loaded.Load(path), 0);
    EXPECT_EQ(loaded.Load((m_folder / "missing.sf2").string()), 7);
    EXPECT_EQ(loaded.Publish(server), 8) << "a failed load forgets the earlier one";
    EXPECT_EQ(server.BankCount(), 1);
}

// The preset names fluidsynth lists for the file, when it is installed (else empty).
std::vector<std::string> FluidSynthPresets(const char* path) {
    if (std::system("command -v fluidsynth >/dev/null 2>&1") != 0) return {};
    const std::string command = std::string("printf 'inst 1\\nquit\\n' | fluidsynth -a file -o audio.file.name=/dev/null "
                                            "-n -q '") + path + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::vector<std::string> names;
    char line[256];
    while (pipe && std::fgets(line, sizeof line, pipe.get())) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        // "000-001 Piano 2"
        if (text.size() > 8 && text[3] == '-' && text[7] == ' ') names.push_back(text.substr(8));
    }
    return names;
}

TEST(SoundFontRealBank, TimGM6mbLoadsWithItsPresets) {
    if (!fs::exists(kTimGM6mb)) GTEST_SKIP() << kTimGM6mb << " is not installed (tools/install-deps.sh)";
    CHostBankServer server;
    CSoundFontLoader loader;
    ASSERT_EQ(loader.LoadBank(kTimGM6mb, server), 0);
    EXPECT_EQ(BankName(server, 0), "TimGM6mb1.sf2");
    const auto info = Info(server, 0);
    ASSERT_FALSE(info.empty());
    EXPECT_EQ(info[0].rfind("SoundFont Version=2.", 0), 0u) << info[0];
    EXPECT_EQ(info[1], "Sound Engine=EMU8000");

    // The record count from the file's own "phdr" size, found without the walker: 38 bytes a
    // record, the last one the terminal record.
    std::ifstream in(kTimGM6mb, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const size_t phdr = bytes.rfind("phdr");
    ASSERT_NE(phdr, std::string::npos);
    uint32_t phdrSize = 0;
    std::memcpy(&phdrSize, bytes.data() + phdr + 4, 4);
    const std::vector<std::string> presets = Presets(server, 0);
    EXPECT_EQ(presets.size(), phdrSize / 38 - 1);
    EXPECT_EQ(presets.front(), "Flute TB");

    std::vector<std::string> listed = FluidSynthPresets(kTimGM6mb);
    if (listed.empty()) {
        std::printf("fluidsynth is not installed: the preset names are not compared with its listing\n");
        return;
    }
    std::vector<std::string> ours = presets;
    std::sort(ours.begin(), ours.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(ours, listed);
}

} // namespace
