// CTypingGesture: ties a text field to the project's undo history. While the field holds the
// keyboard focus the history keeps one gesture open, so what is typed (or stepped with the
// arrows) in it merges into one step of the history; leaving the field closes the step. The
// undo keys pressed in the field (Ctrl+Z, Ctrl+Shift+Z, Ctrl+Y) go to the window's Edit menu,
// not to the field's own undo, so there is one history for the whole project.
//
// Threads: user-interface thread only. The field and the history outlive the object; the field's
// owner destroys it before the field.
#pragma once

#include <QObject>

class CUndoStack;
class QKeyEvent;
class QWidget;

namespace undo_view {

class CTypingGesture : public QObject {
public:
    CTypingGesture(CUndoStack& history, QWidget* field);
    ~CTypingGesture() override;

    // True while the field has the focus and its gesture is open.
    bool IsOpen() const { return m_open; }
    // Whether the key sequence of the event is one of the history's (undo or redo).
    static bool IsHistoryKey(const QKeyEvent& event);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Holds(const QWidget* widget) const;
    void Close();

    CUndoStack& m_history;
    QWidget* m_field;
    bool m_open = false;
    QMetaObject::Connection m_focus;
};

} // namespace undo_view
