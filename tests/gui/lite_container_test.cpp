// The skinned container and its lightweight controls: composition, pointer routing, the
// background check, the knob's strip arithmetic and machine calls, the slider, the button's state
// machine, the scrolling LCD text on a stepped clock, the level meter, updates from other threads
// and drags on a dense screen.
#include "gui/lite_button.h"
#include "gui/lite_container.h"
#include "gui/lite_knob.h"
#include "gui/lite_lcd_text.h"
#include "gui/lite_meter.h"
#include "gui/lite_slider.h"
#include "gui/picture_image.h"
#include "gui/window.h"
#include "machine_interface/machine.h"
#include "platform/error.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/lite_artwork.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using gui_test::Rgb;
using lite_artwork::FrameColor;

QRgb PixelOf(const gui::CPicture& picture, int x, int y) {
    const uint8_t* p = picture.PixelAt(x, y);
    return Rgb(p[0], p[1], p[2]);
}

// A container that remembers what its controls tell it.
class CRecordingContainer : public gui::CLiteContainer {
public:
    std::vector<std::string> texts;
    std::vector<gui::CLiteButton*> clicks;
    std::vector<float> changes;
    int dragsEnded = 0;
    void ShowText(const char* text) override { texts.emplace_back(text); }
    void LiteButtonClicked(gui::CLiteButton* button) override { clicks.push_back(button); }
    void LiteValueChanged(gui::CLiteControl*, float value) override { changes.push_back(value); }
    void LiteDragEnded(gui::CLiteControl*) override { ++dragsEnded; }
};

// A machine with one parameter that logs the calls a panel makes and whether it was locked.
class CRecordingMachine : public CMachine {
public:
    CRecordingMachine() : CMachine(nullptr) { m_parameterCount = 1; }
    std::vector<std::string> calls;
    float value = 0.0f;
    void Delete() override {}
    void Process() override {}
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return false; }
    int32_t Lock() override {
        calls.emplace_back("lock");
        return CMachine::Lock();
    }
    int32_t Unlock() override {
        calls.emplace_back("unlock");
        return CMachine::Unlock();
    }
    float GetParameter(int32_t) override { return value; }
    void SetParameter(int32_t, float v) override { value = v; }
    void AutomateParameter(int32_t index, float v) override {
        char text[64];
        std::snprintf(text, sizeof text, "automate %d %.4f%s", index, v, IsLocked() ? " locked" : "");
        calls.emplace_back(text);
        CMachine::AutomateParameter(index, v);
    }
    void GetParameterName(int32_t, char* text) override { std::snprintf(text, 64, "Cutoff"); }
    void FormatParameter(int32_t, float v, char* text) override {
        std::snprintf(text, 64, "%.2f", v);
        calls.emplace_back(std::string("format ") + text);
    }
};

// A window holding a container, both shown.
struct Panel {
    explicit Panel(int width, int height, const gui::CPicture* background = nullptr) {
        window.CreateWindow(nullptr, "Skinned", 0, 0, width, height, false);
        container.Create(&window, "Container", 0, 0, width, height, background);
        window.Show();
        container.Show();
    }
    QWidget* Widget() const { return container.Widget(); }
    gui::CWindow window;
    CRecordingContainer container;
};

// A control that logs the pointer calls it receives.
class CLogControl : public gui::CLiteControl {
public:
    CLogControl(gui::CLiteContainer& container, int x, int y, int w, int h, std::string name, std::vector<std::string>* log)
        : CLiteControl(container, x, y, w, h), m_name(std::move(name)), m_log(log) {}
    void LeftButtonDown(int x, int y) override {
        Note("down", x, y);
        SetCapture();
    }
    void LeftButtonUp(int x, int y) override {
        Note("up", x, y);
        ReleaseCapture();
    }
    void PointerMove(int x, int y) override { Note("move", x, y); }
    void Draw(gui::CPicture& target) override { target.FillRect(X(), Y(), Width(), Height(), 10, 20, 30); }

private:
    void Note(const char* what, int x, int y) {
        m_log->push_back(m_name + " " + what + " " + std::to_string(x) + "," + std::to_string(y));
    }
    std::string m_name;
    std::vector<std::string>* m_log;
};

void Drag(QWidget* widget, QPoint from, std::initializer_list<QPoint> path) {
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    QPoint last = from;
    for (const QPoint& p : path) {
        QTest::mouseMove(widget, p);
        last = p;
    }
    QTest::mouseRelease(widget, Qt::LeftButton, {}, last);
}

std::string RaisedText(const std::function<void()>& action) {
    try {
        action();
    } catch (const platform::CError& e) {
        return e.what();
    }
    return "(nothing raised)";
}

TEST(LiteContainer, BackgroundMustMatchTheSizeAndHaveNoAlpha) {
    gui::CWindow window;
    window.CreateWindow(nullptr, "Skinned", 0, 0, 120, 60, false);
    const gui::CPicture narrower(99, 50, false);
    const gui::CPicture shorter(100, 49, false);
    const gui::CPicture withAlpha(100, 50, true);
    for (const gui::CPicture* bad : {&narrower, &shorter, &withAlpha}) {
        gui::CLiteContainer container;
        EXPECT_EQ(RaisedText([&] { container.Create(&window, "C", 0, 0, 100, 50, bad); }),
                  "CLiteContainer : Invalid Background Picture");
        EXPECT_EQ(container.Widget(), nullptr); // refused before a window was made
    }
    const gui::CPicture fits = lite_artwork::Solid(100, 50, Rgb(90, 30, 10));
    gui::CLiteContainer container;
    container.Create(&window, "C", 0, 0, 100, 50, &fits);
    EXPECT_EQ(PixelOf(container.Composition(), 99, 49), Rgb(90, 30, 10));
    // Without a background the face colour (slot 2) fills it.
    gui::CLiteContainer plain;
    plain.Create(&window, "P", 0, 0, 30, 20, nullptr);
    EXPECT_EQ(PixelOf(plain.Composition(), 5, 5), Rgb(64, 64, 64));
}

TEST(LiteContainer, LaterControlsDrawOverEarlierOnesAndGetThePointerFirst) {
    Panel panel(120, 80);
    std::vector<std::string> log;
    auto* lower = panel.container.Add<CLogControl>(10, 10, 40, 40, "lower", &log);
    auto* upper = panel.container.Add<CLogControl>(30, 30, 40, 40, "upper", &log);
    const gui::CPicture red = lite_artwork::Solid(40, 40, Rgb(200, 0, 0));
    auto* top = panel.container.Add<gui::CLiteButton>(60, 20, red, red, red, gui::CLiteButton::Mode::kMomentary);
    EXPECT_EQ(PixelOf(panel.container.Composition(), 65, 35), Rgb(200, 0, 0)); // the button covers upper
    EXPECT_EQ(PixelOf(panel.container.Composition(), 35, 35), Rgb(10, 20, 30));
    panel.container.Remove(top);
    EXPECT_EQ(panel.container.ControlCount(), 2);
    EXPECT_EQ(PixelOf(panel.container.Composition(), 65, 35), Rgb(10, 20, 30)); // its place is redrawn
    EXPECT_EQ(PixelOf(panel.container.Composition(), 95, 25), Rgb(64, 64, 64));

    QWidget* w = panel.Widget();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(35, 35)); // in both: the later one
    // While captured, moves and the release go to the holder, even outside it and over the other.
    QTest::mouseMove(w, QPoint(15, 15));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(15, 15));
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(15, 15)); // only in the lower one
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(15, 15));
    QTest::mouseMove(w, QPoint(100, 70)); // over nothing: nobody hears it
    const std::vector<std::string> expected = {"upper down 35,35", "upper move 15,15", "upper up 15,15",
                                               "lower down 15,15", "lower up 15,15"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(panel.container.CaptureHolder(), nullptr);

    // A hidden control lets the pointer through; a disabled one still covers what is beneath.
    log.clear();
    upper->SetVisible(false);
    EXPECT_EQ(PixelOf(panel.container.Composition(), 60, 60), Rgb(64, 64, 64));
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(35, 35));
    upper->SetVisible(true);
    upper->SetEnabled(false);
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(35, 35));
    EXPECT_EQ(log, (std::vector<std::string>{"lower down 35,35", "lower up 35,35"}));
    (void)lower;
}

TEST(LiteKnob, A64FrameKnobDragged10PixelsUpFromZeroShowsFrame6) {
    Panel panel(100, 60);
    const gui::CPicture strip = lite_artwork::ProbeStrip(64, 32, 32);
    CRecordingMachine machine;
    machine.value = 0.0f;
    auto* knob = panel.container.Add<gui::CLiteKnob>(20, 10, 32, 32, strip, &machine, 0);
    EXPECT_EQ(knob->FrameCount(), 64);
    EXPECT_EQ(knob->Frame(), 0);
    EXPECT_EQ(gui_test::Probe(panel.Widget(), 36, 26), FrameColor(0) & 0xFFFFFF);

    QWidget* w = panel.Widget();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(36, 26));
    // The press shows the current value, with the machine locked around the calls.
    EXPECT_EQ(machine.calls, (std::vector<std::string>{"lock", "format 0.00", "unlock"}));
    EXPECT_EQ(panel.container.texts, std::vector<std::string>{"Cutoff 0.00"});
    machine.calls.clear();
    QTest::mouseMove(w, QPoint(36, 16));
    EXPECT_FLOAT_EQ(knob->Value(), 6.0f / 63.0f);
    EXPECT_EQ(knob->Frame(), 6);
    EXPECT_EQ(machine.calls, (std::vector<std::string>{"lock", "format 0.10", "automate 0 0.0952 locked", "unlock"}));
    EXPECT_EQ(panel.container.texts.back(), "Cutoff 0.10");
    EXPECT_FLOAT_EQ(machine.value, 6.0f / 63.0f);
    EXPECT_EQ(PixelOf(panel.container.Composition(), 36, 26), FrameColor(6) & 0xFFFFFF);
    EXPECT_EQ(gui_test::Probe(w, 36, 26), FrameColor(6) & 0xFFFFFF);

    // A move that lands on the same frame calls nobody.
    machine.calls.clear();
    QTest::mouseMove(w, QPoint(80, 15)); // 11 px: 6.93, still frame 6
    EXPECT_TRUE(machine.calls.empty());
    // Far beyond either end the knob stops at the last and the first frame.
    QTest::mouseMove(w, QPoint(36, -400));
    EXPECT_EQ(knob->Frame(), 63);
    EXPECT_FLOAT_EQ(knob->Value(), 1.0f);
    QTest::mouseMove(w, QPoint(36, 300));
    EXPECT_EQ(knob->Frame(), 0);
    EXPECT_FLOAT_EQ(knob->Value(), 0.0f);
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(36, 300));
    EXPECT_EQ(panel.container.CaptureHolder(), nullptr);
    EXPECT_EQ(panel.container.dragsEnded, 1);
    EXPECT_EQ(panel.container.changes, (std::vector<float>{6.0f / 63.0f, 1.0f, 0.0f}));
    // Moves after the release do not turn it.
    machine.calls.clear();
    QTest::mouseMove(w, QPoint(36, 0));
    EXPECT_TRUE(machine.calls.empty());
}

TEST(LiteKnob, DragArithmeticFromTheMiddleAndWithoutAMachine) {
    gui_test::Stage stage;
    Panel panel(100, 60);
    const gui::CPicture strip = lite_artwork::ProbeStrip(11, 20, 20);
    auto* knob = panel.container.Add<gui::CLiteKnob>(10, 10, 20, 20, strip, nullptr, 0);
    EXPECT_FLOAT_EQ(knob->Value(), 0.5f); // no machine: the middle
    EXPECT_EQ(knob->Frame(), 5);
    QWidget* w = panel.Widget();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(20, 25));
    QTest::mouseMove(w, QPoint(20, 16)); // (0.09 + 0.5) x 10 = 5.9: frame 5 still
    EXPECT_EQ(knob->Frame(), 5);
    QTest::mouseMove(w, QPoint(20, 15)); // 6.0
    EXPECT_EQ(knob->Frame(), 6);
    QTest::mouseMove(w, QPoint(20, 36)); // (-0.11 + 0.5) x 10 = 3.9: truncated to 3
    EXPECT_EQ(knob->Frame(), 3);
    EXPECT_FLOAT_EQ(knob->Value(), 0.3f);
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(20, 36));
    EXPECT_TRUE(panel.container.texts.empty()); // nothing to name without a machine
    EXPECT_EQ(PixelOf(panel.container.Composition(), 15, 15), FrameColor(3) & 0xFFFFFF);

    // A value set from another thread shows on the next repaint tick only.
    std::thread automation([knob] { knob->SetValue(1.0f); });
    automation.join();
    EXPECT_EQ(PixelOf(panel.container.Composition(), 15, 15), FrameColor(3) & 0xFFFFFF);
    stage.clock.Advance(20);
    EXPECT_EQ(PixelOf(panel.container.Composition(), 15, 15), FrameColor(10) & 0xFFFFFF);
    EXPECT_EQ(gui_test::Probe(w, 15, 15), FrameColor(10) & 0xFFFFFF);
}

TEST(LiteSlider, TheHandleFollowsTheValueAndOnlyItStartsADrag) {
    Panel panel(120, 140);
    const gui::CPicture handle = lite_artwork::Solid(16, 10, Rgb(250, 250, 0));
    CRecordingMachine machine;
    machine.value = 0.25f;
    // Track 110, handle 10: travel 100 pixels, measured up from the bottom.
    auto* slider = panel.container.Add<gui::CLiteSlider>(10, 10, 110, gui::CLiteSlider::Orientation::kVertical, handle,
                                                         nullptr, &machine, 0);
    EXPECT_EQ(slider->HandleRect(), QRect(10, 10 + 100 - 25, 16, 10));
    EXPECT_EQ(PixelOf(panel.container.Composition(), 15, 90), Rgb(250, 250, 0));
    QWidget* w = panel.Widget();
    // A press on the track beside the handle does nothing.
    Drag(w, QPoint(15, 40), {QPoint(15, 20)});
    EXPECT_FLOAT_EQ(slider->Value(), 0.25f);
    EXPECT_TRUE(machine.calls.empty());
    // On the handle: 30 pixels up is 0.3 more, with the text on every change.
    Drag(w, QPoint(15, 90), {QPoint(15, 80), QPoint(15, 60)});
    EXPECT_FLOAT_EQ(slider->Value(), 0.55f);
    EXPECT_FLOAT_EQ(machine.value, 0.55f);
    EXPECT_EQ(panel.container.texts, (std::vector<std::string>{"Cutoff 0.25", "Cutoff 0.35", "Cutoff 0.55"}));
    EXPECT_EQ(slider->HandleRect().y(), 10 + 100 - 55);
    EXPECT_EQ(PixelOf(panel.container.Composition(), 15, 90), Rgb(64, 64, 64)); // old place cleared

    // Horizontal: right raises it, and it stops at the ends.
    const gui::CPicture grip = lite_artwork::Solid(10, 16, Rgb(0, 250, 250));
    auto* across = panel.container.Add<gui::CLiteSlider>(10, 120, 60, gui::CLiteSlider::Orientation::kHorizontal, grip,
                                                         nullptr, nullptr, 0);
    EXPECT_EQ(across->HandleRect(), QRect(35, 120, 10, 16));
    Drag(w, QPoint(40, 125), {QPoint(60, 125)});
    EXPECT_FLOAT_EQ(across->Value(), 0.9f);
    Drag(w, QPoint(40 + 20, 125), {QPoint(400, 125)});
    EXPECT_FLOAT_EQ(across->Value(), 1.0f);
}

TEST(LiteButton, MomentaryAndToggleSequences) {
    Panel panel(120, 40);
    const gui::CPicture up = lite_artwork::Solid(30, 20, Rgb(200, 0, 0));
    const gui::CPicture pressed = lite_artwork::Solid(30, 20, Rgb(0, 200, 0));
    const gui::CPicture latched = lite_artwork::Solid(30, 20, Rgb(0, 0, 200));
    auto* momentary = panel.container.Add<gui::CLiteButton>(5, 5, up, pressed, latched, gui::CLiteButton::Mode::kMomentary);
    auto* toggle = panel.container.Add<gui::CLiteButton>(50, 5, up, pressed, latched, gui::CLiteButton::Mode::kToggle);
    QWidget* w = panel.Widget();
    auto shows = [&](int x) { return gui_test::Probe(w, x, 15); };

    // Press, leave, come back, release: one click, and the pictures follow the state.
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(momentary->State(), 1);
    EXPECT_EQ(shows(20), Rgb(0, 200, 0));
    QTest::mouseMove(w, QPoint(45, 10));
    EXPECT_EQ(momentary->State(), 0);
    EXPECT_EQ(shows(20), Rgb(200, 0, 0));
    QTest::mouseMove(w, QPoint(12, 12));
    EXPECT_EQ(momentary->State(), 1);
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(momentary->State(), 0);
    EXPECT_EQ(panel.container.clicks, std::vector<gui::CLiteButton*>{momentary});
    // Released outside: no click.
    Drag(w, QPoint(10, 10), {QPoint(100, 30)});
    EXPECT_EQ(momentary->State(), 0);
    EXPECT_EQ(panel.container.clicks.size(), 1u);

    // Toggle: a click latches, a press while latched clicks and comes up at once.
    panel.container.clicks.clear();
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(60, 10));
    EXPECT_EQ(toggle->State(), 2);
    EXPECT_EQ(shows(65), Rgb(0, 0, 200));
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(60, 10));
    EXPECT_EQ(toggle->State(), 0);
    EXPECT_EQ(panel.container.clicks.size(), 2u);
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(60, 10));
    EXPECT_EQ(toggle->State(), 0);
    EXPECT_EQ(panel.container.clicks, (std::vector<gui::CLiteButton*>{toggle, toggle}));
    // Pressed, dragged off and released: stays up, no click.
    Drag(w, QPoint(60, 10), {QPoint(60, 35)});
    EXPECT_EQ(toggle->State(), 0);
    EXPECT_EQ(panel.container.clicks.size(), 2u);
    // The setter changes the picture without a click.
    toggle->SetState(2);
    EXPECT_EQ(shows(65), Rgb(0, 0, 200));
    toggle->SetState(7);
    EXPECT_EQ(toggle->State(), 2);
    EXPECT_EQ(panel.container.clicks.size(), 2u);
    // A press cut short by hiding the panel ends without a click.
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(10, 10));
    panel.container.ShowWith(gui::ShowCommand::kHide);
    EXPECT_EQ(momentary->State(), 0);
    EXPECT_EQ(panel.container.CaptureHolder(), nullptr);
    EXPECT_EQ(panel.container.clicks.size(), 2u);
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(10, 10));
}

TEST(LiteLCDText, WaitsFourSecondsThenScrollsAPixelEvery100MsAndStopsAtTheEnd) {
    gui_test::Stage stage;
    const gui::CPicture background = lite_artwork::Solid(80, 20, Rgb(255, 255, 255));
    Panel panel(80, 20, &background);
    auto* lcd = panel.container.Add<gui::CLiteLCDText>(10, 2, 40, 16, 1.0f);
    lcd->SetText("Filter cutoff frequency");
    EXPECT_EQ(lcd->Text(), "FILTER CUTOFF FREQUENCY");
    const int end = lcd->EndPosition();
    ASSERT_GT(end, 20); // the text is much wider than the display
    EXPECT_EQ(end, lcd->TextPicture().Width() - 40);

    auto column = [&](int x) {
        std::vector<QRgb> pixels;
        for (int y = 2; y < 18; ++y) pixels.push_back(PixelOf(panel.container.Composition(), x, y));
        return pixels;
    };
    stage.clock.Advance(3999);
    EXPECT_EQ(lcd->ScrollPosition(), 0);
    std::vector<std::vector<QRgb>> before;
    for (int x = 10; x < 50; ++x) before.push_back(column(x));
    stage.clock.Advance(1);
    EXPECT_EQ(lcd->ScrollPosition(), 1);
    // The picture moved one pixel to the left: each column now shows its right neighbour's.
    for (int x = 10; x < 49; ++x) EXPECT_EQ(column(x), before[x - 10 + 1]) << x;
    stage.clock.Advance(99);
    EXPECT_EQ(lcd->ScrollPosition(), 1);
    stage.clock.Advance(1);
    EXPECT_EQ(lcd->ScrollPosition(), 2);
    // Nothing is drawn outside the display.
    EXPECT_EQ(PixelOf(panel.container.Composition(), 9, 10), Rgb(255, 255, 255));
    EXPECT_EQ(PixelOf(panel.container.Composition(), 50, 10), Rgb(255, 255, 255));

    stage.clock.Advance(100 * (end - 2));
    EXPECT_EQ(lcd->ScrollPosition(), end);
    EXPECT_FALSE(lcd->IsScrolling());
    stage.clock.Advance(5000);
    EXPECT_EQ(lcd->ScrollPosition(), end);

    // A new text starts again from its beginning; one that fits never moves.
    lcd->SetText("ok");
    EXPECT_EQ(lcd->ScrollPosition(), 0);
    EXPECT_EQ(lcd->EndPosition(), 0);
    stage.clock.Advance(4000);
    EXPECT_EQ(lcd->ScrollPosition(), 0);
    EXPECT_FALSE(lcd->IsScrolling());
}

TEST(LiteLCDText, TheTextIsABlackShadowScaledByTheIntensity) {
    gui_test::Stage stage;
    const gui::CPicture background = lite_artwork::Solid(80, 20, Rgb(200, 240, 160));
    Panel panel(80, 20, &background);
    auto* lcd = panel.container.Add<gui::CLiteLCDText>(0, 0, 80, 20, 0.5f);
    lcd->SetFont(QFont("DejaVu Sans", 14, QFont::Bold));
    lcd->SetText("WWW");
    const gui::CPicture& text = lcd->TextPicture();
    int strongest = 0;
    for (int y = 0; y < text.Height(); ++y)
        for (int x = 0; x < text.Width(); ++x) {
            const uint8_t* p = text.PixelAt(x, y);
            EXPECT_EQ(p[0] + p[1] + p[2], 0);
            strongest = std::max<int>(strongest, p[3]);
        }
    EXPECT_EQ(strongest, 127); // a fully black glyph pixel at half intensity
    // Where the shadow is strongest the background shows at half its brightness.
    bool halfFound = false;
    for (int y = 0; y < 20 && !halfFound; ++y)
        for (int x = 0; x < 80 && !halfFound; ++x)
            halfFound = PixelOf(panel.container.Composition(), x, y) == Rgb(100, 120, 80);
    EXPECT_TRUE(halfFound);
}

TEST(LiteMeter, ZeroDbFills48Of60AndOtherThreadsOnlyMarkItDirty) {
    gui_test::Stage stage;
    Panel panel(40, 70);
    auto* meter = panel.container.Add<gui::CLiteMeter>(10, 5, 8, 60);
    auto at = [&](int y) { return PixelOf(panel.container.Composition(), 12, y); };
    const QRgb face = Rgb(64, 64, 64);
    EXPECT_EQ(at(64), face); // -90 dB: nothing

    std::thread graphics([meter] { meter->SetLevel(0.0f); });
    graphics.join();
    EXPECT_EQ(at(64), face); // not drawn off the user-interface thread
    stage.clock.Advance(15);
    EXPECT_EQ(meter->BarHeight(), 48);
    const QRgb bar = Rgb(204, 51, 0); // f = 0.8
    EXPECT_EQ(at(64), bar);
    EXPECT_EQ(at(65 - 48), bar);
    EXPECT_EQ(at(65 - 49), face);
    EXPECT_EQ(gui_test::Probe(panel.Widget(), 12, 64 - 47), bar);

    meter->SetLevel(30.0f); // limited to +12: full and red
    stage.Settle();
    EXPECT_EQ(at(5), Rgb(255, 0, 0));
    meter->SetLevel(-48.0f); // the bottom: f = 0, no height
    stage.Settle();
    EXPECT_EQ(at(64), face);
    meter->SetLevel(-18.0f); // f = 0.5: 30 pixels, half way from green to red
    stage.Settle();
    EXPECT_EQ(at(35), Rgb(127, 128, 0));
    EXPECT_EQ(at(34), face);
    meter->SetLevel(-60.0f);
    stage.Settle();
    EXPECT_EQ(at(64), face);
}

// Run by the default gui_tests entry at scale 1 and by a second entry with QT_SCALE_FACTOR=2.
TEST(LiteHiDpi, KnobDragGivesTheSameValuesAtAnyScaleAndStaysSharp) {
    Panel panel(100, 80);
    const gui::CPicture strip = lite_artwork::ProbeStrip(64, 32, 32);
    auto* knob = panel.container.Add<gui::CLiteKnob>(20, 10, 32, 32, strip, nullptr, 0);
    QWidget* w = panel.Widget();
    const bool dense = qEnvironmentVariable("QT_SCALE_FACTOR") == "2";
    EXPECT_DOUBLE_EQ(w->devicePixelRatioF(), dense ? 2.0 : 1.0);
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(36, 30));
    QTest::mouseMove(w, QPoint(36, 20));
    EXPECT_EQ(knob->Frame(), 37); // from 0.5: (0.1 + 0.5) x 63 = 37.8
    QTest::mouseMove(w, QPoint(36, 13));
    const float afterSeventeen = knob->Value();
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(36, 13));
    EXPECT_FLOAT_EQ(afterSeventeen, 42.0f / 63.0f); // (0.17 + 0.5) x 63 = 42.21

    // The composition is scaled once and without smoothing: the white edge column of the frame
    // covers exactly `ratio` device pixels and the next one is the frame's own colour.
    const QImage screen = w->grab().toImage();
    const int ratio = dense ? 2 : 1;
    EXPECT_EQ(screen.width(), 100 * ratio);
    const int y = 20 * ratio;
    for (int i = 0; i < ratio; ++i) EXPECT_EQ(screen.pixel(20 * ratio + i, y) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(screen.pixel(21 * ratio, y) & 0xFFFFFF, FrameColor(42) & 0xFFFFFF);
    EXPECT_EQ(screen.pixel(20 * ratio - 1, y) & 0xFFFFFF, Rgb(64, 64, 64));
}

// A panel with one of each lightweight control on code-drawn artwork, for people to look at.
TEST(LiteContainer, ScreenshotOfEachLightweightControl) {
    gui_test::Stage stage;
    const int width = 380, height = 164;
    QImage art(width, height, QImage::Format_RGB32);
    {
        QPainter painter(&art);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient metal(0, 0, 0, height);
        metal.setColorAt(0, QColor(58, 62, 70));
        metal.setColorAt(1, QColor(34, 36, 42));
        painter.fillRect(art.rect(), metal);
        painter.setPen(QColor(84, 90, 100));
        painter.drawLine(0, 0, width, 0);
        painter.setPen(QColor(18, 18, 22));
        painter.drawLine(0, height - 1, width, height - 1);
        QFont title("DejaVu Sans", 9, QFont::Bold);
        title.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
        painter.setFont(title);
        painter.setPen(QColor(255, 170, 40));
        painter.drawText(QRect(14, 8, 140, 20), Qt::AlignLeft | Qt::AlignVCenter, "SKINNED");
        // The LCD window.
        painter.setPen(QColor(16, 18, 14));
        painter.setBrush(QColor(150, 186, 118));
        painter.drawRoundedRect(QRectF(150.5, 7.5, 150, 22), 2, 2);
        // Meter wells.
        painter.setBrush(QColor(12, 12, 14));
        painter.setPen(QColor(80, 84, 92));
        painter.drawRect(QRectF(325.5, 37.5, 13, 103));
        painter.drawRect(QRectF(343.5, 37.5, 13, 103));
        QFont label("DejaVu Sans", 7, QFont::Bold);
        painter.setFont(label);
        painter.setPen(QColor(200, 202, 206));
        const char* names[] = {"CUTOFF", "RESO", "DRIVE"};
        for (int i = 0; i < 3; ++i) painter.drawText(QRect(10 + i * 56, 90, 56, 12), Qt::AlignCenter, names[i]);
        painter.drawText(QRect(196, 144, 40, 12), Qt::AlignCenter, "LEVEL");
        painter.drawText(QRect(20, 144, 150, 12), Qt::AlignCenter, "PAN");
        painter.drawText(QRect(322, 144, 20, 12), Qt::AlignCenter, "L");
        painter.drawText(QRect(340, 144, 20, 12), Qt::AlignCenter, "R");
    }
    const gui::CPicture background = gui::PictureFromImage(art);
    const gui::CPicture knobStrip = lite_artwork::KnobStrip(64, 44);
    const gui::CPicture vHandle = lite_artwork::SliderHandle(20, 11, true);
    const gui::CPicture vBack = lite_artwork::SliderBack(20, 100, true);
    const gui::CPicture hHandle = lite_artwork::SliderHandle(11, 20, false);
    const gui::CPicture hBack = lite_artwork::SliderBack(150, 20, false);
    gui::CPicture mute[3], solo[3];
    for (int s = 0; s < 3; ++s) {
        mute[s] = lite_artwork::ButtonPicture(64, 22, s, "MUTE");
        solo[s] = lite_artwork::ButtonPicture(64, 22, s, "SOLO");
    }

    Panel panel(width, height, &background);
    CRecordingMachine machine;
    machine.value = 0.2f;
    const float knobValues[3] = {0.2f, 0.55f, 0.8f};
    for (int i = 0; i < 3; ++i) {
        auto* knob = panel.container.Add<gui::CLiteKnob>(16 + i * 56, 42, 44, 44, knobStrip, i == 0 ? &machine : nullptr, 0);
        if (i > 0) knob->SetValue(knobValues[i]);
    }
    auto* level = panel.container.Add<gui::CLiteSlider>(206, 38, 100, gui::CLiteSlider::Orientation::kVertical, vHandle,
                                                        &vBack, nullptr, 0);
    level->SetValue(0.7f);
    auto* pan = panel.container.Add<gui::CLiteSlider>(20, 116, 150, gui::CLiteSlider::Orientation::kHorizontal, hHandle,
                                                      &hBack, nullptr, 0);
    pan->SetValue(0.5f);
    panel.container.Add<gui::CLiteButton>(244, 44, mute[0], mute[1], mute[2], gui::CLiteButton::Mode::kMomentary);
    auto* soloButton =
        panel.container.Add<gui::CLiteButton>(244, 74, solo[0], solo[1], solo[2], gui::CLiteButton::Mode::kToggle);
    soloButton->SetState(2);
    auto* lcd = panel.container.Add<gui::CLiteLCDText>(154, 10, 144, 18, 0.85f);
    lcd->SetFont(QFont("DejaVu Sans Mono", 9, QFont::Bold));
    lcd->SetText("Cutoff 1.20 kHz");
    auto* left = panel.container.Add<gui::CLiteMeter>(327, 39, 10, 100);
    auto* right = panel.container.Add<gui::CLiteMeter>(345, 39, 10, 100);
    left->SetLevel(-6.0f);
    right->SetLevel(4.0f);
    stage.Settle();

    const QImage shot = gui_test::Screenshot(panel.Widget(), "skinned_container");
    std::set<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 2)
        for (int x = 0; x < shot.width(); x += 2) colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 100u); // not blank
}

} // namespace
