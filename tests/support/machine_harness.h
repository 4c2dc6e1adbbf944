// One machine outside the studio, run the way the processing cycle runs it: host services, events
// into a control port, audio into input ports, Process, then the output port read buffer by
// buffer. For the machine tests, which check one machine at a time.
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace harness {

constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 256;

// Host services at kRate and kBlock with an empty registry of their own.
struct TestHost {
    MachineRegistry registry;
    CVeskHost host{kRate, kBlock, 0, &registry};
};

struct MachineDeleter {
    void operator()(CMachine* machine) const { machine->Delete(); }
};
template <typename T> using MachinePtr = std::unique_ptr<T, MachineDeleter>;

// A control event without a frequency: triggers, parameter changes, notes for machines that
// work from the note number.
inline ControlEvent Event(int32_t kind, int32_t time, int32_t index, float value = kDefaultVelocity) {
    ControlEvent event{};
    event.size = sizeof(ControlEvent);
    event.kind = kind;
    event.time = time;
    event.index = index;
    event.value = value;
    return event;
}

// A note event carrying the equal-tempered frequency of its note (note 69 = 440 Hz).
inline ControlEvent Note(int32_t kind, int32_t time, int32_t note, float velocity = kDefaultVelocity) {
    ControlEvent event = Event(kind, time, note, velocity);
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

// Into the port named "Control In".
inline void Send(CMachine& machine, const ControlEvent& event) {
    FindPort(machine, "Control In")->m_controlBuffer->AddEvent(&event);
}

// Into the control port of the given index.
inline void Send(CMachine& machine, int32_t port, const ControlEvent& event) {
    machine.m_ports[port]->m_controlBuffer->AddEvent(&event);
}

// Processes blocks until frames samples are rendered; appends both channels of "Line Out".
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

struct Stereo {
    std::vector<float> left, right;
    void Append(const CAudioBuffer& buffer, int32_t count) {
        left.insert(left.end(), buffer.m_channel1, buffer.m_channel1 + count);
        right.insert(right.end(), buffer.m_channel2, buffer.m_channel2 + count);
    }
};

// Copies samples [from, from + count) of a signal (zeros past its end) into a buffer channel.
inline void Fill(float* channel, const std::vector<float>& signal, size_t from, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const size_t k = from + static_cast<size_t>(i);
        channel[i] = k < signal.size() ? signal[k] : 0.0f;
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
