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

// Defaults, with the conventional VST folders: the program folder's "vst", ~/.vst, ~/.lxvst,
// /usr/local/lib/vst, /usr/local/lib/lxvst, /usr/lib/vst, /usr/lib/lxvst.
Options DefaultOptions();
std::vector<std::string> DefaultVstFolders();

// <application-data>/Tamborel Studio/Tamborel.opt (nothing is created).
std::filesystem::path OptionsFilePath();

// Reads the file over the options (which hold the defaults). A missing file, a wrong magic or a
// version other than 0 keeps everything. A file cut short keeps what was read so far; a folder
// entry with a length that is not positive, or that runs past the end, ends the folder list.
void ReadOptions(Options& options, const std::filesystem::path& path = OptionsFilePath());

// Creates the folder when needed and writes the file; false when nothing could be written.
bool WriteOptions(const Options& options, const std::filesystem::path& path = OptionsFilePath());
