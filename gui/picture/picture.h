// The in-memory picture that machine panels and host views are composited in before they reach the
// screen, and the copies that hand it to the window system. No window-system header is included
// here, so pictures can be built, read from PNG and compared in tests without a display.
//
// Threads: a picture has no lock; it belongs to whoever holds it (a view on the user-interface
// thread, or a container under its own lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gui {

// The clip rectangle of a picture: first and last column, first and last row, all inclusive.
struct PictureClip {
    int left = 0;
    int top = 0;
    int right = -1;
    int bottom = -1;
};

class CPicture {
public:
    // The byte every channel of a new picture holds.
    static constexpr uint8_t kBlankValue = 160;

    // An empty picture (0 x 0); only useful as something to assign to.
    CPicture() = default;
    // A blank picture; width and height must not be negative. With alpha each pixel is red,
    // green, blue, alpha; without, red, green, blue. Rows top to bottom, packed without gaps.
    CPicture(int width, int height, bool hasAlpha);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool HasAlpha() const { return m_hasAlpha; }
    int BytesPerPixel() const { return m_hasAlpha ? 4 : 3; }
    size_t RowBytes() const { return static_cast<size_t>(m_width) * BytesPerPixel(); }
    uint8_t* Pixels() { return m_pixels.data(); }
    const uint8_t* Pixels() const { return m_pixels.data(); }
    // The first byte of pixel (x, y); the position must lie inside the picture.
    uint8_t* PixelAt(int x, int y) { return m_pixels.data() + Offset(x, y); }
    const uint8_t* PixelAt(int x, int y) const { return m_pixels.data() + Offset(x, y); }

    // The clip rectangle limits fills and draws onto this picture. It is kept inside the picture;
    // a rectangle that misses the picture leaves nothing drawable.
    void SetClip(int left, int top, int right, int bottom);
    void ResetClip();
    const PictureClip& Clip() const { return m_clip; }

    // Fills width x height pixels from (x, y) with one colour (alpha 0 in alpha pictures).
    // Coordinates wrap modulo the picture size, so a rectangle running off the right or bottom
    // edge continues at the left or top; only pixels inside the clip rectangle change.
    void FillRect(int x, int y, int width, int height, uint8_t red, uint8_t green, uint8_t blue);

    // Draws the part (sourceX, sourceY, width, height) of source with its top-left corner at
    // (x, y). The part is cut to the source's bounds and the destination to this picture's clip
    // rectangle. A source with alpha is blended: out = (src * a + dst * (255 - a) + 127) / 255 for
    // each colour, and an alpha destination keeps a + dstAlpha * (255 - a) / 255; a source without
    // alpha is copied (alpha 255 in an alpha destination). Source and destination may be the
    // same picture only when the two rectangles do not overlap.
    void Draw(const CPicture& source, int sourceX, int sourceY, int width, int height, int x, int y);

    // The platform bitmap: blue, green, red, rows top-down, each padded to a multiple of 4 bytes.
    size_t BitmapRowBytes() const { return (static_cast<size_t>(m_width) * 3 + 3) & ~size_t{3}; }
    std::vector<uint8_t> ToBitmap() const;

    // Writes the picture into a caller's 32-bit rows (0xAARRGGBB per pixel in native byte order,
    // as a 32-bit ARGB or RGB32 image stores them); a picture without alpha is written opaque.
    // firstRow must hold Height() rows of bytesPerLine bytes, bytesPerLine >= Width() * 4.
    void CopyToArgb32(uint8_t* firstRow, size_t bytesPerLine) const;

private:
    size_t Offset(int x, int y) const { return (static_cast<size_t>(y) * m_width + x) * BytesPerPixel(); }

    int m_width = 0;
    int m_height = 0;
    bool m_hasAlpha = false;
    PictureClip m_clip;
    std::vector<uint8_t> m_pixels;
};

} // namespace gui
