#include "gui/field_control.h"

#include "gui/color_manager.h"

#include <QPalette>
#include <QWidget>

namespace gui {

QPalette FieldPalette(const CColorManager& colors) {
    QPalette palette;
    const QColor background = colors.Color(kSlotFieldBackground);
    const QColor text = colors.Color(kSlotFieldText);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, background);
        palette.setColor(group, QPalette::AlternateBase, background);
        palette.setColor(group, QPalette::Window, colors.Color(kSlotFace));
        palette.setColor(group, QPalette::Button, background);
        palette.setColor(group, QPalette::Light, colors.Color(kSlotBevelLight));
        palette.setColor(group, QPalette::Midlight, colors.Color(kSlotFace));
        palette.setColor(group, QPalette::Mid, colors.Color(kSlotDisabledFace));
        palette.setColor(group, QPalette::Dark, colors.Color(kSlotBevelShadow));
        palette.setColor(group, QPalette::Shadow, colors.Color(kSlotBevelShadow));
        palette.setColor(group, QPalette::Highlight, colors.Color(23));
        palette.setColor(group, QPalette::HighlightedText, colors.Color(14));
        palette.setColor(group, QPalette::ToolTipBase, background);
        palette.setColor(group, QPalette::ToolTipText, text);
        palette.setColor(group, QPalette::PlaceholderText, colors.Color(kSlotBevelLight));
        const QColor shown = group == QPalette::Disabled ? colors.Color(kSlotBevelLight) : text;
        palette.setColor(group, QPalette::Text, shown);
        palette.setColor(group, QPalette::WindowText, shown);
        palette.setColor(group, QPalette::ButtonText, shown);
    }
    return palette;
}

void CFieldControl::CreateField(CControl* parent, const char* containerName, int x, int y, int width, int height,
                                QWidget* field) {
    Create(parent, containerName, x, y, width, height, false);
    // The field lives in the container; the container's widget deletes it.
    m_field = field;
    m_field->setParent(Widget());
    m_field->setFont(MakeFont(kDefaultFace, kDefaultPoints, false));
    m_field->setGeometry(0, 0, Width(), Height());
    m_field->show();
    SetBackgroundSlot(kSlotFieldBackground);
    ApplyColors();
}

void CFieldControl::ApplyColors() {
    if (m_field) m_field->setPalette(FieldPalette(Colors()));
    if (Widget()) Widget()->update();
}

void CFieldControl::SizeChanged(int width, int height) {
    CControl::SizeChanged(width, height);
    if (m_field) m_field->setGeometry(0, 0, width, height);
}

void CFieldControl::SetEnabled(bool enabled) {
    if (Widget()) Widget()->setEnabled(enabled);
}

bool CFieldControl::IsEnabled() const { return Widget() && Widget()->isEnabled(); }

void CFieldControl::ReportChange() {
    if (Silent() || !Parent()) return;
    Parent()->ChildChanged(this);
}

} // namespace gui
