#include "host_machines/vst/vst_scan.h"

#include "host_machines/vst/leak_check_pause.h"
#include "host_machines/vst/vst_adapter.h"
#include "machine_interface/vesk_host.h"
#include "platform/error.h"
#include "platform/files.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using namespace vst;

namespace {

struct Library {
    fs::path path;     // as found (its name is the machine's name)
    fs::path folder;   // the folder it was found in
    fs::path realPath; // identity: a library reached twice through links is loaded once
};

void CollectLibraries(const fs::path& folder, std::set<fs::path>& seenFolders,
                      std::set<fs::path>& seenLibraries, std::vector<Library>& libraries) {
    std::error_code error;
    const fs::path realFolder = fs::canonical(folder, error);
    if (error || !seenFolders.insert(realFolder).second) return; // missing, or a link loop
    for (const fs::path& file : platform::ListFiles(folder, ".so")) {
        const fs::path real = fs::canonical(file, error);
        if (error || !seenLibraries.insert(real).second) continue;
        libraries.push_back({file, folder, real});
    }
    std::vector<fs::path> subFolders;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code statError;
        if (it->is_directory(statError)) subFolders.push_back(it->path());
    }
    for (const fs::path& sub : subFolders)
        CollectLibraries(sub, seenFolders, seenLibraries, libraries);
}

// ---- the list of libraries that crashed or hung --------------------------------------------

struct FileStamp {
    uintmax_t size = 0;
    int64_t modified = 0; // nanoseconds
    bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const fs::path& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return {};
    return {static_cast<uintmax_t>(status.st_size),
            static_cast<int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

struct SkipEntry {
    FileStamp stamp;
    std::string reason;
};

// One line per library: size, modification time, reason, path (tab-separated; the path last).
std::map<std::string, SkipEntry> ReadSkipList(const fs::path& file) {
    std::map<std::string, SkipEntry> entries;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string size, modified, reason, path;
        if (!std::getline(fields, size, '\t') || !std::getline(fields, modified, '\t') ||
            !std::getline(fields, reason, '\t') || !std::getline(fields, path))
            continue;
        entries[path] = {{static_cast<uintmax_t>(std::strtoull(size.c_str(), nullptr, 10)),
                          std::strtoll(modified.c_str(), nullptr, 10)},
                         reason};
    }
    return entries;
}

void WriteSkipList(const fs::path& file, const std::map<std::string, SkipEntry>& entries) {
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    const fs::path temporary = file.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const auto& [path, entry] : entries)
            out << entry.stamp.size << '\t' << entry.stamp.modified << '\t' << entry.reason << '\t' << path
                << '\n';
        if (!out) return;
    }
    fs::rename(temporary, file, error);
}

// ---- the trial in a child process ----------------------------------------------------------

enum ProbeExit : int {
    kProbeOk = 0,
    kProbeNoLoad = 3,
    kProbeNoEntry = 4,
    kProbeNoEffect = 5,
};

intptr_t ProbeCallback(AEffect*, int32_t opcode, int32_t, intptr_t, void* ptr, float) {
    switch (opcode) {
    case audioMasterVersion:
        return kVstVersion;
    case audioMasterGetSampleRate:
        return 44100;
    case audioMasterGetBlockSize:
        return 512;
    case audioMasterGetVendorString:
        if (ptr) std::snprintf(static_cast<char*>(ptr), 32, "%s", kVSTVendorString);
        return 0;
    default:
        return 0;
    }
}

// Runs in the child: brings the plug-in up the way an adapter does, renders one block and takes
// it down again. Never returns.
[[noreturn]] void ProbeInChild(const fs::path& path) {
    // A crash must end the child with its signal, not in a handler inherited from the parent,
    // and the plug-in's chatter is heard once, when the program loads it for real.
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP})
        std::signal(signal, SIG_DFL);
    if (const int null = open("/dev/null", O_WRONLY); null >= 0) {
        dup2(null, 1);
        dup2(null, 2);
    }
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) _exit(kProbeNoLoad);
    auto entry = reinterpret_cast<EntryProc>(dlsym(library, "VSTPluginMain"));
    if (!entry) entry = reinterpret_cast<EntryProc>(dlsym(library, "main"));
    if (!entry) _exit(kProbeNoEntry);
    AEffect* effect = entry(&ProbeCallback);
    if (!effect || effect->magic != kEffectMagic) _exit(kProbeNoEffect);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, 512, nullptr, 0.0f);
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    effect->dispatcher(effect, effStartProcess, 0, 0, nullptr, 0.0f);
    const int channels = std::max(1, std::max(effect->numInputs, effect->numOutputs));
    std::vector<float> samples(static_cast<size_t>(channels) * 512, 0.0f);
    std::vector<float*> pointers(static_cast<size_t>(channels));
    for (int i = 0; i < channels; ++i)
        pointers[static_cast<size_t>(i)] = samples.data() + 512 * i;
    std::vector<float> outSamples(samples.size(), 0.0f);
    std::vector<float*> outPointers(static_cast<size_t>(channels));
    for (int i = 0; i < channels; ++i)
        outPointers[static_cast<size_t>(i)] = outSamples.data() + 512 * i;
    if ((effect->flags & effFlagsCanReplacing) != 0 && effect->processReplacing)
        effect->processReplacing(effect, pointers.data(), outPointers.data(), 512);
    effect->dispatcher(effect, effStopProcess, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    _exit(kProbeOk);
}

struct Probe {
    size_t library;
    pid_t pid;
    std::chrono::steady_clock::time_point started;
};

enum class Verdict { Usable, Silent, Crashed, Hung };

struct ProbeOutcome {
    Verdict verdict = Verdict::Usable;
    std::string reason;
};

ProbeOutcome Judge(int status) {
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        return {Verdict::Crashed, std::string("crashed while loading (signal ") + std::to_string(signal) +
                                      ", " + strsignal(signal) + ")"};
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == kProbeOk) return {Verdict::Usable, {}};
    if (WIFEXITED(status) && WEXITSTATUS(status) >= kProbeNoLoad && WEXITSTATUS(status) <= kProbeNoEffect)
        return {Verdict::Silent, {}};
    return {Verdict::Crashed,
            std::string("ended while loading (exit status ") + std::to_string(WEXITSTATUS(status)) + ")"};
}

// Tries every library in child processes, a few at a time; the outcome per library.
std::vector<ProbeOutcome> ProbeLibraries(const std::vector<Library>& libraries,
                                         const std::vector<bool>& wanted, const VSTScanSettings& settings) {
    std::vector<ProbeOutcome> outcomes(libraries.size());
    std::vector<Probe> running;
    size_t next = 0;
    const auto timeout = std::chrono::milliseconds(settings.probeTimeoutMilliseconds);
    std::fflush(nullptr); // nothing buffered may be written twice by a child
    while (next < libraries.size() || !running.empty()) {
        while (next < libraries.size() &&
               static_cast<int>(running.size()) < std::max(1, settings.parallelProbes)) {
            const size_t index = next++;
            if (!wanted[index]) continue;
            const pid_t pid = fork();
            if (pid == 0) ProbeInChild(libraries[index].realPath);
            if (pid < 0) {
                outcomes[index] = {Verdict::Usable, {}}; // no child possible: load it as is
                continue;
            }
            running.push_back({index, pid, std::chrono::steady_clock::now()});
        }
        bool changed = false;
        for (size_t i = 0; i < running.size();) {
            Probe& probe = running[i];
            int status = 0;
            const pid_t done = waitpid(probe.pid, &status, WNOHANG);
            if (done == probe.pid) {
                outcomes[probe.library] = Judge(status);
            } else if (std::chrono::steady_clock::now() - probe.started > timeout) {
                kill(probe.pid, SIGKILL);
                waitpid(probe.pid, &status, 0);
                outcomes[probe.library] = {Verdict::Hung,
                                           "hung while loading (no answer within " +
                                               std::to_string(settings.probeTimeoutMilliseconds) + " ms)"};
            } else {
                ++i;
                continue;
            }
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
            changed = true;
        }
        if (!changed && !running.empty()) usleep(2000);
    }
    return outcomes;
}

// Loads one library in this process and registers its descriptor.
bool LoadLibrary(const Library& library, CVeskHost* host, const VSTScanSettings& settings) {
    void* handle = nullptr;
    {
        CLeakCheckPause pause;
        handle = dlopen(library.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle) return false;
    const std::string fileName = library.path.filename().string();
    if (settings.progress)
        settings.progress(platform::FormatText("Loading VST PlugIn %s...", fileName.c_str()));
    bool pluginMain = true;
    auto entry = reinterpret_cast<EntryProc>(dlsym(handle, "VSTPluginMain"));
    if (!entry) {
        pluginMain = false;
        entry = reinterpret_cast<EntryProc>(dlsym(handle, "main"));
    }
    if (!entry) {
        dlclose(handle);
        return false;
    }
    const std::string name = library.path.stem().string();
    auto* info = new CVSTAdapterInfo(host, handle, entry, pluginMain, name, library.folder.string());
    host->RegisterMachine(info);
    return true;
}

} // namespace

std::vector<fs::path> DefaultVSTFolders() {
    std::vector<fs::path> folders{platform::ProgramFolder() / "vst"};
    if (const char* home = std::getenv("HOME"); home && *home) {
        folders.push_back(fs::path(home) / ".vst");
        folders.push_back(fs::path(home) / ".lxvst");
    }
    for (const char* folder :
         {"/usr/local/lib/vst", "/usr/local/lib/lxvst", "/usr/lib/vst", "/usr/lib/lxvst"})
        folders.emplace_back(folder);
    return folders;
}

std::vector<fs::path> VSTScanFolders(const std::vector<fs::path>& optionsFolders) {
    std::vector<fs::path> folders = optionsFolders;
    if (const char* variable = std::getenv("VST_PATH"); variable && *variable) {
        std::istringstream entries(variable);
        std::string entry;
        while (std::getline(entries, entry, ':'))
            if (!entry.empty()) folders.emplace_back(entry);
    }
    return folders;
}

fs::path DefaultVSTSkipListPath() {
    return platform::AppDataFolder() / "Tamborel Studio" / "VSTSkipped.txt";
}

fs::path DefaultVSTKnownGoodListPath() {
    return platform::AppDataFolder() / "Tamborel Studio" / "VSTKnownGood.txt";
}

VSTScanResult ScanVSTFolders(const std::vector<fs::path>& folders, CVeskHost* host,
                             const VSTScanSettings& settings) {
    VSTScanResult result;
    std::set<fs::path> seenFolders;
    std::set<fs::path> seenLibraries;
    std::vector<Library> libraries;
    for (const fs::path& folder : folders)
        CollectLibraries(folder, seenFolders, seenLibraries, libraries);
    if (libraries.empty()) return result;

    auto report = [&](const std::string& path, const std::string& reason) {
        result.skipped.push_back(path + ": " + reason);
        if (settings.skipped)
            settings.skipped(path, reason);
        else
            std::fprintf(stderr, "Skipping VST plug-in <%s>: it %s\n", path.c_str(), reason.c_str());
    };

    std::map<std::string, SkipEntry> skipList;
    if (!settings.skipListPath.empty()) skipList = ReadSkipList(settings.skipListPath);
    std::map<std::string, SkipEntry> knownGood;
    if (!settings.knownGoodListPath.empty()) knownGood = ReadSkipList(settings.knownGoodListPath);
    bool skipListChanged = false;
    bool knownGoodChanged = false;
    std::vector<bool> wanted(libraries.size(), true);
    std::vector<bool> probe(libraries.size(), true);
    for (size_t i = 0; i < libraries.size(); ++i) {
        const std::string key = libraries[i].realPath.string();
        const FileStamp stamp = StampOf(libraries[i].realPath);
        if (const auto good = knownGood.find(key); good != knownGood.end()) {
            // Came up cleanly last time and has not changed since: no trial needed.
            if (good->second.stamp == stamp) {
                probe[i] = false;
                continue;
            }
            knownGood.erase(good);
            knownGoodChanged = true;
        }
        const auto known = skipList.find(key);
        if (known == skipList.end()) continue;
        if (known->second.stamp == stamp) {
            wanted[i] = probe[i] = false;
            report(libraries[i].path.string(),
                   known->second.reason + " before; skipped until the file changes");
        } else {
            skipList.erase(known); // a new version gets a new chance
            skipListChanged = true;
        }
    }

    const std::vector<ProbeOutcome> outcomes = ProbeLibraries(libraries, probe, settings);
    for (size_t i = 0; i < libraries.size(); ++i) {
        if (!wanted[i]) continue;
        const ProbeOutcome& outcome = outcomes[i];
        const std::string key = libraries[i].realPath.string();
        if (probe[i]) {
            ++result.probed;
            if (outcome.verdict == Verdict::Crashed || outcome.verdict == Verdict::Hung) {
                report(libraries[i].path.string(), outcome.reason);
                skipList[key] = {StampOf(libraries[i].realPath), outcome.reason};
                skipListChanged = true;
                continue;
            }
            if (outcome.verdict == Verdict::Silent) continue;
            knownGood[key] = {StampOf(libraries[i].realPath), "ok"};
            knownGoodChanged = true;
        }
        try {
            if (LoadLibrary(libraries[i], host, settings)) ++result.registered;
        } catch (const platform::CError& error) {
            std::fprintf(stderr, "%s\n", error.what());
        }
    }
    if (skipListChanged && !settings.skipListPath.empty()) WriteSkipList(settings.skipListPath, skipList);
    if (knownGoodChanged && !settings.knownGoodListPath.empty())
        WriteSkipList(settings.knownGoodListPath, knownGood);
    return result;
}
