#include "gui/picture/picture.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace gui {

namespace {

int Wrap(long long value, int size) {
    const long long wrapped = value % size;
    return static_cast<int>(wrapped < 0 ? wrapped + size : wrapped);
}

uint8_t Blend(uint8_t source, uint8_t destination, unsigned alpha) {
    return static_cast<uint8_t>((source * alpha + destination * (255u - alpha) + 127u) / 255u);
}

} // namespace

CPicture::CPicture(int width, int height, bool hasAlpha)
    : m_width(width), m_height(height), m_hasAlpha(hasAlpha) {
    if (width < 0 || height < 0) throw std::invalid_argument("CPicture: negative size");
    m_pixels.assign(static_cast<size_t>(width) * height * BytesPerPixel(), kBlankValue);
    ResetClip();
}

void CPicture::SetClip(int left, int top, int right, int bottom) {
    m_clip.left = std::max(left, 0);
    m_clip.top = std::max(top, 0);
    m_clip.right = std::min(right, m_width - 1);
    m_clip.bottom = std::min(bottom, m_height - 1);
}

void CPicture::ResetClip() {
    m_clip = {0, 0, m_width - 1, m_height - 1};
}

void CPicture::FillRect(int x, int y, int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
    if (width <= 0 || height <= 0 || m_width == 0 || m_height == 0) return;
    // A rectangle at least as large as the picture covers every column (row) once; visiting more
    // would only repeat the same pixels.
    const int columns = std::min(width, m_width);
    const int rows = std::min(height, m_height);
    const int bytes = BytesPerPixel();
    for (int row = 0; row < rows; ++row) {
        const int py = Wrap(static_cast<long long>(y) + row, m_height);
        if (py < m_clip.top || py > m_clip.bottom) continue;
        for (int column = 0; column < columns; ++column) {
            const int px = Wrap(static_cast<long long>(x) + column, m_width);
            if (px < m_clip.left || px > m_clip.right) continue;
            uint8_t* pixel = PixelAt(px, py);
            pixel[0] = red;
            pixel[1] = green;
            pixel[2] = blue;
            if (bytes == 4) pixel[3] = 0;
        }
    }
}

void CPicture::Draw(const CPicture& source, int sourceX, int sourceY, int width, int height, int x, int y) {
    // Work in 64 bits so that far-off positions cannot overflow while being cut.
    long long sx = sourceX, sy = sourceY, dx = x, dy = y, w = width, h = height;
    // Cut to the source's bounds, moving the destination along.
    if (sx < 0) {
        dx -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        dy -= sy;
        h += sy;
        sy = 0;
    }
    w = std::min(w, source.m_width - sx);
    h = std::min(h, source.m_height - sy);
    // Cut to this picture's clip rectangle, moving the source along.
    if (dx < m_clip.left) {
        const long long cut = m_clip.left - dx;
        sx += cut;
        w -= cut;
        dx = m_clip.left;
    }
    if (dy < m_clip.top) {
        const long long cut = m_clip.top - dy;
        sy += cut;
        h -= cut;
        dy = m_clip.top;
    }
    w = std::min(w, m_clip.right + 1 - dx);
    h = std::min(h, m_clip.bottom + 1 - dy);
    if (w <= 0 || h <= 0) return;

    const int sourceBytes = source.BytesPerPixel();
    const int bytes = BytesPerPixel();
    for (long long row = 0; row < h; ++row) {
        const uint8_t* from = source.PixelAt(static_cast<int>(sx), static_cast<int>(sy + row));
        uint8_t* to = PixelAt(static_cast<int>(dx), static_cast<int>(dy + row));
        for (long long column = 0; column < w; ++column, from += sourceBytes, to += bytes) {
            if (!source.m_hasAlpha) {
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
                if (bytes == 4) to[3] = 255;
                continue;
            }
            const unsigned alpha = from[3];
            to[0] = Blend(from[0], to[0], alpha);
            to[1] = Blend(from[1], to[1], alpha);
            to[2] = Blend(from[2], to[2], alpha);
            if (bytes == 4) to[3] = static_cast<uint8_t>(alpha + to[3] * (255u - alpha) / 255u);
        }
    }
}

std::vector<uint8_t> CPicture::ToBitmap() const {
    const size_t stride = BitmapRowBytes();
    std::vector<uint8_t> bitmap(stride * m_height, 0);
    const int bytes = BytesPerPixel();
    for (int y = 0; y < m_height; ++y) {
        const uint8_t* from = PixelAt(0, y);
        uint8_t* to = bitmap.data() + stride * y;
        for (int x = 0; x < m_width; ++x, from += bytes, to += 3) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
    }
    return bitmap;
}

void CPicture::CopyToArgb32(uint8_t* firstRow, size_t bytesPerLine) const {
    const int bytes = BytesPerPixel();
    for (int y = 0; y < m_height; ++y) {
        const uint8_t* from = m_pixels.data() + Offset(0, y);
        uint8_t* to = firstRow + bytesPerLine * y;
        for (int x = 0; x < m_width; ++x, from += bytes, to += 4) {
            const uint32_t alpha = bytes == 4 ? from[3] : 255u;
            const uint32_t value = alpha << 24 | uint32_t{from[0]} << 16 | uint32_t{from[1]} << 8 | from[2];
            std::memcpy(to, &value, 4);
        }
    }
}

} // namespace gui
