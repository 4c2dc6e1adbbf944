#include "app/song_transport.h"

#include "host_machines/vst/vst_transport.h"
#include "machine_interface/vesk_host.h"
#include "sequencer/sequencer.h"

#include <cmath>

CMutex& CSongTransportTap::EditorMutex() {
    return m_sequencer.EditorMutex();
}

void CSongTransportTap::Tick() {
    // The editor mutex is the cycle's already (it is recursive): the position read here is the
    // one this buffer starts at, before the song's tick moves it on.
    const float steps = m_sequencer.Song().DisplayPosition();
    const bool playing = steps >= 0.0f;
    if (playing) {
        const double bpm = m_host.GetBPM();
        const double stepLength = bpm > 0.0 ? m_host.GetSampleRate() * 4.0 / bpm : 0.0;
        m_lastSongSample = std::llround(static_cast<double>(steps) * stepLength);
    }
    m_transport.Publish(playing, m_lastSongSample, m_host.GetBufferSize());
    m_sequencer.Tick();
}

void CSongTransportTap::MachineAdded(CMachine* machine) {
    m_sequencer.MachineAdded(machine);
}

void CSongTransportTap::MachineRemoved(CMachine* machine) {
    m_sequencer.MachineRemoved(machine);
}

void CSongTransportTap::Clear() {
    m_sequencer.Clear();
}

void CSongTransportTap::SampleRateChanged(int32_t rate) {
    m_sequencer.SampleRateChanged(rate);
}

void CSongTransportTap::BufferSizeChanged(int32_t frames) {
    m_sequencer.BufferSizeChanged(frames);
}
