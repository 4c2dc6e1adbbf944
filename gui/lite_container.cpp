#include "gui/lite_container.h"

#include "gui/color_manager.h"
#include "gui/picture_image.h"
#include "platform/error.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>

namespace gui {

// ---- CLiteControl ----

CLiteControl::CLiteControl(CLiteContainer& container, int x, int y, int width, int height)
    : m_container(container), m_x(x), m_y(y), m_width(std::max(width, 0)), m_height(std::max(height, 0)) {}

void CLiteControl::Draw(CPicture&) {}
void CLiteControl::PointerMove(int, int) {}
void CLiteControl::LeftButtonDown(int, int) {}
void CLiteControl::LeftButtonUp(int, int) {}
void CLiteControl::CaptureLost() {}

void CLiteControl::SetVisible(bool visible) {
    if (m_visible == visible) return;
    if (!visible && HasCapture()) ReleaseCapture();
    m_visible = visible;
    Redraw();
}

void CLiteControl::Redraw() { m_container.Redraw(Rect()); }

void CLiteControl::MarkDirty() {
    m_dirty.store(true, std::memory_order_release);
    m_container.CControl::MarkDirty();
}

void CLiteControl::SetCapture() {
    CLiteControl* previous = m_container.m_capture;
    if (previous == this) return;
    m_container.m_capture = this;
    if (previous) previous->CaptureLost();
    // The container's window keeps the pointer while one of its controls holds it.
    m_container.CControl::SetCapture();
}

void CLiteControl::ReleaseCapture() {
    if (m_container.m_capture != this) return;
    m_container.m_capture = nullptr;
    m_container.CControl::ReleaseCapture();
}

bool CLiteControl::HasCapture() const { return m_container.m_capture == this; }

// ---- CLiteContainer ----

CLiteContainer::~CLiteContainer() {
    // Controls may look at the container while they go (a capture being released).
    m_capture = nullptr;
    m_controls.clear();
}

void CLiteContainer::Create(CControl* parent, const char* name, int x, int y, int width, int height,
                            const CPicture* background) {
    if (background && (background->Width() != width || background->Height() != height || background->HasAlpha()))
        platform::Raise("CLiteContainer : Invalid Background Picture");
    m_background = background;
    CControl::Create(parent, name, x, y, width, height, true);
    m_composition = CPicture(std::max(width, 0), std::max(height, 0), false);
    m_image = QImage(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    Compose(QRect(0, 0, width, height));
}

void CLiteContainer::Remove(CLiteControl* control) {
    if (!control || &control->Container() != this) return;
    if (m_capture == control) control->ReleaseCapture();
    const QRect place = control->Rect();
    {
        CMutexLock lock(*this);
        m_controls.remove_if([control](const std::unique_ptr<CLiteControl>& held) { return held.get() == control; });
    }
    Redraw(place);
}

QRect CLiteContainer::Compose(const QRect& region) {
    const QRect area = region & QRect(0, 0, m_composition.Width(), m_composition.Height());
    if (area.isEmpty()) return area;
    CMutexLock lock(*this);
    m_composition.SetClip(area.left(), area.top(), area.right(), area.bottom());
    DrawBackgroundPart(area.x(), area.y(), area.width(), area.height());
    for (const auto& control : m_controls)
        if (control->IsVisible() && control->Rect().intersects(area)) control->Draw(m_composition);
    m_composition.ResetClip();
    CopyToImage(m_composition, area, m_image);
    return area;
}

void CLiteContainer::Redraw(int x, int y, int width, int height) {
    const QRect area = Compose(QRect(x, y, width, height));
    if (area.isEmpty() || !Widget()) return;
    if (QImage* offscreen = Offscreen()) {
        // The off-screen picture is in device pixels with its density set: the painter scales the
        // logical image once, without smoothing, so the skin stays sharp on a dense screen.
        QPainter painter(offscreen);
        painter.drawImage(area, m_image, area);
    }
    Widget()->update(area);
}

void CLiteContainer::Refresh() {
    for (const auto& control : m_controls)
        if (control->m_dirty.exchange(false, std::memory_order_acq_rel)) Compose(control->Rect());
    CControl::Refresh();
}

void CLiteContainer::Render(QPainter& painter) {
    painter.drawImage(QRect(0, 0, m_composition.Width(), m_composition.Height()), m_image,
                      QRect(0, 0, m_composition.Width(), m_composition.Height()));
}

void CLiteContainer::DrawBackgroundPart(int x, int y, int width, int height) {
    if (m_background) {
        m_composition.Draw(*m_background, x, y, width, height, x, y);
        return;
    }
    const QColor face = Colors().Color(kSlotFace);
    m_composition.FillRect(x, y, width, height, static_cast<uint8_t>(face.red()), static_cast<uint8_t>(face.green()),
                           static_cast<uint8_t>(face.blue()));
}

void CLiteContainer::LiteButtonClicked(CLiteButton*) {}
void CLiteContainer::LiteValueChanged(CLiteControl*, float) {}
void CLiteContainer::LiteDragEnded(CLiteControl*) {}
void CLiteContainer::ShowText(const char*) {}

CLiteControl* CLiteContainer::Target(int x, int y) const {
    CLiteControl* target = m_capture;
    if (!target) {
        for (auto it = m_controls.rbegin(); it != m_controls.rend(); ++it) {
            if ((*it)->IsVisible() && (*it)->Contains(x, y)) {
                target = it->get();
                break;
            }
        }
    }
    // A disabled control still covers what lies beneath it.
    return target && target->IsEnabled() ? target : nullptr;
}

void CLiteContainer::LeftButtonDown(int x, int y) {
    if (CLiteControl* target = Target(x, y)) target->LeftButtonDown(x, y);
}

void CLiteContainer::LeftButtonUp(int x, int y) {
    if (CLiteControl* target = Target(x, y)) target->LeftButtonUp(x, y);
}

void CLiteContainer::PointerMove(int x, int y) {
    if (CLiteControl* target = Target(x, y)) target->PointerMove(x, y);
}

void CLiteContainer::CaptureLost() {
    if (CLiteControl* holder = std::exchange(m_capture, nullptr)) holder->CaptureLost();
}

} // namespace gui
