// CComboBox: a drop-down choice (Qt's QComboBox) in the container control "ComboContainer",
// painted in the field colours with the 9-point "Verdana" font. When the user picks another entry
// the parent's ComboChanged(this) is called; choosing the entry already shown, or setting the
// selection from code, is not reported.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/field_control.h"

#include <QString>

class QComboBox;

namespace gui {

class CComboBox : public CFieldControl {
public:
    void CreateComboBox(CControl* parent, int x, int y, int width, int height);
    // Adds an entry at the end; returns its index.
    int AddEntry(const QString& text);
    void Clear();
    int Count() const;
    QString EntryText(int index) const;
    // The selected entry's index, -1 for none.
    int Selection() const;
    // Selects from code (not reported); -1 clears the selection; out-of-range indexes clear it too.
    void SetSelection(int index);
    QComboBox* Combo() const;
    void ApplyColors() override;

private:
    // The selection the parent last knew of, so re-choosing it is not reported as a change.
    int m_known = -1;
};

} // namespace gui
