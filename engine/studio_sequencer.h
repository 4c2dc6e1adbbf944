// CStudioSequencer: what the studio asks of the sequencer. The engine knows nothing of patterns;
// the sequencer (pattern editor and song) implements this and the studio calls it.
#pragma once

#include <cstdint>

class CChangeCounter;
class CMachine;
class CMutex;

class CStudioSequencer {
public:
    virtual ~CStudioSequencer() = default;

    // The pattern editor's mutex. The processing cycle holds it (after the studio mutex) for a
    // whole buffer; clearing the project and sample-rate and buffer-size changes take it too.
    virtual CMutex& EditorMutex() = 0;
    // Driver thread, once per buffer, studio mutex and EditorMutex held, before the master is
    // pulled: the pattern editor's tick, then the song's tick. They write this buffer's events
    // into the machines' control input ports (already cleared by the cycle).
    virtual void Tick() = 0;

    // User-interface thread, studio mutex held. A new machine (after its frame is appended) and a
    // machine about to be destroyed (its cables are already gone).
    virtual void MachineAdded(CMachine* machine) = 0;
    virtual void MachineRemoved(CMachine* machine) = 0;
    // The project is cleared: drop every pattern and the song (called with EditorMutex held).
    virtual void Clear() = 0;
    // The driver's rate or buffer size changed (called with EditorMutex held, before the machines
    // learn it).
    virtual void SampleRateChanged(int32_t rate) = 0;
    virtual void BufferSizeChanged(int32_t frames) = 0;
    // The studio's project change counter, which edits of patterns and the song raise (null:
    // detached). User-interface thread, when the sequencer is attached.
    virtual void SetChangeCounter(CChangeCounter* /*changes*/) {}
};
