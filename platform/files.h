// Folders and file listing.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// The folder of the running program (/proc/self/exe without its file name).
std::filesystem::path ProgramFolder();

// The user's application-data folder: $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path AppDataFolder();

// The user's folder for state worth keeping between runs but not worth backing up (recovery
// files): $XDG_STATE_HOME, else ~/.local/state.
std::filesystem::path StateFolder();

// Regular files (or links to them) directly inside the folder whose names end in the given
// extension (e.g. ".so"; empty for every file), in the order the file system returns them.
// A missing folder yields nothing.
std::vector<std::filesystem::path> ListFiles(const std::filesystem::path& folder, const std::string& extension);

} // namespace platform
