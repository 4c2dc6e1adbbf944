// The studio surface's geometry: cables clipped to their frames, arrows, hits, frame sizes and
// scroll bars.
#include "studio_ui/studio_view/surface_geometry.h"

#include <gtest/gtest.h>

namespace {

using surface::Point;
using surface::Rect;

TEST(SurfaceGeometry, CablesRunFromBorderToBorder) {
    const Rect a{0, 0, 100, 50};
    const Rect b{300, 0, 100, 50};
    const auto cable = surface::ClipCable(a.Centre(), a, b.Centre(), b);
    EXPECT_EQ(cable.from, (Point{99, 25}));
    EXPECT_EQ(cable.to, (Point{300, 25}));
    // Diagonal: leaves the source through its bottom edge, enters the destination at its top.
    const Rect c{0, 0, 40, 40};
    const Rect d{100, 300, 40, 40};
    const auto diagonal = surface::ClipCable(c.Centre(), c, d.Centre(), d);
    EXPECT_EQ(diagonal.from.y, 39);
    EXPECT_EQ(diagonal.to.y, 300);
    EXPECT_GT(diagonal.from.x, 20);
    EXPECT_LT(diagonal.to.x, 120);
    // Overlapping frames leave nothing outside both: the line between the centres.
    const Rect e{0, 0, 100, 100};
    const Rect f{10, 10, 100, 100};
    const auto inside = surface::ClipCable(e.Centre(), e, f.Centre(), f);
    EXPECT_EQ(inside.from, e.Centre());
    EXPECT_EQ(inside.to, f.Centre());
}

TEST(SurfaceGeometry, ArrowsPointAlongTheCableAndCatchClicks) {
    // Left to right: t = 90 - atan2(100, 0) = 0, so the tip lies 12 pixels right of the middle.
    const surface::Segment right{{0, 0}, {100, 0}};
    const auto arrow = surface::Arrow(right);
    EXPECT_EQ(arrow[0], (Point{62, 0}));
    EXPECT_EQ(arrow[1], (Point{44, -10})); // 50 + 12 cos(-120) = 44, 12 sin(-120) = -10.39
    EXPECT_EQ(arrow[2], (Point{44, 10}));
    EXPECT_EQ(surface::Centroid(arrow), (Point{50, 0}));
    EXPECT_TRUE(surface::InTriangle({50, 0}, arrow));
    EXPECT_TRUE(surface::InTriangle({60, 0}, arrow));
    EXPECT_FALSE(surface::InTriangle({40, 0}, arrow));
    EXPECT_FALSE(surface::InTriangle({50, 12}, arrow));
    // Top to bottom: the tip points down.
    const auto down = surface::Arrow({{0, 0}, {0, 100}});
    EXPECT_EQ(down[0], (Point{0, 62}));
}

TEST(SurfaceGeometry, APointIsOnACableWithinFourPixelsAcrossItsLongerAxis) {
    const surface::Segment flat{{0, 0}, {100, 20}};
    EXPECT_TRUE(surface::OnCable({50, 10}, flat));
    EXPECT_TRUE(surface::OnCable({50, 14}, flat));
    EXPECT_FALSE(surface::OnCable({50, 15}, flat));
    EXPECT_FALSE(surface::OnCable({101, 20}, flat)); // past the end
    const surface::Segment steep{{10, 0}, {10, 100}};
    EXPECT_TRUE(surface::OnCable({14, 50}, steep));
    EXPECT_FALSE(surface::OnCable({15, 50}, steep));
    EXPECT_FALSE(surface::OnCable({10, -1}, steep));
}

TEST(SurfaceGeometry, FrameSizesInEveryPanelMode) {
    // Icon mode, short name, no programs, one connector: the connector sets the width.
    surface::FrameLayoutInput in;
    in.titleWidth = 40;
    in.lastConnectorRight = surface::ConnectorX(0) + surface::kConnectorWidth;
    auto size = surface::LayOutFrame(in);
    EXPECT_EQ(size.width, 64 + 7);
    EXPECT_EQ(size.height, 40 + 62 - 24);
    // A long title wins; a program bar makes it at least 256 wide and 24 taller.
    in.titleWidth = 200;
    EXPECT_EQ(surface::LayOutFrame(in).width, 213);
    in.programBar = true;
    size = surface::LayOutFrame(in);
    EXPECT_EQ(size.width, 256);
    EXPECT_EQ(size.height, 102);
    // The default panel of 17 parameters (353 x 384) decides both.
    in.panelWidth = 353;
    in.panelHeight = 384;
    size = surface::LayOutFrame(in);
    EXPECT_EQ(size.width, 361);
    EXPECT_EQ(size.height, 446);
    // Nothing is narrower than 32.
    EXPECT_EQ(surface::LayOutFrame({0, false, 0, 0, 0}).width, 32);
    const auto outline = surface::FrameOutline(100, 60);
    EXPECT_EQ(outline[1], (Point{95, 0}));
    EXPECT_EQ(outline[2], (Point{100, 5}));
}

TEST(SurfaceGeometry, ScrollBarsOnlyWhereTheSurfaceIsLargerThanTheView) {
    auto bars = surface::ScrollBarsFor(800, 600, 800, 600);
    EXPECT_FALSE(bars.horizontal);
    EXPECT_FALSE(bars.vertical);
    bars = surface::ScrollBarsFor(800, 600, 801, 100);
    EXPECT_TRUE(bars.horizontal);
    EXPECT_FALSE(bars.vertical);
    EXPECT_EQ(bars.horizontalLength, 800);
    bars = surface::ScrollBarsFor(800, 600, 900, 700);
    EXPECT_TRUE(bars.cornerBox);
    EXPECT_EQ(bars.horizontalLength, 784);
    EXPECT_EQ(bars.verticalLength, 584);
}

} // namespace
