// The drivers on real servers and devices: a tone played through "ASIO" into a JACK server of our
// own (dummy backend) and recorded with jack_rec, and a tone played through "Wave Out" into ALSA's
// file device. Both measure pitch and level of what arrived. Then devices that do not behave:
// ALSA's "null" and a file device, which take samples without pacing, and a device that fails
// during play (a file device writing into a pipe whose reader goes away).
#include "audio_out/asio_driver.h"
#include "audio_out/wave_out_driver.h"
#include "tests/support/processes.h"
#include "tests/support/studio_fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

extern char** environ;

namespace {

constexpr double kToneFrequency = 1000.0;
constexpr float kToneLevel = 0.5f;

struct Measurement {
    double frequency = 0.0;
    double rms = 0.0;
};

// Pitch from the rising zero crossings (interpolated), level as RMS.
Measurement Measure(const std::vector<float>& samples, int32_t sampleRate) {
    Measurement result;
    double first = -1.0, last = -1.0;
    int crossings = 0;
    double sum = 0.0;
    for (size_t i = 1; i < samples.size(); ++i) {
        sum += static_cast<double>(samples[i]) * samples[i];
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) {
            const double at = static_cast<double>(i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]);
            if (first < 0.0) first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings > 1) result.frequency = (crossings - 1) * sampleRate / (last - first);
    result.rms = std::sqrt(sum / static_cast<double>(samples.size()));
    return result;
}

using processes::ProgramExists;
using processes::Spawn;

// The samples of the first channel of a PCM WAV file (16-bit integers or 32-bit floats).
std::vector<float> ReadWavChannel(const std::filesystem::path& path, int32_t* sampleRate) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> samples;
    int16_t format = 0, channels = 0, bits = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size = 0;
        std::memcpy(&size, &bytes[at + 4], 4);
        const char* id = &bytes[at];
        if (std::memcmp(id, "fmt ", 4) == 0) {
            std::memcpy(&format, &bytes[at + 8], 2);
            std::memcpy(&channels, &bytes[at + 10], 2);
            std::memcpy(sampleRate, &bytes[at + 12], 4);
            std::memcpy(&bits, &bytes[at + 22], 2);
        } else if (std::memcmp(id, "data", 4) == 0 && channels > 0) {
            const size_t frameBytes = static_cast<size_t>(channels) * static_cast<size_t>(bits / 8);
            const size_t end = std::min(bytes.size(), at + 8 + size);
            for (size_t p = at + 8; p + frameBytes <= end; p += frameBytes) {
                if (bits == 16) {
                    int16_t value = 0;
                    std::memcpy(&value, &bytes[p], 2);
                    samples.push_back(static_cast<float>(value) / 32768.0f);
                } else if (bits == 32 && format == 3) {
                    float value = 0;
                    std::memcpy(&value, &bytes[p], 4);
                    samples.push_back(value);
                } else if (bits == 32) {
                    int32_t value = 0;
                    std::memcpy(&value, &bytes[p], 4);
                    samples.push_back(static_cast<float>(value / 2147483648.0));
                }
            }
            break;
        }
        at += 8 + size + (size & 1);
    }
    return samples;
}

// The device tests take turns (ctest runs tests in parallel): a device test running flat out on
// ALSA's file device would starve the JACK server of the other.
class CDeviceTurn {
public:
    CDeviceTurn() {
        const auto path = std::filesystem::path(TAMBOREL_TEST_BINARY_DIR) / "device-tests.lock";
        m_file = open(path.c_str(), O_CREAT | O_RDWR, 0644);
        if (m_file >= 0) flock(m_file, LOCK_EX);
    }
    ~CDeviceTurn() {
        if (m_file >= 0) close(m_file);
    }
    CDeviceTurn(const CDeviceTurn&) = delete;
    CDeviceTurn& operator=(const CDeviceTurn&) = delete;

private:
    int m_file = -1;
};

// A studio playing a 1 kHz sine of amplitude 0.5 into the master.
struct ToneStudio : CStudioFixture {
    ToneStudio(int32_t bufferSize, int32_t sampleRate, int32_t channels)
        : CStudioFixture(bufferSize, sampleRate) {
        g_testChannels = channels;
        m_studio->NewProject();
        CMachineContainer* tone = Add(m_tone);
        Machine(tone)->m_frequency = kToneFrequency;
        Machine(tone)->m_level = kToneLevel;
        Machine(tone)->m_rate = sampleRate;
        Cable(tone, m_studio->MasterFrame());
        CStudio::SetRenderTarget(m_studio.get());
    }
    ~ToneStudio() { CStudio::SetRenderTarget(nullptr); }
};

TEST(JackOutput, AToneThroughAsioArrivesAtPitchAndLevel) {
    if (!ProgramExists("jackd") || !ProgramExists("jack_rec")) GTEST_SKIP() << "jackd or jack_rec missing";
    CDeviceTurn turn;
    const processes::CJackServer server("test");
    ASSERT_TRUE(server.Started());

    DriverOptions options;
    std::unique_ptr<CASIODriver> driver;
    for (int attempt = 0; attempt < 50; ++attempt) {
        driver = std::make_unique<CASIODriver>(options, "tamborel-test");
        if (driver->IsAvailable()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(driver->IsAvailable()) << "the JACK server did not come up";
    EXPECT_EQ(driver->GetSampleRate(), 48000);
    EXPECT_EQ(driver->GetBufferSize(), 256);
    EXPECT_EQ(driver->GetChannels(), 2);

    ToneStudio studio(driver->GetBufferSize(), driver->GetSampleRate(), driver->GetChannels());
    driver->SetCallback(CStudio::RenderCallback);
    driver->Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // past the fade-in

    // A busy machine can make the non-realtime server miss a period (an xrun leaves a gap in the
    // recording): a take with a gap is recorded again, up to three takes.
    const auto file = std::filesystem::path(TAMBOREL_TEST_BINARY_DIR) / ("jack-" + server.Name() + ".wav");
    Measurement tone;
    int32_t rate = 0;
    for (int take = 0; take < 3; ++take) {
        ASSERT_EQ(processes::Run({"jack_rec", "-f", file.string(), "-d", "1", "tamborel-test:out_1"}), 0);
        std::vector<float> samples = ReadWavChannel(file, &rate);
        std::filesystem::remove(file);
        ASSERT_EQ(rate, 48000);
        // jack_rec may start a little before the first connected period: keep the tone's middle.
        ASSERT_GT(samples.size(), 24000u);
        samples = std::vector<float>(samples.begin() + 4800, samples.begin() + 4800 + 19200);
        tone = Measure(samples, rate);
        if (std::fabs(tone.frequency - kToneFrequency) <= 2.0 &&
            std::fabs(tone.rms - kToneLevel / std::sqrt(2.0)) <= 0.01)
            break;
    }
    driver->Stop();
    EXPECT_EQ(studio.m_studio->RenderErrors().count, 0u);
    EXPECT_NEAR(tone.frequency, kToneFrequency, 2.0);
    EXPECT_NEAR(tone.rms, kToneLevel / std::sqrt(2.0), 0.01);
}

TEST(AlsaOutput, AToneThroughWaveOutArrivesAtPitchAndLevel) {
    CDeviceTurn turn;
    const auto file = std::filesystem::path(TAMBOREL_TEST_BINARY_DIR) / "wave-out.raw";
    std::filesystem::remove(file);
    DriverOptions options;
    options.waveOutFormat = 0x800; // 44.1 kHz, 16-bit, stereo
    options.waveOutLatency = 20;
    CWaveOutDriver driver(options, {"file:FILE=" + file.string() + ",FORMAT=raw"});
    if (!driver.IsAvailable()) GTEST_SKIP() << "ALSA's file device is not available";
    EXPECT_EQ(driver.GetChannels(), 2);
    EXPECT_EQ(driver.GetBufferSize(), 44 * 20);

    ToneStudio studio(driver.GetBufferSize(), driver.GetSampleRate(), driver.GetChannels());
    driver.SetCallback(CStudio::RenderCallback);
    driver.Start();
    EXPECT_TRUE(driver.IsRunning());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    driver.Stop();
    EXPECT_FALSE(driver.IsRunning());

    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(file);
    const size_t frames = bytes.size() / 4;
    ASSERT_GT(frames, 17640u) << "less than 0.4 s arrived";
    std::vector<float> left;
    for (size_t i = 8820; i < std::min(frames, size_t{8820 + 44100}); ++i) {
        int16_t value = 0;
        std::memcpy(&value, &bytes[4 * i], 2);
        left.push_back(static_cast<float>(value) / 32768.0f);
    }
    const Measurement tone = Measure(left, 44100);
    EXPECT_NEAR(tone.frequency, kToneFrequency, 2.0);
    EXPECT_NEAR(tone.rms, kToneLevel / std::sqrt(2.0), 0.01);
}

std::atomic<int64_t> g_framesRendered{0};
void CountingCallback(int32_t channelCount, float** channels, int32_t frames) {
    SilenceCallback(channelCount, channels, frames);
    g_framesRendered.fetch_add(frames);
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Frames per second rendered into an unpaced device over a wall-clock second, and the CPU time
// the whole process used meanwhile.
struct Pace {
    double framesPerSecond;
    double cpuSeconds;
};
Pace MeasurePace(CWaveOutDriver& driver, std::chrono::milliseconds settle) {
    driver.SetCallback(CountingCallback);
    driver.Start();
    std::this_thread::sleep_for(settle);
    const int64_t framesBefore = g_framesRendered.load();
    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const Pace pace{static_cast<double>(g_framesRendered.load() - framesBefore) / wall,
                    ProcessCpuSeconds() - cpuBefore};
    return pace;
}

template <typename Condition> bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Starts a JACK server of our own and waits until a client can reach it.
pid_t StartJackServer(const std::string& name, const std::string& rate) {
    const pid_t jackd = Spawn({"jackd", "--no-realtime", "-n", name, "-d", "dummy", "-r", rate, "-p", "256"});
    for (int attempt = 0; jackd > 0 && attempt < 100; ++attempt) {
        if (processes::Run({"jack_lsp"}) == 0) return jackd;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return jackd;
}

TEST(JackOutput, AServerThatDiesIsToldAndJoinedAgainWhenItIsBack) {
    if (!ProgramExists("jackd") || !ProgramExists("jack_lsp")) GTEST_SKIP() << "jackd or jack_lsp missing";
    CDeviceTurn turn;
    const std::string server = "tamborel-back-" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    pid_t jackd = StartJackServer(server, "48000");
    ASSERT_GT(jackd, 0);
    struct ServerGuard {
        pid_t* pid;
        ~ServerGuard() {
            if (*pid > 0) {
                kill(*pid, SIGTERM);
                waitpid(*pid, nullptr, 0);
            }
            unsetenv("JACK_DEFAULT_SERVER");
        }
    } guard{&jackd};

    DriverOptions options;
    CASIODriver driver(options, "tamborel-back");
    ASSERT_TRUE(driver.IsAvailable());
    EXPECT_EQ(driver.GetProblem(), "");
    g_framesRendered.store(0);
    driver.SetCallback(CountingCallback);
    driver.Start();
    EXPECT_EQ(driver.GetOutputLatency(), 256 + 512); // our period, and the dummy's two periods
    ASSERT_TRUE(WaitFor([] { return g_framesRendered.load() > 4800; }, std::chrono::seconds(5)));

    kill(jackd, SIGKILL);
    waitpid(jackd, nullptr, 0);
    jackd = -1;
    DriverEvent lost;
    ASSERT_TRUE(WaitFor([&] { return (lost = driver.Watch()).kind != DriverEvent::Kind::None; },
                        std::chrono::seconds(2)));
    EXPECT_EQ(lost.kind, DriverEvent::Kind::Lost);
    EXPECT_NE(lost.text.find("\"ASIO\" stopped: JACK server \"" + server + "\""), std::string::npos)
        << lost.text;
    EXPECT_TRUE(driver.IsLost());
    EXPECT_FALSE(driver.IsRunning());
    EXPECT_EQ(driver.Watch().kind, DriverEvent::Kind::None); // said once, while no server answers

    // Back at the same format: joined again by the driver itself.
    jackd = StartJackServer(server, "48000");
    ASSERT_GT(jackd, 0);
    DriverEvent back;
    ASSERT_TRUE(WaitFor([&] { return (back = driver.Watch()).kind != DriverEvent::Kind::None; },
                        std::chrono::seconds(5)));
    EXPECT_EQ(back.kind, DriverEvent::Kind::Resumed) << back.text;
    const int64_t before = g_framesRendered.load();
    EXPECT_TRUE(WaitFor([&] { return g_framesRendered.load() > before + 4800; }, std::chrono::seconds(5)));

    // Back at another rate: the driver takes the new format and asks to be bound again.
    kill(jackd, SIGTERM);
    waitpid(jackd, nullptr, 0);
    jackd = -1;
    ASSERT_TRUE(
        WaitFor([&] { return driver.Watch().kind == DriverEvent::Kind::Lost; }, std::chrono::seconds(2)));
    jackd = StartJackServer(server, "44100");
    ASSERT_GT(jackd, 0);
    ASSERT_TRUE(WaitFor([&] { return (back = driver.Watch()).kind != DriverEvent::Kind::None; },
                        std::chrono::seconds(5)));
    EXPECT_EQ(back.kind, DriverEvent::Kind::Reformat) << back.text;
    EXPECT_EQ(driver.GetSampleRate(), 44100);
    EXPECT_EQ(driver.GetBufferSize(), 256);
    driver.Start();
    EXPECT_TRUE(driver.IsRunning());
    driver.Stop();
    EXPECT_FALSE(driver.IsRunning());
}

TEST(AlsaOutput, TheNullDeviceIsNoSoundCardAndPlaysInRealTime) {
    CDeviceTurn turn;
    DriverOptions options;
    options.waveOutLatency = 20;
    CWaveOutDriver driver(options, {"null"});
    if (!driver.IsAvailable()) GTEST_SKIP() << "ALSA's null device is not available";
    EXPECT_FALSE(driver.DeviceAt(0).soundCard);
    EXPECT_FALSE(driver.CurrentIsSoundCard());
    EXPECT_FALSE(driver.HasSoundCard());
    const Pace pace = MeasurePace(driver, std::chrono::milliseconds(200));
    // Known from the start: nothing to notice later.
    EXPECT_EQ(driver.Watch().kind, DriverEvent::Kind::None);
    driver.Stop();
    EXPECT_NEAR(pace.framesPerSecond, 44100.0, 4410.0);
    EXPECT_LT(pace.cpuSeconds, 0.3);
}

TEST(AlsaOutput, ADeviceFoundTakingSamplesWithoutPacingIsPacedAndSaidSo) {
    CDeviceTurn turn;
    DriverOptions options;
    options.waveOutLatency = 20;
    // A file device with no card behind it: it looks like any device until it plays.
    CWaveOutDriver driver(options, {"file:FILE=/dev/null,FORMAT=raw"});
    if (!driver.IsAvailable()) GTEST_SKIP() << "ALSA's file device is not available";
    EXPECT_TRUE(driver.DeviceAt(0).soundCard);
    const Pace pace = MeasurePace(driver, std::chrono::milliseconds(300));
    const DriverEvent event = driver.Watch();
    EXPECT_EQ(event.kind, DriverEvent::Kind::Unpaced);
    EXPECT_NE(event.text.find("faster than real time"), std::string::npos) << event.text;
    EXPECT_NE(event.text.find("file:FILE=/dev/null"), std::string::npos) << event.text;
    EXPECT_EQ(driver.Watch().kind, DriverEvent::Kind::None); // said once
    driver.Stop();
    EXPECT_NEAR(pace.framesPerSecond, 44100.0, 4410.0);
    EXPECT_LT(pace.cpuSeconds, 0.3);
}

TEST(AlsaOutput, StopEndsPlayingAtOnceOnAnUnpacedDevice) {
    CDeviceTurn turn;
    DriverOptions options;
    options.waveOutLatency = 400; // long naps between buffers: Stop must not wait for them
    CWaveOutDriver driver(options, {"null"});
    if (!driver.IsAvailable()) GTEST_SKIP() << "ALSA's null device is not available";
    for (int round = 0; round < 5; ++round) {
        driver.SetCallback(CountingCallback);
        driver.Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(50 + 30 * round));
        const auto before = std::chrono::steady_clock::now();
        driver.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(200)) << round;
        EXPECT_FALSE(driver.IsRunning());
    }
}

// Reads a pipe until told to stop or until limit bytes arrived, then closes it.
class CPipeReader {
public:
    CPipeReader(std::filesystem::path path, size_t limit)
        : m_thread([this, path = std::move(path), limit] {
              const int fd = open(path.c_str(), O_RDONLY);
              if (fd < 0) return;
              char chunk[4096];
              while (m_bytes.load() < limit && !m_stop.load()) {
                  const ssize_t n = read(fd, chunk, std::min(sizeof chunk, limit - m_bytes.load()));
                  if (n <= 0) break;
                  for (ssize_t i = 0; i < n; ++i)
                      if (chunk[i] != 0) m_nonZero.store(true);
                  m_bytes.fetch_add(static_cast<size_t>(n));
              }
              close(fd);
          }) {}
    ~CPipeReader() {
        m_stop.store(true);
        m_thread.join();
    }
    CPipeReader(const CPipeReader&) = delete;
    CPipeReader& operator=(const CPipeReader&) = delete;
    size_t Bytes() const { return m_bytes.load(); }
    bool HeardSound() const { return m_nonZero.load(); }

private:
    std::atomic<size_t> m_bytes{0};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_nonZero{false};
    std::thread m_thread;
};

TEST(AlsaOutput, ADeviceThatFailsDuringPlayIsToldAndOpenedAgain) {
    CDeviceTurn turn;
    signal(SIGPIPE, SIG_IGN); // the pipe's reader goes away: writes fail instead of killing us
    const auto fifo =
        std::filesystem::path(TAMBOREL_TEST_BINARY_DIR) / ("device-fifo-" + std::to_string(getpid()));
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    DriverOptions options;
    options.waveOutFormat = 0x800;
    options.waveOutLatency = 20;
    CWaveOutDriver driver(options, {"file:FILE=" + fifo.string() + ",FORMAT=raw"});
    if (!driver.IsAvailable()) GTEST_SKIP() << "ALSA's file device is not available";
    ToneStudio studio(driver.GetBufferSize(), driver.GetSampleRate(), driver.GetChannels());
    driver.SetCallback(CStudio::RenderCallback);
    {
        // The first reader takes a quarter second of sound and goes away.
        CPipeReader reader(fifo, 44100);
        driver.Start();
        ASSERT_TRUE(WaitFor([&] { return reader.Bytes() >= 44100; }, std::chrono::seconds(10)));
    }
    DriverEvent lost;
    ASSERT_TRUE(WaitFor([&] { return (lost = driver.Watch()).kind != DriverEvent::Kind::None; },
                        std::chrono::seconds(5)));
    EXPECT_EQ(lost.kind, DriverEvent::Kind::Lost);
    EXPECT_NE(lost.text.find("\"Wave Out\" stopped: ALSA device \"file:FILE=" + fifo.string()),
              std::string::npos)
        << lost.text;
    EXPECT_TRUE(driver.IsRunning());
    EXPECT_TRUE(driver.IsLost());
    // Nothing else is told while the device stays away.
    EXPECT_EQ(driver.Watch().kind, DriverEvent::Kind::None);

    // A new reader: the device opens again within about a second, and sound flows again.
    CPipeReader reader(fifo, 4 * 44100);
    DriverEvent resumed;
    ASSERT_TRUE(WaitFor([&] { return (resumed = driver.Watch()).kind != DriverEvent::Kind::None; },
                        std::chrono::seconds(5)));
    EXPECT_EQ(resumed.kind, DriverEvent::Kind::Resumed);
    EXPECT_NE(resumed.text.find("sound resumes"), std::string::npos) << resumed.text;
    EXPECT_FALSE(driver.IsLost());
    EXPECT_TRUE(WaitFor([&] { return reader.Bytes() >= 4 * 44100; }, std::chrono::seconds(10)));
    EXPECT_TRUE(reader.HeardSound());
    driver.Stop();
    std::filesystem::remove(fifo);
}

} // namespace
