#include "tools/artwork/canvas.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace artwork {
namespace {

constexpr double kPi = 3.14159265358979323846;

uint8_t Mix(uint8_t from, uint8_t to, double t) {
    return static_cast<uint8_t>(std::lround(from + (to - from) * t));
}

Rgb MixRgb(Rgb a, Rgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {Mix(a.r, b.r, t), Mix(a.g, b.g, t), Mix(a.b, b.b, t)};
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(4 + data.size()));
    PutBigEndian(out, static_cast<uint32_t>(crc));
}

} // namespace

CCanvas::CCanvas(int width, int height, bool alpha, Rgb fill)
    : m_width(width), m_height(height), m_alpha(alpha),
      m_pixels(static_cast<size_t>(width) * height * (alpha ? 4 : 3), 0) {
    if (!alpha) FillRect(0, 0, width, height, fill);
}

double CCanvas::Coverage(double distance) { return std::clamp(0.5 - distance, 0.0, 1.0); }

void CCanvas::Blend(int x, int y, Rgb colour, double coverage) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height || coverage <= 0.0) return;
    coverage = std::min(coverage, 1.0);
    uint8_t* p = m_pixels.data() + (static_cast<size_t>(y) * m_width + x) * (m_alpha ? 4 : 3);
    if (!m_alpha) {
        p[0] = Mix(p[0], colour.r, coverage);
        p[1] = Mix(p[1], colour.g, coverage);
        p[2] = Mix(p[2], colour.b, coverage);
        return;
    }
    // "Over" in straight alpha.
    const double da = p[3] / 255.0;
    const double oa = coverage + da * (1.0 - coverage);
    if (oa <= 0.0) return;
    auto channel = [&](uint8_t dst, uint8_t src) {
        return static_cast<uint8_t>(std::lround((src * coverage + dst * da * (1.0 - coverage)) / oa));
    };
    p[0] = channel(p[0], colour.r);
    p[1] = channel(p[1], colour.g);
    p[2] = channel(p[2], colour.b);
    p[3] = static_cast<uint8_t>(std::lround(oa * 255.0));
}

void CCanvas::FillRect(int x, int y, int width, int height, Rgb colour) {
    for (int row = std::max(y, 0); row < std::min(y + height, m_height); ++row)
        for (int col = std::max(x, 0); col < std::min(x + width, m_width); ++col) {
            uint8_t* p = m_pixels.data() + (static_cast<size_t>(row) * m_width + col) * (m_alpha ? 4 : 3);
            p[0] = colour.r;
            p[1] = colour.g;
            p[2] = colour.b;
            if (m_alpha) p[3] = 255;
        }
}

void CCanvas::GradientRect(int x, int y, int width, int height, Rgb top, Rgb bottom) {
    for (int row = 0; row < height; ++row)
        FillRect(x, y + row, width, 1, MixRgb(top, bottom, height > 1 ? static_cast<double>(row) / (height - 1) : 0.0));
}

void CCanvas::Bevel(int x, int y, int width, int height, Rgb light, Rgb dark) {
    FillRect(x, y, width, 1, light);
    FillRect(x, y, 1, height, light);
    FillRect(x, y + height - 1, width, 1, dark);
    FillRect(x + width - 1, y, 1, height, dark);
}

void CCanvas::RoundRect(double x, double y, double width, double height, double radius, Rgb colour) {
    const double cx = x + width / 2.0, cy = y + height / 2.0;
    const double hx = width / 2.0 - radius, hy = height / 2.0 - radius;
    for (int row = static_cast<int>(std::floor(y)) - 1; row <= static_cast<int>(std::ceil(y + height)); ++row)
        for (int col = static_cast<int>(std::floor(x)) - 1; col <= static_cast<int>(std::ceil(x + width)); ++col) {
            const double qx = std::abs(col + 0.5 - cx) - hx, qy = std::abs(row + 0.5 - cy) - hy;
            const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
            const double d = outside + std::min(std::max(qx, qy), 0.0) - radius;
            Blend(col, row, colour, Coverage(d));
        }
}

void CCanvas::Disc(double cx, double cy, double r, Rgb top, Rgb bottom, double opacity) {
    for (int row = static_cast<int>(cy - r) - 1; row <= static_cast<int>(cy + r) + 1; ++row)
        for (int col = static_cast<int>(cx - r) - 1; col <= static_cast<int>(cx + r) + 1; ++col) {
            const double d = std::hypot(col + 0.5 - cx, row + 0.5 - cy) - r;
            Blend(col, row, MixRgb(top, bottom, (row + 0.5 - (cy - r)) / (2.0 * r)), Coverage(d) * opacity);
        }
}

void CCanvas::Arc(double cx, double cy, double inner, double outer, double start, double end, Rgb colour) {
    if (end <= start) return;
    const double mid = (inner + outer) / 2.0, half = (outer - inner) / 2.0;
    for (int row = static_cast<int>(cy - outer) - 1; row <= static_cast<int>(cy + outer) + 1; ++row)
        for (int col = static_cast<int>(cx - outer) - 1; col <= static_cast<int>(cx + outer) + 1; ++col) {
            const double dx = col + 0.5 - cx, dy = row + 0.5 - cy;
            const double radial = std::abs(std::hypot(dx, dy) - mid) - half;
            // Angle clockwise from straight up, -180 .. 180.
            const double angle = std::atan2(dx, -dy) * 180.0 / kPi;
            // Soft ends: the distance along the ring past either end, in pixels.
            const double pastStart = (start - angle) * kPi / 180.0 * mid;
            const double pastEnd = (angle - end) * kPi / 180.0 * mid;
            const double d = std::max({radial, pastStart, pastEnd});
            Blend(col, row, colour, Coverage(d));
        }
}

void CCanvas::Line(double x0, double y0, double x1, double y1, double width, Rgb colour) {
    const double minX = std::min(x0, x1) - width, maxX = std::max(x0, x1) + width;
    const double minY = std::min(y0, y1) - width, maxY = std::max(y0, y1) + width;
    const double vx = x1 - x0, vy = y1 - y0, length2 = vx * vx + vy * vy;
    for (int row = static_cast<int>(minY); row <= static_cast<int>(maxY); ++row)
        for (int col = static_cast<int>(minX); col <= static_cast<int>(maxX); ++col) {
            const double px = col + 0.5 - x0, py = row + 0.5 - y0;
            const double t = length2 > 0 ? std::clamp((px * vx + py * vy) / length2, 0.0, 1.0) : 0.0;
            const double d = std::hypot(px - t * vx, py - t * vy) - width / 2.0;
            Blend(col, row, colour, Coverage(d));
        }
}

void CCanvas::Polygon(const std::vector<Point>& points, Rgb colour) {
    if (points.size() < 3) return;
    double minX = points[0].x, maxX = minX, minY = points[0].y, maxY = minY;
    for (const Point& p : points) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    auto inside = [&](double x, double y) {
        bool in = false;
        for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
            const Point& a = points[i];
            const Point& b = points[j];
            if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
        }
        return in;
    };
    for (int row = static_cast<int>(std::floor(minY)); row <= static_cast<int>(std::ceil(maxY)); ++row)
        for (int col = static_cast<int>(std::floor(minX)); col <= static_cast<int>(std::ceil(maxX)); ++col) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    if (inside(col + (sx + 0.5) / 4.0, row + (sy + 0.5) / 4.0)) ++hits;
            Blend(col, row, colour, hits / 16.0);
        }
}

void CCanvas::Outline(const std::vector<Point>& points, double width, Rgb colour) {
    for (size_t i = 0; i < points.size(); ++i) {
        const Point& a = points[i];
        const Point& b = points[(i + 1) % points.size()];
        Line(a.x, a.y, b.x, b.y, width, colour);
    }
}

int CCanvas::TextWidth(const std::string& text, int scale) {
    return text.empty() ? 0 : static_cast<int>(text.size()) * 6 * scale - scale;
}

void CCanvas::Text(int x, int y, const std::string& text, Rgb colour, int scale) {
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t* glyph = Glyph(text[i]);
        if (!glyph) continue;
        const int left = x + static_cast<int>(i) * 6 * scale;
        for (int r = 0; r < 7; ++r)
            for (int c = 0; c < 5; ++c)
                if (glyph[r] & (0x10 >> c)) FillRect(left + c * scale, y + r * scale, scale, scale, colour);
    }
}

void CCanvas::TextCentred(int cx, int y, const std::string& text, Rgb colour, int scale) {
    Text(cx - TextWidth(text, scale) / 2, y, text, colour, scale);
}

void CCanvas::Paste(const CCanvas& source, int x, int y) {
    for (int row = 0; row < source.m_height; ++row)
        for (int col = 0; col < source.m_width; ++col) {
            const uint8_t* s =
                source.m_pixels.data() + (static_cast<size_t>(row) * source.m_width + col) * (source.m_alpha ? 4 : 3);
            Blend(x + col, y + row, {s[0], s[1], s[2]}, source.m_alpha ? s[3] / 255.0 : 1.0);
        }
}

void WritePng(const CCanvas& canvas, const std::string& path) {
    const int channels = canvas.HasAlpha() ? 4 : 3;
    const size_t rowBytes = static_cast<size_t>(canvas.Width()) * channels;
    // Every row with filter byte 0 (None): simple, and the same bytes every time.
    std::vector<uint8_t> raw;
    raw.reserve((rowBytes + 1) * canvas.Height());
    for (int y = 0; y < canvas.Height(); ++y) {
        raw.push_back(0);
        const uint8_t* row = canvas.Pixels().data() + rowBytes * y;
        raw.insert(raw.end(), row, row + rowBytes);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
        throw std::runtime_error("zlib could not compress " + path);
    packed.resize(packedSize);

    std::vector<uint8_t> header;
    PutBigEndian(header, static_cast<uint32_t>(canvas.Width()));
    PutBigEndian(header, static_cast<uint32_t>(canvas.Height()));
    header.insert(header.end(), {8, static_cast<uint8_t>(canvas.HasAlpha() ? 6 : 2), 0, 0, 0});

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    PutChunk(file, "IHDR", header);
    PutChunk(file, "IDAT", packed);
    PutChunk(file, "IEND", {});

    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) throw std::runtime_error("Can't write " + path);
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (std::fclose(out) != 0 || !written) throw std::runtime_error("Can't write " + path);
}

} // namespace artwork
