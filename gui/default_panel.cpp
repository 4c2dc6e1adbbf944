#include "gui/default_panel.h"

#include "gui/color_manager.h"
#include "gui/scroll_bar.h"
#include "gui/slider.h"
#include "machine_interface/machine.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>

namespace gui {

namespace {

using Layout = DefaultPanelLayout;

// Fits text into width: in the panel's own font, or the same face narrowed step by step (down to
// 70 %), so long names such as "Filter Release Curve" stay whole in their box. Text still too wide
// is elided in the middle. Measured in fractions of a pixel, as the painter lays the text out.
void FitText(const QFont& font, const char* text, int width, QFont& fitted, QString& shown) {
    shown = QString::fromUtf8(text);
    fitted = font;
    for (int stretch = 100; stretch >= 70; stretch -= 5) {
        fitted.setStretch(stretch);
        if (QFontMetricsF(fitted).horizontalAdvance(shown) <= width) return;
    }
    shown = QFontMetricsF(fitted).elidedText(shown, Qt::ElideMiddle, width);
}

void DrawRowText(QPainter& painter, const QFont& font, const QString& text, int x, int y, int width) {
    painter.setFont(font);
    painter.drawText(QRect(x, y, width, Layout::kTextHeight), Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                     text);
}

// Asks the machine for a text into a 64-byte buffer and keeps it terminated whatever it wrote.
template <typename Ask> void ReadText(char (&text)[CDefaultGUI::kTextSize], Ask ask) {
    std::fill(std::begin(text), std::end(text), '\0');
    ask(text);
    text[CDefaultGUI::kTextSize - 1] = '\0';
}

} // namespace

CDefaultGUI::CDefaultGUI() = default;

// The sliders and the scroll bar go first: their widgets are children of the panel's.
CDefaultGUI::~CDefaultGUI() {
    m_rows.clear();
    m_scrollBar.reset();
}

void CDefaultGUI::Create(CControl* parent, CMachine* machine, int x, int y) {
    m_machine = machine;
    const int count = machine ? std::max(machine->m_parameterCount, 0) : 0;
    const Layout layout = Layout::For(count);
    m_visibleRows = layout.visibleRows;
    m_first = 0;
    CControl::Create(parent, "DefaultGUI", x, y, layout.width, layout.height, true);
    m_font = MakeFont(kDefaultFace, kDefaultPoints, true);
    SetFont(m_font);

    m_rows = std::vector<Row>(static_cast<size_t>(count));
    m_changed = std::make_unique<std::atomic<bool>[]>(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Row& row = m_rows[static_cast<size_t>(i)];
        ReadText(row.name, [&](char* text) { machine->GetParameterName(i, text); });
        ReadText(row.display, [&](char* text) { machine->GetParameterDisplay(i, text); });
        row.value = machine->GetParameter(i);
        FitText(m_font, row.name, Layout::kNameWidth, row.nameFont, row.nameShown);
        FitText(m_font, row.display, Layout::kDisplayWidth, row.displayFont, row.displayShown);
        row.slider = std::make_unique<CDefaultGUISlider>();
        row.slider->Create(this, i, Layout::kSliderX, Layout::SliderY(i, 0), Layout::kSliderWidth, Layout::kSliderHeight);
        row.slider->SetValue(row.value);
        if (i < m_visibleRows) row.slider->Show();
    }
    if (layout.scrollBar) {
        m_scrollBar = std::make_unique<CScrollBar>();
        m_scrollBar->Create(this, "DefaultGUIScrollBar", layout.width - Layout::kScrollBarWidth, 0,
                            Layout::kScrollBarWidth, layout.height, true);
        m_scrollBar->SetRange(0, count - m_visibleRows);
        m_scrollBar->SetPage(m_visibleRows);
        m_scrollBar->Show();
    }
}

CDefaultGUISlider* CDefaultGUI::Slider(int parameter) const {
    return m_rows.at(static_cast<size_t>(parameter)).slider.get();
}

bool CDefaultGUI::FitsItsBox(int parameter) const {
    const Row& row = m_rows.at(static_cast<size_t>(parameter));
    return row.nameShown == QString::fromUtf8(row.name) && row.displayShown == QString::fromUtf8(row.display);
}

void CDefaultGUI::ScrollTo(int first) {
    first = std::clamp(first, 0, std::max(ParameterCount() - m_visibleRows, 0));
    m_first = first;
    for (int i = 0; i < ParameterCount(); ++i) {
        CDefaultGUISlider& slider = *m_rows[static_cast<size_t>(i)].slider;
        if (i < first || i >= first + m_visibleRows) {
            slider.ShowWith(ShowCommand::kHide);
        } else {
            slider.Move(Layout::kSliderX, Layout::SliderY(i, first));
            slider.Show();
        }
    }
    if (m_scrollBar && m_scrollBar->Value() != first) m_scrollBar->SetValue(first);
    CControl::Refresh();
}

void CDefaultGUI::FocusRow(int parameter, Qt::FocusReason reason) {
    if (parameter < 0 || parameter >= ParameterCount()) return;
    if (parameter < m_first) ScrollTo(parameter);
    else if (parameter >= m_first + m_visibleRows) ScrollTo(parameter - m_visibleRows + 1);
    m_rows[static_cast<size_t>(parameter)].slider->Widget()->setFocus(reason);
}

void CDefaultGUI::SliderMoved(int parameter, float value) {
    if (!m_machine || parameter < 0 || parameter >= ParameterCount()) return;
    if (value == m_rows[static_cast<size_t>(parameter)].value) return;
    m_machine->Lock();
    m_machine->SetParameter(parameter, value);
    m_machine->Unlock();
    RefreshRow(parameter);
    // The owner hears of the user's edit (the frame counts it as a change of the project).
    if (Parent()) Parent()->ChildChanged(this);
}

void CDefaultGUI::ReadRow(int parameter) {
    Row& row = m_rows[static_cast<size_t>(parameter)];
    row.value = m_machine->GetParameter(parameter);
    row.slider->SetValue(row.value);
    ReadText(row.display, [&](char* text) { m_machine->GetParameterDisplay(parameter, text); });
    FitText(m_font, row.display, Layout::kDisplayWidth, row.displayFont, row.displayShown);
}

void CDefaultGUI::RefreshRow(int parameter) {
    if (!m_machine || parameter < 0 || parameter >= ParameterCount()) return;
    ReadRow(parameter);
    CControl::Refresh();
}

void CDefaultGUI::ParameterChanged(int parameter) {
    if (parameter < 0 || parameter >= ParameterCount()) return;
    m_changed[static_cast<size_t>(parameter)].store(true, std::memory_order_release);
    MarkDirty();
}

void CDefaultGUI::ChildChanged(CControl* child) {
    if (child && child == m_scrollBar.get()) {
        ScrollTo(m_scrollBar->Value());
        return;
    }
    auto* slider = dynamic_cast<CDefaultGUISlider*>(child);
    if (slider && slider->Panel() == this) SliderMoved(slider->Parameter(), slider->Value());
}

bool CDefaultGUI::WheelTurned(QWheelEvent* event) {
    if (!m_scrollBar) return false;
    const int rows = event->angleDelta().y() / 120;
    if (rows == 0) return false;
    ScrollTo(m_first - rows);
    return true;
}

void CDefaultGUI::Refresh() {
    if (m_machine) {
        for (int i = 0; i < ParameterCount(); ++i)
            if (m_changed[static_cast<size_t>(i)].exchange(false, std::memory_order_acq_rel)) ReadRow(i);
    }
    CControl::Refresh();
}

void CDefaultGUI::Render(QPainter& painter) {
    const CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(BackgroundSlot()));
    painter.setPen(colors.Pen(kSlotButtonText));
    const int last = std::min(m_first + m_visibleRows, ParameterCount());
    for (int i = m_first; i < last; ++i) {
        const Row& row = m_rows[static_cast<size_t>(i)];
        const int y = Layout::TextY(i - m_first);
        DrawRowText(painter, row.nameFont, row.nameShown, Layout::kNameLeft, y, Layout::kNameWidth);
        DrawRowText(painter, row.displayFont, row.displayShown, Layout::kDisplayLeft, y, Layout::kDisplayWidth);
    }
}

} // namespace gui
