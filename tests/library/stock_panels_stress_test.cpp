// The stock panels opened and closed many times while other threads reach for them (label slow):
// the machine's periodic update and automation meet panels being made and deleted.
#include "library/panels/drumkit_panel.h"
#include "library/panels/mixer_panel.h"
#include "library/panels/spatialverb_panel.h"
#include "machines/drumkit/drumkit_panel_layout.h"
#include "tests/library/panel_stage.h"
#include "tests/support/machine_harness.h"

#include <QPointer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using harness::TestHost;
using namespace panel_test;

TEST(DrumKitPanelStress, OpenAndCloseWhileAnotherThreadChangesParameters) {
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
    for (int round = 0; round < 300; ++round) {
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

TEST(MixerPanelStress, OpenAndCloseAThousandTimesWhileTheMetersUpdateEveryMillisecond) {
    PanelStage s;
    TestHost host;
    auto* mixer = new CMixer(&host.host, 8, 2);
    std::atomic<bool> stop{false};
    std::thread updater([&] {
        while (!stop.load()) {
            {
                CMutexLock lock(*mixer);
                mixer->UpdateGUI();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (int round = 0; round < 1000; ++round) {
        ASSERT_NE(s.Open(mixer), nullptr);
        if (round % 2 == 1) s.parent = std::make_unique<QWidget>(); // the window goes first
    }
    stop = true;
    updater.join();
    QPointer<QWidget> last = s.Open(mixer);
    mixer->Delete(); // the panel goes with the machine
    EXPECT_FALSE(last);
}

TEST(SpatialVerbPanelStress, OpenAndCloseAThousandTimesWhileThePeriodicUpdateRunsEveryMillisecond) {
    PanelStage s;
    TestHost host;
    auto* verb = new CSpatialVerb(&host.host);
    verb->Process(); // changes now wait for the periodic update, as in a playing song
    std::atomic<bool> stop{false};
    std::atomic<int> updates{0};
    // Each round of the updater moves a point and the late tail, so every update rebuilds and
    // refreshes whatever panel is open at that moment.
    std::thread updater([&] {
        int i = 0;
        while (!stop.load()) {
            {
                CMutexLock lock(*verb);
                verb->SetParameter(i % 8, static_cast<float>(i % 5) / 4.0f);
                verb->SetParameter(CSpatialVerb::kFeedback, static_cast<float>(i % 3) / 2.0f);
                verb->UpdateGUI();
            }
            ++i;
            updates.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (int round = 0; round < 1000; ++round) {
        ASSERT_NE(s.Open(verb), nullptr);
        if (round % 2 == 1) s.parent = std::make_unique<QWidget>(); // the window goes first
        if (round % 50 == 0) s.stage.Settle();
    }
    stop = true;
    updater.join();
    EXPECT_GT(updates.load(), 0);
    QPointer<QWidget> last = s.Open(verb);
    verb->Delete(); // the panel goes with the machine
    EXPECT_FALSE(last);
}
