// CHDTrackMachine: an HD recorder track. Passes "Line In" through to "Line Out" at its row's
// volume and, while its row records, appends the stream to the row's WAV file. Each machine
// owns one row of the HD recorder (CHDTrack) for its whole life; the row itself lives in the
// recorder's list.
#pragma once

#include "machine_interface/machine.h"

class CHDTrack;
class CHDTrackList;

class CHDTrackMachine : public CMachine {
public:
    // Adds a row to the list (the studio's own by default).
    CHDTrackMachine(CVeskHost* host, bool stereo, CHDTrackList* list = nullptr);
    // Removes the row (closing its file) before the base machine goes.
    ~CHDTrackMachine() override;
    void Delete() override { delete this; }
    void Process() override;
    void SetSampleRate(int32_t rate) override { m_sampleRate = rate; }
    void SetBufferSize(int32_t frames) override { m_blockSize = frames; }
    void SetName(const char* name) override;
    bool IsGenerator() override { return false; }

    CHDTrack* Row() const { return m_row; }

    uint8_t m_stereo;
    int32_t m_sampleRate;
    int32_t m_blockSize;

private:
    CHDTrackList* m_list;
    CHDTrack* m_row;
};

class CHDTrackMachineInfoMono : public CMachineInfo {
public:
    explicit CHDTrackMachineInfoMono(CVeskHost* host)
        : CMachineInfo("QX HD Recorder Track (Mono)", "QX HD Recorder Track (Mono)"), m_host(host) {}
    void Delete() override { delete this; }
    CMachine* CreateMachine() override { return new CHDTrackMachine(m_host, false); }
    CVeskHost* m_host;
};

class CHDTrackMachineInfoStereo : public CMachineInfo {
public:
    explicit CHDTrackMachineInfoStereo(CVeskHost* host)
        : CMachineInfo("QX HD Recorder Track (Stereo)", "QX HD Recorder Track (Stereo)"), m_host(host) {}
    void Delete() override { delete this; }
    CMachine* CreateMachine() override { return new CHDTrackMachine(m_host, true); }
    CVeskHost* m_host;
};
