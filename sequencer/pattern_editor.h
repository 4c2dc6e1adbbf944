// CPatternEditor: the model behind the pattern editor page. It owns every pattern of the studio
// (the pattern list), keeps the machine list and the selections (machine, port, current pattern,
// property), checks and applies note and control-step edits, carries the "Play Pattern" transport
// and plays the current pattern once per audio buffer.
//
// Threads and locks:
// - user-interface thread: every selection and edit. Edits of patterns and of the list take the
//   editor mutex, which the processing cycle holds for a whole buffer, so they land between
//   buffers. Reads on the user-interface thread need no lock (only that thread writes the model).
// - driver thread: Tick, with the studio mutex and the editor mutex held by the cycle.
// - graphics thread (or a user-interface timer): RefreshDisplay, under the editor mutex.
// Listeners are told of changes on the thread that made them; changes made by the driver thread
// (the "Play Pattern" button coming up) are reported from the next RefreshDisplay.
#pragma once

#include "machine_interface/array.h"
#include "sequencer/pattern.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CChangeCounter;
class CMachine;
class CMutex;
class CPatternListListener;
class CPort;
class CVeskHost;

enum class PatternEditorChange {
    Machines,      // the machine list (machine box)
    Selection,     // machine, port, pattern box, current pattern or property box
    Notes,         // notes of the current pattern: redraw grid and lanes
    ControlTracks, // lanes added or removed
    ControlSteps,  // a control step was set, dragged or cleared
    Transport,     // "Play Pattern" or "Loop Pattern"
    PlayMarker,    // the play position moved (from RefreshDisplay)
};

class CPatternEditorListener {
public:
    virtual ~CPatternEditorListener() = default;
    virtual void PatternEditorChanged(PatternEditorChange change) = 0;
};

// What a drag of a note changes: its start (the length follows), its place, or its end. The view
// chooses it from where the press landed on the note.
enum class NoteZone { ResizeStart, Move, ResizeEnd };

constexpr int32_t kMaxNoteLength = 64;
constexpr int32_t kDefaultNoteLength = 4;
constexpr int32_t kDefaultPatternLength = 16;

class CPatternEditor {
public:
    // The mutex is the editor mutex shared with the song (owned by the caller).
    CPatternEditor(CVeskHost* host, CMutex* editorMutex);
    ~CPatternEditor();
    CPatternEditor(const CPatternEditor&) = delete;
    CPatternEditor& operator=(const CPatternEditor&) = delete;

    // The song, told of new control ports and of patterns coming and going. May be null.
    void SetSong(CPatternListListener* song) { m_song = song; }
    void AddListener(CPatternEditorListener* listener);
    void RemoveListener(CPatternEditorListener* listener);
    // The project change counter every edit of a pattern (notes, lanes, steps, patterns made or
    // destroyed) raises. May be null.
    void SetChangeCounter(CChangeCounter* changes) { m_changes = changes; }

    // ----- Studio (user-interface thread, studio mutex held) -----
    // A machine with a control input joins the machine list; its control inputs are announced.
    void MachineAdded(CMachine* machine);
    // Destroys the machine's patterns and drops it from the list and the selection.
    void MachineRemoved(CMachine* machine);
    // Destroys every pattern; the current pattern becomes none (editor mutex held by the caller).
    void Clear();
    // Driver changes (editor mutex held by the caller): applied to every pattern.
    void SetSampleRate(int32_t rate);
    void SetBufferSize(int32_t frames);

    // ----- Machine, port and pattern boxes -----
    const std::vector<CMachine*>& Machines() const { return m_machines; }
    // Selects the machine (its first port and first pattern); the selected one clears the
    // selection. Null or a machine outside the list clears it too.
    void SelectMachine(CMachine* machine);
    CMachine* SelectedMachine() const { return m_machine; }
    // The selected machine's control input ports (port box).
    const std::vector<CPort*>& Ports() const { return m_ports; }
    // Index into Ports(); an invalid index clears the port. A current pattern moves to the port.
    void SelectPort(int32_t index);
    CPort* SelectedPort() const { return m_port; }
    // The selected machine's patterns in list order (pattern box).
    std::vector<Pattern*> MachinePatterns() const;
    // Index into MachinePatterns(); an invalid index makes no pattern current.
    void SelectPattern(int32_t index);
    Pattern* CurrentPattern() const { return m_current; }

    // ----- Property box -----
    // -1 (velocity) first, then the selected port's machine's parameters; empty without a port.
    const std::vector<int32_t>& Parameters() const { return m_parameters; }
    // "Velocity", then each parameter's name or "Property %i".
    std::vector<std::string> PropertyNames() const;
    // Index into Parameters(); invalid clears the choice.
    void SelectProperty(int32_t index);
    bool HasProperty() const { return m_propertyIndex >= 0; }
    int32_t SelectedParameter() const;

    // ----- Lengths -----
    // 1..64 steps; refused otherwise.
    bool SetNoteLength(int32_t steps);
    int32_t NoteLength() const { return m_noteLength; }
    // One of kPatternLengths (beats); refused otherwise. Existing patterns keep theirs.
    bool SetNewPatternLength(int32_t beats);
    int32_t NewPatternLength() const { return m_newPatternLength; }

    // ----- Buttons -----
    // "Add Pattern": needs a machine and a port; returns the new current pattern or null.
    Pattern* AddPattern();
    // "Remove Pattern": the pattern at the same place (or the last) becomes current.
    void RemovePattern();
    // "Play Pattern" toggle: down plays the current pattern on from its kept position.
    void SetPlayPattern(bool down);
    bool IsPlayPatternDown() const { return m_playDown.load(); }
    // "Stop Pattern": playback ends (after its held notes) and the position returns to 0.
    void StopPattern();
    // "Loop Pattern" toggle.
    void SetLoopPattern(bool down);
    bool IsLoopPatternDown() const { return m_loopDown; }
    // "Add Control Track" / "Remove Control Track" for the chosen property.
    bool AddControlTrack();
    bool RemoveControlTrack();

    // ----- Programmatic patterns (project tools, demo songs) -----
    // A pattern for any control input port of a listed machine, appended to the list. A null name
    // takes the next free "Pattern %i" of that machine. Null when the port is not usable.
    Pattern* CreatePattern(CPort* port, int32_t lengthBeats, const char* name = nullptr);
    // Removes the pattern from the list and the song and destroys it.
    void DestroyPattern(Pattern* pattern);
    // Puts a listed pattern at a place in the pattern list (clamped), the others keeping their
    // order: the list order numbers the serials the song refers to in the file.
    void MovePattern(Pattern* pattern, int32_t index);
    // Lists the machines in the order given (the studio's machine list; machines not in it keep
    // their places after those that are), for a machine given back at its old place.
    void OrderMachines(const std::vector<CMachine*>& order);
    // The pattern's notes, lanes, length or name were changed from outside the editor's own
    // operations (undo, redo): drops a drag on it and tells the listeners when it is current.
    void PatternChanged(Pattern* pattern);

    // ----- Note grid (current pattern) -----
    // Rows: 128 for an ordinary machine (note 127 on top), N for named notes (index 0 on top).
    int32_t RowCount() const;
    int32_t NoteForRow(int32_t row) const;
    int32_t RowForNote(int32_t note) const;
    // "C-5" for note 60, or the machine's name for a named note.
    std::string NoteLabel(int32_t note) const;
    // The note is in range and inside the pattern and no other note of the same number (other
    // than ignore) overlaps [start, start + length).
    bool IsValidNote(int32_t start, int32_t length, int32_t note, const PatternNote* ignore) const;
    // The first note of the current pattern covering the cell, or null.
    PatternNote* NoteAt(int32_t step, int32_t note) const;
    // A left press on an empty cell: a note of the chosen length, when valid.
    PatternNote* AddNoteAt(int32_t step, int32_t note);
    // A right press on a note.
    void RemoveNote(PatternNote* note);
    // A drag of a note: origin remembered at the press. Deltas count whole steps right and whole
    // grid rows down from the press (a row down is a lower note, or the next named note).
    void BeginNoteDrag(PatternNote* note, NoteZone zone);
    // True when the note changed.
    bool DragNote(int32_t steps, int32_t rowsDown);
    void EndNoteDrag() { m_dragNote = nullptr; }
    PatternNote* DraggedNote() const { return m_dragNote; }

    // ----- Control lanes (current pattern, lane = control track index) -----
    // A left press on an unset step: sets it to the value, held to 0..1 (NaN reads as 0).
    bool PressStep(int32_t lane, int32_t step, float value);
    // A drag of a set step's handle: the value at the press plus the change, held to 0..1.
    // Returns the new value.
    void BeginStepDrag(int32_t lane, int32_t step);
    float DragStep(float change);
    void EndStepDrag() { m_dragLane = -1; }
    // A right press on a handle.
    void ClearStep(int32_t lane, int32_t step);
    // "Velocity" or the parameter's name.
    std::string LaneLabel(int32_t lane) const;
    // The pop-up text for a value of the lane (FormatParameter, -1 for velocity).
    std::string LaneValueText(int32_t lane, float value) const;

    // ----- Driver thread -----
    // Once per buffer while "Play Pattern" is down: plays the current pattern, or puts the button
    // up when it has stopped.
    void Tick(uint64_t bufferSerial);

    // After both ticks of a buffer: every pattern not played in this buffer that still holds
    // note-offs delivers those due now, and so do the note-offs of patterns removed or moved to
    // another port while their notes sounded, so a stopped or removed pattern or song leaves no
    // note hanging.
    void DeliverPendingNoteOffs(uint64_t bufferSerial);

    // ----- Graphics thread -----
    // Reports the play marker and any transport change the driver thread made.
    void RefreshDisplay();
    float DisplayPosition();

    // ----- Pattern list and blobs (user-interface thread) -----
    const CArray<Pattern>& Patterns() const { return m_patterns; }
    Pattern* FindBySerial(int32_t serial) const;
    // Renumbers every pattern's serial to its list position, then writes the patterns whose
    // machine has this project index: count, then per pattern a 1048-byte head (serial, length,
    // 1024-byte name, note count, track count, project index, port index), its notes and tracks.
    std::vector<uint8_t> WritePatternBlob(int32_t projectIndex);
    // Reads one machine's blob: every length is checked against what remains before anything is
    // read or made; a damaged blob raises "Pattern Data Truncated At Byte %zu" or "Pattern Data
    // Corrupt: ..." and adds nothing. Patterns whose machine (by project index among the listed
    // machines) or control input port is missing are dropped.
    void ReadPatternBlob(const void* data, size_t size);

private:
    void Notify(PatternEditorChange change);
    void MakeCurrent(Pattern* pattern);
    void FillPorts();
    void FillParameters();
    std::string FreePatternName(CMachine* machine) const;
    bool IsListed(const CMachine* machine) const;
    void AppendPattern(Pattern* pattern);
    // releaseNotes: the pattern's waiting note-offs still reach its port (not when its machine
    // goes).
    void DestroyListed(int32_t index, bool releaseNotes = true);
    // Moves the pattern's waiting note-offs to the released queue, for its current port.
    void ReleaseHeldNotes(Pattern* pattern);
    bool IsNamed() const;

    CVeskHost* m_host;
    CMutex* m_mutex;
    CPatternListListener* m_song = nullptr;
    std::vector<CPatternEditorListener*> m_listeners;
    CChangeCounter* m_changes = nullptr;

    CArray<Pattern> m_patterns;
    std::vector<CMachine*> m_machines;
    CMachine* m_machine = nullptr;
    std::vector<CPort*> m_ports;
    CPort* m_port = nullptr;
    Pattern* m_current = nullptr;
    std::vector<int32_t> m_parameters;
    int32_t m_propertyIndex = -1;
    int32_t m_noteLength = kDefaultNoteLength;
    int32_t m_newPatternLength = kDefaultPatternLength;

    // Note-offs of patterns that went or moved while their notes sounded: appended on the
    // user-interface thread and delivered (and dropped) by the driver thread, both under the
    // editor mutex. Times are relative to the next buffer.
    struct ReleasedNoteOff {
        CPort* port;
        ControlEvent event;
    };
    std::vector<ReleasedNoteOff> m_released;

    std::atomic<bool> m_playDown{false};
    bool m_loopDown = false;
    std::atomic<bool> m_transportChanged{false}; // set by the driver thread, reported by RefreshDisplay
    float m_shownPosition = -1.0f;

    PatternNote* m_dragNote = nullptr;
    NoteZone m_dragZone = NoteZone::Move;
    int32_t m_dragStart = 0, m_dragLength = 0, m_dragPitch = 0;
    int32_t m_dragLane = -1, m_dragStep = 0;
    float m_dragValue = 0.0f;
};
