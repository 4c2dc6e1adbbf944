#include "host_machines/hd_track_machine.h"

#include "machine_interface/vesk_host.h"

#include <cstring>

CHDTrackMachine::CHDTrackMachine(CVeskHost* host, bool stereo)
    : CMachine(host), m_stereo(stereo ? 1 : 0), m_sampleRate(host->GetSampleRate()), m_blockSize(host->GetBufferSize()) {
    AddPort(stereo ? kPortStereoIn : kPortMonoIn, "Line In");
    AddPort(stereo ? kPortStereoOut : kPortMonoOut, "Line Out");
}

void CHDTrackMachine::Process() {
    const CAudioBuffer* in = m_ports[0]->m_audioBuffer;
    CAudioBuffer* out = m_ports[1]->m_audioBuffer;
    const size_t bytes = sizeof(float) * static_cast<size_t>(out->m_length);
    std::memcpy(out->m_channel1, in->m_channel1, bytes);
    if (m_stereo) std::memcpy(out->m_channel2, in->m_channel2, bytes);
}
