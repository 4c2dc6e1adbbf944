// Rendering cost of the BassHead voice and the oscillator, per sample at 44.1 kHz in 256-frame
// buffers. Results are recorded in bench/RESULTS.md.
#include "machines/basshead/basshead.h"
#include "machines/dsp/dsp.h"

#include "machine_interface/vesk_host.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 256;

ControlEvent NoteEvent(int32_t kind, int32_t time, int32_t note, CVeskHost& host) {
    ControlEvent event{};
    event.size = sizeof(ControlEvent);
    event.kind = kind;
    event.time = time;
    event.index = note;
    event.value = kDefaultVelocity;
    host.GetNoteFrequency(static_cast<uint32_t>(note), &event.frequency);
    return event;
}

// A bass line: a note every 16th at 140 BPM (about 4725 samples), alternating notes, default sound
// (two saws, both filters, both envelopes, glide off), or with the given extra settings.
void RenderBassLine(benchmark::State& state, std::initializer_list<std::pair<int32_t, float>> settings) {
    CVeskHost host(kRate, kBlock, 0x16, nullptr);
    SetDspProcessorFeatures(host.GetProcessorFeatures());  // as the library context does at load
    auto* machine = new CBassHead(&host);
    for (const auto& [index, value] : settings)
        machine->SetParameter(index, value);
    CControlBuffer* control = machine->m_ports[0]->m_controlBuffer;
    const int32_t step = kRate * 60 / 140 / 4;
    int64_t position = 0;
    int32_t noteIndex = 0;
    const int32_t notes[4] = {33, 45, 36, 40};
    int32_t playing = -1;
    for (auto _ : state) {
        const int64_t next = (position / step + 1) * step;
        if (next < position + kBlock) {
            const auto at = static_cast<int32_t>(next - position);
            if (playing >= 0) {
                const ControlEvent off = NoteEvent(kEventNoteOff, at, playing, host);
                control->AddEvent(&off);
            }
            playing = notes[noteIndex++ % 4];
            const ControlEvent on = NoteEvent(kEventNoteOn, at, playing, host);
            control->AddEvent(&on);
        }
        machine->Process();
        benchmark::DoNotOptimize(machine->m_ports[1]->m_audioBuffer->m_channel1[0]);
        position += kBlock;
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns/sample"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kBlock),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    machine->Delete();
}

void BM_BassHeadDefault(benchmark::State& state) {
    RenderBassLine(state, {});
}
BENCHMARK(BM_BassHeadDefault);

// Everything on: square and TriSquare with pulse-width LFO, sync, drive and soft clip, formant,
// ring modulation, noise, glide, LFOs to both filters' cutoff and resonance, Parallel routing.
void BM_BassHeadEverything(benchmark::State& state) {
    RenderBassLine(state, {{14, 0.5f},
                           {18, 1.0f},
                           {20, 0.6f},
                           {23, 1.0f},
                           {34, 0.5f},
                           {35, 0.5f},
                           {39, 0.3f},
                           {40, 0.3f},
                           {41, 0.3f},
                           {42, 0.3f},
                           {44, 0.3f},
                           {49, 0.5f},
                           {51, 0.7f},
                           {53, 0.9f},
                           {58, 0.8f},
                           {60, 0.6f},
                           {67, 1.0f}});
}
BENCHMARK(BM_BassHeadEverything);

void BM_OscillatorBandLimited(benchmark::State& state) {
    const CSharedTables& tables = SharedTables();
    COscillator osc(kRate, &tables.sine, 110.0f, tables.edge.get(), tables.impulse.get());
    osc.SetWaveform(static_cast<int32_t>(state.range(0)));
    osc.SetPitch(0.0f);
    std::vector<float> pitch(kBlock, 2.0f), width(kBlock, 0.0f), out(kBlock);
    for (auto _ : state) {
        osc.Render(width.data(), nullptr, pitch.data(), out.data(), nullptr, kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["ns/sample"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kBlock),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_OscillatorBandLimited)
    ->Arg(COscillator::kSaw)
    ->Arg(COscillator::kSquare)
    ->Arg(COscillator::kTriSquare);

void BM_OscillatorWave(benchmark::State& state) {
    COscillator lfo(kRate, &SharedTables().sine, 3.0f);
    std::vector<float> out(kBlock);
    for (auto _ : state) {
        lfo.RenderWave(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["ns/sample"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kBlock),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_OscillatorWave);

} // namespace

BENCHMARK_MAIN();
