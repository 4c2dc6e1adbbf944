#include "library/panels/lcd_screen.h"

#include "machines/basshead/basshead_panel_layout.h"

#include <algorithm>
#include <cstring>

namespace stock_panels {

using namespace basshead_panel;

CLCDScreen::CLCDScreen(gui::CLiteContainer& container, int x, int y, int width, int height, const gui::CPicture& font)
    : CLiteControl(container, x, y, width, height), m_glyphs(font.Width(), font.Height(), true),
      m_lineCount(std::min(height / kFontCell, kMaxLines)), m_lineLength(std::min(width / kAdvance, kMaxChars)) {
    for (int py = 0; py < font.Height(); ++py)
        for (int px = 0; px < font.Width(); ++px) {
            const uint8_t* in = font.PixelAt(px, py);
            uint8_t* out = m_glyphs.PixelAt(px, py);
            out[0] = out[1] = out[2] = 0;
            out[3] = static_cast<uint8_t>(255 - (in[0] + in[1] + in[2]) / 3);
        }
}

void CLCDScreen::WriteBottom(const char* text) {
    std::array<char, kMaxChars + 1>& line = m_lines[static_cast<size_t>(m_lineCount - 1)];
    line.fill('\0');
    std::strncpy(line.data(), text, static_cast<size_t>(m_lineLength));
}

void CLCDScreen::Show(int32_t parameter, const char* text) {
    if (m_lineCount <= 0) return;
    {
        CMutexLock lock(Container());
        if (parameter < 0 || parameter != m_lastParameter)
            std::rotate(m_lines.begin(), m_lines.begin() + 1, m_lines.begin() + m_lineCount);
        m_lastParameter = parameter;
        WriteBottom(text);
    }
    MarkDirty();
}

std::string CLCDScreen::Line(int i) const {
    return i >= 0 && i < m_lineCount ? std::string(m_lines[static_cast<size_t>(i)].data()) : std::string();
}

void CLCDScreen::Draw(gui::CPicture& target) {
    // Keep the text inside the screen, on top of the panel's clip.
    const gui::PictureClip saved = target.Clip();
    target.SetClip(std::max(saved.left, X()), std::max(saved.top, Y()), std::min(saved.right, X() + Width() - 1),
                   std::min(saved.bottom, Y() + Height() - 1));
    for (int l = 0; l < m_lineCount; ++l) {
        int x = X();
        const int y = Y() + l * kFontCell;
        for (const char* c = m_lines[static_cast<size_t>(l)].data(); *c; ++c) {
            const int code = static_cast<unsigned char>(*c);
            if (code >= kFontFirst && code <= kFontLast) {
                const int cell = code - kFontFirst;
                target.Draw(m_glyphs, (cell % kFontColumns) * kFontCell, (cell / kFontColumns) * kFontCell, kFontCell,
                            kFontCell, x, y);
            }
            x += (*c == '.' || *c == ':') ? kNarrowAdvance : kAdvance;
        }
    }
    target.SetClip(saved.left, saved.top, saved.right, saved.bottom);
}

} // namespace stock_panels
