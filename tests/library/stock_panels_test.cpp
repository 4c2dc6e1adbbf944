// QX Stockrack's skinned panels, made through the library's panel factory on the offscreen
// platform: sizes and places, knob drags reaching the machine through AutomateParameter, changes
// from other threads reaching the knobs only through the user-interface thread's repaint, and
// panels going with their window or their machine.
#include "gui/frame.h"
#include "gui/lite_knob.h"
#include "library/panels/antialias_panel.h"
#include "library/panels/drumkit_panel.h"
#include "library/panels/caption.h"
#include "library/panels/basshead_panel.h"
#include "library/panels/lcd_screen.h"
#include "machines/basshead/basshead_panel_layout.h"
#include "library/panels/mixer_panel.h"
#include "gui/lite_button.h"
#include "gui/lite_meter.h"
#include "gui/lite_slider.h"
#include "machines/mixer/mixer_panel_layout.h"
#include "library/panels/stock_panel_factory.h"
#include "library/panels/stock_pictures.h"
#include "machines/antialias/antialias_panel_layout.h"
#include "machines/drumkit/drumkit_panel_layout.h"
#include "tests/gui/gui_test_support.h"
#include "tests/library/panel_stage.h"
#include "tests/support/machine_harness.h"

#include <QPointer>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "gui/picture/png_reader.h"

#include <QApplication>
#include <QImage>
#include <QWheelEvent>

#include <array>
#include <atomic>
#include <future>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

using harness::TestHost;

using namespace panel_test;

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

    // Where each knob belongs, parameter: x, y (written out here, not read from the layout).
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

// ---- Mixer ----

namespace {

class CWatchedMixer : public CMixer {
public:
    explicit CWatchedMixer(CVeskHost* host) : CMixer(host, 8, 2) {}
    void SetMute(int32_t strip, bool mute) override {
        mutes.emplace_back(strip, mute);
        CMixer::SetMute(strip, mute);
    }
    std::vector<std::pair<int32_t, bool>> mutes;
};

stock_panels::CMixerPanel* MixerPanelOf(QWidget* window) {
    return dynamic_cast<stock_panels::CMixerPanel*>(gui::CControl::FromWidget(window));
}

void Click(stock_panels::CMixerStripPanel& strip, gui::CLiteButton* button) {
    const QPoint centre = button->Rect().center();
    QTest::mouseClick(strip.Widget(), Qt::LeftButton, {}, centre);
}

} // namespace

TEST(MixerPanel, EveryStripItemAtItsPlaceInsideItsStrip) {
    using namespace mixer_panel;
    PanelStage s;
    s.parent->resize(960, 260);
    TestHost host;
    harness::MachinePtr<CMixer> mixer(new CMixer(&host.host, 8, 2));
    QWidget* window = s.Open(mixer.get());
    auto* panel = MixerPanelOf(window);
    ASSERT_NE(panel, nullptr);
    int16_t left = -1, top = -1, right = -1, bottom = -1;
    ASSERT_TRUE(mixer->GetGUIRect(&left, &top, &right, &bottom));
    EXPECT_EQ((std::array<int, 4>{left, top, right, bottom}), (std::array<int, 4>{0, 0, 900, 224}));
    EXPECT_EQ(window->size(), QSize(900, 224));
    ASSERT_EQ(panel->StripCount(), 10);
    for (int j = 0; j < 10; ++j) {
        SCOPED_TRACE(j);
        stock_panels::CMixerStripPanel& strip = panel->Strip(j);
        const bool track = j < 8;
        const gui::CPicture& background =
            stock_pictures::Get(track ? stock_pictures::kMixerTrackStrip : stock_pictures::kMixerAuxStrip);
        EXPECT_EQ(strip.Widget()->geometry(), QRect(j * background.Width(), 0, background.Width(), background.Height()));
        EXPECT_EQ(strip.FirstParameter(), track ? 7 * j : 56 + 5 * (j - 8));
        struct Item {
            const char* what;
            QRect rect;
            QRect expected;
        };
        std::vector<Item> items = {
            {"mute", strip.Mute()->Rect(), QRect(4, 4, 38, 14)},
            {"solo", strip.Solo()->Rect(), QRect(48, 4, 38, 14)},
            {"low", strip.Control(kLow)->Rect(), QRect(0, 62, 28, 28)},
            {"mid", strip.Control(kMid)->Rect(), QRect(30, 62, 28, 28)},
            {"high", strip.Control(kHigh)->Rect(), QRect(60, 62, 28, 28)},
            {"level", strip.Control(kLevel)->Rect(), QRect(36, 112, 12, 78)},
            {"balance", strip.Control(kBalance)->Rect(), QRect(32, 188, 42, 12)},
            {"left meter", strip.Meter(0)->Rect(), QRect(58, 114, 4, 70)},
            {"right meter", strip.Meter(1)->Rect(), QRect(64, 114, 4, 70)},
            {"title", strip.Title()->Rect(),
             QRect(track ? 27 : 33, 210, 6 * static_cast<int>(strip.Title()->Text().size()), 8)},
        };
        if (track) {
            items.push_back({"aux1", strip.Control(kAux1)->Rect(), QRect(16, 22, 28, 28)});
            items.push_back({"aux2", strip.Control(kAux2)->Rect(), QRect(46, 22, 28, 28)});
        } else {
            EXPECT_EQ(strip.Control(kAux1), nullptr);
            EXPECT_EQ(strip.Control(kAux2), nullptr);
        }
        EXPECT_EQ(strip.ControlCount(), static_cast<int>(items.size()));
        EXPECT_EQ(strip.Title()->Text(), track ? "TRACK " + std::to_string(j + 1) : "AUX " + std::to_string(j - 7));
        for (int role : {kLevel, kBalance, kLow, kMid, kHigh})
            EXPECT_EQ(strip.Control(role)->Parameter(), strip.FirstParameter() + role);
        const QRect inside(0, 0, background.Width(), background.Height());
        for (size_t a = 0; a < items.size(); ++a) {
            EXPECT_EQ(items[a].rect, items[a].expected) << items[a].what;
            EXPECT_TRUE(inside.contains(items[a].rect)) << items[a].what;
            for (size_t b = 0; b < a; ++b) {
                const QRect both = items[a].rect.intersected(items[b].rect);
                // The fader (112 + 78) reaches two rows into the balance slider at 188;
                // every other pair stays apart.
                const bool faderAndBalance = std::string(items[a].what) == "balance" && std::string(items[b].what) == "level";
                if (faderAndBalance)
                    EXPECT_EQ(both, QRect(36, 188, 12, 2));
                else
                    EXPECT_TRUE(both.isEmpty()) << items[a].what << " / " << items[b].what;
            }
        }
    }
    s.parent->show();
    s.stage.Settle();
    gui_test::Screenshot(window, "panel_mixer");
}

TEST(MixerPanel, SoloIsOneStripAtATimeAndMuteCallsSetMute) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CWatchedMixer> mixer(new CWatchedMixer(&host.host));
    auto* panel = MixerPanelOf(s.Open(mixer.get()));
    ASSERT_NE(panel, nullptr);
    Click(panel->Strip(2), panel->Strip(2).Solo());
    EXPECT_EQ(mixer->SoloStrip(), 2);
    EXPECT_EQ(panel->Strip(2).Solo()->State(), gui::CLiteButton::kLatched);
    Click(panel->Strip(5), panel->Strip(5).Solo());
    EXPECT_EQ(mixer->SoloStrip(), 5);
    EXPECT_EQ(panel->Strip(5).Solo()->State(), gui::CLiteButton::kLatched);
    EXPECT_EQ(panel->Strip(2).Solo()->State(), gui::CLiteButton::kUp);
    // Releasing the solo strip's button ends solo.
    Click(panel->Strip(5), panel->Strip(5).Solo());
    EXPECT_EQ(mixer->SoloStrip(), -1);

    Click(panel->Strip(9), panel->Strip(9).Mute());
    Click(panel->Strip(9), panel->Strip(9).Mute());
    EXPECT_EQ(mixer->mutes, (std::vector<std::pair<int32_t, bool>>{{9, true}, {9, false}}));
    // A panel opened again shows the solo strip latched.
    Click(panel->Strip(3), panel->Strip(3).Solo());
    auto* again = MixerPanelOf(s.Open(mixer.get()));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Strip(3).Solo()->State(), gui::CLiteButton::kLatched);
}

TEST(MixerPanel, MetersFedAFullScalePeakFill48Of60AndParameterChangesMoveTheFader) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CMixer> mixer(new CMixer(&host.host, 8, 2));
    auto* panel = MixerPanelOf(s.Open(mixer.get()));
    ASSERT_NE(panel, nullptr);
    std::thread worker([&] {
        CMutexLock lock(*mixer);
        mixer->PanelLink()->SetMeters(1, 1.0f, 0.0f);
        mixer->SetParameter(7 * 3, 1.0f);      // track 4's level
        mixer->SetParameter(56 + 5 + 4, 0.0f); // AUX 2's High
    });
    worker.join();
    s.stage.Settle();
    EXPECT_EQ(panel->Strip(1).Meter(0)->BarHeight(), 70 * 48 / 60);
    EXPECT_EQ(panel->Strip(1).Meter(1)->BarHeight(), 0);
    EXPECT_FLOAT_EQ(panel->Strip(3).Control(mixer_panel::kLevel)->Value(), 1.0f);
    EXPECT_FLOAT_EQ(panel->Strip(9).Control(mixer_panel::kHigh)->Value(), 0.0f);
    // The fader at the top: its handle's top row is the slider's first.
    auto* fader = static_cast<gui::CLiteSlider*>(panel->Strip(3).Control(mixer_panel::kLevel));
    EXPECT_EQ(fader->HandleRect().top(), 112);
}

TEST(MixerPanel, ThePeriodicUpdateNeverWaitsForAComposition) {
    // The graphics thread runs the update with the studio mutex held, which the driver thread
    // waits for: a meter's level and a fader following automation must land while the user
    // interface holds a strip's lock to compose it.
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CMixer> mixer(new CMixer(&host.host, 8, 2));
    auto* panel = MixerPanelOf(s.Open(mixer.get()));
    ASSERT_NE(panel, nullptr);
    auto& strip = panel->Strip(2);
    std::future<void> update;
    {
        CMutexLock composing(strip);
        update = std::async(std::launch::async, [&] {
            mixer->PanelLink()->SetMeters(2, 1.0f, 1.0f);
            mixer->UpdateGUI();
            strip.Control(mixer_panel::kLevel)->SetValue(0.25f);
        });
        // A wait that ends only when the lock is released would fail here, not hang.
        EXPECT_EQ(update.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    }
    update.get();
    s.stage.Settle();
    EXPECT_FLOAT_EQ(strip.Control(mixer_panel::kLevel)->Value(), 0.25f);
}

TEST(MixerPanel, OpenAndCloseWhileTheMetersUpdate) {
    // The short round; the stress tests (label slow) run a thousand.
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CMixer> mixer(new CMixer(&host.host, 8, 2));
    std::atomic<bool> stop{false};
    std::thread updater([&] {
        while (!stop.load()) {
            CMutexLock lock(*mixer);
            mixer->UpdateGUI();
        }
    });
    for (int round = 0; round < 20; ++round) {
        ASSERT_NE(s.Open(mixer.get()), nullptr);
        if (round % 2 == 1) s.parent = std::make_unique<QWidget>();
    }
    stop = true;
    updater.join();
}

// ---- BassHead ----

namespace {

stock_panels::CBassHeadPanel* BassHeadPanelOf(QWidget* window) {
    return dynamic_cast<stock_panels::CBassHeadPanel*>(gui::CControl::FromWidget(window));
}

// Drags a slider's handle by dx pixels along its horizontal track.
void DragHandle(QWidget* window, gui::CLiteSlider* slider, int dx) {
    const QPoint from = slider->HandleRect().center();
    QTest::mousePress(window, Qt::LeftButton, {}, from);
    QTest::mouseMove(window, from + QPoint(dx, 0));
    QTest::mouseRelease(window, Qt::LeftButton, {}, from + QPoint(dx, 0));
}

} // namespace

TEST(BassHeadPanel, SeventyThreeSlidersAndTheDisplayAtTheirPlacesNoneOverlapping) {
    PanelStage s;
    s.parent->resize(800, 900);
    TestHost host;
    harness::MachinePtr<CBassHead> synth(new CBassHead(&host.host));
    QWidget* window = s.Open(synth.get());
    auto* panel = BassHeadPanelOf(window);
    ASSERT_NE(panel, nullptr);
    int16_t left = -1, top = -1, right = -1, bottom = -1;
    ASSERT_TRUE(synth->GetGUIRect(&left, &top, &right, &bottom));
    const gui::CPicture& background = stock_pictures::Get(stock_pictures::kBassHeadBackground);
    EXPECT_EQ((std::array<int, 4>{left, top, right, bottom}), (std::array<int, 4>{0, 0, background.Width(), background.Height()}));
    EXPECT_EQ(window->size(), QSize(background.Width(), background.Height()));
    EXPECT_EQ(panel->ControlCount(), 74);
    // The columns: first index, count, x, y of the first row; rows 24 apart.
    const int groups[10][4] = {{0, 7, 108, 47},   {7, 7, 364, 47},   {14, 4, 108, 262}, {18, 6, 364, 262},
                               {24, 5, 108, 454}, {29, 5, 364, 454}, {34, 12, 624, 47}, {46, 9, 108, 624},
                               {55, 9, 364, 624}, {64, 9, 624, 624}};
    const QRect inside(0, 0, background.Width(), background.Height());
    std::vector<QRect> taken = {panel->Screen()->Rect()};
    EXPECT_EQ(panel->Screen()->Rect(), QRect(531 + 4, 364 + 4, 224 - 8, 198 - 8));
    int count = 0;
    for (const auto& g : groups)
        for (int r = 0; r < g[1]; ++r) {
            const int32_t index = g[0] + r;
            gui::CLiteSlider* slider = panel->Slider(index);
            ASSERT_NE(slider, nullptr) << index;
            EXPECT_EQ(slider->Parameter(), index);
            EXPECT_EQ(slider->Rect().topLeft(), QPoint(g[2], g[3] + 24 * r)) << index;
            EXPECT_TRUE(inside.contains(slider->Rect())) << index;
            for (const QRect& other : taken) EXPECT_FALSE(other.intersects(slider->Rect())) << index;
            taken.push_back(slider->Rect());
            ++count;
        }
    EXPECT_EQ(count, 73);
    EXPECT_EQ(panel->Slider(73), nullptr);
    EXPECT_EQ(panel->Screen()->LineCount(), 11);
    EXPECT_EQ(panel->Screen()->LineLength(), 27);
    s.parent->show();
    s.stage.Settle();
    gui_test::Screenshot(window, "panel_basshead");
}

TEST(BassHeadPanel, TheDisplayGreetsThenReportsChangesRewritingOrScrolling) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CWatched<CBassHead>> synth(new CWatched<CBassHead>(&host.host));
    QWidget* window = s.Open(synth.get());
    auto* panel = BassHeadPanelOf(window);
    ASSERT_NE(panel, nullptr);
    stock_panels::CLCDScreen& screen = *panel->Screen();
    EXPECT_EQ(screen.Line(10), "BassHead 1.0 Ready");
    for (int l = 0; l < 10; ++l) EXPECT_EQ(screen.Line(l), "") << l;

    // A slider drag: "Amp Sustain" from 0.5, 29 pixels right over 116 of travel reaches 0.75.
    gui::CLiteSlider* sustain = panel->Slider(2);
    DragHandle(window, sustain, 29);
    ASSERT_FALSE(synth->automated.empty());
    EXPECT_EQ(synth->automated.back().first, 2);
    EXPECT_FLOAT_EQ(synth->GetParameter(2), 0.75f);
    EXPECT_EQ(screen.Line(10), "Amp Sustain -> 75%");
    EXPECT_EQ(screen.Line(9), "BassHead 1.0 Ready");
    // The same parameter again rewrites the bottom line.
    synth->SetParameter(2, 0.25f);
    EXPECT_EQ(screen.Line(10), "Amp Sustain -> 25%");
    EXPECT_EQ(screen.Line(9), "BassHead 1.0 Ready");
    // Another parameter scrolls; a text longer than 27 characters is cut.
    synth->SetParameter(13, 1.0f);
    EXPECT_EQ(screen.Line(10), "Filter Release Curve -> 100");
    EXPECT_EQ(screen.Line(9), "Amp Sustain -> 25%");
    EXPECT_EQ(screen.Line(8), "BassHead 1.0 Ready");
    // Eleven more changes scroll the greeting off the top.
    for (int32_t i = 14; i < 25; ++i) synth->SetParameter(i, 0.0f);
    for (int l = 0; l < 11; ++l) EXPECT_NE(screen.Line(l), "BassHead 1.0 Ready") << l;
}

TEST(BassHeadPanel, ChangesFromAWorkerMoveSlidersAndTheDisplayOnlyWhenTheUserInterfaceRepaints) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CBassHead> synth(new CBassHead(&host.host));
    auto* panel = BassHeadPanelOf(s.Open(synth.get()));
    ASSERT_NE(panel, nullptr);
    s.stage.Settle();
    const gui::CPicture before = panel->Composition();
    std::thread worker([&] {
        for (int i = 0; i < 10000; ++i) {
            CMutexLock lock(*synth);
            synth->SetParameter(i % basshead::kParameterCount, static_cast<float>(i % 11) / 10.0f);
        }
        CMutexLock lock(*synth);
        synth->SetParameter(38, 1.0f); // "Osc Volume"
    });
    worker.join();
    EXPECT_EQ(std::memcmp(before.Pixels(), panel->Composition().Pixels(),
                          static_cast<size_t>(before.Height()) * before.RowBytes()),
              0);
    s.stage.Settle();
    EXPECT_FLOAT_EQ(panel->Slider(38)->Value(), 1.0f);
    EXPECT_EQ(panel->Slider(38)->HandleRect().right(), 624 + 128 - 1);
    EXPECT_EQ(panel->Screen()->Line(10), "Osc Volume -> 0dB");
    // The display's text is drawn: its first glyph darkens the glass.
    const auto glass = Pixel(*panel, 531 + 100, 364 + 2);
    bool darkened = false;
    for (int x = 535; x < 545 && !darkened; ++x)
        for (int y = 364 + 4 + 160; y < 364 + 4 + 176 && !darkened; ++y)
            darkened = Pixel(*panel, x, y)[1] + 40 < glass[1];
    EXPECT_TRUE(darkened);
}

// ---- Wheel and tool tips ----

namespace {

// Turns the wheel by notches (positive: away from the user) over pos.
void Wheel(QWidget* widget, QPoint pos, int notches) {
    QWheelEvent event(QPointF(pos), QPointF(widget->mapToGlobal(pos)), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

} // namespace

TEST(PanelHints, TheWheelMovesAKnobByOneFramePerNotchAndASliderByOnePixel) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CWatched<CDrumKit>> kit(new CWatched<CDrumKit>(&host.host));
    kit->SetParameter(8, 0.0f);
    QWidget* window = s.Open(kit.get());
    ASSERT_NE(window, nullptr);
    Wheel(window, QPoint(154 + 18, 190 + 18), 3);
    ASSERT_EQ(kit->automated.size(), 1u);
    EXPECT_EQ(kit->automated[0].first, 8);
    EXPECT_FLOAT_EQ(kit->GetParameter(8), 3.0f / 63.0f);
    Wheel(window, QPoint(154 + 18, 190 + 18), -1);
    EXPECT_FLOAT_EQ(kit->GetParameter(8), 2.0f / 63.0f);
    // Not over a knob: nothing moves.
    Wheel(window, QPoint(5, 5), 1);
    EXPECT_EQ(kit->automated.size(), 2u);

    harness::MachinePtr<CBassHead> synth(new CBassHead(&host.host));
    auto* bass = BassHeadPanelOf(s.Open(synth.get()));
    ASSERT_NE(bass, nullptr);
    synth->SetParameter(2, 0.5f);
    const QPoint handle = bass->Slider(2)->HandleRect().center();
    Wheel(bass->Widget(), handle, 2);
    // 128 - 12 = 116 pixels of travel.
    EXPECT_FLOAT_EQ(synth->GetParameter(2), 0.5f + 2.0f / 116.0f);
}

TEST(PanelHints, TheToolTipNamesTheParameterAndItsTextWhileHoveredOrDragged) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CDrumKit> kit(new CDrumKit(&host.host));
    kit->SetParameter(9, 0.8f);
    QWidget* window = s.Open(kit.get());
    ASSERT_NE(window, nullptr);
    s.parent->resize(960, 480);
    s.parent->show(); // hover moves reach shown windows only
    QTest::mouseMove(window, QPoint(218 + 18, 190 + 18));
    EXPECT_EQ(window->toolTip().toStdString(), "SD Snappy: 80%");
    // Dragged up 10 pixels the tip follows the new value: (0.1 + 0.8) x 63 = 56.7, frame 56 (89%).
    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(218 + 18, 190 + 18));
    QTest::mouseMove(window, QPoint(218 + 18, 190 + 8));
    EXPECT_EQ(window->toolTip().toStdString(), "SD Snappy: 89%");
    // Still the dragged knob's tip when the pointer leaves it during the drag.
    QTest::mouseMove(window, QPoint(5, 190 + 8));
    EXPECT_EQ(window->toolTip().toStdString(), "SD Snappy: 89%");
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(5, 190 + 8));
    QTest::mouseMove(window, QPoint(5, 5));
    EXPECT_TRUE(window->toolTip().isEmpty());

    harness::MachinePtr<CMixer> mixer(new CMixer(&host.host, 8, 2));
    auto* panel = MixerPanelOf(s.Open(mixer.get()));
    ASSERT_NE(panel, nullptr);
    stock_panels::CMixerStripPanel& aux = panel->Strip(9);
    QTest::mouseMove(aux.Widget(), aux.Control(mixer_panel::kHigh)->Rect().center());
    EXPECT_EQ(aux.Widget()->toolTip().toStdString(), "AUX 2 High: 50%");
}

// ---- Reference pictures ----


TEST(PanelReferences, EveryPanelAtDefaultValuesMatchesItsReferencePixelForPixel) {
    PanelStage s;
    s.parent->resize(960, 480);
    TestHost host;
    harness::MachinePtr<CAntiAliasFilter> filter(new CAntiAliasFilter(&host.host));
    harness::MachinePtr<CDrumKit> kit(new CDrumKit(&host.host));
    harness::MachinePtr<CMixer> mixer(new CMixer(&host.host, 8, 2));
    harness::MachinePtr<CBassHead> synth(new CBassHead(&host.host));
    auto* antiAlias = dynamic_cast<gui::CLiteContainer*>(gui::CControl::FromWidget(s.Open(filter.get())));
    auto* drumKit = dynamic_cast<gui::CLiteContainer*>(gui::CControl::FromWidget(s.Open(kit.get())));
    auto* mixerPanel = MixerPanelOf(s.Open(mixer.get()));
    auto* bassHead = BassHeadPanelOf(s.Open(synth.get()));
    ASSERT_TRUE(antiAlias && drumKit && mixerPanel && bassHead);
    s.stage.Settle();
    ExpectMatchesReference(antiAlias->Composition(), "antialias");
    ExpectMatchesReference(drumKit->Composition(), "drumkit");
    ExpectMatchesReference(mixerPanel->Strip(0).Composition(), "mixer_track_1");
    ExpectMatchesReference(mixerPanel->Strip(9).Composition(), "mixer_aux_2");
    ExpectMatchesReference(bassHead->Composition(), "basshead");
}
