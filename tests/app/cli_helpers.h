// Running the command line as a separate process, and reading the WAV files it writes.
#pragma once

#include "persistence/options_file.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

// The window system the command line runs under in these tests: none.
inline constexpr const char* kNoWindowSystem = "none-for-the-command-line";

struct Result {
    int status;
    std::string out;
};

// A configuration folder of the tests' own whose options list no VST folders, so the program
// sees exactly our machines whatever plug-ins the machine has installed.
inline const std::filesystem::path& ConfigFolder() {
    static const std::filesystem::path folder = [] {
        const std::filesystem::path path = std::filesystem::path(TAMBOREL_TEST_BINARY_DIR) / "cli-config";
        Options options = DefaultOptions();
        options.vstFolders.clear();
        WriteOptions(options, path / "Tamborel Studio" / "Tamborel.opt");
        return path;
    }();
    return folder;
}

inline Result RunCommand(const std::string& command) {
    Result result{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> chunk{};
    size_t n = 0;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        result.out.append(chunk.data(), n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// Runs tamborel with the arguments (shell words); stdout is captured, and stderr too when asked.
inline Result RunTamborel(const std::string& arguments, bool withErrors = false,
                          const std::string& prefix = "") {
    // No display, and a window system that does not exist: the command line must never need one,
    // and a QApplication made anyway would stop the program (tests/gui proves that it does).
    return RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u VST_PATH QT_QPA_PLATFORM=" + std::string(kNoWindowSystem) +
                      " XDG_CONFIG_HOME='" +
                      ConfigFolder().string() + "' " + prefix + std::string(TAMBOREL_BIN_DIR) + "/tamborel " +
                      arguments + (withErrors ? " 2>&1" : " 2>/dev/null"));
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// What a 44-byte-header WAV file holds, with its peak and RMS over all samples and the longest
// run of frames below -60 dBFS on both channels among the first quietUpTo frames.
struct WavInfo {
    bool valid = false;
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    int64_t frames = 0;
    float peak = 0.0f;
    double rms = 0.0;
    int64_t longestQuiet = 0;
};

inline WavInfo ParseWav(const std::vector<uint8_t>& bytes, int64_t quietUpTo = INT64_MAX) {
    WavInfo info;
    auto u16 = [&](size_t at) { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); };
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(u16(at) | static_cast<uint32_t>(u16(at + 2)) << 16);
    };
    if (bytes.size() < 44 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVEfmt ", 8) != 0 || std::memcmp(bytes.data() + 36, "data", 4) != 0)
        return info;
    info.formatTag = u16(20);
    info.channels = u16(22);
    info.rate = u32(24);
    const uint16_t bits = u16(34);
    const uint32_t dataSize = u32(40);
    const uint16_t align = u16(32);
    if (u32(4) != 36 + dataSize || dataSize + 44 != bytes.size() || align != bits / 8 * info.channels ||
        u32(28) != align * info.rate || info.channels == 0)
        return info;
    if (!((info.formatTag == 1 && bits == 16) || (info.formatTag == 3 && bits == 32))) return info;
    info.frames = dataSize / align;
    double sum = 0.0;
    int64_t quiet = 0;
    for (int64_t frame = 0; frame < info.frames; ++frame) {
        float loudest = 0.0f;
        for (uint16_t c = 0; c < info.channels; ++c) {
            const size_t at = 44 + static_cast<size_t>(frame) * align + c * (bits / 8u);
            float value;
            if (bits == 16) {
                value = static_cast<float>(static_cast<int16_t>(u16(at))) / 32768.0f;
            } else {
                const uint32_t word = u32(at);
                std::memcpy(&value, &word, 4);
            }
            loudest = std::max(loudest, std::fabs(value));
            sum += static_cast<double>(value) * value;
        }
        info.peak = std::max(info.peak, loudest);
        quiet = loudest < 0.001f && frame < quietUpTo ? quiet + 1 : 0;
        info.longestQuiet = std::max(info.longestQuiet, quiet);
    }
    info.rms = info.frames > 0 ? std::sqrt(sum / static_cast<double>(info.frames * info.channels)) : 0.0;
    info.valid = true;
    return info;
}

// When sox is installed, soxi must read the file as we do.
inline void ExpectSoxAgrees(const std::filesystem::path& path, int64_t frames, int channels) {
    if (RunCommand("command -v soxi >/dev/null 2>&1").status != 0) return;
    // Float files draw a warning about the short format chunk (the 44-byte header has no
    // extension); only the numbers on stdout count.
    const Result samples = RunCommand("soxi -s '" + path.string() + "' 2>/dev/null");
    ASSERT_EQ(samples.status, 0) << samples.out;
    EXPECT_EQ(std::stoll(samples.out), frames);
    const Result count = RunCommand("soxi -c '" + path.string() + "' 2>/dev/null");
    EXPECT_EQ(std::stoi(count.out), channels);
}
