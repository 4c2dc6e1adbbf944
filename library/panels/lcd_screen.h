// CLCDScreen: the BassHead's text display. Lines of text drawn with a bitmap font cut from a
// picture (cells of 16 x 16 for characters 33..122, 12 to a row; 8 pixels per character, 5 after
// '.' and ':'), shown as a shadow over the panel: the darker a font pixel, the more opaque black.
// It holds height / 16 lines of width / 8 characters; a longer text is cut. A change of a
// parameter scrolls the lines up and writes the bottom one; a further change of the same
// parameter rewrites the bottom line.
//
// Threads: Show may be called from any thread (a parameter change, machine locked): it writes the
// lines under the container's lock into fixed storage (no allocation) and marks the screen dirty;
// the UI thread draws.
#pragma once

#include "gui/lite_container.h"

#include <array>
#include <cstdint>
#include <string>

namespace stock_panels {

class CLCDScreen : public gui::CLiteControl {
public:
    static constexpr int kMaxLines = 32;
    static constexpr int kMaxChars = 64;

    // font: the font picture (without alpha: dark glyphs on white). The font is copied.
    CLCDScreen(gui::CLiteContainer& container, int x, int y, int width, int height, const gui::CPicture& font);

    int LineCount() const { return m_lineCount; }
    int LineLength() const { return m_lineLength; }
    // Any thread: shows text for parameter (-1: not a parameter; always scrolls).
    void Show(int32_t parameter, const char* text);
    // UI thread (or under the container's lock): line i, top first.
    std::string Line(int i) const;

    void Draw(gui::CPicture& target) override;

private:
    void WriteBottom(const char* text);

    gui::CPicture m_glyphs; // the font as black with alpha
    int m_lineCount, m_lineLength;
    std::array<std::array<char, kMaxChars + 1>, kMaxLines> m_lines{};
    int32_t m_lastParameter = -1;
};

} // namespace stock_panels
