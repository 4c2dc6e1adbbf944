// A whole song renders without touching the allocator: every built-in machine, the song and the
// pattern editor playing, parameter changes arriving as events from control tracks, on the
// driver thread and the frames' worker threads.
#include "app/application.h"
#include "tests/support/allocation_trap.h"
#include "tests/reliability/song_studio.h"
#include "tests/support/allocation_probe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr int kBuffers = 10000;
#else
constexpr int kBuffers = 10000;
#endif

TEST(SongAllocation, TheTrapCountsEveryWayOfAllocating) {
    allocation_trap::Arm();
    allocation_probe::NewAndDelete();
    allocation_probe::NewArrayAndDelete();
    allocation_probe::MallocAndFree();
    EXPECT_EQ(allocation_trap::Disarm(), 3);
}

TEST(SongAllocation, ASongOfEveryMachineRendersWithoutAllocating) {
    song_studio::Studio studio(256);
    studio.BuildSong();
    ASSERT_GE(studio.frames.size(), 4u);
    ASSERT_NE(studio.patternPlayed, nullptr);
    studio.Play();
    // Warm-up: two passes of the song, so event blocks reach their working set.
    for (int i = 0; i < 2 * 8 * 44100 * 60 / 120 / 256 + 8; ++i)
        studio.Render();
    double energy = 0.0;
    allocation_trap::Arm();
    for (int i = 0; i < kBuffers; ++i) {
        if (i % 50 == 0)
            studio.master->Connector(0)->m_connections[0]->SetTargetVolume(
                0.1f + 0.002f * static_cast<float>(i % 200));
        studio.Render();
        energy += static_cast<double>(std::fabs(studio.left[17]));
    }
    const long allocations = allocation_trap::Disarm();
    EXPECT_EQ(allocations, 0);
    EXPECT_TRUE(studio.sequencer->Song().IsPlaying());
    EXPECT_GT(energy, 0.0);
}

// The demo song as the command line renders it: the machine library loaded from PlugIns, the
// offline driver, the song looping with its control tracks and the pattern editor playing too.
TEST(SongAllocation, TheDemoSongRendersWithoutAllocating) {
    namespace fs = std::filesystem;
    CApplication::Settings settings;
    settings.audio = CApplication::Audio::Offline;
    settings.bufferSize = 256;
    settings.newProject = false;
    settings.pluginFolder = fs::path(TAMBOREL_BIN_DIR) / "PlugIns";
    settings.vstFolders = std::vector<fs::path>{};
    CApplication application(settings);
    application.Project().Open(fs::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp");
    ASSERT_GE(application.Studio()->MachineCount(), 8);
    CSequenceEditor& song = application.Sequencer()->Song();
    CPatternEditor& patterns = application.Sequencer()->Patterns();
    ASSERT_GT(patterns.Patterns().Count(), 0);
    patterns.SelectMachine(patterns.Patterns()[0]->Port()->m_owner);
    patterns.SelectPattern(0);
    patterns.SetLoopPattern(true);
    patterns.SetPlayPattern(true);
    song.SetLoop(true);
    song.PlaySong();
    std::vector<float> left(256), right(256);
    float* channels[] = {left.data(), right.data()};
    for (int i = 0; i < 64; ++i)
        application.Offline()->Render(channels, 2, 256);
    double energy = 0.0;
    allocation_trap::Arm();
    for (int i = 0; i < kBuffers; ++i) {
        application.Offline()->Render(channels, 2, 256);
        energy += static_cast<double>(std::fabs(left[100]));
    }
    EXPECT_EQ(allocation_trap::Disarm(), 0);
    EXPECT_TRUE(song.IsPlaying());
    EXPECT_GT(energy, 0.0);
}

} // namespace
