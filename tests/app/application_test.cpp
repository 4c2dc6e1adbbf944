// Start-up and shut-down without windows: the offline renderer and a live start with whatever
// sound devices the machine has (none on a build server: the program then runs silent).
#include "app/application.h"
#include "engine/machine_container.h"
#include "platform/files.h"
#include "tests/support/test_machines.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace {

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_config =
            std::filesystem::path(TAMBOREL_TEST_BINARY_DIR) /
            ("app-config-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(m_config);
        setenv("XDG_CONFIG_HOME", m_config.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(m_config); }
    std::filesystem::path m_config;
};

TEST_F(ApplicationTest, OfflineStartRendersANewProject) {
    CApplication::Settings settings;
    settings.audio = CApplication::Audio::Offline;
    settings.sampleRate = 48000;
    settings.bufferSize = 128;
    settings.pluginFolder = m_config / "no-plugins";
    settings.vstFolders = std::vector<std::filesystem::path>{};
    std::ostringstream messages;
    settings.messages = &messages;
    CApplication application(settings);

    CStudio& studio = *application.Studio();
    ASSERT_NE(studio.MasterFrame(), nullptr);
    EXPECT_EQ(studio.MachineCount(), 1);
    EXPECT_EQ(studio.MasterFrame()->m_x, 32);
    EXPECT_EQ(application.Registry()->Count(), 5); // only the host's own machines
    EXPECT_EQ(application.Host()->GetSampleRate(), 48000);

    auto* info = new CTestMachineInfo(application.Host(), "Tone", {{kPortStereoOut, "Out"}});
    application.Host()->RegisterMachine(info);
    CMachineContainer* tone = studio.AddMachine(info, 100, 40);
    auto* machine = static_cast<CTestMachine*>(tone->Machine());
    machine->m_level = machine->m_rightLevel = 0.5f;
    ASSERT_TRUE(studio.Connect(tone->FindConnector("Out"), studio.MasterFrame()->Connector(0)));

    std::vector<float> left(48000), right(48000);
    float* channels[] = {left.data(), right.data()};
    application.Offline()->Render(channels, 2, 48000);
    EXPECT_EQ(application.Host()->GetSampleCounter(), 48000);
    EXPECT_FLOAT_EQ(left[47999], 0.5f);
    EXPECT_FLOAT_EQ(right[47999], 0.5f);
    EXPECT_EQ(left[0], 0.0f);                 // the fade-in starts from silence
    EXPECT_GE(machine->m_updates.load(), 99); // one update pass per 10 ms of audio
    EXPECT_LE(machine->m_updates.load(), 101);
    EXPECT_TRUE(messages.str().empty());
}

TEST_F(ApplicationTest, LiveStartWithoutASoundDeviceRunsSilentAndSaysWhy) {
    CApplication::Settings settings;
    settings.audio = CApplication::Audio::Live;
    settings.pluginFolder = m_config / "no-plugins";
    settings.vstFolders = std::vector<std::filesystem::path>{};
    std::ostringstream messages;
    settings.messages = &messages;
    {
        CApplication application(settings);
        ASSERT_NE(application.Drivers(), nullptr);
        EXPECT_EQ(application.Drivers()->Count(), 2);
        EXPECT_STREQ(application.Drivers()->Driver(0)->GetName(), "Wave Out");
        EXPECT_STREQ(application.Drivers()->Driver(1)->GetName(), "ASIO");
        ASSERT_NE(application.Studio()->MasterFrame(), nullptr);
        if (!application.DriverProblem().empty()) {
            EXPECT_NE(messages.str().find("\"Wave Out\""), std::string::npos) << messages.str();
            EXPECT_NE(messages.str().find("running without sound"), std::string::npos);
        }
    }
    // The options reach their file at shut-down.
    EXPECT_TRUE(std::filesystem::exists(m_config / "Tamborel Studio" / "Tamborel.opt"));
}

// Queued parameter news reaches the frames' listeners on the graphics thread in live mode without
// a window, and only through the window's own delivery (its timer) when there is one: there the
// listeners are widgets.
TEST_F(ApplicationTest, LiveNewsGoesToTheGraphicsThreadOnlyWithoutAWindow) {
    struct CThreadRecorder : CContainerListener {
        std::atomic<int> told{0};
        std::atomic<bool> onOtherThread{false};
        std::thread::id main = std::this_thread::get_id();
        void ParameterChanged(CMachineContainer*, int32_t, float) override {
            if (std::this_thread::get_id() != main) onOtherThread = true;
            ++told;
        }
        void ConnectorsChanged(CMachineContainer*) override {}
    };
    for (const bool window : {false, true}) {
        CApplication::Settings settings;
        settings.audio = CApplication::Audio::Live;
        settings.pluginFolder = m_config / "no-plugins";
        settings.vstFolders = std::vector<std::filesystem::path>{};
        settings.window = window;
        std::ostringstream messages;
        settings.messages = &messages;
        CApplication application(settings);
        CMachineContainer* master = application.Studio()->MasterFrame();
        ASSERT_NE(master, nullptr);
        CThreadRecorder recorder;
        master->AddListener(&recorder);
        application.Studio()->ParameterApplied(master, 0, 0.5f);
        // The graphics thread runs every 10 ms; a second is plenty for it to have delivered.
        for (int i = 0; i < 100 && recorder.told == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!window) {
            EXPECT_EQ(recorder.told.load(), 1);
            EXPECT_TRUE(recorder.onOtherThread.load());
        } else {
            EXPECT_EQ(recorder.told.load(), 0);
            application.Studio()->DeliverNotifications(); // the window's timer
            EXPECT_EQ(recorder.told.load(), 1);
            EXPECT_FALSE(recorder.onOtherThread.load());
        }
        master->RemoveListener(&recorder);
    }
}

} // namespace
