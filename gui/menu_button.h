// CMenuButton: a small button that drops down a menu of entries (Qt's QMenu) below itself. Greyed
// entries are shown but cannot be chosen. The entry the user chooses is remembered
// (ChosenEntry) and reported to the parent through ChildChanged(this); closing the menu without a
// choice reports nothing.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/button.h"

#include <vector>

class QAction;
class QMenu;

namespace gui {

class CMenuButton : public CButton {
public:
    void CreateMenuButton(CControl* parent, const QString& caption, int x, int y, int width, int height);
    // Adds an entry at the end of the menu; returns its index (separators take none).
    int AddEntry(const QString& text, bool enabled = true);
    void AddSeparator();
    void SetEntryEnabled(int index, bool enabled);
    bool IsEntryEnabled(int index) const;
    int EntryCount() const { return static_cast<int>(m_entries.size()); }
    // The entry chosen last, -1 before the first choice.
    int ChosenEntry() const { return m_chosen; }
    // The menu itself (owned by the button's widget); tests trigger its actions.
    QMenu* Menu() const { return m_menu; }
    QAction* EntryAction(int index) const;

protected:
    // Drops the menu down instead of reporting a click.
    void Clicked() override;
    void RenderFace(QPainter& painter, const QRect& inside) override;

private:
    QMenu* m_menu = nullptr;
    std::vector<QAction*> m_entries;
    int m_chosen = -1;
};

} // namespace gui
