// The default machine panel: its size for 17, 18 and no parameters, rows read from the machine,
// the user's slider moves reaching the machine under its lock (and only real changes), scrolling,
// the keyboard, and changes reported from another thread reaching the sliders on the UI thread.
// Screenshots of the panels of QX Stomp, QX QuadDelay and QX BassHead.
#include "gui/default_panel.h"
#include "gui/default_panel_layout.h"
#include "gui/scroll_bar.h"
#include "gui/slider.h"
#include "gui/window.h"
#include "machine_interface/machine.h"
#include "machine_interface/vesk_host.h"
#include "machines/basshead/basshead.h"
#include "machines/quaddelay/echo.h"
#include "machines/stomp/kick.h"
#include "tests/gui/gui_test_support.h"
#include "tests/support/allocation_trap.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using gui::CDefaultGUI;
using gui::DefaultPanelLayout;

// A machine that counts what the panel asks of it: parameter i is named "Parameter i" and shows
// its value in percent. Values are atomics so another thread may change them.
class CCountingMachine : public CMachine {
public:
    CCountingMachine(CVeskHost* host, int count) : CMachine(host), m_values(static_cast<size_t>(count)) {
        m_parameterCount = count;
        for (int i = 0; i < count; ++i)
            m_values[static_cast<size_t>(i)] = static_cast<float>(i) / static_cast<float>(count);
    }
    void Delete() override { delete this; }
    void Process() override {}
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return false; }
    float GetParameter(int32_t index) override {
        NoteThread();
        return m_values[static_cast<size_t>(index)].load();
    }
    void SetParameter(int32_t index, float value) override {
        ++setCalls;
        lockedOnSet = lockedOnSet && IsLocked();
        m_values[static_cast<size_t>(index)].store(value);
    }
    void GetParameterName(int32_t index, char* text) override {
        std::snprintf(text, 64, "Parameter %i", static_cast<int>(index));
    }
    void GetParameterDisplay(int32_t index, char* text) override {
        NoteThread();
        std::snprintf(text, 64, "%.0f%%", static_cast<double>(m_values[static_cast<size_t>(index)].load()) * 100.0);
    }
    // What a worker applying a parameter event does: the value changes outside the panel.
    void ChangeElsewhere(int index, float value) { m_values[static_cast<size_t>(index)].store(value); }

    int setCalls = 0;
    bool lockedOnSet = true;
    std::atomic<bool> readOffTheUiThread{false};

private:
    void NoteThread() {
        if (std::this_thread::get_id() != m_ui) readOffTheUiThread = true;
    }
    std::vector<std::atomic<float>> m_values;
    std::thread::id m_ui = std::this_thread::get_id();
};

struct MachineDeleter {
    void operator()(CMachine* machine) const { machine->Delete(); }
};
template <typename T> using MachinePtr = std::unique_ptr<T, MachineDeleter>;

class DefaultPanelTest : public ::testing::Test {
protected:
    void SetUp() override { window.CreateWindow(nullptr, "Panel", 0, 0, 400, 420, false); }
    // A panel of the machine inside the window, shown.
    void Open(CDefaultGUI& panel, CMachine* machine) {
        panel.Create(&window, machine);
        window.Show();
        panel.Show();
    }
    gui_test::Stage stage;
    CVeskHost host{44100, 256, 0x16, nullptr};
    gui::CWindow window;
};

TEST(DefaultPanelLayout, SizesAndVisibleRows) {
    const DefaultPanelLayout seventeen = DefaultPanelLayout::For(17);
    EXPECT_EQ(seventeen.width, 353);
    EXPECT_EQ(seventeen.height, 384);
    EXPECT_EQ(seventeen.visibleRows, 17);
    EXPECT_FALSE(seventeen.scrollBar);
    const DefaultPanelLayout eighteen = DefaultPanelLayout::For(18);
    EXPECT_EQ(eighteen.width, 369);
    EXPECT_EQ(eighteen.height, 400);
    EXPECT_EQ(eighteen.visibleRows, 17);
    EXPECT_TRUE(eighteen.scrollBar);
    const DefaultPanelLayout none = DefaultPanelLayout::For(0);
    EXPECT_EQ(none.height, 10);
    EXPECT_EQ(none.visibleRows, 0);
    EXPECT_EQ(DefaultPanelLayout::For(-3).height, 10);
    EXPECT_EQ(DefaultPanelLayout::For(73).visibleRows, 17);
    EXPECT_EQ(DefaultPanelLayout::SliderY(5, 0), 114);
    EXPECT_EQ(DefaultPanelLayout::SliderY(5, 3), 48);
}

TEST_F(DefaultPanelTest, SeventeenParametersFitWithoutAScrollBar) {
    MachinePtr<CCountingMachine> machine(new CCountingMachine(&host, 17));
    CDefaultGUI panel;
    Open(panel, machine.get());
    EXPECT_EQ(panel.Width(), 353);
    EXPECT_EQ(panel.Height(), 384);
    EXPECT_EQ(panel.Widget()->size(), QSize(353, 384));
    EXPECT_EQ(panel.ScrollBar(), nullptr);
    EXPECT_EQ(panel.VisibleRows(), 17);
    for (int i = 0; i < 17; ++i) {
        gui::CDefaultGUISlider* slider = panel.Slider(i);
        EXPECT_EQ(slider->Widget()->geometry(), QRect(120, i * 22 + 4, 129, 24)) << i;
        EXPECT_TRUE(slider->IsVisible()) << i;
        EXPECT_EQ(slider->Parameter(), i);
        EXPECT_EQ(slider->Panel(), &panel);
        EXPECT_FLOAT_EQ(slider->Value(), i / 17.0f);
        EXPECT_EQ(std::string(panel.Name(i)), "Parameter " + std::to_string(i));
    }
    EXPECT_STREQ(panel.Display(16), "94%");
    EXPECT_EQ(machine->setCalls, 0); // opening the panel changes nothing
}

TEST_F(DefaultPanelTest, EighteenParametersScrollAndHideTheRightSliders) {
    MachinePtr<CCountingMachine> machine(new CCountingMachine(&host, 18));
    CDefaultGUI panel;
    Open(panel, machine.get());
    EXPECT_EQ(panel.Widget()->size(), QSize(369, 400));
    EXPECT_EQ(panel.VisibleRows(), 17);
    ASSERT_NE(panel.ScrollBar(), nullptr);
    EXPECT_EQ(panel.ScrollBar()->Widget()->geometry(), QRect(353, 0, 16, 400));
    EXPECT_EQ(panel.ScrollBar()->Maximum(), 1);
    EXPECT_EQ(panel.ScrollBar()->Page(), 17);
    EXPECT_TRUE(panel.ScrollBar()->IsVisible());
    EXPECT_FALSE(panel.Slider(17)->IsVisible());

    // The user scrolls down one row with the bar's arrow: row 0 hides, the others move up.
    panel.ScrollBar()->Bar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(panel.FirstVisibleRow(), 1);
    EXPECT_FALSE(panel.Slider(0)->IsVisible());
    EXPECT_TRUE(panel.Slider(17)->IsVisible());
    EXPECT_EQ(panel.Slider(17)->Widget()->geometry(), QRect(120, 16 * 22 + 4, 129, 24));
    EXPECT_EQ(panel.Slider(1)->Widget()->geometry(), QRect(120, 4, 129, 24));
    // Past the end is clamped; scrolling back restores the first layout.
    panel.ScrollTo(40);
    EXPECT_EQ(panel.FirstVisibleRow(), 1);
    panel.ScrollTo(0);
    EXPECT_EQ(panel.ScrollBar()->Value(), 0);
    EXPECT_TRUE(panel.Slider(0)->IsVisible());
    EXPECT_FALSE(panel.Slider(17)->IsVisible());
    EXPECT_EQ(panel.Slider(0)->Widget()->geometry(), QRect(120, 4, 129, 24));

    // The wheel over the panel scrolls it too.
    QWheelEvent down(QPointF(50, 50), panel.Widget()->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(panel.Widget(), &down);
    EXPECT_EQ(panel.FirstVisibleRow(), 1);
    EXPECT_EQ(panel.ScrollBar()->Value(), 1);
    EXPECT_EQ(machine->setCalls, 0);
}

TEST_F(DefaultPanelTest, AScrolledPanelDrawsTheTextOfTheRowsItShows) {
    MachinePtr<CCountingMachine> machine(new CCountingMachine(&host, 30));
    CDefaultGUI panel;
    Open(panel, machine.get());
    panel.ScrollTo(13); // the last 17 rows
    EXPECT_EQ(panel.FirstVisibleRow(), 13);
    EXPECT_TRUE(panel.Slider(29)->IsVisible());
    EXPECT_EQ(panel.Slider(29)->Y(), 16 * 22 + 4);
    // The name column of the first visible row carries text (slot 4) where row 0 was; the row
    // beyond the last one is empty background.
    const QImage image = panel.Widget()->grab().toImage();
    auto litInRow = [&](int top) {
        int lit = 0;
        for (int y = top; y < top + 15; ++y)
            for (int x = 4; x < 116; ++x)
                if ((image.pixel(x, y) & 0xFFFFFF) != gui_test::Rgb(64, 64, 64)) ++lit;
        return lit;
    };
    EXPECT_GT(litInRow(10), 20);
    EXPECT_GT(litInRow(10 + 16 * 22), 20);
}

TEST_F(DefaultPanelTest, NoParametersGiveAnEmptyPanel) {
    MachinePtr<CCountingMachine> machine(new CCountingMachine(&host, 0));
    CDefaultGUI panel;
    Open(panel, machine.get());
    EXPECT_EQ(panel.ParameterCount(), 0);
    EXPECT_EQ(panel.Widget()->size(), QSize(353, 10));
    EXPECT_EQ(panel.ScrollBar(), nullptr);
    EXPECT_TRUE(panel.Widget()->findChildren<QWidget*>().isEmpty());
    panel.ScrollTo(3);
    panel.ParameterChanged(0); // no row: ignored
    stage.Settle();
    EXPECT_EQ(panel.FirstVisibleRow(), 0);
    EXPECT_EQ(gui_test::Probe(panel.Widget(), 200, 5), gui_test::Rgb(64, 64, 64));
}

TEST_F(DefaultPanelTest, UserMovesReachTheMachineLockedAndOnlyWhenTheValueChanges) {
    MachinePtr<CCountingMachine> machine(new CCountingMachine(&host, 4));
    CDefaultGUI panel;
    Open(panel, machine.get());
    gui::CDefaultGUISlider* slider = panel.Slider(2); // value 0.5: handle at 59..69
    QWidget* w = slider->Widget();

    // Grabbing the handle and letting go where it is: nothing reaches the machine.
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(64, 12));
    QTest::mouseMove(w, QPoint(64, 20));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(64, 20));
    EXPECT_EQ(machine->setCalls, 0);
    // Telling the panel the stored value directly does not either.
    panel.SliderMoved(2, 0.5f);
    EXPECT_EQ(machine->setCalls, 0);

    // A real move: one SetParameter under the lock; the row is read again.
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(64, 12));
    QTest::mouseMove(w, QPoint(123, 12));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(123, 12));
    EXPECT_EQ(machine->setCalls, 1);
    EXPECT_TRUE(machine->lockedOnSet);
    EXPECT_FALSE(machine->IsLocked());
    EXPECT_EQ(machine->GetParameter(2), 1.0f);
    EXPECT_EQ(panel.StoredValue(2), 1.0f);
    EXPECT_STREQ(panel.Display(2), "100%");

    // The keyboard: a step is one change; Home goes to 0.
    QTest::keyClick(w, Qt::Key_Left);
    EXPECT_FLOAT_EQ(machine->GetParameter(2), 0.99f);
    EXPECT_STREQ(panel.Display(2), "99%");
    QTest::keyClick(w, Qt::Key_Home);
    EXPECT_EQ(machine->GetParameter(2), 0.0f);
    EXPECT_EQ(machine->setCalls, 3);
    // Out of range parameters are refused quietly.
    panel.SliderMoved(-1, 0.3f);
    panel.SliderMoved(4, 0.3f);
    EXPECT_EQ(machine->setCalls, 3);
}

TEST_F(DefaultPanelTest, TabMovesTheKeyboardFromSliderToSlider) {
    MachinePtr<CCountingMachine> machine(new CCountingMachine(&host, 3));
    CDefaultGUI panel;
    Open(panel, machine.get());
    QApplication::setActiveWindow(window.Widget());
    panel.Slider(0)->Widget()->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(panel.Slider(0)->Widget()->hasFocus());
    QTest::keyClick(panel.Slider(0)->Widget(), Qt::Key_Tab);
    EXPECT_TRUE(panel.Slider(1)->Widget()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageUp);
    EXPECT_FLOAT_EQ(machine->GetParameter(1), 1.0f / 3.0f + 0.1f);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(panel.Slider(2)->Widget()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_TRUE(panel.Slider(1)->Widget()->hasFocus());
}

TEST_F(DefaultPanelTest, TabReachesRowsOutOfSightByScrolling) {
    MachinePtr<CCountingMachine> machine(new CCountingMachine(&host, 20));
    CDefaultGUI panel;
    Open(panel, machine.get());
    QApplication::setActiveWindow(window.Widget());
    panel.Slider(16)->Widget()->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(panel.Slider(16)->Widget(), Qt::Key_Tab);
    // Row 17 was hidden: the panel scrolled one row so it is the last visible one.
    EXPECT_EQ(panel.FirstVisibleRow(), 1);
    EXPECT_EQ(panel.ScrollBar()->Value(), 1);
    EXPECT_TRUE(panel.Slider(17)->IsVisible());
    EXPECT_TRUE(panel.Slider(17)->Widget()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(panel.Slider(19)->Widget()->hasFocus());
    EXPECT_EQ(panel.FirstVisibleRow(), 3);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    EXPECT_EQ(machine->GetParameter(19), 1.0f);
    // Back up to the top with Shift+Tab: the panel scrolls back row by row.
    for (int i = 0; i < 19; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_TRUE(panel.Slider(0)->Widget()->hasFocus());
    EXPECT_EQ(panel.FirstVisibleRow(), 0);
    EXPECT_FALSE(panel.Slider(19)->IsVisible());
}

TEST_F(DefaultPanelTest, AChangeFromAnotherThreadMovesTheSliderOnTheUiThreadOnly) {
    MachinePtr<CCountingMachine> machine(new CCountingMachine(&host, 20));
    CDefaultGUI panel;
    Open(panel, machine.get());
    stage.Settle();
    const float before = panel.Slider(3)->Value();
    long allocations = -1;
    std::thread worker([&] {
        allocation_trap::Arm();
        machine->ChangeElsewhere(3, 0.875f);
        panel.ParameterChanged(3);
        panel.ParameterChanged(19); // a row scrolled out of sight
        panel.ParameterChanged(20); // no such row
        allocations = allocation_trap::Disarm();
    });
    worker.join();
    EXPECT_EQ(allocations, 0);
    EXPECT_FALSE(machine->readOffTheUiThread);
    // Nothing moved yet: the panel is only marked.
    EXPECT_EQ(panel.Slider(3)->Value(), before);
    EXPECT_TRUE(panel.IsDirty());
    // The UI's repaint tick reads the row again.
    stage.clock.Advance(20);
    EXPECT_FALSE(panel.IsDirty());
    EXPECT_EQ(panel.Slider(3)->Value(), 0.875f);
    EXPECT_EQ(panel.StoredValue(3), 0.875f);
    EXPECT_STREQ(panel.Display(3), "88%");
    EXPECT_FALSE(machine->readOffTheUiThread);
    EXPECT_EQ(machine->setCalls, 0);

    // Many changes from a busy thread while the UI refreshes: every one of them is seen in the end.
    std::atomic<bool> done{false};
    std::thread busy([&] {
        for (int n = 1; n <= 2000; ++n) {
            machine->ChangeElsewhere(n % 20, static_cast<float>(n % 7) / 7.0f);
            panel.ParameterChanged(n % 20);
        }
        done = true;
    });
    while (!done) stage.clock.Advance(15);
    busy.join();
    stage.clock.Advance(15);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(panel.Slider(i)->Value(), machine->GetParameter(i)) << i;
        EXPECT_EQ(panel.StoredValue(i), machine->GetParameter(i)) << i;
    }
    EXPECT_FALSE(machine->readOffTheUiThread);
}

// Runs at scale 1 in the default run and again under QT_SCALE_FACTOR=2 (the ctest entry
// gui_hidpi): a click on a row's slider sets the machine's parameter to the value of scale 1, and
// the panel's picture is made at the screen's density.
TEST(HiDpi, DefaultPanelClickSetsTheParameterOfScaleOne) {
    gui_test::Stage stage;
    CVeskHost host{44100, 256, 0x16, nullptr};
    gui::CWindow window;
    window.CreateWindow(nullptr, "Panel", 0, 0, 400, 420, false);
    MachinePtr<CCountingMachine> machine(new CCountingMachine(&host, 20));
    CDefaultGUI panel;
    panel.Create(&window, machine.get());
    window.Show();
    panel.Show();
    const double ratio = panel.Widget()->devicePixelRatioF();
    EXPECT_EQ(panel.Offscreen()->size(), QSize(369, 400) * ratio);
    QWidget* slider = panel.Slider(5)->Widget();
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(100, 12));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(100, 12));
    EXPECT_EQ(machine->GetParameter(5), 95.0f / 118.0f);
    EXPECT_EQ(machine->setCalls, 1);
}

// The panels of three stock machines, for people to look at; every name must be whole.
TEST_F(DefaultPanelTest, StockMachinePanels) {
    struct Case {
        const char* file;
        CMachine* machine;
        int rows;
    };
    MachinePtr<CMachine> stomp(new CKick(&host));
    MachinePtr<CMachine> quadDelay(new CEcho(&host));
    MachinePtr<CMachine> bassHead(new CBassHead(&host));
    for (const Case& c : {Case{"default_panel_stomp", stomp.get(), 7}, Case{"default_panel_quaddelay", quadDelay.get(), 32},
                          Case{"default_panel_basshead", bassHead.get(), 73}}) {
        CDefaultGUI panel;
        Open(panel, c.machine);
        EXPECT_EQ(panel.ParameterCount(), c.rows) << c.file;
        EXPECT_EQ(panel.ScrollBar() != nullptr, c.rows > 17) << c.file;
        stage.Settle();
        const QImage image = gui_test::Screenshot(panel.Widget(), c.file);
        EXPECT_EQ(image.size(), panel.Widget()->size() * image.devicePixelRatio());
        // Not blank: text and sliders differ from the background in many places.
        int differing = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if ((image.pixel(x, y) & 0xFFFFFF) != gui_test::Rgb(64, 64, 64)) ++differing;
        EXPECT_GT(differing, image.width() * image.height() / 20) << c.file;
        // Every name and display text fits its box at the font the panel draws it with.
        for (int i = 0; i < panel.ParameterCount(); ++i) {
            EXPECT_TRUE(panel.FitsItsBox(i)) << c.file << " row " << i << " " << panel.Name(i);
        }
    }
}

} // namespace
