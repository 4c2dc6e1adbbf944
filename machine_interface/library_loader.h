// Discovery of machine libraries: every "*.so" in the "PlugIns" folder next to the program is
// loaded and its VeskPlugInit called with the host services. Start-up, user-interface thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

class CVeskHost;

// The entry point every machine library exports.
extern "C" {
typedef int32_t (*VeskPlugInitFunction)(void* module, CVeskHost* host);
}
constexpr const char* kVeskPlugInitName = "VeskPlugInit";

// Loads every machine library in the folder, in the order the file system returns. A library
// that does not load, or lacks the entry point, is skipped silently (and unloaded). Loaded
// libraries stay loaded for the lifetime of the process. The progress callback, when given,
// receives "Loading PlugIn Library %s..." with the file name. Returns the number of libraries
// whose entry point was called.
int LoadMachineLibraries(const std::filesystem::path& folder, CVeskHost* host,
                         const std::function<void(const std::string&)>& progress = {});
