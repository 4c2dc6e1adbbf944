#include "sequencer/sequencer.h"

CSequencer::CSequencer(CVeskHost* host) : m_song(host, &m_mutex), m_patterns(host, &m_mutex) {
    m_patterns.SetSong(&m_song);
    m_song.SetPatternList(&m_patterns.Patterns());
}

// The pattern editor goes first and frees the patterns; the song's entries only point at them and
// are freed after without being followed. Listeners are not told.
CSequencer::~CSequencer() = default;

void CSequencer::Tick() {
    // One serial per buffer lets a pattern played by both the editor and the song advance its
    // carry-over queue only once.
    ++m_bufferSerial;
    m_patterns.Tick(m_bufferSerial);
    m_song.Tick(m_bufferSerial);
    m_patterns.DeliverPendingNoteOffs(m_bufferSerial);
}

void CSequencer::MachineAdded(CMachine* machine) { m_patterns.MachineAdded(machine); }

void CSequencer::MachineRemoved(CMachine* machine) {
    m_song.MachineRemoved(machine);
    m_patterns.MachineRemoved(machine);
}

void CSequencer::Clear() {
    CMutexLock lock(m_mutex);
    m_song.Clear();
    m_patterns.Clear();
}

void CSequencer::SampleRateChanged(int32_t rate) { m_patterns.SetSampleRate(rate); }

void CSequencer::BufferSizeChanged(int32_t frames) { m_patterns.SetBufferSize(frames); }
