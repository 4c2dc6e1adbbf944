// Rendering cost of QX AntiAlias (every oversampling setting) and QX QuadDelay (one line wet, all
// four lines wet) on noise, 44.1 kHz, 256-frame buffers. "ns_per_sample" is the time per output
// frame (both channels).
#include "machine_interface/vesk_host.h"
#include "machines/antialias/antialias_filter.h"
#include "machines/quaddelay/echo.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 256;

void FillNoise(CAudioBuffer* buffer, std::mt19937& random) {
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    for (int32_t i = 0; i < kBlock; ++i) {
        buffer->m_channel1[i] = uniform(random);
        buffer->m_channel2[i] = uniform(random);
    }
}

void PerSample(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBlock);
    state.counters["ns_per_sample"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Argument: the oversampling setting 0..4 (2x .. 32x).
void BM_AntiAlias(benchmark::State& state) {
    CVeskHost host(kRate, kBlock, 0x16, nullptr);
    auto* filter = new CAntiAliasFilter(&host);
    filter->SetParameter(0, static_cast<float>(state.range(0)) * 0.25f);
    std::mt19937 random(3);
    FillNoise(filter->m_ports[0]->m_audioBuffer, random);
    for (auto _ : state) {
        filter->Process();
        benchmark::DoNotOptimize(filter->m_ports[1]->m_audioBuffer->m_channel1[0]);
    }
    PerSample(state);
    filter->Delete();
}
BENCHMARK(BM_AntiAlias)->DenseRange(0, 4);

// Argument: how many of the four lines have a wet level (the default sound has one).
void BM_QuadDelay(benchmark::State& state) {
    CVeskHost host(kRate, kBlock, 0x16, nullptr);
    auto* echo = new CEcho(&host);
    for (int32_t line = 0; line < state.range(0); ++line)
        echo->SetParameter(8 * line + 6, 1.0f);
    std::mt19937 random(5);
    FillNoise(echo->m_ports[0]->m_audioBuffer, random);
    for (auto _ : state) {
        echo->Process();
        benchmark::DoNotOptimize(echo->m_ports[1]->m_audioBuffer->m_channel1[0]);
    }
    PerSample(state);
    echo->Delete();
}
BENCHMARK(BM_QuadDelay)->Arg(1)->Arg(4);

} // namespace

BENCHMARK_MAIN();
