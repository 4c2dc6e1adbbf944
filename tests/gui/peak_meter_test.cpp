// The segment peak meter: which segments light for a level and a held peak, the fall of the hold on
// a stepped clock, and the colours of lit and unlit segments, read from the screen.
#include "gui/color_manager.h"
#include "gui/peak_meter.h"
#include "gui/window.h"
#include "tests/gui/gui_test_support.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using gui_test::Rgb;

// The squared peak of one buffer of a sine of the given amplitude (the master meter's input).
float SinePeakPower(float amplitude) {
    float peak = 0.0f;
    for (int i = 0; i < 256; ++i) {
        const float sample = amplitude * static_cast<float>(std::sin(2.0 * M_PI * 1000.0 * i / 48000.0));
        peak = std::max(peak, sample * sample);
    }
    return peak;
}

struct Meter {
    Meter() {
        window.CreateWindow(nullptr, "Meter", 0, 0, 120, 30, false);
        meter.Create(&window, "Peak", 4, 4, nullptr);
        window.Show();
        meter.Show();
    }
    QImage Screen() const { return meter.Widget()->grab().toImage(); }
    // Per bar, which segments show their lit colour.
    std::vector<bool> Lit(int bar) const {
        const QImage screen = Screen();
        const int y = bar == 0 ? 2 : (18 - 6) / 2 + 4;
        std::vector<bool> lit;
        for (int i = 0; i < meter.SegmentCount(); ++i) {
            const QRgb shown = screen.pixel(2 + 3 * i, y + 2) & 0xFFFFFF;
            lit.push_back(shown == (meter.Colors().Color(meter.SegmentSlot(i)).rgb() & 0xFFFFFF));
        }
        return lit;
    }
    int LitCount(int bar) const {
        const std::vector<bool> lit = Lit(bar);
        return static_cast<int>(std::count(lit.begin(), lit.end(), true));
    }
    gui::CWindow window;
    gui::CPeakMeter meter;
};

TEST(PeakMeter, AFullScaleSineLights26Of30AndSilenceNone) {
    gui_test::Stage stage;
    Meter m;
    EXPECT_EQ(m.meter.Width(), 96);
    EXPECT_EQ(m.meter.Height(), 18);
    EXPECT_EQ(m.meter.Widget()->toolTip(), "Peak Meter (3dB Units)");
    EXPECT_EQ(m.meter.SegmentCount(), 30);
    EXPECT_EQ(m.meter.Threshold(0), -78);
    EXPECT_EQ(m.meter.Threshold(26), 0);
    EXPECT_EQ(m.meter.Threshold(29), 9);

    m.meter.Model().Input(0.0f, 0.0f);
    stage.clock.Advance(10);
    EXPECT_EQ(m.LitCount(0), 0);
    EXPECT_EQ(m.LitCount(1), 0);

    m.meter.Model().Input(SinePeakPower(1.0f), SinePeakPower(0.5f));
    stage.clock.Advance(10);
    const std::vector<bool> left = m.Lit(0);
    EXPECT_EQ(m.LitCount(0), 26);
    EXPECT_TRUE(left[25]);
    EXPECT_FALSE(left[26]);
    // Half scale is -6 dB: lit up to the segment of (-9, -6], which also holds the peak.
    EXPECT_EQ(m.LitCount(1), 24);
    EXPECT_TRUE(m.Lit(1)[23]);
}

TEST(PeakMeter, AHeldPeakStaysOneSecondThenFallsAt48DbPerSecond) {
    gui_test::Stage stage;
    Meter m;
    // A peak that comes and goes before the next repaint is still shown by its hold.
    m.meter.Model().Input(1.0f, 1.0f);
    m.meter.Model().Input(0.0f, 0.0f);
    stage.clock.Advance(10); // the first decay starts the hold
    auto onlyLit = [&](int bar) {
        const std::vector<bool> lit = m.Lit(bar);
        std::vector<int> on;
        for (int i = 0; i < static_cast<int>(lit.size()); ++i)
            if (lit[i]) on.push_back(i);
        return on;
    };
    EXPECT_EQ(onlyLit(0), std::vector<int>{25}); // 0 dB held: the segment of (-3, 0]
    stage.clock.Advance(1000);
    EXPECT_FLOAT_EQ(m.meter.Model().Read().held[0], 0.0f); // exactly one second: still held
    EXPECT_EQ(onlyLit(1), std::vector<int>{25});
    stage.clock.Advance(600); // 0.6 s of falling: -28.8 dB, in the segment of (-30, -27]
    EXPECT_NEAR(m.meter.Model().Read().held[0], -28.8f, 0.01f);
    EXPECT_EQ(onlyLit(0), std::vector<int>{16});
    EXPECT_EQ(onlyLit(1), std::vector<int>{16});
    stage.clock.Advance(100);
    EXPECT_NEAR(m.meter.Model().Read().held[0], -33.6f, 0.01f);
    stage.clock.Advance(5000); // down to the floor: nothing lit
    EXPECT_FLOAT_EQ(m.meter.Model().Read().held[0], -90.0f);
    EXPECT_TRUE(onlyLit(0).empty());
}

TEST(PeakMeter, SegmentColoursComeFromSlots35To37AndUnlitOnesAreDimmed) {
    gui_test::Stage stage;
    gui::CColorManager colors;
    colors.SetColor(gui::kSlotMeterLow, QColor(40, 200, 80));
    colors.SetColor(gui::kSlotMeterHigh, QColor(200, 200, 40));
    colors.SetColor(gui::kSlotMeterTop, QColor(240, 40, 40));
    gui::CWindow window;
    window.SetColors(&colors);
    window.CreateWindow(nullptr, "Meter", 0, 0, 120, 30, false);
    gui::CPeakMeter meter;
    meter.Create(&window, "Peak", 4, 4, nullptr);
    window.Show();
    meter.Show();
    EXPECT_EQ(meter.SegmentSlot(0), 35);
    EXPECT_EQ(meter.SegmentSlot(21), 35);
    EXPECT_EQ(meter.SegmentSlot(22), 36);
    EXPECT_EQ(meter.SegmentSlot(25), 36);
    EXPECT_EQ(meter.SegmentSlot(26), 37);
    EXPECT_EQ(meter.SegmentSlot(29), 37);

    // Silence: every segment unlit. Segment rows 2..7 of the first bar: the top and bottom row are
    // its border (c / 8 + 63 + c / 4), the rows between its inside (c / 8 + 63).
    meter.Model().Input(0.0f, 0.0f);
    stage.clock.Advance(10);
    QImage screen = meter.Widget()->grab().toImage();
    auto at = [&](int x, int y) { return screen.pixel(x, y) & 0xFFFFFF; };
    EXPECT_EQ(at(2, 4), Rgb(40 / 8 + 63, 200 / 8 + 63, 80 / 8 + 63));
    EXPECT_EQ(at(3, 2), Rgb(40 / 8 + 63 + 10, 200 / 8 + 63 + 50, 80 / 8 + 63 + 20));
    EXPECT_EQ(at(3, 7), at(3, 2));
    EXPECT_EQ(at(2 + 3 * 22, 5), Rgb(200 / 8 + 63, 200 / 8 + 63, 40 / 8 + 63));
    EXPECT_EQ(at(2 + 3 * 29, 5), Rgb(240 / 8 + 63, 40 / 8 + 63, 40 / 8 + 63));
    EXPECT_EQ(at(2 + 3 * 29 + 2, 5), Rgb(0, 0, 0)); // the gap after a segment
    EXPECT_EQ(at(2 + 3 * 29, 12), Rgb(240 / 8 + 63, 40 / 8 + 63, 40 / 8 + 63)); // second bar

    // Above +9 dB every segment lights in its own slot, in both bars.
    meter.Model().Input(32.0f, 32.0f);
    stage.clock.Advance(10);
    screen = meter.Widget()->grab().toImage();
    for (int y : {2, 5, 7, 10, 15}) {
        EXPECT_EQ(at(2, y), Rgb(40, 200, 80)) << y;
        EXPECT_EQ(at(2 + 3 * 21 + 1, y), Rgb(40, 200, 80)) << y;
        EXPECT_EQ(at(2 + 3 * 22, y), Rgb(200, 200, 40)) << y;
        EXPECT_EQ(at(2 + 3 * 26 + 1, y), Rgb(240, 40, 40)) << y;
    }
    EXPECT_EQ(at(10, 9), Rgb(0, 0, 0)); // between the bars
}

TEST(PeakMeter, ScreenshotAtThreeLevels) {
    gui_test::Stage stage;
    gui::CWindow window;
    window.CreateWindow(nullptr, "Peak meters", 0, 0, 112, 74, false);
    gui::CPeakMeter quiet, loud, over;
    quiet.Create(&window, "Quiet", 8, 8, nullptr);
    loud.Create(&window, "Loud", 8, 28, nullptr);
    over.Create(&window, "Over", 8, 48, nullptr);
    window.Show();
    for (gui::CPeakMeter* meter : {&quiet, &loud, &over}) meter->Show();
    // A quiet passage; a loud one whose peak is held above its current level; a clipping one.
    quiet.Model().Input(SinePeakPower(0.05f), SinePeakPower(0.04f));
    loud.Model().Input(SinePeakPower(0.9f), SinePeakPower(1.0f));
    loud.Model().Input(SinePeakPower(0.25f), SinePeakPower(0.3f));
    over.Model().Input(SinePeakPower(2.5f), SinePeakPower(1.8f));
    stage.clock.Advance(20);
    const QImage shot = gui_test::Screenshot(window.Widget(), "peak_meter");
    int lit = 0;
    const QRgb top = window.Colors().Color(gui::kSlotMeterTop).rgb() & 0xFFFFFF;
    for (int x = 0; x < shot.width(); ++x) lit += (shot.pixel(x, 48 + 6) & 0xFFFFFF) == top ? 1 : 0;
    EXPECT_GT(lit, 0); // the clipping meter reaches its top segments
}

} // namespace
