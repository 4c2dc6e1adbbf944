// The "ASIO" panel over a real JACK server of our own (dummy backend, 48 kHz, 256 frames): the
// server's rate, period and channels are shown read-only, and applying the panel restarts the
// output even when nothing on it changed.
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
#include <thread>

namespace {

TEST(OptionsDialogJack, TheAsioPanelShowsTheServersRatePeriodAndChannelsReadOnly) {
    if (!processes::ProgramExists("jackd")) GTEST_SKIP() << "jackd missing";
    const std::string server = "tamborel-options-" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    const pid_t jackd =
        processes::Spawn({"jackd", "--no-realtime", "-n", server, "-d", "dummy", "-r", "48000", "-p", "256"});
    ASSERT_GT(jackd, 0);
    struct ServerGuard {
        pid_t pid;
        ~ServerGuard() {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
            unsetenv("JACK_DEFAULT_SERVER");
        }
    } guard{jackd};

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

} // namespace
