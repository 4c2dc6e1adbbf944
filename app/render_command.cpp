#include "app/render_command.h"

#include "app/application.h"
#include "app/stems.h"
#include "host_machines/wav/wav_file.h"
#include "platform/error.h"
#include "platform/random.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <ostream>

namespace {

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
    std::unique_ptr<CApplication> owner = OpenWithMachines(settings, request.project);
    CApplication& application = *owner;

    CStudio& studio = *application.Studio();
    studio.SetSingleThreaded(!request.parallel);
    CSequenceEditor& song = application.Sequencer()->Song();
    if (!studio.MasterFrame())
        messages << "tamborel: the project has no master machine; the file will be silent\n";

    const int64_t songFrames = song.SongSamples();
    const auto tailFrames = static_cast<int64_t>(std::llround(request.tailSeconds * request.sampleRate));
    const int64_t total = songFrames * request.loops + tailFrames;
    if (total > int64_t{0xFFFFFFFF} / 8)
        platform::Raise("The Render Would Last Too Long For A WAV File (%lld Frames)",
                        static_cast<long long>(total));

    // Written under a temporary name and renamed at the end: a failed render leaves no half file.
    const std::filesystem::path partial = request.output.string() + ".part";
    CWavFileWriter writer;
    if (!writer.Open(partial.string(), request.floatSamples ? kWavFormatFloat : kWavFormatPcm, 2,
                     static_cast<uint32_t>(request.sampleRate)))
        platform::Raise("Failed To Open File '%s' For Writing", request.output.c_str());

    RenderReport report;
    if (request.stemsFolder) report.stems = StartStems(studio, *request.stemsFolder, request.floatSamples);

    song.SetLoop(request.loops > 1);
    song.PlaySong();
    const auto started = std::chrono::steady_clock::now();
    constexpr int32_t kChunk = 4096;
    std::vector<float> left(kChunk), right(kChunk);
    float* channels[] = {left.data(), right.data()};
    // The loop is switched off half-way through the last pass, so the song ends by itself there.
    const int64_t lastPassMiddle = songFrames * (request.loops - 1) + songFrames / 2;
    int64_t done = 0;
    int64_t lastDrawn = -1;
    bool failed = false;
    while (done < total && !failed) {
        if (request.loops > 1 && done >= lastPassMiddle) song.SetLoop(false);
        const auto frames = static_cast<int32_t>(std::min<int64_t>(kChunk, total - done));
        application.Offline()->Render(channels, 2, frames);
        // A NaN counts as the loudest sample there is, so the summary never calls it silence.
        for (int32_t i = 0; i < frames; ++i)
            for (const float sample : {left[i], right[i]})
                report.peak = std::max(report.peak, std::isnan(sample) ? INFINITY : std::fabs(sample));
        failed = !writer.AppendFrames(left.data(), right.data(), frames);
        done += frames;
        if (progress && (done - lastDrawn >= request.sampleRate || done == total)) {
            DrawProgress(messages, done, total);
            lastDrawn = done;
        }
    }
    if (progress) messages << '\n';
    song.StopSong();
    if (request.stemsFolder) StopStems();
    writer.Close();
    std::error_code error;
    if (failed || std::filesystem::file_size(partial, error) != kWavHeaderSize + writer.DataSize()) {
        std::filesystem::remove(partial, error);
        platform::Raise("Failed To Write File '%s'", request.output.c_str());
    }
    std::filesystem::rename(partial, request.output, error);
    if (error) {
        std::filesystem::remove(partial, error);
        platform::Raise("Failed To Write File '%s'", request.output.c_str());
    }

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
