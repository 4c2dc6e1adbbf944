#include "gui/time_display.h"

#include "gui/color_manager.h"

#include <QPainter>

#include <cmath>
#include <cstdio>

namespace gui {

namespace {

constexpr int kSlotDigits = 22; // light green on the field background, like a display

} // namespace

std::string FormatRecordedTime(double seconds) {
    if (!(seconds > 0.0)) seconds = 0.0;
    const int hours = static_cast<int>(std::fmod(seconds / 3600.0, 100.0));
    const int minutes = static_cast<int>(std::fmod(seconds / 60.0, 60.0));
    const int wholeSeconds = static_cast<int>(std::fmod(seconds, 60.0));
    const int milliseconds = static_cast<int>(std::fmod(seconds, 1.0) * 1000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%2i:%2i:%2i.%3i", hours, minutes, wholeSeconds, milliseconds);
    for (int at : {0, 3, 6, 9, 10})
        if (text[at] == ' ') text[at] = '0';
    return text;
}

void CTimeDisplay::Create(CControl* parent, int x, int y, int width, int height) {
    CControl::Create(parent, "TimeDisplay", x, y, width, height, true);
    QFont font = Font();
    font.setBold(true);
    font.setPointSize(10);
    SetFont(font);
}

void CTimeDisplay::SetSeconds(double seconds) {
    m_mode = Mode::kTime;
    m_seconds = seconds;
    m_text = FormatRecordedTime(seconds);
    Refresh();
}

void CTimeDisplay::SetSamples(int64_t samples) {
    m_mode = Mode::kSamples;
    m_text = std::to_string(samples);
    Refresh();
}

void CTimeDisplay::Render(QPainter& painter) {
    const CColorManager& colors = Colors();
    painter.fillRect(0, 0, Width(), Height(), colors.Brush(kSlotFieldBackground));
    DrawBevel(painter, 0, 0, Width(), Height(), Bevel::kSunken, colors);
    painter.setFont(Font());
    painter.setPen(colors.Pen(kSlotDigits));
    painter.drawText(QRect(4, 0, Width() - 8, Height()), Qt::AlignCenter | Qt::TextSingleLine,
                     QString::fromStdString(m_text));
}

} // namespace gui
