#include "gui/lite_lcd_text.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace gui {
namespace {

// Room left of the first glyph so it does not touch the display's edge.
constexpr int kMargin = 2;

} // namespace

CLiteLCDText::CLiteLCDText(CLiteContainer& container, int x, int y, int width, int height, float intensity)
    : CLiteControl(container, x, y, width, height), m_intensity(std::clamp(intensity, 0.0f, 1.0f)),
      m_font(container.Font()), m_picture(std::max(width, 1), std::max(height, 1), true) {
    // An empty display lets the background through.
    m_picture.FillRect(0, 0, m_picture.Width(), m_picture.Height(), 0, 0, 0);
}

void CLiteLCDText::SetText(const char* text) {
    const QString upper = QString::fromUtf8(text ? text : "").toUpper();
    m_text = upper.toStdString();

    // Black glyphs on white, at the display's height, then turned into the shadow.
    const QFontMetrics metrics(m_font);
    const int width = std::max(Width(), metrics.horizontalAdvance(upper) + 2 * kMargin);
    const int height = std::max(Height(), 1);
    QImage glyphs(width, height, QImage::Format_RGB32);
    glyphs.fill(Qt::white);
    {
        QPainter painter(&glyphs);
        painter.setFont(m_font);
        painter.setPen(Qt::black);
        painter.drawText(QRect(kMargin, 0, width - kMargin, height), Qt::AlignLeft | Qt::AlignVCenter, upper);
    }
    CPicture picture(width, height, true);
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(glyphs.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const int average = (qRed(row[x]) + qGreen(row[x]) + qBlue(row[x])) / 3;
            uint8_t* pixel = picture.PixelAt(x, y);
            pixel[0] = pixel[1] = pixel[2] = 0;
            pixel[3] = static_cast<uint8_t>(static_cast<float>(255 - average) * m_intensity);
        }
    }
    {
        CMutexLock lock(Container());
        m_picture = std::move(picture);
        m_position = 0;
        m_end = width - Width();
    }
    Redraw();
    if (!m_timer) m_timer = UiClock().MakeTimer([this] { Step(); });
    m_timer->Start(kFirstDelayMs);
}

void CLiteLCDText::Step() {
    {
        CMutexLock lock(Container());
        m_timer->Start(kStepMs);
        if (m_position < m_end) ++m_position;
        if (m_position >= m_end) m_timer->Stop();
    }
    Redraw();
}

void CLiteLCDText::Draw(CPicture& target) {
    target.Draw(m_picture, m_position, 0, Width(), Height(), X(), Y());
}

} // namespace gui
