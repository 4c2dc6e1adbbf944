#include "gui/frame.h"

#include "gui/color_manager.h"

#include <QFontMetrics>
#include <QPainter>

namespace gui {

namespace {
constexpr int kCaptionIndent = 8; // from the frame's left edge to the caption's gap
constexpr int kCaptionGap = 4;    // blank space either side of the caption
} // namespace

void CFrame::CreateFrame(CControl* parent, const QString& caption, int x, int y, int width, int height) {
    m_caption = caption;
    Create(parent, "Frame", x, y, width, height, true);
    Refresh();
}

void CFrame::SetCaption(const QString& caption) {
    m_caption = caption;
    Refresh();
}

int CFrame::ContentTop() const { return QFontMetrics(Font()).height() + 2; }

void CFrame::Render(QPainter& painter) {
    const CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(BackgroundSlot()));
    const QFontMetrics metrics(Font());
    // The outline runs through the middle of the caption line.
    const int top = metrics.height() / 2;
    const int height = Height() - top;
    DrawBevel(painter, 0, top, Width() - 1, height - 1, Bevel::kSunken, colors);
    DrawBevel(painter, 1, top + 1, Width() - 1, height - 1, Bevel::kRaised, colors);
    if (m_caption.isEmpty()) return;
    const int room = Width() - 2 * kCaptionIndent - 2 * kCaptionGap;
    const QString shown = metrics.elidedText(m_caption, Qt::ElideRight, room);
    const int textWidth = metrics.horizontalAdvance(shown);
    painter.fillRect(kCaptionIndent, 0, textWidth + 2 * kCaptionGap, metrics.height(), colors.Brush(BackgroundSlot()));
    painter.setFont(Font());
    painter.setPen(colors.Pen(kSlotButtonText));
    painter.drawText(QRect(kCaptionIndent + kCaptionGap, 0, textWidth, metrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

} // namespace gui
