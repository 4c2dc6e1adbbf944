// The options file "Tamborel.opt" in "Tamborel Studio" under the application-data folder: the
// output driver choice and settings and the VST folder list. Read once at start-up, written at
// shut-down, both on the user-interface thread.
//
// Layout (little-endian, no padding): magic "pObT", version 0, six int32 settings, folder count,
// then per folder its length (text length plus 1) and the text with its NUL.
#pragma once

#include "audio_out/driver_options.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The drivers' settings (their record, which they write back to), and what only the file keeps.
struct Options : DriverOptions {
    int32_t reserved = 0;
    std::vector<std::string> vstFolders;
};

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
// Every setting is checked against its range (see driver_limits; the driver index must be 0 or 1)
// and one outside it keeps its default. Anything but a missing or a whole file is Unreadable.
OptionsReadResult ReadOptions(Options& options, const std::filesystem::path& path = OptionsFilePath());

// Creates the folder when needed and writes the file through the safe save (a temporary file,
// synced, renamed over the old one), so a crash at any moment leaves the old file or the new one.
// False when nothing could be written (the old file is then untouched).
bool WriteOptions(const Options& options, const std::filesystem::path& path = OptionsFilePath());
