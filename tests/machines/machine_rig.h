// A small stand-in for the studio around one machine in the machine tests: host services, events
// into a control port, audio into input ports, and buffer-by-buffer rendering.
#pragma once

#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace rig {

constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 256;

struct TestHost {
    MachineRegistry registry;
    CVeskHost host{kRate, kBlock, 0, &registry};
};

inline ControlEvent Event(int32_t kind, int32_t time, int32_t index, float value = kDefaultVelocity) {
    ControlEvent event{};
    event.size = sizeof(ControlEvent);
    event.kind = kind;
    event.time = time;
    event.index = index;
    event.value = value;
    return event;
}

inline void Send(CMachine& machine, int32_t port, const ControlEvent& event) {
    machine.m_ports[port]->m_controlBuffer->AddEvent(&event);
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

} // namespace rig
