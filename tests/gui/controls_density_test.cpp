// The standard controls on a high-density screen: run once as it comes and once more by ctest
// under QT_SCALE_FACTOR=2 (gui_controls_scale_2). Pointer positions and sizes stay in logical
// pixels at any density, and the button draws at the screen's own resolution, not scaled up.
#include "gui/button.h"
#include "gui/size_bar.h"
#include "tests/gui/controls_test_support.h"
#include "tests/gui/gui_test_support.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using gui_test::Rgb;

TEST(ControlsAtAnyDensity, ButtonsAndSizeBarsWorkInLogicalPixels) {
    gui_test::CRecorder window;
    window.Make(300, 120);
    const qreal ratio = window.Widget()->devicePixelRatioF();
    if (const char* scale = std::getenv("QT_SCALE_FACTOR")) {
        EXPECT_EQ(ratio, std::atof(scale));
    }

    gui::CButton button;
    button.CreateButton(&window, "Play", 20, 20, 80, 24);
    button.Widget()->setObjectName("Play");
    button.Show();
    EXPECT_EQ(button.Widget()->size(), QSize(80, 24));
    // The double buffer has a pixel for every screen pixel.
    ASSERT_NE(button.Offscreen(), nullptr);
    EXPECT_EQ(button.Offscreen()->size(), QSize(qRound(80 * ratio), qRound(24 * ratio)));
    EXPECT_EQ(button.Offscreen()->devicePixelRatio(), ratio);
    EXPECT_EQ(gui_test::Probe(button.Widget(), 3, 12), Rgb(64, 64, 64));
    EXPECT_EQ(gui_test::Probe(button.Widget(), 40, 0), Rgb(128, 128, 128)); // the raised top edge

    QTest::mousePress(button.Widget(), Qt::LeftButton, {}, QPoint(79, 23));
    EXPECT_EQ(button.CurrentState(), gui::CButton::State::kPressed);
    QTest::mouseMove(button.Widget(), QPoint(80, 23));
    EXPECT_EQ(button.CurrentState(), gui::CButton::State::kPressedOutside);
    QTest::mouseMove(button.Widget(), QPoint(79, 23));
    QTest::mouseRelease(button.Widget(), Qt::LeftButton, {}, QPoint(79, 23));
    EXPECT_EQ(window.Count("clicked Play"), 1);

    gui::CSizeBar bar;
    bar.CreateSizeBar(&window, gui::SizeBarDirection::kLeftRight, 150, 0, 120, 4);
    bar.SetLimits(30, 270);
    bar.Show();
    QTest::mousePress(bar.Widget(), Qt::LeftButton, {}, QPoint(1, 60));
    QTest::mouseMove(bar.Widget(), QPoint(41, 60));
    EXPECT_EQ(bar.Position(), 190);
    QTest::mouseMove(bar.Widget(), QPoint(1, 60)); // relative to where the bar is now: 40 pixels on
    EXPECT_EQ(bar.Position(), 190);
    QTest::mouseMove(bar.Widget(), QPoint(-99, 60));
    EXPECT_EQ(bar.Position(), 90);
    QTest::mouseRelease(bar.Widget(), Qt::LeftButton, {}, QPoint(-99, 60));
    gui_test::Screenshot(window.Widget(), ratio > 1 ? "controls_scale_2" : "controls_scale_1");
}

} // namespace
