#include "studio_ui/pattern_editor/pattern_edits.h"

#include "gui/dialog_service.h"
#include "sequencer/pattern_editor.h"

#include <QString>

#include <exception>

namespace pattern_editor {

bool CPatternEdits::Apply(std::unique_ptr<CUndoCommand> command, bool content) {
    bool kept = false;
    try {
        kept = m_undo.Do(std::move(command));
    } catch (const std::exception& error) {
        gui::ShowError(nullptr, QString::fromStdString(error.what()));
        return false;
    }
    if (content && m_editor.CurrentPattern()) m_editor.PatternChanged(m_editor.CurrentPattern());
    return kept;
}

bool CPatternEdits::Edit(const std::string& text, std::function<void(Pattern&)> edit) {
    Pattern* pattern = m_editor.CurrentPattern();
    if (!pattern) return false;
    return Apply(UndoCommands::EditPattern(m_context, text, pattern, std::move(edit)));
}

} // namespace pattern_editor
