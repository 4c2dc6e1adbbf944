// The drawing surface of the artwork generator: an RGBA picture in bytes with the few shapes the
// stock machines' pictures are made of (filled and gradient rectangles, anti-aliased discs, rings,
// arcs and strokes, and text in the generator's own bitmap font). Everything is plain integer and
// double arithmetic, so the same program writes the same bytes on every run.
//
// Threads: single-threaded tool code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace artwork {

struct Rgb {
    uint8_t r, g, b;
};

struct Point {
    double x, y;
};

// The palette every stock panel shares: dark greys, light text, green accents.
namespace palette {
inline constexpr Rgb kPanel{46, 48, 52};
inline constexpr Rgb kPanelLight{62, 65, 70};
inline constexpr Rgb kPanelDark{30, 31, 34};
inline constexpr Rgb kGroove{22, 23, 25};
inline constexpr Rgb kEdgeLight{88, 92, 98};
inline constexpr Rgb kText{226, 228, 232};
inline constexpr Rgb kTextDim{150, 154, 160};
inline constexpr Rgb kAccent{96, 204, 112};
inline constexpr Rgb kAccentDark{40, 96, 52};
inline constexpr Rgb kCapTop{104, 108, 114};
inline constexpr Rgb kCapBottom{54, 56, 60};
inline constexpr Rgb kPointer{240, 242, 244};
inline constexpr Rgb kRed{214, 72, 64};
inline constexpr Rgb kYellow{226, 192, 72};
} // namespace palette

class CCanvas {
public:
    // A transparent canvas (alpha 0 everywhere) when alpha, else an opaque one of colour fill.
    CCanvas(int width, int height, bool alpha, Rgb fill = {0, 0, 0});

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool HasAlpha() const { return m_alpha; }

    // Blends colour over pixel (x, y) with coverage 0..1 (outside the canvas: nothing).
    void Blend(int x, int y, Rgb colour, double coverage);
    void FillRect(int x, int y, int width, int height, Rgb colour);
    // A vertical gradient from top to bottom colour.
    void GradientRect(int x, int y, int width, int height, Rgb top, Rgb bottom);
    // A one-pixel frame: light on top and left, dark on bottom and right (raised) or the reverse.
    void Bevel(int x, int y, int width, int height, Rgb light, Rgb dark);
    // A rounded rectangle filled with one colour, anti-aliased corners.
    void RoundRect(double x, double y, double width, double height, double radius, Rgb colour);
    // A disc of radius r around (cx, cy), filled with a vertical gradient between the colours
    // taken at its top and bottom edges.
    // opacity 0..1 scales the disc's coverage (a glow over what lies beneath).
    void Disc(double cx, double cy, double r, Rgb top, Rgb bottom, double opacity = 1.0);
    // The ring between radii inner and outer, for angles (clockwise from straight up, degrees)
    // from start to end.
    void Arc(double cx, double cy, double inner, double outer, double start, double end, Rgb colour);
    // A stroke of the given width from (x0, y0) to (x1, y1), with round ends.
    void Line(double x0, double y0, double x1, double y1, double width, Rgb colour);
    // A polygon filled with one colour (even-odd rule), its edges anti-aliased by 4 x 4 samples
    // per pixel.
    void Polygon(const std::vector<Point>& points, Rgb colour);
    // The closed outline of a polygon, a stroke of the given width along every edge.
    void Outline(const std::vector<Point>& points, double width, Rgb colour);

    // Text in the bitmap font at an integer scale, top-left at (x, y); 6 x 8 pixels per character
    // at scale 1 (5 x 7 glyphs). Lower-case letters draw as upper-case.
    void Text(int x, int y, const std::string& text, Rgb colour, int scale = 1);
    // The same, centred on cx.
    void TextCentred(int cx, int y, const std::string& text, Rgb colour, int scale = 1);
    static int TextWidth(const std::string& text, int scale = 1);

    // Copies another canvas in at (x, y), blending by its alpha.
    void Paste(const CCanvas& source, int x, int y);

    // 8-bit RGB or RGBA rows, top to bottom.
    const std::vector<uint8_t>& Pixels() const { return m_pixels; }

private:
    // Coverage of pixel (x, y) by a shape given as a signed distance (negative inside) at the
    // pixel's centre: a one-pixel soft edge.
    static double Coverage(double distance);

    int m_width, m_height;
    bool m_alpha;
    std::vector<uint8_t> m_pixels;
};

// The 5 x 7 glyph of a character (32..126): seven rows, bit 4 the leftmost column; null for
// other characters.
const uint8_t* Glyph(char c);

// Writes the canvas as an 8-bit, non-interlaced PNG (colour type 6 with alpha, else 2); raises
// std::runtime_error when the file cannot be written.
void WritePng(const CCanvas& canvas, const std::string& path);

} // namespace artwork
