#include "studio_ui/pattern_editor/page_layout.h"

#include <algorithm>

namespace pattern_editor {

namespace {

bool IsSelected(const std::vector<SelectedNote>& selection, const PatternNote& note) {
    return std::any_of(selection.begin(), selection.end(), [&](const SelectedNote& chosen) {
        return chosen.start == note.start && chosen.note == note.note && chosen.length == note.length;
    });
}

} // namespace

bool CanMoveNotes(const Pattern& pattern, int32_t rowCount, const std::vector<SelectedNote>& selection,
                  int32_t steps, int32_t noteShift) {
    if (selection.empty()) return false;
    const int32_t stepCount = pattern.StepCount();
    for (const SelectedNote& moving : selection) {
        const int32_t start = moving.start + steps;
        const int32_t note = moving.note + noteShift;
        if (note < 0 || note >= rowCount || start < 0 || start >= stepCount || start + moving.length > stepCount)
            return false;
        for (const PatternNote* other = pattern.FirstNote(); other; other = other->next) {
            if (other->note != note || IsSelected(selection, *other)) continue;
            if (start < other->start + other->length && other->start < start + moving.length) return false;
        }
    }
    return true;
}

std::vector<SelectedNote> NotesInRange(const Pattern& pattern, int32_t firstStep, int32_t lastStep,
                                       int32_t lowNote, int32_t highNote) {
    std::vector<SelectedNote> found;
    for (const PatternNote* note = pattern.FirstNote(); note; note = note->next) {
        if (note->note < lowNote || note->note > highNote) continue;
        if (note->start > lastStep || note->start + note->length - 1 < firstStep) continue;
        found.push_back({note->start, note->length, note->note});
    }
    return found;
}

} // namespace pattern_editor
