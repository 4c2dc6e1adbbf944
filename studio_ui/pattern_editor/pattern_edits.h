// CPatternEdits: what the pattern editor page's grid, lanes and tool bars share to edit the
// current pattern: the pattern editor model, the project's undo history and what its commands
// edit, and the notes copied with Ctrl+C. Every edit goes through the history, so Ctrl+Z takes it
// back; after an edit of the current pattern's content the model tells its listeners, which
// redraw the grid and the lanes.
//
// Threads: user-interface thread only.
#pragma once

#include "studio_ui/pattern_editor/page_layout.h"
#include "studio_ui/undo/undo_commands.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CPatternEditor;

namespace pattern_editor {

class CPatternEdits {
public:
    CPatternEdits(CPatternEditor& editor, CUndoStack& undo, const UndoContext& context)
        : m_editor(editor), m_undo(undo), m_context(context) {}

    CPatternEditor& Editor() const { return m_editor; }
    CUndoStack& History() const { return m_undo; }
    const UndoContext& Context() const { return m_context; }

    // Hands a command to the history. An error it raises goes to the error box and false comes
    // back. With content, the current pattern's listeners are told (its notes or lanes changed).
    bool Apply(std::unique_ptr<CUndoCommand> command, bool content = true);
    // Any edit of the current pattern as one step; false without a current pattern.
    bool Edit(const std::string& text, std::function<void(Pattern&)> edit);

    // Notes copied, starts relative to the earliest one.
    std::vector<SelectedNote>& Clipboard() { return m_clipboard; }

private:
    CPatternEditor& m_editor;
    CUndoStack& m_undo;
    UndoContext m_context;
    std::vector<SelectedNote> m_clipboard;
};

} // namespace pattern_editor
