// The HD recorder page over a real studio: rows placed and moved up, the file choice, the record
// buttons (row and master) writing complete WAV files from an offline render, the meter showing
// a row's level, the knob setting the row's volume, and the time read-out on the stepped clock.
#include "engine/machine_container.h"
#include "engine/studio.h"
#include "gui/color_manager.h"
#include "gui/heavy_knob.h"
#include "gui/label.h"
#include "gui/peak_meter.h"
#include "gui/scroll_bar.h"
#include "gui/time_display.h"
#include "gui/tool_bar.h"
#include "gui/window.h"
#include "host_machines/hd_track_machine.h"
#include "host_machines/wav/wav_file.h"
#include "studio_ui/hd_recorder/hd_recorder_view.h"
#include "tests/gui/gui_test_support.h"
#include "tests/support/file_bytes.h"
#include "tests/support/studio_fixture.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

using hd_recorder::CHDRecorder;
using hd_recorder::CHDTrackView;

constexpr int32_t kBuffer = 256;

// What a WAV header must say for `frames` frames of the given layout.
void ExpectHeader(const std::vector<uint8_t>& bytes, uint16_t format, uint16_t channels, uint32_t frames) {
    ASSERT_GE(bytes.size(), 44u);
    const uint16_t bits = format == kWavFormatFloat ? 32 : 16;
    const uint32_t blockAlign = bits / 8u * channels;
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(At16(bytes, 20), format);
    EXPECT_EQ(At16(bytes, 22), channels);
    EXPECT_EQ(At32(bytes, 24), 44100u);
    EXPECT_EQ(At32(bytes, 28), 44100u * blockAlign);
    EXPECT_EQ(At16(bytes, 32), blockAlign);
    EXPECT_EQ(At16(bytes, 34), bits);
    EXPECT_EQ(At32(bytes, 40), frames * blockAlign);
    EXPECT_EQ(At32(bytes, 4), 36u + frames * blockAlign);
    EXPECT_EQ(bytes.size(), 44u + frames * blockAlign);
}

class HDRecorderPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_stereoInfo = new CHDTrackMachineInfoStereo(m_fixture.m_host.get());
        m_monoInfo = new CHDTrackMachineInfoMono(m_fixture.m_host.get());
        m_fixture.m_host->RegisterMachine(m_stereoInfo);
        m_fixture.m_host->RegisterMachine(m_monoInfo);
        m_master = m_fixture.m_studio->NewProject();
        m_folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / "hd_recorder_page" /
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        m_window.CreateWindow(nullptr, "HD Recorder", 0, 0, 1000, 300, false);
        m_page = std::make_unique<CHDRecorder>(CHDTrackList::Studio(), *m_fixture.m_studio);
    }
    void TearDown() override {
        m_page.reset();
        m_fixture.m_studio->Clear();
    }
    void Open() {
        m_page->Build(&m_window, 0, 0, 1000, 300);
        m_window.Show();
        m_page->Show();
        m_stage.Settle();
    }
    // A loud sine (amplitude `level`) into a new track, the track into the master.
    CMachineContainer* AddTrack(bool stereo = true, float level = 1.0f) {
        CMachineContainer* tone = m_fixture.Add(m_fixture.m_tone);
        CStudioFixture::Machine(tone)->m_frequency = 441.0;
        CStudioFixture::Machine(tone)->m_level = level;
        CMachineContainer* track =
            m_fixture.Add(stereo ? static_cast<CMachineInfo*>(m_stereoInfo) : m_monoInfo);
        EXPECT_TRUE(m_fixture.Cable(tone, track));
        EXPECT_TRUE(m_fixture.m_studio->Connect(track->FindConnector("Line Out"),
                                                m_master->FindConnector("Line In")));
        return track;
    }
    static CHDTrack* RowOf(CMachineContainer* track) {
        return static_cast<CHDTrackMachine*>(track->Machine())->Row();
    }
    void RenderBuffers(int count) {
        for (int i = 0; i < count; ++i)
            m_fixture.Render(kBuffer);
    }
    static void Click(gui::CControl* control) {
        QTest::mouseClick(control->Widget(), Qt::LeftButton, {},
                          QPoint(control->Width() / 2, control->Height() / 2));
    }
    void ChooseFile(CHDTrackView* view, const fs::path& path, int filter) {
        m_stage.dialogs.saveFiles.push_back(QString::fromStdString(path.string()));
        m_stage.dialogs.saveFilters.push_back(filter);
        Click(view->FileButton());
    }

    gui_test::Stage m_stage;
    CStudioFixture m_fixture{kBuffer};
    CHDTrackMachineInfoStereo* m_stereoInfo = nullptr;
    CHDTrackMachineInfoMono* m_monoInfo = nullptr;
    CMachineContainer* m_master = nullptr;
    fs::path m_folder;
    gui::CWindow m_window;
    std::unique_ptr<CHDRecorder> m_page;
};

TEST_F(HDRecorderPageTest, RowsSitAt42PixelStepsAndLaterRowsMoveUpWhenOneIsDeleted) {
    CMachineContainer* first = AddTrack();
    Open(); // the first row exists before the page, the others come after
    CMachineContainer* second = AddTrack(false);
    CMachineContainer* third = AddTrack();
    ASSERT_EQ(m_page->RowCount(), 3);
    EXPECT_EQ(m_page->List()->X(), 8);
    EXPECT_EQ(m_page->List()->Y(), 38);
    EXPECT_EQ(m_page->List()->Width(), 1000 - 16);
    EXPECT_EQ(m_page->List()->Height(), 300 - 46);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m_page->RowView(i)->Y(), 42 * i);
        EXPECT_EQ(m_page->RowView(i)->Height(), 42);
        EXPECT_EQ(m_page->RowView(i)->Width(), m_page->List()->Width());
    }
    EXPECT_EQ(m_page->RowView(1)->Row(), RowOf(second));
    EXPECT_EQ(m_page->RowView(0)->TrackLabel()->Text(), QString::fromStdString("Name: " + first->Name()));

    const CHDTrack* thirdRow = RowOf(third);
    m_fixture.m_studio->DeleteMachine(first);
    ASSERT_EQ(m_page->RowCount(), 2);
    EXPECT_EQ(m_page->RowView(0)->Row(), RowOf(second));
    EXPECT_EQ(m_page->RowView(0)->Y(), 0);
    EXPECT_EQ(m_page->RowView(1)->Row(), thirdRow);
    EXPECT_EQ(m_page->RowView(1)->Y(), 42);
    // A row in the middle goes the same way.
    m_fixture.m_studio->DeleteMachine(second);
    ASSERT_EQ(m_page->RowCount(), 1);
    EXPECT_EQ(m_page->RowView(0)->Row(), thirdRow);
    EXPECT_EQ(m_page->RowView(0)->Y(), 0);
    // The refresh still runs over what is left (no view of a destroyed row remains).
    m_stage.clock.Advance(200);

    // Resizing the page resizes the list and every row with it.
    m_page->MoveResize(0, 0, 700, 200);
    EXPECT_EQ(m_page->ToolBar()->Width(), 700);
    EXPECT_EQ(m_page->List()->Width(), 684);
    EXPECT_EQ(m_page->List()->Height(), 154);
    EXPECT_EQ(m_page->RowView(0)->Width(), 684);

    // Clearing the studio empties the page.
    m_fixture.m_studio->Clear();
    EXPECT_EQ(m_page->RowCount(), 0);
    m_stage.clock.Advance(200);
}

TEST_F(HDRecorderPageTest, MoreRowsThanTheListShowsScrollAndFewerDoNot) {
    Open();
    std::vector<CMachineContainer*> tracks;
    for (int i = 0; i < 8; ++i)
        tracks.push_back(AddTrack(i % 2 == 0));
    // The list is 254 pixels high: six rows and a part; the other 82 pixels scroll.
    gui::CScrollBar* bar = m_page->ScrollBar();
    ASSERT_TRUE(bar->IsVisible());
    EXPECT_EQ(bar->Maximum(), 8 * 42 - 254);
    EXPECT_EQ(m_page->RowView(7)->Width(), m_page->List()->Width() - hd_recorder::kScrollBarWidth);
    const auto bottomOf = [this](int index) {
        return m_page->RowView(index)->Widget()->mapTo(m_page->List()->Widget(), QPoint(0, 41)).y();
    };
    EXPECT_EQ(bottomOf(7), 7 * 42 + 41);

    // Two wheel notches down move two rows, clamped at the end.
    QWheelEvent down(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, -240), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_page->List()->Widget(), &down);
    EXPECT_EQ(bar->Value(), 82);
    EXPECT_EQ(bottomOf(7), 253); // the last row's bottom line is the list's last pixel
    bar->Bar()->setValue(10);    // as the user drags the thumb
    EXPECT_EQ(m_page->RowArea()->Y(), -10);

    // Deleting rows until they fit puts the bar away and the rows back at the top, full width.
    for (int i = 0; i < 4; ++i)
        m_fixture.m_studio->DeleteMachine(tracks[static_cast<size_t>(i)]);
    EXPECT_FALSE(bar->IsVisible());
    EXPECT_EQ(m_page->RowArea()->Y(), 0);
    EXPECT_EQ(m_page->RowView(3)->Y(), 3 * 42);
    EXPECT_EQ(m_page->RowView(3)->Width(), m_page->List()->Width());
}

TEST_F(HDRecorderPageTest, RowShowsItsControlsWithTheirTipsAndFollowsRenames) {
    CMachineContainer* track = AddTrack();
    Open();
    CHDTrackView* view = m_page->RowView(0);
    EXPECT_EQ(view->Knob()->Widget()->toolTip(), "Set Volume");
    EXPECT_EQ(view->Meter()->Widget()->toolTip(), "Peak Volume");
    EXPECT_EQ(view->Time()->Widget()->toolTip(), "Time");
    EXPECT_EQ(view->FileButton()->ToolTip(), "Select File To Save To");
    EXPECT_EQ(view->RecordButton()->ToolTip(), "Record Stream");
    EXPECT_EQ(view->TrackLabel()->Widget()->toolTip(), "Track Name");
    EXPECT_EQ(view->FileLabel()->Text(), "File:");
    EXPECT_EQ(view->Knob()->Value(), 1.0f);
    EXPECT_EQ(view->Meter()->X(), 36);
    EXPECT_EQ(view->Meter()->Y(), 8);
    EXPECT_EQ(view->Meter()->Width(), 66);
    EXPECT_EQ(view->Time()->Width(), 134);
    EXPECT_EQ(view->Time()->Text(), "00:00:00.000");
    EXPECT_EQ(m_page->MasterButton()->ToolTip(), "Record Stream");

    m_fixture.m_studio->Rename(track, "Lead Vocal");
    EXPECT_EQ(view->TrackLabel()->Text(), "Name: Lead Vocal");
}

TEST_F(HDRecorderPageTest, ChoosingAFileSetsTheRowsFileAndFormat) {
    CMachineContainer* track = AddTrack();
    Open();
    CHDTrackView* view = m_page->RowView(0);
    CHDTrack* row = RowOf(track);

    // Cancelled: nothing changes.
    Click(view->FileButton());
    ASSERT_EQ(m_stage.dialogs.asked.size(), 1u);
    EXPECT_EQ(m_stage.dialogs.asked[0], "save: Select File To Save To");
    EXPECT_TRUE(row->Path().empty());

    // The second file type records 16-bit samples; a name without extension gets ".wav".
    ChooseFile(view, m_folder / "take", 1);
    EXPECT_EQ(row->Path(), (m_folder / "take.wav").string());
    EXPECT_EQ(row->Format(), kWavFormatPcm);
    EXPECT_EQ(view->FileLabel()->Text(),
              QString::fromStdString("File: '" + (m_folder / "take.wav").string() + "'"));

    ChooseFile(view, m_folder / "float.wav", 0);
    EXPECT_EQ(row->Path(), (m_folder / "float.wav").string());
    EXPECT_EQ(row->Format(), kWavFormatFloat);

    // A name longer than the row can keep is refused, not cut short.
    ChooseFile(view, m_folder / std::string(1100, 'x'), 0);
    EXPECT_EQ(row->Path(), (m_folder / "float.wav").string());
    EXPECT_EQ(m_stage.dialogs.asked.back(), "warning: File Name Too Long (1024 Characters At Most)");
}

TEST_F(HDRecorderPageTest, RecordButtonWritesACompleteFileOfTheRenderedBuffers) {
    CMachineContainer* track = AddTrack();
    Open();
    CHDTrackView* view = m_page->RowView(0);
    CHDTrack* row = RowOf(track);

    // Without a file the button stays released and says why.
    Click(view->RecordButton());
    EXPECT_FALSE(view->RecordButton()->IsOn());
    EXPECT_FALSE(row->IsRecording());
    EXPECT_EQ(m_stage.dialogs.asked.back(), "warning: Select A File To Save To First");

    const fs::path file = m_folder / "stereo16.wav";
    ChooseFile(view, file, 1);
    Click(view->RecordButton());
    EXPECT_TRUE(view->RecordButton()->IsOn());
    EXPECT_TRUE(row->IsRecording());
    RenderBuffers(20);
    Click(view->RecordButton());
    EXPECT_FALSE(view->RecordButton()->IsOn());
    EXPECT_FALSE(row->IsRecording());
    const std::vector<uint8_t> bytes = ReadFile(file);
    ExpectHeader(bytes, kWavFormatPcm, 2, 20 * kBuffer);
    // The samples are the sine, not silence.
    int16_t loudest = 0;
    for (size_t at = 44; at + 2 <= bytes.size(); at += 2) {
        int16_t sample = 0;
        std::memcpy(&sample, bytes.data() + at, 2);
        loudest = std::max<int16_t>(loudest, static_cast<int16_t>(std::abs(sample)));
    }
    EXPECT_GT(loudest, 30000);

    // A file that cannot be made leaves the row idle and names the file.
    ChooseFile(view, m_folder / "missing-folder" / "x.wav", 0);
    Click(view->RecordButton());
    EXPECT_FALSE(view->RecordButton()->IsOn());
    EXPECT_TRUE(m_stage.dialogs.asked.back().startsWith("warning: Can't Open File <"));
}

TEST_F(HDRecorderPageTest, ChoosingANewFileWhileRecordingClosesTheOldOneComplete) {
    CMachineContainer* track = AddTrack(false);
    Open();
    CHDTrackView* view = m_page->RowView(0);
    ChooseFile(view, m_folder / "first.wav", 0);
    Click(view->RecordButton());
    RenderBuffers(3);
    ChooseFile(view, m_folder / "second.wav", 0);
    EXPECT_FALSE(RowOf(track)->IsRecording());
    EXPECT_FALSE(view->RecordButton()->IsOn());
    ExpectHeader(ReadFile(m_folder / "first.wav"), kWavFormatFloat, 1, 3 * kBuffer);
    EXPECT_FALSE(fs::exists(m_folder / "second.wav"));
}

TEST_F(HDRecorderPageTest, MasterButtonRecordsEveryRowWithAFileAndLeavesTheOthersIdle) {
    CMachineContainer* withFile = AddTrack();
    CMachineContainer* withoutFile = AddTrack();
    Open();
    ChooseFile(m_page->RowView(0), m_folder / "all.wav", 0);
    Click(m_page->MasterButton());
    EXPECT_TRUE(m_page->MasterButton()->IsOn());
    EXPECT_TRUE(RowOf(withFile)->IsRecording());
    EXPECT_TRUE(m_page->RowView(0)->RecordButton()->IsOn());
    EXPECT_FALSE(RowOf(withoutFile)->IsRecording());
    EXPECT_FALSE(m_page->RowView(1)->RecordButton()->IsOn());
    RenderBuffers(5);
    Click(m_page->MasterButton());
    EXPECT_FALSE(m_page->MasterButton()->IsOn());
    EXPECT_FALSE(m_page->RowView(0)->RecordButton()->IsOn());
    ExpectHeader(ReadFile(m_folder / "all.wav"), kWavFormatFloat, 2, 5 * kBuffer);

    // Started from elsewhere (the song's recording), the buttons follow on the next refresh.
    CHDTrackList::Studio().StartRecordSong();
    m_stage.clock.Advance(hd_recorder::kRefreshIntervalMs);
    EXPECT_TRUE(m_page->MasterButton()->IsOn());
    EXPECT_TRUE(m_page->RowView(0)->RecordButton()->IsOn());
    CHDTrackList::Studio().StopRecordSong();
    m_stage.clock.Advance(hd_recorder::kRefreshIntervalMs);
    EXPECT_FALSE(m_page->MasterButton()->IsOn());
    EXPECT_FALSE(m_page->RowView(0)->RecordButton()->IsOn());
}

TEST_F(HDRecorderPageTest, MeterShowsTheRowsLevelAndTheKnobSetsItsVolume) {
    CMachineContainer* track = AddTrack();
    Open();
    CHDTrackView* view = m_page->RowView(0);
    gui::CPeakMeter* meter = view->Meter();
    // The segment standing for -3 dB, on the left channel's bar: lit only by a loud signal.
    const int segment = meter->SegmentCount() - 5;
    ASSERT_EQ(meter->Threshold(segment), -3);
    const QPoint probe(2 + segment * 3, 3);
    const QRgb lit = meter->Colors().Color(meter->SegmentSlot(segment)).rgb() & 0xFFFFFF;
    m_stage.clock.Advance(20);
    EXPECT_NE(gui_test::Probe(meter->Widget(), probe.x(), probe.y()), lit);

    RenderBuffers(4);
    m_stage.clock.Advance(20);
    EXPECT_GT(meter->Model().Read().current[0], -1.0f);
    EXPECT_EQ(gui_test::Probe(meter->Widget(), probe.x(), probe.y()), lit);

    // Home turns the knob to 0: the row passes silence and the meter falls to the floor.
    view->Knob()->Widget()->setFocus();
    QTest::keyClick(view->Knob()->Widget(), Qt::Key_Home);
    EXPECT_EQ(RowOf(track)->Volume(), 0.0f);
    RenderBuffers(2);
    EXPECT_EQ(RowOf(track)->PeakLeft(), 0.0f);
    EXPECT_EQ(meter->Model().Read().current[0], CPeakMeterModel::kFloorDb);
    QTest::keyClick(view->Knob()->Widget(), Qt::Key_End);
    EXPECT_EQ(RowOf(track)->Volume(), 1.0f);
}

TEST_F(HDRecorderPageTest, TimeReadOutFollowsTheRecordedSecondsAndRepaintsOnlyOnChange) {
    AddTrack();
    Open();
    CHDTrackView* view = m_page->RowView(0);
    ChooseFile(view, m_folder / "timed.wav", 0);
    Click(view->RecordButton());
    // 0.5 s of buffers: 86 x 256 frames = 22016 frames = 0.49923 s.
    RenderBuffers(86);
    EXPECT_EQ(view->Time()->Text(), "00:00:00.000"); // not before the refresh
    m_stage.clock.Advance(hd_recorder::kRefreshIntervalMs);
    EXPECT_EQ(view->Time()->Text(), "00:00:00.499");
    const int repaints = view->TimeRepaints();
    m_stage.clock.Advance(10 * hd_recorder::kRefreshIntervalMs); // nothing recorded meanwhile
    EXPECT_EQ(view->TimeRepaints(), repaints);
    RenderBuffers(172); // another second
    m_stage.clock.Advance(hd_recorder::kRefreshIntervalMs);
    EXPECT_EQ(view->TimeRepaints(), repaints + 1);
    EXPECT_EQ(view->Time()->Text(), "00:00:01.497");
    // Stopping resets the recorded time, and the read-out follows.
    Click(view->RecordButton());
    m_stage.clock.Advance(hd_recorder::kRefreshIntervalMs);
    EXPECT_EQ(view->Time()->Text(), "00:00:00.000");
}

TEST_F(HDRecorderPageTest, ScreenshotWithTwoRows) {
    CMachineContainer* vocal = AddTrack(true, 0.9f);
    CMachineContainer* bass = AddTrack(false, 0.3f);
    m_fixture.m_studio->Rename(vocal, "Lead Vocal");
    m_fixture.m_studio->Rename(bass, "Bass DI");
    Open();
    ChooseFile(m_page->RowView(0), m_folder / "lead_vocal.wav", 0);
    ChooseFile(m_page->RowView(1), m_folder / "bass_di.wav", 1);
    Click(m_page->RowView(0)->RecordButton());
    RowOf(bass)->SetVolume(0.7f);
    m_page->RowView(1)->Knob()->SetValue(0.7f);
    RenderBuffers(300);
    m_stage.clock.Advance(hd_recorder::kRefreshIntervalMs);
    m_stage.Settle();
    EXPECT_EQ(m_page->RowView(0)->Time()->Text(), "00:00:01.741");
    const QImage shot = gui_test::Screenshot(m_window.Widget(), "hd_recorder_page");
    EXPECT_FALSE(shot.isNull());
    Click(m_page->RowView(0)->RecordButton());
}

} // namespace
