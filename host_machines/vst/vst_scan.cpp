#include "host_machines/vst/vst_scan.h"

#include "host_machines/vst/vst_adapter.h"
#include "host_machines/vst/vst_cache.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "platform/error.h"
#include "platform/files.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
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

// ---- the trial in a child process ----------------------------------------------------------

enum ProbeExit : int {
    kProbeOk = 0,
    kProbeNoLoad = 3,
    kProbeNoEntry = 4,
    kProbeNoEffect = 5,
    kProbeOrphan = 6,
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

std::string AskText(AEffect* effect, int32_t opcode) {
    char text[kTextBufferSize] = {};
    effect->dispatcher(effect, opcode, 0, 0, text, 0.0f);
    text[63] = '\0';
    return text;
}

// Runs in the child: brings the plug-in up the way an adapter does, asks what it is, renders one
// block, writes its facts to the pipe and takes it down again. Never returns.
[[noreturn]] void ProbeInChild(const fs::path& path, int reportFd, pid_t parent) {
    // Die with the program, even when it is killed: a plug-in hanging here must not outlive it.
    // (The signal comes when the forking thread ends: the scan runs on the user-interface thread,
    // which lives as long as the program.)
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(kProbeOrphan);
    setpgid(0, 0);
    // A crash must end the child with its signal, not in a handler inherited from the parent,
    // and the plug-in's chatter is heard once, when the program loads it for real.
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGTERM, SIGINT})
        std::signal(signal, SIG_DFL);
    if (const int null = open("/dev/null", O_WRONLY); null >= 0) {
        dup2(null, 1);
        dup2(null, 2);
    }
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) _exit(kProbeNoLoad);
    VSTLibraryFacts facts;
    auto entry = reinterpret_cast<EntryProc>(dlsym(library, "VSTPluginMain"));
    if (!entry) {
        facts.pluginMain = false;
        entry = reinterpret_cast<EntryProc>(dlsym(library, "main"));
    }
    if (!entry) _exit(kProbeNoEntry);
    AEffect* effect = entry(&ProbeCallback);
    if (!effect || effect->magic != kEffectMagic) _exit(kProbeNoEffect);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, 512, nullptr, 0.0f);
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    facts.uniqueId = effect->uniqueID;
    facts.inputs = effect->numInputs;
    facts.outputs = effect->numOutputs;
    facts.parameters = effect->numParams;
    facts.programs = effect->numPrograms;
    facts.flags = effect->flags;
    facts.effectName = AskText(effect, effGetEffectName);
    facts.vendor = AskText(effect, effGetVendorString);
    facts.product = AskText(effect, effGetProductString);
    facts.vendorVersion =
        static_cast<int32_t>(effect->dispatcher(effect, effGetVendorVersion, 0, 0, nullptr, 0.0f));
    facts.category =
        static_cast<int32_t>(effect->dispatcher(effect, effGetPlugCategory, 0, 0, nullptr, 0.0f));
    char canDo[] = "receiveVstMIDIEvent";
    facts.takesMidi = effect->dispatcher(effect, effCanDo, 0, 0, canDo, 0.0f) != 0 ||
                      (effect->flags & effFlagsIsSynth) != 0;
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
    // Written before the plug-in closes: a crash on the way down still counts as a crash (the
    // exit status decides), but the facts are complete. A line is far below the pipe's capacity.
    const std::string line = FactsToLine(facts) + "\n";
    if (write(reportFd, line.data(), line.size()) < 0) _exit(kProbeNoEffect);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    _exit(kProbeOk);
}

struct Probe {
    size_t library;
    pid_t pid;
    int reportFd;
    std::chrono::steady_clock::time_point started;
};

// The children still running; whatever way the scan ends, each one (and its process group) is
// killed and reaped.
class CProbeChildren {
public:
    ~CProbeChildren() {
        for (const Probe& probe : m_running)
            End(probe, true);
    }
    std::vector<Probe>& Running() { return m_running; }
    // Kills the child's process group when asked (and what the plug-in left behind in any case),
    // reaps the child, closes its pipe. Returns the wait status.
    static int End(const Probe& probe, bool kill) {
        if (kill) ::kill(-probe.pid, SIGKILL), ::kill(probe.pid, SIGKILL);
        int status = 0;
        while (waitpid(probe.pid, &status, 0) < 0 && errno == EINTR) {
        }
        ::kill(-probe.pid, SIGKILL); // anything the plug-in started in the child's group
        close(probe.reportFd);
        return status;
    }

private:
    std::vector<Probe> m_running;
};

VSTLibraryFacts Judge(int status, const std::string& report) {
    VSTLibraryFacts facts;
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        facts.kind = VSTLibraryFacts::Kind::Crashed;
        facts.reason = std::string("crashed while loading (signal ") + std::to_string(signal) + ", " +
                       strsignal(signal) + ")";
        return facts;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == kProbeOk && FactsFromLine(report.substr(0, report.find('\n')), facts)) return facts;
    facts = {};
    switch (code) {
    case kProbeNoLoad:
        facts.kind = VSTLibraryFacts::Kind::NoLoad;
        return facts;
    case kProbeNoEntry:
        facts.kind = VSTLibraryFacts::Kind::NoEntry;
        return facts;
    case kProbeNoEffect:
        facts.kind = VSTLibraryFacts::Kind::NoEffect;
        return facts;
    default:
        break;
    }
    facts.kind = VSTLibraryFacts::Kind::Crashed;
    facts.reason = code == kProbeOk ? std::string("ended while loading without telling what it is")
                                    : "ended while loading (exit status " + std::to_string(code) + ")";
    return facts;
}

std::string ReadAll(int fd) {
    std::string text;
    char chunk[1024];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got > 0) {
            text.append(chunk, static_cast<size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        return text;
    }
}

// Tries the wanted libraries in child processes, a few at a time; the facts per library (a
// library whose child could not be made is left out, so it is tried again next time).
std::vector<std::optional<VSTLibraryFacts>> ProbeLibraries(const std::vector<Library>& libraries,
                                                           const std::vector<bool>& wanted,
                                                           const VSTScanSettings& settings) {
    std::vector<std::optional<VSTLibraryFacts>> outcomes(libraries.size());
    CProbeChildren children;
    std::vector<Probe>& running = children.Running();
    size_t next = 0;
    const auto timeout = std::chrono::milliseconds(settings.probeTimeoutMilliseconds);
    const pid_t parent = getpid();
    std::fflush(nullptr); // nothing buffered may be written twice by a child
    while (next < libraries.size() || !running.empty()) {
        while (next < libraries.size() &&
               static_cast<int>(running.size()) < std::max(1, settings.parallelProbes)) {
            const size_t index = next++;
            if (!wanted[index]) continue;
            int report[2];
            if (pipe2(report, O_CLOEXEC) != 0) continue;
            const pid_t pid = fork();
            if (pid == 0) {
                close(report[0]);
                ProbeInChild(libraries[index].realPath, report[1], parent);
            }
            close(report[1]);
            if (pid < 0) {
                close(report[0]);
                continue;
            }
            setpgid(pid, pid); // also here: whichever runs first, the group exists before a kill
            running.push_back({index, pid, report[0], std::chrono::steady_clock::now()});
        }
        bool changed = false;
        for (size_t i = 0; i < running.size();) {
            const Probe probe = running[i];
            int status = 0;
            const pid_t done = waitpid(probe.pid, &status, WNOHANG);
            if (done == probe.pid) {
                const std::string text = ReadAll(probe.reportFd);
                ::kill(-probe.pid, SIGKILL);
                close(probe.reportFd);
                outcomes[probe.library] = Judge(status, text);
            } else if (std::chrono::steady_clock::now() - probe.started > timeout) {
                CProbeChildren::End(probe, true);
                VSTLibraryFacts hung;
                hung.kind = VSTLibraryFacts::Kind::Hung;
                hung.reason = "hung while loading (no answer within " +
                              std::to_string(settings.probeTimeoutMilliseconds) + " ms)";
                outcomes[probe.library] = hung;
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

// Registers one plug-in from its facts; nothing is loaded.
void Register(const Library& library, const VSTLibraryFacts& facts, CVeskHost* host,
              const VSTScanSettings& settings) {
    const std::string fileName = library.path.filename().string();
    if (settings.progress)
        settings.progress(platform::FormatText("Loading VST PlugIn %s...", fileName.c_str()));
    auto* info = new CVSTAdapterInfo(host, facts, library.path.string(), library.path.stem().string(),
                                     library.folder.string());
    info->SetTransport(settings.transport);
    host->RegisterMachine(info);
    if (MachineRegistry* registry = host->Registry()) {
        char uniqueId[16];
        std::snprintf(uniqueId, sizeof uniqueId, "%08x", static_cast<uint32_t>(facts.uniqueId));
        MachineIdentity identity;
        identity.facts = {{"uid", uniqueId}, {"name", facts.ShownName()}, {"file", fileName}};
        identity.names = {library.path.stem().string(), facts.effectName, facts.product};
        const std::string shown =
            facts.ShownName().empty() ? library.path.stem().string() : facts.ShownName();
        identity.description = shown + " (" + library.path.string() + ")";
        identity.identifierSize = 10;
        registry->SetIdentity(info, std::move(identity));
    }
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

fs::path DefaultVSTCachePath() {
    return platform::AppDataFolder() / "Tamborel Studio" / "VSTCache.txt";
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

    CVSTCache cache;
    if (!settings.cachePath.empty()) cache.Load(settings.cachePath);
    std::vector<VSTFileStamp> stamps(libraries.size());
    std::vector<std::optional<VSTLibraryFacts>> facts(libraries.size());
    std::vector<bool> probe(libraries.size(), false);
    std::vector<bool> fromCache(libraries.size(), false);
    for (size_t i = 0; i < libraries.size(); ++i) {
        stamps[i] = StampOfFile(libraries[i].realPath);
        if (const VSTLibraryFacts* known = cache.Find(libraries[i].realPath.string(), stamps[i])) {
            facts[i] = *known;
            fromCache[i] = true;
            ++result.cached;
        } else {
            probe[i] = true; // new, or changed since its last trial
        }
    }

    const std::vector<std::optional<VSTLibraryFacts>> probed = ProbeLibraries(libraries, probe, settings);
    bool cacheChanged = cache.ForgetMissing();
    for (size_t i = 0; i < libraries.size(); ++i) {
        if (!probe[i]) continue;
        ++result.probed;
        if (!probed[i]) continue;
        facts[i] = probed[i];
        cache.Put(libraries[i].realPath.string(), stamps[i], *probed[i]);
        cacheChanged = true;
    }

    for (size_t i = 0; i < libraries.size(); ++i) {
        if (!facts[i]) continue;
        const VSTLibraryFacts& fact = *facts[i];
        switch (fact.kind) {
        case VSTLibraryFacts::Kind::Crashed:
        case VSTLibraryFacts::Kind::Hung:
            report(libraries[i].path.string(),
                   fromCache[i] ? fact.reason + " before; skipped until the file changes" : fact.reason);
            break;
        case VSTLibraryFacts::Kind::Plugin:
            try {
                Register(libraries[i], fact, host, settings);
                ++result.registered;
            } catch (const platform::CError& error) {
                std::fprintf(stderr, "%s\n", error.what());
            }
            break;
        default:
            break; // not a plug-in: skipped silently
        }
    }
    if (cacheChanged && !settings.cachePath.empty()) cache.Save(settings.cachePath);
    return result;
}
