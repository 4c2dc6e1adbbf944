// Helper programs for the tests that need a real audio server or its tools (jackd, jack_lsp,
// jack_rec, ...): whether a program is installed, starting one with its output silenced or
// written to a file, and running one to its end.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace processes {

inline bool ProgramExists(const char* name) {
    for (const char* folder : {"/usr/bin/", "/usr/local/bin/", "/bin/"})
        if (std::filesystem::exists(std::string(folder) + name)) return true;
    return false;
}

// Starts a program found on PATH. Its stdout and stderr go to the output file (created or
// truncated), or nowhere when no file is given. Returns the process, or -1 when it cannot start.
inline pid_t Spawn(std::vector<std::string> arguments, const std::filesystem::path& output = {}) {
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs a program with its output silenced to its end: its exit status, or -1 when it did not
// start or did not exit normally.
inline int Run(std::vector<std::string> arguments) {
    const pid_t pid = Spawn(std::move(arguments));
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A JACK server of the test's own: the dummy backend without real-time scheduling, under a name
// no other test uses, made this process's default server while it lives; stopped and waited for
// at the end. Tests that start one share the ctest resource lock "audio_servers".
class CJackServer {
public:
    CJackServer(const std::string& tag, int rate = 48000, int period = 256)
        : m_name("tamborel-" + tag + "-" + std::to_string(getpid())) {
        setenv("JACK_DEFAULT_SERVER", m_name.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        m_pid = Spawn({"jackd", "--no-realtime", "-n", m_name, "-d", "dummy", "-r", std::to_string(rate), "-p",
                       std::to_string(period)});
    }
    ~CJackServer() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        unsetenv("JACK_DEFAULT_SERVER");
    }
    CJackServer(const CJackServer&) = delete;
    CJackServer& operator=(const CJackServer&) = delete;

    static bool Installed() { return ProgramExists("jackd") && ProgramExists("jack_lsp"); }
    bool Started() const { return m_pid > 0; }
    const std::string& Name() const { return m_name; }
    // Waits until a client can reach the server (jack_lsp answers), at most `limit`.
    bool WaitUntilUp(std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (Run({"jack_lsp"}) == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    std::string m_name;
    pid_t m_pid = -1;
};

} // namespace processes
