// The parts of a project the undo commands record by value and put back: a pattern's content,
// the song's placements, and a whole machine with everything that hangs on it (cables, patterns,
// song rows). Every record names things by stable identity: machines by instance name, ports and
// connectors by index, patterns by their place in the pattern list, song rows by their place.
// Undo and redo put the project back exactly as it was when a record was taken, so those places
// are still the same when the record is used.
//
// Threads: user-interface thread. Capturing reads the models (only that thread writes them);
// putting back takes the studio mutex and the sequencer's editor mutex (in that order) for the
// whole change, so a buffer never renders half of it.
#pragma once

#include "sequencer/pattern.h"

#include <cstdint>
#include <string>
#include <vector>

class CMachineContainer;
class CMachineInfo;
class CProject;
class CSequenceEditor;
class CSequencer;
class CStudio;

// What the commands edit: the open project's studio, sequencer and project text.
struct UndoContext {
    CStudio& studio;
    CSequencer& sequencer;
    CProject& project;
};

struct NoteRecord {
    int32_t start = 0;
    int32_t length = 1;
    int32_t note = 0;
    bool operator==(const NoteRecord&) const = default;
};

struct TrackRecord {
    int32_t parameter = 0;
    std::vector<ControlStep> steps;
    bool operator==(const TrackRecord& other) const;
};

// Everything the file keeps of a pattern, in the list order of its notes and tracks.
struct PatternRecord {
    std::string machine; // instance name of the port's machine
    int32_t port = 0;    // port index on that machine
    std::string name;
    int32_t length = 0; // beats
    std::vector<NoteRecord> notes;
    std::vector<TrackRecord> tracks;
    bool operator==(const PatternRecord&) const = default;
};

// The song's length and every row's placements (start beat, pattern list index), in order.
struct SongRecord {
    int32_t length = 0;
    std::vector<std::vector<std::pair<int32_t, int32_t>>> rows;
    bool operator==(const SongRecord&) const = default;
};

struct CableRecord {
    std::string source;        // machine name
    int32_t sourceConnector = 0;
    std::string destination;   // machine name
    int32_t destinationConnector = 0;
    int32_t position = 0;      // among the destination connector's cables
    float volume = 1.0f;
};

// A machine and all that goes with it when it is deleted.
struct MachineRecord {
    int32_t index = 0; // in the studio's machine list
    std::string name;
    CMachineInfo* info = nullptr; // the registry's descriptor (lives as long as the registry)
    int32_t x = 0, y = 0;
    int32_t panelMode = 0;
    std::vector<uint8_t> state;
    bool parameterList = false;
    std::vector<CableRecord> cables;                         // in and out, in file order
    std::vector<std::pair<int32_t, PatternRecord>> patterns; // list index, pattern
    std::vector<std::pair<int32_t, int32_t>> rows;           // song row index, port index
    SongRecord song;                                         // the whole song as it was
};

namespace UndoRecords {

// Raises "Machine '%s' Not Found" / "Pattern %i Not Found" when the project no longer has it
// (an edit made around the undo history).
CMachineContainer* FindMachine(CStudio& studio, const std::string& name);
Pattern* PatternAt(CSequencer& sequencer, int32_t index);
int32_t PatternIndex(CSequencer& sequencer, const Pattern* pattern);

PatternRecord CapturePattern(CStudio& studio, const Pattern& pattern);
// Gives an existing pattern the record's name, length, notes and tracks (its port stays).
void RestorePattern(const UndoContext& context, Pattern& pattern, const PatternRecord& record);
// Makes the pattern anew at its list index with the record's content.
Pattern* RecreatePattern(const UndoContext& context, int32_t index, const PatternRecord& record);

SongRecord CaptureSong(CSequencer& sequencer);
void RestoreSong(const UndoContext& context, const SongRecord& record);

MachineRecord CaptureMachine(const UndoContext& context, CMachineContainer* frame);
// Builds the machine again from its record, at its place, with its cables, patterns, rows and
// the song. Returns its frame.
CMachineContainer* RestoreMachine(const UndoContext& context, const MachineRecord& record);

} // namespace UndoRecords
