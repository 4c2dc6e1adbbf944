// The toolkit's base: colour slots, the control's event forwarding and double buffer, bevels,
// repaints asked for from other threads, the stepped clock and the scripted dialogs.
#include "gui/color_manager.h"
#include "gui/control.h"
#include "gui/window.h"
#include "platform/error.h"
#include "tests/gui/gui_test_support.h"

#include <QPainter>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace {

using gui::CColorManager;
using gui_test::Rgb;

TEST(ColorManager, DefaultPaletteAndTheInvalidSlotText) {
    const CColorManager colors;
    const int expected[38][3] = {
        {0, 0, 0},       {255, 255, 255}, {64, 64, 64},    {48, 48, 48},    {224, 224, 224}, {160, 160, 160},
        {128, 128, 128}, {0, 0, 0},       {16, 16, 19},    {192, 192, 195}, {16, 16, 16},    {16, 16, 16},
        {160, 176, 160}, {192, 208, 192}, {240, 240, 240}, {0, 0, 0},       {0, 0, 0},       {240, 240, 240},
        {64, 64, 64},    {128, 128, 128}, {0, 0, 0},       {0, 16, 0},      {160, 240, 160}, {64, 96, 64},
        {112, 160, 112}, {144, 192, 144}, {16, 64, 16},    {32, 32, 32},    {160, 160, 160}, {32, 32, 32},
        {160, 160, 160}, {64, 64, 64},    {160, 160, 160}, {32, 32, 32},    {187, 187, 187}, {64, 128, 64},
        {128, 240, 128}, {240, 240, 240}};
    for (int slot = 0; slot < 38; ++slot) {
        const QColor c = colors.Color(slot);
        EXPECT_EQ(c.red(), expected[slot][0]) << slot;
        EXPECT_EQ(c.green(), expected[slot][1]) << slot;
        EXPECT_EQ(c.blue(), expected[slot][2]) << slot;
        EXPECT_EQ(colors.Brush(slot).color(), c) << slot;
        EXPECT_EQ(colors.Pen(slot).color(), c) << slot;
    }
    for (int bad : {-1, 38, 1000}) {
        try {
            colors.Color(bad);
            FAIL() << bad;
        } catch (const platform::CError& e) {
            EXPECT_STREQ(e.what(), "ColorManager: Invalid Color Requested");
        }
        EXPECT_THROW(colors.Brush(bad), platform::CError);
        EXPECT_THROW(colors.Pen(bad), platform::CError);
    }
}

TEST(ColorManager, ChildrenInheritUntilTheySetTheirOwnAndPalettesSwitch) {
    CColorManager top;
    CColorManager middle(&top);
    CColorManager child(&middle);
    EXPECT_TRUE(child.Inherits(12));
    top.SetColor(12, QColor(1, 2, 3));
    EXPECT_EQ(child.Color(12), QColor(1, 2, 3)); // walks up two managers
    EXPECT_EQ(child.Brush(12).color(), QColor(1, 2, 3));
    middle.SetColor(12, QColor(9, 9, 9));
    EXPECT_EQ(child.Color(12), QColor(9, 9, 9));
    EXPECT_EQ(top.Color(12), QColor(1, 2, 3));
    // A slot set again drops its cached pen.
    EXPECT_EQ(middle.Pen(12).color(), QColor(9, 9, 9));
    middle.SetColor(12, QColor(7, 7, 7));
    EXPECT_EQ(middle.Pen(12).color(), QColor(7, 7, 7));
    EXPECT_FALSE(middle.Inherits(12));

    CColorManager::Palette dark = CColorManager::DefaultPalette();
    dark[2] = 0x102030;
    EXPECT_EQ(top.CurrentPalette(), 0);
    const int index = top.AddPalette(dark);
    top.UsePalette(index);
    EXPECT_EQ(top.CurrentPalette(), 1);
    EXPECT_EQ(child.Color(2), QColor(0x10, 0x20, 0x30));
    EXPECT_THROW(top.UsePalette(5), platform::CError);
}

// Remembers every handler call with its coordinates.
class CProbe : public gui::CControl {
public:
    std::vector<std::string> calls;
    int renders = 0;
    void LeftButtonDown(int x, int y) override { Note("left down", x, y); }
    void LeftButtonUp(int x, int y) override { Note("left up", x, y); }
    void RightButtonDown(int x, int y) override { Note("right down", x, y); }
    void RightButtonUp(int x, int y) override { Note("right up", x, y); }
    void PointerMove(int x, int y) override { Note("move", x, y); }
    void LeftDoubleClick(int x, int y) override { Note("double", x, y); }
    void CaptureLost() override { calls.push_back("capture lost"); }
    void Render(QPainter& painter) override {
        ++renders;
        painter.fillRect(0, 0, Width(), Height(), QColor(10, 200, 30));
        painter.fillRect(5, 5, 4, 4, QColor(250, 0, 0));
    }

private:
    void Note(const char* what, int x, int y) {
        calls.push_back(std::string(what) + " " + std::to_string(x) + "," + std::to_string(y));
    }
};

TEST(Control, EventsReachTheHandlersInControlCoordinates) {
    gui::CWindow window;
    window.CreateWindow(nullptr, "Probe", 0, 0, 200, 120, false);
    CProbe probe;
    probe.Create(&window, "Probe", 30, 20, 80, 40, true);
    window.Show();
    probe.Show();
    QWidget* w = probe.Widget();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(3, 4));
    QTest::mouseMove(w, QPoint(7, 9));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(7, 9));
    QTest::mouseClick(w, Qt::RightButton, {}, QPoint(1, 2));
    QTest::mouseDClick(w, Qt::LeftButton, {}, QPoint(10, 11));
    const std::vector<std::string> expected = {"left down 3,4", "move 7,9", "left up 7,9", "right down 1,2",
                                               "right up 1,2"};
    ASSERT_GE(probe.calls.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(probe.calls.begin(), probe.calls.begin() + 5), expected);
    EXPECT_NE(std::find(probe.calls.begin(), probe.calls.end(), "double 10,11"), probe.calls.end());
    EXPECT_EQ(gui::CControl::FromWidget(w), &probe);

    // Capture: taken, then lost to another control and on hiding.
    CProbe other;
    other.Create(&window, "Other", 0, 0, 10, 10, false);
    probe.calls.clear();
    probe.SetCapture();
    other.SetCapture();
    EXPECT_EQ(probe.calls, std::vector<std::string>{"capture lost"});
    other.calls.clear();
    other.Show();
    other.ShowWith(gui::ShowCommand::kHide);
    EXPECT_EQ(other.calls, std::vector<std::string>{"capture lost"});
    EXPECT_FALSE(other.HasCapture());

    // The double buffer reaches the screen; a resize re-renders at the new size.
    EXPECT_EQ(gui_test::Probe(w, 1, 1), Rgb(10, 200, 30));
    EXPECT_EQ(gui_test::Probe(w, 6, 6), Rgb(250, 0, 0));
    probe.MoveResize(30, 20, 120, 60);
    EXPECT_EQ(probe.Width(), 120);
    EXPECT_EQ(probe.Offscreen()->width(), 120);
    EXPECT_EQ(gui_test::Probe(w, 110, 50), Rgb(10, 200, 30));
    // A control without a picture is painted in its background slot.
    EXPECT_EQ(gui_test::Probe(other.Widget(), 2, 2), Rgb(64, 64, 64));
    gui_test::Screenshot(window.Widget(), "control_probe");
}

TEST(Control, ParentWithoutWidgetAndFonts) {
    CProbe orphan; // never created
    CProbe child;
    try {
        child.Create(&orphan, "Child", 0, 0, 10, 10, false);
        FAIL();
    } catch (const platform::CError& e) {
        EXPECT_STREQ(e.what(), "MakeWindow: IsWindow == False");
    }
    try {
        gui::MakeFont("", 9, false);
        FAIL();
    } catch (const platform::CError& e) {
        EXPECT_STREQ(e.what(), "Can't Create Font <>");
    }
    gui::CWindow window;
    window.CreateWindow(nullptr, "Fonts", 0, 0, 50, 50, false);
    EXPECT_EQ(window.Font().family(), "Verdana");
    EXPECT_EQ(window.Font().pointSize(), 9);
    window.SetFont(gui::MakeFont("Verdana", 12, true));
    CProbe inherits;
    inherits.Create(&window, "Inherits", 0, 0, 10, 10, false);
    EXPECT_EQ(inherits.Font().pointSize(), 12);
    EXPECT_TRUE(inherits.Font().bold());
}

TEST(Control, BevelsUseTheLightAndShadowSlots) {
    const CColorManager colors;
    QImage image(10, 10, QImage::Format_RGB32);
    auto edge = [&](gui::Bevel kind) {
        image.fill(Qt::white);
        QPainter painter(&image);
        gui::DrawBevel(painter, 1, 1, 8, 8, kind, colors);
        painter.end();
        return std::vector<QRgb>{image.pixel(4, 1) & 0xFFFFFF, image.pixel(1, 4) & 0xFFFFFF,
                                 image.pixel(4, 8) & 0xFFFFFF, image.pixel(8, 4) & 0xFFFFFF,
                                 image.pixel(4, 4) & 0xFFFFFF};
    };
    const QRgb light = Rgb(128, 128, 128), shadow = 0, inside = 0xFFFFFF;
    EXPECT_EQ(edge(gui::Bevel::kRaised), (std::vector<QRgb>{light, light, shadow, shadow, inside}));
    EXPECT_EQ(edge(gui::Bevel::kSunken), (std::vector<QRgb>{shadow, shadow, light, light, inside}));
    EXPECT_EQ(edge(gui::Bevel::kFlat), (std::vector<QRgb>{shadow, shadow, shadow, shadow, inside}));
}

TEST(Control, DirtyMarksFromAnotherThreadRefreshOnTheUserInterfaceTimer) {
    gui_test::Stage stage;
    gui::CWindow window;
    window.CreateWindow(nullptr, "Dirty", 0, 0, 60, 60, false);
    CProbe probe;
    probe.Create(&window, "Probe", 0, 0, 40, 40, true);
    window.Show();
    probe.Show();
    const int before = probe.renders;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) probe.MarkDirty();
    });
    worker.join();
    EXPECT_EQ(probe.renders, before); // nothing drawn off the user-interface thread
    EXPECT_TRUE(probe.IsDirty());
    stage.clock.Advance(15); // one repaint tick
    EXPECT_EQ(probe.renders, before + 1);
    EXPECT_FALSE(probe.IsDirty());
    stage.clock.Advance(100);
    EXPECT_EQ(probe.renders, before + 1); // clean controls are left alone
}

TEST(SteppedClock, TimersFireAtTheirOwnTimesAndMayRearm) {
    gui::CSteppedClock clock(0);
    std::vector<uint32_t> fired;
    std::unique_ptr<gui::CUiTimer> timer;
    timer = clock.MakeTimer([&] {
        fired.push_back(clock.Now());
        if (timer->Interval() == 4000) timer->Start(100);
        if (fired.size() == 4) timer->Stop();
    });
    timer->Start(4000);
    clock.Advance(3999);
    EXPECT_TRUE(fired.empty());
    clock.Advance(1000);
    EXPECT_EQ(fired, (std::vector<uint32_t>{4000, 4100, 4200, 4300}));
    EXPECT_FALSE(timer->IsActive());
    EXPECT_EQ(clock.Now(), 4999u);
    EXPECT_EQ(clock.ActiveTimers(), 0);
}

TEST(Dialogs, ScriptedAnswersAndTheQuestionsAsked) {
    gui_test::Stage stage;
    stage.dialogs.texts.push_back(QString("Bass 2"));
    stage.dialogs.answers.push_back(gui::MessageAnswer::kNo);
    EXPECT_EQ(gui::Dialogs().AskText(nullptr, "Rename", "Name", "Bass"), QString("Bass 2"));
    EXPECT_FALSE(gui::Dialogs().AskText(nullptr, "Rename", "Name", "Bass").has_value()); // cancelled
    EXPECT_FALSE(gui::Dialogs().OpenFile(nullptr, "Load Bank", "SoundFont Banks (*.sf2)", "").has_value());
    EXPECT_EQ(gui::Dialogs().Message(nullptr, gui::MessageKind::kQuestion, "Save changes?"), gui::MessageAnswer::kNo);
    gui::ShowError(nullptr, "Can't open file");
    const std::vector<QString> asked = {"text: Rename", "text: Rename", "open: Load Bank", "question: Save changes?",
                                        "error: Can't open file"};
    EXPECT_EQ(stage.dialogs.asked, asked);

    // Menus: greyed entries and separators cannot be chosen, as in the real menu.
    const std::vector<gui::MenuEntry> entries = {{"Hide GUI", false}, {"", true, true}, {"Rename"}};
    stage.dialogs.menuChoices = {0, 1, 2, std::nullopt};
    EXPECT_FALSE(gui::Dialogs().PopUpMenu(nullptr, {5, 6}, entries).has_value());
    EXPECT_FALSE(gui::Dialogs().PopUpMenu(nullptr, {5, 6}, entries).has_value());
    EXPECT_EQ(gui::Dialogs().PopUpMenu(nullptr, {5, 6}, entries), 2);
    EXPECT_FALSE(gui::Dialogs().PopUpMenu(nullptr, {5, 6}, entries).has_value());
    EXPECT_EQ(stage.dialogs.lastMenu, (std::vector<QString>{"Hide GUI (greyed)", "-", "Rename"}));
    EXPECT_EQ(stage.dialogs.lastMenuPosition, QPoint(5, 6));
}

} // namespace

namespace {

// The command-line tests run the program under a window system that does not exist, so that a
// QApplication built by render, info or machines would stop it. That only proves something if a
// QApplication really cannot start there: this binary, started again so, must fail.
TEST(WindowSystemGuard, AQApplicationCannotStartWithoutAWindowSystem) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command =
        "env QT_QPA_PLATFORM=none-for-the-command-line '" + self + "' --gtest_list_tests >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_NE(status, -1);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // The same binary lists its tests fine on the offscreen platform.
    const std::string fine = "env QT_QPA_PLATFORM=offscreen '" + self + "' --gtest_list_tests >/dev/null 2>&1";
    EXPECT_EQ(std::system(fine.c_str()), 0);
}

} // namespace

namespace {

// A control resized and shown inside a parent that is still hidden gets its new size (and a new
// picture) only when the parent is shown; that picture must be rendered before it reaches the
// screen, not shown blank.
TEST(Control, APictureResizedWhileHiddenIsRenderedWhenShown) {
    gui::CWindow window;
    window.CreateWindow(nullptr, "Hidden", 0, 0, 200, 120, false);
    CProbe probe;
    probe.Create(&window, "Probe", 0, 0, 40, 40, true);
    probe.MoveResize(0, 0, 90, 60);
    probe.Show();
    window.Show();
    EXPECT_EQ(gui_test::Probe(probe.Widget(), 6, 6), Rgb(250, 0, 0));
    EXPECT_EQ(gui_test::Probe(probe.Widget(), 80, 50), Rgb(10, 200, 30));
}

} // namespace
