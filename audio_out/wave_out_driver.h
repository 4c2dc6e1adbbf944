// CWaveOutDriver ("Wave Out"): plays through ALSA PCM playback. Two buffers of latency
// milliseconds alternate: the driver's playback thread refills each buffer the device has taken
// (Fill) and hands it back.
//
// Devices are ALSA PCM names: "default" first, then the playback devices ALSA's hints report;
// a device's format flags come from testing every rate, depth and layout on it. A device of ALSA's
// "null" kind takes every sample at once and plays nothing: it is listed, but it is no sound
// card, and the playback thread paces it to real time itself (as it does any device found taking
// samples far faster than real time), so it never spins a core. Settings setters write through
// to the options record.
//
// A device that fails during play (unplugged, its server gone) stops the playback thread; Watch
// tells the user which device stopped and why, and opens it again about once a second until it
// plays again. An underrun or a suspend the device comes back from is counted as an xrun
// (GetXruns).
//
// Threads: construction, settings, Start, Stop and Watch on the user-interface thread; Fill (and
// the render callback) on the playback thread. Fill and SetCallback exclude each other through
// the mutex; Stop clears the running flag and joins the playback thread.
#pragma once

#include "audio_out/audio_output_driver.h"
#include "audio_out/driver_options.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct _snd_pcm;

class CWaveOutDriver : public CAudioOutputDriver {
public:
    struct Device {
        std::string name;
        int32_t formats = 0;   // supported format flags
        bool soundCard = true; // false for a device of ALSA's "null" kind
    };

    // Lists and probes the devices (or probes only the given PCM names) and picks device, latency
    // and format from the options. Nothing is opened for playing.
    explicit CWaveOutDriver(DriverOptions& options, const std::vector<std::string>& deviceNames = {});
    ~CWaveOutDriver() override;

    void SetCallback(RenderCallback callback) override;
    int32_t GetChannels() override { return m_stereo ? 2 : 1; }
    int32_t GetBufferSize() override { return m_frames; }
    int32_t GetSampleRate() override { return m_sampleRate; }
    const char* GetName() override { return "Wave Out"; }
    // Raises "WaveOut: waveOutOpen Failed <Error Code 0x%x>" when the device does not open and
    // "WaveOut: waveOutPrepareHeader Failed <Error Code: 0x%x>" when it refuses the format.
    void Start() override;
    void Stop() override;
    bool IsAvailable() override { return !m_devices.empty(); }
    std::string GetDeviceName() override;
    // Our waiting buffer plus the device's own buffer.
    int32_t GetOutputLatency() override { return m_latencyFrames; }
    std::string GetProblem() override;
    DriverEvent Watch() override;

    // Settings (the options page); each setter writes the options record too. They take effect at
    // the next Start.
    int32_t DeviceCount() const { return static_cast<int32_t>(m_devices.size()); }
    const Device& DeviceAt(int32_t index) const { return m_devices.at(static_cast<size_t>(index)); }
    int32_t CurrentDevice() const { return m_device; }
    int32_t CurrentFormat() const { return m_format; }
    int32_t CurrentLatency() const { return m_latency; }
    void SetDevice(int32_t device);
    void SetFormat(int32_t format);
    // Clamped to driver_limits::kMinLatency ... kMaxLatency.
    void SetLatency(int32_t latency);
    // Started (Start called, Stop not yet), also while a lost device is being opened again.
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }
    // The device failed during play and has not been opened again yet.
    bool IsLost() const { return m_retrying; }
    // Whether the current device is a sound card, and whether any listed device is one.
    bool CurrentIsSoundCard() const;
    bool HasSoundCard() const;

    // Probes one PCM for its format flags (0 when it does not open); soundCard (when given) tells
    // whether it is anything but a device of ALSA's "null" kind.
    static int32_t ProbeFormats(const std::string& pcmName, bool* soundCard = nullptr);

private:
    void Decode();
    // Opens the current device with the current format and makes the buffers. Raises the
    // driver's error texts; leaves nothing open when it fails.
    void OpenDevice();
    void Fill(int32_t index);
    void PlaybackLoop();
    void CloseDevice();

    DriverOptions& m_options;
    std::mutex m_mutex;
    RenderCallback m_callback = SilenceCallback;
    std::vector<Device> m_devices;
    int32_t m_device = -1;
    int32_t m_format = 2048;
    int32_t m_latency = 150;
    int32_t m_sampleRate = 44100;
    int32_t m_bits = 16;
    bool m_stereo = true;
    int32_t m_frames = 0;
    int32_t m_latencyFrames = 0;

    _snd_pcm* m_pcm = nullptr;
    std::vector<uint8_t> m_pcmBuffers[2];
    std::vector<float> m_channelBuffers[2];
    float* m_channels[2] = {nullptr, nullptr};
    std::atomic<bool> m_running{false};
    std::thread m_thread;

    // Set by the playback thread: the error that stopped the device (0: none), and that the
    // device took samples far faster than real time.
    std::atomic<int> m_failure{0};
    std::atomic<bool> m_unpaced{false};
    // User-interface thread only.
    bool m_retrying = false;
    bool m_unpacedTold = false;
    std::chrono::steady_clock::time_point m_nextRetry;
};
