// The "ASIO" panel over a real JACK server of our own (dummy backend, 48 kHz, 256 frames): the
// server's rate, period and channels are shown read-only, and applying the panel restarts the
// output even when nothing on it changed.
#include "app/application.h"
#include "audio_out/asio_driver.h"
#include "audio_out/driver_manager.h"
#include "audio_out/wave_out_driver.h"
#include "persistence/options_file.h"
#include "studio_ui/options/audio_output_page.h"
#include "studio_ui/options/options_dialog.h"
#include "tests/gui/gui_test_support.h"
#include "tests/support/processes.h"

#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

namespace {

TEST(OptionsDialogJack, TheAsioPanelShowsTheServersRatePeriodAndChannelsReadOnly) {
    if (!processes::CJackServer::Installed()) GTEST_SKIP() << "jackd missing";
    const processes::CJackServer server("options");
    ASSERT_TRUE(server.Started());

    gui_test::Stage stage;
    Options options = DefaultOptions();
    options.driverIndex = 1;
    std::unique_ptr<COutputDriverManager> drivers;
    for (int attempt = 0; attempt < 50; ++attempt) {
        drivers = std::make_unique<COutputDriverManager>(
            options, std::make_unique<CWaveOutDriver>(options, std::vector<std::string>{"null"}),
            std::make_unique<CASIODriver>(options, "tamborel-options"));
        if (drivers->Asio()->IsAvailable()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(drivers->Asio()->IsAvailable()) << "the JACK server did not come up";

    std::vector<int32_t> switches;
    options::COptionsDialog::Hooks hooks;
    hooks.switchDriver = [&](int32_t index) {
        switches.push_back(index);
        return true;
    };
    options::COptionsDialog dialog(options, drivers.get(), hooks);
    dialog.Build(nullptr);
    dialog.Open();
    stage.Settle();

    options::CAsioPanel& panel = *dialog.AudioOutput().AsioPanel();
    EXPECT_TRUE(panel.IsVisible());
    ASSERT_EQ(panel.DeviceBox().Count(), 1);
    EXPECT_EQ(panel.DeviceBox().EntryText(0), "JACK");
    ASSERT_EQ(panel.FormatBox().Count(), 1);
    EXPECT_EQ(panel.FormatBox().EntryText(0), "48.0kHz");
    EXPECT_FALSE(panel.FormatBox().IsEnabled()); // the server's rate, not ours to choose
    EXPECT_EQ(panel.ChannelsLabel().Text(), "Channels: 2");
    EXPECT_EQ(panel.BufferLabel().Text(), "Buffer Size: 256 Samples");
    EXPECT_TRUE(panel.NoteLabel().Text().contains("JACK server sets"));
    gui_test::Screenshot(dialog.Widget(), "options_asio");

    // Choosing the (only) server again is no change; picking it in an emptied choice is.
    QComboBox* combo = panel.DeviceBox().Combo();
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_FALSE(dialog.ApplyButton().IsEnabled());
    panel.DeviceBox().SetSelection(-1);
    QTest::keyClick(combo, Qt::Key_Home);
    EXPECT_TRUE(dialog.ApplyButton().IsEnabled());
    // The panel always reports a change: the chosen ASIO output restarts.
    dialog.Apply();
    EXPECT_EQ(switches, std::vector<int32_t>{1});
    EXPECT_EQ(options.asioDevice, 0);
}

// The dialog wired to the application as the program wires it: choosing "ASIO" and applying
// switches the live output onto the JACK server through the application's own switching, and the
// choice reaches the options file; closing with "Wave Out" chosen switches back.
TEST(OptionsDialogJack, TheApplicationsSwitchMovesTheLiveOutputBetweenTheDrivers) {
    if (!processes::CJackServer::Installed()) GTEST_SKIP() << "jackd missing";
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("tamborel-options-app-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "plugins");
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    Options stored = DefaultOptions();
    stored.driverIndex = 0;
    stored.vstFolders.clear();
    ASSERT_TRUE(WriteOptions(stored, OptionsFilePath()));

    const processes::CJackServer server("options-app", 48000, 512);
    ASSERT_TRUE(server.Started());
    struct FolderGuard {
        fs::path root;
        ~FolderGuard() {
            unsetenv("XDG_CONFIG_HOME");
            fs::remove_all(root);
        }
    } guard{root};
    bool up = false;
    for (int attempt = 0; attempt < 100 && !up; ++attempt) {
        up = processes::Run({"jack_lsp"}) == 0;
        if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(up) << "the JACK server did not come up";

    gui_test::Stage stage;
    std::ostringstream messages;
    CApplication::Settings settings;
    settings.audio = CApplication::Audio::Live;
    settings.pluginFolder = root / "plugins";
    settings.vstFolders = std::vector<fs::path>{};
    settings.messages = &messages;
    CApplication application(settings);
    COutputDriverManager* drivers = application.Drivers();
    ASSERT_NE(drivers, nullptr);
    ASSERT_TRUE(drivers->Asio()->IsAvailable());
    EXPECT_EQ(drivers->CurrentIndex(), 0);

    options::COptionsDialog::Hooks hooks;
    hooks.switchDriver = [&application](int32_t index) { return application.SwitchDriver(index); };
    hooks.driverProblem = [&application] { return application.DriverProblem(); };
    hooks.saveOptions = [&application] { return application.SaveOptions(); };
    options::COptionsDialog dialog(application.ApplicationOptions(), drivers, hooks);
    dialog.Build(nullptr);
    dialog.Open();
    stage.Settle();

    QComboBox* driverBox = dialog.AudioOutput().DriverBox().Combo();
    QTest::keyClick(driverBox, Qt::Key_Down); // "ASIO"
    ASSERT_TRUE(dialog.ApplyButton().IsEnabled());
    EXPECT_TRUE(dialog.Apply()) << application.DriverProblem();
    EXPECT_EQ(drivers->CurrentIndex(), 1);
    EXPECT_TRUE(drivers->Asio()->IsRunning());
    EXPECT_EQ(application.Host()->GetSampleRate(), 48000);
    EXPECT_EQ(application.Host()->GetBufferSize(), 512);
    EXPECT_NE(application.DescribeOutput().find("ASIO"), std::string::npos) << application.DescribeOutput();
    Options read = DefaultOptions();
    ASSERT_EQ(ReadOptions(read, OptionsFilePath()).state, OptionsReadResult::State::Read);
    EXPECT_EQ(read.driverIndex, 1);

    // Back to "Wave Out" by closing the window with the choice pending.
    QTest::keyClick(driverBox, Qt::Key_Up);
    dialog.Widget()->close();
    stage.Settle();
    EXPECT_EQ(drivers->CurrentIndex(), 0);
    EXPECT_FALSE(drivers->Asio()->IsRunning());
    if (drivers->WaveOut()->IsAvailable()) {
        EXPECT_TRUE(drivers->WaveOut()->IsRunning()) << application.DriverProblem();
    }
    read = DefaultOptions();
    ASSERT_EQ(ReadOptions(read, OptionsFilePath()).state, OptionsReadResult::State::Read);
    EXPECT_EQ(read.driverIndex, 0);
}

} // namespace
