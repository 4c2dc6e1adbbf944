#include "studio_ui/undo/edit_snapshots.h"

#include "engine/studio.h"
#include "machine_interface/machine.h"
#include "machine_interface/mutex.h"
#include "machine_interface/port.h"
#include "platform/error.h"
#include "sequencer/sequencer.h"

#include <algorithm>
#include <bit>

bool TrackRecord::operator==(const TrackRecord& other) const {
    if (parameter != other.parameter || steps.size() != other.steps.size()) return false;
    // Bit for bit: a value read from a file may be anything, and NaN must still equal itself.
    for (size_t i = 0; i < steps.size(); ++i)
        if (steps[i].set != other.steps[i].set ||
            std::bit_cast<uint32_t>(steps[i].value) != std::bit_cast<uint32_t>(other.steps[i].value))
            return false;
    return true;
}

namespace UndoRecords {

namespace {

int32_t ConnectorIndex(const CMachineContainer* frame, const CConnector* connector) {
    for (int32_t c = 0; c < frame->ConnectorCount(); ++c)
        if (frame->Connector(c) == connector) return c;
    return -1;
}

CConnector* ConnectorAt(CStudio& studio, const std::string& machine, int32_t index) {
    CConnector* connector = FindMachine(studio, machine)->Connector(index);
    if (!connector) platform::Raise("Machine '%s' Has No Connector %i", machine.c_str(), index);
    return connector;
}

CPort* PortOf(CStudio& studio, const std::string& machine, int32_t port) {
    CMachine* owner = FindMachine(studio, machine)->Machine();
    if (port < 0 || port >= owner->m_portCount) platform::Raise("Machine '%s' Has No Port %i", machine.c_str(), port);
    return owner->m_ports[port];
}

} // namespace

CMachineContainer* FindMachine(CStudio& studio, const std::string& name) {
    CMachineContainer* frame = studio.FindFrame(name.c_str());
    if (!frame) platform::Raise("Machine '%s' Not Found", name.c_str());
    return frame;
}

Pattern* PatternAt(CSequencer& sequencer, int32_t index) {
    const CArray<Pattern>& patterns = sequencer.Patterns().Patterns();
    if (index < 0 || index >= patterns.Count()) platform::Raise("Pattern %i Not Found", index);
    return patterns[index];
}

int32_t PatternIndex(CSequencer& sequencer, const Pattern* pattern) {
    const int32_t index = sequencer.Patterns().Patterns().Find(pattern);
    if (index < 0) platform::Raise("Pattern Not Listed");
    return index;
}

PatternRecord CapturePattern(CStudio& studio, const Pattern& pattern) {
    PatternRecord record;
    CMachineContainer* frame = studio.FindFrame(pattern.Machine());
    record.machine = frame ? frame->m_name : std::string();
    record.port = PortIndexOf(pattern.Port());
    record.name = pattern.Name();
    record.length = pattern.Length();
    for (const PatternNote* note = pattern.FirstNote(); note; note = note->next)
        record.notes.push_back({note->start, note->length, note->note});
    for (int32_t t = 0; t < pattern.ControlTrackCount(); ++t) {
        const ControlTrack* track = pattern.GetControlTrack(t);
        record.tracks.push_back({track->parameter, track->steps});
    }
    return record;
}

void RestorePattern(const UndoContext& context, Pattern& pattern, const PatternRecord& record) {
    {
        CMutexLock studioLock(context.studio.Mutex());
        CMutexLock editorLock(context.sequencer.EditorMutex());
        pattern.SetName(record.name.c_str());
        pattern.SetLength(record.length);
        while (pattern.FirstNote()) pattern.RemoveNote(pattern.FirstNote());
        while (pattern.ControlTrackCount() > 0) pattern.RemoveControlTrack(pattern.ControlTrackCount() - 1);
        // Notes before tracks: with no velocity track yet, adding a note writes no velocity step,
        // so the tracks come back exactly as recorded.
        for (const NoteRecord& note : record.notes) pattern.AddNote(note.start, note.length, note.note);
        for (const TrackRecord& track : record.tracks) pattern.AddStoredControlTrack(track.parameter, track.steps);
    }
    context.sequencer.Patterns().PatternChanged(&pattern);
}

Pattern* RecreatePattern(const UndoContext& context, int32_t index, const PatternRecord& record) {
    CPatternEditor& editor = context.sequencer.Patterns();
    Pattern* pattern =
        editor.CreatePattern(PortOf(context.studio, record.machine, record.port), record.length, record.name.c_str());
    if (!pattern) platform::Raise("Pattern '%s' Could Not Be Made Again", record.name.c_str());
    editor.MovePattern(pattern, index);
    RestorePattern(context, *pattern, record);
    return pattern;
}

SongRecord CaptureSong(CSequencer& sequencer) {
    const Sequence& song = sequencer.Song().Song();
    SongRecord record;
    record.length = song.Length();
    for (int32_t r = 0; r < song.TrackCount(); ++r) {
        auto& row = record.rows.emplace_back();
        for (const SequenceEntry* entry : song.GetTrack(r)->entries)
            row.emplace_back(entry->start, PatternIndex(sequencer, entry->pattern));
    }
    return record;
}

void RestoreSong(const UndoContext& context, const SongRecord& record) {
    std::vector<CSequenceEditor::RowEntries> rows;
    for (const auto& row : record.rows) {
        auto& entries = rows.emplace_back();
        for (const auto& [start, pattern] : row) entries.emplace_back(start, PatternAt(context.sequencer, pattern));
    }
    CMutexLock studioLock(context.studio.Mutex());
    context.sequencer.Song().RestoreEntries(record.length, rows);
}

MachineRecord CaptureMachine(const UndoContext& context, CMachineContainer* frame) {
    CStudio& studio = context.studio;
    CMutexLock lock(studio.Mutex());
    MachineRecord record;
    const auto& frames = studio.Frames();
    record.index = static_cast<int32_t>(std::find(frames.begin(), frames.end(), frame) - frames.begin());
    record.name = frame->m_name;
    record.info = frame->Info();
    record.x = frame->m_x;
    record.y = frame->m_y;
    record.panelMode = frame->PanelMode();
    const void* state = nullptr;
    int32_t stateSize = 0;
    frame->Machine()->GetState(&state, &stateSize, &record.parameterList);
    if (stateSize > 0 && state) {
        const auto* bytes = static_cast<const uint8_t*>(state);
        record.state.assign(bytes, bytes + stateSize);
    }
    // Every cable touching the machine, walked as the file walks them: for each input, its
    // cables in order, so putting them back in this order puts each at its old place.
    for (CMachineContainer* other : frames)
        for (int32_t c = 0; c < other->ConnectorCount(); ++c) {
            const CConnector* input = other->Connector(c);
            for (int32_t k = 0; k < input->m_connections.Count(); ++k) {
                const CConnection* cable = input->m_connections[k];
                CMachineContainer* source = cable->m_source->m_frame;
                if (source != frame && other != frame) continue;
                record.cables.push_back({source->m_name, ConnectorIndex(source, cable->m_source), other->m_name, c, k,
                                         cable->TargetVolume()});
            }
        }
    const CArray<Pattern>& patterns = context.sequencer.Patterns().Patterns();
    for (int32_t i = 0; i < patterns.Count(); ++i)
        if (patterns[i]->Machine() == frame->Machine()) record.patterns.emplace_back(i, CapturePattern(studio, *patterns[i]));
    const Sequence& song = context.sequencer.Song().Song();
    for (int32_t r = 0; r < song.TrackCount(); ++r) {
        const CPort* port = song.GetTrack(r)->port;
        if (port && port->m_owner == frame->Machine()) record.rows.emplace_back(r, PortIndexOf(port));
    }
    record.song = CaptureSong(context.sequencer);
    return record;
}

CMachineContainer* RestoreMachine(const UndoContext& context, const MachineRecord& record) {
    CStudio& studio = context.studio;
    CMutexLock lock(studio.Mutex());
    if (studio.FindFrame(record.name.c_str())) platform::Raise("Machine '%s' Already Exists", record.name.c_str());
    CMachineContainer* frame = studio.CreateFrame(
        record.info->CreateMachine(), record.info, record.name.c_str(), record.x, record.y,
        record.state.empty() ? nullptr : record.state.data(), static_cast<int32_t>(record.state.size()),
        record.parameterList);
    studio.SetFrameIndex(frame, record.index);
    // As the project reader does: the mode is what the file holds, whether or not its panel is
    // open in this session.
    frame->m_panelMode = record.panelMode;
    std::vector<CMachine*> order;
    for (CMachineContainer* listed : studio.Frames()) order.push_back(listed->Machine());
    context.sequencer.Patterns().OrderMachines(order);

    // The studio announced the machine's control inputs as new song rows at the end; each goes
    // back to its place, lowest first, so every move lands where it was.
    CSequenceEditor& song = context.sequencer.Song();
    for (const auto& [row, port] : record.rows) {
        const int32_t now = song.Song().FindTrack(PortOf(studio, record.name, port));
        if (now >= 0) song.MoveRow(now, row);
    }
    for (const auto& [index, pattern] : record.patterns) RecreatePattern(context, index, pattern);
    RestoreSong(context, record.song);

    for (const CableRecord& cable : record.cables) {
        CConnector* input = ConnectorAt(studio, cable.destination, cable.destinationConnector);
        if (!studio.Connect(ConnectorAt(studio, cable.source, cable.sourceConnector), input, cable.volume))
            platform::Raise("Cable From '%s' To '%s' Could Not Be Made Again", cable.source.c_str(),
                            cable.destination.c_str());
        studio.MoveCable(input, input->m_connections.Count() - 1, cable.position);
    }
    return frame;
}

} // namespace UndoRecords
