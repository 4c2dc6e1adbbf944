#include "studio_ui/undo/undo_stack.h"

#include <algorithm>

bool CUndoStack::Do(std::unique_ptr<CUndoCommand> command) {
    RunCommand([&] { command->Do(); });
    if (!command->Changed()) return false;
    // A merge grows the step in place, so it may only touch the gesture's own step while it is
    // still the current one, and never the step the saved file equals (the file would stop
    // matching it while the clean mark stayed).
    if (m_gestureDepth > 0 && m_gestureStep != kNoClean && m_gestureStep + 1 == m_index &&
        m_index == m_commands.size() && m_clean != m_index && m_commands[m_gestureStep]->MergeWith(*command)) {
        // A drag that came back to where it began leaves no step; the rest of the gesture
        // starts a new one.
        if (!m_commands[m_gestureStep]->Changed()) {
            m_commands.pop_back();
            m_index = m_commands.size();
            m_gestureStep = kNoClean;
        }
        Changed();
        return true;
    }
    m_commands.erase(m_commands.begin() + static_cast<std::ptrdiff_t>(m_index), m_commands.end());
    if (m_clean != kNoClean && m_clean > m_index) m_clean = kNoClean;
    m_commands.push_back(std::move(command));
    m_index = m_commands.size();
    if (m_gestureDepth > 0) m_gestureStep = m_index - 1;
    if (m_commands.size() > m_limit) DropOldest(m_commands.size() - m_limit);
    Changed();
    return true;
}

bool CUndoStack::Undo() {
    if (!CanUndo()) return false;
    RunCommand([&] { m_commands[m_index - 1]->Undo(); });
    --m_index;
    m_gestureStep = kNoClean; // what follows an undo is a step of its own
    Changed();
    return true;
}

bool CUndoStack::Redo() {
    if (!CanRedo()) return false;
    RunCommand([&] { m_commands[m_index]->Redo(); });
    ++m_index;
    m_gestureStep = kNoClean;
    Changed();
    return true;
}

std::string CUndoStack::UndoText() const {
    return CanUndo() ? "Undo " + m_commands[m_index - 1]->Text() : "Undo";
}

std::string CUndoStack::RedoText() const {
    return CanRedo() ? "Redo " + m_commands[m_index]->Text() : "Redo";
}

void CUndoStack::BeginGesture() {
    if (m_gestureDepth++ == 0) m_gestureStep = kNoClean;
}

void CUndoStack::EndGesture() {
    if (m_gestureDepth == 0) return;
    if (--m_gestureDepth == 0) m_gestureStep = kNoClean;
}

void CUndoStack::SetClean() {
    m_clean = m_index;
    Changed();
}

void CUndoStack::SetLimit(size_t limit) {
    m_limit = std::max<size_t>(limit, 1);
    // Only steps already done can go now; steps waiting to be redone stay until a new command
    // drops them, and the next Do trims to the limit.
    if (m_commands.size() > m_limit) {
        DropOldest(std::min(m_commands.size() - m_limit, m_index));
        Changed();
    }
}

void CUndoStack::DropOldest(size_t count) {
    m_commands.erase(m_commands.begin(), m_commands.begin() + static_cast<std::ptrdiff_t>(count));
    m_index -= count;
    if (m_clean != kNoClean) m_clean = m_clean >= count ? m_clean - count : kNoClean;
    if (m_gestureStep != kNoClean) m_gestureStep = m_gestureStep >= count ? m_gestureStep - count : kNoClean;
}

void CUndoStack::Clear() {
    m_commands.clear();
    m_index = 0;
    m_clean = 0;
    m_gestureStep = kNoClean;
    Changed();
}
