// CLiteCaption: a line of text drawn on a skinned panel from a bitmap font picture (cells of
// 6 x 8 pixels for characters 32..127, 16 to a row, glyphs with alpha). No system font is used,
// so a panel looks the same everywhere.
//
// Threads: as every lightweight control (lite_container.h); the font is not owned.
#pragma once

#include "gui/lite_container.h"

#include <string>

namespace stock_panels {

class CLiteCaption : public gui::CLiteControl {
public:
    CLiteCaption(gui::CLiteContainer& container, int x, int y, const std::string& text, const gui::CPicture& font);
    const std::string& Text() const { return m_text; }
    void Draw(gui::CPicture& target) override;

private:
    std::string m_text;
    const gui::CPicture& m_font;
};

} // namespace stock_panels
