#include "gui/slider.h"

#include "gui/color_manager.h"
#include "gui/default_panel.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QWidget>

#include <algorithm>

namespace gui {

namespace {

// The handle is a little wider than a finger-tip of the pointer, and never more than a third of
// the slider, so a short slider still has room to move.
constexpr int kHandleLength = 11;
constexpr int kGrooveThickness = 4;
// Colour slots of the slider's parts.
constexpr int kSlotGroove = 8;          // the dark groove
constexpr int kSlotGrooveLit = 24;      // the groove between the low end and the handle
constexpr int kSlotHandle = 34;         // the handle's face
constexpr int kSlotHandleFocused = 14;  // the handle's face while the slider has the keyboard

} // namespace

void CSlider::Create(CControl* parent, const char* name, int x, int y, int width, int height, Orientation orientation) {
    m_orientation = orientation;
    CControl::Create(parent, name, x, y, width, height, true);
    Widget()->setFocusPolicy(Qt::StrongFocus);
}

void CSlider::SetValue(float value) {
    value = std::clamp(value, 0.0f, 1.0f);
    if (value == m_value) return;
    m_value = value;
    Refresh();
}

void CSlider::SetCentreTick(bool tick) {
    m_centreTick = tick;
    Refresh();
}

int CSlider::HandleLength() const {
    const int length = IsVertical() ? Height() : Width();
    return std::clamp(length / 3, 1, kHandleLength);
}

SliderGeometry CSlider::Geometry() const {
    return SliderGeometry{IsVertical() ? Height() : Width(), HandleLength(), IsVertical()};
}

void CSlider::LeftButtonDown(int x, int y) {
    if (Widget()) Widget()->setFocus(Qt::MouseFocusReason);
    const SliderGeometry geometry = Geometry();
    const int along = AlongTrack(x, y);
    // On the handle the pointer keeps its hold; on the track the handle centres under it.
    m_grab = geometry.OnHandle(along, m_value) ? along - geometry.HandleStart(m_value) : geometry.handleLength / 2;
    m_dragging = true;
    SetCapture();
    ChangeByUser(geometry.ValueAt(along - m_grab));
}

void CSlider::PointerMove(int x, int y) {
    if (!m_dragging) return;
    ChangeByUser(Geometry().ValueAt(AlongTrack(x, y) - m_grab));
}

void CSlider::LeftButtonUp(int, int) {
    m_dragging = false;
    ReleaseCapture();
}

bool CSlider::KeyPressed(QKeyEvent* event) {
    float value = m_value;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        value -= kLineStep;
        break;
    case Qt::Key_Right:
    case Qt::Key_Up:
        value += kLineStep;
        break;
    case Qt::Key_PageDown:
        value -= kPageStep;
        break;
    case Qt::Key_PageUp:
        value += kPageStep;
        break;
    case Qt::Key_Home:
        value = 0.0f;
        break;
    case Qt::Key_End:
        value = 1.0f;
        break;
    default:
        return false; // Tab and everything else go on to the widget (focus chain) and parent
    }
    ChangeByUser(value);
    return true;
}

bool CSlider::HandleEvent(QEvent* event) {
    // The handle shows whether the slider has the keyboard.
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) Refresh();
    return CControl::HandleEvent(event);
}

void CSlider::ChangeByUser(float value) {
    value = std::clamp(value, 0.0f, 1.0f);
    if (value == m_value) return;
    m_value = value;
    Refresh();
    ReportChange();
}

void CSlider::ReportChange() {
    if (Parent()) Parent()->ChildChanged(this);
}

void CSlider::Render(QPainter& painter) {
    const CColorManager& colors = Colors();
    const int width = Width();
    const int height = Height();
    painter.fillRect(0, 0, width, height, colors.Brush(BackgroundSlot()));
    const SliderGeometry geometry = Geometry();
    const int handle = geometry.handleLength;
    const int start = geometry.HandleStart(m_value);
    const bool focused = Widget() && Widget()->hasFocus();

    // Everything is drawn as if horizontal; a vertical slider swaps the axes.
    auto rect = [&](int along, int across, int alongLength, int acrossLength) {
        return IsVertical() ? QRect(across, along, acrossLength, alongLength) : QRect(along, across, alongLength, acrossLength);
    };
    const int thickness = IsVertical() ? width : height;
    const int grooveAcross = (thickness - kGrooveThickness) / 2;
    const int grooveStart = handle / 2;
    const int grooveLength = geometry.length - handle;

    if (m_centreTick) {
        const int centre = grooveStart + grooveLength / 2;
        painter.fillRect(rect(centre, 1, 1, thickness - 2), colors.Brush(kSlotBevelLight));
    }
    painter.fillRect(rect(grooveStart, grooveAcross, grooveLength + 1, kGrooveThickness), colors.Brush(kSlotGroove));
    // The part between the low end and the handle is lit.
    const int handleCentre = start + handle / 2;
    const int lowEnd = IsVertical() ? geometry.length - grooveStart : grooveStart;
    const int litFrom = std::min(lowEnd, handleCentre);
    const int litLength = std::abs(handleCentre - lowEnd);
    if (litLength > 0) painter.fillRect(rect(litFrom, grooveAcross + 1, litLength, kGrooveThickness - 2), colors.Brush(kSlotGrooveLit));
    const QRect groove = rect(grooveStart, grooveAcross, grooveLength + 1, kGrooveThickness);
    DrawBevel(painter, groove.x(), groove.y(), groove.width(), groove.height(), Bevel::kSunken, colors);

    const QRect face = rect(start, 2, handle, thickness - 4);
    painter.fillRect(face, colors.Brush(focused ? kSlotHandleFocused : kSlotHandle));
    DrawBevel(painter, face.x(), face.y(), face.width(), face.height(), Bevel::kRaised, colors);
    // A grip line across the middle of the handle.
    painter.fillRect(rect(start + handle / 2, 5, 1, thickness - 10), colors.Brush(kSlotBevelLight));
}

void CVolumeSlider::Create(CControl* parent, int x, int y, int width, int height) {
    CSlider::Create(parent, "VolumeSlider", x, y, width, height, Orientation::kHorizontal);
    Widget()->setToolTip(QStringLiteral("Volume"));
}

void CCableVolumeSlider::Create(CControl* parent, int x, int y, int width, int height) {
    CSlider::Create(parent, "CableVolumeSlider", x, y, width, height, Orientation::kVertical);
}

void CDefaultGUISlider::Create(CDefaultGUI* panel, int parameter, int x, int y, int width, int height) {
    m_panel = panel;
    m_parameter = parameter;
    CSlider::Create(panel, "DefaultGUISlider", x, y, width, height, Orientation::kHorizontal);
}


bool CDefaultGUISlider::KeyPressed(QKeyEvent* event) {
    const bool forward = event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier);
    const bool backward = event->key() == Qt::Key_Backtab || (event->key() == Qt::Key_Tab && !forward);
    if (m_panel && (forward || backward)) {
        const int next = m_parameter + (forward ? 1 : -1);
        // Past the first or last row the focus leaves the panel the usual way.
        if (next >= 0 && next < m_panel->ParameterCount()) {
            m_panel->FocusRow(next, forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
        return false;
    }
    return CSlider::KeyPressed(event);
}

} // namespace gui
