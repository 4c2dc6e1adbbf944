// CASIODriver ("ASIO"): low-latency output through JACK. The registered drivers are the JACK
// servers that can be reached (one, "JACK", when a server runs; none otherwise; a server is never
// started by us). A driver record holds the server's rate in its rate mask, its period as minimum,
// maximum and preferred buffer size, and its physical playback ports (at least 2) as outputs.
//
// A server that shuts down (or dies) during play is noticed through JACK's shutdown callback;
// Watch then closes what is left of our client, tells the user, and looks for the server once a
// second. A server that comes back at the same rate and period is joined again at once; one
// with another rate or period asks for the driver to be bound again (DriverEvent::Reformat).
//
// Threads: construction, Start, Stop and Watch on the user-interface thread; the buffer switch
// (JACK's process callback) on JACK's thread, where it calls the render callback and converts
// each channel into JACK's port buffer. The conversion takes no lock of its own. The shutdown
// and xrun callbacks run on a thread of libjack and only set flags or count.
#pragma once

#include "audio_out/audio_output_driver.h"
#include "audio_out/driver_options.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct _jack_client;
struct _jack_port;

class CASIODriver : public CAudioOutputDriver {
public:
    struct DriverRecord {
        std::string name;
        int32_t rateMask = 0; // bit j: rate j of the rate table
        int32_t currentRate = 0;
        int32_t minimumSize = 0, maximumSize = 0, preferredSize = 0, granularity = 0;
        int32_t outputChannels = 0;
    };

    // Lists the reachable servers and reads their records. The client name is what our ports are
    // listed under ("Tamborel").
    explicit CASIODriver(DriverOptions& options, const char* clientName = "Tamborel");
    ~CASIODriver() override;

    void SetCallback(RenderCallback callback) override;
    int32_t GetChannels() override;
    int32_t GetBufferSize() override { return m_bufferSize; }
    int32_t GetSampleRate() override { return m_sampleRate; }
    const char* GetName() override { return "ASIO"; }
    // Raises "ASIO: Can't Open Driver <%s>" when the server does not answer and
    // "ASIOSetSampleRate Failed" when it runs at another rate than the record's.
    void Start() override;
    void Stop() override;
    bool IsAvailable() override { return !m_drivers.empty(); }
    std::string GetDeviceName() override;
    // Our period plus the downstream latency JACK reports for our ports.
    int32_t GetOutputLatency() override { return m_latencyFrames; }
    // "JACK server not running" when no server could be reached at creation.
    std::string GetProblem() override;
    DriverEvent Watch() override;

    int32_t DriverCount() const { return static_cast<int32_t>(m_drivers.size()); }
    const DriverRecord& DriverAt(int32_t index) const { return m_drivers.at(static_cast<size_t>(index)); }
    int32_t CurrentDriver() const { return m_current; }
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }
    // The server went away during play and has not been joined again yet.
    bool IsLost() const { return m_waiting; }
    // The server our clients talk to: $JACK_DEFAULT_SERVER, else "default".
    static std::string ServerName();
    // The sample type the buffer switch converts to (JACK ports carry 32-bit floats).
    int32_t SampleType() const { return m_sampleType; }

private:
    static int Process(uint32_t frames, void* argument);
    static void Shutdown(const char* reason, void* argument);
    // The server missed a period (a client, ours or another, was late): counted as an xrun.
    static int Xrun(void* argument);
    void BufferSwitch(uint32_t frames);
    // Rate and buffer size from a record, as at creation.
    void TakeFormat(const DriverRecord& record);
    // Registers the ports on the open client, activates it and connects the ports to the
    // playback ports. False (the client closed) when activation fails.
    bool Attach();
    void CloseClient();

    DriverOptions& m_options;
    std::string m_clientName;
    std::vector<DriverRecord> m_drivers;
    int32_t m_current = -1;
    int32_t m_bufferSize = 0;
    int32_t m_sampleRate = 44100;
    int32_t m_sampleType = 19;
    std::mutex m_mutex;
    std::atomic<RenderCallback> m_callback{SilenceCallback};

    _jack_client* m_client = nullptr;
    std::vector<_jack_port*> m_ports;
    std::vector<std::vector<float>> m_floatBuffers;
    std::vector<float*> m_channelPointers;
    std::atomic<bool> m_running{false};
    int32_t m_latencyFrames = 0;

    // Set by the shutdown callback: the server is gone, and why.
    std::atomic<bool> m_serverGone{false};
    char m_goneReason[256] = {};
    // User-interface thread only: started by Start (until Stop), waiting for the server to return.
    bool m_started = false;
    bool m_waiting = false;
    std::chrono::steady_clock::time_point m_nextLook;
};
