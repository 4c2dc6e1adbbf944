#include "gui/control.h"

#include "gui/color_manager.h"
#include "gui/ui_clock.h"
#include "platform/error.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace gui {

// The widget of a control: hands every event to the control first.
class CControlWidget : public QWidget {
public:
    CControlWidget(CControl* control, QWidget* parent) : QWidget(parent), m_control(control) {
        setMouseTracking(true);
    }
    // A parent window deleted before the control takes this widget with it: the control forgets
    // it, so its own destruction later does not delete it a second time.
    ~CControlWidget() override {
        if (m_control) m_control->m_widget = nullptr;
    }
    CControl* m_control;

protected:
    bool event(QEvent* event) override {
        if (m_control && m_control->HandleEvent(event)) return true;
        return QWidget::event(event);
    }
};

namespace {

constexpr int kRepaintIntervalMs = 15;

std::vector<CControl*>& LiveControls() {
    static std::vector<CControl*> controls;
    return controls;
}

CControl* g_capture = nullptr;

// The timer that refreshes dirty controls; made again when a test installs another clock.
void EnsureRepaintTimer() {
    static std::unique_ptr<CUiTimer> timer;
    static int generation = -1;
    if (timer && generation == UiClockGeneration()) return;
    generation = UiClockGeneration();
    timer = UiClock().MakeTimer([] { CControl::RefreshDirtyControls(); });
    timer->Start(kRepaintIntervalMs);
}

const CColorManager& DefaultColors() {
    static const CColorManager colors;
    return colors;
}

QPoint Position(const QEvent* event) { return static_cast<const QMouseEvent*>(event)->position().toPoint(); }

} // namespace

QFont MakeFont(const char* face, int points, bool bold) {
    if (!face || !*face) platform::Raise("Can't Create Font <%s>", face ? face : "");
    QFont font(QString::fromUtf8(face), points, bold ? QFont::Bold : QFont::Normal);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void DrawBevel(QPainter& painter, int x, int y, int width, int height, Bevel kind, const CColorManager& colors) {
    if (width <= 0 || height <= 0) return;
    const int right = x + width - 1;
    const int bottom = y + height - 1;
    const QPen& light = colors.Pen(kSlotBevelLight);
    const QPen& shadow = colors.Pen(kSlotBevelShadow);
    const QPen& topLeft = kind == Bevel::kRaised ? light : shadow;
    const QPen& bottomRight = kind == Bevel::kSunken ? light : shadow;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(topLeft);
    painter.drawLine(x, y, right, y);
    painter.drawLine(x, y, x, bottom);
    painter.setPen(bottomRight);
    painter.drawLine(x, bottom, right, bottom);
    painter.drawLine(right, y, right, bottom);
    painter.restore();
}

CControl::CControl() { LiveControls().push_back(this); }

CControl::~CControl() {
    std::erase(LiveControls(), this);
    if (g_capture == this) g_capture = nullptr;
    if (m_widget) {
        m_widget->m_control = nullptr;
        delete m_widget;
    }
}

void CControl::Create(CControl* parent, const char* name, int x, int y, int width, int height, bool offscreen) {
    if (parent && !parent->Widget()) platform::Raise("MakeWindow: IsWindow == False");
    m_parent = parent;
    m_x = x;
    m_y = y;
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
    m_offscreen = offscreen;
    if (!m_colors) m_colors = parent ? &parent->Colors() : nullptr;
    if (!m_font) m_font = parent ? parent->m_font : std::make_shared<QFont>(MakeFont(kDefaultFace, kDefaultPoints, false));

    m_widget = new CControlWidget(this, parent ? parent->Widget() : nullptr);
    m_widget->setObjectName(QString::fromUtf8(name ? name : ""));
    m_widget->setFont(*m_font);
    m_widget->setGeometry(m_x, m_y, m_width, m_height);
    m_widget->setAttribute(Qt::WA_OpaquePaintEvent);
    m_widget->hide();
    ResizePicture();
    EnsureRepaintTimer();
}

QWidget* CControl::Widget() const { return m_widget; }

CControl* CControl::FromWidget(const QWidget* widget) {
    auto* own = dynamic_cast<const CControlWidget*>(widget);
    return own ? own->m_control : nullptr;
}

void CControl::Move(int x, int y) { MoveResize(x, y, m_width, m_height); }

void CControl::MoveResize(int x, int y, int width, int height) {
    // The size holds at once, although Qt tells a hidden widget of it only when it is shown.
    m_x = x;
    m_y = y;
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
    if (m_widget) m_widget->setGeometry(m_x, m_y, m_width, m_height);
}

void CControl::MoveResizeBordered(int x, int y, int width, int height) {
    if (m_border) MoveResize(x, y, width + 2, height + 2);
    else MoveResize(x, y, width, height);
}

bool CControl::IsVisible() const { return m_widget && m_widget->isVisible(); }

const CColorManager& CControl::Colors() const { return m_colors ? *m_colors : DefaultColors(); }

void CControl::SetFont(const QFont& font) {
    m_font = std::make_shared<QFont>(font);
    if (m_widget) m_widget->setFont(font);
}

void CControl::SetCapture() {
    if (g_capture == this) return;
    CControl* previous = g_capture;
    g_capture = this;
    if (previous) previous->CaptureLost();
}

void CControl::ReleaseCapture() {
    if (g_capture != this) return;
    g_capture = nullptr;
    CaptureLost();
}

bool CControl::HasCapture() const { return g_capture == this; }

void CControl::RefreshDirtyControls() {
    std::vector<CControl*> dirty;
    for (CControl* control : LiveControls())
        if (control->m_dirty.exchange(false, std::memory_order_acq_rel)) dirty.push_back(control);
    for (CControl* control : dirty) {
        // A refresh may destroy another control (a panel closing its children).
        if (std::find(LiveControls().begin(), LiveControls().end(), control) == LiveControls().end()) continue;
        if (control->m_widget) control->Refresh();
    }
}

bool CControl::ResizePicture() {
    if (!m_offscreen) return false;
    const qreal ratio = m_widget ? m_widget->devicePixelRatioF() : 1.0;
    const QSize device(qMax(1, qRound(m_width * ratio)), qMax(1, qRound(m_height * ratio)));
    if (m_picture.size() != device || m_picture.devicePixelRatio() != ratio) {
        m_picture = QImage(device, QImage::Format_RGB32);
        m_picture.setDevicePixelRatio(ratio);
        m_picture.fill(Colors().Color(m_backgroundSlot));
        m_pictureStale = true;
        return true;
    }
    return false;
}

void CControl::ShowWith(ShowCommand command) {
    if (!m_widget) return;
    switch (command) {
    case ShowCommand::kHide:
        if (HasCapture()) ReleaseCapture();
        m_widget->hide();
        return;
    case ShowCommand::kShow:
    case ShowCommand::kShowNormal:
        m_widget->showNormal();
        break;
    case ShowCommand::kShowMaximized:
        m_widget->showMaximized();
        break;
    case ShowCommand::kShowMinimized:
        m_widget->showMinimized();
        break;
    }
    if (m_offscreen) Refresh();
}

void CControl::Show() { ShowWith(ShowCommand::kShow); }

void CControl::Paint(QPainter& painter) {
    if (m_offscreen) {
        // A picture made anew since the last render (a resize while hidden, a screen of another
        // density) is rendered before it is shown.
        ResizePicture();
        if (m_pictureStale) {
            m_pictureStale = false;
            QPainter picturePainter(&m_picture);
            Render(picturePainter);
        }
        painter.drawImage(QPoint(0, 0), m_picture);
    } else {
        painter.fillRect(QRect(0, 0, m_width, m_height), Colors().Brush(m_backgroundSlot));
    }
}

void CControl::SizeChanged(int width, int height) {
    m_width = width;
    m_height = height;
    ResizePicture();
    if (IsVisible() && m_offscreen) {
        m_pictureStale = false;
        QPainter painter(&m_picture);
        Render(painter);
    }
}

bool CControl::HandleEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::Resize: {
        const QSize size = static_cast<QResizeEvent*>(event)->size();
        SizeChanged(size.width(), size.height());
        return false;
    }
    case QEvent::Move: {
        const QPoint position = static_cast<QMoveEvent*>(event)->pos();
        m_x = position.x();
        m_y = position.y();
        return false;
    }
    case QEvent::Paint: {
        QPainter painter(m_widget);
        Paint(painter);
        if (m_border && !PaintFrame(painter)) {
            painter.setPen(Colors().Pen(kSlotBevelShadow));
            painter.drawRect(0, 0, m_width - 1, m_height - 1);
        }
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint p = Position(event);
        const bool down = event->type() == QEvent::MouseButtonPress;
        if (mouse->button() == Qt::LeftButton) down ? LeftButtonDown(p.x(), p.y()) : LeftButtonUp(p.x(), p.y());
        else if (mouse->button() == Qt::RightButton) down ? RightButtonDown(p.x(), p.y()) : RightButtonUp(p.x(), p.y());
        else return false;
        return true;
    }
    case QEvent::MouseButtonDblClick: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint p = Position(event);
        if (mouse->button() == Qt::LeftButton) LeftDoubleClick(p.x(), p.y());
        else if (mouse->button() == Qt::RightButton) RightButtonDown(p.x(), p.y());
        else return false;
        return true;
    }
    case QEvent::MouseMove: {
        const QPoint p = Position(event);
        PointerMove(p.x(), p.y());
        return true;
    }
    case QEvent::Hide:
        if (HasCapture()) ReleaseCapture();
        return false;
    case QEvent::KeyPress:
        return KeyPressed(static_cast<QKeyEvent*>(event));
    case QEvent::Wheel:
        return WheelTurned(static_cast<QWheelEvent*>(event));
    default:
        return false;
    }
}

bool CControl::PaintFrame(QPainter&) { return false; }
void CControl::RightButtonDown(int, int) {}
void CControl::RightButtonUp(int, int) {}
void CControl::LeftButtonDown(int, int) {}
void CControl::LeftButtonUp(int, int) {}
void CControl::PointerMove(int, int) {}
void CControl::LeftDoubleClick(int, int) {}
void CControl::ComboChanged(CComboBox*) {}
void CControl::ChildChanged(CControl*) {}
void CControl::ToolBarButtonClicked(CToolBarButton*) {}
void CControl::ButtonClicked(CButton*) {}
void CControl::CaptureLost() {}
bool CControl::KeyPressed(QKeyEvent*) { return false; }
bool CControl::WheelTurned(QWheelEvent*) { return false; }

void CControl::Refresh() {
    if (!m_widget) return;
    if (m_offscreen) {
        ResizePicture();
        m_pictureStale = false;
        QPainter painter(&m_picture);
        Render(painter);
    }
    Update();
}

void CControl::Render(QPainter&) {}

void CControl::Update() {
    if (m_widget) m_widget->update();
}

} // namespace gui
