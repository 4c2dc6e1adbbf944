// Runs a machine the way the processing cycle does: events into its control input, Process, then
// read the output port.
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/vesk_host.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace harness {

constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 256;

struct MachineDeleter {
    void operator()(CMachine* machine) const { machine->Delete(); }
};
template <typename T> using MachinePtr = std::unique_ptr<T, MachineDeleter>;

inline ControlEvent Note(int32_t kind, int32_t time, int32_t note, float velocity = kDefaultVelocity) {
    ControlEvent event{};
    event.size = sizeof(ControlEvent);
    event.kind = kind;
    event.time = time;
    event.index = note;
    event.value = velocity;
    double frequency = 8.175798915636872;
    for (int32_t n = 0; n < note; ++n)
        frequency *= 1.059463094359;
    event.frequency = static_cast<float>(frequency);
    return event;
}

inline CPort* FindPort(CMachine& machine, const char* name) {
    for (int32_t i = 0; i < machine.m_portCount; ++i)
        if (std::string(machine.m_ports[i]->m_name) == name) return machine.m_ports[i];
    return nullptr;
}

inline void Send(CMachine& machine, const ControlEvent& event) {
    FindPort(machine, "Control In")->m_controlBuffer->AddEvent(&event);
}

// Processes blocks until frames samples are rendered; appends both output channels.
inline void Render(CMachine& machine, int32_t frames, std::vector<float>& left,
                   std::vector<float>* right = nullptr) {
    CAudioBuffer* out = FindPort(machine, "Line Out")->m_audioBuffer;
    for (int32_t done = 0; done < frames; done += out->m_length) {
        machine.Process();
        const int32_t n = std::min(out->m_length, frames - done);
        left.insert(left.end(), out->m_channel1, out->m_channel1 + n);
        if (right && out->m_channel2) right->insert(right->end(), out->m_channel2, out->m_channel2 + n);
    }
}

inline std::string Display(CMachine& machine, int32_t index, float value) {
    char text[64] = "unset";
    machine.FormatParameter(index, value, text);
    return text;
}

inline std::string Name(CMachine& machine, int32_t index) {
    char text[64] = "unset";
    machine.GetParameterName(index, text);
    return text;
}

} // namespace harness
