// The options file: defaults, round trip, rejected headers and damaged folder lists, settings
// outside their ranges, and writes that survive being killed.
#include "persistence/options_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class OptionsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = std::filesystem::path(TAMBOREL_TEST_BINARY_DIR) /
                   ("config-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(m_folder);
        setenv("XDG_CONFIG_HOME", m_folder.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    // Writes raw bytes to the options file's place.
    void WriteBytes(const std::string& bytes) {
        std::filesystem::create_directories(OptionsFilePath().parent_path());
        std::ofstream(OptionsFilePath(), std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    static std::string Int(int32_t value) {
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[static_cast<size_t>(i)] =
                static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xff);
        return bytes;
    }
    static std::string Header(int32_t version) {
        return "pObT" + Int(version) + Int(1) + Int(2) + Int(40) + Int(0x8000) + Int(3) + Int(0);
    }

    static std::string ReadAll(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path m_folder;
};

using State = OptionsReadResult::State;

TEST_F(OptionsFileTest, WithoutAFileTheDefaultsHold) {
    EXPECT_EQ(OptionsFilePath(), m_folder / "Tamborel Studio" / "Tamborel.opt");
    Options options = DefaultOptions();
    ReadOptions(options);
    EXPECT_EQ(options.driverIndex, 0);
    EXPECT_EQ(options.waveOutDevice, 0);
    EXPECT_EQ(options.waveOutLatency, 150);
    EXPECT_EQ(options.waveOutFormat, 2048);
    EXPECT_EQ(options.asioDevice, 0);
    ASSERT_EQ(options.vstFolders.size(), 7u);
    EXPECT_EQ(std::filesystem::path(options.vstFolders[0]).filename(), "vst");
    EXPECT_EQ(options.vstFolders[1], std::string(std::getenv("HOME")) + "/.vst");
    EXPECT_EQ(options.vstFolders[6], "/usr/lib/lxvst");
    EXPECT_FALSE(std::filesystem::exists(m_folder)); // reading creates nothing
}

TEST_F(OptionsFileTest, WritesAndReadsBack) {
    Options written = DefaultOptions();
    written.driverIndex = 1;
    written.waveOutLatency = 107;
    written.waveOutFormat = 0x8000;
    written.asioDevice = 2;
    written.vstFolders = {"/opt/plugins", ""};
    ASSERT_TRUE(WriteOptions(written));
    std::ifstream in(OptionsFilePath(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.substr(0, 8), std::string("pObT") + Int(0));
    EXPECT_EQ(bytes.size(), 36u + 4 + 13 + 4 + 1);
    EXPECT_EQ(bytes.substr(36, 4), Int(13));

    Options read = DefaultOptions();
    ReadOptions(read);
    EXPECT_EQ(read.driverIndex, 1);
    EXPECT_EQ(read.waveOutLatency, 107);
    EXPECT_EQ(read.waveOutFormat, 0x8000);
    EXPECT_EQ(read.asioDevice, 2);
    EXPECT_EQ(read.vstFolders, (std::vector<std::string>{"/opt/plugins", ""}));
}

TEST_F(OptionsFileTest, OtherVersionsAndMagicsAreIgnoredWhole) {
    WriteBytes(Header(1) + Int(0));
    Options options = DefaultOptions();
    ReadOptions(options);
    EXPECT_EQ(options.driverIndex, 0);
    EXPECT_EQ(options.vstFolders.size(), 7u);
    WriteBytes("TbOp" + Int(0));
    ReadOptions(options);
    EXPECT_EQ(options.waveOutLatency, 150);
}

TEST_F(OptionsFileTest, AnEmptyFolderListIsKept) {
    WriteBytes(Header(0) + Int(0));
    Options options = DefaultOptions();
    ReadOptions(options);
    EXPECT_EQ(options.driverIndex, 1);
    EXPECT_EQ(options.waveOutFormat, 0x8000);
    EXPECT_TRUE(options.vstFolders.empty());
}

TEST_F(OptionsFileTest, DamagedFilesAreReadNoFurtherThanTheirData) {
    // Cut inside the settings: what was read stays, the rest keeps its default.
    WriteBytes("pObT" + Int(0) + Int(1) + Int(3));
    Options options = DefaultOptions();
    ReadOptions(options);
    EXPECT_EQ(options.driverIndex, 1);
    EXPECT_EQ(options.waveOutDevice, 3);
    EXPECT_EQ(options.waveOutLatency, 150);

    // A negative length, a length past the end, and a huge count end the list.
    for (const std::string& tail : {Int(2) + Int(4) + std::string("abc\0", 4) + Int(-5),
                                    Int(2) + Int(4) + std::string("abc\0", 4) + Int(1000) + "xy",
                                    Int(0x7fffffff) + Int(4) + std::string("abc\0", 4)}) {
        WriteBytes(Header(0) + tail);
        Options damaged = DefaultOptions();
        ReadOptions(damaged);
        EXPECT_EQ(damaged.vstFolders, (std::vector<std::string>{"abc"}));
    }
}

TEST_F(OptionsFileTest, NothingIsWrittenWhereNoFileCanBeMade) {
    WriteBytes("x");
    // A file where the folder should be.
    EXPECT_FALSE(WriteOptions(DefaultOptions(), OptionsFilePath() / "Tamborel.opt"));
}

TEST_F(OptionsFileTest, TellsMissingFromWholeFromUnreadable) {
    Options options = DefaultOptions();
    EXPECT_EQ(ReadOptions(options).state, State::Missing);
    ASSERT_TRUE(WriteOptions(DefaultOptions()));
    EXPECT_EQ(ReadOptions(options).state, State::Read);
    const std::string whole = ReadAll(OptionsFilePath());
    ASSERT_GT(whole.size(), 40u);

    // Every cut, from the empty file up to one byte short, is unreadable and says why.
    for (size_t length = 0; length < whole.size(); ++length) {
        WriteBytes(whole.substr(0, length));
        Options cut = DefaultOptions();
        const OptionsReadResult result = ReadOptions(cut);
        EXPECT_EQ(result.state, State::Unreadable) << length;
        EXPECT_FALSE(result.problem.empty()) << length;
    }
    WriteBytes("TbOp" + whole.substr(4));
    EXPECT_EQ(ReadOptions(options).problem, "it is not an options file");
    WriteBytes(Header(1) + Int(0));
    EXPECT_EQ(ReadOptions(options).problem, "its version 1 is not known");
    WriteBytes(Header(0) + Int(-1));
    EXPECT_EQ(ReadOptions(options).state, State::Unreadable);
    // A file far too big to be options is not read through.
    WriteBytes(Header(0) + Int(0) + std::string(2 << 20, 'x'));
    EXPECT_EQ(ReadOptions(options).problem, "it is too big");
    // A folder, or a link to an endless device, where the file should be cannot be read either,
    // and is not "missing".
    std::filesystem::remove(OptionsFilePath());
    std::filesystem::create_directories(OptionsFilePath());
    EXPECT_EQ(ReadOptions(options).problem, "it is not a regular file");
    std::filesystem::remove(OptionsFilePath());
    std::filesystem::create_symlink("/dev/zero", OptionsFilePath());
    EXPECT_EQ(ReadOptions(options).problem, "it is not a regular file");
}

TEST_F(OptionsFileTest, SettingsOutsideTheirRangesFallBackToTheirDefaults) {
    for (const int32_t value : {0, -1, INT32_MAX, INT32_MIN}) {
        WriteBytes("pObT" + Int(0) + Int(value) + Int(value) + Int(value) + Int(value) + Int(value) +
                   Int(value) + Int(0));
        Options options = DefaultOptions();
        options.waveOutLatency = 77; // not the default: an out-of-range value restores the default
        ASSERT_EQ(ReadOptions(options).state, State::Read) << value;
        EXPECT_EQ(options.driverIndex, 0) << value;
        EXPECT_EQ(options.waveOutDevice, 0) << value;
        EXPECT_EQ(options.waveOutLatency, 150) << value;
        EXPECT_EQ(options.waveOutFormat, 2048) << value;
        EXPECT_EQ(options.asioDevice, 0) << value;
        EXPECT_EQ(options.reserved, value) << value;
    }
    // The edges of the ranges are taken as they are.
    WriteBytes("pObT" + Int(0) + Int(1) + Int(driver_limits::kMaxDeviceIndex) +
               Int(driver_limits::kMaxLatency) + Int(0x80000) + Int(driver_limits::kMaxDeviceIndex) + Int(0) +
               Int(0));
    Options edges = DefaultOptions();
    ASSERT_EQ(ReadOptions(edges).state, State::Read);
    EXPECT_EQ(edges.driverIndex, 1);
    EXPECT_EQ(edges.waveOutDevice, driver_limits::kMaxDeviceIndex);
    EXPECT_EQ(edges.waveOutLatency, driver_limits::kMaxLatency);
    EXPECT_EQ(edges.waveOutFormat, 0x80000);
    EXPECT_EQ(edges.asioDevice, driver_limits::kMaxDeviceIndex);
    // Two flags at once, or a bit above the twenty flags, is no format code.
    for (const int32_t code : {0x801, 0x100000, 0x3, 2})
        EXPECT_EQ(driver_limits::IsFormatCode(code), code == 2) << code;
}

TEST_F(OptionsFileTest, AKilledWriteLeavesTheOldFileOrTheNewOne) {
    Options first = DefaultOptions();
    first.waveOutLatency = 20;
    first.vstFolders = {"/first"};
    Options second = DefaultOptions();
    second.waveOutLatency = 300;
    second.vstFolders = std::vector<std::string>(40, std::string(200, 'x'));
    ASSERT_TRUE(WriteOptions(first));

    std::mt19937 random(1234);
    int sawFirst = 0, sawSecond = 0;
    for (int round = 0; round < 50; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Writes one and the other for ever, until killed.
            for (;;) {
                WriteOptions(second);
                WriteOptions(first);
            }
        }
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(500, 20000)(random)));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        Options read = DefaultOptions();
        ASSERT_EQ(ReadOptions(read).state, State::Read) << "round " << round;
        if (read.waveOutLatency == 20) {
            EXPECT_EQ(read.vstFolders, first.vstFolders);
            ++sawFirst;
        } else {
            EXPECT_EQ(read.waveOutLatency, 300);
            EXPECT_EQ(read.vstFolders, second.vstFolders);
            ++sawSecond;
        }
    }
    // The kills landed at different moments of the writes.
    EXPECT_EQ(sawFirst + sawSecond, 50);
    RecordProperty("first", sawFirst);
    RecordProperty("second", sawSecond);
}

TEST_F(OptionsFileTest, AFailedWriteLeavesTheOldFile) {
    ASSERT_TRUE(WriteOptions(DefaultOptions()));
    const std::string before = ReadAll(OptionsFilePath());
    // A child whose files may not grow past 16 bytes (as a full disk would stop them) tries to
    // write bigger options; it reports through its exit code whether WriteOptions said so.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        Options changed = DefaultOptions();
        changed.driverIndex = 1;
        _exit(WriteOptions(changed) ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a cut write was reported as success";
    EXPECT_EQ(ReadAll(OptionsFilePath()), before);
    // No temporary file is left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(OptionsFilePath().parent_path()))
        ++files;
    EXPECT_EQ(files, 1);
}

} // namespace
