// The song's blob in the project file: the song length, then per row its port index and its
// placements as (start beat, pattern serial) pairs. Patterns are read first; the placements find
// them by serial.
#include "machine_interface/port.h"
#include "sequencer/blob_io.h"
#include "sequencer/pattern.h"
#include "sequencer/sequence.h"
#include "sequencer/sequence_editor.h"

namespace {

Pattern* FindBySerial(const CArray<Pattern>& patterns, int32_t serial) {
    for (Pattern* pattern : patterns)
        if (pattern->m_serial == serial) return pattern;
    return nullptr;
}

} // namespace

std::vector<uint8_t> Sequence::WriteBlob() const {
    size_t size = 8;
    for (const SequenceTrack* track : m_tracks)
        size += 8 + 8 * static_cast<size_t>(track->entries.Count());
    CBlobWriter writer(size);
    writer.Int32(m_length);
    writer.Int32(m_tracks.Count());
    for (const SequenceTrack* track : m_tracks) {
        writer.Int32(PortIndexOf(track->port));
        writer.Int32(track->entries.Count());
        for (const SequenceEntry* entry : track->entries) {
            writer.Int32(entry->start);
            writer.Int32(entry->pattern->m_serial);
        }
    }
    return writer.Take();
}

void CSequenceEditor::ReadSequenceBlob(const void* data, size_t size) {
    // The first pass only reads and checks, so a damaged blob raises before the song changes.
    for (int pass = 0; pass < 2; ++pass) {
        const bool build = pass == 1;
        CBlobReader reader(data, size, "Sequence");
        const int32_t length = reader.Int32();
        const int32_t trackCount = reader.Count("Track", 8);
        if (build) m_song.SetLength(length);
        for (int32_t t = 0; t < trackCount; ++t) {
            reader.Int32(); // the row's port index, for information only
            const int32_t entryCount = reader.Count("Entry", 8);
            for (int32_t e = 0; e < entryCount; ++e) {
                const int32_t start = reader.Int32();
                const int32_t serial = reader.Int32();
                if (!build || t >= m_song.TrackCount() || !m_patterns) continue;
                if (Pattern* pattern = FindBySerial(*m_patterns, serial)) m_song.AddEntry(t, pattern, start);
            }
        }
    }
    if (m_selectedRow >= 0) SelectRow(m_selectedRow);
    Notify(SequenceEditorChange::Entries);
}
