// CHDTrackMachine: an HD recorder track. Passes "Line In" through to "Line Out" and, while its
// row records, appends the stream to the row's WAV file.
#pragma once

#include "machine_interface/machine.h"

class CHDTrackMachine : public CMachine {
public:
    CHDTrackMachine(CVeskHost* host, bool stereo);
    void Delete() override { delete this; }
    void Process() override;
    void SetSampleRate(int32_t rate) override { m_sampleRate = rate; }
    void SetBufferSize(int32_t frames) override { m_blockSize = frames; }
    bool IsGenerator() override { return false; }

    uint8_t m_stereo;
    int32_t m_sampleRate;
    int32_t m_blockSize;
};

class CHDTrackMachineInfoMono : public CMachineInfo {
public:
    explicit CHDTrackMachineInfoMono(CVeskHost* host) : CMachineInfo("QX HD Recorder Track (Mono)", ""), m_host(host) {}
    void Delete() override { delete this; }
    CMachine* CreateMachine() override { return new CHDTrackMachine(m_host, false); }
    CVeskHost* m_host;
};

class CHDTrackMachineInfoStereo : public CMachineInfo {
public:
    explicit CHDTrackMachineInfoStereo(CVeskHost* host) : CMachineInfo("QX HD Recorder Track (Stereo)", ""), m_host(host) {}
    void Delete() override { delete this; }
    CMachine* CreateMachine() override { return new CHDTrackMachine(m_host, true); }
    CVeskHost* m_host;
};
