// The processing cycle's own cost: chains and fans of pass-through machines rendered buffer by
// buffer, and a project holding only the master. Each benchmark reports the median and the 99th
// percentile of one buffer and the median scheduling cost per machine (the machines only copy).
#include "engine/master.h"
#include "engine/studio.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "platform/clock.h"
#include "platform/semaphore.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Copies its input to its output: as little work as a machine can do.
class CPassThrough : public CMachine {
public:
    explicit CPassThrough(CVeskHost* host) : CMachine(host) {
        m_in = AddPort(kPortStereoIn, "In");
        m_out = AddPort(kPortStereoOut, "Out");
    }
    void Delete() override { delete this; }
    void Process() override {
        const CAudioBuffer* in = m_in->m_audioBuffer;
        CAudioBuffer* out = m_out->m_audioBuffer;
        const auto bytes = sizeof(float) * static_cast<size_t>(std::min(in->m_length, out->m_length));
        std::memcpy(out->m_channel1, in->m_channel1, bytes);
        std::memcpy(out->m_channel2, in->m_channel2, bytes);
    }
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return false; }

    CPort* m_in;
    CPort* m_out;
};

struct Project {
    explicit Project(int32_t frames) {
        registry = std::make_unique<MachineRegistry>();
        host = std::make_unique<CVeskHost>(44100, frames, 0x16, registry.get());
        host->RegisterMachine(new CMasterInfo(host.get()));
        info = new CSimpleMachineInfo<CPassThrough>(host.get(), "Pass", "Pass");
        host->RegisterMachine(info);
        studio = std::make_unique<CStudio>(host.get());
        studio->NewProject();
        left.assign(static_cast<size_t>(frames), 0.0f);
        right.assign(static_cast<size_t>(frames), 0.0f);
    }
    ~Project() { studio.reset(); }
    CMachineContainer* Add() { return studio->AddMachine(info, 0, 0); }
    void Render() {
        float* channels[] = {left.data(), right.data()};
        studio->Render(2, channels, static_cast<int32_t>(left.size()));
    }

    std::unique_ptr<MachineRegistry> registry;
    std::unique_ptr<CVeskHost> host;
    std::unique_ptr<CStudio> studio;
    CMachineInfo* info = nullptr;
    std::vector<float> left, right;
};

void Measure(benchmark::State& state, Project& project, int32_t machines) {
    for (int i = 0; i < 50; ++i)
        project.Render(); // threads awake, buffers warm
    std::vector<double> times;
    times.reserve(1 << 20);
    for (auto _ : state) {
        const int64_t start = platform::HighResCounter();
        project.Render();
        times.push_back(static_cast<double>(platform::HighResCounter() - start) / 1000.0);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
    state.counters["median_us"] = median;
    state.counters["p99_us"] = p99;
    state.counters["per_machine_us"] = machines > 0 ? median / machines : median;
    state.counters["p99/median"] = p99 / median;
}

// Master <- m_n <- ... <- m_1: every machine waits for the one before it.
void BM_Chain(benchmark::State& state) {
    const auto count = static_cast<int32_t>(state.range(0));
    Project project(static_cast<int32_t>(state.range(1)));
    CConnector* next = project.studio->MasterFrame()->Connector(0);
    for (int32_t i = 0; i < count; ++i) {
        CMachineContainer* frame = project.Add();
        project.studio->Connect(frame->FindConnector("Out"), next);
        next = frame->FindConnector("In");
    }
    Measure(state, project, count);
}

// Every machine straight into the master: all render in parallel.
void BM_Fan(benchmark::State& state) {
    const auto count = static_cast<int32_t>(state.range(0));
    Project project(static_cast<int32_t>(state.range(1)));
    CConnector* master = project.studio->MasterFrame()->Connector(0);
    for (int32_t i = 0; i < count; ++i)
        project.studio->Connect(project.Add()->FindConnector("Out"), master);
    Measure(state, project, count);
}

// Only the master: the cycle's fixed cost per buffer.
void BM_MasterOnly(benchmark::State& state) {
    Project project(static_cast<int32_t>(state.range(0)));
    Measure(state, project, 0);
    const double bufferMicroseconds = static_cast<double>(state.range(0)) * 1e6 / 44100.0;
    state.counters["share_of_buffer_%"] = state.counters["median_us"].value * 100.0 / bufferMicroseconds;
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
    for (int64_t machines : {1, 8, 32, 64})
        for (int64_t frames : {64, 256, 1024})
            benchmark->Args({machines, frames});
}

BENCHMARK(BM_Chain)->Apply(Sizes)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Fan)->Apply(Sizes)->UseRealTime()->Unit(benchmark::kMicrosecond);
// The fan again with the semaphore's spin before sleeping set to 0, 200, 2000 and 20000 polls.
void BM_FanSpin(benchmark::State& state) {
    const int previous = platform::CSemaphore::SpinCount();
    platform::CSemaphore::SetSpinCount(static_cast<int>(state.range(2)));
    BM_Fan(state);
    platform::CSemaphore::SetSpinCount(previous);
}

BENCHMARK(BM_FanSpin)
    ->ArgsProduct({{8, 32}, {256}, {0, 200, 2000, 20000}})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MasterOnly)->Arg(128)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
