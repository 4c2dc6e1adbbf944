// The VST folder scan: every VST 2 library ("*.so") in the given folders and their sub-folders
// becomes one machine type, registered with the host services. Start-up, user-interface thread.
//
// A plug-in that crashes or hangs while it comes up must not take the program down, so each
// library is first tried in a short-lived child process. Libraries that crash or hang there are
// skipped, named on stderr, and remembered in a list beside the options file; later starts skip
// them without trying until the library file changes (size or modification time). Libraries that
// came up cleanly are remembered too, so later starts load them without a trial.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class CVeskHost;

// The conventional Linux places, in order: the program folder's "vst", ~/.vst, ~/.lxvst,
// /usr/local/lib/vst, /usr/local/lib/lxvst, /usr/lib/vst, /usr/lib/lxvst. The options file's
// folder list starts out as these.
std::vector<std::filesystem::path> DefaultVSTFolders();

// The folders to scan: the options' folders, then every entry of $VST_PATH (colon-separated).
std::vector<std::filesystem::path> VSTScanFolders(const std::vector<std::filesystem::path>& optionsFolders);

// The list of libraries that crashed or hung: platform::AppDataFolder()/"Tamborel Studio"/
// "VSTSkipped.txt".
std::filesystem::path DefaultVSTSkipListPath();

// The list of libraries that came up cleanly in their trial, beside it: "VSTKnownGood.txt".
std::filesystem::path DefaultVSTKnownGoodListPath();

struct VSTScanSettings {
    std::filesystem::path skipListPath = DefaultVSTSkipListPath();           // empty: remember nothing
    std::filesystem::path knownGoodListPath = DefaultVSTKnownGoodListPath(); // empty: always try
    int probeTimeoutMilliseconds = 10000; // a library that takes longer is taken as hanging
    int parallelProbes = 4;
    // Receives "Loading VST PlugIn %s..." with the file name (the splash window).
    std::function<void(const std::string&)> progress;
    // Receives each library skipped as crashing or hanging, with the reason; stderr by default.
    std::function<void(const std::string& path, const std::string& reason)> skipped;
};

struct VSTScanResult {
    int registered = 0;               // descriptors registered
    int probed = 0;                   // libraries tried in a child process
    std::vector<std::string> skipped; // libraries that crashed or hung ("path: reason")
};

// Scans the folders (recursing, following symbolic links, each library once by its real path)
// and registers one CVSTAdapterInfo per plug-in. Libraries that do not load or have no entry are
// skipped silently.
VSTScanResult ScanVSTFolders(const std::vector<std::filesystem::path>& folders, CVeskHost* host,
                             const VSTScanSettings& settings = {});
