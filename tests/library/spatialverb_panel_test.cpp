// QX SpatialVerb's panel on the offscreen platform: where every control sits, the room view's
// markers (hover, order, drag through AutomateParameter, clamping to the room), the text display,
// the view-time slider, the swap between the late display and the picture, the response displays
// following the model, and changes from other threads reaching the panel only through the
// user-interface thread's repaint.
#include "gui/lite_button.h"
#include "gui/lite_knob.h"
#include "gui/lite_slider.h"
#include "library/panels/spatialverb_panel.h"
#include "library/panels/stock_pictures.h"
#include "machines/spatialverb/spatialverb_panel_layout.h"
#include "tests/gui/gui_test_support.h"
#include "tests/library/panel_stage.h"
#include "tests/support/machine_harness.h"

#include <QCursor>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

using harness::TestHost;
using namespace panel_test;
using stock_panels::CRoomView;
using stock_panels::CSpatialVerbPanel;

namespace {

CSpatialVerbPanel* PanelOf(QWidget* window) {
    return dynamic_cast<CSpatialVerbPanel*>(gui::CControl::FromWidget(window));
}

// The room at defaults is 18 m wide and 22 m deep; fitted into the 69-pixel view with its
// proportions kept, 22 m span the whole height and the width is centred.
constexpr float kDefaultScale = 69.0f / 22.0f;
constexpr float kDefaultLeft = 45.0f + (69.0f - 18.0f * kDefaultScale) / 2.0f;
constexpr float kDefaultTop = 45.0f;

// A thread guard: while installed, every message Qt raises on a thread other than the one that
// installed it (a widget, pixmap or timer touched off the user-interface thread) is kept.
class CThreadGuard {
public:
    CThreadGuard() {
        s_uiThread = QThread::currentThread();
        s_offThread.store(0);
        m_previous = qInstallMessageHandler(&CThreadGuard::Handle);
    }
    ~CThreadGuard() { qInstallMessageHandler(m_previous); }
    int OffThreadMessages() const { return s_offThread.load(); }

private:
    static void Handle(QtMsgType, const QMessageLogContext&, const QString&) {
        if (QThread::currentThread() != s_uiThread) s_offThread.fetch_add(1);
    }
    static inline QThread* s_uiThread = nullptr;
    static inline std::atomic<int> s_offThread{0};
    QtMessageHandler m_previous = nullptr;
};

bool SamePixels(const gui::CPicture& a, const gui::CPicture& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() &&
           std::memcmp(a.Pixels(), b.Pixels(), static_cast<size_t>(a.Height()) * a.RowBytes()) == 0;
}

} // namespace

TEST(SpatialVerbPanel, EveryControlAtItsPlaceInsideTheBackgroundNoneOverlapping) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CSpatialVerb> verb(new CSpatialVerb(&host.host));
    QWidget* window = s.Open(verb.get());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->parentWidget(), s.parent.get());
    CSpatialVerbPanel* panel = PanelOf(window);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(verb->PanelLink(), panel);
    int16_t left = -1, top = -1, right = -1, bottom = -1;
    ASSERT_TRUE(verb->GetGUIRect(&left, &top, &right, &bottom));
    const gui::CPicture& background = stock_pictures::Get(stock_pictures::kSpatialVerbBackground);
    EXPECT_EQ((std::array<int, 4>{left, top, right, bottom}), (std::array<int, 4>{0, 0, background.Width(), background.Height()}));
    EXPECT_EQ(window->size(), QSize(background.Width(), background.Height()));
    EXPECT_EQ(panel->ControlCount(), 13);

    // Knobs: parameter, x (y 121, 32 square, 64 frames), written out here.
    const int knobs[4][2] = {{10, 188}, {11, 270}, {12, 337}, {13, 399}};
    struct Expected {
        const char* what;
        gui::CLiteControl* control;
        QRect rect;
    };
    std::vector<Expected> places;
    for (const auto& k : knobs) {
        gui::CLiteKnob* knob = panel->Knob(k[0]);
        ASSERT_NE(knob, nullptr) << k[0];
        EXPECT_EQ(knob->Parameter(), k[0]);
        EXPECT_EQ(knob->FrameCount(), 64);
        EXPECT_FLOAT_EQ(knob->Value(), verb->GetParameter(k[0]));
        places.push_back({"knob", knob, QRect(k[1], 121, 32, 32)});
    }
    EXPECT_EQ(panel->Knob(9), nullptr);
    // Sliders: Room Width across the top, Room Height down the left, the view time under the room.
    EXPECT_EQ(panel->WidthSlider()->Parameter(), CSpatialVerb::kRoomWidth);
    EXPECT_EQ(panel->HeightSlider()->Parameter(), CSpatialVerb::kRoomHeight);
    EXPECT_EQ(panel->TimeSlider()->Machine(), nullptr);
    places.push_back({"width slider", panel->WidthSlider(), QRect(25, 19, 87, 12)});
    places.push_back({"height slider", panel->HeightSlider(), QRect(17, 37, 12, 87)});
    places.push_back({"time slider", panel->TimeSlider(), QRect(25, 128, 87, 12)});
    places.push_back({"text display", panel->Display(), QRect(284, 20, 135, 16)});
    places.push_back({"room view", panel->Room(), QRect(45, 45, 69, 69)});
    places.push_back({"early response", panel->Early(), QRect(141, 45, 85, 69)});
    places.push_back({"late response", panel->Late(), QRect(253, 45, 165, 69)});
    places.push_back({"swap button", panel->SwapButton(), QRect(398, 168, 50, 12)});
    const QRect inside(0, 0, background.Width(), background.Height());
    for (size_t i = 0; i < places.size(); ++i) {
        EXPECT_EQ(places[i].control->Rect(), places[i].rect) << places[i].what;
        EXPECT_TRUE(places[i].control->IsVisible()) << places[i].what;
        EXPECT_TRUE(inside.contains(places[i].control->Rect())) << places[i].what;
        for (size_t j = 0; j < i; ++j)
            EXPECT_FALSE(Overlap(places[i].control->Rect(), places[j].control->Rect()))
                << places[i].what << " over " << places[j].what;
    }
    // The large picture takes the late display's place, hidden until the swap button asks; shown,
    // it overlaps nothing but the hidden late display.
    gui::CLiteButton* picture = panel->PictureButton();
    EXPECT_EQ(picture->Rect(), QRect(248, 40, 176, 80));
    EXPECT_FALSE(picture->IsVisible());
    EXPECT_TRUE(inside.contains(picture->Rect()));
    for (const Expected& e : places)
        if (e.control != panel->Late()) {
            EXPECT_FALSE(Overlap(picture->Rect(), e.control->Rect())) << e.what;
        }
    s.parent->show();
    s.stage.Settle();
    gui_test::Screenshot(window, "panel_spatialverb");
}

TEST(SpatialVerbPanel, TheSwapButtonTradesTheLateDisplayForThePictureAndBack) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CSpatialVerb> verb(new CSpatialVerb(&host.host));
    QWidget* window = s.Open(verb.get());
    CSpatialVerbPanel* panel = PanelOf(window);
    ASSERT_NE(panel, nullptr);
    const QPoint swap = panel->SwapButton()->Rect().center();
    QTest::mouseClick(window, Qt::LeftButton, {}, swap);
    EXPECT_EQ(panel->SwapButton()->State(), gui::CLiteButton::kLatched);
    EXPECT_TRUE(panel->PictureButton()->IsVisible());
    EXPECT_FALSE(panel->Late()->IsVisible());
    s.parent->show();
    s.stage.Settle();
    gui_test::Screenshot(window, "panel_spatialverb_picture");
    // A click on the picture brings the late display back and the swap button up.
    QTest::mouseClick(window, Qt::LeftButton, {}, panel->PictureButton()->Rect().center());
    EXPECT_EQ(panel->SwapButton()->State(), gui::CLiteButton::kUp);
    EXPECT_FALSE(panel->PictureButton()->IsVisible());
    EXPECT_TRUE(panel->Late()->IsVisible());
    // So does the swap button pressed again.
    QTest::mouseClick(window, Qt::LeftButton, {}, swap);
    QTest::mouseClick(window, Qt::LeftButton, {}, swap);
    EXPECT_EQ(panel->SwapButton()->State(), gui::CLiteButton::kUp);
    EXPECT_TRUE(panel->Late()->IsVisible());
    EXPECT_FALSE(panel->PictureButton()->IsVisible());
}

TEST(SpatialVerbPanel, DraggingTheLeftSourceAutomatesItsTwoParametersAndTheDisplayShowsWhere) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CWatched<CSpatialVerb>> verb(new CWatched<CSpatialVerb>(&host.host));
    QWidget* window = s.Open(verb.get());
    CSpatialVerbPanel* panel = PanelOf(window);
    ASSERT_NE(panel, nullptr);
    CRoomView& room = *panel->Room();
    EXPECT_FLOAT_EQ(room.Scale(), kDefaultScale);
    EXPECT_FLOAT_EQ(room.RoomLeft(), kDefaultLeft);
    // Src L at defaults: (0.8 x 0.2 + 0.1) of 18 m and of 22 m.
    EXPECT_FLOAT_EQ(room.PointX(CRoomView::kSrcLeft), 0.26f * 18.0f);
    EXPECT_FLOAT_EQ(room.PointY(CRoomView::kSrcLeft), 0.26f * 22.0f);
    const QPoint source = room.PointPixel(CRoomView::kSrcLeft);
    EXPECT_EQ(source, QPoint(static_cast<int>(std::floor(kDefaultLeft + 0.26f * 18.0f * kDefaultScale)),
                             static_cast<int>(std::floor(kDefaultTop + 0.26f * 22.0f * kDefaultScale))));

    s.parent->show(); // hover moves reach shown windows only
    // Over the marker: the four-way cursor and the pointer taken; away from it: the arrow again.
    QTest::mouseMove(window, source);
    EXPECT_EQ(room.Grabbed(), CRoomView::kSrcLeft);
    EXPECT_EQ(window->cursor().shape(), Qt::SizeAllCursor);
    EXPECT_EQ(panel->CaptureHolder(), &room);
    QTest::mouseMove(window, QPoint(5, 170));
    EXPECT_EQ(room.Grabbed(), -1);
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(panel->CaptureHolder(), nullptr);
    ASSERT_TRUE(verb->automated.empty());

    // The drag: the pointer's place in metres becomes the point's; parameters 0 and 1 get the
    // inverse of the position rule.
    const QPoint to(75, 80);
    QTest::mouseMove(window, source);
    QTest::mousePress(window, Qt::LeftButton, {}, source);
    QTest::mouseMove(window, to);
    const float mx = (75.0f - kDefaultLeft) / kDefaultScale, my = (80.0f - kDefaultTop) / kDefaultScale;
    const float vx = (mx / 18.0f - 0.1f) / 0.8f, vy = (my / 22.0f - 0.1f) / 0.8f;
    ASSERT_EQ(verb->automated.size(), 2u);
    EXPECT_EQ(verb->automated[0].first, 0);
    EXPECT_FLOAT_EQ(verb->automated[0].second, vx);
    EXPECT_EQ(verb->automated[1].first, 1);
    EXPECT_FLOAT_EQ(verb->automated[1].second, vy);
    EXPECT_FLOAT_EQ(verb->GetParameter(0), vx);
    EXPECT_FLOAT_EQ(verb->GetParameter(1), vy);
    char expected[64];
    std::snprintf(expected, sizeof expected, "SRC L %.0fM,%.0fM", static_cast<double>(mx), static_cast<double>(my));
    EXPECT_EQ(panel->Display()->Text(), expected);
    EXPECT_EQ(panel->Display()->Text(), "SRC L 8M,11M");
    // The marker follows at once, on the spot the machine's rule gives.
    EXPECT_NEAR(room.PointX(CRoomView::kSrcLeft), mx, 1e-4);
    EXPECT_NEAR(room.PointY(CRoomView::kSrcLeft), my, 1e-4);
    // Only y changes: only parameter 1 is automated.
    QTest::mouseMove(window, to + QPoint(0, 6));
    ASSERT_EQ(verb->automated.size(), 3u);
    EXPECT_EQ(verb->automated[2].first, 1);
    // Past the room's corner the point stops at the walls, the parameters at 0.
    QTest::mouseMove(window, QPoint(2, 2));
    EXPECT_FLOAT_EQ(verb->GetParameter(0), 0.0f);
    EXPECT_FLOAT_EQ(verb->GetParameter(1), 0.0f);
    EXPECT_EQ(panel->Display()->Text(), "SRC L 0M,0M");
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_FALSE(room.Dragging());
    EXPECT_EQ(room.Grabbed(), -1);
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    // The other points stayed where they were.
    for (int32_t p = 2; p < 8; ++p)
        for (const auto& a : verb->automated) EXPECT_NE(a.first, p);
}

TEST(SpatialVerbPanel, MarkersAreTriedListeningPointsFirstRightBeforeLeft) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CSpatialVerb> verb(new CSpatialVerb(&host.host));
    CSpatialVerbPanel* panel = PanelOf(s.Open(verb.get()));
    ASSERT_NE(panel, nullptr);
    CRoomView& room = *panel->Room();
    const QPoint source = room.PointPixel(CRoomView::kSrcLeft);
    EXPECT_EQ(room.MarkerAt(source.x(), source.y()), CRoomView::kSrcLeft);
    // The marker's rectangle reaches half the picture's size either side of the point.
    EXPECT_EQ(room.MarkerAt(source.x() + 4, source.y() - 4), CRoomView::kSrcLeft);
    EXPECT_EQ(room.MarkerAt(source.x() + 5, source.y()), -1);
    // Src R onto Src L: the right source wins; then Dst L, then Dst R on the same spot.
    CMutexLock lock(*verb);
    verb->SetParameter(CSpatialVerb::kSrcRightX, 0.2f);
    verb->SetParameter(CSpatialVerb::kSrcRightY, 0.2f);
    EXPECT_EQ(room.MarkerAt(source.x(), source.y()), CRoomView::kSrcRight);
    verb->SetParameter(CSpatialVerb::kDstLeftX, 0.2f);
    verb->SetParameter(CSpatialVerb::kDstLeftY, 0.2f);
    EXPECT_EQ(room.MarkerAt(source.x(), source.y()), CRoomView::kDstLeft);
    verb->SetParameter(CSpatialVerb::kDstRightX, 0.2f);
    verb->SetParameter(CSpatialVerb::kDstRightY, 0.2f);
    EXPECT_EQ(room.MarkerAt(source.x(), source.y()), CRoomView::kDstRight);
}

TEST(SpatialVerbPanel, TheDisplaySaysHelloWhenShownAndTheViewTimeWhileItsSliderMoves) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CSpatialVerb> verb(new CSpatialVerb(&host.host));
    QWidget* window = s.Open(verb.get());
    CSpatialVerbPanel* panel = PanelOf(window);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->Display()->Text(), "");
    verb->OnGUIShown();
    EXPECT_EQ(panel->Display()->Text(), "HELLO");
    EXPECT_FALSE(panel->Display()->IsScrolling()); // it fits

    float values[CSpatialVerb::kParameterCount];
    for (int32_t i = 0; i < CSpatialVerb::kParameterCount; ++i) values[i] = verb->GetParameter(i);
    // The view time starts half-way through the 75 ms window.
    EXPECT_FLOAT_EQ(panel->Room()->ViewTime(), 0.0375f);
    // Dragging the slider's handle 15 of its 75 pixels to the right: 0.7 of 75 ms.
    gui::CLiteSlider* time = panel->TimeSlider();
    const QPoint from = time->HandleRect().center();
    QTest::mousePress(window, Qt::LeftButton, {}, from);
    QTest::mouseMove(window, from + QPoint(15, 0));
    EXPECT_FLOAT_EQ(time->Value(), 0.7f);
    EXPECT_EQ(panel->Display()->Text(), "VIEW TIME 52.50MS");
    // The field keeps the old time until the drag ends.
    EXPECT_FLOAT_EQ(panel->Room()->ViewTime(), 0.0375f);
    QTest::mouseRelease(window, Qt::LeftButton, {}, from + QPoint(15, 0));
    char whole[64];
    std::snprintf(whole, sizeof whole, "VIEW TIME %.0fMS", static_cast<double>(time->Value() * 0.075f * 1000.0f));
    EXPECT_EQ(panel->Display()->Text(), whole);
    EXPECT_FLOAT_EQ(panel->Room()->ViewTime(), 0.7f * 0.075f);
    // The slider belongs to the panel: the machine did not change.
    for (int32_t i = 0; i < CSpatialVerb::kParameterCount; ++i)
        EXPECT_EQ(verb->GetParameter(i), values[i]) << i;

    // A knob's drag shows its parameter's name and text; too long for the display, it scrolls
    // after four seconds, one pixel per 100 ms, and stops at its end.
    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(337 + 16, 121 + 16));
    QTest::mouseMove(window, QPoint(337 + 16, 121 + 16 - 40));
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(337 + 16, 121 + 16 - 40));
    char text[64];
    verb->FormatParameter(CSpatialVerb::kCutoff, verb->GetParameter(CSpatialVerb::kCutoff), text);
    std::string shown = std::string("Cutoff ") + text;
    std::transform(shown.begin(), shown.end(), shown.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    EXPECT_EQ(panel->Display()->Text(), shown);
    panel->ShowText("Dst R 12M,20M and more words");
    ASSERT_TRUE(panel->Display()->IsScrolling());
    const int end = panel->Display()->EndPosition();
    EXPECT_GT(end, 0);
    s.stage.clock.Advance(3999);
    EXPECT_EQ(panel->Display()->ScrollPosition(), 0);
    s.stage.clock.Advance(1 + 100 * 2);
    EXPECT_EQ(panel->Display()->ScrollPosition(), 3);
    s.stage.clock.Advance(100 * static_cast<uint32_t>(end + 5));
    EXPECT_EQ(panel->Display()->ScrollPosition(), end);
    EXPECT_FALSE(panel->Display()->IsScrolling());
}

TEST(SpatialVerbPanel, TheDisplaysFollowTheModel) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CSpatialVerb> verb(new CSpatialVerb(&host.host));
    verb->Process(); // from now on changes wait for the periodic update
    CSpatialVerbPanel* panel = PanelOf(s.Open(verb.get()));
    ASSERT_NE(panel, nullptr);
    s.stage.Settle();

    // The early display: nothing before the first arrival (the direct path from Src L to Dst L,
    // at 75 ms over 85 columns), then the direct sound at half scale (-6 dB of 60 dB).
    const std::vector<int> early = panel->Early()->Bars();
    const RoomGeometry& g = verb->Geometry();
    const double direct = std::min({std::hypot(g.sourceLeft[0] - g.listenerLeft[0], g.sourceLeft[1] - g.listenerLeft[1]),
                                    std::hypot(g.sourceRight[0] - g.listenerRight[0], g.sourceRight[1] - g.listenerRight[1]),
                                    std::hypot(g.sourceLeft[0] - g.listenerRight[0], g.sourceLeft[1] - g.listenerRight[1]),
                                    std::hypot(g.sourceRight[0] - g.listenerLeft[0], g.sourceRight[1] - g.listenerLeft[1])});
    const int first = static_cast<int>(direct / 346.02 / 0.075 * 85.0);
    for (int c = 0; c < first; ++c) EXPECT_EQ(early[static_cast<size_t>(c)], 0) << c;
    EXPECT_GT(*std::max_element(early.begin(), early.end()), 55); // 0.5 reads -6 dB: 62 of 69 pixels
    const int earlyColumns = static_cast<int>(std::count_if(early.begin(), early.end(), [](int b) { return b > 0; }));
    const std::vector<int> late = panel->Late()->Bars();
    EXPECT_GT(*std::max_element(late.begin(), late.end()), 0);

    // Feedback waits for the periodic update, then redraws the late display and only that.
    {
        CMutexLock lock(*verb);
        verb->SetParameter(CSpatialVerb::kFeedback, 1.0f);
    }
    EXPECT_EQ(panel->Late()->Bars(), late);
    {
        CMutexLock lock(*verb);
        verb->UpdateGUI();
    }
    EXPECT_NE(panel->Late()->Bars(), late);
    EXPECT_EQ(panel->Early()->Bars(), early);
    // Walls that absorb everything leave practically only the direct sound: fewer early bars.
    {
        CMutexLock lock(*verb);
        verb->SetParameter(CSpatialVerb::kWallAbsorb, 1.0f);
        verb->UpdateGUI();
    }
    const std::vector<int>& dry = panel->Early()->Bars();
    EXPECT_LT(std::count_if(dry.begin(), dry.end(), [](int b) { return b > 0; }), earlyColumns);

    // The room view: the wavefront of the left source's direct sound at the view time is lit,
    // the spot where the source stands is dark.
    CRoomView& room = *panel->Room();
    const float radius = room.ViewTime() * 346.02f;
    const float sx = room.PointX(CRoomView::kSrcLeft), sy = room.PointY(CRoomView::kSrcLeft);
    ASSERT_LT(sx + radius, 18.0f);
    EXPECT_GE(room.FieldAt(sx + radius, sy), 1.0f);
    EXPECT_LT(room.FieldAt(sx, sy), 0.01f);
    // A wider room rescales the view.
    {
        CMutexLock lock(*verb);
        verb->SetParameter(CSpatialVerb::kRoomWidth, 1.0f); // 30 m
        verb->UpdateGUI();
    }
    EXPECT_FLOAT_EQ(room.Scale(), 69.0f / 30.0f);
}

TEST(SpatialVerbPanel, ChangesFromAWorkerMoveTheControlsOnlyWhenTheUserInterfaceRepaints) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CSpatialVerb> verb(new CSpatialVerb(&host.host));
    verb->Process();
    CSpatialVerbPanel* panel = PanelOf(s.Open(verb.get()));
    ASSERT_NE(panel, nullptr);
    s.stage.Settle();
    const gui::CPicture before = panel->Composition();
    const std::thread::id uiThread = std::this_thread::get_id();
    CThreadGuard guard;
    // The worker changes every parameter 10,000 times over, as automation would, and runs the
    // periodic update now and then; the last values are set apart.
    std::thread worker([&] {
        for (int i = 0; i < 10000; ++i) {
            CMutexLock lock(*verb);
            verb->SetParameter(i % CSpatialVerb::kParameterCount, static_cast<float>(i % 7) / 6.0f);
            if (i % 1000 == 999) verb->UpdateGUI();
        }
        CMutexLock lock(*verb);
        verb->SetParameter(CSpatialVerb::kGain, 1.0f);
        verb->SetParameter(CSpatialVerb::kRoomWidth, 0.0f);
        verb->SetParameter(CSpatialVerb::kSrcLeftX, 1.0f);
        verb->UpdateGUI();
        // Nothing of the panel was drawn here.
        EXPECT_NE(std::this_thread::get_id(), uiThread);
    });
    worker.join();
    EXPECT_EQ(guard.OffThreadMessages(), 0);
    EXPECT_TRUE(SamePixels(before, panel->Composition()));
    s.stage.Settle();
    EXPECT_FALSE(SamePixels(before, panel->Composition()));
    EXPECT_EQ(panel->Knob(CSpatialVerb::kGain)->Frame(), 63);
    EXPECT_FLOAT_EQ(panel->WidthSlider()->Value(), 0.0f);
    EXPECT_EQ(panel->WidthSlider()->HandleRect().left(), 25);
    // The room is 10 m wide now; Src L stands at 0.9 of it.
    EXPECT_FLOAT_EQ(panel->Room()->PointX(CRoomView::kSrcLeft), 9.0f);
    for (int32_t i = 10; i < 14; ++i) EXPECT_FLOAT_EQ(panel->Knob(i)->Value(), verb->GetParameter(i)) << i;
}

TEST(SpatialVerbPanel, ANewPanelClosesTheOldOneAndThePanelGoesWithTheMachineOrItsWindow) {
    PanelStage s;
    TestHost host;
    auto* verb = new CSpatialVerb(&host.host);
    QPointer<QWidget> first = s.Open(verb);
    QPointer<QWidget> second = s.Open(verb);
    ASSERT_TRUE(second);
    EXPECT_FALSE(first);
    EXPECT_EQ(verb->PanelLink(), PanelOf(second));
    verb->Delete();
    EXPECT_FALSE(second);

    harness::MachinePtr<CSpatialVerb> other(new CSpatialVerb(&host.host));
    ASSERT_NE(s.Open(other.get()), nullptr);
    s.parent.reset(); // the frame's window goes first
    EXPECT_EQ(other->PanelLink(), nullptr);
    CMutexLock lock(*other);
    other->SetParameter(0, 0.5f); // nobody to tell; no crash
    other->UpdateGUI();
    other->OnGUIShown();
}

TEST(PanelReferences, SpatialVerbAtDefaultValuesMatchesItsReferencePixelForPixel) {
    PanelStage s;
    TestHost host;
    harness::MachinePtr<CSpatialVerb> verb(new CSpatialVerb(&host.host));
    CSpatialVerbPanel* panel = PanelOf(s.Open(verb.get()));
    ASSERT_NE(panel, nullptr);
    verb->OnGUIShown();
    s.stage.Settle();
    ExpectMatchesReference(panel->Composition(), "spatialverb");
}
