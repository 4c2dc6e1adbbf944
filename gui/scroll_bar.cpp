#include "gui/scroll_bar.h"

#include "gui/color_manager.h"
#include "gui/flat_scroll_style.h"

#include <QEvent>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>

namespace gui {

namespace {

// Scoped: values set from code are not the user's.
class CFromCode {
public:
    explicit CFromCode(bool& flag) : m_flag(flag), m_before(flag) { m_flag = true; }
    ~CFromCode() { m_flag = m_before; }
    CFromCode(const CFromCode&) = delete;
    CFromCode& operator=(const CFromCode&) = delete;

private:
    bool& m_flag;
    bool m_before;
};

} // namespace

CScrollBar::CScrollBar() = default;
CScrollBar::~CScrollBar() = default;

void CScrollBar::Create(CControl* parent, const char* name, int x, int y, int width, int height, bool vertical) {
    CControl::Create(parent, name, x, y, width, height, false);
    m_bar = new QScrollBar(vertical ? Qt::Vertical : Qt::Horizontal, Widget());
    m_bar->setGeometry(0, 0, Width(), Height());
    m_bar->setRange(0, 0);
    m_bar->setPageStep(1);
    UseFlatLook(m_bar, Colors());
    QObject::connect(m_bar, &QScrollBar::valueChanged, m_bar, [this](int) {
        if (!m_fromCode && Parent()) Parent()->ChildChanged(this);
    });
}

void CScrollBar::SetRange(int minimum, int maximum) {
    if (!m_bar) return;
    CFromCode guard(m_fromCode);
    m_bar->setRange(minimum, std::max(minimum, maximum));
}

void CScrollBar::SetPage(int page) {
    if (!m_bar) return;
    CFromCode guard(m_fromCode);
    m_bar->setPageStep(std::max(page, 1));
}

void CScrollBar::SetValue(int value) {
    if (!m_bar) return;
    CFromCode guard(m_fromCode);
    m_bar->setValue(value);
}

int CScrollBar::Value() const { return m_bar ? m_bar->value() : 0; }
int CScrollBar::Minimum() const { return m_bar ? m_bar->minimum() : 0; }
int CScrollBar::Maximum() const { return m_bar ? m_bar->maximum() : 0; }
int CScrollBar::Page() const { return m_bar ? m_bar->pageStep() : 1; }

bool CScrollBar::HandleEvent(QEvent* event) {
    const bool handled = CControl::HandleEvent(event);
    if (event->type() == QEvent::Resize && m_bar) m_bar->setGeometry(0, 0, Width(), Height());
    return handled;
}

} // namespace gui
