// The studio surface driven with the mouse: cables drawn, refused and disconnected, machines added
// from the menu, frames moved past the edge, the frame menu's greyed states, rename and delete.
#include "engine/connector.h"
#include "engine/machine_container.h"
#include "machine_interface/port.h"
#include "studio_ui/studio_view/connector_view.h"
#include "studio_ui/studio_view/machine_frame.h"
#include "studio_ui/studio_view/studio_view.h"
#include "gui/slider.h"
#include "gui/window.h"
#include "tests/gui/gui_test_support.h"
#include "tests/support/studio_fixture.h"
#include "tests/studio_ui/studio_test_support.h"

#include <QScrollBar>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

using studio_view::CConnectorView;
using studio_view::CMachineFrame;
using studio_view::CStudioView;

class StudioViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_window.CreateWindow(nullptr, "Studio", 0, 0, 900, 600, false);
        m_master = m_fixture.m_studio->NewProject();
        m_master->m_x = 700;
        m_master->m_y = 300;
        m_view = std::make_unique<CStudioView>(*m_fixture.m_studio, *m_fixture.m_registry);
    }
    void Open() {
        m_view->Build(&m_window, 0, 0, 900, 600);
        m_window.Show();
        m_view->Show();
    }
    CMachineContainer* Add(CMachineInfo* info, int x, int y) {
        CMachineContainer* frame = m_fixture.m_studio->AddMachine(info, x, y);
        return frame;
    }
    CConnectorView* ConnectorView(CMachineContainer* container, const char* port) {
        CMachineFrame* frame = m_view->FrameOf(container);
        return frame ? frame->ViewOf(container->FindConnector(port)) : nullptr;
    }
    // A press on one connector, moves across the surface, a release at `to` (view coordinates).
    void DragCable(CConnectorView* from, QPoint to) {
        QWidget* source = from->Widget();
        QTest::mousePress(source, Qt::LeftButton, {}, QPoint(10, 6));
        const QPoint start = source->mapTo(m_view->Widget(), QPoint(10, 6));
        for (int i = 1; i <= 4; ++i) {
            const QPoint on = start + (to - start) * i / 4;
            QTest::mouseMove(source, source->mapFrom(m_view->Widget(), on));
        }
        QTest::mouseRelease(source, Qt::LeftButton, {}, source->mapFrom(m_view->Widget(), to));
    }
    QPoint CentreOf(CConnectorView* view) {
        return view->Widget()->mapTo(m_view->Widget(), QPoint(view->Width() / 2, view->Height() / 2));
    }
    int CableCount() { return static_cast<int>(m_view->Cables().size()); }

    gui_test::Stage m_stage;
    CStudioFixture m_fixture;
    gui::CWindow m_window;
    CMachineContainer* m_master = nullptr;
    std::unique_ptr<CStudioView> m_view;
};

TEST_F(StudioViewTest, ADragFromAnOutputToAnInputMakesOneCableAndLightsBothLamps) {
    CMachineContainer* tone = Add(m_fixture.m_tone, 40, 40);
    CMachineContainer* effect = Add(m_fixture.m_effect, 300, 60);
    Open();
    CConnectorView* out = ConnectorView(tone, "Out");
    CConnectorView* in = ConnectorView(effect, "In");
    ASSERT_TRUE(out && in);
    EXPECT_STREQ(out->Badge(), "ST");
    EXPECT_FALSE(out->OutLit());
    DragCable(out, CentreOf(in));
    ASSERT_EQ(effect->FindConnector("In")->m_connections.Count(), 1);
    EXPECT_EQ(effect->FindConnector("In")->m_connections[0]->TargetVolume(), 1.0f);
    EXPECT_TRUE(out->OutLit());
    EXPECT_TRUE(in->InLit());
    EXPECT_EQ(CableCount(), 1);
    // The cable runs from the source frame's border to the destination frame's border.
    const auto cable = m_view->Cables().front();
    CMachineFrame* sourceFrame = m_view->FrameOf(tone);
    CMachineFrame* destinationFrame = m_view->FrameOf(effect);
    EXPECT_TRUE(cable.segment.from.x == sourceFrame->X() + sourceFrame->Width() - 1 ||
                cable.segment.from.y == sourceFrame->Y() + sourceFrame->Height() - 1);
    EXPECT_TRUE(cable.segment.to.x == destinationFrame->X() || cable.segment.to.y == destinationFrame->Y());
    // The lamps show on screen (drawn on the next repaint tick): the lit lamp is green.
    m_stage.Settle();
    EXPECT_EQ(gui_test::Probe(in->Widget(), 18, 6), gui_test::Rgb(128, 240, 128));
    gui_test::Screenshot(m_window.Widget(), "studio_surface_cable");
}

TEST_F(StudioViewTest, CablesTheGraphRefusesAndReleasesOverNothingMakeNothing) {
    CMachineContainer* tone = Add(m_fixture.m_tone, 40, 40);
    CMachineContainer* other = Add(m_fixture.m_tone, 40, 200);
    CMachineContainer* sequenced = Add(m_fixture.m_sequenced, 400, 40);
    CMachineContainer* effect = Add(m_fixture.m_effect, 400, 260);
    Open();
    DragCable(ConnectorView(tone, "Out"), QPoint(300, 500));                      // empty surface
    DragCable(ConnectorView(tone, "Out"), CentreOf(ConnectorView(other, "Out"))); // output to output
    DragCable(ConnectorView(sequenced, "Control Out"), CentreOf(ConnectorView(effect, "In"))); // control to audio
    DragCable(ConnectorView(tone, "Out"), CentreOf(ConnectorView(tone, "Out")));  // onto itself
    EXPECT_EQ(CableCount(), 0);
    EXPECT_FALSE(ConnectorView(tone, "Out")->OutLit());
    // Leaving the view snaps the line back to its start and connects nothing.
    DragCable(ConnectorView(tone, "Out"), QPoint(-50, 40));
    EXPECT_EQ(CableCount(), 0);
}

TEST_F(StudioViewTest, DisconnectFromTheCableMenuAndTheAddMachineMenuElsewhere) {
    CMachineContainer* tone = Add(m_fixture.m_tone, 40, 40);
    CMachineContainer* effect = Add(m_fixture.m_effect, 400, 40);
    Open();
    ASSERT_TRUE(m_fixture.Cable(tone, effect));
    ASSERT_EQ(CableCount(), 1);
    const auto cable = m_view->Cables().front();
    // A point on the line, away from the arrow.
    const QPoint on((cable.segment.from.x * 3 + cable.segment.to.x) / 4, (cable.segment.from.y * 3 + cable.segment.to.y) / 4);
    m_stage.dialogs.menuChoices = {std::nullopt};
    QTest::mouseClick(m_view->Widget(), Qt::RightButton, {}, on);
    EXPECT_EQ(m_stage.dialogs.lastMenu, std::vector<QString>{"Disconnect"});
    EXPECT_EQ(CableCount(), 1); // closed without a choice
    m_stage.dialogs.menuChoices = {0};
    QTest::mouseClick(m_view->Widget(), Qt::RightButton, {}, on);
    EXPECT_EQ(CableCount(), 0);
    EXPECT_EQ(effect->FindConnector("In")->m_fanIn, 0);

    // Elsewhere: every type but "Master", in registration order.
    m_stage.dialogs.menuChoices = {std::nullopt};
    QTest::mouseClick(m_view->Widget(), Qt::RightButton, {}, QPoint(200, 400));
    const std::vector<QString> types = {"Tone", "Mono Tone", "Effect", "Mono Effect", "Sequenced", "Send Mixer"};
    EXPECT_EQ(m_stage.dialogs.lastMenu, types);
}

TEST_F(StudioViewTest, TheVolumeSliderOpensAtTheArrowAndSetsTheCableFromBottomToTop) {
    CMachineContainer* tone = Add(m_fixture.m_tone, 40, 40);
    CMachineContainer* effect = Add(m_fixture.m_effect, 400, 60);
    CMachineContainer* sequenced = Add(m_fixture.m_sequenced, 40, 300);
    CMachineContainer* other = Add(m_fixture.m_sequenced, 400, 300);
    Open();
    ASSERT_TRUE(m_fixture.Cable(tone, effect));
    ASSERT_TRUE(m_fixture.m_studio->Connect(sequenced->FindConnector("Control Out"), other->FindConnector("Control In")));
    CConnection* audio = effect->FindConnector("In")->m_connections[0];
    QWidget* surfaceWidget = m_view->Widget();
    for (const auto& cable : m_view->Cables()) {
        const QPoint centroid(surface::Centroid(cable.arrow).x, surface::Centroid(cable.arrow).y);
        QTest::mousePress(surfaceWidget, Qt::LeftButton, {}, centroid);
        if (cable.connection != audio) {
            EXPECT_EQ(m_view->VolumeSlider(), nullptr); // control cables have no volume
            QTest::mouseRelease(surfaceWidget, Qt::LeftButton, {}, centroid);
            continue;
        }
        ASSERT_NE(m_view->VolumeSlider(), nullptr);
        const QRect slider = m_view->VolumeSlider()->Widget()->geometry();
        EXPECT_LE(std::abs(slider.center().x() - centroid.x()), 1);
        EXPECT_LE(std::abs(slider.center().y() - centroid.y()), 1);
        EXPECT_FLOAT_EQ(m_view->VolumeSlider()->Value(), 1.0f); // a new cable is at full volume
        // All the way down: -40 dB, a power ratio of 0.0001.
        QTest::mouseMove(surfaceWidget, centroid + QPoint(0, 400));
        EXPECT_NEAR(audio->TargetVolume(), 0.0001f, 1e-9f);
        // All the way up: 1.0.
        QTest::mouseMove(surfaceWidget, centroid + QPoint(0, -400));
        EXPECT_FLOAT_EQ(audio->TargetVolume(), 1.0f);
        // Halfway down its travel: -20 dB.
        const int travel = slider.height() - m_view->VolumeSlider()->HandleLength();
        QTest::mouseMove(surfaceWidget, centroid + QPoint(0, -400 + travel / 2));
        QTest::mouseMove(surfaceWidget, centroid + QPoint(0, travel / 2));
        EXPECT_NEAR(10.0 * std::log10(audio->TargetVolume()), -20.0, 40.0 / travel + 1e-3);
        QTest::mouseRelease(surfaceWidget, Qt::LeftButton, {}, centroid + QPoint(0, travel / 2));
        EXPECT_EQ(m_view->VolumeSlider(), nullptr); // closed on release
    }
    // Pressing on the surface away from any arrow opens nothing.
    QTest::mouseClick(surfaceWidget, Qt::LeftButton, {}, QPoint(700, 500));
    EXPECT_EQ(m_view->VolumeSlider(), nullptr);
}

TEST_F(StudioViewTest, AddedMachinesLandAtTheClickPlusTheScrollOffsetAndReuseFreedNumbers) {
    Add(m_fixture.m_tone, 1500, 40); // far right: the surface scrolls
    Open();
    ASSERT_TRUE(m_view->HorizontalBar()->isVisible());
    m_view->ScrollTo({100, 0});
    auto addTone = [&](QPoint at) {
        m_stage.dialogs.menuChoices = {0};
        QTest::mouseClick(m_view->Widget(), Qt::RightButton, {}, at);
        return m_fixture.m_studio->Frames().back();
    };
    CMachineContainer* second = addTone({50, 60});
    EXPECT_EQ(second->m_x, 150);
    EXPECT_EQ(second->m_y, 60);
    EXPECT_EQ(second->Name(), "Tone 2");
    ASSERT_NE(m_view->FrameOf(second), nullptr);
    EXPECT_EQ(m_view->FrameOf(second)->X(), 50); // drawn where the click was
    CMachineContainer* third = addTone({50, 300});
    EXPECT_EQ(third->Name(), "Tone 3");
    m_view->FrameOf(second)->RunMenuEntry(studio_view::kMenuDelete);
    EXPECT_EQ(addTone({60, 60})->Name(), "Tone 2");
}

TEST_F(StudioViewTest, AFrameMovedPastTheRightEdgeBringsTheHorizontalScrollBar) {
    CMachineContainer* tone = Add(m_fixture.m_tone, 700, 40);
    Open();
    EXPECT_FALSE(m_view->HorizontalBar()->isVisible());
    CMachineFrame* frame = m_view->FrameOf(tone);
    QWidget* w = frame->Widget();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(8, 6));
    // Steps of 40 pixels inside the view: the frame follows each.
    for (int i = 1; i <= 4; ++i) QTest::mouseMove(w, QPoint(8 + 40 * i, 6) - QPoint(40 * (i - 1), 0));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(48, 6));
    EXPECT_EQ(tone->m_x, 860);
    EXPECT_EQ(tone->m_y, 40);
    EXPECT_TRUE(m_view->HorizontalBar()->isVisible());
    EXPECT_FALSE(m_view->VerticalBar()->isVisible());
    EXPECT_EQ(m_view->HorizontalBar()->maximum(), tone->m_x + frame->Width() - 900);
    // Scrolling moves the frames, not the model.
    const int right = m_view->HorizontalBar()->maximum();
    m_view->HorizontalBar()->setValue(right);
    EXPECT_EQ(frame->X(), 860 - right);
    EXPECT_EQ(frame->X() + frame->Width(), 900); // its right edge now at the view's
    EXPECT_EQ(tone->m_x, 860);
}

TEST_F(StudioViewTest, TheFrameMenuGreysWhatTheMachineCannotDo) {
    CMachineContainer* plain = Add(m_fixture.m_tone, 40, 40);
    CMachineContainer* knobs = Add(m_fixture.m_effect, 300, 40);
    knobs->Machine()->m_parameterCount = 12;
    Open();
    using Flags = std::vector<bool>;
    //                                    Hide   Default Custom  -      Rename Random Delete
    EXPECT_EQ(m_view->FrameOf(plain)->MenuEnabled(), (Flags{false, false, false, false, true, false, true}));
    EXPECT_EQ(m_view->FrameOf(knobs)->MenuEnabled(), (Flags{true, true, false, false, true, true, true}));
    EXPECT_EQ(m_view->FrameOf(m_master)->MenuEnabled(), (Flags{false, false, false, false, true, false, false}));
    // Shown through the menu button, greyed entries marked.
    CMachineFrame* frame = m_view->FrameOf(m_master);
    m_stage.dialogs.menuChoices = {std::nullopt};
    QTest::mouseClick(frame->Widget(), Qt::LeftButton, {}, frame->MenuButtonArea().center());
    const std::vector<QString> shown = {"Hide GUI (greyed)", "Show Default GUI (greyed)", "Show Custom GUI (greyed)",
                                        "-", "Rename", "Randomize (greyed)", "Delete Machine (greyed)"};
    EXPECT_EQ(m_stage.dialogs.lastMenu, shown);
    // The icon opens the default panel when there is no own one; without either it does nothing.
    QTest::mouseClick(m_view->FrameOf(knobs)->Widget(), Qt::LeftButton, {},
                      m_view->FrameOf(knobs)->PanelArea().center());
    EXPECT_EQ(knobs->PanelMode(), kPanelDefault);
    QTest::mouseClick(m_view->FrameOf(plain)->Widget(), Qt::LeftButton, {},
                      m_view->FrameOf(plain)->PanelArea().center());
    EXPECT_EQ(plain->PanelMode(), kPanelIcon);
    // Renaming a machine to "Master" does not make it undeletable until its frame is made again.
    m_stage.dialogs.texts = {QString("Master")};
    m_view->FrameOf(plain)->RunMenuEntry(studio_view::kMenuRename);
    EXPECT_EQ(plain->Name(), "Master");
    EXPECT_TRUE(m_view->FrameOf(plain)->MenuEnabled()[studio_view::kMenuDelete]);
}

TEST_F(StudioViewTest, RenameToTheSameTextChangesNothingAndANewNameResizesTheFrame) {
    CMachineContainer* tone = Add(m_fixture.m_tone, 40, 40);
    Open();
    CMachineFrame* frame = m_view->FrameOf(tone);
    const int width = frame->Width();
    const uint64_t before = m_fixture.m_studio->Changes().Count();
    m_stage.dialogs.texts = {QString("Tone 1")};
    frame->RunMenuEntry(studio_view::kMenuRename);
    EXPECT_EQ(m_stage.dialogs.asked.back(), "text: Rename Machine");
    EXPECT_EQ(m_fixture.m_studio->Changes().Count(), before);
    m_stage.dialogs.texts = {QString("A much longer name for the tone generator")};
    frame->RunMenuEntry(studio_view::kMenuRename);
    m_stage.Settle(); // the frame is laid out anew after the studio's news
    EXPECT_EQ(tone->Name(), "A much longer name for the tone generator");
    EXPECT_GT(frame->Width(), width);
    m_stage.dialogs.texts = {std::nullopt}; // cancelled
    frame->RunMenuEntry(studio_view::kMenuRename);
    EXPECT_EQ(tone->Name(), "A much longer name for the tone generator");
}

TEST_F(StudioViewTest, DeleteMachineRemovesTheFrameAndItsCables) {
    CMachineContainer* tone = Add(m_fixture.m_tone, 40, 40);
    CMachineContainer* effect = Add(m_fixture.m_effect, 300, 40);
    Open();
    ASSERT_TRUE(m_fixture.Cable(tone, effect));
    ASSERT_TRUE(m_fixture.Cable(effect, m_master));
    ASSERT_EQ(CableCount(), 2);
    CMachineFrame* frame = m_view->FrameOf(effect);
    m_stage.dialogs.menuChoices = {studio_view::kMenuDelete};
    QTest::mouseClick(frame->Widget(), Qt::LeftButton, {}, frame->MenuButtonArea().center());
    EXPECT_EQ(m_view->FrameOf(effect), nullptr);
    EXPECT_EQ(m_fixture.m_studio->FindFrame("Effect 1"), nullptr);
    EXPECT_EQ(CableCount(), 0);
    EXPECT_FALSE(ConnectorView(tone, "Out")->OutLit());
    QApplication::processEvents(); // the frame's window goes once its event is over
    m_view->Refresh();
    EXPECT_EQ(m_view->Frames().size(), 2u);
}

} // namespace

#include "app/application.h"

namespace {

// The demo song on the surface: every frame where the project put it, every cable drawn.
TEST(StudioViewDemo, TheDemoSongShowsEveryFrameAndCable) {
    gui_test::Stage stage;
    const std::filesystem::path root = studio_test::FreshTestFolder("demo-view-");
    std::ostringstream messages;
    CApplication::Settings settings = studio_test::OfflineSettings(messages);
    CApplication application(settings);
    application.Project().Open(std::filesystem::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp");

    gui::CWindow window;
    window.CreateWindow(nullptr, "Demo", 0, 0, 1280, 760, false);
    CStudioView view(*application.Studio(), *application.Registry());
    view.Build(&window, 0, 0, 1280, 760);
    window.Show();
    view.Show();
    ASSERT_EQ(view.Frames().size(), application.Studio()->Frames().size());
    EXPECT_GE(view.Frames().size(), 9u);
    int cables = 0;
    for (CMachineContainer* frame : application.Studio()->Frames())
        for (int32_t c = 0; c < frame->ConnectorCount(); ++c) cables += frame->Connector(c)->m_connections.Count();
    EXPECT_EQ(static_cast<int>(view.Cables().size()), cables);
    // Every frame where the project put it.
    for (const auto& frame : view.Frames()) {
        EXPECT_EQ(frame->X(), frame->Container()->m_x);
        EXPECT_EQ(frame->Y(), frame->Container()->m_y);
    }
    gui_test::Screenshot(window.Widget(), "studio_demo_song");
    std::filesystem::remove_all(root);
}

} // namespace

#include "gui/combo_box.h"
#include "gui/default_panel.h"
#include "gui/slider.h"

#include <QComboBox>

namespace {

// Frames of the stock machines, with their programs and default panels.
class StockFrames : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = studio_test::FreshTestFolder("stock-frames-");
        CApplication::Settings settings = studio_test::OfflineSettings(m_messages);
        m_application = std::make_unique<CApplication>(settings);
        m_window.CreateWindow(nullptr, "Frames", 0, 0, 1200, 800, false);
        m_view = std::make_unique<CStudioView>(*m_application->Studio(), *m_application->Registry());
        m_view->Build(&m_window, 0, 0, 1200, 800);
        m_window.Show();
        m_view->Show();
    }
    void TearDown() override {
        m_view.reset();
        m_application.reset();
        std::filesystem::remove_all(m_root);
    }
    CMachineContainer* Add(const char* type, int x, int y) {
        return m_application->Studio()->AddMachine(m_application->Registry()->FindByName(type), x, y);
    }

    gui_test::Stage m_stage;
    std::filesystem::path m_root;
    std::ostringstream m_messages;
    std::unique_ptr<CApplication> m_application;
    gui::CWindow m_window;
    std::unique_ptr<CStudioView> m_view;
};

TEST_F(StockFrames, TheFrameSizeFollowsTheShownPanelInEveryMode) {
    CMachineContainer* bass = Add("QX BassHead", 20, 20);
    CMachineFrame* frame = m_view->FrameOf(bass);
    ASSERT_NE(frame, nullptr);
    ASSERT_NE(frame->DefaultPanel(), nullptr);
    const bool programs = bass->Machine()->m_programCount >= 1;
    const int bar = programs ? 24 : 0;
    // Icon: 40 x 40 in the panel area.
    EXPECT_EQ(frame->Height(), 40 + 38 + bar);
    EXPECT_TRUE(frame->GuiContainer()->Widget()->isHidden());
    // The default panel: 73 parameters scroll in a 369 x 400 panel.
    frame->RunMenuEntry(studio_view::kMenuDefault);
    EXPECT_EQ(bass->PanelMode(), kPanelDefault);
    EXPECT_EQ(frame->DefaultPanel()->Width(), 369);
    EXPECT_EQ(frame->Width(), 369 + 8);
    EXPECT_EQ(frame->Height(), 400 + 38 + bar);
    EXPECT_TRUE(frame->DefaultPanel()->IsVisible());
    EXPECT_EQ(frame->GuiContainer()->Y(), programs ? 43 : 19);
    // QX Stockrack makes the machine's own panel: the custom entry shows it at its size.
    EXPECT_TRUE(frame->MenuEnabled()[studio_view::kMenuCustom]);
    frame->RunMenuEntry(studio_view::kMenuCustom);
    EXPECT_EQ(bass->PanelMode(), kPanelOwn);
    int16_t left = 0, top = 0, right = 0, bottom = 0;
    ASSERT_TRUE(bass->Machine()->GetGUIRect(&left, &top, &right, &bottom));
    EXPECT_EQ(frame->Width(), right + 8);
    EXPECT_EQ(frame->Height(), bottom + 38 + bar);
    EXPECT_FALSE(frame->DefaultPanel()->IsVisible());
    m_stage.Settle();
    gui_test::Screenshot(m_window.Widget(), "studio_frame_own_panel");
    // Back to the icon.
    frame->RunMenuEntry(studio_view::kMenuHide);
    EXPECT_EQ(frame->Height(), 40 + 38 + bar);
    EXPECT_FALSE(frame->DefaultPanel()->IsVisible());
    m_stage.Settle();
    gui_test::Screenshot(m_window.Widget(), "studio_frame_icon");
    frame->RunMenuEntry(studio_view::kMenuDefault);
    gui_test::Screenshot(m_window.Widget(), "studio_frame_default_panel");
}

TEST_F(StockFrames, RandomizeAndProgramsReachTheDefaultPanelAndEditsCount) {
    CMachineContainer* stomp = Add("QX Stomp", 20, 20);
    CMachineFrame* frame = m_view->FrameOf(stomp);
    frame->RunMenuEntry(studio_view::kMenuDefault);
    gui::CDefaultGUI* panel = frame->DefaultPanel();
    ASSERT_NE(panel, nullptr);
    CMachine* machine = stomp->Machine();
    frame->RunMenuEntry(studio_view::kMenuRandomize);
    m_application->Studio()->DeliverNotifications(); // the user interface's timer
    // The news only marks the rows (the studio mutex is held while it is told); they show the
    // new values when the dirty controls are repainted.
    EXPECT_NE(panel->Slider(1)->Value(), machine->GetParameter(1));
    m_stage.Settle();
    for (int i = 0; i < panel->ParameterCount(); ++i) {
        const float value = machine->GetParameter(i);
        EXPECT_GE(value, 0.0f);
        EXPECT_LE(value, 1.0f);
        EXPECT_EQ(panel->Slider(i)->Value(), value) << i;
    }
    // A slider moved by the user is an edit of the project.
    const uint64_t before = m_application->Studio()->Changes().Count();
    gui::CSlider* slider = panel->Slider(0);
    slider->Widget()->setFocus();
    QTest::keyClick(slider->Widget(), Qt::Key_End);
    EXPECT_EQ(machine->GetParameter(0), 1.0f);
    EXPECT_GT(m_application->Studio()->Changes().Count(), before);

    // Programs: the box lists the machine's programs and a choice loads one.
    CMachineContainer* room = Add("QX SpatialVerb", 400, 20);
    CMachineFrame* roomFrame = m_view->FrameOf(room);
    ASSERT_GE(room->Machine()->m_programCount, 2);
    ASSERT_NE(roomFrame->ProgramBar(), nullptr);
    QComboBox* box = roomFrame->ProgramBar()->Combo()->Combo();
    EXPECT_EQ(box->objectName(), "ProgramCombo");
    EXPECT_EQ(box->count(), room->Machine()->m_programCount);
    EXPECT_EQ(box->currentIndex(), room->Machine()->GetProgram());
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(room->Machine()->GetProgram(), box->currentIndex());
    EXPECT_NE(box->currentIndex(), 0);
    // A machine without programs has no bar.
    EXPECT_EQ(frame->ProgramBar(), nullptr);
}

} // namespace

#include "sequencer/sequencer.h"

namespace {

TEST_F(StockFrames, DeleteMachineTakesItsCablesPatternsAndSongRowsWithIt) {
    CSequencer& sequencer = *m_application->Sequencer();
    const int32_t patternsBefore = sequencer.Patterns().Patterns().Count();
    const int32_t rowsBefore = sequencer.Song().Song().TrackCount();
    CMachineContainer* bass = Add("QX BassHead", 20, 20);
    ASSERT_TRUE(m_application->Studio()->Connect(bass->FindConnector("Line Out"),
                                                 m_application->Studio()->MasterFrame()->Connector(0)));
    sequencer.Patterns().SelectMachine(bass->Machine());
    Pattern* pattern = sequencer.Patterns().AddPattern();
    ASSERT_NE(pattern, nullptr);
    ASSERT_GT(sequencer.Song().Song().TrackCount(), rowsBefore);
    ASSERT_NE(sequencer.Song().PlacePattern(pattern, 0), nullptr);
    m_stage.Settle(); // the new frame's window is made after the studio's news
    EXPECT_EQ(static_cast<int>(m_view->Cables().size()), 1);

    CMachineFrame* frame = m_view->FrameOf(bass);
    m_stage.dialogs.menuChoices = {studio_view::kMenuDelete};
    QTest::mouseClick(frame->Widget(), Qt::LeftButton, {}, frame->MenuButtonArea().center());
    EXPECT_EQ(m_view->FrameOf(bass), nullptr);
    EXPECT_TRUE(m_view->Cables().empty());
    EXPECT_EQ(sequencer.Patterns().Patterns().Count(), patternsBefore);
    EXPECT_EQ(sequencer.Song().Song().TrackCount(), rowsBefore);
    EXPECT_EQ(m_application->Studio()->MasterFrame()->Connector(0)->m_fanIn, 0);
    // The window goes after its own click; nothing of it is touched afterwards (ASan watches).
    QApplication::processEvents();
    m_view->Refresh();
    gui_test::Screenshot(m_window.Widget(), "studio_after_delete");
}

} // namespace

namespace {

// Deleting a machine removes its cables first, which marks the connector lamps on both ends for
// the next repaint; the deleted frame's connectors must not be among those repainted, since
// their connectors are gone (ASan watches).
TEST_F(StudioViewTest, TheRepaintAfterDeletingACabledMachineDrawsOnlyLiveConnectors) {
    CMachineContainer* tone = Add(m_fixture.m_tone, 40, 40);
    CMachineContainer* effect = Add(m_fixture.m_effect, 300, 60);
    Open();
    DragCable(ConnectorView(tone, "Out"), CentreOf(ConnectorView(effect, "In")));
    ASSERT_EQ(CableCount(), 1);
    CConnectorView* out = ConnectorView(tone, "Out");
    gui::CControl::RefreshDirtyControls();
    EXPECT_EQ(gui_test::Probe(out->Widget(), 18, 6), gui_test::Rgb(128, 240, 128));

    m_view->DeleteFrame(m_view->FrameOf(effect));
    EXPECT_EQ(CableCount(), 0);
    gui::CControl::RefreshDirtyControls(); // before the deleted frame's window is destroyed
    EXPECT_FALSE(out->OutLit());
    EXPECT_NE(gui_test::Probe(out->Widget(), 18, 6), gui_test::Rgb(128, 240, 128));
    m_stage.Settle();
    EXPECT_EQ(m_view->Frames().size(), 2u); // the master and the tone
}

} // namespace
