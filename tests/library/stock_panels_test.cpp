// QX Stockrack's skinned panels, made through the library's panel factory on the offscreen
// platform: sizes and places, knob drags reaching the machine through AutomateParameter, changes
// from other threads reaching the knobs only through the user-interface thread's repaint, and
// panels going with their window or their machine.
#include "gui/frame.h"
#include "gui/lite_knob.h"
#include "library/panels/antialias_panel.h"
#include "library/panels/drumkit_panel.h"
#include "library/panels/stock_panel_factory.h"
#include "library/panels/stock_pictures.h"
#include "machines/antialias/antialias_panel_layout.h"
#include "machines/drumkit/drumkit_panel_layout.h"
#include "tests/gui/gui_test_support.h"
#include "tests/support/machine_harness.h"

#include <QPointer>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

using harness::TestHost;

namespace {

// Records what the panel's knobs hand to the machine.
template <class Machine> class CWatched : public Machine {
public:
    using Machine::Machine;
    void AutomateParameter(int32_t index, float value) override {
        automated.emplace_back(index, value);
        Machine::AutomateParameter(index, value);
    }
    std::vector<std::pair<int32_t, float>> automated;
};

// A window to hold panels, a stage (stepped clock, scripted dialogs) and the factory installed
// for the test.
struct PanelStage {
    gui_test::Stage stage;
    std::unique_ptr<QWidget> parent = std::make_unique<QWidget>();
    PanelStage() {
        parent->resize(640, 480);
        machine_panels::Install(&stock_panels::StockPanelFactory());
    }
    ~PanelStage() { machine_panels::Install(nullptr); }
    QWidget* Open(CMachine* machine) { return static_cast<QWidget*>(machine->CreateGUI(parent.get())); }
};

// The composed pixel (red, green, blue) of a panel.
std::array<uint8_t, 3> Pixel(const gui::CLiteContainer& panel, int x, int y) {
    const uint8_t* p = panel.Composition().PixelAt(x, y);
    return {p[0], p[1], p[2]};
}

// Presses at from and moves straight up by pixels, then lets go.
void DragUp(QWidget* widget, QPoint from, int pixels) {
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    QTest::mouseMove(widget, from - QPoint(0, pixels));
    QTest::mouseRelease(widget, Qt::LeftButton, {}, from - QPoint(0, pixels));
}

bool Overlap(const QRect& a, const QRect& b) { return a.intersects(b); }

} // namespace

TEST(StockPanelFactory, MakesNothingForUnknownKindsOrWithoutAFactory) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CAntiAliasFilter> filter(new CAntiAliasFilter(&host.host));
    EXPECT_EQ(stock_panels::StockPanelFactory().CreatePanel(filter.get(), "QX QuadDelay", s.parent.get()), nullptr);
    EXPECT_EQ(stock_panels::StockPanelFactory().CreatePanel(filter.get(), nullptr, s.parent.get()), nullptr);
    machine_panels::Install(nullptr);
    EXPECT_EQ(filter->CreateGUI(s.parent.get()), nullptr);
    EXPECT_EQ(filter->PanelLink(), nullptr);
}

TEST(AntiAliasPanel, OneKnobAtTheCornerAndTheBackgroundsSize) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CAntiAliasFilter> filter(new CAntiAliasFilter(&host.host));
    QWidget* window = s.Open(filter.get());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->parentWidget(), s.parent.get());
    EXPECT_TRUE(window->isVisibleTo(s.parent.get()));
    auto* panel = dynamic_cast<stock_panels::CAntiAliasPanel*>(gui::CControl::FromWidget(window));
    ASSERT_NE(panel, nullptr);
    int16_t left = -1, top = -1, right = -1, bottom = -1;
    ASSERT_TRUE(filter->GetGUIRect(&left, &top, &right, &bottom));
    const gui::CPicture& background = stock_pictures::Get(stock_pictures::kAntiAliasBackground);
    EXPECT_EQ((std::array<int, 4>{left, top, right, bottom}), (std::array<int, 4>{0, 0, background.Width(), background.Height()}));
    EXPECT_EQ(window->size(), QSize(background.Width(), background.Height()));
    EXPECT_EQ(panel->ControlCount(), 1);
    EXPECT_EQ(panel->Knob()->Rect(), QRect(0, 0, 96, 96));
    EXPECT_EQ(panel->Knob()->FrameCount(), 64);
    EXPECT_EQ(panel->Knob()->Parameter(), 0);
    s.parent->show();
    s.stage.Settle();
    gui_test::Screenshot(window, "panel_antialias");
}

TEST(AntiAliasPanel, DraggingTheKnobAutomatesOversampling) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CWatched<CAntiAliasFilter>> filter(new CWatched<CAntiAliasFilter>(&host.host));
    QWidget* window = s.Open(filter.get());
    ASSERT_NE(window, nullptr);
    // From 0, 10 pixels up reach frame 6 of 64: value 6/63 (the knob rule: 100 pixels per range).
    DragUp(window, QPoint(48, 60), 10);
    ASSERT_FALSE(filter->automated.empty());
    EXPECT_EQ(filter->automated.back().first, 0);
    EXPECT_FLOAT_EQ(filter->automated.back().second, 6.0f / 63.0f);
    EXPECT_FLOAT_EQ(filter->GetParameter(0), 6.0f / 63.0f);
    // A whole range further up stops at the top.
    DragUp(window, QPoint(48, 60), 150);
    EXPECT_FLOAT_EQ(filter->GetParameter(0), 1.0f);
    char text[64];
    filter->FormatParameter(0, filter->GetParameter(0), text);
    EXPECT_STREQ(text, "32x");
}

TEST(AntiAliasPanel, ChangesFromAnotherThreadShowOnlyAfterTheUserInterfaceRepaints) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CAntiAliasFilter> filter(new CAntiAliasFilter(&host.host));
    QWidget* window = s.Open(filter.get());
    auto* panel = dynamic_cast<stock_panels::CAntiAliasPanel*>(gui::CControl::FromWidget(window));
    ASSERT_NE(panel, nullptr);
    s.stage.Settle();
    const gui::CPicture before = panel->Composition();
    // A worker sets the parameter 10,000 times, as automation would, under the machine lock.
    std::thread worker([&] {
        for (int i = 1; i <= 10000; ++i) {
            CMutexLock lock(*filter);
            filter->SetParameter(0, static_cast<float>(i % 64) / 63.0f);
        }
        CMutexLock lock(*filter);
        filter->SetParameter(0, 1.0f);
    });
    worker.join();
    // The knob holds the value, but nothing was drawn off the user-interface thread.
    EXPECT_FLOAT_EQ(panel->Knob()->Value(), 1.0f);
    EXPECT_EQ(std::memcmp(before.Pixels(), panel->Composition().Pixels(),
                          static_cast<size_t>(before.Height()) * before.RowBytes()),
              0);
    s.stage.Settle();
    EXPECT_EQ(panel->Knob()->Frame(), 63);
    // The full knob's accent reaches the lower right (120 degrees clockwise from up).
    const auto lit = Pixel(*panel, 84, 69);
    EXPECT_GT(lit[1], lit[0] + 60);
}

TEST(AntiAliasPanel, ANewPanelClosesTheOldOneAndTheMachineClosesItsPanel) {
    PanelStage s;
    TestHost host;
    auto* filter = new CAntiAliasFilter(&host.host);
    QPointer<QWidget> first = s.Open(filter);
    QPointer<QWidget> second = s.Open(filter);
    ASSERT_TRUE(second);
    EXPECT_FALSE(first); // the first panel went
    EXPECT_EQ(filter->PanelLink(), dynamic_cast<CAntiAliasPanelLink*>(gui::CControl::FromWidget(second)));
    filter->Delete();
    EXPECT_FALSE(second);
}

TEST(AntiAliasPanel, APanelDeletedWithItsWindowLeavesTheMachineWithoutOne) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CAntiAliasFilter> filter(new CAntiAliasFilter(&host.host));
    ASSERT_NE(s.Open(filter.get()), nullptr);
    s.parent.reset(); // the frame's window goes first
    EXPECT_EQ(filter->PanelLink(), nullptr);
    filter->SetParameter(0, 0.5f); // nobody to tell; no crash
}

TEST(DrumKitPanel, TwentySevenKnobsAtTheirPlacesInsideTheBackgroundNoneOverlapping) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CDrumKit> kit(new CDrumKit(&host.host));
    QWidget* window = s.Open(kit.get());
    ASSERT_NE(window, nullptr);
    auto* panel = dynamic_cast<stock_panels::CDrumKitPanel*>(gui::CControl::FromWidget(window));
    ASSERT_NE(panel, nullptr);
    int16_t left = -1, top = -1, right = -1, bottom = -1;
    ASSERT_TRUE(kit->GetGUIRect(&left, &top, &right, &bottom));
    const gui::CPicture& background = stock_pictures::Get(stock_pictures::kDrumKitBackground);
    EXPECT_EQ((std::array<int, 4>{left, top, right, bottom}), (std::array<int, 4>{0, 0, background.Width(), background.Height()}));
    EXPECT_EQ(window->size(), QSize(background.Width(), background.Height()));
    EXPECT_EQ(panel->ControlCount(), 27);

    // The places of the description, parameter: x, y.
    const int places[27][3] = {{0, 26, 94},   {1, 90, 94},   {3, 154, 94},  {4, 218, 94},   {5, 26, 190},  {6, 90, 190},
                               {8, 154, 190}, {9, 218, 190}, {10, 302, 94}, {11, 366, 94},  {13, 430, 94}, {14, 302, 190},
                               {15, 366, 190}, {17, 430, 190}, {18, 302, 286}, {19, 366, 286}, {21, 430, 286}, {22, 26, 286},
                               {24, 90, 286}, {26, 26, 382}, {28, 90, 382}, {29, 154, 382}, {31, 218, 382}, {32, 302, 382},
                               {34, 366, 382}, {35, 430, 382}, {37, 494, 382}};
    const QRect inside(0, 0, background.Width(), background.Height());
    std::vector<QRect> taken;
    for (const auto& place : places) {
        gui::CLiteKnob* knob = panel->Knob(place[0]);
        ASSERT_NE(knob, nullptr) << place[0];
        EXPECT_EQ(knob->Rect(), QRect(place[1], place[2], 36, 36)) << place[0];
        EXPECT_EQ(knob->Parameter(), place[0]);
        EXPECT_EQ(knob->FrameCount(), 64);
        EXPECT_TRUE(inside.contains(knob->Rect())) << place[0];
        for (const QRect& other : taken) EXPECT_FALSE(Overlap(other, knob->Rect())) << place[0];
        taken.push_back(knob->Rect());
    }
    // The Balance parameters have no knob.
    for (int32_t balance : {2, 7, 12, 16, 20, 23, 25, 27, 30, 33, 36}) EXPECT_EQ(panel->Knob(balance), nullptr) << balance;
    // The background prints each knob's parameter name; the layout's captions are those names.
    for (const drumkit_panel::KnobPlace& place : drumkit_panel::kKnobs) {
        char name[64];
        kit->GetParameterName(place.parameter, name);
        for (char* c = name; *c; ++c) *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
        EXPECT_STREQ(place.caption, name);
    }
    s.parent->show();
    s.stage.Settle();
    gui_test::Screenshot(window, "panel_drumkit");
}

TEST(DrumKitPanel, AKnobDraggedUpMovesItsParameterByTheKnobRule) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CWatched<CDrumKit>> kit(new CWatched<CDrumKit>(&host.host));
    kit->SetParameter(8, 0.5f); // SD Tone
    QWidget* window = s.Open(kit.get());
    auto* panel = dynamic_cast<stock_panels::CDrumKitPanel*>(gui::CControl::FromWidget(window));
    ASSERT_NE(panel, nullptr);
    EXPECT_FLOAT_EQ(panel->Knob(8)->Value(), 0.5f);
    // From 0.5, 20 pixels up: (0.2 + 0.5) x 63 = 44.1, frame 44.
    DragUp(window, QPoint(154 + 18, 190 + 18), 20);
    ASSERT_EQ(kit->automated.size(), 1u);
    EXPECT_EQ(kit->automated[0].first, 8);
    EXPECT_FLOAT_EQ(kit->automated[0].second, 44.0f / 63.0f);
    EXPECT_FLOAT_EQ(kit->GetParameter(8), 44.0f / 63.0f);
    // The other knobs did not move.
    EXPECT_FLOAT_EQ(panel->Knob(9)->Value(), kit->GetParameter(9));
}

TEST(DrumKitPanel, AutomationFromAWorkerMovesTheKnobsAfterTheRepaint) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CDrumKit> kit(new CDrumKit(&host.host));
    QWidget* window = s.Open(kit.get());
    auto* panel = dynamic_cast<stock_panels::CDrumKitPanel*>(gui::CControl::FromWidget(window));
    ASSERT_NE(panel, nullptr);
    s.stage.Settle();
    const gui::CPicture before = panel->Composition();
    std::thread worker([&] {
        for (int i = 0; i < 10000; ++i) {
            CMutexLock lock(*kit);
            kit->SetParameter(drumkit_panel::kKnobs[i % drumkit_panel::kKnobCount].parameter, static_cast<float>(i % 100) / 99.0f);
        }
        CMutexLock lock(*kit);
        for (const auto& place : drumkit_panel::kKnobs) kit->SetParameter(place.parameter, 0.0f);
    });
    worker.join();
    EXPECT_EQ(std::memcmp(before.Pixels(), panel->Composition().Pixels(),
                          static_cast<size_t>(before.Height()) * before.RowBytes()),
              0);
    s.stage.Settle();
    for (const auto& place : drumkit_panel::kKnobs) EXPECT_EQ(panel->Knob(place.parameter)->Frame(), 0) << place.parameter;
}

TEST(DrumKitPanel, OpenAndCloseWhileAnotherThreadChangesParameters) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CDrumKit> kit(new CDrumKit(&host.host));
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        int i = 0;
        while (!stop.load()) {
            CMutexLock lock(*kit);
            kit->SetParameter(drumkit_panel::kKnobs[i % drumkit_panel::kKnobCount].parameter, static_cast<float>(i % 64) / 63.0f);
            ++i;
        }
    });
    // Reopening replaces the panel; every tenth round the window goes first.
    for (int round = 0; round < 100; ++round) {
        ASSERT_NE(s.Open(kit.get()), nullptr);
        if (round % 10 == 9) {
            s.parent = std::make_unique<QWidget>();
            EXPECT_EQ(kit->PanelLink(), nullptr);
        }
        if (round % 20 == 0) s.stage.Settle();
    }
    stop = true;
    worker.join();
}
