// The MIDI machines: "QX MIDI Input" turns notes from a MIDI input device into note events on its
// "Control Out" port; "QX MIDI Output" sends the notes arriving on "Control In" to a device.
#pragma once

#include "machine_interface/machine.h"

class CMIDIInput : public CMachine {
public:
    explicit CMIDIInput(CVeskHost* host);
    void Delete() override { delete this; }
    void Process() override;
    void SetSampleRate(int32_t rate) override { m_sampleRate = rate; }
    void SetBufferSize(int32_t frames) override { m_bufferSize = frames; }
    bool IsGenerator() override { return false; }

    int32_t m_sampleRate;
    int32_t m_bufferSize;
};

class CMIDIOutput : public CMachine {
public:
    explicit CMIDIOutput(CVeskHost* host);
    void Delete() override { delete this; }
    void Process() override;
    void SetSampleRate(int32_t rate) override { m_sampleRate = rate; }
    void SetBufferSize(int32_t frames) override { m_bufferSize = frames; }
    bool IsGenerator() override { return false; }

    int32_t m_sampleRate;
    int32_t m_bufferSize;
};

// Both carry the empty machine identifier: project files store their machines with it.
class CMIDIInputInfo : public CSimpleMachineInfo<CMIDIInput> {
public:
    explicit CMIDIInputInfo(CVeskHost* host) : CSimpleMachineInfo(host, "QX MIDI Input", "") {}
};

class CMIDIOutputInfo : public CSimpleMachineInfo<CMIDIOutput> {
public:
    explicit CMIDIOutputInfo(CVeskHost* host) : CSimpleMachineInfo(host, "QX MIDI Output", "") {}
};
