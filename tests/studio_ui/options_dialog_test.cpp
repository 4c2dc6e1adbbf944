// The "Options" window driven with the mouse and the keyboard: the Wave Out latency slider and
// its read-out, the driver box and its panels, "Apply" enabled by a change and disabled after,
// the driver switch on Apply (through a recording hook, so no sound card is needed), the VST
// folder list reaching the options file, and closing with pending changes.
#include "audio_out/asio_driver.h"
#include "audio_out/driver_manager.h"
#include "audio_out/wave_out_driver.h"
#include "persistence/options_file.h"
#include "studio_ui/options/audio_output_page.h"
#include "studio_ui/options/options_dialog.h"
#include "studio_ui/options/vst_paths_page.h"
#include "tests/gui/gui_test_support.h"

#include <QComboBox>
#include <QListWidget>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using options::COptionsDialog;

// Two ALSA devices that need no sound card: "null" and a file device writing to /dev/null.
const std::vector<std::string> kDevices = {"null", "file:FILE=/dev/null,FORMAT=raw"};

class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A server of this name never runs: the "ASIO" driver finds no JACK server.
        setenv("JACK_DEFAULT_SERVER", "tamborel-options-no-server", 1);
        m_folder = fs::temp_directory_path() / ("tamborel-options-" + std::to_string(getpid()));
        fs::remove_all(m_folder);
        m_file = m_folder / "Tamborel.opt";
        m_options = DefaultOptions();
    }
    void TearDown() override {
        m_dialog.reset();
        m_drivers.reset();
        fs::remove_all(m_folder);
        unsetenv("JACK_DEFAULT_SERVER");
    }
    // Makes the drivers from the options as they are now, and the dialog over them, shown.
    bool Open() {
        m_drivers = std::make_unique<COutputDriverManager>(
            m_options, std::make_unique<CWaveOutDriver>(m_options, kDevices),
            std::make_unique<CASIODriver>(m_options, "tamborel-options"));
        if (!m_drivers->WaveOut()->IsAvailable()) return false;
        COptionsDialog::Hooks hooks;
        hooks.switchDriver = [this](int32_t index) {
            m_switches.push_back(index);
            return m_switchWorks;
        };
        hooks.driverProblem = [] { return std::string("Device Busy"); };
        hooks.saveOptions = [this] {
            ++m_saves;
            return WriteOptions(m_options, m_file);
        };
        m_dialog = std::make_unique<COptionsDialog>(m_options, m_drivers.get(), hooks);
        m_dialog->Build(nullptr);
        m_dialog->Open();
        m_stage.Settle();
        return true;
    }
    options::CAudioOutputPage& Audio() { return m_dialog->AudioOutput(); }
    options::CWaveOutPanel& WaveOut() { return *Audio().WaveOutPanel(); }
    options::CVSTPaths& Vst() { return m_dialog->VstPaths(); }
    static void Click(gui::CControl& control) {
        QTest::mouseClick(control.Widget(), Qt::LeftButton, {},
                          QPoint(control.Width() / 2, control.Height() / 2));
    }
    static void Key(gui::CControl& control, Qt::Key key, int times = 1) {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(control.Widget(), key);
    }
    // Picks an entry of a combo box with the keyboard, as a user would.
    static void Choose(gui::CComboBox& box, int index) {
        QComboBox* combo = box.Combo();
        while (combo->currentIndex() < index)
            QTest::keyClick(combo, Qt::Key_Down);
        while (combo->currentIndex() > index)
            QTest::keyClick(combo, Qt::Key_Up);
    }
    // Clicks a page's icon in the icon list.
    void ClickPage(int page) {
        QListWidget* list = m_dialog->PageList().List();
        const QRect rect = list->visualItemRect(list->item(page));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        m_stage.Settle();
    }
    bool Asked(const QString& start) const {
        for (const QString& question : m_stage.dialogs.asked)
            if (question.startsWith(start)) return true;
        return false;
    }

    gui_test::Stage m_stage;
    fs::path m_folder;
    fs::path m_file;
    Options m_options;
    std::unique_ptr<COutputDriverManager> m_drivers;
    std::unique_ptr<COptionsDialog> m_dialog;
    std::vector<int32_t> m_switches;
    bool m_switchWorks = true;
    int m_saves = 0;
};

#define OPEN_OR_SKIP()                                                                                       \
    if (!Open()) GTEST_SKIP() << "ALSA's null and file devices are not available"

TEST_F(OptionsDialogTest, TheLatencySliderReadsTheSquaredMappingAndItsEnds) {
    OPEN_OR_SKIP();
    gui::CSlider& slider = WaveOut().LatencySlider();
    // 150 ms starts the slider at sqrt(140 / 390).
    EXPECT_NEAR(slider.Value(), std::sqrt(140.0 / 390.0), 1e-4);
    EXPECT_EQ(WaveOut().LatencyLabel().Text(), "Latency: 150ms");
    slider.Widget()->setFocus();
    Key(slider, Qt::Key_Home);
    EXPECT_EQ(WaveOut().LatencyLabel().Text(), "Latency: 10ms");
    Key(slider, Qt::Key_End);
    EXPECT_EQ(WaveOut().LatencyLabel().Text(), "Latency: 400ms");
    Key(slider, Qt::Key_Home);
    Key(slider, Qt::Key_PageUp, 5); // the middle
    EXPECT_EQ(WaveOut().LatencyLabel().Text(), "Latency: 107ms");
    // The record has it at once; the driver only on Apply, which restarts the same driver.
    EXPECT_EQ(m_options.waveOutLatency, 107);
    EXPECT_EQ(m_drivers->WaveOut()->CurrentLatency(), 150);
    EXPECT_TRUE(m_switches.empty());
    Click(m_dialog->ApplyButton());
    EXPECT_EQ(m_drivers->WaveOut()->CurrentLatency(), 107);
    EXPECT_EQ(m_switches, std::vector<int32_t>{0});
}

TEST_F(OptionsDialogTest, AStoredLatencyOutsideTheSlidersRangeStartsItAtAnEnd) {
    m_options.waveOutLatency = 1000;
    OPEN_OR_SKIP();
    EXPECT_FLOAT_EQ(WaveOut().LatencySlider().Value(), 1.0f);
    EXPECT_EQ(WaveOut().LatencyLabel().Text(), "Latency: 1000ms");
    m_dialog.reset();
    m_drivers.reset();
    m_options.waveOutLatency = 5;
    ASSERT_TRUE(Open());
    EXPECT_FLOAT_EQ(WaveOut().LatencySlider().Value(), 0.0f);
    EXPECT_EQ(WaveOut().LatencyLabel().Text(), "Latency: 5ms");
    // Opening and looking changes nothing.
    EXPECT_FALSE(m_dialog->ApplyButton().IsEnabled());
}

TEST_F(OptionsDialogTest, TheDriverBoxListsTheDriversAndShowsOnlyTheChosenPanel) {
    OPEN_OR_SKIP();
    gui::CComboBox& box = Audio().DriverBox();
    ASSERT_EQ(box.Count(), 2);
    EXPECT_EQ(box.EntryText(0), "Wave Out");
    EXPECT_EQ(box.EntryText(1), "ASIO");
    EXPECT_EQ(box.Selection(), 0);
    EXPECT_TRUE(Audio().WaveOutPanel()->IsVisible());
    EXPECT_FALSE(Audio().AsioPanel()->IsVisible());
    EXPECT_EQ(Audio().WaveOutPanel()->Caption(), "Wave Out Options");
    gui_test::Screenshot(m_dialog->Widget(), "options_audio_output");

    Choose(box, 1);
    EXPECT_FALSE(Audio().WaveOutPanel()->IsVisible());
    EXPECT_TRUE(Audio().AsioPanel()->IsVisible());
    EXPECT_EQ(Audio().AsioPanel()->Caption(), "ASIO Out Options");
    // No JACK server: nothing to choose, and the panel says what to do.
    EXPECT_EQ(Audio().AsioPanel()->DeviceBox().Count(), 0);
    EXPECT_TRUE(Audio().AsioPanel()->NoteLabel().Text().contains("No JACK server"));
    EXPECT_EQ(m_options.driverIndex, 1);
    EXPECT_TRUE(m_dialog->ApplyButton().IsEnabled());
    m_stage.Settle();
    gui_test::Screenshot(m_dialog->Widget(), "options_asio_no_server");

    // Back to the driver that plays: nothing to switch.
    Choose(box, 0);
    EXPECT_TRUE(Audio().WaveOutPanel()->IsVisible());
    Click(m_dialog->ApplyButton());
    EXPECT_TRUE(m_switches.empty());
}

TEST_F(OptionsDialogTest, ApplyIsEnabledByAChangeAndDisabledAfterwardsAndWritesTheFile) {
    OPEN_OR_SKIP();
    EXPECT_FALSE(m_dialog->ApplyButton().IsEnabled());
    // A click on the disabled button does nothing.
    Click(m_dialog->ApplyButton());
    EXPECT_EQ(m_saves, 0);
    Choose(WaveOut().DeviceBox(), 1);
    EXPECT_TRUE(m_dialog->ApplyButton().IsEnabled());
    EXPECT_EQ(m_options.waveOutDevice, 1);
    Click(m_dialog->ApplyButton());
    EXPECT_FALSE(m_dialog->ApplyButton().IsEnabled());
    EXPECT_EQ(m_saves, 1);
    EXPECT_EQ(m_drivers->WaveOut()->CurrentDevice(), 1);
    EXPECT_EQ(m_switches, std::vector<int32_t>{0});
    Options read = DefaultOptions();
    ASSERT_EQ(ReadOptions(read, m_file).state, OptionsReadResult::State::Read);
    EXPECT_EQ(read.waveOutDevice, 1);
    // Opening the open window again keeps what is pending.
    Choose(WaveOut().DeviceBox(), 0);
    m_dialog->Open();
    EXPECT_EQ(WaveOut().DeviceBox().Selection(), 0);
    EXPECT_TRUE(m_dialog->ApplyButton().IsEnabled());
    Click(m_dialog->ApplyButton());
    EXPECT_EQ(m_drivers->WaveOut()->CurrentDevice(), 0);
    EXPECT_EQ(m_switches.size(), 2u);
    // Applying again without a change switches nothing.
    m_dialog->Apply();
    EXPECT_EQ(m_switches.size(), 2u);
}

TEST_F(OptionsDialogTest, ChoosingADeviceRefillsTheFormatsKeepingTheCurrentOne) {
    OPEN_OR_SKIP();
    gui::CComboBox& formats = WaveOut().FormatBox();
    ASSERT_GT(formats.Count(), 0);
    // Ascending flag order: 11.025 kHz first.
    EXPECT_TRUE(formats.EntryText(0).startsWith("11.0kHz")) << formats.EntryText(0).toStdString();
    EXPECT_EQ(formats.EntryText(formats.Selection()), "44.1kHz, 16bit, Stereo");
    Choose(formats, 0);
    EXPECT_EQ(WaveOut().ChosenFormat(), 0x1);
    EXPECT_EQ(m_options.waveOutFormat, 0x1);
    Choose(WaveOut().DeviceBox(), 1);
    EXPECT_EQ(formats.EntryText(formats.Selection()), "11.0kHz, 8bit, Mono");
    Click(m_dialog->ApplyButton());
    EXPECT_EQ(m_drivers->WaveOut()->CurrentFormat(), 0x1);
}

TEST_F(OptionsDialogTest, ChoosingAnotherDriverSwitchesOnApplyAndAFailureIsTold) {
    OPEN_OR_SKIP();
    Choose(Audio().DriverBox(), 1);
    EXPECT_TRUE(m_switches.empty()); // not before Apply
    m_switchWorks = false;
    Click(m_dialog->ApplyButton());
    EXPECT_EQ(m_switches, std::vector<int32_t>{1});
    EXPECT_TRUE(Asked("error: The audio output \"ASIO\" could not be started.\nDevice Busy"));
    EXPECT_FALSE(m_dialog->ApplyButton().IsEnabled());
}

TEST_F(OptionsDialogTest, TheVstPathsPageAddsAndRemovesFoldersThatReachTheOptionsFile) {
    m_options.vstFolders = {"/usr/lib/vst"};
    OPEN_OR_SKIP();
    ClickPage(COptionsDialog::kVstPaths);
    EXPECT_TRUE(Vst().IsVisible());
    EXPECT_FALSE(Audio().IsVisible());
    gui::CToolBar& bar = Vst().ToolBar();
    ASSERT_EQ(bar.ButtonCount(), 2);
    EXPECT_EQ(bar.Button(0)->ToolTip(), "Add Path...");
    EXPECT_EQ(bar.Button(1)->ToolTip(), "Remove Selected Path");
    EXPECT_FALSE(bar.Button(1)->IsEnabled()); // nothing selected

    // A cancelled browser adds nothing.
    Click(*bar.Button(0));
    EXPECT_TRUE(Asked("folder: Select VST PlugIn Folder"));
    EXPECT_EQ(Vst().List().Count(), 1);
    EXPECT_FALSE(m_dialog->ApplyButton().IsEnabled());

    m_stage.dialogs.folders = {QString("/opt/plugins/vst/"), QString("/home/me/.vst"),
                               QString("/opt/plugins/vst")};
    Click(*bar.Button(0));
    Click(*bar.Button(0));
    Click(*bar.Button(0)); // already listed: selected, not listed twice
    EXPECT_EQ(m_options.vstFolders,
              (std::vector<std::string>{"/usr/lib/vst", "/opt/plugins/vst", "/home/me/.vst"}));
    ASSERT_EQ(Vst().List().Count(), 3);
    EXPECT_EQ(Vst().List().EntryText(1), "/opt/plugins/vst");
    EXPECT_EQ(Vst().List().Selection(), 1);
    EXPECT_TRUE(m_dialog->ApplyButton().IsEnabled());
    m_stage.Settle();
    gui_test::Screenshot(m_dialog->Widget(), "options_vst_paths");

    // Remove the first: the user selects it in the list.
    QListWidget* list = Vst().List().List();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    Click(*bar.Button(1));
    EXPECT_EQ(m_options.vstFolders, (std::vector<std::string>{"/opt/plugins/vst", "/home/me/.vst"}));
    EXPECT_EQ(Vst().List().EntryText(0), "/opt/plugins/vst");

    Click(m_dialog->ApplyButton());
    EXPECT_TRUE(m_switches.empty()); // the audio page had no change
    Options read = DefaultOptions();
    ASSERT_EQ(ReadOptions(read, m_file).state, OptionsReadResult::State::Read);
    EXPECT_EQ(read.vstFolders, (std::vector<std::string>{"/opt/plugins/vst", "/home/me/.vst"}));

    // Removing every folder leaves an empty list in the file, not the defaults.
    Click(*bar.Button(1));
    Click(*bar.Button(1));
    EXPECT_EQ(Vst().List().Count(), 0);
    EXPECT_FALSE(bar.Button(1)->IsEnabled());
    m_dialog->Apply();
    read = DefaultOptions();
    ASSERT_EQ(ReadOptions(read, m_file).state, OptionsReadResult::State::Read);
    EXPECT_TRUE(read.vstFolders.empty());
}

TEST_F(OptionsDialogTest, ClosingWithPendingChangesAppliesThemAndClosingWithoutWritesNothing) {
    OPEN_OR_SKIP();
    m_dialog->CloseButton().Widget()->setFocus();
    Click(m_dialog->CloseButton());
    EXPECT_FALSE(m_dialog->IsVisible());
    EXPECT_EQ(m_saves, 0);
    EXPECT_TRUE(m_switches.empty());

    m_dialog->Open();
    m_stage.Settle();
    WaveOut().LatencySlider().Widget()->setFocus();
    Key(WaveOut().LatencySlider(), Qt::Key_End);
    // The window's close box.
    m_dialog->Widget()->close();
    m_stage.Settle();
    EXPECT_FALSE(m_dialog->IsVisible());
    EXPECT_EQ(m_saves, 1);
    EXPECT_EQ(m_switches, std::vector<int32_t>{0});
    EXPECT_EQ(m_drivers->WaveOut()->CurrentLatency(), 400);
    EXPECT_FALSE(m_dialog->HasChanges());

    // Escape closes too, applying what is pending.
    m_dialog->Open();
    m_stage.Settle();
    Choose(Audio().DriverBox(), 1);
    QTest::keyClick(m_dialog->Widget(), Qt::Key_Escape);
    EXPECT_FALSE(m_dialog->IsVisible());
    EXPECT_EQ(m_switches, (std::vector<int32_t>{0, 1}));
    Options read = DefaultOptions();
    ASSERT_EQ(ReadOptions(read, m_file).state, OptionsReadResult::State::Read);
    EXPECT_EQ(read.waveOutLatency, 400);
    EXPECT_EQ(read.driverIndex, 1);
}

TEST_F(OptionsDialogTest, WithoutLiveOutputTheAudioPageSaysSoAndTheFoldersStillSave) {
    COptionsDialog::Hooks hooks;
    hooks.saveOptions = [this] {
        ++m_saves;
        return WriteOptions(m_options, m_file);
    };
    COptionsDialog dialog(m_options, nullptr, hooks);
    dialog.Build(nullptr);
    dialog.Open();
    m_stage.Settle();
    EXPECT_EQ(dialog.AudioOutput().WaveOutPanel(), nullptr);
    EXPECT_FALSE(dialog.AudioOutput().DriverBox().IsEnabled());
    m_stage.dialogs.folders = {QString("/srv/vst")};
    dialog.ShowPage(COptionsDialog::kVstPaths);
    Click(*dialog.VstPaths().ToolBar().Button(0));
    EXPECT_TRUE(dialog.ApplyButton().IsEnabled());
    Click(dialog.CloseButton());
    EXPECT_EQ(m_saves, 1);
    Options read = DefaultOptions();
    ASSERT_EQ(ReadOptions(read, m_file).state, OptionsReadResult::State::Read);
    EXPECT_EQ(read.vstFolders.back(), "/srv/vst");
}

TEST_F(OptionsDialogTest, AFileThatCannotBeWrittenIsToldAndApplyIsNotCalledDone) {
    OPEN_OR_SKIP();
    // A plain file where the options folder should be: nothing can be written under it.
    fs::create_directories(m_folder.parent_path());
    { std::ofstream(m_folder) << "in the way"; }
    Choose(WaveOut().DeviceBox(), 1);
    EXPECT_FALSE(m_dialog->Apply());
    EXPECT_TRUE(Asked("error: The options could not be saved to"));
    fs::remove(m_folder);
}

} // namespace
