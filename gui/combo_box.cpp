#include "gui/combo_box.h"

#include <QAbstractItemView>
#include <QComboBox>

namespace gui {

void CComboBox::CreateComboBox(CControl* parent, int x, int y, int width, int height) {
    auto* combo = new QComboBox;
    combo->setFocusPolicy(Qt::StrongFocus);
    CreateField(parent, "ComboContainer", x, y, width, height, combo);
    // activated comes from the user (list, keys, wheel), never from setCurrentIndex.
    QObject::connect(combo, &QComboBox::activated, combo, [this](int index) {
        if (Silent() || index == m_known) return;
        m_known = index;
        if (Parent()) Parent()->ComboChanged(this);
    });
}

void CComboBox::ApplyColors() {
    CFieldControl::ApplyColors();
    // The drop-down list is a window of its own and does not take the box's palette by itself.
    if (Combo()) Combo()->view()->setPalette(Combo()->palette());
}

QComboBox* CComboBox::Combo() const { return static_cast<QComboBox*>(Field()); }

int CComboBox::AddEntry(const QString& text) {
    CSilence silence(*this);
    Combo()->addItem(text);
    // Qt selects the first entry added to an empty box.
    m_known = Combo()->currentIndex();
    return Combo()->count() - 1;
}

void CComboBox::Clear() {
    CSilence silence(*this);
    Combo()->clear();
    m_known = -1;
}

int CComboBox::Count() const { return Combo()->count(); }

QString CComboBox::EntryText(int index) const { return Combo()->itemText(index); }

int CComboBox::Selection() const { return Combo()->currentIndex(); }

void CComboBox::SetSelection(int index) {
    CSilence silence(*this);
    Combo()->setCurrentIndex(index >= 0 && index < Combo()->count() ? index : -1);
    m_known = Combo()->currentIndex();
}

} // namespace gui
