#include "library/panels/caption.h"

#include "machines/mixer/mixer_panel_layout.h"

namespace stock_panels {

using mixer_panel::kFontCellHeight;
using mixer_panel::kFontCellWidth;
using mixer_panel::kFontColumns;

CLiteCaption::CLiteCaption(gui::CLiteContainer& container, int x, int y, const std::string& text,
                           const gui::CPicture& font)
    : CLiteControl(container, x, y, static_cast<int>(text.size()) * kFontCellWidth, kFontCellHeight),
      m_text(text), m_font(font) {}

void CLiteCaption::Draw(gui::CPicture& target) {
    for (size_t i = 0; i < m_text.size(); ++i) {
        const int c = static_cast<unsigned char>(m_text[i]);
        if (c < 32 || c > 127) continue;
        const int cell = c - 32;
        target.Draw(m_font, (cell % kFontColumns) * kFontCellWidth, (cell / kFontColumns) * kFontCellHeight,
                    kFontCellWidth, kFontCellHeight, X() + static_cast<int>(i) * kFontCellWidth, Y());
    }
}

} // namespace stock_panels
