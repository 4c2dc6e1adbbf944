// CListBox: a list of text entries (Qt's QListWidget) in the container control "ListContainer",
// painted in the field colours. When the user selects another entry the parent's
// ChildChanged(this) is called; selecting from code is not reported.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/field_control.h"

#include <QString>

class QListWidget;

namespace gui {

class CListBox : public CFieldControl {
public:
    void CreateListBox(CControl* parent, int x, int y, int width, int height);
    int AddEntry(const QString& text);
    void Clear();
    int Count() const;
    QString EntryText(int index) const;
    // The selected entry's index, -1 for none.
    int Selection() const;
    // Selects from code (not reported); -1 or an index out of range clears the selection.
    void SetSelection(int index);
    QListWidget* List() const;

protected:
    // For the icon list, which shares the list's behaviour in another container.
    void CreateList(CControl* parent, const char* containerName, int x, int y, int width, int height);
};

} // namespace gui
