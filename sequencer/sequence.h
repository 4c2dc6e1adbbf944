// Sequence: the song. One row (SequenceTrack) per control input port of the studio, in the order
// the ports were announced, each holding placements (SequenceEntry) of patterns at start beats.
//
// The sequence editor owns it together with the song's playback state; the pattern editor owns the
// patterns the entries point at. Edits take the editor mutex given at construction (the one the
// processing cycle holds around the song's tick), so the song never changes under a tick.
#pragma once

#include "machine_interface/array.h"

#include <cstdint>
#include <vector>

class CMachine;
class CMutex;
class CPort;
class Pattern;

// One placement: the pattern plays from beat start over the pattern's length in beats.
struct SequenceEntry {
    int32_t start = 0;
    Pattern* pattern = nullptr; // not owned
};

struct SequenceTrack {
    explicit SequenceTrack(CPort* trackPort) : port(trackPort) {}
    ~SequenceTrack();
    SequenceTrack(const SequenceTrack&) = delete;
    SequenceTrack& operator=(const SequenceTrack&) = delete;

    CPort* port;                     // the row's control input port; not owned
    Pattern* chosenPattern = nullptr; // what a click on this row places; not saved
    CArray<SequenceEntry> entries;    // owned, in the order they were added
};

constexpr int32_t kMinSongLength = 1;
constexpr int32_t kMaxSongLength = 4096;
constexpr int32_t kDefaultSongLength = 64;

class Sequence {
public:
    explicit Sequence(CMutex* editorMutex) : m_mutex(editorMutex) {}
    ~Sequence();
    Sequence(const Sequence&) = delete;
    Sequence& operator=(const Sequence&) = delete;

    // Empties the track list (entries go with their tracks).
    void Clear();
    // Adds a row for the port at the end unless one exists. True when a row was added.
    bool AnnounceControlPort(CPort* port);
    // Removes every row whose port belongs to the machine; returns how many went.
    int32_t RemoveMachine(CMachine* machine);
    // Removes every placement of the pattern and forgets it as any row's chosen pattern.
    void RemovePattern(Pattern* pattern);
    // Appends a placement without any check (project load and programmatic songs).
    SequenceEntry* AddEntry(int32_t track, Pattern* pattern, int32_t start);
    // Removes and frees the entry if it is on the row.
    void RemoveEntry(int32_t track, SequenceEntry* entry);
    // Moves an entry to a new start (the editor checked it fits).
    void MoveEntry(SequenceEntry* entry, int32_t start);
    // True when the pattern placed at start on the row lies inside the song and overlaps no entry
    // of the row other than ignore.
    bool Fits(int32_t track, const Pattern* pattern, int32_t start, const SequenceEntry* ignore) const;
    // Removes from every row each entry ending after the new length, then keeps the length
    // (clamped to 1..4096).
    void SetLength(int32_t beats);
    void SetChosenPattern(int32_t track, Pattern* pattern);
    // Moves a row to another place (both inside the list; anything else changes nothing).
    void MoveTrack(int32_t from, int32_t to);

    int32_t Length() const { return m_length; }
    int32_t TrackCount() const { return m_tracks.Count(); }
    SequenceTrack* GetTrack(int32_t index) const { return m_tracks[index]; }
    // Index of the row for the port, or -1.
    int32_t FindTrack(const CPort* port) const;
    // Every placement of the song, for sizing the tick's bookkeeping.
    int32_t EntryCount() const;

    // 8 + per row (8 + 8 x entries) bytes: length, row count, then per row the port index, the
    // entry count and (start beat, pattern serial) pairs.
    std::vector<uint8_t> WriteBlob() const;

private:
    CMutex* m_mutex;
    CArray<SequenceTrack> m_tracks;
    int32_t m_length = kDefaultSongLength;
};
