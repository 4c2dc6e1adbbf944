// The pattern list's blobs: one per machine in the project file, holding every pattern whose port
// belongs to that machine. Reading keeps every note and control track exactly as stored, also
// what the editor could never make (a note running past the pattern's end, an empty note, a step
// beyond the pattern, a parameter the machine lacks): Render skips what cannot be played, and the
// next save writes it back unchanged.
#include "machine_interface/machine.h"
#include "machine_interface/port.h"
#include "platform/error.h"
#include "sequencer/blob_io.h"
#include "sequencer/pattern_editor.h"
#include "sequencer/sequence.h"

#include <cstring>
#include <string>

namespace {

constexpr size_t kPatternHeadSize = 1048;
constexpr size_t kPatternNameSize = 1024;
constexpr size_t kNoteRecordSize = 12;
constexpr size_t kTrackHeadSize = 8;
constexpr size_t kStepRecordSize = 6;

} // namespace

std::vector<uint8_t> CPatternEditor::WritePatternBlob(int32_t projectIndex) {
    std::vector<const Pattern*> chosen;
    size_t size = 4;
    for (int32_t i = 0; i < m_patterns.Count(); ++i) {
        Pattern* pattern = m_patterns[i];
        pattern->m_serial = i;
        const CMachine* machine = pattern->Machine();
        if (!machine || machine->m_projectIndex != projectIndex) continue;
        chosen.push_back(pattern);
        size += kPatternHeadSize + kNoteRecordSize * static_cast<size_t>(pattern->CountNotes());
        for (int32_t t = 0; t < pattern->ControlTrackCount(); ++t)
            size += kTrackHeadSize + kStepRecordSize * pattern->GetControlTrack(t)->steps.size();
    }
    CBlobWriter writer(size);
    writer.Int32(static_cast<int32_t>(chosen.size()));
    for (const Pattern* pattern : chosen) {
        writer.Int32(pattern->m_serial);
        writer.Int32(pattern->Length());
        char name[kPatternNameSize] = {};
        std::strncpy(name, pattern->Name(), kPatternNameSize - 1);
        writer.Bytes(name, sizeof name);
        writer.Int32(pattern->CountNotes());
        writer.Int32(pattern->ControlTrackCount());
        writer.Int32(projectIndex);
        writer.Int32(PortIndexOf(pattern->Port()));
        for (const PatternNote* note = pattern->FirstNote(); note; note = note->next) {
            writer.Int32(note->start);
            writer.Int32(note->length);
            writer.Int32(note->note);
        }
        for (int32_t t = 0; t < pattern->ControlTrackCount(); ++t) {
            const ControlTrack* track = pattern->GetControlTrack(t);
            writer.Int32(track->parameter);
            writer.Int32(static_cast<int32_t>(track->steps.size()));
            for (const ControlStep& step : track->steps) {
                writer.Float(step.value);
                writer.Byte(step.set);
                writer.Byte(0);
            }
        }
    }
    return writer.Take();
}

void CPatternEditor::ReadPatternBlob(const void* data, size_t size) {
    // The first pass only reads and checks, so a damaged blob raises before anything is made;
    // the second pass builds.
    for (int pass = 0; pass < 2; ++pass) {
        const bool build = pass == 1;
        CBlobReader reader(data, size, "Pattern");
        const int32_t count = reader.Count("Pattern", kPatternHeadSize);
        for (int32_t p = 0; p < count; ++p) {
            const int32_t serial = reader.Int32();
            const int32_t length = reader.Int32();
            if (length < 0 || length > kMaxSongLength)
                platform::Raise("Pattern Data Corrupt: Invalid Pattern Length (%i)", length);
            const uint8_t* nameBytes = reader.Bytes(kPatternNameSize);
            const int32_t noteCount = reader.Int32();
            const int32_t trackCount = reader.Int32();
            const int32_t projectIndex = reader.Int32();
            const int32_t portIndex = reader.Int32();
            if (noteCount < 0 || static_cast<size_t>(noteCount) > reader.Remaining() / kNoteRecordSize)
                platform::Raise("Pattern Data Corrupt: Invalid %s Count (%i)", "Note", noteCount);
            if (trackCount < 0 ||
                static_cast<size_t>(trackCount) > (reader.Remaining() - kNoteRecordSize * static_cast<size_t>(noteCount)) / kTrackHeadSize)
                platform::Raise("Pattern Data Corrupt: Invalid %s Count (%i)", "Control Track", trackCount);

            // A pattern whose machine (by project index among the listed machines) or control
            // input port is missing has nowhere to play: it is read past and dropped.
            CMachine* machine = nullptr;
            for (CMachine* listed : m_machines)
                if (listed->m_projectIndex == projectIndex) machine = listed;
            CPort* port = machine && portIndex >= 0 && portIndex < machine->m_portCount ? machine->m_ports[portIndex] : nullptr;
            if (!IsControlInput(port)) port = nullptr;
            Pattern* pattern = nullptr;
            if (build && port) {
                size_t nameLength = 0;
                while (nameLength < kPatternNameSize - 1 && nameBytes[nameLength]) ++nameLength;
                const std::string name(reinterpret_cast<const char*>(nameBytes), nameLength);
                pattern = new Pattern(m_host, m_mutex, length, name.c_str(), port);
                pattern->m_serial = serial;
            }
            // Notes in record order, as stored; no velocity track exists yet, so no velocity step
            // is touched.
            for (int32_t n = 0; n < noteCount; ++n) {
                const int32_t start = reader.Int32();
                const int32_t noteLength = reader.Int32();
                const int32_t note = reader.Int32();
                if (pattern) pattern->AddNote(start, noteLength, note);
            }
            for (int32_t t = 0; t < trackCount; ++t) {
                const int32_t parameter = reader.Int32();
                const int32_t stepCount = reader.Count("Control Step", kStepRecordSize);
                std::vector<ControlStep> steps;
                if (pattern) steps.resize(static_cast<size_t>(stepCount));
                for (int32_t s = 0; s < stepCount; ++s) {
                    const float value = reader.Float();
                    const uint8_t set = reader.Byte();
                    reader.Skip(1);
                    if (pattern) steps[static_cast<size_t>(s)] = ControlStep{set, value};
                }
                if (pattern) pattern->AddStoredControlTrack(parameter, std::move(steps));
            }
            if (pattern) AppendPattern(pattern);
        }
    }
    Notify(PatternEditorChange::Selection);
}
