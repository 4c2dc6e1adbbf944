// Saving survives being killed at any moment: a child process saves a growing project over and
// over and is killed with SIGKILL at a random time; afterwards the file loads whole, as the last
// version the child finished or the one it was writing, and the ".bak" file loads whole too.
#include "persistence/project_file.h"
#include "tests/reliability/song_studio.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Generation g of the project: the master, a BassHead, g + 1 patterns and the text "generation g".
[[noreturn]] void SaveForever(const fs::path& path, int reportFd) {
    try {
        song_studio::Studio studio(256);
        CMachineContainer* synth =
            studio.studio->AddMachine(studio.registry.FindByName("QX BassHead"), 100, 100);
        CPort* notes = song_studio::Connectors(synth, true, false).at(0)->m_port;
        CProject project(studio.studio.get(), studio.sequencer.get());
        for (int32_t generation = 0;; ++generation) {
            Pattern* pattern = studio.sequencer->Patterns().CreatePattern(notes, 4);
            for (int32_t step = 0; step < 16; step += 2)
                pattern->AddNote(step, 1, 30 + (generation + step) % 60);
            project.SetInfo("generation " + std::to_string(generation));
            project.SaveAs(path);
            if (::write(reportFd, &generation, sizeof generation) != sizeof generation) ::_exit(4);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "saver: %s\n", error.what());
    }
    ::_exit(3);
}

// Loads the file; returns its generation after checking the project holds exactly what that
// generation saved, or -1 (with a test failure) when it does not load whole.
int32_t LoadedGeneration(song_studio::Studio& studio, const fs::path& path) {
    CProject project(studio.studio.get(), studio.sequencer.get());
    try {
        project.Open(path);
    } catch (const std::exception& error) {
        ADD_FAILURE() << path << ": " << error.what();
        return -1;
    }
    int32_t generation = -1;
    if (std::sscanf(project.Info().c_str(), "generation %d", &generation) != 1) {
        ADD_FAILURE() << path << ": text '" << project.Info() << "'";
        return -1;
    }
    EXPECT_EQ(studio.sequencer->Patterns().Patterns().Count(), generation + 1) << path;
    EXPECT_EQ(studio.studio->MachineCount(), 2) << path;
    return generation;
}

TEST(CrashSave, KilledWhileSavingLeavesTheOldOrTheNewFile) {
    const fs::path folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / "crash_save";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path path = folder / "Song.tbp";
    const fs::path backup = folder / "Song.tbp.bak";
    std::mt19937 random(7);
    int killedMidway = 0;
    for (int kill = 0; kill < 200; ++kill) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            SaveForever(path, pipeFds[1]);
        }
        ::close(pipeFds[1]);
        // Wait for the first finished saves, then kill at a random moment of the following ones.
        // The second save is the first to leave a backup in a fresh folder.
        const int32_t first = kill == 0 ? 1 : 0;
        int32_t done = -1;
        pollfd report{pipeFds[0], POLLIN, 0};
        while (done < first && ::poll(&report, 1, 60000) == 1 &&
               ::read(pipeFds[0], &done, sizeof done) == sizeof done) {
        }
        if (done < first) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            FAIL() << "the saver ended before its first save";
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the saver stopped by itself";
        ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
        for (int32_t next = 0; ::read(pipeFds[0], &next, sizeof next) == sizeof next;)
            done = next;
        ::close(pipeFds[0]);

        // The reader's studio lives only between forks: a fork of a process whose worker threads
        // hold a lock could hang in the child.
        song_studio::Studio reader(256);
        const int32_t generation = LoadedGeneration(reader, path);
        EXPECT_TRUE(generation == done || generation == done + 1)
            << "kill " << kill << ": file holds generation " << generation << ", last finished save " << done;
        if (generation == done + 1) ++killedMidway;
        const int32_t previous = LoadedGeneration(reader, backup);
        EXPECT_GE(previous, 0) << "kill " << kill;
        reader.studio->Clear();
        if (HasFailure()) break;
    }
    // Kills landed at different moments: some after a save had replaced the file but before the
    // child could report it.
    RecordProperty("killed_between_rename_and_report", killedMidway);
}

} // namespace
