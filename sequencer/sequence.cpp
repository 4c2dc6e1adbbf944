#include "sequencer/sequence.h"

#include "machine_interface/machine.h"
#include "machine_interface/port.h"
#include "sequencer/edit_lock.h"
#include "sequencer/pattern.h"

#include <algorithm>

namespace {

int64_t EntryEnd(const SequenceEntry* entry) {
    return static_cast<int64_t>(entry->start) + entry->pattern->Length();
}

} // namespace

SequenceTrack::~SequenceTrack() {
    for (SequenceEntry* entry : entries) delete entry;
}

Sequence::~Sequence() {
    for (SequenceTrack* track : m_tracks) delete track;
}

void Sequence::Clear() {
    CArray<SequenceTrack> gone;
    {
        CEditLock lock(m_mutex);
        for (SequenceTrack* track : m_tracks) gone.Add(track);
        m_tracks.Clear();
    }
    for (SequenceTrack* track : gone) delete track;
}

bool Sequence::AnnounceControlPort(CPort* port) {
    if (FindTrack(port) >= 0) return false;
    auto* track = new SequenceTrack(port);
    CEditLock lock(m_mutex);
    m_tracks.Add(track);
    return true;
}

int32_t Sequence::RemoveMachine(CMachine* machine) {
    int32_t removed = 0;
    CEditLock lock(m_mutex);
    for (int32_t i = 0; i < m_tracks.Count();) {
        if (m_tracks[i]->port && m_tracks[i]->port->m_owner == machine) {
            delete m_tracks.RemoveItem(i);
            ++removed;
        } else {
            ++i;
        }
    }
    return removed;
}

void Sequence::RemovePattern(Pattern* pattern) {
    CEditLock lock(m_mutex);
    for (SequenceTrack* track : m_tracks) {
        if (track->chosenPattern == pattern) track->chosenPattern = nullptr;
        for (int32_t i = 0; i < track->entries.Count();) {
            if (track->entries[i]->pattern == pattern)
                delete track->entries.RemoveItem(i);
            else
                ++i;
        }
    }
}

SequenceEntry* Sequence::AddEntry(int32_t track, Pattern* pattern, int32_t start) {
    if (track < 0 || track >= m_tracks.Count() || !pattern) return nullptr;
    auto* entry = new SequenceEntry{start, pattern};
    CEditLock lock(m_mutex);
    m_tracks[track]->entries.Add(entry);
    return entry;
}

void Sequence::RemoveEntry(int32_t track, SequenceEntry* entry) {
    if (track < 0 || track >= m_tracks.Count()) return;
    {
        CEditLock lock(m_mutex);
        CArray<SequenceEntry>& entries = m_tracks[track]->entries;
        const int32_t index = entries.Find(entry);
        if (index < 0) return;
        entries.RemoveItem(index);
    }
    delete entry;
}

void Sequence::MoveEntry(SequenceEntry* entry, int32_t start) {
    CEditLock lock(m_mutex);
    entry->start = start;
}

bool Sequence::Fits(int32_t track, const Pattern* pattern, int32_t start, const SequenceEntry* ignore) const {
    if (track < 0 || track >= m_tracks.Count() || !pattern) return false;
    const int64_t end = static_cast<int64_t>(start) + pattern->Length();
    if (start < 0 || end > m_length) return false;
    for (const SequenceEntry* other : m_tracks[track]->entries) {
        if (other == ignore) continue;
        if (start < EntryEnd(other) && other->start < end) return false;
    }
    return true;
}

void Sequence::SetLength(int32_t beats) {
    beats = std::clamp(beats, kMinSongLength, kMaxSongLength);
    CArray<SequenceEntry> gone;
    {
        CEditLock lock(m_mutex);
        for (SequenceTrack* track : m_tracks) {
            for (int32_t i = 0; i < track->entries.Count();) {
                if (EntryEnd(track->entries[i]) > beats)
                    gone.Add(track->entries.RemoveItem(i));
                else
                    ++i;
            }
        }
        m_length = beats;
    }
    for (SequenceEntry* entry : gone) delete entry;
}

void Sequence::SetChosenPattern(int32_t track, Pattern* pattern) {
    if (track < 0 || track >= m_tracks.Count()) return;
    CEditLock lock(m_mutex);
    m_tracks[track]->chosenPattern = pattern;
}

void Sequence::MoveTrack(int32_t from, int32_t to) {
    if (from < 0 || from >= m_tracks.Count() || to < 0 || to >= m_tracks.Count() || from == to) return;
    CEditLock lock(m_mutex);
    SequenceTrack* track = m_tracks.RemoveItem(from);
    m_tracks.Insert(to, track);
}

int32_t Sequence::FindTrack(const CPort* port) const {
    for (int32_t i = 0; i < m_tracks.Count(); ++i)
        if (m_tracks[i]->port == port) return i;
    return -1;
}

int32_t Sequence::EntryCount() const {
    int32_t count = 0;
    for (const SequenceTrack* track : m_tracks) count += track->entries.Count();
    return count;
}
