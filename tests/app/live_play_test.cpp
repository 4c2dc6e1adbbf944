// The studio playing live through "ASIO" into a JACK server of our own (dummy backend, no
// real-time scheduling): how many threads it uses, how much of a core, how many xruns it causes
// against the same server idle, and that stopping it with Ctrl-C always ends cleanly.
//
// The figures are printed. TAMBOREL_LIVE_BIN (another tamborel, a release build say),
// TAMBOREL_LIVE_PERIOD, TAMBOREL_LIVE_SECONDS and TAMBOREL_LIVE_PROJECT ("demo" or a count of
// BassHeads) change what the measurement plays; TAMBOREL_LIVE_KEEP=1 keeps the files it made.
#include "app/application.h"
#include "tests/app/cli_helpers.h"
#include "tests/support/processes.h"

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <set>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Setting(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

using processes::ProgramExists;
using processes::Spawn;

std::string ReadText(const fs::path& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// CPU seconds (user + system) the process has used so far.
double CpuSeconds(pid_t pid) {
    const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0.0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14) user = std::stoull(field);
        if (index == 15) {
            system = std::stoull(field);
            break;
        }
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::set<std::string> ThreadIds(pid_t pid) {
    std::set<std::string> ids;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error))
        ids.insert(entry.path().filename().string());
    return ids;
}

// A JACK server of our own, and a client of the test that counts its xruns.
class CJackServer {
public:
    explicit CJackServer(int32_t period) {
        m_name = "tamborel-live-" + std::to_string(getpid());
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        m_pid = Spawn({"jackd", "--no-realtime", "-n", m_name, "-d", "dummy", "-r", "44100", "-p",
                       std::to_string(period)},
                      fs::path(TAMBOREL_TEST_BINARY_DIR) / "live-jackd.log");
        for (int attempt = 0; attempt < 100 && !m_client; ++attempt) {
            jack_status_t status{};
            m_client = jack_client_open("xrun-counter", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                        &status, m_name.c_str());
            if (!m_client) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!m_client) return;
        jack_set_xrun_callback(m_client, CountXrun, this);
        jack_activate(m_client);
    }
    ~CJackServer() {
        if (m_client) jack_client_close(m_client);
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    bool Up() const { return m_client != nullptr; }
    const std::string& Name() const { return m_name; }
    int Xruns() const { return m_xruns.load(); }
    float DspLoad() const { return jack_cpu_load(m_client); }

private:
    static int CountXrun(void* argument) {
        ++static_cast<CJackServer*>(argument)->m_xruns;
        return 0;
    }
    std::string m_name;
    pid_t m_pid = -1;
    jack_client_t* m_client = nullptr;
    std::atomic<int> m_xruns{0};
};

// The tamborel program playing a project live until stopped.
class CLivePlay {
public:
    CLivePlay(const CJackServer& server, const fs::path& project, bool parallel, const fs::path& log)
        : m_log(log) {
        const fs::path config = fs::path(TAMBOREL_TEST_BINARY_DIR) / "live-config";
        Options options = DefaultOptions();
        options.vstFolders.clear();
        options.driverIndex = 1; // "ASIO"
        WriteOptions(options, config / "Tamborel Studio" / "Tamborel.opt");
        std::vector<std::string> arguments{"env",
                                           "-u",
                                           "DISPLAY",
                                           "-u",
                                           "WAYLAND_DISPLAY",
                                           "XDG_CONFIG_HOME=" + config.string(),
                                           "JACK_DEFAULT_SERVER=" + server.Name(),
                                           Setting("TAMBOREL_LIVE_BIN", std::string(TAMBOREL_BIN_DIR) + "/tamborel"),
                                           project.string()};
        if (parallel) arguments.push_back("--parallel");
        m_pid = Spawn(arguments, log);
    }
    ~CLivePlay() {
        if (m_pid > 0 && !m_ended) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    pid_t Pid() const { return m_pid; }
    // Waits for the program to say it plays; false after the time-out or when it ended.
    bool WaitUntilPlaying(std::chrono::seconds timeout) {
        const auto end = Clock::now() + timeout;
        while (Clock::now() < end) {
            // The start line, not the remark about a missing display that comes before it.
            if (ReadText(m_log).find("tamborel: playing ") != std::string::npos) return true;
            if (waitpid(m_pid, &m_status, WNOHANG) == m_pid) {
                m_ended = true;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // Ctrl-C, then the exit status (-1: did not exit normally, or not within 30 s).
    int Stop() {
        if (!m_ended) {
            kill(m_pid, SIGINT);
            const auto end = Clock::now() + std::chrono::seconds(30);
            while (!m_ended && Clock::now() < end) {
                if (waitpid(m_pid, &m_status, WNOHANG) == m_pid)
                    m_ended = true;
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (!m_ended) return -1;
        }
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }
    std::string Log() const { return ReadText(m_log); }

private:
    fs::path m_log;
    pid_t m_pid = -1;
    int m_status = 0;
    bool m_ended = false;
};

// BassHeads each playing a four-beat line into the master, at 1/count of the volume.
fs::path MakeBassHeadProject(const fs::path& folder, int32_t count) {
    CApplication::Settings settings;
    settings.newProject = false;
    settings.pluginFolder = fs::path(TAMBOREL_BIN_DIR) / "PlugIns";
    settings.vstFolders = std::vector<fs::path>{};
    CApplication application(settings);
    CStudio& studio = *application.Studio();
    application.Project().New();
    CMachineInfo* info = application.Registry()->FindByIdentifier("VeskPlug::QX BassHead");
    EXPECT_NE(info, nullptr);
    CSequencer& sequencer = *application.Sequencer();
    sequencer.Song().SetLength(4);
    for (int32_t i = 0; i < count; ++i) {
        const std::string name = "Bass " + std::to_string(i + 1);
        CMachineContainer* bass = studio.CreateFrame(info->CreateMachine(), info, name.c_str(), 10 * i, 10);
        EXPECT_TRUE(studio.Connect(bass->FindConnector("Line Out"), studio.MasterFrame()->Connector(0),
                                   1.0f / static_cast<float>(count)));
        Pattern* line = sequencer.Patterns().CreatePattern(bass->FindConnector("Control In")->m_port, 4, "Line");
        for (int32_t step = 0; step < 16; step += 2)
            line->AddNote(step, 1, 36 + (i + step) % 12);
        EXPECT_NE(sequencer.Song().PlacePattern(line, 0), nullptr);
    }
    const fs::path path = folder / ("bassheads-" + std::to_string(count) + ".tbp");
    application.Project().SaveAs(path);
    return path;
}

class LivePlay : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ProgramExists("jackd")) GTEST_SKIP() << "jackd is not installed";
        m_folder = fs::path(TAMBOREL_TEST_BINARY_DIR) /
                   ("live-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override {
        if (Setting("TAMBOREL_LIVE_KEEP", "0") != "1") fs::remove_all(m_folder);
    }
    fs::path m_folder;
};

} // namespace

TEST_F(LivePlay, TheDemoAt64FramesUsesFewThreadsAndCausesNoXrunsOfItsOwn) {
    const int32_t period = std::stoi(Setting("TAMBOREL_LIVE_PERIOD", "64"));
    const int seconds = std::stoi(Setting("TAMBOREL_LIVE_SECONDS", "20"));
    const std::string what = Setting("TAMBOREL_LIVE_PROJECT", "demo");
    const bool parallel = Setting("TAMBOREL_LIVE_PARALLEL", "0") == "1";
    const fs::path project = what == "demo" ? fs::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp"
                                            : MakeBassHeadProject(m_folder, std::stoi(what));
    CJackServer server(period);
    ASSERT_TRUE(server.Up()) << "the JACK server did not come up";

    // The idle server over the same time, before the program plays and again after it stopped:
    // even idle, a server without real-time scheduling misses periods at a rate that differs from
    // one window to the next by as much as the allowance below, so the busier window counts.
    auto idleWindow = [&] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const int before = server.Xruns();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        return server.Xruns() - before;
    };
    const int idleFirst = idleWindow();

    CLivePlay play(server, project, parallel, m_folder / "tamborel.log");
    ASSERT_TRUE(play.WaitUntilPlaying(std::chrono::seconds(60))) << play.Log();
    EXPECT_NE(play.Log().find("through \"ASIO\""), std::string::npos) << play.Log();
    std::this_thread::sleep_for(std::chrono::seconds(1)); // past loading and the fade-in
    const int liveBefore = server.Xruns();
    const double cpuBefore = CpuSeconds(play.Pid());
    const auto start = Clock::now();
    std::set<std::string> threads;
    float loadSum = 0.0f;
    int loadSamples = 0;
    while (Clock::now() - start < std::chrono::seconds(seconds)) {
        const std::set<std::string> now = ThreadIds(play.Pid());
        threads.insert(now.begin(), now.end());
        loadSum += server.DspLoad();
        ++loadSamples;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds(play.Pid()) - cpuBefore;
    const int liveXruns = server.Xruns() - liveBefore;
    EXPECT_EQ(play.Stop(), 0) << play.Log();
    const int idleSecond = idleWindow();
    const int idleXruns = std::max(idleFirst, idleSecond);

    // The same audio rendered offline at the same buffer size: its share of a core is the CPU
    // time it took (start-up included) over the length of the audio it wrote.
    const std::string binary = Setting("TAMBOREL_LIVE_BIN", std::string(TAMBOREL_BIN_DIR) + "/tamborel");
    auto childCpu = [] {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    };
    const double offlineBefore = childCpu();
    const Result offline = RunCommand("env -u DISPLAY XDG_CONFIG_HOME='" + (m_folder / "render-config").string() +
                                      "' '" + binary + "' render '" + project.string() + "' -o '" +
                                      (m_folder / "offline.wav").string() + "' --buffer " + std::to_string(period) +
                                      (what == "demo" ? "" : " --loops 20") + " 2>&1");
    const double offlineCpu = childCpu() - offlineBefore;
    const size_t renderedAt = offline.out.find("rendered ");
    double audioSeconds = 0.0;
    if (renderedAt != std::string::npos) {
        const char* text = offline.out.c_str() + renderedAt + 9;
        char* rest = nullptr;
        const double minutes = std::strtod(text, &rest);
        audioSeconds = 60.0 * minutes + (rest && *rest == ':' ? std::atof(rest + 1) : 0.0);
    }
    EXPECT_GT(audioSeconds, 0.0) << offline.out;
    const double offlineShare = audioSeconds > 0.0 ? 100.0 * offlineCpu / audioSeconds : 0.0;

    // Every thread but the main thread and the periodic update pass serves the audio.
    const auto audioThreads = static_cast<int>(threads.size()) - 2;
    std::cout << "live: " << what << (parallel ? " (--parallel)" : "") << " at " << period << " frames, "
              << seconds << " s: xruns " << liveXruns << " (idle server " << idleFirst << " before, " << idleSecond
              << " after), process CPU "
              << 100.0 * cpu / wall << " % of a core (offline render " << offlineShare
              << " %), JACK DSP load "
              << (loadSamples ? loadSum / static_cast<float>(loadSamples) : 0.0f) << " %, threads "
              << threads.size() << " (" << audioThreads << " for audio)\n";
    if (!parallel) {
        EXPECT_LE(audioThreads, 4);
    }
    EXPECT_LE(liveXruns, idleXruns + seconds / 10);
}

TEST_F(LivePlay, FiftyStartsAndStopsOf64BassHeadsAt64FramesAllEndCleanly) {
    // Half of them with every machine on a worker of its own.
    const fs::path project = MakeBassHeadProject(m_folder, 64);
    CJackServer server(64);
    ASSERT_TRUE(server.Up()) << "the JACK server did not come up";
    for (int cycle = 0; cycle < 50; ++cycle) {
        CLivePlay play(server, project, cycle % 2 == 1, m_folder / "tamborel.log");
        ASSERT_TRUE(play.WaitUntilPlaying(std::chrono::seconds(60))) << "cycle " << cycle << '\n' << play.Log();
        std::this_thread::sleep_for(std::chrono::milliseconds(100 + 20 * (cycle % 5)));
        const int status = play.Stop();
        ASSERT_EQ(status, 0) << "cycle " << cycle << '\n' << play.Log();
        EXPECT_NE(play.Log().find("stopped"), std::string::npos) << play.Log();
    }
}
