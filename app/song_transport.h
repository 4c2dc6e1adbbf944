// CSongTransportTap: stands between the studio and the sequencer and, once per buffer before the
// song's tick, publishes where the song stands to the VST plug-ins' transport (position in
// samples, playing or not). Everything else passes straight through to the sequencer.
// Driver thread for Tick (studio mutex and the editor mutex held by the cycle); the other calls
// on the threads the studio makes them on.
#pragma once

#include "engine/studio_sequencer.h"

class CSequencer;
class CVeskHost;
class CVSTTransport;

class CSongTransportTap : public CStudioSequencer {
public:
    CSongTransportTap(CSequencer& sequencer, CVeskHost& host, CVSTTransport& transport)
        : m_sequencer(sequencer), m_host(host), m_transport(transport) {}

    CMutex& EditorMutex() override;
    void Tick() override;
    void MachineAdded(CMachine* machine) override;
    void MachineRemoved(CMachine* machine) override;
    void Clear() override;
    void SampleRateChanged(int32_t rate) override;
    void BufferSizeChanged(int32_t frames) override;

private:
    CSequencer& m_sequencer;
    CVeskHost& m_host;
    CVSTTransport& m_transport;
    int64_t m_stoppedAt = 0; // driver thread: where the song stands once it stops
};
