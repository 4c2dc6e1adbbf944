// The demo song on the studio surface with every machine that has its own panel showing it: the
// library's panels are made inside their frames at the size the machines report, and frames
// moved apart to fit them cover nothing of each other.
#include "app/application.h"
#include "gui/window.h"
#include "studio_ui/studio_view/machine_frame.h"
#include "studio_ui/studio_view/studio_view.h"
#include "tests/gui/gui_test_support.h"
#include "tests/studio_ui/studio_test_support.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

using studio_view::CMachineFrame;
using studio_view::CStudioView;

TEST(StudioDemoOwnPanels, EveryMachineWithItsOwnPanelShowsItAtItsReportedSize) {
    gui_test::Stage stage;
    const std::filesystem::path root = studio_test::FreshTestFolder("demo-own-panels-");
    std::ostringstream messages;
    CApplication::Settings settings = studio_test::OfflineSettings(messages);
    CApplication application(settings);
    application.Project().Open(std::filesystem::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp");

    constexpr int kWidth = 2480, kHeight = 1480;
    gui::CWindow window;
    window.CreateWindow(nullptr, "Demo", 0, 0, kWidth, kHeight, false);
    CStudioView view(*application.Studio(), *application.Registry());
    view.Build(&window, 0, 0, kWidth, kHeight);
    window.Show();
    view.Show();
    ASSERT_GE(view.Frames().size(), 9u);

    // Every frame whose machine reports a panel rectangle shows its own panel.
    std::vector<std::string> own;
    for (CMachineContainer* container : application.Studio()->Frames()) {
        int16_t left = 0, top = 0, right = 0, bottom = 0;
        if (!container->Machine()->GetGUIRect(&left, &top, &right, &bottom)) continue;
        container->SetPanelMode(kPanelOwn);
        ASSERT_EQ(container->PanelMode(), kPanelOwn) << container->Name();
        ASSERT_TRUE(container->HasOwnPanel()) << container->Name();
        auto* panel = static_cast<QWidget*>(container->OwnPanel());
        EXPECT_EQ(panel->size(), QSize(right - left, bottom - top)) << container->Name();
        own.push_back(container->Name());
    }
    // Both BassHeads, the drum machine, the Mixer, the room reverb and the AntiAlias.
    for (const char* name : {"Bass", "Arp", "Drum Kit", "Mixer", "Room", "AntiAlias"})
        EXPECT_NE(std::find(own.begin(), own.end(), name), own.end()) << name;
    stage.Settle();

    // The panels make the frames larger than the song's layout planned: shelve them, tallest
    // first, left to right in rows across the surface.
    std::vector<CMachineFrame*> frames;
    for (const auto& frame : view.Frames()) frames.push_back(frame.get());
    std::stable_sort(frames.begin(), frames.end(),
                     [](const CMachineFrame* a, const CMachineFrame* b) { return a->Height() > b->Height(); });
    int x = 20, y = 20, rowHeight = 0;
    for (CMachineFrame* frame : frames) {
        if (x + frame->Width() > kWidth - 20) {
            x = 20;
            y += rowHeight + 24;
            rowHeight = 0;
        }
        // As a drag does: the studio keeps the place, the frame's window goes there.
        application.Studio()->MoveFrame(frame->Container(), x, y);
        frame->Move(x, y);
        x += frame->Width() + 24;
        rowHeight = std::max(rowHeight, frame->Height());
    }
    stage.Settle();
    for (const auto& frame : view.Frames()) {
        const QRect a(frame->X(), frame->Y(), frame->Width(), frame->Height());
        EXPECT_TRUE(QRect(0, 0, kWidth, kHeight).contains(a)) << frame->Container()->Name();
        for (const auto& other : view.Frames())
            if (other != frame) {
                EXPECT_FALSE(a.intersects(QRect(other->X(), other->Y(), other->Width(), other->Height())))
                    << frame->Container()->Name() << " and " << other->Container()->Name();
            }
        // A frame with its own panel holds the whole panel.
        if (frame->Container()->HasOwnPanel()) {
            const auto* panel = static_cast<QWidget*>(frame->Container()->OwnPanel());
            EXPECT_TRUE(panel->isVisibleTo(frame->Widget())) << frame->Container()->Name();
            EXPECT_GE(frame->Width(), panel->width()) << frame->Container()->Name();
            EXPECT_GE(frame->Height(), panel->height()) << frame->Container()->Name();
        }
    }
    gui_test::Screenshot(window.Widget(), "studio_demo_own_panels");
    std::filesystem::remove_all(root);
}
