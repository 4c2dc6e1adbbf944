// Running the live studio (`tamborel [PROJECT]`) as a separate process in a world of its own: a
// temporary HOME and configuration folder (so the user's options file is never touched), an ALSA
// configuration whose only playback device is "null" (so no test plays on a real sound card),
// and its messages collected in a file.
#pragma once

#include "persistence/options_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

class LiveModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = std::filesystem::path(TAMBOREL_TEST_BINARY_DIR) /
                 ("live-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(m_root);
        std::filesystem::create_directories(m_root / "home");
        std::ofstream(m_root / "alsa.conf") << "pcm.null {\n"
                                               "    type null\n"
                                               "    hint { show on description \"Discard all samples\" }\n"
                                               "}\n"
                                               "pcm.!default pcm.null\n";
        WriteTestOptions(0);
    }
    void TearDown() override {
        if (!HasFailure()) std::filesystem::remove_all(m_root);
    }

    std::filesystem::path OptionsPath() const {
        return m_root / "config" / "Tamborel Studio" / "Tamborel.opt";
    }
    std::filesystem::path MessagesPath() const { return m_root / "messages.txt"; }

    // Options that choose the driver and list no VST folders (no scan of installed plug-ins).
    void WriteTestOptions(int32_t driverIndex) {
        Options options = DefaultOptions();
        options.driverIndex = driverIndex;
        options.vstFolders.clear();
        ASSERT_TRUE(WriteOptions(options, OptionsPath()));
    }

    // Starts tamborel with the arguments, in the test's own world plus the extra variables
    // ("NAME=value"); stdout and stderr go to the messages file. SIGINT and SIGTERM have their
    // default handling whatever the test runner set.
    pid_t Start(const std::vector<std::string>& arguments, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> environment;
        for (char** variable = environ; *variable; ++variable) {
            const std::string entry = *variable;
            const std::string name = entry.substr(0, entry.find('='));
            if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM" && name != "VST_PATH" &&
                name != "HOME" &&
                name != "XDG_CONFIG_HOME" && name != "ALSA_CONFIG_PATH" && name != "JACK_DEFAULT_SERVER")
                environment.push_back(entry);
        }
        environment.push_back("HOME=" + (m_root / "home").string());
        environment.push_back("XDG_CONFIG_HOME=" + (m_root / "config").string());
        environment.push_back("ALSA_CONFIG_PATH=" + (m_root / "alsa.conf").string());
        environment.insert(environment.end(), extra.begin(), extra.end());
        std::vector<std::string> argv{std::string(TAMBOREL_BIN_DIR) + "/tamborel"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());

        std::vector<char*> argvPointers, environmentPointers;
        for (auto& argument : argv)
            argvPointers.push_back(argument.data());
        argvPointers.push_back(nullptr);
        for (auto& entry : environment)
            environmentPointers.push_back(entry.data());
        environmentPointers.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, MessagesPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults, none;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGTERM);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        pid_t pid = -1;
        if (posix_spawn(&pid, argvPointers[0], &actions, &attributes, argvPointers.data(),
                        environmentPointers.data()) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        return pid;
    }

    std::string Messages() const {
        std::ifstream in(MessagesPath());
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Waits until the messages hold the text; false after the limit or when the program ended.
    bool WaitForMessage(pid_t pid, const std::string& text, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (Messages().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end || !Alive(pid)) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    // The program still runs (it has not ended, and has not been reaped).
    bool Alive(pid_t pid) {
        if (m_exited) return false;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            m_exited = true;
            m_status = status;
            return false;
        }
        return true;
    }

    // Waits for the program to end; its exit code, or -1 when it did not end within the limit
    // (it is then killed) or was killed by a signal. elapsed receives the time waited.
    int WaitForExit(pid_t pid, std::chrono::milliseconds limit, double* elapsed = nullptr) {
        const auto begin = std::chrono::steady_clock::now();
        while (Alive(pid)) {
            if (std::chrono::steady_clock::now() - begin > limit) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (elapsed)
            *elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        m_exited = false;
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }

    // User plus system CPU seconds the process has used so far (from /proc).
    static double CpuSeconds(pid_t pid) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // The fields after the command name's closing parenthesis: state is field 3, utime 14, stime 15.
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        double ticks = 0.0;
        for (int index = 3; index <= 15 && fields >> field; ++index)
            if (index >= 14) ticks += std::stod(field);
        return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
    }

    static std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    std::filesystem::path m_root;
    bool m_exited = false;
    int m_status = 0;
};

// Counts how often a text occurs.
inline size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}
