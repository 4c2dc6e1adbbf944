// The studio surface's geometry without a window: where a cable is drawn between two frames, its
// arrow, what a click hits, a frame's size in each panel mode and its cut corner, and which scroll
// bars the surface needs. The studio view draws and hit-tests with these; tests check them
// headless.
//
// Units: pixels of the view (logical pixels on a high-density screen); y grows downward.
// Threads: any; pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace surface {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int Right() const { return x + width; }
    int Bottom() const { return y + height; }
    bool Contains(Point p) const { return p.x >= x && p.x < Right() && p.y >= y && p.y < Bottom(); }
    Point Centre() const { return {x + width / 2, y + height / 2}; }
};

struct Segment {
    Point from;
    Point to;
};

// The part of the line between two connector centres that lies outside both frames: it starts
// where the line leaves the source frame and ends where it enters the destination frame. When
// the frames overlap so that nothing is left, the segment between the centres is returned.
Segment ClipCable(Point sourceCentre, const Rect& sourceFrame, Point destinationCentre, const Rect& destinationFrame);

// The arrow on a cable: a triangle whose corners lie 12 pixels from the segment's midpoint at
// angles t, t - 120 and t + 120 degrees, t = 90 - atan2(dx, dy); coordinates truncated.
std::array<Point, 3> Arrow(const Segment& cable);
// The triangle's centroid, where the cable-volume slider opens.
Point Centroid(const std::array<Point, 3>& triangle);
bool InTriangle(Point p, const std::array<Point, 3>& triangle);

// A point is on a cable when it lies within 4 pixels of it, measured across the segment's longer
// axis (the segment is walked along that axis).
bool OnCable(Point p, const Segment& cable);

// A frame's size (the machine container's layout).
struct FrameLayoutInput {
    int titleWidth = 0;          // the name's width in the title font
    bool programBar = false;     // the machine has programs
    int lastConnectorRight = 0;  // right edge of the last connector inside the connector panel (0: none)
    int panelWidth = 40;         // the shown panel's size: the icon's 40 x 40 in icon mode
    int panelHeight = 40;
};
struct FrameSize {
    int width = 0;
    int height = 0;
};
FrameSize LayOutFrame(const FrameLayoutInput& input);
// The outline of a frame: a rectangle with its top-right corner cut off.
std::array<Point, 5> FrameOutline(int width, int height);

// The connector panel: connectors of 64 x 13 laid out from x 0 with 2 pixels between them.
inline constexpr int kConnectorWidth = 64;
inline constexpr int kConnectorHeight = 13;
inline constexpr int kConnectorGap = 2;
inline int ConnectorX(int index) { return index * (kConnectorWidth + kConnectorGap); }

// Which scroll bars the surface needs and how long they are. extent: the largest right and
// bottom edge of all frames on the surface.
inline constexpr int kScrollBarThickness = 16;
struct ScrollBars {
    bool horizontal = false;
    bool vertical = false;
    int horizontalLength = 0; // shortened by the corner box when both are shown
    int verticalLength = 0;
    bool cornerBox = false;
};
ScrollBars ScrollBarsFor(int viewWidth, int viewHeight, int extentRight, int extentBottom);

} // namespace surface
