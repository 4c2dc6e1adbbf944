// Rendering a whole song through the offline renderer, as `tamborel render` does: the demo song
// and a song of one BassHead line, at 256 and 64 frames per buffer, every machine on the rendering
// thread (the second argument 0, as `render` and live play do) or on its own worker (1, as
// `--parallel` does). The counter "realtime" is seconds of audio per second of wall time.
// BM_DemoPaced renders buffers as a driver asks for them, one per period, to show what the time
// between buffers costs the same work.
#include "app/application.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

CApplication::Settings OfflineSettings(int32_t bufferSize) {
    CApplication::Settings settings;
    settings.audio = CApplication::Audio::Offline;
    settings.sampleRate = 44100;
    settings.bufferSize = bufferSize;
    settings.newProject = false;
    settings.vstFolders = std::vector<fs::path>{};
    return settings;
}

// Plays the loaded song once from its start and reports the real-time factor.
void RenderSong(benchmark::State& state, CApplication& application) {
    application.Studio()->SetSingleThreaded(state.range(1) == 0);
    CSequenceEditor& song = application.Sequencer()->Song();
    const int64_t frames = song.SongSamples();
    constexpr int32_t kChunk = 4096;
    std::vector<float> left(kChunk), right(kChunk);
    float* channels[] = {left.data(), right.data()};
    for (auto _ : state) {
        song.PlaySong();
        for (int64_t done = 0; done < frames; done += kChunk)
            application.Offline()->Render(channels, 2,
                                          static_cast<int32_t>(std::min<int64_t>(kChunk, frames - done)));
        benchmark::DoNotOptimize(left.data());
    }
    const double audioSeconds = static_cast<double>(frames) / 44100.0;
    state.counters["realtime"] = benchmark::Counter(audioSeconds * static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
    state.counters["song_s"] = audioSeconds;
}

void BM_DemoSong(benchmark::State& state) {
    CApplication application(OfflineSettings(static_cast<int32_t>(state.range(0))));
    application.Project().Open(fs::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp");
    RenderSong(state, application);
}
BENCHMARK(BM_DemoSong)
    ->ArgsProduct({{256, 64}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The demo's first ten seconds in buffers of range(0) frames, back to back (range(1) 0) or one
// per period, sleeping until the next period begins as a driver's thread waits for its device
// (1). The counters: the rendering thread's CPU time per buffer, sleeps and wake-ups included,
// and that time as a share of one core over the audio's length.
void BM_DemoPaced(benchmark::State& state) {
    const auto frames = static_cast<int32_t>(state.range(0));
    const bool paced = state.range(1) == 1;
    CApplication application(OfflineSettings(frames));
    application.Project().Open(fs::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp");
    application.Studio()->SetSingleThreaded(true);
    CSequenceEditor& song = application.Sequencer()->Song();
    const int64_t buffers = 10 * 44100 / frames;
    const auto period = std::chrono::nanoseconds(int64_t{1000000000} * frames / 44100);
    std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
    float* channels[] = {left.data(), right.data()};
    double cpu = 0.0;
    for (auto _ : state) {
        song.PlaySong();
        const double begin = ThreadCpuSeconds();
        auto due = std::chrono::steady_clock::now();
        for (int64_t b = 0; b < buffers; ++b) {
            application.Offline()->Render(channels, 2, frames);
            if (paced) {
                due += period;
                std::this_thread::sleep_until(due);
            }
        }
        cpu += ThreadCpuSeconds() - begin;
        benchmark::DoNotOptimize(left.data());
    }
    const double count = static_cast<double>(buffers) * static_cast<double>(state.iterations());
    state.counters["cpu_per_buffer_us"] = 1e6 * cpu / count;
    state.counters["core_share_%"] = 100.0 * cpu / (count * static_cast<double>(frames) / 44100.0);
}
BENCHMARK(BM_DemoPaced)->ArgsProduct({{64, 256}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// One BassHead with its default sound into the master: a sixteenth-note line over 64 beats.
void BM_BassHeadLine(benchmark::State& state) {
    CApplication application(OfflineSettings(static_cast<int32_t>(state.range(0))));
    application.Project().New();
    CStudio& studio = *application.Studio();
    CMachineInfo* info = application.Registry()->FindByIdentifier("VeskPlug::QX BassHead");
    if (!info) {
        state.SkipWithError("QX BassHead is not installed");
        return;
    }
    CMachineContainer* bass = studio.CreateFrame(info->CreateMachine(), info, "Bass", 0, 0);
    studio.Connect(bass->FindConnector("Line Out"), studio.MasterFrame()->Connector(0), 0.5f);
    Pattern* line =
        application.Sequencer()->Patterns().CreatePattern(bass->FindConnector("Control In")->m_port, 16);
    const int32_t notes[8] = {33, 45, 33, 40, 43, 33, 45, 31};
    for (int32_t step = 0; step < 64; step += 2)
        line->AddNote(step, 1, notes[(step / 2) % 8]);
    CSequenceEditor& song = application.Sequencer()->Song();
    song.SetLength(64);
    for (int32_t beat = 0; beat < 64; beat += 16)
        song.PlacePattern(line, beat);
    RenderSong(state, application);
}
BENCHMARK(BM_BassHeadLine)
    ->ArgsProduct({{256, 64}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

} // namespace
