// COptionsPage: one page of the options dialog. A page stores what the user sets into the options
// record at once, remembers that it has changes, and on Apply hands them to whoever uses them
// (the drivers). The dialog is told of each change through the page's change hook.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/control.h"

#include <functional>
#include <utility>

namespace options {

class COptionsPage : public gui::CControl {
public:
    // Called after every change the user makes on the page.
    void SetChangeHook(std::function<void()> hook) { m_changeHook = std::move(hook); }
    bool HasChanges() const { return m_changed; }
    // Hands the page's changes on; false when that failed (the user was told). Clears the changes.
    virtual bool Apply() = 0;

protected:
    void MarkChanged() {
        m_changed = true;
        if (m_changeHook) m_changeHook();
    }
    void ClearChanges() { m_changed = false; }

private:
    std::function<void()> m_changeHook;
    bool m_changed = false;
};

} // namespace options
