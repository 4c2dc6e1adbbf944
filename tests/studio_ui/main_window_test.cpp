// The main window over an offline application: its pages, the tool bar's tempo, volume, xrun and
// clip read-outs, File's commands through the project document (the demo song, a corrupt file,
// "Save changes?", the autosave), the keys, and closing through "Save changes?".
#include "app/application.h"
#include "app/window_models.h"
#include "audio_out/audio_output_driver.h"
#include "engine/machine_container.h"
#include "gui/peak_meter.h"
#include "gui/slider.h"
#include "gui/tab_control.h"
#include "gui/up_down.h"
#include "studio_ui/hd_recorder/hd_recorder_view.h"
#include "studio_ui/main_window/main_window.h"
#include "studio_ui/project_info/project_info_page.h"
#include "studio_ui/studio_view/machine_frame.h"
#include "studio_ui/studio_view/studio_view.h"
#include "tests/gui/gui_test_support.h"
#include "tests/studio_ui/studio_test_support.h"

#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using main_window::CMainWindow;

// A driver that plays nowhere and misses the buffers the test tells it to.
class CXrunDriver : public CAudioOutputDriver {
public:
    void SetCallback(RenderCallback) override {}
    int32_t GetChannels() override { return 2; }
    int32_t GetBufferSize() override { return 256; }
    int32_t GetSampleRate() override { return 44100; }
    const char* GetName() override { return "Wave Out"; }
    void Start() override {}
    void Stop() override {}
    bool IsAvailable() override { return true; }
    std::string GetDeviceName() override { return "hw:7"; }
    void Miss() { CountXrun(); }
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = studio_test::FreshTestFolder("main-window-");
        CApplication::Settings settings = studio_test::OfflineSettings(m_messages);
        m_application = std::make_unique<CApplication>(settings);
        m_recent = std::make_unique<CRecentProjects>(m_root / "recent.txt");
    }
    void TearDown() override {
        m_window.reset();
        m_application.reset();
        fs::remove_all(m_root);
    }
    // The window as the program makes it, at a fixed size instead of maximised.
    void Open(std::function<std::string()> driverProblem = {}) {
        CMainWindow::Models models = WindowModels(*m_application, m_recent.get());
        models.currentDriver = [this]() -> CAudioOutputDriver* { return &m_driver; };
        models.driverProblem = std::move(driverProblem);
        m_window = std::make_unique<CMainWindow>(std::move(models));
        m_window->Build(1280, 760);
        m_window->Open(false);
        m_stage.Settle();
    }
    CStudio& Studio() { return *m_application->Studio(); }
    float HostTempo() { return Studio().Host()->GetBPM(); }
    // Types a value into the tempo field and commits it with Enter.
    void TypeTempo(const QString& text) {
        QLineEdit* line = m_window->TempoField().SpinBox()->findChild<QLineEdit*>();
        line->selectAll();
        QTest::keyClicks(line, text);
        QTest::keyClick(line, Qt::Key_Return);
    }
    void Trigger(const QString& entry) {
        QAction* action = m_window->MenuAction(entry);
        ASSERT_NE(action, nullptr) << entry.toStdString();
        action->trigger();
    }
    std::vector<QString> Asked(const QString& kind) {
        std::vector<QString> found;
        for (const QString& question : m_stage.dialogs.asked)
            if (question.startsWith(kind)) found.push_back(question);
        return found;
    }
    std::string Title() { return m_window->Title().toStdString(); }
    static std::string ReadAll(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::path Demo() { return fs::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp"; }

    gui_test::Stage m_stage;
    fs::path m_root;
    std::ostringstream m_messages;
    std::unique_ptr<CApplication> m_application;
    std::unique_ptr<CRecentProjects> m_recent;
    CXrunDriver m_driver;
    std::unique_ptr<CMainWindow> m_window;
};

TEST_F(MainWindowTest, ThePagesAreTabbedInOrderAndOnlyTheChosenOneShows) {
    // Two recorder rows for the recorder page's picture.
    Studio().AddMachine(m_application->Registry()->FindByName("QX HD Recorder Track (Stereo)"), 40, 300);
    Studio().AddMachine(m_application->Registry()->FindByName("QX HD Recorder Track (Mono)"), 300, 300);
    Open();
    const QStringList expected{"Studio", "Pattern Editor", "Sequence Editor", "HD Recorder", "Project Info"};
    ASSERT_EQ(m_window->Tabs().PageCount(), expected.size());
    for (int page = 0; page < expected.size(); ++page)
        EXPECT_EQ(m_window->Tabs().PageCaption(page), expected[page]);
    EXPECT_EQ(m_window->CurrentPage(), CMainWindow::kStudio);

    QTabBar* bar = m_window->Tabs().TabBar();
    for (int page : {CMainWindow::kHDRecorder, CMainWindow::kPatternEditor, CMainWindow::kProjectInfo,
                     CMainWindow::kStudio, CMainWindow::kSequenceEditor}) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
        m_stage.Settle();
        EXPECT_EQ(m_window->CurrentPage(), page);
        for (int other = 0; other < CMainWindow::kPageCount; ++other)
            EXPECT_EQ(m_window->PageControl(other)->IsVisible(), other == page) << page << " " << other;
    }
    // Every page fills the window below the tabs.
    const gui::CControl* tabs = &m_window->Tabs();
    for (int page = 0; page < CMainWindow::kPageCount; ++page) {
        EXPECT_EQ(m_window->PageControl(page)->Y(), tabs->Y() + tabs->Height());
        EXPECT_EQ(m_window->PageControl(page)->Y() + m_window->PageControl(page)->Height(), m_window->Height());
        EXPECT_EQ(m_window->PageControl(page)->Width(), m_window->Width());
    }

    m_window->ShowPage(CMainWindow::kHDRecorder);
    m_stage.Settle();
    EXPECT_EQ(m_window->HDRecorder().RowCount(), 2);
    gui_test::Screenshot(m_window->Widget(), "main_window_hd_recorder");
    // The project text typed on its page is the project's, and an edit.
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(CMainWindow::kProjectInfo).center());
    const uint64_t edits = m_application->Project().ChangeCount();
    QTest::keyClicks(m_window->ProjectInfo().Editor(), "Demo evening, take 3. Bass through the delay.");
    m_stage.clock.Advance(CMainWindow::kTickMs);
    m_stage.Settle();
    EXPECT_EQ(m_application->Project().Info(), "Demo evening, take 3. Bass through the delay.");
    EXPECT_GT(m_application->Project().ChangeCount(), edits);
    gui_test::Screenshot(m_window->Widget(), "main_window_project_info");
}

TEST_F(MainWindowTest, TheToolBarCarriesItsControlsWithTheirTips) {
    Open();
    ASSERT_EQ(m_window->ToolBar().ButtonCount(), 3);
    EXPECT_EQ(m_window->ToolBar().Button(0)->ToolTip(), "New Project");
    EXPECT_EQ(m_window->ToolBar().Button(1)->ToolTip(), "Open Project");
    EXPECT_EQ(m_window->ToolBar().Button(2)->ToolTip(), "Save Project");
    EXPECT_EQ(m_window->TempoField().Widget()->toolTip(), "Beats Per Minute");
    EXPECT_EQ(m_window->TempoField().Minimum(), 1);
    EXPECT_EQ(m_window->TempoField().Maximum(), 1000);
    EXPECT_EQ(m_window->TempoField().Step(), 1);
    EXPECT_EQ(m_window->VolumeSlider().Widget()->toolTip(), "Volume");
    EXPECT_EQ(m_window->Meter().Widget()->toolTip(), "Peak Meter (3dB Units)");
    EXPECT_EQ(m_window->Meter().Width(), 96);
    EXPECT_EQ(m_window->Meter().Height(), 18);
    EXPECT_EQ(&m_window->Meter().Model(), &Studio().PeakMeter());
    // Left to right without overlaps: buttons, "BPM:", tempo, volume, meter, clip light, CPU, xruns.
    const std::vector<const gui::CControl*> order{
        m_window->ToolBar().Button(2), &m_window->TempoField(), &m_window->VolumeSlider(), &m_window->Meter(),
        &m_window->ClipLamp(),         &m_window->CpuReadOut(), &m_window->XrunReadOut()};
    for (size_t i = 1; i < order.size(); ++i) {
        EXPECT_GE(order[i]->X(), order[i - 1]->X() + order[i - 1]->Width()) << i;
        EXPECT_LE(order[i]->Y() + order[i]->Height(), CMainWindow::kToolBarHeight) << i;
    }
    // A loud signal on the meter for the picture.
    Studio().PeakMeter().InputAbsolute(0.9f, 0.5f);
    m_stage.clock.Advance(CMainWindow::kTickMs);
    m_stage.Settle();
    gui_test::Screenshot(m_window->ToolBar().Widget(), "main_window_tool_bar");
}

TEST_F(MainWindowTest, TheTempoFieldClampsToItsRangeSetsTheHostTempoAndMarksTheTitle) {
    Open();
    EXPECT_EQ(Title().find('*'), std::string::npos) << Title();
    // The ends of the range hold against the arrows.
    TypeTempo("1000");
    EXPECT_EQ(HostTempo(), 1000.0f);
    QTest::keyClick(m_window->TempoField().SpinBox(), Qt::Key_Up);
    EXPECT_EQ(m_window->TempoField().Value(), 1000);
    EXPECT_EQ(HostTempo(), 1000.0f);
    TypeTempo("1");
    EXPECT_EQ(HostTempo(), 1.0f);
    QTest::keyClick(m_window->TempoField().SpinBox(), Qt::Key_Down);
    EXPECT_EQ(m_window->TempoField().Value(), 1);
    EXPECT_EQ(HostTempo(), 1.0f);
    // A fourth digit past 1000 is refused as it is typed: "2000" commits 200.
    TypeTempo("2000");
    EXPECT_EQ(m_window->TempoField().Value(), 200);
    EXPECT_EQ(HostTempo(), 200.0f);
    // Nothing typed in range is refused.
    TypeTempo("0");
    EXPECT_GE(m_window->TempoField().Value(), 1);
    EXPECT_EQ(HostTempo(), m_window->TempoField().Value());
    TypeTempo("140");
    EXPECT_EQ(HostTempo(), 140.0f);
    // The edit shows in the title at once.
    EXPECT_NE(Title().find('*'), std::string::npos) << Title();
    // The arrow keys step by one.
    QTest::keyClick(m_window->TempoField().SpinBox(), Qt::Key_Up);
    EXPECT_EQ(HostTempo(), 141.0f);
}

TEST_F(MainWindowTest, OpeningTheDemoSongShowsItsTempoAndEveryFrame) {
    Open();
    m_stage.dialogs.openFiles.push_back(QString::fromStdString(Demo().string()));
    QTest::mouseClick(m_window->ToolBar().Button(1)->Widget(), Qt::LeftButton);
    m_stage.Settle();
    EXPECT_TRUE(Asked("error").empty());
    EXPECT_EQ(m_application->Project().Path(), Demo());
    EXPECT_EQ(HostTempo(), 32.0f); // the demo song's own
    EXPECT_EQ(m_window->TempoField().Value(), 32);
    const auto& frames = m_window->StudioView().Frames();
    ASSERT_EQ(frames.size(), Studio().Frames().size());
    EXPECT_GE(frames.size(), 9u);
    for (const auto& frame : frames) {
        EXPECT_TRUE(frame->IsVisible()) << frame->Container()->Name();
        EXPECT_EQ(frame->X(), frame->Container()->m_x);
        EXPECT_EQ(frame->Y(), frame->Container()->m_y);
    }
    // No frame covers another at its real size.
    for (size_t a = 0; a < frames.size(); ++a)
        for (size_t b = a + 1; b < frames.size(); ++b) {
            const QRect first(frames[a]->X(), frames[a]->Y(), frames[a]->Width(), frames[a]->Height());
            const QRect second(frames[b]->X(), frames[b]->Y(), frames[b]->Width(), frames[b]->Height());
            EXPECT_FALSE(first.intersects(second))
                << frames[a]->Container()->Name() << " and " << frames[b]->Container()->Name();
        }
    EXPECT_NE(Title().find("demo.tbp"), std::string::npos) << Title();
    EXPECT_EQ(Title().find('*'), std::string::npos) << Title();
    // It went to the recent projects.
    ASSERT_FALSE(m_recent->Entries().empty());
    EXPECT_EQ(m_recent->Entries().front(), Demo());
    gui_test::Screenshot(m_window->Widget(), "main_window_demo");
}

TEST_F(MainWindowTest, ACorruptFileShowsOneErrorBoxAndKeepsTheProject) {
    Open();
    std::vector<char> bytes;
    {
        std::ifstream in(Demo(), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    bytes.resize(bytes.size() / 2);
    const fs::path corrupt = m_root / "corrupt.tbp";
    std::ofstream(corrupt, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const size_t framesBefore = Studio().Frames().size();

    m_stage.dialogs.openFiles.push_back(QString::fromStdString(corrupt.string()));
    Trigger("Open...");
    const auto errors = Asked("error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors.front().toStdString(), "error: File '" + corrupt.string() + "' Is Corrupt");
    EXPECT_EQ(Studio().Frames().size(), framesBefore);
    m_stage.Settle(); // the surface makes the windows of frames put back after the studio's news
    EXPECT_EQ(m_window->StudioView().Frames().size(), framesBefore);
    EXPECT_TRUE(m_application->Project().Path().empty());
}

TEST_F(MainWindowTest, SaveChangesIsAskedOnlyWhenTheProjectChanged) {
    Open();
    // Unchanged: New goes ahead without a question.
    QTest::mouseClick(m_window->ToolBar().Button(0)->Widget(), Qt::LeftButton);
    EXPECT_TRUE(Asked("question").empty());

    TypeTempo("99");
    m_stage.dialogs.answers.push_back(gui::MessageAnswer::kCancel);
    Trigger("New");
    ASSERT_EQ(Asked("question").size(), 1u);
    EXPECT_EQ(Asked("question").front(), "question: Save changes to 'Untitled'?");
    EXPECT_EQ(HostTempo(), 99.0f); // cancelled: the project stays

    m_stage.dialogs.answers.push_back(gui::MessageAnswer::kNo);
    Trigger("New");
    EXPECT_EQ(Asked("question").size(), 2u);
    EXPECT_EQ(Title().find('*'), std::string::npos) << Title();
    // New shows the new project's tempo.
    EXPECT_EQ(m_window->TempoField().Value(), std::round(HostTempo()));
}

TEST_F(MainWindowTest, TheAutosaveWritesARecoveryFileWithinOnePeriodAndASaveRemovesIt) {
    Open();
    const fs::path song = m_root / "song";
    m_stage.dialogs.saveFiles.push_back(QString::fromStdString(song.string()));
    Trigger("Save As...");
    const fs::path saved = m_root / "song.tbp"; // the project's type is added
    ASSERT_TRUE(fs::exists(saved));
    const fs::path recovery = m_root / "song.tbp.recovery";
    EXPECT_EQ(m_window->Document().RecoveryPath(), recovery);

    const std::string savedBytes = ReadAll(saved);
    TypeTempo("150");
    m_stage.clock.Advance(CProjectDocument::kAutosavePeriodMs - 1000);
    EXPECT_FALSE(fs::exists(recovery));
    m_stage.clock.Advance(1000 + 2 * CMainWindow::kTickMs);
    EXPECT_TRUE(fs::exists(recovery));
    // The user's own file is left as it was saved.
    EXPECT_EQ(ReadAll(saved), savedBytes);
    EXPECT_NE(ReadAll(recovery), savedBytes); // it holds the new tempo
    EXPECT_NE(Title().find('*'), std::string::npos);

    Trigger("Save");
    EXPECT_FALSE(fs::exists(recovery));
    EXPECT_EQ(Title().find('*'), std::string::npos) << Title();
    EXPECT_TRUE(Asked("error").empty());
}

TEST_F(MainWindowTest, TheVolumeSliderSetsTheMasterVolumeTarget) {
    Open();
    gui::CVolumeSlider& slider = m_window->VolumeSlider();
    QTest::mouseClick(slider.Widget(), Qt::LeftButton, {}, QPoint(3, slider.Height() / 2));
    const float low = Studio().MasterVolume();
    EXPECT_EQ(low, slider.Target());
    QTest::mouseClick(slider.Widget(), Qt::LeftButton, {}, QPoint(slider.Width() - 3, slider.Height() / 2));
    EXPECT_EQ(Studio().MasterVolume(), slider.Target());
    EXPECT_GT(Studio().MasterVolume(), low);
}

TEST_F(MainWindowTest, TheXrunCounterAndTheClipLightClearOnAClick) {
    Open();
    EXPECT_EQ(m_window->XrunReadOut().Text(), "Xruns: 0");
    for (int i = 0; i < 3; ++i) m_driver.Miss();
    m_stage.clock.Advance(CMainWindow::kTickMs);
    EXPECT_EQ(m_window->XrunReadOut().Text(), "Xruns: 3");
    QTest::mouseClick(m_window->XrunReadOut().Widget(), Qt::LeftButton);
    EXPECT_EQ(m_driver.GetXruns(), 0u);
    EXPECT_EQ(m_window->XrunReadOut().Text(), "Xruns: 0");

    EXPECT_FALSE(m_window->ClipLamp().IsLit());
    Studio().ClipLight().Input(1.5f);
    m_stage.clock.Advance(CMainWindow::kTickMs);
    EXPECT_TRUE(m_window->ClipLamp().IsLit());
    // It stays lit (latched) until clicked.
    m_stage.clock.Advance(1000);
    EXPECT_TRUE(m_window->ClipLamp().IsLit());
    QTest::mouseClick(m_window->ClipLamp().Widget(), Qt::LeftButton);
    EXPECT_FALSE(m_window->ClipLamp().IsLit());
    EXPECT_FALSE(Studio().ClipLight().IsLit());
}

TEST_F(MainWindowTest, DeleteRemovesTheClickedFrameButNeverMasterAndSpacePlaysAndStops) {
    CMachineContainer* tone = Studio().AddMachine(m_application->Registry()->FindByName("QX Stomp"), 40, 40);
    Open();
    const size_t before = Studio().Frames().size();
    // Nothing clicked yet: Delete does nothing.
    QTest::keyClick(m_window->Widget(), Qt::Key_Delete);
    EXPECT_EQ(Studio().Frames().size(), before);

    studio_view::CMachineFrame* master = m_window->StudioView().FrameOf(Studio().MasterFrame());
    QTest::mouseClick(master->Widget(), Qt::LeftButton, {}, master->TitleArea().center());
    EXPECT_EQ(m_window->SelectedFrame(), master);
    QTest::keyClick(m_window->Widget(), Qt::Key_Delete);
    EXPECT_EQ(Studio().Frames().size(), before);

    studio_view::CMachineFrame* frame = m_window->StudioView().FrameOf(tone);
    QTest::mouseClick(frame->Widget(), Qt::LeftButton, {}, frame->TitleArea().center());
    EXPECT_EQ(m_window->SelectedFrame(), frame);
    QTest::keyClick(m_window->Widget(), Qt::Key_Delete);
    EXPECT_EQ(Studio().Frames().size(), before - 1);
    EXPECT_EQ(m_window->StudioView().Frames().size(), before - 1);
    EXPECT_EQ(m_window->SelectedFrame(), nullptr);
    QTest::keyClick(m_window->Widget(), Qt::Key_Delete); // nothing left selected
    EXPECT_EQ(Studio().Frames().size(), before - 1);

    // Space goes to the window once a frame was clicked, even after typing a tempo.
    CSequenceEditor& song = m_application->Sequencer()->Song();
    EXPECT_FALSE(song.IsPlaying());
    TypeTempo("130");
    QTest::mouseClick(master->Widget(), Qt::LeftButton, {}, master->TitleArea().center());
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(song.IsPlaying());
    EXPECT_EQ(HostTempo(), 130.0f);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_FALSE(song.IsPlaying());
}

TEST_F(MainWindowTest, ClosingTheWindowAsksToSaveChangesAndCancelKeepsItOpen) {
    Open();
    TypeTempo("77");
    m_stage.dialogs.answers.push_back(gui::MessageAnswer::kCancel);
    EXPECT_FALSE(m_window->Widget()->close());
    EXPECT_TRUE(m_window->IsVisible());
    EXPECT_EQ(Asked("question").size(), 1u);
    m_stage.dialogs.answers.push_back(gui::MessageAnswer::kNo);
    Trigger("Quit");
    EXPECT_FALSE(m_window->IsVisible());
    EXPECT_EQ(Asked("question").size(), 2u);
}

TEST_F(MainWindowTest, AnAudioOutputProblemIsToldOnceWithDriverDeviceReasonAndTheWayToOptions) {
    Open([] { return std::string("Device Or Resource Busy"); });
    m_window->Start(std::nullopt);
    m_window->Start(std::nullopt);
    const auto warnings = Asked("warning");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(warnings.front().contains("Reason: Device Or Resource Busy")) << warnings.front().toStdString();
    EXPECT_TRUE(warnings.front().contains("Driver: Wave Out")) << warnings.front().toStdString();
    EXPECT_TRUE(warnings.front().contains("Device: hw:7")) << warnings.front().toStdString();
    EXPECT_TRUE(warnings.front().contains("Options...")) << warnings.front().toStdString();
    EXPECT_TRUE(Asked("error").empty());
}

} // namespace

namespace {

TEST_F(MainWindowTest, AtStartTheUntitledRecoveryFileIsOfferedAndLoadsWithItsTempo) {
    // What an earlier session's autosave left: a project at 77 BPM.
    Studio().SetTempo(77.0f);
    const fs::path recovery = UntitledRecoveryPath();
    fs::create_directories(recovery.parent_path());
    m_application->Project().SaveCopy(recovery);
    Studio().SetTempo(120.0f);
    Open();
    m_stage.dialogs.answers.push_back(gui::MessageAnswer::kYes);
    m_window->Start(std::nullopt);
    const auto questions = Asked("question");
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions.front().contains(QString::fromStdString(recovery.string()))) << questions.front().toStdString();
    EXPECT_EQ(HostTempo(), 77.0f);
    EXPECT_EQ(m_window->TempoField().Value(), 77);
    // Recovered edits are unsaved edits.
    EXPECT_NE(Title().find('*'), std::string::npos) << Title();
}

} // namespace
