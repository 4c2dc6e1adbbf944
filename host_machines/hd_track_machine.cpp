#include "host_machines/hd_track_machine.h"

#include "host_machines/hd_recorder/hd_track.h"
#include "machine_interface/vesk_host.h"

#include <cstring>

CHDTrackMachine::CHDTrackMachine(CVeskHost* host, bool stereo, CHDTrackList* list)
    : CMachine(host), m_stereo(stereo ? 1 : 0), m_sampleRate(host->GetSampleRate()),
      m_blockSize(host->GetBufferSize()), m_list(list ? list : &CHDTrackList::Studio()) {
    AddPort(stereo ? kPortStereoIn : kPortMonoIn, "Line In");
    AddPort(stereo ? kPortStereoOut : kPortMonoOut, "Line Out");
    m_row = m_list->AddRow(this);
}

CHDTrackMachine::~CHDTrackMachine() {
    m_list->RemoveRow(m_row);
}

void CHDTrackMachine::SetName(const char* name) {
    CMachine::SetName(name);
    m_row->SetTrackName(name);
}

void CHDTrackMachine::Process() {
    CAudioBuffer* in = m_ports[0]->m_audioBuffer;
    CAudioBuffer* out = m_ports[1]->m_audioBuffer;
    const int32_t frames = out->m_length < in->m_length ? out->m_length : in->m_length;
    {
        // The row scales "Line In" in place, so "Line Out" carries the volume-scaled signal.
        CMutexLock lock(m_row->m_lock);
        m_row->Write(in->m_channel1, m_stereo ? in->m_channel2 : nullptr, frames);
    }
    const size_t bytes = sizeof(float) * static_cast<size_t>(frames);
    std::memcpy(out->m_channel1, in->m_channel1, bytes);
    if (m_stereo) std::memcpy(out->m_channel2, in->m_channel2, bytes);
}
