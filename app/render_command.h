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
    bool parallel = false; // --parallel: machines on their own workers, as live
    bool force = false;    // --force: an existing file that is not a WAV file may be replaced
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
// tail, and writes the file. Messages (no master, the summary, the progress bar when `progress`
// is set) go to `messages`; failures are raised.
//
// Nothing is destroyed by mistake: the output (and every stem) is checked before the project is
// loaded. A folder, a device, a pipe or a socket is refused, as are the project itself, its
// backup and a file that is not a WAV file (unless `force`); a link is written through (the file
// it points to is replaced, the link stays). Every file is written as "<file>.part", checked to
// its last byte and flushed to the disk, and renamed only when all of them are complete; a failed
// write removes the partial files and names the file. SIGINT or SIGTERM stops the render within a
// buffer or two and keeps what was rendered as valid WAV files under the ".part" names (raised as
// a text that says so); while rendering, the mix's header is brought up to date twice a second,
// so even a killed render leaves a playable ".part".
RenderReport RenderProject(const RenderRequest& request, std::ostream& messages, bool progress);
