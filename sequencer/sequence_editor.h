// CSequenceEditor: the model behind the sequence editor page. It owns the song (Sequence) and
// its playback state, keeps the selected row and its pattern box, checks placements and moves,
// carries the song transport (play, record, stop, loop, length) and plays the song once per audio
// buffer.
//
// Threads and locks:
// - user-interface thread: rows, placements and buttons. Edits take the editor mutex (the one the
//   processing cycle holds around the ticks), so they land between buffers.
// - driver thread: Tick, with the studio mutex and the editor mutex held by the cycle.
// - graphics thread (or a user-interface timer): RefreshDisplay, under the editor mutex.
// Changes the driver thread makes (the end of the song) are reported from the next RefreshDisplay;
// the recorder is stopped there too, never on the driver thread, since closing its files may block.
#pragma once

#include "machine_interface/array.h"
#include "sequencer/pattern.h"
#include "sequencer/pattern_list_listener.h"
#include "sequencer/record_song_target.h"
#include "sequencer/sequence.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class CMachine;
class CMutex;
class CChangeCounter;
class CPort;
class CVeskHost;
class Pattern;

enum class SequenceEditorChange {
    Rows,       // rows added or removed: redraw the song view
    Entries,    // placements or the song length changed
    PatternBox, // the selected row or its pattern list or chosen pattern changed
    Transport,  // play, record or loop buttons
    PlayMarker, // the song position moved (from RefreshDisplay)
};

class CSequenceEditorListener {
public:
    virtual ~CSequenceEditorListener() = default;
    virtual void SequenceEditorChanged(SequenceEditorChange change) = 0;
};

class CSequenceEditor final : public CPatternListListener {
public:
    CSequenceEditor(CVeskHost* host, CMutex* editorMutex);
    ~CSequenceEditor() override = default;
    CSequenceEditor(const CSequenceEditor&) = delete;
    CSequenceEditor& operator=(const CSequenceEditor&) = delete;

    // The pattern list (the pattern editor's) the rows choose from and entries are read by serial
    // from. May be null.
    void SetPatternList(const CArray<Pattern>* patterns) { m_patterns = patterns; }
    void SetRecordTarget(CRecordSongTarget* target) { m_recordTarget = target; }
    void AddListener(CSequenceEditorListener* listener);
    void RemoveListener(CSequenceEditorListener* listener);
    // The project change counter every edit of the song (placements, the length) raises. May be
    // null.
    void SetChangeCounter(CChangeCounter* changes) { m_changes = changes; }

    Sequence& Song() { return m_song; }
    const Sequence& Song() const { return m_song; }

    // ----- From the pattern editor and the studio (user-interface thread) -----
    void AnnounceControlPort(CPort* port) override;
    void PatternAdded(Pattern* pattern) override;
    // Refills the pattern box and removes the pattern's placements.
    void PatternRemoved(Pattern* pattern) override;
    void MachineRemoved(CMachine* machine);
    // Empties the song (rows and their entries) and the pattern box.
    void Clear();

    // ----- Rows and the pattern box -----
    // Selects an existing row and refills its pattern box; anything else selects none.
    void SelectRow(int32_t row);
    int32_t SelectedRow() const { return m_selectedRow; }
    // Patterns whose port is the selected row's, in pattern-list order.
    std::vector<Pattern*> PatternBox() const;
    // Index into PatternBox(): the row's chosen pattern.
    void ChoosePattern(int32_t index);
    Pattern* ChosenPattern() const;
    // "<machine name>.<port name>".
    std::string RowLabel(int32_t row) const;

    // ----- Grid -----
    // A left press on a cell: places the selected row's chosen pattern when the row is the
    // selected one and the pattern fits. Returns the new entry or null.
    SequenceEntry* PlaceAt(int32_t row, int32_t beat);
    // The entry of the row covering the beat, or null.
    SequenceEntry* EntryAt(int32_t row, int32_t beat) const;
    // Programmatic placement (project tools, demo songs): the pattern on its own port's row at
    // the start beat, when it fits. Returns the entry or null.
    SequenceEntry* PlacePattern(Pattern* pattern, int32_t startBeat);
    // A right press on an entry.
    void RemoveEntry(int32_t row, SequenceEntry* entry);
    // Dragging an entry: whole beats right of where it was at the press (negative: left). True
    // when the entry moved; a start where it does not fit leaves it at its last good one.
    void BeginEntryDrag(int32_t row, SequenceEntry* entry);
    bool DragEntry(int32_t beats);
    void EndEntryDrag() { m_dragEntry = nullptr; }

    // ----- Transport (user-interface thread) -----
    // "Play": the song plays from its start (also when it already plays).
    void PlaySong();
    // "Record Song": down starts the recorder and plays from the start; up stops both.
    void SetRecordSong(bool down);
    // "Stop": the song stops; a running recording stops with it.
    void StopSong();
    void SetLoop(bool loop);
    // The up-down field: removes entries ending after the new length (1..4096 beats).
    void SetLength(int32_t beats);
    // Moves a row to another place (undo of a machine's removal gives its rows their places
    // back); the selection follows its row.
    void MoveRow(int32_t from, int32_t to);
    // One row's placements as they stand, in their order: (start beat, pattern).
    using RowEntries = std::vector<std::pair<int32_t, Pattern*>>;
    // Puts back a whole song as it was: the length, then every row's placements in the given
    // order (rows beyond the list keep none), without any fit checks. One edit for the listeners;
    // a drag in progress ends.
    void RestoreEntries(int32_t length, const std::vector<RowEntries>& rows);
    bool IsPlaying() const { return m_playing.load(); }
    bool IsPlayDown() const { return m_playDown.load(); }
    bool IsRecordDown() const { return m_recordDown.load(); }
    bool IsLooping() const { return m_loop.load(); }
    int32_t Length() const { return m_song.Length(); }
    // Song position in steps while playing, else -1.
    float DisplayPosition();
    // Song position in samples from the start of the current pass while playing, else -1.
    int64_t PositionSamples();
    // The song's length in samples at the host's current rate and tempo.
    int64_t SongSamples() const;

    // ----- Driver thread -----
    void Tick(uint64_t bufferSerial);

    // ----- Graphics thread -----
    // Reports the play marker and the end of the song, and stops the recorder after the end.
    void RefreshDisplay();

    // ----- Blobs -----
    std::vector<uint8_t> WriteSequenceBlob() const { return m_song.WriteBlob(); }
    // After every pattern blob: sets the length, then appends each record's entries to the row at
    // the same position (extra records skipped, unknown serials dropped). Every count is checked
    // against what remains first; a damaged blob raises "Sequence Data Truncated At Byte %zu" or
    // "Sequence Data Corrupt: ..." and changes nothing.
    void ReadSequenceBlob(const void* data, size_t size);

private:
    void Notify(SequenceEditorChange change);
    void StopRecorderIfPending();
    // Driver thread: renders into the buffer at outputOffset every placement that begins in the
    // song samples [from, from + length) or that from lies inside of (or at the end of).
    void RenderPlacements(uint64_t bufferSerial, const CStepGrid& grid, int32_t outputOffset, int64_t from,
                          int64_t length);

    CVeskHost* m_host;
    CMutex* m_mutex;
    const CArray<Pattern>* m_patterns = nullptr;
    CRecordSongTarget* m_recordTarget = nullptr;
    std::vector<CSequenceEditorListener*> m_listeners;
    CChangeCounter* m_changes = nullptr;
    Sequence m_song;
    int32_t m_selectedRow = -1;

    std::atomic<bool> m_playing{false};
    std::atomic<bool> m_playDown{false};
    std::atomic<bool> m_recordDown{false};
    std::atomic<bool> m_loop{false};
    // Samples from the start of the current pass, counted on m_grid: an exact count, so every
    // step, placement and pass lands on the sample the grid gives it at any buffer size.
    int64_t m_position = 0;
    CStepGrid m_grid; // the grid of the last tick
    std::atomic<bool> m_endedInTick{false};     // the driver thread reached the end
    std::atomic<bool> m_recorderStopDue{false}; // the recorder still has to be stopped
    float m_shownPosition = -1.0f;

    SequenceEntry* m_dragEntry = nullptr;
    int32_t m_dragRow = -1;
    int32_t m_dragStart = 0;
};
