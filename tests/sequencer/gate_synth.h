// A gate synthesizer for timing tests through the real processing cycle: it outputs 1.0 on both
// channels while any note is held and keeps every event with the absolute sample it applies to.
// Its output depends only on the events' absolute samples, never on how the buffers are cut.
#pragma once

#include "machine_interface/machine.h"

#include <cstdint>
#include <vector>

// Outputs 1.0 on both channels while any note is held; keeps every event it was given with the
// absolute sample it applies to.
class CGateSynth : public CMachine {
public:
    struct Event {
        int64_t time;
        int32_t kind;
        int32_t index;
    };
    explicit CGateSynth(CVeskHost* host) : CMachine(host) {
        m_parameterCount = 1;
        AddPort(kPortControlIn, "Notes");
        AddPort(kPortStereoOut, "Out");
    }
    void Delete() override { delete this; }
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return true; }
    void Process() override {
        CAudioBuffer* out = m_ports[1]->m_audioBuffer;
        ControlEvent event;
        int32_t held = m_held;
        int32_t frame = 0;
        auto fill = [&](int32_t until) {
            for (; frame < until && frame < out->m_length; ++frame) {
                out->m_channel1[frame] = held > 0 ? 1.0f : 0.0f;
                out->m_channel2[frame] = held > 0 ? 1.0f : 0.0f;
            }
        };
        while (m_ports[0]->m_controlBuffer->GetNextEvent(&event)) {
            fill(event.time);
            events.push_back({m_rendered + event.time, event.kind, event.index});
            if (event.kind == kEventNoteOn) ++held;
            if (event.kind == kEventNoteOff) --held;
        }
        fill(out->m_length);
        m_held = held;
        m_rendered += out->m_length;
    }

    std::vector<Event> events;
    int32_t m_held = 0;
    int64_t m_rendered = 0;
};
