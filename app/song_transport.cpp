#include "app/song_transport.h"

#include "host_machines/vst/vst_transport.h"
#include "machine_interface/vesk_host.h"
#include "sequencer/sequencer.h"


CMutex& CSongTransportTap::EditorMutex() {
    return m_sequencer.EditorMutex();
}

void CSongTransportTap::Tick() {
    // The editor mutex is the cycle's already (it is recursive): the position read here is the
    // one this buffer starts at, before the song's tick moves it on.
    const int64_t songSample = m_sequencer.Song().PositionSamples();
    const int32_t frames = m_host.GetBufferSize();
    if (songSample >= 0) {
        m_transport.Publish(true, songSample, frames);
        m_stoppedAt = songSample + frames; // where it stands should this be its last buffer
    } else {
        m_transport.Publish(false, m_stoppedAt, frames);
    }
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
