#include "gui/edit_box.h"

#include <QLineEdit>

namespace gui {

void CEditBox::CreateEditBox(CControl* parent, int x, int y, int width, int height) {
    auto* edit = new QLineEdit;
    edit->setFrame(true);
    CreateField(parent, "EditContainer", x, y, width, height, edit);
    // textEdited comes only from the user's typing, never from setText.
    QObject::connect(edit, &QLineEdit::textEdited, edit, [this] { ReportChange(); });
}

QLineEdit* CEditBox::LineEdit() const { return static_cast<QLineEdit*>(Field()); }

QString CEditBox::Text() const { return LineEdit() ? LineEdit()->text() : QString(); }

void CEditBox::SetText(const QString& text) {
    CSilence silence(*this);
    LineEdit()->setText(text);
}

void CEditBox::SetReadOnly(bool readOnly) { LineEdit()->setReadOnly(readOnly); }

} // namespace gui
