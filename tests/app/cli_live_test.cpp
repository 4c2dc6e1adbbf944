// The live studio without a sound card: ALSA's "null" device, Ctrl-C and SIGTERM, a JACK server
// that is not running, and options files it cannot read or that hold values out of all ranges.
#include "app/application.h"
#include "audio_out/wave_out_driver.h"
#include "tests/app/live_helpers.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <random>
#include <sstream>

namespace {

constexpr auto kStartLimit = std::chrono::seconds(60); // start-up under the sanitizers, on a loaded machine
const std::string kPlaying = "Ctrl-C ends";

std::string Demo() {
    return std::string(TAMBOREL_SOURCE_DIR) + "/examples/demo.tbp";
}

TEST_F(LiveModeTest, WithOnlyTheNullDeviceItSaysNoSoundCardWasFoundAndDoesNotSpin) {
    const pid_t pid = Start({});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForMessage(pid, kPlaying, kStartLimit)) << Messages();
    const std::string messages = Messages();
    EXPECT_NE(messages.find("no sound card was found"), std::string::npos) << messages;
    EXPECT_NE(messages.find("tamborel render PROJECT.tbp -o OUT.wav"), std::string::npos) << messages;
    // What it plays with: driver, device, rate, buffer size and latency.
    EXPECT_NE(
        messages.find("through \"Wave Out\" on ALSA device \"default\": 44100 Hz, 6600 frames per buffer, "
                      "latency "),
        std::string::npos)
        << messages;

    const double before = CpuSeconds(pid);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double used = CpuSeconds(pid) - before;
    EXPECT_LT(used, 0.3) << "CPU seconds over 3 s of playing on the null device";
    RecordProperty("cpu_ms_over_3s", static_cast<int>(used * 1000));

    kill(pid, SIGINT);
    EXPECT_EQ(WaitForExit(pid, std::chrono::seconds(3)), 0) << Messages();
    EXPECT_NE(Messages().find("tamborel: stopped"), std::string::npos);
}

TEST_F(LiveModeTest, WithoutADisplayItSaysSoAndPlaysHeadlessAndHeadlessAsksForNoDisplay) {
    // No window system at all: the studio says so and plays on without a window.
    pid_t pid = Start({Demo()});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForMessage(pid, kPlaying, kStartLimit)) << Messages();
    EXPECT_NE(Messages().find("tamborel: no display is available; playing without a window"), std::string::npos)
        << Messages();
    kill(pid, SIGINT);
    EXPECT_EQ(WaitForExit(pid, std::chrono::seconds(3)), 0) << Messages();

    // --headless, before or after the project, plays without a window and without the remark;
    // a window system that is named but not installed is no display either.
    for (const auto& arguments : {std::vector<std::string>{"--headless", Demo()},
                                  std::vector<std::string>{Demo(), "--headless", "--parallel"}}) {
        pid = Start(arguments, {"QT_QPA_PLATFORM=none-such-window-system"});
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(WaitForMessage(pid, kPlaying, kStartLimit)) << Messages();
        EXPECT_EQ(Messages().find("no display"), std::string::npos) << Messages();
        kill(pid, SIGINT);
        EXPECT_EQ(WaitForExit(pid, std::chrono::seconds(3)), 0) << Messages();
        EXPECT_NE(Messages().find("tamborel: stopped"), std::string::npos);
    }
    // Two projects are refused with the usage.
    pid = Start({Demo(), Demo(), "--headless"});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(WaitForExit(pid, kStartLimit), 2) << Messages();
    EXPECT_NE(Messages().find("usage: tamborel [PROJECT] [--headless]"), std::string::npos) << Messages();
}

TEST_F(LiveModeTest, CtrlCAndSigtermEndItWithinABoundEveryTime) {
    std::mt19937 random(18);
    std::vector<double> seconds;
    for (int round = 0; round < 24; ++round) {
        // Twenty times Ctrl-C, then SIGTERM; each time at another moment of the song.
        const int signal = round < 20 ? SIGINT : SIGTERM;
        const pid_t pid = Start({Demo()});
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(WaitForMessage(pid, kPlaying, kStartLimit)) << Messages();
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 400)(random)));
        kill(pid, signal);
        double elapsed = 0.0;
        ASSERT_EQ(WaitForExit(pid, std::chrono::seconds(3), &elapsed), 0) << "round " << round << "\n"
                                                                          << Messages();
        seconds.push_back(elapsed);
        // Shut down in order: the options went back to their file whole.
        Options options = DefaultOptions();
        EXPECT_EQ(ReadOptions(options, OptionsPath()).state, OptionsReadResult::State::Read) << round;
        EXPECT_NE(Messages().find("tamborel: stopped"), std::string::npos) << round;
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf(
        "live mode ended after a signal in %.3f s (fastest), %.3f s (median), %.3f s (slowest) over %zu "
        "rounds\n",
        seconds.front(), seconds[seconds.size() / 2], seconds.back(), seconds.size());
    RecordProperty("median_ms", static_cast<int>(seconds[seconds.size() / 2] * 1000));
    RecordProperty("slowest_ms", static_cast<int>(seconds.back() * 1000));
}

TEST_F(LiveModeTest, SaysPlainlyWhenTheJackServerIsNotRunning) {
    WriteTestOptions(1);
    const pid_t pid = Start({}, {"JACK_DEFAULT_SERVER=tamborel-absent-" + std::to_string(getpid())});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(WaitForExit(pid, kStartLimit), 1);
    const std::string messages = Messages();
    EXPECT_NE(messages.find("output driver \"ASIO\": JACK server not running"), std::string::npos)
        << messages;
    EXPECT_EQ(messages.find("has no device"), std::string::npos) << messages;
    EXPECT_NE(messages.find("tamborel render"), std::string::npos) << messages;
}

TEST_F(LiveModeTest, AnOptionsFileItCannotReadIsKeptByteForByteAndSaidSoOnce) {
    // A file of a later version: its VST folders are unknown, so the default folders are scanned
    // (slow); one run here, every other damage in the test's own process below.
    std::vector<uint8_t> versionOne = ReadFileBytes(OptionsPath());
    ASSERT_EQ(versionOne.size(), 36u);
    versionOne[4] = 1;
    WriteFileBytes(OptionsPath(), versionOne);
    const pid_t pid = Start({});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForMessage(pid, kPlaying, kStartLimit)) << Messages();
    kill(pid, SIGINT);
    ASSERT_EQ(WaitForExit(pid, std::chrono::seconds(3)), 0);
    EXPECT_EQ(ReadFileBytes(OptionsPath()), versionOne);
    EXPECT_EQ(Occurrences(Messages(), "could not be read"), 1u) << Messages();
    EXPECT_NE(Messages().find("(its version 1 is not known); it is kept as it is"), std::string::npos)
        << Messages();
}

TEST_F(LiveModeTest, OptionsOutOfAllRangesStillPlay) {
    // The latency that overflowed the buffer arithmetic, with every other setting as absurd; the
    // driver index is 0, as only then is the stored latency used.
    std::vector<uint8_t> bytes = {'p', 'O', 'b', 'T', 0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 5; ++i)
        bytes.insert(bytes.end(), {0xff, 0xff, 0xff, 0x7f});
    bytes.insert(bytes.end(), {0, 0, 0, 0});
    WriteFileBytes(OptionsPath(), bytes);
    const pid_t pid = Start({});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitForMessage(pid, kPlaying, kStartLimit)) << Messages();
    EXPECT_NE(Messages().find("44100 Hz, 6600 frames per buffer"), std::string::npos) << Messages();
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitForExit(pid, std::chrono::seconds(3)), 0) << Messages();
    // Read whole, so written back, with the defaults in place of what was out of range.
    Options options = DefaultOptions();
    ASSERT_EQ(ReadOptions(options, OptionsPath()).state, OptionsReadResult::State::Read);
    EXPECT_EQ(options.waveOutLatency, 150);
    EXPECT_EQ(options.driverIndex, 0);
}

// The same, in the test's own process and quicker, for every cut of the file and every extreme
// value: the studio starts live on the null device and shuts down again.
class LiveApplicationTest : public LiveModeTest {
protected:
    void SetUp() override {
        LiveModeTest::SetUp();
        setenv("HOME", (m_root / "home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
        setenv("ALSA_CONFIG_PATH", (m_root / "alsa.conf").c_str(), 1);
    }

    // A live start and shut-down; the messages it gave.
    std::string RunLiveApplication(int32_t* bufferSize = nullptr) {
        CApplication::Settings settings;
        settings.audio = CApplication::Audio::Live;
        settings.pluginFolder = m_root / "no-plugins";
        settings.vstFolders = std::vector<std::filesystem::path>{};
        std::ostringstream messages;
        settings.messages = &messages;
        {
            CApplication application(settings);
            EXPECT_TRUE(application.DriverProblem().empty()) << application.DriverProblem();
            EXPECT_TRUE(application.PlaysOnNoSoundCard());
            if (bufferSize) *bufferSize = application.Drivers()->Current()->GetBufferSize();
        }
        return messages.str();
    }
};

TEST_F(LiveApplicationTest, EveryCutOfTheOptionsFileIsKeptAsItIs) {
    Options options = DefaultOptions();
    options.driverIndex = 0;
    options.waveOutLatency = 40;
    options.vstFolders = {"/a", "/bc"};
    ASSERT_TRUE(WriteOptions(options, OptionsPath()));
    const std::vector<uint8_t> whole = ReadFileBytes(OptionsPath());
    std::vector<std::vector<uint8_t>> damaged;
    for (size_t length = 0; length < whole.size(); ++length)
        damaged.emplace_back(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    damaged.push_back(whole);
    damaged.back()[3] = 't'; // wrong magic
    damaged.push_back(whole);
    damaged.back()[4] = 1; // version 1
    for (const auto& bytes : damaged) {
        WriteFileBytes(OptionsPath(), bytes);
        const std::string messages = RunLiveApplication();
        ASSERT_EQ(ReadFileBytes(OptionsPath()), bytes) << "damaged file of " << bytes.size() << " bytes";
        EXPECT_EQ(Occurrences(messages, "could not be read"), 1u) << bytes.size() << ": " << messages;
    }
    // The whole file is read, and written back.
    WriteFileBytes(OptionsPath(), whole);
    int32_t bufferSize = 0;
    EXPECT_EQ(RunLiveApplication(&bufferSize), "");
    EXPECT_EQ(bufferSize, 44 * 40);
    EXPECT_EQ(ReadFileBytes(OptionsPath()), whole);
    // An explicit save replaces even a file that could not be read.
    WriteFileBytes(OptionsPath(), {'x'});
    {
        CApplication::Settings settings;
        settings.audio = CApplication::Audio::Live;
        settings.pluginFolder = m_root / "no-plugins";
        settings.vstFolders = std::vector<std::filesystem::path>{};
        std::ostringstream messages;
        settings.messages = &messages;
        CApplication application(settings);
        EXPECT_EQ(application.OptionsRead().state, OptionsReadResult::State::Unreadable);
        EXPECT_TRUE(application.SaveOptions());
    }
    Options saved = DefaultOptions();
    EXPECT_EQ(ReadOptions(saved, OptionsPath()).state, OptionsReadResult::State::Read);
}

TEST_F(LiveApplicationTest, ExtremeValuesInEveryFieldLoadAndPlay) {
    for (const int32_t value : {0, -1, INT32_MAX, INT32_MIN}) {
        std::vector<uint8_t> bytes = {'p', 'O', 'b', 'T', 0, 0, 0, 0};
        for (int i = 0; i < 7; ++i)
            for (int b = 0; b < 4; ++b)
                bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * b)));
        // The folder count is the seventh field; a count with no entries behind it is a cut file.
        WriteFileBytes(OptionsPath(), bytes);
        int32_t bufferSize = 0;
        const std::string messages = RunLiveApplication(&bufferSize);
        EXPECT_EQ(bufferSize, 44 * 150) << value;
        if (value == 0) {
            EXPECT_EQ(messages, "") << value;
        } else {
            EXPECT_NE(messages.find("could not be read"), std::string::npos) << value;
            EXPECT_EQ(ReadFileBytes(OptionsPath()), bytes) << value;
        }
    }
}

} // namespace
