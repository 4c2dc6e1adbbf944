// Sliders: handle geometry, the volume mappings, dragging, track clicks, the keyboard, reports to
// the parent only for the user's changes, and the same values on a high-density screen.
#include "gui/heavy_knob.h"
#include "gui/slider.h"
#include "gui/slider_geometry.h"
#include "gui/window.h"
#include "tests/gui/gui_test_support.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

using gui::CSlider;

// A window that remembers which children reported a change, and their values at that moment.
class CRecordingWindow : public gui::CWindow {
public:
    std::vector<gui::CControl*> changed;
    std::vector<float> values;
    void ChildChanged(gui::CControl* child) override {
        changed.push_back(child);
        if (auto* slider = dynamic_cast<CSlider*>(child)) values.push_back(slider->Value());
        if (auto* knob = dynamic_cast<gui::CHeavyKnob*>(child)) values.push_back(knob->Value());
    }
};

TEST(SliderGeometry, HandlePositionsAndValuesMirrorEachOther) {
    const gui::SliderGeometry across{129, 11, false};
    EXPECT_EQ(across.Travel(), 118);
    EXPECT_EQ(across.HandleStart(0.0f), 0);
    EXPECT_EQ(across.HandleStart(1.0f), 118);
    EXPECT_EQ(across.HandleStart(0.5f), 59);
    EXPECT_EQ(across.HandleStart(7.0f), 118); // out of range values are clamped
    EXPECT_EQ(across.HandleStart(-1.0f), 0);
    EXPECT_FLOAT_EQ(across.ValueAt(59), 0.5f);
    EXPECT_EQ(across.ValueAt(-20), 0.0f);
    EXPECT_EQ(across.ValueAt(500), 1.0f);
    EXPECT_TRUE(across.OnHandle(59, 0.5f));
    EXPECT_TRUE(across.OnHandle(69, 0.5f));
    EXPECT_FALSE(across.OnHandle(70, 0.5f));
    EXPECT_FALSE(across.OnHandle(58, 0.5f));
    // Every pixel of travel maps back to itself.
    for (int start = 0; start <= 118; ++start)
        ASSERT_EQ(across.HandleStart(across.ValueAt(start)), start) << start;

    // Vertical: the value is measured up from the bottom.
    const gui::SliderGeometry up{100, 10, true};
    EXPECT_EQ(up.HandleStart(0.0f), 90);
    EXPECT_EQ(up.HandleStart(1.0f), 0);
    EXPECT_FLOAT_EQ(up.ValueAt(0), 1.0f);
    EXPECT_FLOAT_EQ(up.ValueAt(45), 0.5f);

    // A handle as long as the slider still leaves one pixel of travel (no division by zero).
    const gui::SliderGeometry full{10, 10, false};
    EXPECT_EQ(full.Travel(), 1);
    EXPECT_EQ(full.ValueAt(0), 0.0f);
}

TEST(SliderGeometry, VolumeMappings) {
    // Master volume: +6 dB at the top, -34 dB at the bottom, on the 10 x log10 scale.
    EXPECT_NEAR(volume::SliderToMasterVolume(1.0f), std::pow(10.0, 0.6), 1e-5);
    EXPECT_NEAR(volume::SliderToMasterVolume(0.0f), std::pow(10.0, -3.4), 1e-9);
    EXPECT_NEAR(volume::SliderToMasterVolume(0.85f), 1.0, 1e-5); // 0 dB at 6/40 below the top
    EXPECT_NEAR(10.0 * std::log10(volume::SliderToMasterVolume(0.5f)), -14.0, 1e-4);

    // Cable volume: 0 dB at the top, -40 dB at the bottom, and back.
    EXPECT_NEAR(volume::SliderToCableVolume(1.0f), 1.0, 1e-6);
    EXPECT_NEAR(volume::SliderToCableVolume(0.0f), 1e-4, 1e-9);
    EXPECT_NEAR(volume::SliderToCableVolume(0.75f), 0.1, 1e-6);
    for (float s : {0.0f, 0.1f, 0.25f, 0.5f, 0.9f, 1.0f})
        EXPECT_NEAR(volume::CableVolumeToSlider(volume::SliderToCableVolume(s)), s, 1e-5) << s;
    EXPECT_EQ(volume::CableVolumeToSlider(0.0f), 0.0f);    // silence shows at the bottom
    EXPECT_EQ(volume::CableVolumeToSlider(1e-9f), 0.0f);   // below -40 dB is clamped
    EXPECT_EQ(volume::CableVolumeToSlider(4.0f), 1.0f);    // above 0 dB is clamped
    EXPECT_EQ(volume::CableVolumeToSlider(NAN), 0.0f);
}

// A 129 x 24 slider (the default panel's size): 11-pixel handle, 118 pixels of travel.
class SliderTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.CreateWindow(nullptr, "Sliders", 0, 0, 300, 200, false);
        slider.Create(&window, "Slider", 10, 10, 129, 24, CSlider::Orientation::kHorizontal);
        window.Show();
        slider.Show();
    }
    gui_test::Stage stage;
    CRecordingWindow window;
    CSlider slider;
};

TEST_F(SliderTest, TrackClickCentresTheHandleAndDragsFollow) {
    QWidget* w = slider.Widget();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(64, 12));
    EXPECT_FLOAT_EQ(slider.Value(), 59.0f / 118.0f); // handle centred under the pointer
    QTest::mouseMove(w, QPoint(74, 3));
    EXPECT_FLOAT_EQ(slider.Value(), 69.0f / 118.0f);
    QTest::mouseMove(w, QPoint(-40, 12)); // past the ends: clamped
    EXPECT_EQ(slider.Value(), 0.0f);
    QTest::mouseMove(w, QPoint(400, 40));
    EXPECT_EQ(slider.Value(), 1.0f);
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(400, 40));
    // After release moves change nothing.
    QTest::mouseMove(w, QPoint(20, 12));
    EXPECT_EQ(slider.Value(), 1.0f);
    EXPECT_EQ(window.values, (std::vector<float>{59.0f / 118.0f, 69.0f / 118.0f, 0.0f, 1.0f}));
    EXPECT_FALSE(slider.HasCapture());
}

TEST_F(SliderTest, TheHandleIsHeldWhereItWasGrabbed) {
    slider.SetValue(0.5f); // handle at 59..69
    QWidget* w = slider.Widget();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(62, 12));
    EXPECT_EQ(slider.Value(), 0.5f); // grabbing the handle does not make it jump
    EXPECT_TRUE(window.changed.empty());
    QTest::mouseMove(w, QPoint(100, 12));
    EXPECT_FLOAT_EQ(slider.Value(), 97.0f / 118.0f);
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(100, 12));
    ASSERT_EQ(window.changed.size(), 1u);
    EXPECT_EQ(window.changed[0], &slider);
}

TEST_F(SliderTest, CodeChangesAreNotReportedAndTheKeyboardSteps) {
    slider.SetValue(0.25f);
    slider.SetValue(3.0f);
    EXPECT_EQ(slider.Value(), 1.0f);
    EXPECT_TRUE(window.changed.empty());

    slider.SetValue(0.5f);
    QWidget* w = slider.Widget();
    EXPECT_EQ(w->focusPolicy(), Qt::StrongFocus);
    QTest::keyClick(w, Qt::Key_Right);
    EXPECT_FLOAT_EQ(slider.Value(), 0.51f);
    QTest::keyClick(w, Qt::Key_Up);
    EXPECT_FLOAT_EQ(slider.Value(), 0.52f);
    QTest::keyClick(w, Qt::Key_Left);
    QTest::keyClick(w, Qt::Key_Down);
    EXPECT_FLOAT_EQ(slider.Value(), 0.5f);
    QTest::keyClick(w, Qt::Key_PageUp);
    EXPECT_FLOAT_EQ(slider.Value(), 0.6f);
    QTest::keyClick(w, Qt::Key_PageDown);
    QTest::keyClick(w, Qt::Key_PageDown);
    EXPECT_FLOAT_EQ(slider.Value(), 0.4f);
    QTest::keyClick(w, Qt::Key_End);
    EXPECT_EQ(slider.Value(), 1.0f);
    QTest::keyClick(w, Qt::Key_PageUp); // already at the end: nothing to report
    QTest::keyClick(w, Qt::Key_Home);
    EXPECT_EQ(slider.Value(), 0.0f);
    QTest::keyClick(w, Qt::Key_Left);
    EXPECT_EQ(window.changed.size(), 9u);
    EXPECT_EQ(window.values.back(), 0.0f);
}

TEST_F(SliderTest, VerticalKindsMeasureFromTheBottom) {
    gui::CCableVolumeSlider cable;
    cable.Create(&window, 200, 10, 24, 129);
    cable.Show();
    EXPECT_TRUE(cable.IsVertical());
    cable.ShowVolume(0.1f); // -10 dB: three quarters up
    EXPECT_FLOAT_EQ(cable.Value(), 0.75f);
    QTest::mousePress(cable.Widget(), Qt::LeftButton, {}, QPoint(12, 20));
    EXPECT_FLOAT_EQ(cable.Value(), 103.0f / 118.0f);
    QTest::mouseRelease(cable.Widget(), Qt::LeftButton, {}, QPoint(12, 20));
    EXPECT_NEAR(cable.Volume(), volume::SliderToCableVolume(103.0f / 118.0f), 1e-7);
    QTest::keyClick(cable.Widget(), Qt::Key_Up);
    EXPECT_FLOAT_EQ(cable.Value(), 103.0f / 118.0f + 0.01f);

    gui::CVolumeSlider volume;
    volume.Create(&window, 10, 60, 100, 18);
    EXPECT_EQ(volume.Widget()->toolTip(), QString("Volume"));
    volume.SetValue(0.85f);
    EXPECT_NEAR(volume.Target(), 1.0, 1e-5);
}

TEST(HeavyKnobDrag, TheSkinnedKnobsArithmetic) {
    // 64 positions dragged 10 pixels up from 0 reach 6/63.
    EXPECT_EQ(gui::KnobDragValue(50, 0.0f, 40, 64), 6.0f / 63.0f);
    EXPECT_EQ(gui::KnobDragValue(50, 0.0f, -50, 64), 1.0f); // 100 pixels: the whole range
    EXPECT_EQ(gui::KnobDragValue(50, 0.0f, -500, 64), 1.0f);
    EXPECT_EQ(gui::KnobDragValue(50, 0.5f, 200, 64), 0.0f);
    // Whole steps stay whole where 0.01 is inexact: 29 pixels of 101 positions are 29/100.
    for (int pixels = 0; pixels <= 100; ++pixels)
        ASSERT_EQ(gui::KnobDragValue(100, 0.0f, 100 - pixels, 101), static_cast<float>(pixels / 100.0)) << pixels;
    // Fewer than two positions count as two: the knob is a switch.
    EXPECT_EQ(gui::KnobDragValue(0, 0.0f, -60, 1), 0.0f);
    EXPECT_EQ(gui::KnobDragValue(0, 0.0f, -100, 1), 1.0f);
}

// Runs at scale 1 in the default run and again under QT_SCALE_FACTOR=2 (the ctest entry
// gui_hidpi): pointer positions are logical, so the values must be those of scale 1.
TEST(HiDpi, SliderAndKnobGiveTheValuesOfScaleOne) {
    gui_test::Stage stage;
    CRecordingWindow window;
    window.CreateWindow(nullptr, "HiDpi", 0, 0, 300, 200, false);
    CSlider slider;
    slider.Create(&window, "Slider", 10, 10, 129, 24, CSlider::Orientation::kHorizontal);
    gui::CHeavyKnob knob;
    knob.Create(&window, 200, 10, 32, 38, 64);
    window.Show();
    slider.Show();
    knob.Show();
    const char* scale = std::getenv("QT_SCALE_FACTOR");
    const double ratio = scale ? std::atof(scale) : 1.0;
    EXPECT_DOUBLE_EQ(slider.Widget()->devicePixelRatioF(), ratio);
    // The double buffer is made at the screen's density, so it is not blurred by scaling.
    EXPECT_EQ(slider.Offscreen()->width(), static_cast<int>(129 * ratio));

    QTest::mousePress(slider.Widget(), Qt::LeftButton, {}, QPoint(64, 12));
    EXPECT_FLOAT_EQ(slider.Value(), 59.0f / 118.0f);
    QTest::mouseMove(slider.Widget(), QPoint(31, 12));
    EXPECT_FLOAT_EQ(slider.Value(), 26.0f / 118.0f);
    QTest::mouseRelease(slider.Widget(), Qt::LeftButton, {}, QPoint(31, 12));

    QTest::mousePress(knob.Widget(), Qt::LeftButton, {}, QPoint(16, 30));
    QTest::mouseMove(knob.Widget(), QPoint(16, 20));
    EXPECT_EQ(knob.Value(), 6.0f / 63.0f);
    QTest::mouseMove(knob.Widget(), QPoint(16, -80));
    EXPECT_EQ(knob.Value(), 1.0f);
    QTest::mouseRelease(knob.Widget(), Qt::LeftButton, {}, QPoint(16, -80));
    EXPECT_EQ(window.values, (std::vector<float>{59.0f / 118.0f, 26.0f / 118.0f, 6.0f / 63.0f, 1.0f}));
}

} // namespace
