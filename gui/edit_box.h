// CEditBox: a one-line text field (Qt's QLineEdit) in the container control "EditContainer",
// painted in the field colours. Text the user types is reported to the parent (ChildChanged) as
// it changes; SetText from code is not reported.
//
// Threads: user-interface thread only.
#pragma once

#include "gui/field_control.h"

#include <QString>

class QLineEdit;

namespace gui {

class CEditBox : public CFieldControl {
public:
    void CreateEditBox(CControl* parent, int x, int y, int width, int height);
    QString Text() const;
    void SetText(const QString& text);
    void SetReadOnly(bool readOnly);
    QLineEdit* LineEdit() const;
};

} // namespace gui
