// The options file "Tamborel.opt" in "Tamborel Studio" under the application-data folder: the
// output driver choice and settings and the VST folder list. Read once at start-up, written at
// shut-down, both on the user-interface thread.
//
// Layout (little-endian, no padding): magic "pObT", version 0, six int32 settings, folder count,
// then per folder its length (text length plus 1) and the text with its NUL.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct Options {
    int32_t driverIndex = 0; // 0 "Wave Out", 1 "ASIO"
    int32_t waveOutDevice = 0;
    int32_t waveOutLatency = 150; // milliseconds per buffer
    int32_t waveOutFormat = 2048; // format code: 44.1 kHz, stereo, 16-bit
    int32_t asioDevice = 0;
    int32_t reserved = 0;
    std::vector<std::string> vstFolders;
};

// The ranges a setting read from the file must lie in; a value outside falls back to its default.
namespace option_limits {
constexpr int32_t kMaxDeviceIndex = 255;
constexpr int32_t kMinLatency = 1;    // milliseconds
constexpr int32_t kMaxLatency = 1000; // one second per buffer, far above what the options page offers
// A format code is exactly one of the twenty capability flags 0x1 ... 0x80000.
bool IsFormatCode(int32_t code);
} // namespace option_limits

// Defaults, with the conventional VST folders: the program folder's "vst", ~/.vst, ~/.lxvst,
// /usr/local/lib/vst, /usr/local/lib/lxvst, /usr/lib/vst, /usr/lib/lxvst.
Options DefaultOptions();
std::vector<std::string> DefaultVstFolders();

// <application-data>/Tamborel Studio/Tamborel.opt (nothing is created).
std::filesystem::path OptionsFilePath();

// How reading the options file went.
struct OptionsReadResult {
    enum class State {
        Missing,    // no file: the defaults hold, and writing one is fine
        Read,       // read whole
        Unreadable, // there is a file, but it could not be read whole: it must not be replaced
    };
    State state = State::Missing;
    std::string problem; // why it was unreadable ("" otherwise)
};

// Reads the file over the options (which hold the defaults). A missing file, a wrong magic or a
// version other than 0 keeps everything. A file cut short keeps what was read so far; a folder
// entry with a length that is not positive, or that runs past the end, ends the folder list.
// Every setting is checked against its range (see option_limits; the driver index must be 0 or 1)
// and one outside it keeps its default. Anything but a missing or a whole file is Unreadable.
OptionsReadResult ReadOptions(Options& options, const std::filesystem::path& path = OptionsFilePath());

// Creates the folder when needed and writes the file through the safe save (a temporary file,
// synced, renamed over the old one), so a crash at any moment leaves the old file or the new one.
// False when nothing could be written (the old file is then untouched).
bool WriteOptions(const Options& options, const std::filesystem::path& path = OptionsFilePath());
