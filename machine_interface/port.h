// CPort: one input or output of a machine. Built by the machine in its constructor (or a port
// rebuild, UI thread, machine locked); the host reads the public fields directly (the layout is
// shared with every machine library): the UI thread for cables and the project file, processing
// threads for the buffers. The flags and name never change after construction.
#pragma once

#include <cstdint>

class CAudioBuffer;
class CControlBuffer;
class CMachine;
class CVeskHost;

// Port flag bits.
enum PortFlags : int32_t {
    kPortAudio = 0x001,
    kPortControl = 0x002,
    kPortInput = 0x010,
    kPortOutput = 0x020,
    kPortSendReturn = 0x040,
    kPortStereo = 0x100,

    kPortMonoIn = 0x011,
    kPortStereoIn = 0x111,
    kPortMonoOut = 0x021,
    kPortStereoOut = 0x121,
    kPortReturnIn = 0x151,
    kPortSendOut = 0x161,
    kPortControlIn = 0x012,
    kPortControlOut = 0x022,
};

class CPort {
public:
    // An audio port gets a buffer of the host's current buffer size (stereo with 0x100); a
    // control port an empty control buffer. A null host gives audio buffers of length 0.
    CPort(CVeskHost* host, CMachine* owner, int32_t flags, const char* name);
    virtual ~CPort();
    CPort(const CPort&) = delete;
    CPort& operator=(const CPort&) = delete;

    bool IsAudio() const { return (m_flags & kPortAudio) != 0; }
    bool IsControl() const { return (m_flags & kPortControl) != 0; }
    bool IsInput() const { return (m_flags & kPortInput) != 0; }
    bool IsOutput() const { return (m_flags & kPortOutput) != 0; }
    bool IsSendReturn() const { return (m_flags & kPortSendReturn) != 0; }
    bool IsStereo() const { return (m_flags & kPortStereo) != 0; }

    int32_t m_flags = 0;
    CAudioBuffer* m_audioBuffer = nullptr;
    CControlBuffer* m_controlBuffer = nullptr;
    CMachine* m_owner = nullptr;
    char* m_name = nullptr;
    int32_t m_portIndex = 0;  // position in the owner's port table; written by the host on save/load
};
