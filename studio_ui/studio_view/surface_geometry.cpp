#include "studio_ui/studio_view/surface_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace surface {
namespace {

// The parameter t (0..1 along from -> to) at which the line leaves the rectangle, walking from a
// point inside it; 0 when the start lies outside.
double Exit(Point from, Point to, const Rect& r) {
    if (!r.Contains(from)) return 0.0;
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    double t = 1.0;
    // The rectangle's inside is x in [x, Right() - 1], y in [y, Bottom() - 1].
    if (dx > 0) t = std::min(t, (r.Right() - 1 - from.x) / dx);
    if (dx < 0) t = std::min(t, (r.x - from.x) / dx);
    if (dy > 0) t = std::min(t, (r.Bottom() - 1 - from.y) / dy);
    if (dy < 0) t = std::min(t, (r.y - from.y) / dy);
    return std::clamp(t, 0.0, 1.0);
}

Point At(Point from, Point to, double t) {
    return {static_cast<int>(std::lround(from.x + (to.x - from.x) * t)),
            static_cast<int>(std::lround(from.y + (to.y - from.y) * t))};
}

int64_t Cross(Point a, Point b, Point c) {
    return static_cast<int64_t>(b.x - a.x) * (c.y - a.y) - static_cast<int64_t>(b.y - a.y) * (c.x - a.x);
}

} // namespace

Segment ClipCable(Point sourceCentre, const Rect& sourceFrame, Point destinationCentre, const Rect& destinationFrame) {
    const double start = Exit(sourceCentre, destinationCentre, sourceFrame);
    const double end = 1.0 - Exit(destinationCentre, sourceCentre, destinationFrame);
    if (end <= start) return {sourceCentre, destinationCentre};
    return {At(sourceCentre, destinationCentre, start), At(sourceCentre, destinationCentre, end)};
}

std::array<Point, 3> Arrow(const Segment& cable) {
    const double dx = cable.to.x - cable.from.x;
    const double dy = cable.to.y - cable.from.y;
    const double midX = (cable.from.x + cable.to.x) / 2.0;
    const double midY = (cable.from.y + cable.to.y) / 2.0;
    const double theta = std::numbers::pi / 2 - std::atan2(dx, dy);
    std::array<Point, 3> corners;
    const double angles[3] = {theta, theta - 2 * std::numbers::pi / 3, theta + 2 * std::numbers::pi / 3};
    for (int i = 0; i < 3; ++i)
        corners[static_cast<size_t>(i)] = {static_cast<int>(midX + 12 * std::cos(angles[i])),
                                           static_cast<int>(midY + 12 * std::sin(angles[i]))};
    return corners;
}

Point Centroid(const std::array<Point, 3>& t) {
    return {(t[0].x + t[1].x + t[2].x) / 3, (t[0].y + t[1].y + t[2].y) / 3};
}

bool InTriangle(Point p, const std::array<Point, 3>& t) {
    const int64_t a = Cross(t[0], t[1], p);
    const int64_t b = Cross(t[1], t[2], p);
    const int64_t c = Cross(t[2], t[0], p);
    const bool anyNegative = a < 0 || b < 0 || c < 0;
    const bool anyPositive = a > 0 || b > 0 || c > 0;
    return !(anyNegative && anyPositive);
}

bool OnCable(Point p, const Segment& cable) {
    const int dx = cable.to.x - cable.from.x;
    const int dy = cable.to.y - cable.from.y;
    if (std::abs(dx) >= std::abs(dy)) {
        // Walk along x: the cable's y at the point's x, compared within 4 pixels.
        const int low = std::min(cable.from.x, cable.to.x);
        const int high = std::max(cable.from.x, cable.to.x);
        if (p.x < low || p.x > high) return false;
        const double y = dx == 0 ? cable.from.y : cable.from.y + static_cast<double>(dy) * (p.x - cable.from.x) / dx;
        return std::fabs(p.y - y) <= 4.0;
    }
    const int low = std::min(cable.from.y, cable.to.y);
    const int high = std::max(cable.from.y, cable.to.y);
    if (p.y < low || p.y > high) return false;
    const double x = cable.from.x + static_cast<double>(dx) * (p.y - cable.from.y) / dy;
    return std::fabs(p.x - x) <= 4.0;
}

FrameSize LayOutFrame(const FrameLayoutInput& in) {
    int width = std::max(32, in.titleWidth + 13);
    if (in.programBar) width = std::max(width, 256);
    // The connector panel (at x 3) runs to its last connector's right edge; 7 pixels beyond it.
    if (in.lastConnectorRight > 0) width = std::max(width, in.lastConnectorRight + 7);
    FrameSize size;
    size.width = std::max(width, in.panelWidth + 8);
    size.height = in.panelHeight + 62 - (in.programBar ? 0 : 24);
    return size;
}

std::array<Point, 5> FrameOutline(int width, int height) {
    return {Point{0, 0}, Point{width - 5, 0}, Point{width, 5}, Point{width, height}, Point{0, height}};
}

ScrollBars ScrollBarsFor(int viewWidth, int viewHeight, int extentRight, int extentBottom) {
    ScrollBars bars;
    bars.horizontal = extentRight > viewWidth;
    bars.vertical = extentBottom > viewHeight;
    bars.cornerBox = bars.horizontal && bars.vertical;
    bars.horizontalLength = viewWidth - (bars.cornerBox ? kScrollBarThickness : 0);
    bars.verticalLength = viewHeight - (bars.horizontal ? kScrollBarThickness : 0);
    return bars;
}

} // namespace surface
