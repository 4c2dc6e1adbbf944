// A machine that keeps every control event it is given, and a studio stand-in that runs buffers
// through a CSequencer the way the processing cycle does (clear control inputs, tick, drain).
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "sequencer/sequencer.h"

#include <cstdio>
#include <string>
#include <vector>

struct ReceivedEvent {
    int64_t time; // absolute sample: buffer index x buffer size + offset
    int32_t kind;
    int32_t index;
    float value;
    float frequency;
};

inline std::vector<ReceivedEvent> OfKind(const std::vector<ReceivedEvent>& events, int32_t kind) {
    std::vector<ReceivedEvent> chosen;
    for (const ReceivedEvent& event : events)
        if (event.kind == kind) chosen.push_back(event);
    return chosen;
}

class CEventMachine : public CMachine {
public:
    // controlInputs control input ports ("Notes", "Notes 2", ...) after one audio output.
    CEventMachine(CVeskHost* host, const char* name, int32_t controlInputs = 1, int32_t parameters = 3, int32_t namedNotes = 0)
        : CMachine(host) {
        m_parameterCount = parameters;
        m_namedNoteCount = namedNotes;
        AddPort(kPortMonoOut, "Out");
        for (int32_t i = 0; i < controlInputs; ++i) AddPort(kPortControlIn, i == 0 ? "Notes" : ("Notes " + std::to_string(i + 1)).c_str());
        SetName(name);
    }
    void Delete() override { delete this; }
    // Drains the control inputs; offsets are made absolute with the buffer counter.
    void Process() override { Drain(); }
    void Drain() {
        for (int32_t p = 0; p < m_portCount; ++p) {
            CPort* port = m_ports[p];
            if (!port->IsControl() || !port->IsInput()) continue;
            ControlEvent event;
            while (port->m_controlBuffer->GetNextEvent(&event))
                events.push_back({m_buffer * m_bufferSize + event.time, event.kind, event.index, event.value, event.frequency});
        }
    }
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t frames) override { m_bufferSize = frames; }
    bool IsGenerator() override { return true; }
    void GetParameterName(int32_t index, char* text) override {
        if (index == 0) std::snprintf(text, 64, "Cutoff");
        else text[0] = '\0';
    }
    void FormatParameter(int32_t index, float value, char* text) override {
        std::snprintf(text, 64, "%i: %.2f", index, static_cast<double>(value));
    }
    void GetNoteName(int32_t note, char* text) override { std::snprintf(text, 64, "Drum %i", note); }
    CPort* Control(int32_t i = 0) { return m_ports[1 + i]; }

    std::vector<ReceivedEvent> events;
    int64_t m_buffer = 0;
    int64_t m_bufferSize = 0;
};

// The cycle's part that concerns the sequencer, without the engine.
struct SequencerRig {
    explicit SequencerRig(int32_t rate = 44100, int32_t buffer = 4410) : host(rate, buffer, 0, &registry), sequencer(&host) {}
    ~SequencerRig() {
        for (CEventMachine* machine : machines) {
            sequencer.MachineRemoved(machine);
            machine->Delete();
        }
    }
    CEventMachine* Add(const char* name, int32_t controlInputs = 1, int32_t parameters = 3, int32_t namedNotes = 0) {
        auto* machine = new CEventMachine(&host, name, controlInputs, parameters, namedNotes);
        machine->m_projectIndex = static_cast<int32_t>(machines.size());
        machine->SetBufferSize(host.GetBufferSize());
        machines.push_back(machine);
        sequencer.MachineAdded(machine);
        return machine;
    }
    void Remove(CEventMachine* machine) {
        std::erase(machines, machine);
        sequencer.MachineRemoved(machine);
        machine->Delete();
    }
    // What the cycle does first in every buffer.
    void ClearControlInputs() {
        for (CEventMachine* machine : machines)
            for (int32_t p = 0; p < machine->m_portCount; ++p)
                if (machine->m_ports[p]->IsControl() && machine->m_ports[p]->IsInput()) machine->m_ports[p]->m_controlBuffer->Clear();
    }
    // One buffer: control inputs cleared, ticks under the editor mutex, machines drain.
    void Buffer() {
        ClearControlInputs();
        {
            CMutexLock lock(sequencer.EditorMutex());
            sequencer.Tick();
        }
        for (CEventMachine* machine : machines) {
            machine->m_bufferSize = host.GetBufferSize();
            machine->Drain();
            ++machine->m_buffer;
        }
    }
    void Buffers(int count) {
        for (int i = 0; i < count; ++i) Buffer();
    }

    MachineRegistry registry;
    CVeskHost host;
    CSequencer sequencer;
    std::vector<CEventMachine*> machines;
};
