// Pattern: notes on a step grid plus step-wise control tracks, written for one control input port
// of one machine, and its playback into that port's control buffer.
//
// Time: a step lasts S = sample rate x 4 / BPM samples; step i of a pattern begins at sample
// trunc(i x S) from the pattern's start; a beat is four steps. Every sample of a step is taken from
// the exact quotient i x rate x 4 / BPM (CStepGrid), never from a rounded step length added up, so
// where an event lands never depends on the buffer size or on where counting started.
//
// Threads: editing runs on the user-interface thread; PlayTick and Render run on the driver thread
// inside the processing cycle, which holds the editor mutex for the whole buffer. Every editing
// and transport operation below takes the editor mutex the pattern was made with (null for a
// pattern living outside an editor), so an edit lands between two buffers and never while the
// pattern is rendered. Render, PlayTick and AdvanceCarryOver never allocate: the carry-over queue
// and its scratch buffer recycle their own nodes.
#pragma once

#include "machine_interface/array.h"
#include "machine_interface/control_buffer.h"

#include <cstdint>
#include <string>
#include <vector>

class CMachine;
class CMutex;
class CPort;
class CVeskHost;

// One note: from its start step over length steps (at least 1). For a machine with named notes
// the note is an index into its note names; otherwise a note number 0..127. Notes read from a file
// are kept as stored even when they could not be made in the editor; Render plays a note that
// starts inside the pattern, has a length of at least one step and a note the machine knows (its
// note-off may fall after the pattern's end) and skips any other.
struct PatternNote {
    int32_t start = 0;
    int32_t length = 1;
    int32_t note = 0;
    PatternNote* prev = nullptr;
    PatternNote* next = nullptr;
};

struct ControlStep {
    uint8_t set = 0;    // only set steps (any non-zero flag) send a parameter change
    float value = 0.0f; // 0..1; a value read from a file is kept as stored and limited when played
};

// The steps of one parameter (or, with parameter -1, the notes' velocities): one step per step of
// the pattern when made here. A track read from a file keeps its own step count and parameter;
// steps beyond the pattern, a parameter the machine lacks and a second track for a parameter are
// kept (and written back) but never played.
struct ControlTrack {
    int32_t parameter = 0;
    std::vector<ControlStep> steps;
    bool playable = true; // kept up by the pattern whenever tracks or the port change
};

// Lengths in beats a pattern made in the editor may take.
constexpr int32_t kPatternLengths[] = {1, 2, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96, 128, 192, 256, 384, 512};
constexpr int32_t kVelocityParameter = -1;
// Note numbers of a machine without named notes.
constexpr int32_t kOrdinaryNoteCount = 128;

// The step length in samples for a rate and tempo (0 for a tempo that is not positive).
float StepLength(int32_t sampleRate, float bpm);

// Where steps begin, in samples: step i begins at trunc(i x rate x 4 / BPM). The product is an
// exact integer and the one division is correctly rounded, so the truncation is that of the exact
// quotient for any rate and tempo the studio uses. A value type; copying is free.
class CStepGrid {
public:
    CStepGrid() = default;
    CStepGrid(int32_t sampleRate, float bpm);
    // A grid of a given step length (step i at trunc(i x samples)), for callers that hold one.
    static CStepGrid FromStepLength(float samples);

    // False for a tempo or rate that is not positive: nothing is played on such a grid.
    bool IsValid() const { return m_perStep > 0.0 && m_divisor > 0.0; }
    // The first sample of the step (truncated toward zero; steps may be negative).
    int64_t StepStart(int64_t step) const;
    // The first step at or after `from` that begins at or after the sample (step starts only grow
    // with the step); `from` on an invalid grid.
    int64_t FirstStepStartingAtOrAfter(int64_t sample, int64_t from = 0) const;
    // The song or play position in steps at a sample, for play markers.
    float StepsAt(int64_t sample) const;
    // The sample on this grid at the same place in steps as a sample on another grid (a tempo
    // or rate change while playing), truncated.
    int64_t Rescale(int64_t sample, const CStepGrid& from) const;
    bool operator==(const CStepGrid& other) const = default;

private:
    double m_perStep = 0.0; // rate x 4 (samples x BPM per step), or a step length with divisor 1
    double m_divisor = 0.0; // BPM, or 1
};
// The port's position in its machine's port table, or -1.
int32_t PortIndexOf(const CPort* port);
// True for a control input port (flags 0x010 and 0x002).
bool IsControlInput(const CPort* port);

class Pattern {
public:
    // Create: copies the name; reads the sample rate, buffer size and tempo from the host.
    // The mutex (the editor's, may be null) is taken by every edit; the port is not owned.
    Pattern(CVeskHost* host, CMutex* editorMutex, int32_t lengthBeats, const char* name, CPort* port);
    ~Pattern();
    Pattern(const Pattern&) = delete;
    Pattern& operator=(const Pattern&) = delete;

    // ----- Editing (user-interface thread) -----
    // Appends a note; sets the velocity step at start to 100/127 when a velocity track exists
    // and that step is unset. No validity check: the editor checks before it calls.
    PatternNote* AddNote(int32_t start, int32_t length, int32_t note);
    // Unlinks and frees the note; clears the velocity step when no other note starts there.
    void RemoveNote(PatternNote* note);
    // Moves or resizes a note in place (the editor has checked validity). A new start gets its
    // velocity step as AddNote gives it; the old one is cleared as RemoveNote clears it.
    void SetNote(PatternNote* note, int32_t start, int32_t length, int32_t number);
    int32_t CountNotes() const { return m_noteCount; }
    PatternNote* FirstNote() const { return m_firstNote; }

    // Appends a track of unset steps; parameter -1 makes it the velocity track unless the
    // pattern has one. Returns its index.
    int32_t AddControlTrack(int32_t parameter);
    // Appends a track as read from a file (any parameter and step count). Returns its index.
    int32_t AddStoredControlTrack(int32_t parameter, std::vector<ControlStep> steps);
    // Raises "CArray::RemoveItem - Index Out Of Bounds (%i)" for a bad index.
    void RemoveControlTrack(int32_t index);
    int32_t ControlTrackCount() const { return m_controlTracks.Count(); }
    ControlTrack* GetControlTrack(int32_t index) const { return m_controlTracks[index]; }
    // Index of the track for the parameter, or -1.
    int32_t FindControlTrack(int32_t parameter) const;
    ControlTrack* VelocityTrack() const { return m_velocityTrack; }
    // Sets or clears one step (value clamped to 0..1); steps outside the track are ignored.
    void SetControlStep(int32_t track, int32_t step, float value);
    void ClearControlStep(int32_t track, int32_t step);

    // ----- Pattern-editor transport (user-interface thread) -----
    void Start(bool reset);
    // While playing, asks playback to end once the carry-over queue has drained.
    void Stop(bool reset);
    void SetLoop(bool loop);
    // Play position in steps while playing (and not stopping) or away from 0, else -1.
    float DisplayPosition();

    // ----- Playback (driver thread, editor mutex held by the cycle) -----
    // The pattern editor's per-buffer playback. Locks the target machine for the tick. The buffer
    // serial tells whether the carry-over queue already advanced in this buffer.
    void PlayTick(uint64_t bufferSerial);
    // Delivers the carry-over queue's events that are due in this buffer, the first time it is
    // called for a serial; later calls for the same serial do nothing.
    void AdvanceCarryOver(uint64_t bufferSerial);
    // Puts the events of pattern samples [windowStart, windowStart + windowLength) into the
    // target port at outputOffset + (t - windowStart). windowStart may be negative. Step i of the
    // pattern lies at grid.StepStart(firstStep + i) - grid.StepStart(firstStep): the song passes
    // the step its placement starts on, so every event lands on the song's own grid.
    void Render(int32_t outputOffset, int64_t windowStart, int32_t windowLength, const CStepGrid& grid,
                int64_t firstStep = 0);
    void Render(int32_t outputOffset, int32_t windowStart, int32_t windowLength, float stepLength) {
        Render(outputOffset, windowStart, windowLength, CStepGrid::FromStepLength(stepLength));
    }
    // The pattern's length in samples on the grid, counted from its first step.
    int64_t LengthSamples(const CStepGrid& grid, int64_t firstStep = 0) const {
        return grid.StepStart(firstStep + StepCount()) - grid.StepStart(firstStep);
    }

    // ----- Driver changes (editor mutex held) -----
    void SetSampleRate(int32_t rate) { m_sampleRate = rate; }
    void SetBufferSize(int32_t frames) { m_bufferSize = frames; }

    // ----- Fields -----
    int32_t Length() const { return m_length; }      // beats
    int32_t StepCount() const { return m_length * 4; }
    const char* Name() const { return m_name.c_str(); }
    void SetName(const char* name);
    // A new length in beats (1..4096, else refused with false). Control tracks grow to the new
    // step count; nothing is cut when the pattern shrinks: notes and steps past the end stay
    // stored (and are not played) so a longer length brings them back.
    bool SetLength(int32_t beats);
    CPort* Port() const { return m_port; }
    // The machine the port belongs to, or null without a port.
    CMachine* Machine() const;
    // Moves the pattern to another control input port (of the same machine, in the editor).
    void SetPort(CPort* port);
    bool IsPlaying() const { return m_playing; }
    bool IsStopping() const { return m_stopping; }
    bool IsLooping() const { return m_loop; }
    int64_t Position() const { return m_position; } // samples from the pattern start
    int32_t SampleRate() const { return m_sampleRate; }
    int32_t BufferSize() const { return m_bufferSize; }
    float Bpm() const { return m_bpm; }
    // Note-offs waiting for a later buffer, times relative to the next buffer.
    CControlBuffer& CarryOver() { return m_carryOver; }
    // User-interface thread: hands over the waiting note-offs (times relative to the next buffer)
    // and empties the queue, for a pattern that goes or moves to another port while notes sound.
    std::vector<ControlEvent> TakeCarryOver();

    int32_t m_serial = 0; // list position at the last save, or the value read from a file

private:
    void EmitNote(int32_t kind, int64_t time, int32_t note, float velocity, float frequency);
    float VelocityAt(int32_t step) const;
    bool IsNamedNoteMachine() const;
    bool IsPlayableNote(const PatternNote* note) const;
    // Marks which tracks Render plays (editor mutex held by the caller).
    void UpdatePlayableTracks();
    int32_t AppendTrack(ControlTrack* track);

    CVeskHost* m_host;
    CMutex* m_mutex;
    int32_t m_length;
    std::string m_name;
    CPort* m_port;
    PatternNote* m_firstNote = nullptr;
    PatternNote* m_lastNote = nullptr;
    int32_t m_noteCount = 0;
    bool m_playing = false;
    CArray<ControlTrack> m_controlTracks;
    ControlTrack* m_velocityTrack = nullptr;
    int32_t m_sampleRate;
    int32_t m_bufferSize;
    float m_bpm;
    int64_t m_position = 0;
    bool m_loop = false;
    bool m_stopping = false;
    CControlBuffer m_carryOver;
    CControlBuffer m_scratch; // AdvanceCarryOver's working copy, kept to avoid allocating
    uint64_t m_advancedIn = 0; // serial of the last buffer the queue advanced in (0: none)
};
