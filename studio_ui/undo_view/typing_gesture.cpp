#include "studio_ui/undo_view/typing_gesture.h"

#include "studio_ui/undo/undo_stack.h"

#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QWidget>

namespace undo_view {

CTypingGesture::CTypingGesture(CUndoStack& history, QWidget* field) : m_history(history), m_field(field) {
    m_field->installEventFilter(this);
    // The focus moves after the field had its focus-out event: a value the field commits when
    // it is left still joins the gesture.
    m_focus = QObject::connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (Holds(now)) {
            if (m_open) return;
            m_open = true;
            m_history.BeginGesture();
        } else {
            Close();
        }
    });
    if (Holds(QApplication::focusWidget())) {
        m_open = true;
        m_history.BeginGesture();
    }
}

CTypingGesture::~CTypingGesture() {
    QObject::disconnect(m_focus);
    Close();
}

bool CTypingGesture::Holds(const QWidget* widget) const {
    return widget && (widget == m_field || m_field->isAncestorOf(widget));
}

void CTypingGesture::Close() {
    if (!m_open) return;
    m_open = false;
    m_history.EndGesture();
}

bool CTypingGesture::IsHistoryKey(const QKeyEvent& event) {
    const QKeyCombination combination = event.keyCombination();
    const QKeySequence pressed(combination);
    return pressed == QKeySequence(Qt::CTRL | Qt::Key_Z) || pressed == QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z) ||
           pressed == QKeySequence(Qt::CTRL | Qt::Key_Y);
}

bool CTypingGesture::eventFilter(QObject* watched, QEvent* event) {
    // A field accepts the shortcut override of its own undo keys, which would keep them from the
    // window's Edit menu: left unaccepted, they reach the menu's shortcuts.
    if (watched == m_field && event->type() == QEvent::ShortcutOverride &&
        IsHistoryKey(*static_cast<QKeyEvent*>(event))) {
        event->ignore();
        return true;
    }
    return false;
}

} // namespace undo_view
