// CSequencer: the studio's sequencer. It owns the editor mutex, the pattern editor model (every
// pattern of the studio) and the sequence editor model (the song), and is what the studio calls
// through CStudioSequencer: once per buffer for the ticks, and when machines come and go, the
// project is cleared or the driver changes.
//
// Lock order: studio mutex, then the editor mutex, then machine locks. The processing cycle holds
// the editor mutex for a whole buffer; every edit in the two models takes it for its own duration.
//
// A song from code (after the studio announced the machine with MachineAdded):
//   Pattern* bass = sequencer.Patterns().CreatePattern(machine->m_ports[i], 4);   // 4 beats
//   bass->AddNote(0, 2, 36);                       // start step, length in steps, note
//   int32_t cutoff = bass->AddControlTrack(0);     // parameter 0 (-1: velocity)
//   bass->SetControlStep(cutoff, 8, 0.7f);
//   sequencer.Song().PlacePattern(bass, 0);        // at beat 0 of its port's row
//   sequencer.Song().SetLength(16);                // beats
//   sequencer.Song().PlaySong();                   // IsPlaying() turns false at the song's end
#pragma once

#include "engine/studio_sequencer.h"
#include "machine_interface/mutex.h"
#include "sequencer/pattern_editor.h"
#include "sequencer/sequence_editor.h"

#include <cstdint>
#include <vector>

class CVeskHost;

class CSequencer : public CStudioSequencer {
public:
    explicit CSequencer(CVeskHost* host);
    ~CSequencer() override;
    CSequencer(const CSequencer&) = delete;
    CSequencer& operator=(const CSequencer&) = delete;

    CMutex& EditorMutex() override { return m_mutex; }
    // Driver thread, editor mutex held by the cycle: the pattern editor's tick, then the song's.
    void Tick() override;
    void MachineAdded(CMachine* machine) override;
    void MachineRemoved(CMachine* machine) override;
    void Clear() override;
    void SampleRateChanged(int32_t rate) override;
    void BufferSizeChanged(int32_t frames) override;
    void SetChangeCounter(CChangeCounter* changes) override {
        m_patterns.SetChangeCounter(changes);
        m_song.SetChangeCounter(changes);
    }

    CPatternEditor& Patterns() { return m_patterns; }
    CSequenceEditor& Song() { return m_song; }

    // Project file: every pattern blob first (it numbers the serials), then the sequence blob;
    // reading in the same order.
    std::vector<uint8_t> WritePatternBlob(int32_t projectIndex) { return m_patterns.WritePatternBlob(projectIndex); }
    void ReadPatternBlob(const void* data, size_t size) { m_patterns.ReadPatternBlob(data, size); }
    std::vector<uint8_t> WriteSequenceBlob() const { return m_song.WriteSequenceBlob(); }
    void ReadSequenceBlob(const void* data, size_t size) { m_song.ReadSequenceBlob(data, size); }

    // Buffers ticked so far; each tick gets the next serial.
    uint64_t BufferSerial() const { return m_bufferSerial; }

private:
    CMutex m_mutex;
    CSequenceEditor m_song;
    CPatternEditor m_patterns;
    uint64_t m_bufferSerial = 0;
};
