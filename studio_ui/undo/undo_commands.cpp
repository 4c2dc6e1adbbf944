#include "studio_ui/undo/undo_commands.h"

#include "engine/studio.h"
#include "machine_interface/machine.h"
#include "machine_interface/port.h"
#include "machine_interface/vesk_host.h"
#include "persistence/project_file.h"
#include "platform/error.h"
#include "sequencer/sequencer.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace UndoCommands {

namespace {

using namespace UndoRecords;

// ----- Content of one pattern -----

class CPatternEditCommand final : public CUndoCommand {
public:
    CPatternEditCommand(const UndoContext& context, std::string text, int32_t pattern,
                        std::function<void(Pattern&)> edit, bool withSong)
        : m_context(context), m_text(std::move(text)), m_pattern(pattern), m_edit(std::move(edit)),
          m_withSong(withSong) {}

    std::string Text() const override { return m_text; }
    void Do() override {
        Pattern* pattern = PatternAt(m_context.sequencer, m_pattern);
        m_before = CapturePattern(m_context.studio, *pattern);
        if (m_withSong) m_songBefore = CaptureSong(m_context.sequencer);
        m_edit(*pattern);
        m_edit = nullptr; // may hold what the caller handed in; done with it
        m_after = CapturePattern(m_context.studio, *pattern);
        if (m_withSong) m_songAfter = CaptureSong(m_context.sequencer);
    }
    void Undo() override { Apply(m_before, m_songBefore); }
    void Redo() override { Apply(m_after, m_songAfter); }
    bool Changed() const override { return !(m_before == m_after) || !(m_songBefore == m_songAfter); }
    bool MergeWith(CUndoCommand& later) override {
        auto* other = dynamic_cast<CPatternEditCommand*>(&later);
        if (!other || other->m_text != m_text || other->m_pattern != m_pattern || other->m_withSong != m_withSong)
            return false;
        m_after = std::move(other->m_after);
        m_songAfter = std::move(other->m_songAfter);
        return true;
    }

private:
    void Apply(const PatternRecord& record, const SongRecord& song) {
        RestorePattern(m_context, *PatternAt(m_context.sequencer, m_pattern), record);
        if (m_withSong) RestoreSong(m_context, song);
    }

    UndoContext m_context;
    std::string m_text;
    int32_t m_pattern;
    std::function<void(Pattern&)> m_edit;
    bool m_withSong;
    PatternRecord m_before, m_after;
    SongRecord m_songBefore, m_songAfter;
};

// ----- The song's placements and length -----

class CSongEditCommand final : public CUndoCommand {
public:
    CSongEditCommand(const UndoContext& context, std::string text, std::function<void(CSequenceEditor&)> edit)
        : m_context(context), m_text(std::move(text)), m_edit(std::move(edit)) {}

    std::string Text() const override { return m_text; }
    void Do() override {
        m_before = CaptureSong(m_context.sequencer);
        m_edit(m_context.sequencer.Song());
        m_edit = nullptr;
        m_after = CaptureSong(m_context.sequencer);
    }
    void Undo() override { RestoreSong(m_context, m_before); }
    void Redo() override { RestoreSong(m_context, m_after); }
    bool Changed() const override { return !(m_before == m_after); }
    bool MergeWith(CUndoCommand& later) override {
        auto* other = dynamic_cast<CSongEditCommand*>(&later);
        if (!other || other->m_text != m_text) return false;
        m_after = std::move(other->m_after);
        return true;
    }

private:
    UndoContext m_context;
    std::string m_text;
    std::function<void(CSequenceEditor&)> m_edit;
    SongRecord m_before, m_after;
};

// ----- A pattern made or removed -----

class CPatternPresenceCommand final : public CUndoCommand {
public:
    // Adding: make returns the new pattern (null: nothing made). Removing: the pattern's index.
    CPatternPresenceCommand(const UndoContext& context, std::string text, std::function<Pattern*()> make)
        : m_context(context), m_text(std::move(text)), m_make(std::move(make)), m_adding(true) {}
    CPatternPresenceCommand(const UndoContext& context, int32_t index)
        : m_context(context), m_text("Remove Pattern"), m_index(index), m_adding(false) {}

    std::string Text() const override { return m_text; }
    void Do() override {
        if (m_adding) {
            Pattern* pattern = m_make();
            m_make = nullptr;
            if (!pattern) return;
            m_index = PatternIndex(m_context.sequencer, pattern);
            m_record = CapturePattern(m_context.studio, *pattern);
        } else {
            m_record = CapturePattern(m_context.studio, *PatternAt(m_context.sequencer, m_index));
            m_song = CaptureSong(m_context.sequencer);
            Destroy();
        }
        m_changed = true;
    }
    void Undo() override { m_adding ? Destroy() : Recreate(); }
    void Redo() override { m_adding ? Recreate() : Destroy(); }
    bool Changed() const override { return m_changed; }

private:
    void Destroy() {
        CMutexLock lock(m_context.studio.Mutex());
        m_context.sequencer.Patterns().DestroyPattern(PatternAt(m_context.sequencer, m_index));
    }
    void Recreate() {
        CMutexLock lock(m_context.studio.Mutex());
        RecreatePattern(m_context, m_index, m_record);
        // A removed pattern's placements come back with the song as it was.
        if (!m_adding) RestoreSong(m_context, m_song);
    }

    UndoContext m_context;
    std::string m_text;
    std::function<Pattern*()> m_make;
    int32_t m_index = -1;
    bool m_adding;
    bool m_changed = false;
    PatternRecord m_record;
    SongRecord m_song;
};

// ----- A machine made or deleted -----

class CMachinePresenceCommand final : public CUndoCommand {
public:
    CMachinePresenceCommand(const UndoContext& context, CMachineInfo* info, int32_t x, int32_t y)
        : m_context(context), m_adding(true), m_info(info), m_x(x), m_y(y) {}
    CMachinePresenceCommand(const UndoContext& context, std::string name)
        : m_context(context), m_adding(false), m_name(std::move(name)) {}

    std::string Text() const override { return m_adding ? "Add Machine" : "Delete Machine"; }
    void Do() override {
        if (m_adding) {
            CMachineContainer* frame = m_context.studio.AddMachine(m_info, m_x, m_y);
            m_name = frame->m_name;
            m_record = CaptureMachine(m_context, frame);
        } else {
            m_record = CaptureMachine(m_context, FindMachine(m_context.studio, m_name));
            Delete();
        }
    }
    void Undo() override { m_adding ? Delete() : Restore(); }
    void Redo() override { m_adding ? Restore() : Delete(); }

private:
    void Delete() { m_context.studio.DeleteMachine(FindMachine(m_context.studio, m_name)); }
    void Restore() { RestoreMachine(m_context, m_record); }

    UndoContext m_context;
    bool m_adding;
    CMachineInfo* m_info = nullptr;
    int32_t m_x = 0, m_y = 0;
    std::string m_name;
    MachineRecord m_record;
};

// ----- A cable made or removed -----

class CCableCommand final : public CUndoCommand {
public:
    // Connecting: the two connectors as the caller gave them. Disconnecting: the recorded cable.
    CCableCommand(const UndoContext& context, CableRecord cable, bool connecting)
        : m_context(context), m_cable(std::move(cable)), m_connecting(connecting) {}

    std::string Text() const override { return m_connecting ? "Connect" : "Disconnect"; }
    void Do() override {
        if (m_connecting) {
            CConnector* input = Input();
            m_changed = m_context.studio.Connect(Source(), input, m_cable.volume);
            if (!m_changed) return;
            // Connect took the connectors in either order; the input is the one that got a cable.
            if (input->m_port->IsOutput()) {
                std::swap(m_cable.source, m_cable.destination);
                std::swap(m_cable.sourceConnector, m_cable.destinationConnector);
                input = Input();
            }
            m_cable.position = input->m_connections.Count() - 1;
        } else {
            Remove();
            m_changed = true;
        }
    }
    void Undo() override { m_connecting ? Remove() : Make(); }
    void Redo() override { m_connecting ? Make() : Remove(); }
    bool Changed() const override { return m_changed; }

private:
    CConnector* Source() {
        return FindMachine(m_context.studio, m_cable.source)->Connector(m_cable.sourceConnector);
    }
    CConnector* Input() {
        return FindMachine(m_context.studio, m_cable.destination)->Connector(m_cable.destinationConnector);
    }
    void Make() {
        CConnector* input = Input();
        if (!m_context.studio.Connect(Source(), input, m_cable.volume))
            platform::Raise("Cable From '%s' To '%s' Could Not Be Made Again", m_cable.source.c_str(),
                            m_cable.destination.c_str());
        m_context.studio.MoveCable(input, input->m_connections.Count() - 1, m_cable.position);
    }
    void Remove() { m_context.studio.Disconnect(Input(), m_cable.position); }

    UndoContext m_context;
    CableRecord m_cable;
    bool m_connecting;
    bool m_changed = false;
};

// ----- One value set from one before to one after (moves, volumes, names, tempo, text) -----

template <class Value>
class CValueCommand final : public CUndoCommand {
public:
    // key names the target: merges need the same text and key.
    CValueCommand(std::string text, std::string key, Value before, Value after,
                  std::function<void(const Value& from, const Value& to)> apply)
        : m_text(std::move(text)), m_key(std::move(key)), m_before(std::move(before)), m_after(std::move(after)),
          m_apply(std::move(apply)) {}

    std::string Text() const override { return m_text; }
    void Do() override { m_apply(m_before, m_after); }
    void Undo() override { m_apply(m_after, m_before); }
    void Redo() override { m_apply(m_before, m_after); }
    bool Changed() const override { return !(m_before == m_after); }
    bool MergeWith(CUndoCommand& later) override {
        auto* other = dynamic_cast<CValueCommand*>(&later);
        if (!other || other->m_text != m_text || other->m_key != m_key) return false;
        m_after = other->m_after;
        return true;
    }

private:
    std::string m_text, m_key;
    Value m_before, m_after;
    std::function<void(const Value&, const Value&)> m_apply;
};

template <class Value>
Command MakeValue(std::string text, std::string key, Value before, Value after,
                  std::function<void(const Value&, const Value&)> apply) {
    return std::make_unique<CValueCommand<Value>>(std::move(text), std::move(key), std::move(before),
                                                  std::move(after), std::move(apply));
}

// The editor's rule for a note, for a pattern that need not be the current one.
bool IsValidNote(const Pattern& pattern, int32_t start, int32_t length, int32_t note, const PatternNote* ignore) {
    const CMachine* machine = pattern.Machine();
    const int32_t rows = machine && machine->m_namedNoteCount > 0 ? machine->m_namedNoteCount : kOrdinaryNoteCount;
    if (note < 0 || note >= rows) return false;
    const int32_t steps = pattern.StepCount();
    if (length < 1 || start < 0 || start >= steps || start + length > steps) return false;
    for (const PatternNote* other = pattern.FirstNote(); other; other = other->next) {
        if (other == ignore || other->note != note) continue;
        if (start < other->start + other->length && other->start < start + length) return false;
    }
    return true;
}

PatternNote* FindNote(const Pattern& pattern, int32_t start, int32_t note) {
    for (PatternNote* candidate = pattern.FirstNote(); candidate; candidate = candidate->next)
        if (candidate->start == start && candidate->note == note) return candidate;
    return nullptr;
}

int32_t ConnectorIndex(const CMachineContainer* frame, const CConnector* connector) {
    for (int32_t c = 0; c < frame->ConnectorCount(); ++c)
        if (frame->Connector(c) == connector) return c;
    return -1;
}

// Where the input's cable at index stands: its connector, for the value commands.
CableRecord DescribeCable(CConnector* input, int32_t index) {
    if (!input || index < 0 || index >= input->m_connections.Count()) platform::Raise("Index Out Of Bounds");
    const CConnection* cable = input->m_connections[index];
    CMachineContainer* source = cable->m_source->m_frame;
    return {source->m_name, ConnectorIndex(source, cable->m_source), input->m_frame->m_name,
            ConnectorIndex(input->m_frame, input), index, cable->TargetVolume()};
}

} // namespace

// ----- Notes and control steps -----

Command EditPattern(const UndoContext& context, const std::string& text, Pattern* pattern,
                    std::function<void(Pattern&)> edit) {
    return std::make_unique<CPatternEditCommand>(context, text, PatternIndex(context.sequencer, pattern),
                                                 std::move(edit), false);
}

Command AddNote(const UndoContext& context, Pattern* pattern, int32_t start, int32_t length, int32_t note) {
    return EditPattern(context, "Add Note", pattern, [start, length, note](Pattern& target) {
        if (IsValidNote(target, start, length, note, nullptr)) target.AddNote(start, length, note);
    });
}

Command RemoveNote(const UndoContext& context, Pattern* pattern, int32_t start, int32_t note) {
    return EditPattern(context, "Remove Note", pattern, [start, note](Pattern& target) {
        if (PatternNote* found = FindNote(target, start, note)) target.RemoveNote(found);
    });
}

Command MoveNote(const UndoContext& context, Pattern* pattern, int32_t start, int32_t note, int32_t newStart,
                 int32_t newNote) {
    return EditPattern(context, "Move Note", pattern, [=](Pattern& target) {
        PatternNote* found = FindNote(target, start, note);
        if (found && IsValidNote(target, newStart, found->length, newNote, found))
            target.SetNote(found, newStart, found->length, newNote);
    });
}

Command ResizeNote(const UndoContext& context, Pattern* pattern, int32_t start, int32_t note, int32_t newStart,
                   int32_t newLength) {
    return EditPattern(context, "Resize Note", pattern, [=](Pattern& target) {
        PatternNote* found = FindNote(target, start, note);
        if (found && IsValidNote(target, newStart, newLength, note, found))
            target.SetNote(found, newStart, newLength, note);
    });
}

Command SetControlStep(const UndoContext& context, Pattern* pattern, int32_t track, int32_t step, float value) {
    return EditPattern(context, "Set Control Step", pattern, [=](Pattern& target) {
        if (track >= 0 && track < target.ControlTrackCount()) target.SetControlStep(track, step, value);
    });
}

Command ClearControlStep(const UndoContext& context, Pattern* pattern, int32_t track, int32_t step) {
    return EditPattern(context, "Clear Control Step", pattern, [=](Pattern& target) {
        if (track >= 0 && track < target.ControlTrackCount()) target.ClearControlStep(track, step);
    });
}

// ----- Patterns -----

Command AddPattern(const UndoContext& context, CPort* port, int32_t lengthBeats, const char* name) {
    const std::optional<std::string> chosen = name ? std::optional<std::string>(name) : std::nullopt;
    return std::make_unique<CPatternPresenceCommand>(context, "Add Pattern", [context, port, lengthBeats, chosen] {
        return context.sequencer.Patterns().CreatePattern(port, lengthBeats, chosen ? chosen->c_str() : nullptr);
    });
}

Command AddSelectedPattern(const UndoContext& context) {
    return std::make_unique<CPatternPresenceCommand>(context, "Add Pattern",
                                                     [context] { return context.sequencer.Patterns().AddPattern(); });
}

Command RemovePattern(const UndoContext& context, Pattern* pattern) {
    return std::make_unique<CPatternPresenceCommand>(context, PatternIndex(context.sequencer, pattern));
}

Command RenamePattern(const UndoContext& context, Pattern* pattern, const std::string& name) {
    return EditPattern(context, "Rename Pattern", pattern, [name](Pattern& target) { target.SetName(name.c_str()); });
}

Command DuplicatePattern(const UndoContext& context, Pattern* pattern) {
    const int32_t original = PatternIndex(context.sequencer, pattern);
    return std::make_unique<CPatternPresenceCommand>(context, "Duplicate Pattern", [context, original] {
        const Pattern* source = PatternAt(context.sequencer, original);
        PatternRecord copy = CapturePattern(context.studio, *source);
        CPatternEditor& editor = context.sequencer.Patterns();
        Pattern* made = editor.CreatePattern(source->Port(), source->Length());
        if (!made) return made;
        copy.name = made->Name();
        editor.MovePattern(made, original + 1);
        RestorePattern(context, *made, copy);
        return made;
    });
}

Command SetPatternLength(const UndoContext& context, Pattern* pattern, int32_t beats) {
    return std::make_unique<CPatternEditCommand>(
        context, "Pattern Length", PatternIndex(context.sequencer, pattern),
        [context, beats](Pattern& target) {
            if (!target.SetLength(beats)) return;
            // A longer pattern may run into the next placement or past the song's end: those
            // placements go, as an edit the same undo step takes back.
            CSequenceEditor& song = context.sequencer.Song();
            for (int32_t row = 0; row < song.Song().TrackCount(); ++row) {
                const CArray<SequenceEntry>& entries = song.Song().GetTrack(row)->entries;
                for (int32_t i = 0; i < entries.Count();) {
                    SequenceEntry* entry = entries[i];
                    if (entry->pattern == &target && !song.Song().Fits(row, &target, entry->start, entry))
                        song.RemoveEntry(row, entry);
                    else
                        ++i;
                }
            }
            context.sequencer.Patterns().PatternChanged(&target);
        },
        true);
}

// ----- The song -----

Command EditSong(const UndoContext& context, const std::string& text, std::function<void(CSequenceEditor&)> edit) {
    return std::make_unique<CSongEditCommand>(context, text, std::move(edit));
}

Command PlaceEntry(const UndoContext& context, Pattern* pattern, int32_t startBeat) {
    const int32_t index = PatternIndex(context.sequencer, pattern);
    return EditSong(context, "Place Pattern", [context, index, startBeat](CSequenceEditor& song) {
        song.PlacePattern(PatternAt(context.sequencer, index), startBeat);
    });
}

Command MoveEntry(const UndoContext& context, int32_t row, int32_t beat, int32_t newStart) {
    return EditSong(context, "Move Pattern", [row, beat, newStart](CSequenceEditor& song) {
        SequenceEntry* entry = song.EntryAt(row, beat);
        if (entry && song.Song().Fits(row, entry->pattern, newStart, entry)) {
            song.BeginEntryDrag(row, entry);
            song.DragEntry(newStart - entry->start);
            song.EndEntryDrag();
        }
    });
}

Command RemoveEntry(const UndoContext& context, int32_t row, int32_t beat) {
    return EditSong(context, "Remove Pattern From Song", [row, beat](CSequenceEditor& song) {
        if (SequenceEntry* entry = song.EntryAt(row, beat)) song.RemoveEntry(row, entry);
    });
}

Command SetSongLength(const UndoContext& context, int32_t beats) {
    return EditSong(context, "Song Length", [beats](CSequenceEditor& song) { song.SetLength(beats); });
}

// ----- Machines and cables -----

Command AddMachine(const UndoContext& context, CMachineInfo* info, int32_t x, int32_t y) {
    return std::make_unique<CMachinePresenceCommand>(context, info, x, y);
}

Command DeleteMachine(const UndoContext& context, CMachineContainer* frame) {
    return std::make_unique<CMachinePresenceCommand>(context, frame->m_name);
}

Command RenameMachine(const UndoContext& context, CMachineContainer* frame, const std::string& name) {
    if (name != frame->m_name && context.studio.FindFrame(name.c_str()))
        platform::Raise("Machine '%s' Already Exists", name.c_str());
    CStudio& studio = context.studio;
    return MakeValue<std::string>("Rename Machine", frame->m_name, frame->m_name, name,
                                  [&studio](const std::string& from, const std::string& to) {
                                      studio.Rename(FindMachine(studio, from), to.c_str());
                                  });
}

Command MoveMachine(const UndoContext& context, CMachineContainer* frame, int32_t x, int32_t y) {
    CStudio& studio = context.studio;
    const std::string name = frame->m_name;
    return MakeValue<std::pair<int32_t, int32_t>>(
        "Move Machine", name, {frame->m_x, frame->m_y}, {x, y},
        [&studio, name](const std::pair<int32_t, int32_t>&, const std::pair<int32_t, int32_t>& to) {
            studio.MoveFrame(FindMachine(studio, name), to.first, to.second);
        });
}

Command Connect(const UndoContext& context, CConnector* first, CConnector* second, float volume) {
    if (!first || !second) platform::Raise("No Connector");
    // The input is settled once Connect has accepted the pair; until then "destination" is second.
    return std::make_unique<CCableCommand>(context,
                                           CableRecord{first->m_frame->m_name, ConnectorIndex(first->m_frame, first),
                                                       second->m_frame->m_name,
                                                       ConnectorIndex(second->m_frame, second), 0, volume},
                                           true);
}

Command Disconnect(const UndoContext& context, CConnector* input, int32_t index) {
    return std::make_unique<CCableCommand>(context, DescribeCable(input, index), false);
}

Command SetCableVolume(const UndoContext& context, CConnector* input, int32_t index, float volume) {
    const CableRecord cable = DescribeCable(input, index);
    CStudio& studio = context.studio;
    const std::string key = cable.destination + "/" + std::to_string(cable.destinationConnector) + "/" +
                            std::to_string(cable.position);
    return MakeValue<float>("Cable Volume", key, cable.volume, volume, [&studio, cable](const float&, const float& to) {
        CConnector* target = FindMachine(studio, cable.destination)->Connector(cable.destinationConnector);
        if (!target || cable.position >= target->m_connections.Count()) platform::Raise("Index Out Of Bounds");
        target->m_connections[cable.position]->SetTargetVolume(to);
        studio.Changes().Raise();
    });
}

// ----- Project -----

Command SetTempo(const UndoContext& context, float bpm) {
    CStudio& studio = context.studio;
    return MakeValue<float>("Tempo", "", studio.Host()->GetBPM(), bpm,
                            [&studio](const float&, const float& to) { studio.SetTempo(to); });
}

Command SetProjectText(const UndoContext& context, const std::string& text) {
    CProject& project = context.project;
    return MakeValue<std::string>("Edit Project Info", "", project.Info(), text,
                                  [&project](const std::string&, const std::string& to) { project.SetInfo(to); });
}

} // namespace UndoCommands
