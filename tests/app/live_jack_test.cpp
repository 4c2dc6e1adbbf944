// Live play through a JACK server of our own (dummy backend) that dies during play: the studio
// says so at once and keeps running, and plays again when a new server comes up, at the same
// format or at another one.
#include "tests/app/live_helpers.h"
#include "tests/support/processes.h"

#include <cmath>
#include <cstdio>

namespace {

using processes::ProgramExists;

class LiveJackTest : public LiveModeTest {
protected:
    void SetUp() override {
        LiveModeTest::SetUp();
        m_server = "tamborel-live-" + std::to_string(getpid());
        setenv("JACK_DEFAULT_SERVER", m_server.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        WriteTestOptions(1);
    }
    void TearDown() override {
        StopServer(SIGTERM);
        unsetenv("JACK_DEFAULT_SERVER");
        LiveModeTest::TearDown();
    }

    // Starts a server and waits until clients can reach it.
    bool StartServer(const std::string& rate) {
        m_jackd =
            processes::Spawn({"jackd", "--no-realtime", "-n", m_server, "-d", "dummy", "-r", rate, "-p", "1024"});
        if (m_jackd < 0) return false;
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (processes::Run({"jack_lsp"}) == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    void StopServer(int signal) {
        if (m_jackd <= 0) return;
        kill(m_jackd, signal);
        waitpid(m_jackd, nullptr, 0);
        m_jackd = -1;
    }

    // Records a second of our first output port; the peak of what arrived (-1 when nothing could
    // be recorded).
    double RecordedPeak() {
        const auto file = m_root / "recorded.wav";
        double peak = -1.0;
        // A loaded machine can make the non-realtime server miss periods: a silent take is
        // recorded again, up to three takes.
        for (int take = 0; take < 3 && peak < 0.01; ++take) {
            std::filesystem::remove(file);
            if (processes::Run({"jack_rec", "-f", file.string(), "-d", "1", "Tamborel:out_1"}) != 0) continue;
            const std::vector<uint8_t> bytes = ReadFileBytes(file);
            // jack_rec writes 16-bit PCM after a 44-byte header.
            for (size_t at = 44; at + 1 < bytes.size(); at += 2) {
                const auto sample = static_cast<int16_t>(bytes[at] | bytes[at + 1] << 8);
                peak = std::max(peak, std::fabs(sample / 32768.0));
            }
        }
        return peak;
    }

    std::string m_server;
    pid_t m_jackd = -1;
};

TEST_F(LiveJackTest, KillingTheServerIsToldAtOnceAndSoundResumesWithANewServer) {
    if (!ProgramExists("jackd") || !ProgramExists("jack_rec") || !ProgramExists("jack_lsp"))
        GTEST_SKIP() << "jackd, jack_rec or jack_lsp missing";
    ASSERT_TRUE(StartServer("48000"));
    const pid_t pid = Start({std::string(TAMBOREL_SOURCE_DIR) + "/examples/demo.tbp"},
                            {"JACK_DEFAULT_SERVER=" + m_server, "JACK_NO_AUDIO_RESERVATION=1"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForMessage(pid, "Ctrl-C ends", std::chrono::seconds(60))) << Messages();
    EXPECT_NE(Messages().find("through \"ASIO\" on JACK server \"" + m_server +
                              "\": 48000 Hz, 1024 frames per buffer, latency "),
              std::string::npos)
        << Messages();
    EXPECT_GT(RecordedPeak(), 0.01) << "no sound before the server was killed";

    for (const std::string rate : {"48000", "44100"}) {
        // The server dies without a word to its clients.
        StopServer(SIGKILL);
        const auto killed = std::chrono::steady_clock::now();
        ASSERT_TRUE(WaitForMessage(pid, "stopped: JACK server \"" + m_server + "\"", std::chrono::seconds(2)))
            << Messages();
        const double toldAfter =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();
        std::printf("the server's death was told after %.3f s\n", toldAfter);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_TRUE(Alive(pid));

        // A new server, at the same rate the first time and at another one the second time.
        const size_t resumedBefore = Occurrences(Messages(), "sound resumes");
        ASSERT_TRUE(StartServer(rate));
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Occurrences(Messages(), "sound resumes") == resumedBefore &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_GT(Occurrences(Messages(), "sound resumes"), resumedBefore) << Messages();
        if (rate == "44100") {
            EXPECT_NE(Messages().find("is back at 44100 Hz with 1024 frames per buffer"), std::string::npos)
                << Messages();
        }
        EXPECT_GT(RecordedPeak(), 0.01) << "no sound from the server at " << rate << " Hz";
    }

    kill(pid, SIGINT);
    EXPECT_EQ(WaitForExit(pid, std::chrono::seconds(3)), 0) << Messages();
}

} // namespace
