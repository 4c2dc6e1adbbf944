// The options file: defaults, round trip, rejected headers and damaged folder lists.
#include "persistence/options_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

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

    std::filesystem::path m_folder;
};

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

} // namespace
