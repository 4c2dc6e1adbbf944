// The sequencer's share of the driver thread: one buffer's ticks for a busy song. The budget is a
// small part of a buffer's duration (256 frames at 44100 Hz last 5.8 ms).
#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "sequencer/sequencer.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

class CSink : public CMachine {
public:
    explicit CSink(CVeskHost* host) : CMachine(host) {
        m_parameterCount = 8;
        AddPort(kPortControlIn, "Notes");
        SetName("Sink");
    }
    void Delete() override { delete this; }
    void Process() override {}
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return true; }
};

// machines x 4 placed 16-beat patterns of 64 notes and 4 control tracks each, looping.
void SongTick(benchmark::State& state) {
    const auto machineCount = static_cast<int32_t>(state.range(0));
    MachineRegistry registry;
    CVeskHost host(44100, 256, 0, &registry);
    auto sequencer = std::make_unique<CSequencer>(&host);
    std::vector<CMachine*> machines;
    for (int32_t m = 0; m < machineCount; ++m) {
        machines.push_back(new CSink(&host));
        sequencer->MachineAdded(machines.back());
        for (int32_t p = 0; p < 4; ++p) {
            Pattern* pattern = sequencer->Patterns().CreatePattern(machines.back()->m_ports[0], 16);
            pattern->AddControlTrack(kVelocityParameter);
            for (int32_t t = 0; t < 4; ++t) {
                const int32_t track = pattern->AddControlTrack(t);
                for (int32_t step = 0; step < 64; step += 2) pattern->SetControlStep(track, step, 0.5f);
            }
            for (int32_t step = 0; step < 64; ++step) pattern->AddNote(step, 2, 36 + (step * 7) % 48);
            sequencer->Song().PlacePattern(pattern, 16 * p);
        }
    }
    sequencer->Song().SetLoop(true);
    sequencer->Song().PlaySong();
    for (auto _ : state) {
        for (CMachine* machine : machines) machine->m_ports[0]->m_controlBuffer->Clear();
        CMutexLock lock(sequencer->EditorMutex());
        sequencer->Tick();
    }
    state.SetItemsProcessed(state.iterations());
    sequencer.reset();
    for (CMachine* machine : machines) machine->Delete();
}
BENCHMARK(SongTick)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMicrosecond);

} // namespace
