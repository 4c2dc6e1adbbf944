#include "sequencer/sequence_editor.h"

#include "engine/change_counter.h"
#include "machine_interface/machine.h"
#include "machine_interface/port.h"
#include "machine_interface/vesk_host.h"
#include "sequencer/edit_lock.h"
#include "sequencer/pattern.h"

#include <algorithm>
#include <cmath>

namespace {

int64_t StartStep(const SequenceEntry* entry) { return static_cast<int64_t>(entry->start) * 4; }

} // namespace

CSequenceEditor::CSequenceEditor(CVeskHost* host, CMutex* editorMutex)
    : m_host(host), m_mutex(editorMutex), m_song(editorMutex) {}

void CSequenceEditor::AddListener(CSequenceEditorListener* listener) { m_listeners.push_back(listener); }

void CSequenceEditor::RemoveListener(CSequenceEditorListener* listener) {
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

void CSequenceEditor::Notify(SequenceEditorChange change) {
    if (m_changes && change == SequenceEditorChange::Entries) m_changes->Raise();
    for (CSequenceEditorListener* listener : m_listeners) listener->SequenceEditorChanged(change);
}

// ----- From the pattern editor and the studio -----

void CSequenceEditor::AnnounceControlPort(CPort* port) {
    if (m_song.AnnounceControlPort(port)) Notify(SequenceEditorChange::Rows);
}

void CSequenceEditor::PatternAdded(Pattern* pattern) {
    if (m_selectedRow < 0 || m_song.GetTrack(m_selectedRow)->port != pattern->Port()) return;
    SelectRow(m_selectedRow);
}

void CSequenceEditor::PatternRemoved(Pattern* pattern) {
    m_song.RemovePattern(pattern);
    if (m_selectedRow >= 0) SelectRow(m_selectedRow);
    Notify(SequenceEditorChange::Entries);
}

void CSequenceEditor::MachineRemoved(CMachine* machine) {
    CPort* selectedPort = m_selectedRow >= 0 ? m_song.GetTrack(m_selectedRow)->port : nullptr;
    if (m_song.RemoveMachine(machine) == 0) return;
    m_selectedRow = selectedPort ? m_song.FindTrack(selectedPort) : -1;
    m_dragEntry = nullptr; // rows moved under the drag
    Notify(SequenceEditorChange::Rows);
    Notify(SequenceEditorChange::PatternBox);
}

void CSequenceEditor::Clear() {
    m_dragEntry = nullptr;
    m_song.Clear();
    m_selectedRow = -1;
    Notify(SequenceEditorChange::Rows);
    Notify(SequenceEditorChange::PatternBox);
}

// ----- Rows and the pattern box -----

void CSequenceEditor::SelectRow(int32_t row) {
    m_selectedRow = row >= 0 && row < m_song.TrackCount() ? row : -1;
    if (m_selectedRow >= 0 && !m_song.GetTrack(m_selectedRow)->chosenPattern) {
        const std::vector<Pattern*> patterns = PatternBox();
        if (!patterns.empty()) m_song.SetChosenPattern(m_selectedRow, patterns.front());
    }
    Notify(SequenceEditorChange::PatternBox);
}

std::vector<Pattern*> CSequenceEditor::PatternBox() const {
    std::vector<Pattern*> patterns;
    if (m_selectedRow < 0 || !m_patterns) return patterns;
    const CPort* port = m_song.GetTrack(m_selectedRow)->port;
    for (Pattern* pattern : *m_patterns)
        if (pattern->Port() == port) patterns.push_back(pattern);
    return patterns;
}

void CSequenceEditor::ChoosePattern(int32_t index) {
    const std::vector<Pattern*> patterns = PatternBox();
    if (index < 0 || index >= static_cast<int32_t>(patterns.size())) return;
    m_song.SetChosenPattern(m_selectedRow, patterns[static_cast<size_t>(index)]);
    Notify(SequenceEditorChange::PatternBox);
}

Pattern* CSequenceEditor::ChosenPattern() const {
    return m_selectedRow >= 0 ? m_song.GetTrack(m_selectedRow)->chosenPattern : nullptr;
}

std::string CSequenceEditor::RowLabel(int32_t row) const {
    if (row < 0 || row >= m_song.TrackCount()) return {};
    CPort* port = m_song.GetTrack(row)->port;
    const char* machineName = port && port->m_owner ? port->m_owner->GetName() : nullptr;
    std::string label = machineName ? machineName : "";
    label += '.';
    if (port && port->m_name) label += port->m_name;
    return label;
}

// ----- Grid -----

SequenceEntry* CSequenceEditor::PlaceAt(int32_t row, int32_t beat) {
    if (row < 0 || row != m_selectedRow) return nullptr;
    Pattern* pattern = m_song.GetTrack(row)->chosenPattern;
    if (!pattern || !m_song.Fits(row, pattern, beat, nullptr)) return nullptr;
    SequenceEntry* entry = m_song.AddEntry(row, pattern, beat);
    Notify(SequenceEditorChange::Entries);
    return entry;
}

SequenceEntry* CSequenceEditor::PlacePattern(Pattern* pattern, int32_t startBeat) {
    const int32_t row = pattern ? m_song.FindTrack(pattern->Port()) : -1;
    if (row < 0 || !m_song.Fits(row, pattern, startBeat, nullptr)) return nullptr;
    SequenceEntry* entry = m_song.AddEntry(row, pattern, startBeat);
    Notify(SequenceEditorChange::Entries);
    return entry;
}

SequenceEntry* CSequenceEditor::EntryAt(int32_t row, int32_t beat) const {
    if (row < 0 || row >= m_song.TrackCount()) return nullptr;
    for (SequenceEntry* entry : m_song.GetTrack(row)->entries)
        if (beat >= entry->start && beat < static_cast<int64_t>(entry->start) + entry->pattern->Length()) return entry;
    return nullptr;
}

void CSequenceEditor::RemoveEntry(int32_t row, SequenceEntry* entry) {
    if (entry == m_dragEntry) m_dragEntry = nullptr;
    m_song.RemoveEntry(row, entry);
    Notify(SequenceEditorChange::Entries);
}

void CSequenceEditor::BeginEntryDrag(int32_t row, SequenceEntry* entry) {
    if (row < 0 || row >= m_song.TrackCount() || !entry) return;
    m_dragRow = row;
    m_dragEntry = entry;
    m_dragStart = entry->start;
}

bool CSequenceEditor::DragEntry(int32_t beats) {
    if (!m_dragEntry) return false;
    const int32_t start = m_dragStart + beats;
    if (start == m_dragEntry->start || !m_song.Fits(m_dragRow, m_dragEntry->pattern, start, m_dragEntry)) return false;
    m_song.MoveEntry(m_dragEntry, start);
    Notify(SequenceEditorChange::Entries);
    return true;
}

// ----- Transport -----

void CSequenceEditor::StopRecorderIfPending() {
    if (m_recorderStopDue.exchange(false) && m_recordTarget) m_recordTarget->StopRecordSong();
}

void CSequenceEditor::PlaySong() {
    StopRecorderIfPending();
    {
        CEditLock lock(m_mutex);
        m_playing = true;
        m_playDown = true;
        m_position = 0;
        m_endedInTick = false;
    }
    Notify(SequenceEditorChange::Transport);
}

void CSequenceEditor::SetRecordSong(bool down) {
    if (down == m_recordDown.load()) return;
    StopRecorderIfPending();
    if (down) {
        // The recorder opens its files before the first buffer of the song is played.
        if (m_recordTarget) m_recordTarget->StartRecordSong();
        CEditLock lock(m_mutex);
        m_recordDown = true;
        m_playDown = true;
        m_playing = true;
        m_position = 0;
        m_endedInTick = false;
    } else {
        {
            CEditLock lock(m_mutex);
            m_recordDown = false;
            m_playDown = false;
            m_playing = false;
        }
        if (m_recordTarget) m_recordTarget->StopRecordSong();
    }
    Notify(SequenceEditorChange::Transport);
}

void CSequenceEditor::StopSong() {
    bool wasRecording;
    {
        CEditLock lock(m_mutex);
        m_playing = false;
        m_playDown = false;
        wasRecording = m_recordDown.exchange(false);
        m_endedInTick = false;
    }
    const bool due = m_recorderStopDue.exchange(false);
    if ((wasRecording || due) && m_recordTarget) m_recordTarget->StopRecordSong();
    Notify(SequenceEditorChange::Transport);
}

void CSequenceEditor::SetLoop(bool loop) {
    m_loop = loop;
    Notify(SequenceEditorChange::Transport);
}

void CSequenceEditor::MoveRow(int32_t from, int32_t to) {
    if (from < 0 || from >= m_song.TrackCount() || to < 0 || to >= m_song.TrackCount() || from == to) return;
    CPort* selectedPort = m_selectedRow >= 0 ? m_song.GetTrack(m_selectedRow)->port : nullptr;
    m_dragEntry = nullptr;
    m_song.MoveTrack(from, to);
    m_selectedRow = selectedPort ? m_song.FindTrack(selectedPort) : -1;
    Notify(SequenceEditorChange::Rows);
}

void CSequenceEditor::RestoreEntries(int32_t length, const std::vector<RowEntries>& rows) {
    m_dragEntry = nullptr;
    {
        // One lock over the whole change: no buffer plays half of it.
        CEditLock lock(m_mutex);
        for (int32_t row = 0; row < m_song.TrackCount(); ++row) {
            SequenceTrack* track = m_song.GetTrack(row);
            while (track->entries.Count() > 0)
                m_song.RemoveEntry(row, track->entries[track->entries.Count() - 1]);
        }
        m_song.SetLength(length);
        for (int32_t row = 0; row < m_song.TrackCount() && row < static_cast<int32_t>(rows.size()); ++row)
            for (const auto& [start, pattern] : rows[static_cast<size_t>(row)])
                m_song.AddEntry(row, pattern, start);
    }
    Notify(SequenceEditorChange::Entries);
}

void CSequenceEditor::SetLength(int32_t beats) {
    m_dragEntry = nullptr;
    m_song.SetLength(beats);
    Notify(SequenceEditorChange::Entries);
}

float CSequenceEditor::DisplayPosition() {
    CEditLock lock(m_mutex);
    if (!m_playing) return -1.0f;
    return m_grid.IsValid() ? m_grid.StepsAt(m_position) : 0.0f;
}

int64_t CSequenceEditor::SongSamples() const {
    const CStepGrid grid(m_host->GetSampleRate(), m_host->GetBPM());
    return grid.StepStart(static_cast<int64_t>(m_song.Length()) * 4);
}

int64_t CSequenceEditor::PositionSamples() {
    CEditLock lock(m_mutex);
    return m_playing ? m_position : -1;
}

// ----- Driver thread -----

void CSequenceEditor::Tick(uint64_t bufferSerial) {
    if (!m_playing.load(std::memory_order_relaxed)) return;
    const int32_t bufferSize = m_host->GetBufferSize();
    const CStepGrid grid(m_host->GetSampleRate(), m_host->GetBPM());
    if (!grid.IsValid() || bufferSize <= 0) return;
    // The position counts samples of the grid it was reached on; a new tempo or rate keeps the
    // place in the song (its step) and goes on from the sample that step has now.
    if (m_grid.IsValid() && !(m_grid == grid)) m_position = grid.Rescale(m_position, m_grid);
    m_grid = grid;
    const int64_t songSamples = grid.StepStart(static_cast<int64_t>(m_song.Length()) * 4);
    const int64_t position = m_position;
    // The part of the buffer before the song's end: nothing after the end is played in this
    // pass, whatever the buffer size, so every pass sounds the same.
    const int64_t head = std::clamp<int64_t>(songSamples - position, 0, bufferSize);

    // Every placement the position is inside of (or ends at), or that begins in this buffer (then
    // with a negative window start, so its first step lands at the right offset).
    RenderPlacements(bufferSerial, grid, 0, position, head);

    if (position + bufferSize < songSamples) {
        m_position = position + bufferSize;
        return;
    }
    if (!m_loop.load(std::memory_order_relaxed)) {
        // The end of the song: the buttons come up now; the recorder is stopped and the window
        // told from RefreshDisplay, off the driver thread.
        m_playing = false;
        m_playDown = false;
        if (m_recordDown.exchange(false)) m_recorderStopDue = true;
        m_endedInTick = true;
        return;
    }

    // Loop: the rest of the buffer after the song's end plays the song's start (more than once
    // when the whole song is shorter than what is left of the buffer). Each pass starts at
    // exactly k x the song's length in samples.
    int64_t offset = head;
    for (;;) {
        const int64_t rest = bufferSize - offset;
        if (rest <= 0 || songSamples <= 0) {
            m_position = 0;
            return;
        }
        const int64_t span = std::min(rest, songSamples);
        RenderPlacements(bufferSerial, grid, static_cast<int32_t>(offset), 0, span);
        if (rest < songSamples) {
            m_position = rest;
            return;
        }
        offset += songSamples;
    }
}

void CSequenceEditor::RenderPlacements(uint64_t bufferSerial, const CStepGrid& grid, int32_t outputOffset,
                                       int64_t from, int64_t length) {
    // A placement plays here when it begins before the window ends and ends at or after its
    // start: in steps, when its first step is before the first one starting at the window's end
    // and its last at or after the first one starting at the window's start.
    const int64_t beginsBefore = grid.FirstStepStartingAtOrAfter(from + length);
    const int64_t endsFrom = grid.FirstStepStartingAtOrAfter(from);
    for (int32_t t = 0; t < m_song.TrackCount(); ++t) {
        for (SequenceEntry* entry : m_song.GetTrack(t)->entries) {
            Pattern* pattern = entry->pattern;
            const int64_t firstStep = StartStep(entry);
            const int64_t start = grid.StepStart(firstStep);
            if (grid.IsValid()) {
                if (firstStep >= beginsBefore || firstStep + pattern->StepCount() < endsFrom) continue;
            } else if (!(start <= from && from <= start) && !(from <= start && start < from + length)) {
                continue; // every step begins at 0
            }
            pattern->AdvanceCarryOver(bufferSerial);
            pattern->Render(outputOffset, from - start, static_cast<int32_t>(length), grid, firstStep);
        }
    }
}

// ----- Graphics thread -----

void CSequenceEditor::RefreshDisplay() {
    const bool ended = m_endedInTick.exchange(false);
    StopRecorderIfPending();
    if (ended) Notify(SequenceEditorChange::Transport);
    const float position = DisplayPosition();
    const bool visibilityChanged = (position < 0.0f) != (m_shownPosition < 0.0f);
    if (visibilityChanged || std::fabs(position - m_shownPosition) > 0.001f) {
        m_shownPosition = position;
        Notify(SequenceEditorChange::PlayMarker);
    }
}
