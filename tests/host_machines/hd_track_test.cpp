// HD recorder tracks: the pass-through at the row's volume, the files they write, the row lock,
// the master button and the recorded-time read-out.
#include "host_machines/hd_recorder/hd_track.h"
#include "host_machines/hd_recorder/stems.h"
#include "host_machines/hd_track_machine.h"
#include "host_machines/wav/wav_file.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "platform/error.h"
#include "tests/support/file_bytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kBlock = 441;

struct HDTrackTest : ::testing::Test {
    MachineRegistry registry;
    CVeskHost host{kRate, kBlock, 0x16, &registry};
    CHDTrackList list;
    fs::path folder;

    void SetUp() override {
        folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / "hd_tracks" /
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(folder);
        fs::create_directories(folder);
    }

    // Feeds a full-scale sine (left) and its negative (right) through the machine.
    static void Feed(CHDTrackMachine* machine, int blocks) {
        static int32_t phase = 0;
        for (int b = 0; b < blocks; ++b) {
            CAudioBuffer* in = machine->m_ports[0]->m_audioBuffer;
            for (int32_t i = 0; i < in->m_length; ++i, ++phase) {
                in->m_channel1[i] = static_cast<float>(std::sin(2.0 * M_PI * 1000.0 * phase / kRate));
                if (in->m_channel2) in->m_channel2[i] = -in->m_channel1[i];
            }
            machine->Process();
        }
    }
};

} // namespace

TEST_F(HDTrackTest, HalfVolumeRowPassesAndRecordsAtHalfAmplitude) {
    CHDTrackMachine machine(&host, true, &list);
    CHDTrack* row = machine.Row();
    row->SetVolume(0.5f);
    row->ChooseFile((folder / "half.wav").string(), kWavFormatFloat);
    row->PressRecord(true);
    Feed(&machine, 10);
    const CAudioBuffer* out = machine.m_ports[1]->m_audioBuffer;
    float peak = 0.0f;
    for (int32_t i = 0; i < out->m_length; ++i)
        peak = std::max(peak, std::fabs(out->m_channel1[i]));
    EXPECT_NEAR(peak, 0.5f, 0.01f);
    EXPECT_NEAR(row->PeakLeft(), 0.5f, 0.01f);
    EXPECT_NEAR(row->PeakRight(), 0.5f, 0.01f);
    row->PressRecord(false);

    const auto bytes = ReadFile(folder / "half.wav");
    ASSERT_EQ(bytes.size(), 44u + 10u * kBlock * 8u);
    float recordedPeak = 0.0f;
    for (size_t at = 44; at < bytes.size(); at += 4) {
        float sample = 0.0f;
        std::memcpy(&sample, bytes.data() + at, 4);
        recordedPeak = std::max(recordedPeak, std::fabs(sample));
    }
    EXPECT_NEAR(recordedPeak, 0.5f, 0.01f);
}

TEST_F(HDTrackTest, OneSecondOfStereo16BitIs176444Bytes) {
    CHDTrackMachine machine(&host, true, &list);
    machine.Row()->ChooseFile((folder / "second.wav").string(), kWavFormatPcm);
    machine.Row()->PressRecord(true);
    EXPECT_TRUE(machine.Row()->RecordButton());
    Feed(&machine, kRate / kBlock);
    machine.Row()->PressRecord(false);
    EXPECT_FALSE(machine.Row()->RecordButton());
    const auto bytes = ReadFile(folder / "second.wav");
    ASSERT_EQ(bytes.size(), 176444u);
    EXPECT_EQ(At32(bytes, 40), 176400u);
    EXPECT_EQ(At32(bytes, 4), 176436u);
    EXPECT_EQ(At16(bytes, 32), 4);
    EXPECT_EQ(At32(bytes, 28), 176400u);
    EXPECT_EQ(At16(bytes, 20), 1);
    EXPECT_EQ(At16(bytes, 22), 2);
    EXPECT_EQ(At16(bytes, 34), 16);
}

TEST_F(HDTrackTest, MonoFloatDataIsFourBytesPerFrame) {
    CHDTrackMachine machine(&host, false, &list);
    machine.Row()->ChooseFile((folder / "mono.wav").string(), kWavFormatFloat);
    machine.Row()->PressRecord(true);
    Feed(&machine, 3);
    EXPECT_EQ(machine.Row()->FramesWritten(), 3 * kBlock);
    machine.Row()->PressRecord(false);
    const auto bytes = ReadFile(folder / "mono.wav");
    EXPECT_EQ(At32(bytes, 40), 4u * 3 * kBlock);
    EXPECT_EQ(At16(bytes, 20), 3);
    EXPECT_EQ(At16(bytes, 34), 32);
    EXPECT_EQ(At16(bytes, 22), 1);
}

TEST_F(HDTrackTest, ChoosingANewFileWhileRecordingCompletesTheOldOne) {
    CHDTrackMachine machine(&host, false, &list);
    CHDTrack* row = machine.Row();
    row->ChooseFile((folder / "first.wav").string(), kWavFormatPcm);
    row->PressRecord(true);
    Feed(&machine, 2);
    row->ChooseFile((folder / "second.wav").string(), kWavFormatPcm);
    EXPECT_FALSE(row->IsRecording());
    EXPECT_FALSE(row->RecordButton());
    EXPECT_EQ(row->FileLabel(), "File: '" + (folder / "second.wav").string() + "'");
    Feed(&machine, 2);
    const auto first = ReadFile(folder / "first.wav");
    EXPECT_EQ(first.size(), 44u + 2u * kBlock * 2u);
    EXPECT_EQ(At32(first, 40), 2u * kBlock * 2u);
    EXPECT_FALSE(fs::exists(folder / "second.wav"));
    row->PressRecord(true);
    EXPECT_TRUE(row->IsRecording());
}

TEST_F(HDTrackTest, MasterButtonLeavesRowsWithoutPathIdle) {
    CHDTrackMachine withPath(&host, false, &list);
    CHDTrackMachine withoutPath(&host, true, &list);
    CHDTrackMachine unwritable(&host, false, &list);
    withPath.Row()->ChooseFile((folder / "master.wav").string(), kWavFormatPcm);
    unwritable.Row()->ChooseFile((folder / "no-such-folder" / "x.wav").string(), kWavFormatPcm);
    CRecordSongTarget& recordSong = list;
    recordSong.StartRecordSong();
    EXPECT_TRUE(list.MasterButton());
    EXPECT_TRUE(withPath.Row()->IsRecording());
    EXPECT_TRUE(withPath.Row()->RecordButton());
    EXPECT_FALSE(withoutPath.Row()->IsRecording());
    EXPECT_FALSE(withoutPath.Row()->RecordButton());
    EXPECT_FALSE(unwritable.Row()->RecordButton());
    Feed(&withPath, 1);
    recordSong.StopRecordSong();
    EXPECT_FALSE(list.MasterButton());
    EXPECT_FALSE(withPath.Row()->IsRecording());
    EXPECT_EQ(At32(ReadFile(folder / "master.wav"), 40), 2u * kBlock);
}

TEST_F(HDTrackTest, FileOperationsNeedTheRowLock) {
    CHDTrackMachine machine(&host, false, &list);
    float samples[4] = {};
    auto message = [](auto operation) {
        try {
            operation();
        } catch (const platform::CError& error) {
            return std::string(error.what());
        }
        return std::string();
    };
    CHDTrack* row = machine.Row();
    EXPECT_EQ(message([&] { row->Open(); }), "HD Track Not Locked On Open");
    EXPECT_EQ(message([&] { row->Write(samples, nullptr, 4); }), "HD Track Not Locked On Write");
    EXPECT_EQ(message([&] { row->Close(); }), "HD Track Not Locked On Close");
}

TEST_F(HDTrackTest, RowsFollowTheirMachines) {
    auto* first = new CHDTrackMachine(&host, false, &list);
    auto* second = new CHDTrackMachine(&host, true, &list);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Row(1), second->Row());
    EXPECT_EQ(second->Row()->TrackLabel(), "Track:");
    second->SetName("Drums");
    EXPECT_EQ(second->Row()->TrackLabel(), "Name: Drums");
    first->Delete();
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Row(0), second->Row());
    second->Delete();
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(HDTrackTest, ReadOutShowsRecordedTime) {
    EXPECT_EQ(FormatRecordedTime(65.5f), "00:01:05.500");
    EXPECT_EQ(FormatRecordedTime(0.0f), "00:00:00.000");
    EXPECT_EQ(FormatRecordedTime(3600.0f * 12 + 0.25f), "12:00:00.250");
    EXPECT_EQ(FormatRecordedTime(0.007f), "00:00:00.007");

    CHDTrackMachine machine(&host, false, &list);
    CHDTrack* row = machine.Row();
    row->ChooseFile((folder / "time.wav").string(), kWavFormatPcm);
    row->PressRecord(true);
    Feed(&machine, 50); // half a second
    EXPECT_TRUE(row->Refresh());
    EXPECT_NEAR(row->RecordedSeconds(), 0.5f, 1e-4f);
    EXPECT_EQ(row->TimeText(), FormatRecordedTime(row->RecordedSeconds()));
    EXPECT_EQ(row->TimeText().substr(0, 9), "00:00:00.");
    EXPECT_FALSE(row->Refresh());
    row->PressRecord(false);
    list.Refresh();
    EXPECT_EQ(row->TimeText(), "00:00:00.000");
}

TEST_F(HDTrackTest, RecordingSurvivesACrash) {
    // A child process records 2.5 seconds and dies without closing; the file it leaves
    // must play up to its last whole second.
    const fs::path path = folder / "crash.wav";
    const pid_t child = fork();
    if (child == 0) {
        CHDTrackList childList;
        auto* machine = new CHDTrackMachine(&host, false, &childList);
        machine->Row()->ChooseFile(path.string(), kWavFormatPcm);
        machine->Row()->PressRecord(true);
        Feed(machine, 250);
        _exit(0); // no destructors: the file is never closed
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    CSampleBuffer buffer;
    buffer.Load(path.string());
    EXPECT_GE(buffer.m_frameCount, 2 * kRate);
    EXPECT_LE(buffer.m_frameCount, 250 * kBlock);
}

TEST_F(HDTrackTest, TheRowListTellsEveryListenerOfRowsComingAndGoing) {
    struct Recorder : CHDTrackListListener {
        void RowAdded(CHDTrack* row, int32_t index) override {
            events.push_back("added " + std::to_string(index));
            rows.push_back(row);
        }
        void RowRemoved(const CHDTrack* gone, int32_t index) override {
            events.push_back("removed " + std::to_string(index));
            removed.push_back(gone);
        }
        std::vector<std::string> events;
        std::vector<const CHDTrack*> rows, removed;
    } window, meterBridge;
    list.AddListener(&window);
    list.AddListener(&window); // once only
    list.AddListener(&meterBridge);
    auto* first = new CHDTrackMachine(&host, false, &list);
    auto* second = new CHDTrackMachine(&host, true, &list);
    const CHDTrack* firstRow = first->Row();
    first->Delete();
    list.RemoveListener(&meterBridge);
    second->Delete();
    EXPECT_EQ(window.events, (std::vector<std::string>{"added 0", "added 1", "removed 0", "removed 0"}));
    EXPECT_EQ(meterBridge.events, (std::vector<std::string>{"added 0", "added 1", "removed 0"}));
    ASSERT_EQ(window.removed.size(), 2u);
    EXPECT_EQ(window.removed[0], firstRow);
    EXPECT_EQ(window.rows[0], firstRow);
}

TEST_F(HDTrackTest, ARowsMeterReadsTheSameDecibelsAsTheMastersForTheSameBlock) {
    auto* stereo = new CHDTrackMachine(&host, true, &list);
    CHDTrack* row = stereo->Row();
    EXPECT_FLOAT_EQ(row->Meter().Read().current[0], -90.0f);
    // Full scale (a 1 kHz sine has crests of 1 within a 441-frame block): 0 dB.
    Feed(stereo, 1);
    EXPECT_NEAR(row->Meter().Read().current[0], 0.0f, 0.01);
    EXPECT_NEAR(row->Meter().Read().current[1], 0.0f, 0.01);
    // Half volume: -6 dB, as a squared-peak meter shows it (not the -3 an absolute peak would give).
    row->SetVolume(0.5f);
    Feed(stereo, 1);
    EXPECT_NEAR(row->Meter().Read().current[0], -6.02f, 0.02);
    EXPECT_NEAR(row->Meter().Read().held[0], 0.0f, 0.01); // the full-scale block is held
    // Silence: the floor; the refresh ages the hold on the system clock.
    row->SetVolume(0.0f);
    Feed(stereo, 1);
    EXPECT_FLOAT_EQ(row->Meter().Read().current[1], -90.0f);
    row->Refresh();
    EXPECT_NEAR(row->Meter().Read().held[1], 0.0f, 0.01);
    stereo->Delete();
}

// Stems come from the HD recorder tracks among the machines only, in their order, with file names
// that stay inside the folder, are never empty or hidden, and never clash.
TEST_F(HDTrackTest, StemsNameOneFilePerTrackInsideTheFolder) {
    CHDTrackMachineInfoMono mono(&host);
    CHDTrackMachineInfoStereo stereo(&host);
    std::vector<CHDTrackMachine*> tracks;
    for (int i = 0; i < 6; ++i) tracks.push_back(new CHDTrackMachine(&host, i % 2 == 1, &list));
    CHDTrackMachine notATrack(&host, false, &list); // a machine whose descriptor is no track's
    const std::vector<StemSource> sources = {
        {"Drums", &mono, tracks[0]},     {"Synth", nullptr, &notATrack}, {"Drums", &stereo, tracks[1]},
        {"", &mono, tracks[2]},          {"Bass/Line", &stereo, tracks[3]}, {".hidden", &mono, tracks[4]},
        {"Drums (2)", &stereo, tracks[5]},
    };
    const std::vector<StemFile> stems = PlanStems(sources, folder);
    std::vector<std::string> names;
    for (const StemFile& stem : stems) {
        names.push_back(stem.file.filename().string());
        EXPECT_EQ(stem.file.parent_path(), folder);
        EXPECT_EQ(stem.partial.string(), stem.file.string() + ".part");
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Drums.wav", "Drums (2).wav", "Track.wav", "Bass_Line.wav",
                                                "_hidden.wav", "Drums (2) (2).wav"}));
    ASSERT_EQ(stems.size(), 6u);
    EXPECT_EQ(stems[1].row, tracks[1]->Row());
    EXPECT_EQ(stems[5].row, tracks[5]->Row());
    for (CHDTrackMachine* track : tracks) track->Delete();
}
