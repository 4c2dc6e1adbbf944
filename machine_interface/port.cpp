#include "machine_interface/port.h"

#include "machine_interface/audio_buffer.h"
#include "machine_interface/control_buffer.h"
#include "machine_interface/vesk_host.h"

#include <cstdlib>
#include <cstring>

CPort::CPort(CVeskHost* host, CMachine* owner, int32_t flags, const char* name)
    : m_flags(flags), m_owner(owner), m_name(strdup(name ? name : "")) {
    if (flags & kPortAudio) m_audioBuffer = new CAudioBuffer(host ? host->GetBufferSize() : 0, (flags & kPortStereo) != 0);
    if (flags & kPortControl) m_controlBuffer = new CControlBuffer();
}

CPort::~CPort() {
    std::free(m_name);
    delete m_audioBuffer;
    delete m_controlBuffer;
}
