// `tamborel render PROJECT -o OUT.wav [options]`: bounces the song to a stereo WAV file through
// the offline renderer, as fast as the machine allows. Main thread; every machine renders on it
// (no hand-overs between threads, as live play does), or with --parallel on its own worker — the
// same samples either way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

struct RenderRequest {
    std::filesystem::path project;
    std::filesystem::path output;
    int32_t sampleRate = 44100;
    int32_t bufferSize = 256;
    bool floatSamples = false; // --format f32; 16-bit PCM otherwise
    int32_t loops = 1;
    double tailSeconds = 2.0;
    std::optional<uint32_t> seed;
    std::optional<std::filesystem::path> stemsFolder;
    bool parallel = false; // --parallel: machines on their own workers
};

// What a finished render reports (also printed as one line on stderr).
struct RenderReport {
    int64_t frames = 0;
    double audioSeconds = 0.0;
    double wallSeconds = 0.0;
    float peak = 0.0f; // largest |sample| written, before conversion
    std::vector<std::filesystem::path> stems;
};

// Parses the words after "render". Raises "Unknown option '%s'" and similar on bad input.
RenderRequest ParseRenderArguments(const std::vector<std::string>& args);

// Loads the project into an offline studio, plays the song `loops` times from its start, then the
// tail, and writes the file (through a temporary name, so a failed render leaves no half file).
// Messages (no master, the summary, the progress bar when `progress` is set) go to `messages`.
RenderReport RenderProject(const RenderRequest& request, std::ostream& messages, bool progress);
