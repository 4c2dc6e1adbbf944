// The scroll bar, the tool bar and its buttons, the time read-out, the sample view and the heavy
// knob; and one screenshot of them with the sliders.
#include "gui/color_manager.h"
#include "gui/heavy_knob.h"
#include "gui/sample_view.h"
#include "gui/scroll_bar.h"
#include "gui/slider.h"
#include "gui/time_display.h"
#include "gui/tool_bar.h"
#include "gui/waveform_columns.h"
#include "gui/window.h"
#include "tests/gui/gui_test_support.h"

#include <QApplication>
#include <QFileInfo>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QToolTip>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using gui_test::Rgb;

// A window that remembers the children that reported changes and the tool bar clicks.
class COwner : public gui::CWindow {
public:
    std::vector<gui::CControl*> changed;
    std::vector<int> clicks;
    void ChildChanged(gui::CControl* child) override { changed.push_back(child); }
    void ToolBarButtonClicked(gui::CToolBarButton* button) override { clicks.push_back(button->Command()); }
};

class BarsKnobsAndReadouts : public ::testing::Test {
protected:
    void SetUp() override {
        owner.CreateWindow(nullptr, "Controls", 0, 0, 480, 260, false);
        owner.Show();
    }
    gui_test::Stage stage;
    COwner owner;
};

TEST_F(BarsKnobsAndReadouts, ScrollBarReportsTheUsersChangesOnly) {
    gui::CScrollBar bar;
    bar.Create(&owner, "Bar", 10, 10, 16, 200, true);
    bar.Show();
    bar.SetRange(0, 10);
    bar.SetPage(4);
    bar.SetValue(3);
    bar.SetRange(0, 2); // clamps the value: still code, not the user
    EXPECT_EQ(bar.Value(), 2);
    EXPECT_TRUE(owner.changed.empty());
    EXPECT_EQ(bar.Bar()->geometry(), QRect(0, 0, 16, 200));

    bar.SetRange(0, 10);
    bar.Bar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(bar.Value(), 6);
    bar.Bar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(bar.Value(), 5);
    // A click on the arrow at the bottom end.
    QTest::mouseClick(bar.Bar(), Qt::LeftButton, {}, QPoint(8, 195));
    EXPECT_EQ(bar.Value(), 6);
    EXPECT_EQ(owner.changed, (std::vector<gui::CControl*>{&bar, &bar, &bar}));
    // A resize keeps the platform bar filling the control; a page below 1 counts as 1.
    bar.MoveResize(10, 10, 16, 120);
    EXPECT_EQ(bar.Bar()->geometry(), QRect(0, 0, 16, 120));
    bar.SetPage(0);
    EXPECT_EQ(bar.Page(), 1);
    bar.SetRange(5, 1); // an inverted range collapses onto its minimum
    EXPECT_EQ(bar.Minimum(), 5);
    EXPECT_EQ(bar.Maximum(), 5);
}

// The colour of a pixel without its alpha.
QRgb Colour(QRgb pixel) { return pixel & 0xFFFFFFu; }

TEST_F(BarsKnobsAndReadouts, ScrollBarIsDrawnFlatWhereThePlatformStylePutsItsParts) {
    gui::CScrollBar bar;
    bar.Create(&owner, "Bar", 10, 10, 16, 200, true);
    bar.Show();
    bar.SetRange(0, 100);
    bar.SetPage(20);
    bar.SetValue(50);
    QScrollBar* platform = bar.Bar();
    const QImage image = platform->grab().toImage();
    const QPalette palette = platform->palette();
    QStyleOptionSlider option;
    option.initFrom(platform);
    option.orientation = Qt::Vertical;
    option.minimum = platform->minimum();
    option.maximum = platform->maximum();
    option.sliderPosition = platform->sliderPosition();
    option.sliderValue = platform->value();
    option.pageStep = platform->pageStep();
    option.singleStep = platform->singleStep();
    const QRect thumb = platform->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, platform);
    const QRect trough = platform->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarAddPage, platform);
    ASSERT_TRUE(thumb.isValid());
    ASSERT_TRUE(trough.isValid());
    // The thumb in the face colour, the trough around it in the base colour, each one flat fill.
    EXPECT_EQ(Colour(image.pixel(thumb.center())), Colour(palette.color(QPalette::Button).rgb()));
    EXPECT_EQ(Colour(image.pixel(thumb.center().x(), thumb.top() + 2)), Colour(palette.color(QPalette::Button).rgb()));
    EXPECT_EQ(Colour(image.pixel(trough.center())), Colour(palette.color(QPalette::Base).rgb()));
    EXPECT_EQ(Colour(image.pixel(0, thumb.center().y())), Colour(palette.color(QPalette::Base).rgb()));
    // Where the thumb is drawn is where it takes the mouse: a drag on it moves the value.
    QTest::mousePress(platform, Qt::LeftButton, {}, thumb.center());
    QTest::mouseMove(platform, thumb.center() + QPoint(0, 30));
    QTest::mouseRelease(platform, Qt::LeftButton, {}, thumb.center() + QPoint(0, 30));
    EXPECT_GT(bar.Value(), 50);
}

QImage Icon(QColor color) {
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.fillRect(3, 3, 10, 10, color);
    return icon;
}

TEST_F(BarsKnobsAndReadouts, ToolBarButtonsClickTheOwnerAndCarryTheirToolTips) {
    gui::CToolBar bar;
    bar.Create(&owner, 0, 0, 480, 30);
    gui::CToolBarButton* newProject = bar.AddButton(147, Icon(Qt::white), "New Project");
    gui::CToolBarButton* open = bar.AddButton(138, Icon(Qt::yellow), "Open Project");
    bar.Show();
    EXPECT_EQ(bar.ButtonCount(), 2);
    EXPECT_TRUE(open->IsVisible());
    EXPECT_EQ(newProject->Widget()->geometry(), QRect(4, 3, 24, 24));
    EXPECT_EQ(open->Widget()->geometry(), QRect(30, 3, 24, 24));
    EXPECT_EQ(bar.NextX(), 56);
    EXPECT_EQ(open->ToolTip(), QString("Open Project"));

    // The platform tool tip shows the button's text when the pointer rests on it.
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), newProject->Widget()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(newProject->Widget(), &help);
    EXPECT_EQ(QToolTip::text(), QString("New Project"));
    QToolTip::hideText();

    QTest::mouseClick(open->Widget(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(owner.clicks, std::vector<int>{138});

    // Pressed, leaving (released look), coming back (pressed) and letting go inside: one click.
    QWidget* w = newProject->Widget();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(newProject->IsPressed());
    QTest::mouseMove(w, QPoint(60, 10));
    EXPECT_FALSE(newProject->IsPressed());
    QTest::mouseMove(w, QPoint(12, 12));
    EXPECT_TRUE(newProject->IsPressed());
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(owner.clicks, (std::vector<int>{138, 147}));
    // Letting go outside is no click.
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(-5, 10));
    EXPECT_EQ(owner.clicks.size(), 2u);
    EXPECT_FALSE(newProject->HasCapture());
    // A disabled button ignores the pointer.
    newProject->SetEnabled(false);
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(owner.clicks.size(), 2u);
}

TEST(TimeDisplay, RecordedTimeText) {
    EXPECT_EQ(gui::FormatRecordedTime(65.5), "00:01:05.500");
    EXPECT_EQ(gui::FormatRecordedTime(0.0), "00:00:00.000");
    EXPECT_EQ(gui::FormatRecordedTime(0.05), "00:00:00.050");
    EXPECT_EQ(gui::FormatRecordedTime(59.999), "00:00:59.999");
    EXPECT_EQ(gui::FormatRecordedTime(3600.0 * 2 + 60.0 * 34 + 7.25), "02:34:07.250");
    EXPECT_EQ(gui::FormatRecordedTime(3600.0 * 123 + 1.0), "23:00:01.000"); // hours wrap at 100
    EXPECT_EQ(gui::FormatRecordedTime(-3.0), gui::FormatRecordedTime(0.0));
    EXPECT_EQ(gui::FormatRecordedTime(NAN), gui::FormatRecordedTime(0.0));
}

TEST_F(BarsKnobsAndReadouts, TimeDisplayShowsTimeOrSamples) {
    gui::CTimeDisplay display;
    display.Create(&owner, 10, 10, 134, 20);
    display.Show();
    display.SetSeconds(65.5);
    EXPECT_EQ(display.Text(), "00:01:05.500");
    EXPECT_EQ(display.CurrentMode(), gui::CTimeDisplay::Mode::kTime);
    display.SetSamples(2889216);
    EXPECT_EQ(display.Text(), "2889216");
    EXPECT_EQ(display.CurrentMode(), gui::CTimeDisplay::Mode::kSamples);
    // The digits are drawn in the read-out's text colour on the field background.
    const QImage image = display.Widget()->grab().toImage();
    int lit = 0;
    for (int y = 2; y < 18; ++y)
        for (int x = 2; x < 132; ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == Rgb(160, 240, 160)) ++lit;
    EXPECT_GT(lit, 20);
}

TEST(WaveformColumns, MinimumAndMaximumPerColumn) {
    const std::vector<float> ramp = {0.0f, 0.5f, -0.25f, 1.0f, -1.0f, 0.25f, 0.75f, -0.5f};
    gui::ColumnExtent e = gui::WaveformColumn(ramp.data(), ramp.size(), 0, 4);
    EXPECT_EQ(e.low, 0.0f);
    EXPECT_EQ(e.high, 0.5f);
    e = gui::WaveformColumn(ramp.data(), ramp.size(), 2, 4);
    EXPECT_EQ(e.low, -1.0f);
    EXPECT_EQ(e.high, 0.25f);
    e = gui::WaveformColumn(ramp.data(), ramp.size(), 3, 4);
    EXPECT_EQ(e.low, -0.5f);
    EXPECT_EQ(e.high, 0.75f);
    // Uneven division: the columns together cover every sample exactly once.
    const std::vector<float> seven = {1, 2, 3, 4, 5, 6, 7};
    float sumOfHighs = 0.0f;
    for (int c = 0; c < 3; ++c)
        sumOfHighs += gui::WaveformColumn(seven.data(), seven.size(), c, 3).high;
    EXPECT_EQ(sumOfHighs, 2.0f + 4.0f + 7.0f);
    // More columns than samples: neighbours repeat a sample, none is empty.
    for (int c = 0; c < 16; ++c) {
        e = gui::WaveformColumn(ramp.data(), 2, c, 16);
        EXPECT_EQ(e.low, e.high) << c;
        EXPECT_EQ(e.low, c < 8 ? 0.0f : 0.5f) << c;
    }
    // Nothing to show, or a column outside the view: a flat line; not-a-number is silence.
    e = gui::WaveformColumn(nullptr, 0, 0, 10);
    EXPECT_EQ(e.low, 0.0f);
    EXPECT_EQ(gui::WaveformColumn(ramp.data(), ramp.size(), 4, 4).high, 0.0f);
    const float nan[2] = {NAN, NAN};
    EXPECT_EQ(gui::WaveformColumn(nan, 2, 0, 1).high, 0.0f);
}

TEST_F(BarsKnobsAndReadouts, SampleViewDrawsEachColumnFromItsLowToItsHigh) {
    gui::CSampleView view;
    view.Create(&owner, 10, 10, 104, 54); // 100 columns, rows 2..51, centre row 26.5
    view.Show();
    std::vector<float> samples(1000, 0.0f);
    for (int i = 300; i < 400; ++i)
        samples[static_cast<size_t>(i)] = (i % 2) ? 1.0f : -1.0f; // columns 30..39 full scale
    view.SetSamples(samples.data(), samples.size());
    EXPECT_EQ(view.SampleCount(), 1000u);
    const QRgb wave = Rgb(128, 240, 128);
    QWidget* w = view.Widget();
    EXPECT_EQ(gui_test::Probe(w, 2 + 35, 3), wave);
    EXPECT_EQ(gui_test::Probe(w, 2 + 35, 50), wave);
    EXPECT_NE(gui_test::Probe(w, 2 + 20, 3), wave); // silence only on the centre row
    EXPECT_EQ(gui_test::Probe(w, 2 + 20, 27), wave);
    view.SetSamples(nullptr, 5);
    EXPECT_EQ(view.SampleCount(), 0u);
    EXPECT_NE(gui_test::Probe(w, 2 + 35, 3), wave);
}

TEST_F(BarsKnobsAndReadouts, HeavyKnobDragsAndSteps) {
    gui::CHeavyKnob knob;
    knob.Create(&owner, 10, 10, 32, 38);
    knob.Show();
    knob.SetValue(0.5f);
    EXPECT_TRUE(owner.changed.empty());
    QWidget* w = knob.Widget();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(16, 20));
    QTest::mouseMove(w, QPoint(40, -5)); // only the vertical distance counts
    EXPECT_FLOAT_EQ(knob.Value(), 0.75f);
    QTest::mouseMove(w, QPoint(16, 300));
    EXPECT_EQ(knob.Value(), 0.0f);
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(16, 300));
    QTest::mouseMove(w, QPoint(16, 0));
    EXPECT_EQ(knob.Value(), 0.0f);
    QTest::keyClick(w, Qt::Key_Up);
    EXPECT_FLOAT_EQ(knob.Value(), 0.01f);
    QTest::keyClick(w, Qt::Key_End);
    EXPECT_EQ(knob.Value(), 1.0f);
    EXPECT_EQ(owner.changed.size(), 4u);
}

// Draws its caption text, for the screenshot.
class CCaption : public gui::CControl {
public:
    void Make(gui::CControl* parent, const char* text, int x, int y, int width) {
        m_text = text;
        Create(parent, "Caption", x, y, width, 16, true);
        Show();
    }
    void Render(QPainter& painter) override {
        painter.fillRect(0, 0, Width(), Height(), Colors().Brush(BackgroundSlot()));
        painter.setPen(Colors().Pen(gui::kSlotButtonText));
        painter.setFont(Font());
        painter.drawText(QRect(0, 0, Width(), Height()), Qt::AlignLeft | Qt::AlignVCenter, m_text);
    }

private:
    QString m_text;
};

QImage DrawnIcon(int kind) {
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 30, 30), 1));
    if (kind == 0) { // a sheet with a folded corner
        QPainterPath sheet;
        sheet.moveTo(3.5, 1.5);
        sheet.lineTo(10.5, 1.5);
        sheet.lineTo(13.5, 4.5);
        sheet.lineTo(13.5, 14.5);
        sheet.lineTo(3.5, 14.5);
        sheet.closeSubpath();
        p.setBrush(QColor(240, 240, 240));
        p.drawPath(sheet);
    } else if (kind == 1) { // a folder
        p.setBrush(QColor(230, 190, 90));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.drawRect(QRectF(1.5, 2.5, 5, 2));
    } else { // a disk
        p.setBrush(QColor(90, 120, 200));
        p.drawRect(QRectF(2.5, 2.5, 11, 11));
        p.setBrush(QColor(240, 240, 240));
        p.drawRect(QRectF(5.5, 2.5, 5, 4));
    }
    return icon;
}

TEST_F(BarsKnobsAndReadouts, ScreenshotOfSlidersAndToolBar) {
    gui::CToolBar bar;
    bar.Create(&owner, 0, 0, 480, 30);
    bar.AddButton(147, DrawnIcon(0), "New Project");
    bar.AddButton(138, DrawnIcon(1), "Open Project");
    bar.AddButton(141, DrawnIcon(2), "Save Project");
    bar.AddSpace(10);
    gui::CVolumeSlider volume;
    volume.Create(&bar, bar.NextX(), 6, 110, 18);
    volume.SetValue(0.85f);
    volume.Show();
    gui::CTimeDisplay time;
    time.Create(&bar, bar.NextX() + 120, 5, 134, 20);
    time.SetSeconds(65.5);
    time.Show();
    bar.Show();

    CCaption captions[7];
    captions[0].Make(&owner, "Slider (centre tick)", 12, 40, 140);
    gui::CSlider slider;
    slider.Create(&owner, "Slider", 10, 58, 150, 24, gui::CSlider::Orientation::kHorizontal);
    slider.SetCentreTick(true);
    slider.SetValue(0.7f);
    slider.Show();
    captions[1].Make(&owner, "Focused", 12, 90, 140);
    gui::CSlider focused;
    focused.Create(&owner, "Focused", 10, 108, 150, 24, gui::CSlider::Orientation::kHorizontal);
    focused.SetValue(0.2f);
    focused.Show();
    QApplication::setActiveWindow(owner.Widget());
    focused.Widget()->setFocus();
    captions[2].Make(&owner, "Cable", 176, 40, 50);
    gui::CCableVolumeSlider cable;
    cable.Create(&owner, 180, 58, 24, 120);
    cable.ShowVolume(0.5f);
    cable.Show();
    captions[3].Make(&owner, "Knob", 228, 40, 50);
    gui::CHeavyKnob knob;
    knob.Create(&owner, 226, 58, 40, 44);
    knob.SetValue(0.65f);
    knob.Show();
    captions[4].Make(&owner, "Samples", 290, 40, 120);
    gui::CSampleView view;
    view.Create(&owner, 290, 58, 164, 74);
    std::vector<float> tone(4000);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<float>(std::sin(static_cast<double>(i) * 0.06) * std::exp(-static_cast<double>(i) / 1200.0));
    view.SetSamples(tone.data(), tone.size());
    view.Show();
    captions[5].Make(&owner, "Samples read-out", 290, 140, 140);
    gui::CTimeDisplay samples;
    samples.Create(&owner, 290, 158, 134, 20);
    samples.SetSamples(2889216);
    samples.Show();
    captions[6].Make(&owner, "Scroll bar", 12, 140, 140);
    gui::CScrollBar across;
    across.Create(&owner, "Across", 10, 160, 150, 16, false);
    across.SetRange(0, 100);
    across.SetPage(25);
    across.SetValue(30);
    across.Show();
    gui::CScrollBar down;
    down.Create(&owner, "Down", 462, 40, 16, 210, true);
    down.SetRange(0, 50);
    down.SetPage(20);
    down.Show();
    stage.Settle();
    const QImage image = gui_test::Screenshot(owner.Widget(), "sliders_and_tool_bar");
    EXPECT_TRUE(QFileInfo(QString(TAMBOREL_SCREENSHOT_DIR) + "/sliders_and_tool_bar.png").size() > 0);
    int differing = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != Rgb(64, 64, 64)) ++differing;
    EXPECT_GT(differing, image.width() * image.height() / 10);
    // The volume slider's lit part and the knob's arc are there.
    EXPECT_NE(gui_test::Probe(owner.Widget(), 226 + 20, 58 + 5), Rgb(64, 64, 64));
}

} // namespace
