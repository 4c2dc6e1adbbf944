// Rendering cost of QX DGenR8, QX Mixer and QX SpatialVerb at 44.1 kHz, 256-frame buffers. The
// "ns_per_sample" counter is the time per output frame (both channels).
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "machines/drumkit/drumkit.h"
#include "machines/dsp/block_ops.h"
#include "machines/mixer/mixer.h"
#include "machines/spatialverb/spatialverb.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 256;

// Host services with the processor features the library sees at load (vector path on).
struct Host {
    Host() { SetDspProcessorFeatures(host.GetProcessorFeatures()); }
    MachineRegistry registry;
    CVeskHost host{kRate, kBlock, 0x16, &registry};
};

void FillNoise(float* x, int32_t n, std::mt19937& random) {
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    for (int32_t i = 0; i < n; ++i)
        x[i] = uniform(random);
}

void PerSample(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBlock);
    state.counters["ns_per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// All eleven voices sounding: every voice is retriggered every eighth buffer (46 ms, shorter
// than the shortest sound), so none of them goes idle.
void BM_DrumKitAllVoices(benchmark::State& state) {
    Host host;
    CDrumKit* kit = new CDrumKit(&host.host);
    CControlBuffer* control = kit->m_ports[0]->m_controlBuffer;
    int64_t buffer = 0, sounding = 0;
    for (auto _ : state) {
        if (buffer++ % 8 == 0) {
            for (int32_t v = 0; v < CDrumKit::kVoiceCount; ++v) {
                ControlEvent event{};
                event.kind = kEventTriggerOn;
                event.index = v;
                event.value = kDefaultVelocity;
                control->AddEvent(&event);
            }
        }
        kit->Process();
        for (int32_t v = 0; v < CDrumKit::kVoiceCount; ++v)
            sounding += kit->Voice(v).IsIdle() ? 0 : 1;
        benchmark::DoNotOptimize(kit->m_ports[1]->m_audioBuffer->m_channel1[0]);
    }
    state.counters["voices_sounding"] = static_cast<double>(sounding) / static_cast<double>(buffer);
    PerSample(state);
    kit->Delete();
}
BENCHMARK(BM_DrumKitAllVoices);

void BM_DrumKitIdle(benchmark::State& state) {
    Host host;
    CDrumKit* kit = new CDrumKit(&host.host);
    for (auto _ : state) {
        kit->Process();
        benchmark::DoNotOptimize(kit->m_ports[1]->m_audioBuffer->m_channel1[0]);
    }
    PerSample(state);
    kit->Delete();
}
BENCHMARK(BM_DrumKitIdle);

// Eight tracks of noise, both sends busy, both returns carrying a signal; both passes.
void BM_MixerEightTracksTwoAux(benchmark::State& state) {
    Host host;
    CMixer* mixer = new CMixer(&host.host, 8, 2);
    std::mt19937 random(7);
    for (int32_t t = 0; t < 8; ++t) {
        CAudioBuffer* in = mixer->m_ports[1 + t]->m_audioBuffer;
        FillNoise(in->m_channel1, kBlock, random);
        FillNoise(in->m_channel2, kBlock, random);
        mixer->SetParameter(7 * t + 1, 0.3f + 0.05f * static_cast<float>(t));
        mixer->SetParameter(7 * t + 2, 0.8f);
        mixer->SetParameter(7 * t + 5, 0.6f);
        mixer->SetParameter(7 * t + 6, 0.4f);
    }
    std::vector<float> returned(kBlock);
    FillNoise(returned.data(), kBlock, random);
    for (auto _ : state) {
        mixer->Process();
        for (int32_t a = 0; a < 2; ++a) { // the effects' outputs, as the host mixes them in
            CAudioBuffer* ret = mixer->m_ports[10 + 2 * a]->m_audioBuffer;
            std::memcpy(ret->m_channel1, returned.data(), sizeof(float) * kBlock);
            std::memcpy(ret->m_channel2, returned.data(), sizeof(float) * kBlock);
        }
        mixer->ProcessLate();
        benchmark::DoNotOptimize(mixer->m_ports[0]->m_audioBuffer->m_channel1[0]);
    }
    PerSample(state);
    mixer->Delete();
}
BENCHMARK(BM_MixerEightTracksTwoAux);

// Nothing plugged in: every input and return is +0 (as the engine leaves an unconnected port);
// after the first buffers every strip is at rest.
void BM_MixerIdle(benchmark::State& state) {
    Host host;
    CMixer* mixer = new CMixer(&host.host, 8, 2);
    for (int32_t t = 0; t < 8; ++t) // the engine clears an unconnected input once
        mixer->m_ports[1 + t]->m_audioBuffer->Clear();
    for (auto _ : state) {
        mixer->Process();
        for (int32_t a = 0; a < 2; ++a) // the host clears the returns of unconnected effects
            mixer->m_ports[10 + 2 * a]->m_audioBuffer->Clear();
        mixer->ProcessLate();
        benchmark::DoNotOptimize(mixer->m_ports[0]->m_audioBuffer->m_channel1[0]);
    }
    PerSample(state);
    mixer->Delete();
}
BENCHMARK(BM_MixerIdle);

void BM_SpatialVerbDefaultRoom(benchmark::State& state) {
    Host host;
    CSpatialVerb* verb = new CSpatialVerb(&host.host);
    std::mt19937 random(9);
    CAudioBuffer* in = verb->m_ports[0]->m_audioBuffer;
    FillNoise(in->m_channel1, kBlock, random);
    FillNoise(in->m_channel2, kBlock, random);
    for (auto _ : state) {
        verb->Process();
        benchmark::DoNotOptimize(verb->m_ports[1]->m_audioBuffer->m_channel1[0]);
    }
    size_t taps = 0;
    for (int32_t line = 0; line < 2; ++line)
        taps += verb->TapLine(line).TapsA().size() + verb->TapLine(line).TapsB().size();
    state.counters["early_taps"] = static_cast<double>(taps);
    PerSample(state);
    verb->Delete();
}
BENCHMARK(BM_SpatialVerbDefaultRoom);

// The reverb in its smallest room with the hardest walls: the most image arrivals within 75 ms,
// the worst case of the early taps.
void BM_SpatialVerbSmallHardRoom(benchmark::State& state) {
    Host host;
    CSpatialVerb* verb = new CSpatialVerb(&host.host);
    verb->SetParameter(CSpatialVerb::kRoomWidth, 0.0f);
    verb->SetParameter(CSpatialVerb::kRoomHeight, 0.0f);
    verb->SetParameter(CSpatialVerb::kWallAbsorb, 0.0f);
    verb->UpdateGUI();
    std::mt19937 random(9);
    CAudioBuffer* in = verb->m_ports[0]->m_audioBuffer;
    FillNoise(in->m_channel1, kBlock, random);
    FillNoise(in->m_channel2, kBlock, random);
    for (auto _ : state) {
        verb->Process();
        benchmark::DoNotOptimize(verb->m_ports[1]->m_audioBuffer->m_channel1[0]);
    }
    size_t taps = 0;
    for (int32_t line = 0; line < 2; ++line)
        taps += verb->TapLine(line).TapsA().size() + verb->TapLine(line).TapsB().size();
    state.counters["early_taps"] = static_cast<double>(taps);
    PerSample(state);
    verb->Delete();
}
BENCHMARK(BM_SpatialVerbSmallHardRoom);

// The deferred rebuild the periodic update runs (with the machine locked) after a room change.
void BM_SpatialVerbRebuild(benchmark::State& state) {
    Host host;
    CSpatialVerb* verb = new CSpatialVerb(&host.host);
    float width = 0.0f;
    for (auto _ : state) {
        width = width > 0.9f ? 0.0f : width + 0.1f;
        verb->SetParameter(CSpatialVerb::kRoomWidth, width);
        verb->SetParameter(CSpatialVerb::kWallAbsorb, 0.0f);
        verb->UpdateGUI();
    }
    verb->Delete();
}
BENCHMARK(BM_SpatialVerbRebuild)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
namespace {
// One voice at a time, retriggered every eighth buffer: what each sound costs while it plays.
void BM_DrumKitOneVoice(benchmark::State& state) {
    Host host;
    CDrumKit* kit = new CDrumKit(&host.host);
    CControlBuffer* control = kit->m_ports[0]->m_controlBuffer;
    int64_t buffer = 0;
    for (auto _ : state) {
        if (buffer++ % 8 == 0) {
            ControlEvent event{};
            event.kind = kEventTriggerOn;
            event.index = static_cast<int32_t>(state.range(0));
            control->AddEvent(&event);
        }
        kit->Process();
    }
    PerSample(state);
    kit->Delete();
}
BENCHMARK(BM_DrumKitOneVoice)->DenseRange(0, 10);
} // namespace
