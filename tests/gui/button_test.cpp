// The push button: its press / leave / re-enter / release sequence, disabled buttons, the keys,
// and the colours of each of its four states as drawn on screen.
#include "gui/button.h"
#include "gui/color_manager.h"
#include "gui/icon_button.h"
#include "tests/gui/controls_test_support.h"
#include "tests/gui/gui_test_support.h"

#include <QPainter>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

using gui::CButton;
using State = gui::CButton::State;
using gui_test::Rgb;

class ButtonTest : public testing::Test {
protected:
    void SetUp() override {
        window.Make(200, 100);
        button.CreateButton(&window, "Play", 40, 30, 80, 24);
        button.Widget()->setObjectName("Play");
        button.Show();
    }
    QWidget* W() { return button.Widget(); }

    gui_test::CRecorder window;
    CButton button;
};

TEST_F(ButtonTest, ClicksOnlyWhenReleasedInsideAfterLeavingAndComingBack) {
    EXPECT_EQ(button.CurrentState(), State::kUp);
    QTest::mousePress(W(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(button.CurrentState(), State::kPressed);
    EXPECT_TRUE(button.HasCapture());
    QTest::mouseMove(W(), QPoint(-20, 10)); // off the left edge, still over the window
    EXPECT_EQ(button.CurrentState(), State::kPressedOutside);
    QTest::mouseMove(W(), QPoint(80, 10)); // one past the right edge is outside
    EXPECT_EQ(button.CurrentState(), State::kPressedOutside);
    QTest::mouseMove(W(), QPoint(79, 23)); // the last pixel is inside
    EXPECT_EQ(button.CurrentState(), State::kPressed);
    EXPECT_TRUE(window.reports.empty());
    QTest::mouseRelease(W(), Qt::LeftButton, {}, QPoint(79, 23));
    EXPECT_EQ(button.CurrentState(), State::kUp);
    EXPECT_FALSE(button.HasCapture());
    EXPECT_EQ(window.reports, std::vector<std::string>{"clicked Play"});

    // Released outside: no click, the capture is let go all the same.
    QTest::mousePress(W(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(W(), QPoint(5, 40));
    QTest::mouseRelease(W(), Qt::LeftButton, {}, QPoint(5, 40));
    EXPECT_EQ(button.CurrentState(), State::kUp);
    EXPECT_FALSE(button.HasCapture());
    EXPECT_EQ(window.Count("clicked Play"), 1);

    // Another control taking the capture abandons the press.
    CButton other;
    other.CreateButton(&window, "Other", 140, 30, 40, 24);
    QTest::mousePress(W(), Qt::LeftButton, {}, QPoint(5, 5));
    other.SetCapture();
    EXPECT_EQ(button.CurrentState(), State::kUp);
    QTest::mouseRelease(W(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(window.Count("clicked Play"), 1);
    other.ReleaseCapture();

    // A right click is not a click.
    QTest::mouseClick(W(), Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(window.Count("clicked Play"), 1);
}

TEST_F(ButtonTest, SpaceAndEnterClickAFocusedButton) {
    EXPECT_EQ(W()->focusPolicy(), Qt::StrongFocus);
    QTest::keyClick(W(), Qt::Key_Space);
    QTest::keyClick(W(), Qt::Key_Return);
    QTest::keyClick(W(), Qt::Key_Enter);
    QTest::keyClick(W(), Qt::Key_A);
    EXPECT_EQ(window.Count("clicked Play"), 3);
    // Holding the key down does not repeat the click.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
    QApplication::sendEvent(W(), &repeat);
    EXPECT_EQ(window.Count("clicked Play"), 3);
}

TEST_F(ButtonTest, DisabledIgnoresEveryInputAndDropsAPressInProgress) {
    QTest::mousePress(W(), Qt::LeftButton, {}, QPoint(10, 10));
    button.SetEnabled(false);
    EXPECT_EQ(button.CurrentState(), State::kDisabled);
    EXPECT_FALSE(button.HasCapture());
    QTest::mouseRelease(W(), Qt::LeftButton, {}, QPoint(10, 10));
    // Even with the widget's own blocking bypassed, the button's handlers refuse.
    button.LeftButtonDown(10, 10);
    button.LeftButtonUp(10, 10);
    QTest::mouseClick(W(), Qt::LeftButton, {}, QPoint(10, 10));
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_FALSE(button.KeyPressed(&space));
    EXPECT_FALSE(button.HasCapture());
    EXPECT_TRUE(window.reports.empty());
    button.SetEnabled(true);
    EXPECT_EQ(button.CurrentState(), State::kUp);
    QTest::mouseClick(W(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(window.Count("clicked Play"), 1);
}

TEST_F(ButtonTest, EachStateIsDrawnInItsFaceAndCaptionSlots) {
    // Colours far apart, so each pixel says which slot painted it.
    gui::CColorManager colors(&window.Colors());
    const QRgb face = Rgb(200, 0, 0), disabledFace = Rgb(0, 0, 200), text = Rgb(0, 255, 0),
               disabledText = Rgb(255, 255, 0), light = Rgb(255, 255, 255), shadow = Rgb(0, 0, 0);
    colors.SetColor(gui::kSlotFace, QColor(face));
    colors.SetColor(gui::kSlotDisabledFace, QColor(disabledFace));
    colors.SetColor(gui::kSlotButtonText, QColor(text));
    colors.SetColor(gui::kSlotDisabledText, QColor(disabledText));
    colors.SetColor(gui::kSlotBevelLight, QColor(light));
    colors.SetColor(gui::kSlotBevelShadow, QColor(shadow));
    CButton probe;
    probe.SetColors(&colors);
    // A heavy caption, so some of its pixels are fully covered whatever the font's hinting.
    probe.SetFont(gui::MakeFont("Verdana", 14, true));
    probe.CreateButton(&window, "HIH", 20, 20, 90, 30);
    probe.Show();
    QWidget* w = probe.Widget();

    struct Seen {
        QRgb face, top, bottom;
        QRect caption, otherCaption;
    };
    auto look = [&](QRgb captionColour, QRgb otherColour) {
        const QImage image = w->grab().toImage();
        return Seen{image.pixel(3, 26) & 0xFFFFFF, image.pixel(45, 0) & 0xFFFFFF, image.pixel(45, 29) & 0xFFFFFF,
                    gui_test::PixelsOf(image, captionColour), gui_test::PixelsOf(image, otherColour)};
    };

    const Seen up = look(text, disabledText);
    EXPECT_EQ(up.face, face);
    EXPECT_EQ(up.top, light); // raised
    EXPECT_EQ(up.bottom, shadow);
    ASSERT_FALSE(up.caption.isEmpty());
    EXPECT_TRUE(up.otherCaption.isEmpty());
    EXPECT_TRUE(QRect(0, 0, 90, 30).contains(up.caption));

    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_EQ(probe.CurrentState(), State::kPressed);
    const Seen pressed = look(text, disabledText);
    EXPECT_EQ(pressed.face, face);
    EXPECT_EQ(pressed.top, shadow); // sunken
    EXPECT_EQ(pressed.bottom, light);
    EXPECT_EQ(pressed.caption, up.caption.translated(1, 1)); // the caption sinks with the face

    QTest::mouseMove(w, QPoint(10, 60));
    ASSERT_EQ(probe.CurrentState(), State::kPressedOutside);
    const Seen outside = look(text, disabledText);
    EXPECT_EQ(outside.top, light); // drawn up again: letting go here does nothing
    EXPECT_EQ(outside.bottom, shadow);
    EXPECT_EQ(outside.caption, up.caption);
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(10, 60));

    probe.SetEnabled(false);
    const Seen disabled = look(disabledText, text);
    EXPECT_EQ(disabled.face, disabledFace);
    EXPECT_FALSE(disabled.caption.isEmpty());
    EXPECT_TRUE(disabled.otherCaption.isEmpty());
    EXPECT_EQ(disabled.caption, up.caption);
    gui_test::Screenshot(w, "button_disabled_probe");
}

TEST(IconButton, ShowsItsPictureWithATipAndGreysItWhenDisabled) {
    gui_test::CRecorder window;
    window.Make(120, 60);
    QPixmap red(12, 12);
    red.fill(QColor(255, 0, 0));
    gui::CIconButton button;
    button.CreateIconButton(&window, QIcon(red), "Record", 10, 10, 24, 24);
    button.Show();
    EXPECT_EQ(button.ToolTip(), "Record");
    EXPECT_EQ(button.Widget()->toolTip(), "Record");
    EXPECT_EQ(gui_test::Probe(button.Widget(), 12, 12), Rgb(255, 0, 0));
    // The picture keeps its size: the face shows around it.
    EXPECT_EQ(gui_test::Probe(button.Widget(), 3, 3), Rgb(64, 64, 64));
    QTest::mouseClick(button.Widget(), Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(window.Count("clicked IconButton"), 1);
    button.SetEnabled(false);
    EXPECT_NE(gui_test::Probe(button.Widget(), 12, 12), Rgb(255, 0, 0));
    QTest::mouseClick(button.Widget(), Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(window.Count("clicked IconButton"), 1);
}

} // namespace
