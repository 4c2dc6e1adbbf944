// The undoable edits of a project, one factory per edit a view makes. Each returns a command for
// CUndoStack::Do, which makes the edit; the command keeps by value (or by name and place) what
// undo and redo need, never a pointer to a machine, pattern, note or cable that they destroy and
// make again. Pointers handed to a factory are read at once and not kept.
//
// Threads: user-interface thread. The edits take the studio mutex and the sequencer's editor
// mutex as the models' own edits do.
//
// Merging: in a gesture (CUndoStack::BeginGesture/EndGesture) the commands of one kind on one
// target become one step: note and step drags on one pattern, entry drags in the song, moves of
// one machine, one cable's volume, the tempo, typing in the project text.
#pragma once

#include "studio_ui/undo/edit_snapshots.h"
#include "studio_ui/undo/undo_stack.h"

#include <functional>
#include <memory>
#include <string>

class CConnector;
class CMachineContainer;
class CMachineInfo;
class CPort;
class Pattern;

namespace UndoCommands {

using Command = std::unique_ptr<CUndoCommand>;

// ----- Notes and control steps (the pattern's content) -----
// Any edit of one pattern's notes, lanes, name or length made by the callback, which may go
// through the pattern editor's own checked operations (AddNoteAt, DragNote, PressStep, DragStep,
// ClearStep, AddControlTrack, ...). The pattern's content before and after is recorded; an edit
// that changed nothing keeps no step.
Command EditPattern(const UndoContext& context, const std::string& text, Pattern* pattern,
                    std::function<void(Pattern&)> edit);
// "Add Note": a note (start and length in steps) when the editor finds it valid.
Command AddNote(const UndoContext& context, Pattern* pattern, int32_t start, int32_t length, int32_t note);
// "Remove Note" / "Move Note" / "Resize Note": the note starting at start with that number.
// A move or resize the editor finds invalid changes nothing.
Command RemoveNote(const UndoContext& context, Pattern* pattern, int32_t start, int32_t note);
Command MoveNote(const UndoContext& context, Pattern* pattern, int32_t start, int32_t note, int32_t newStart,
                 int32_t newNote);
Command ResizeNote(const UndoContext& context, Pattern* pattern, int32_t start, int32_t note, int32_t newStart,
                   int32_t newLength);
// "Set Control Step" (value 0..1) / "Clear Control Step" on a lane (control track index).
Command SetControlStep(const UndoContext& context, Pattern* pattern, int32_t track, int32_t step, float value);
Command ClearControlStep(const UndoContext& context, Pattern* pattern, int32_t track, int32_t step);

// ----- Patterns -----
// "Add Pattern": a new pattern of the port (a null name takes the next free one).
Command AddPattern(const UndoContext& context, CPort* port, int32_t lengthBeats, const char* name = nullptr);
// "Add Pattern" through the pattern editor's own button (its selected machine and port).
Command AddSelectedPattern(const UndoContext& context);
// "Remove Pattern": the pattern with its placements in the song.
Command RemovePattern(const UndoContext& context, Pattern* pattern);
Command RenamePattern(const UndoContext& context, Pattern* pattern, const std::string& name);
// "Duplicate Pattern": a copy of notes and lanes under the next free name, listed after the original.
Command DuplicatePattern(const UndoContext& context, Pattern* pattern);
// "Pattern Length" (beats, 1..4096): placements in the song that no longer fit are removed.
Command SetPatternLength(const UndoContext& context, Pattern* pattern, int32_t beats);

// ----- The song -----
// Any edit of the song's placements or length made by the callback (the sequence editor's
// PlaceAt, DragEntry, RemoveEntry, SetLength, ...).
Command EditSong(const UndoContext& context, const std::string& text, std::function<void(CSequenceEditor&)> edit);
// "Place Pattern": on its port's row at the start beat, when it fits.
Command PlaceEntry(const UndoContext& context, Pattern* pattern, int32_t startBeat);
// "Move Pattern" / "Remove Pattern From Song": the entry of the row covering the beat.
Command MoveEntry(const UndoContext& context, int32_t row, int32_t beat, int32_t newStart);
Command RemoveEntry(const UndoContext& context, int32_t row, int32_t beat);
// "Song Length" (beats).
Command SetSongLength(const UndoContext& context, int32_t beats);

// ----- Machines and cables -----
// "Add Machine" at surface pixels (x, y); undo deletes it, redo brings back the same machine.
Command AddMachine(const UndoContext& context, CMachineInfo* info, int32_t x, int32_t y);
// "Delete Machine": undo gives back the machine with its state, name, place, panel mode, its
// cables with their volumes, its patterns and its song rows.
Command DeleteMachine(const UndoContext& context, CMachineContainer* frame);
// "Rename Machine": raises "Machine '%s' Already Exists" when another machine has the name (the
// history finds machines by name).
Command RenameMachine(const UndoContext& context, CMachineContainer* frame, const std::string& name);
// "Move Machine" to surface pixels.
Command MoveMachine(const UndoContext& context, CMachineContainer* frame, int32_t x, int32_t y);
// "Connect": the two connectors in either order, as CStudio::Connect takes them.
Command Connect(const UndoContext& context, CConnector* first, CConnector* second, float volume = 1.0f);
// "Disconnect": the input's cable at index.
Command Disconnect(const UndoContext& context, CConnector* input, int32_t index);
// "Cable Volume": the target volume (power ratio) of the input's cable at index.
Command SetCableVolume(const UndoContext& context, CConnector* input, int32_t index, float volume);

// ----- Project -----
// "Tempo" (beats per minute).
Command SetTempo(const UndoContext& context, float bpm);
// "Edit Project Info".
Command SetProjectText(const UndoContext& context, const std::string& text);

} // namespace UndoCommands
