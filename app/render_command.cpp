#include "app/render_command.h"

#include "app/application.h"
#include "engine/studio.h"
#include "host_machines/hd_recorder/hd_track.h"
#include "host_machines/hd_recorder/stems.h"
#include "host_machines/wav/wav_file.h"
#include "machine_interface/sample_peaks.h"
#include "platform/error.h"
#include "platform/random.h"
#include "platform/text_encoding.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <ostream>
#include <unistd.h>

namespace {

// The studio's machines in frame order, for the stems to find the HD recorder tracks among.
std::vector<StemSource> StemSources(CStudio& studio) {
    std::vector<StemSource> sources;
    for (CMachineContainer* frame : studio.Frames()) sources.push_back({frame->Name(), frame->Info(), frame->Machine()});
    return sources;
}

int64_t ParseInteger(const std::string& option, const std::string& text, int64_t low, int64_t high) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high)
        platform::Raise("Option %s Needs A Whole Number From %lld To %lld, Not '%s'", option.c_str(),
                        static_cast<long long>(low), static_cast<long long>(high), text.c_str());
    return value;
}

double ParseSeconds(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value < 0.0 || value > 3600.0)
        platform::Raise("Option %s Needs Seconds From 0 To 3600, Not '%s'", option.c_str(), text.c_str());
    return value;
}

// "1:23.456" for a length in seconds.
std::string FormatDuration(double seconds) {
    const auto minutes = static_cast<int>(seconds / 60.0);
    return platform::FormatText("%d:%06.3f", minutes, seconds - 60.0 * minutes);
}

void DrawProgress(std::ostream& out, int64_t done, int64_t total) {
    constexpr int kWidth = 40;
    const double fraction = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
    const int filled = static_cast<int>(fraction * kWidth);
    out << "\r[" << std::string(static_cast<size_t>(filled), '#')
        << std::string(static_cast<size_t>(kWidth - filled), ' ') << "] "
        << static_cast<int>(fraction * 100.0) << '%' << std::flush;
}

namespace fs = std::filesystem;

// ----- Interrupts -----

// The signal that asked the render to stop (0: none). Set by the handler, read by the render loop.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

// The first signal asks the render to stop; a second one (a render stuck in a machine) ends the
// program the ordinary way.
extern "C" void OnStopSignal(int signal) {
    if (g_stopSignal.exchange(signal, std::memory_order_relaxed) != 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

// While it lives, SIGINT and SIGTERM ask the render loop to stop instead of ending the program;
// the handlers that were there before come back afterwards.
class CStopSignals {
public:
    CStopSignals() {
        g_stopSignal.store(0);
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &m_oldInterrupt);
        sigaction(SIGTERM, &action, &m_oldTerminate);
    }
    ~CStopSignals() {
        sigaction(SIGINT, &m_oldInterrupt, nullptr);
        sigaction(SIGTERM, &m_oldTerminate, nullptr);
    }
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;
    static int Signal() { return g_stopSignal.load(std::memory_order_relaxed); }

private:
    struct sigaction m_oldInterrupt {};
    struct sigaction m_oldTerminate {};
};

// ----- Output checks -----

// Whether the file starts as a RIFF/WAVE file does; an empty file counts too (nothing to lose).
bool HoldsWavOrNothing(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    char start[12] = {};
    in.read(start, sizeof start);
    if (in.gcount() == 0) return true;
    return in.gcount() == 12 && std::memcmp(start, "RIFF", 4) == 0 && std::memcmp(start + 8, "WAVE", 4) == 0;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

// The same place by name, for files that need not exist yet.
bool SamePlace(const fs::path& a, const fs::path& b) {
    std::error_code error;
    const fs::path first = fs::weakly_canonical(fs::absolute(a), error);
    const fs::path second = fs::weakly_canonical(fs::absolute(b), error);
    return !error && first == second;
}

// The file a render may replace for `given` (a link resolved to the file it names), or a raised
// text saying why not. `what` names the file in the texts ("Output", "Stem").
fs::path CheckTarget(const fs::path& given, const fs::path& project, bool force, const char* what) {
    const char* shown = given.c_str();
    std::error_code error;
    const fs::file_status status = fs::status(given, error); // through links
    const fs::path backup = project.string() + ".bak";
    if (!fs::exists(status)) {
        if (fs::is_symlink(fs::symlink_status(given, error)))
            platform::Raise("%s '%s' Is A Link To A File That Does Not Exist", what, shown);
        const fs::path folder = given.parent_path().empty() ? fs::path(".") : given.parent_path();
        if (!fs::is_directory(folder, error))
            platform::Raise("%s '%s' Cannot Be Made: Folder '%s' Does Not Exist", what, shown,
                            folder.c_str());
        if (SamePlace(given, backup))
            platform::Raise("%s '%s' Is The Project's Backup; Choose Another Name", what, shown);
        return given;
    }
    if (fs::is_directory(status)) platform::Raise("%s '%s' Is A Folder, Not A File", what, shown);
    if (!fs::is_regular_file(status))
        platform::Raise("%s '%s' Is Not A Regular File (A Device, Pipe Or Socket); Render To A File", what,
                        shown);
    // A link is written through: the file it names is the one replaced.
    fs::path target = given;
    if (fs::is_symlink(fs::symlink_status(given, error))) {
        target = fs::canonical(given, error);
        if (error) platform::Raise("%s '%s' Cannot Be Resolved (%s)", what, shown, error.message().c_str());
    }
    if (SameFile(target, project))
        platform::Raise("%s '%s' Is The Project Itself; Choose Another Name", what, shown);
    if (SameFile(target, backup))
        platform::Raise("%s '%s' Is The Project's Backup; Choose Another Name", what, shown);
    if (!force && !HoldsWavOrNothing(target))
        platform::Raise("%s '%s' Exists And Is Not A WAV File; Add --force To Replace It", what, shown);
    return target;
}

// The partial file beside a target: whatever an earlier render left there is replaced, unless it
// is something that must not be removed.
fs::path PreparePartial(const fs::path& target, const fs::path& project) {
    const fs::path partial = target.string() + ".part";
    std::error_code error;
    const fs::file_status status = fs::symlink_status(partial, error);
    if (!fs::exists(status)) return partial;
    if (fs::is_symlink(status) || fs::is_regular_file(status)) {
        if (SameFile(partial, project))
            platform::Raise("The Render's Partial File '%s' Is The Project; Choose Another Output",
                            partial.c_str());
        return partial;
    }
    platform::Raise("The Render's Partial File '%s' Is In The Way (Not A Regular File)", partial.c_str());
}

// Makes the renames inside the folder durable.
void SyncFolder(const fs::path& file) {
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

void RemovePartial(const fs::path& partial) {
    std::error_code error;
    fs::remove(partial, error);
}

// Any text raised while loading may quote names and the project text: 8-bit texts.
template <typename Function> auto WithUtf8Errors(Function&& function) {
    try {
        return function();
    } catch (const std::exception& error) {
        throw platform::CError(platform::EightBitToUtf8(error.what()));
    }
}

} // namespace

RenderRequest ParseRenderArguments(const std::vector<std::string>& args) {
    RenderRequest request;
    bool haveProject = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) platform::Raise("Option %s Needs A Value", arg.c_str());
            return args[++i];
        };
        if (arg == "-o" || arg == "--output")
            request.output = value();
        else if (arg == "--rate")
            request.sampleRate = static_cast<int32_t>(ParseInteger(arg, value(), 8000, 384000));
        else if (arg == "--buffer")
            request.bufferSize = static_cast<int32_t>(ParseInteger(arg, value(), 16, 8192));
        else if (arg == "--format") {
            const std::string& format = value();
            if (format != "s16" && format != "f32")
                platform::Raise("Option --format Takes s16 Or f32, Not '%s'", format.c_str());
            request.floatSamples = format == "f32";
        } else if (arg == "--loops")
            request.loops = static_cast<int32_t>(ParseInteger(arg, value(), 1, 1000));
        else if (arg == "--tail")
            request.tailSeconds = ParseSeconds(arg, value());
        else if (arg == "--seed")
            request.seed = static_cast<uint32_t>(ParseInteger(arg, value(), 0, 0xFFFFFFFFll));
        else if (arg == "--stems")
            request.stemsFolder = value();
        else if (arg == "--parallel")
            request.parallel = true;
        else if (arg == "--force")
            request.force = true;
        else if (!arg.empty() && arg[0] == '-')
            platform::Raise("Unknown option '%s'", arg.c_str());
        else if (!haveProject) {
            request.project = arg;
            haveProject = true;
        } else
            platform::Raise("Unexpected argument '%s'", arg.c_str());
    }
    if (!haveProject) platform::Raise("No project given: tamborel render PROJECT -o OUT.wav");
    if (request.output.empty()) platform::Raise("No output file given: tamborel render PROJECT -o OUT.wav");
    return request;
}

RenderReport RenderProject(const RenderRequest& request, std::ostream& messages, bool progress) {
    // Everything about the output is settled before the project loads: a typo must not cost a
    // long render, let alone a file.
    const fs::path output = CheckTarget(request.output, request.project, request.force, "Output");
    const fs::path outputPartial = PreparePartial(output, request.project);
    if (request.stemsFolder) {
        std::error_code error;
        const fs::file_status status = fs::status(*request.stemsFolder, error);
        if (fs::exists(status) && !fs::is_directory(status))
            platform::Raise("Stems Folder '%s' Is Not A Folder", request.stemsFolder->c_str());
    }

    // Machines draw their noise seeds from the process-wide generator as they are built, so it is
    // pinned before the first machine exists.
    if (request.seed) platform::PinRandomSeed(*request.seed);

    CApplication::Settings settings;
    settings.audio = CApplication::Audio::Offline;
    settings.sampleRate = request.sampleRate;
    settings.bufferSize = request.bufferSize;
    settings.offlineChannels = 2;
    settings.newProject = false;
    settings.messages = &messages;
    std::unique_ptr<CApplication> owner =
        WithUtf8Errors([&] { return OpenWithMachines(settings, request.project); });
    CApplication& application = *owner;

    CStudio& studio = *application.Studio();
    studio.SetSingleThreaded(!request.parallel);
    CSequenceEditor& song = application.Sequencer()->Song();
    if (!studio.MasterFrame())
        messages << "tamborel: the project has no master machine; the file will be silent\n";

    // The lengths in floating point first: no integer product below can overflow.
    const int64_t songFrames = song.SongSamples();
    const auto tailFrames = static_cast<int64_t>(std::llround(request.tailSeconds * request.sampleRate));
    constexpr int64_t kMaxFrames = int64_t{0xFFFFFFFF} / 8;
    const double wanted = static_cast<double>(songFrames) * request.loops + static_cast<double>(tailFrames);
    if (songFrames <= 0 || !(wanted <= static_cast<double>(kMaxFrames))) {
        if (songFrames <= 0)
            platform::Raise("The Song Of '%s' Has No Length At %g BPM; Nothing Was Rendered",
                            request.project.c_str(), static_cast<double>(application.Host()->GetBPM()));
        platform::Raise("The Render Would Last Too Long For A WAV File (%.0f Frames)", wanted);
    }
    const int64_t total = songFrames * request.loops + tailFrames;

    std::vector<StemFile> stems;
    if (request.stemsFolder) {
        std::error_code error;
        fs::create_directories(*request.stemsFolder, error);
        if (!fs::is_directory(*request.stemsFolder, error))
            platform::Raise("Failed To Create Folder '%s'", request.stemsFolder->c_str());
        stems = WithUtf8Errors([&] { return PlanStems(StemSources(studio), *request.stemsFolder); });
        for (StemFile& stem : stems) {
            if (SamePlace(stem.file, output))
                platform::Raise("Output '%s' Is Also The File Of A Stem", request.output.c_str());
            stem.file = CheckTarget(stem.file, request.project, request.force, "Stem");
            stem.partial = PreparePartial(stem.file, request.project);
        }
    }

    // Stale partial files of an earlier render go first; then the new ones are made.
    RemovePartial(outputPartial);
    for (const StemFile& stem : stems)
        RemovePartial(stem.partial);
    auto removeAllPartials = [&] {
        RemovePartial(outputPartial);
        for (const StemFile& stem : stems)
            RemovePartial(stem.partial);
    };
    CWavFileWriter writer;
    if (!writer.Open(outputPartial.string(), request.floatSamples ? kWavFormatFloat : kWavFormatPcm, 2,
                     static_cast<uint32_t>(request.sampleRate))) {
        RemovePartial(outputPartial);
        platform::Raise("Failed To Open File '%s' For Writing (%s)", outputPartial.c_str(),
                        std::strerror(writer.ErrorNumber()));
    }

    RenderReport report;
    if (!stems.empty()) {
        try {
            StartStems(stems, request.floatSamples);
        } catch (const std::exception&) {
            writer.Close();
            removeAllPartials();
            throw;
        }
    }
    for (const StemFile& stem : stems)
        report.stems.push_back(stem.file);

    CStopSignals signals;
    song.SetLoop(request.loops > 1);
    song.PlaySong();
    const auto started = std::chrono::steady_clock::now();
    constexpr auto kHeaderInterval = std::chrono::milliseconds(500);
    auto headerWritten = started;
    constexpr int32_t kChunk = 4096;
    std::vector<float> left(kChunk), right(kChunk);
    float* channels[] = {left.data(), right.data()};
    // The loop is switched off half-way through the last pass, so the song ends by itself there.
    const int64_t lastPassMiddle = songFrames * (request.loops - 1) + songFrames / 2;
    int64_t done = 0;
    int64_t lastDrawn = -1;
    bool failed = false;
    while (done < total && !failed && CStopSignals::Signal() == 0) {
        if (request.loops > 1 && done >= lastPassMiddle) song.SetLoop(false);
        const auto frames = static_cast<int32_t>(std::min<int64_t>(kChunk, total - done));
        application.Offline()->Render(channels, 2, frames);
        // A NaN counts as the loudest sample there is, so the summary never calls it silence.
        report.peak = sample_peaks::MagnitudeCountingNaN(left.data(), frames, report.peak);
        report.peak = sample_peaks::MagnitudeCountingNaN(right.data(), frames, report.peak);
        failed = !writer.AppendFrames(left.data(), right.data(), frames);
        done += frames;
        // A render killed outright still leaves a file that plays up to here.
        const auto now = std::chrono::steady_clock::now();
        if (now - headerWritten >= kHeaderInterval) {
            failed = !writer.RewriteHeader() || failed;
            headerWritten = now;
        }
        if (progress && (done - lastDrawn >= request.sampleRate || done == total)) {
            DrawProgress(messages, done, total);
            lastDrawn = done;
        }
    }
    if (progress) messages << '\n';
    song.StopSong();
    if (!stems.empty()) StopStems();

    // Every file checked to its last byte and on the disk before any of them takes its name.
    std::string problems;
    if (!writer.Sync() || !writer.Close())
        problems += platform::FormatText("Failed To Write File '%s' (%s)", request.output.c_str(),
                                         std::strerror(writer.ErrorNumber()));
    for (const StemFile& stem : stems) {
        const std::string reason = CheckStem(stem, done);
        if (reason.empty()) continue;
        if (!problems.empty()) problems += "; ";
        problems += platform::FormatText("Failed To Write Stem '%s' (%s)", stem.file.c_str(), reason.c_str());
    }
    if (!problems.empty()) {
        removeAllPartials();
        platform::Raise("%s", platform::EightBitToUtf8(problems).c_str());
    }

    if (const int signal = CStopSignals::Signal(); signal != 0 && done < total) {
        std::string kept = platform::FormatText("'%s'", outputPartial.c_str());
        for (const StemFile& stem : stems)
            kept += platform::FormatText(", '%s'", stem.partial.c_str());
        platform::Raise("Render Stopped By %s After %s Of %s; What Was Rendered Is Kept In %s",
                        signal == SIGINT ? "Ctrl-C (SIGINT)" : "SIGTERM",
                        FormatDuration(static_cast<double>(done) / request.sampleRate).c_str(),
                        FormatDuration(static_cast<double>(total) / request.sampleRate).c_str(),
                        kept.c_str());
    }

    std::error_code error;
    for (const StemFile& stem : stems) {
        fs::rename(stem.partial, stem.file, error);
        if (error) {
            removeAllPartials();
            platform::Raise("Failed To Write Stem '%s' (%s)", stem.file.c_str(), error.message().c_str());
        }
    }
    fs::rename(outputPartial, output, error);
    if (error) {
        removeAllPartials();
        platform::Raise("Failed To Write File '%s' (%s)", request.output.c_str(), error.message().c_str());
    }
    SyncFolder(output);
    if (!stems.empty()) SyncFolder(stems.front().file);

    report.frames = total;
    report.audioSeconds = static_cast<double>(total) / request.sampleRate;
    report.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double factor = report.wallSeconds > 0.0 ? report.audioSeconds / report.wallSeconds : 0.0;
    // Every sample zero says "silent", never a peak of -inf dBFS.
    const std::string peak = report.peak > 0.0f
                                 ? platform::FormatText("peak %.1f dBFS", 20.0 * std::log10(report.peak))
                                 : std::string("silent (every sample is 0)");
    messages << platform::FormatText("tamborel: rendered %s of audio in %.2f s (%.1fx real time), %s\n",
                                     FormatDuration(report.audioSeconds).c_str(), report.wallSeconds, factor,
                                     peak.c_str());
    return report;
}
