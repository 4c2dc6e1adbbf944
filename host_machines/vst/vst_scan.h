// The VST folder scan: every VST 2 library ("*.so") in the given folders and their sub-folders
// becomes one machine type, registered with the host services. Start-up, user-interface thread.
//
// No library is loaded into the program by the scan. A library the plug-in cache (vst_cache.h)
// does not know yet is tried in a short-lived child process, which brings the plug-in up, asks
// its name, vendor, category, unique ID, channels, parameters and flags, renders one block and
// reports back through a pipe; libraries that crash or hang there are skipped, named on stderr,
// and remembered until the file changes. Each usable plug-in is registered from those facts; its
// library is loaded only when the first machine of it is made (a project that uses it, the
// add-machine menu).
//
// The trial children die with the program: each asks the kernel for SIGKILL when its parent
// goes (PR_SET_PDEATHSIG), runs in a process group of its own (so anything a plug-in starts dies
// with it), and is killed and reaped when the scan ends in any way.
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

// The plug-in cache beside the options file: platform::AppDataFolder()/"Tamborel Studio"/
// "VSTCache.txt".
std::filesystem::path DefaultVSTCachePath();

class CVSTTransport;

struct VSTScanSettings {
    std::filesystem::path cachePath = DefaultVSTCachePath(); // empty: remember nothing, try all
    int probeTimeoutMilliseconds = 10000; // a library that takes longer is taken as hanging
    int parallelProbes = 4;
    // Receives "Loading VST PlugIn %s..." with the file name (the splash window).
    std::function<void(const std::string&)> progress;
    // Receives each library skipped as crashing or hanging, with the reason; stderr by default.
    std::function<void(const std::string& path, const std::string& reason)> skipped;
    // The song transport the plug-ins are told (null: stopped, at the host's sample counter).
    const CVSTTransport* transport = nullptr;
};

struct VSTScanResult {
    int registered = 0;               // descriptors registered
    int probed = 0;                   // libraries tried in a child process
    int cached = 0;                   // libraries known from the cache without a trial
    std::vector<std::string> skipped; // libraries that crashed or hung ("path: reason")
};

// Scans the folders (recursing, following symbolic links, each library once by its real path)
// and registers one CVSTAdapterInfo per plug-in, with the plug-in's unique ID, name and file as
// its identity in the machine registry (projects keep them to tell apart plug-ins whose short
// identifiers are equal). Libraries that do not load or have no entry are skipped silently.
VSTScanResult ScanVSTFolders(const std::vector<std::filesystem::path>& folders, CVeskHost* host,
                             const VSTScanSettings& settings = {});
