#include "audio_out/asio_driver.h"

#include "audio_out/sample_format.h"
#include "platform/error.h"
#include "platform/thread.h"

#include <jack/jack.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <sched.h>

namespace {

// libjack reports an unreachable server on stderr; we report through our own texts instead.
void QuietJack(const char*) {}

// The physical playback ports of the server (inputs, from the server's point of view).
std::vector<std::string> PhysicalPlaybackPorts(jack_client_t* client) {
    std::vector<std::string> names;
    const char** ports =
        jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
    if (!ports) return names;
    for (const char** port = ports; *port; ++port)
        names.emplace_back(*port);
    jack_free(ports);
    return names;
}

jack_client_t* OpenClient(const char* name) {
    jack_set_error_function(QuietJack);
    jack_set_info_function(QuietJack);
    jack_status_t status{};
    return jack_client_open(name, JackNoStartServer, &status);
}

} // namespace

CASIODriver::CASIODriver(DriverOptions& options, const char* clientName)
    : m_options(options), m_clientName(clientName) {
    if (jack_client_t* probe = OpenClient((m_clientName + " probe").c_str())) {
        DriverRecord record;
        record.name = "JACK";
        record.currentRate = static_cast<int32_t>(jack_get_sample_rate(probe));
        record.rateMask = audio_format::RateBit(record.currentRate);
        const auto period = static_cast<int32_t>(jack_get_buffer_size(probe));
        record.minimumSize = record.maximumSize = record.preferredSize = period;
        record.granularity = 0;
        record.outputChannels =
            std::max<int32_t>(2, static_cast<int32_t>(PhysicalPlaybackPorts(probe).size()));
        jack_client_close(probe);
        m_drivers.push_back(record);
    }
    if (!m_drivers.empty()) {
        m_current = 0;
        TakeFormat(m_drivers.front());
    }
}

void CASIODriver::TakeFormat(const DriverRecord& record) {
    m_bufferSize = audio_format::InitialBufferSize(record.preferredSize, record.maximumSize);
    m_sampleRate = record.rateMask ? audio_format::LowestRate(record.rateMask) : record.currentRate;
}

std::string CASIODriver::ServerName() {
    const char* name = std::getenv("JACK_DEFAULT_SERVER");
    return name && *name ? name : "default";
}

std::string CASIODriver::GetProblem() {
    return m_drivers.empty() ? "JACK server not running" : "";
}

CASIODriver::~CASIODriver() {
    Stop();
}

void CASIODriver::SetCallback(RenderCallback callback) {
    m_callback.store(callback ? callback : SilenceCallback, std::memory_order_release);
}

int32_t CASIODriver::GetChannels() {
    return m_current >= 0 ? m_drivers[static_cast<size_t>(m_current)].outputChannels : 0;
}

std::string CASIODriver::GetDeviceName() {
    return m_current >= 0 ? m_drivers[static_cast<size_t>(m_current)].name : std::string();
}

void CASIODriver::Start() {
    std::lock_guard lock(m_mutex);
    if (m_started || m_current < 0) return;
    const DriverRecord& record = m_drivers[static_cast<size_t>(m_current)];
    const int32_t channels = GetChannels();
    m_floatBuffers.assign(static_cast<size_t>(channels),
                          std::vector<float>(static_cast<size_t>(m_bufferSize), 0.0f));
    m_channelPointers.clear();
    for (auto& buffer : m_floatBuffers)
        m_channelPointers.push_back(buffer.data());

    m_client = OpenClient(m_clientName.c_str());
    if (!m_client) platform::Raise("ASIO: Can't Open Driver <%s>", record.name.c_str());
    if (record.rateMask != 0) {
        // A JACK server's rate is its own: a different rate cannot be set from here.
        const int32_t rate = audio_format::LowestRate(record.rateMask);
        if (static_cast<int32_t>(jack_get_sample_rate(m_client)) != rate) {
            CloseClient();
            platform::Raise("ASIOSetSampleRate Failed");
        }
        m_sampleRate = rate;
    }
    if (!Attach()) platform::Raise("ASIO: Can't Open Driver <%s>", record.name.c_str());
    m_started = true;
    m_waiting = false;
}

bool CASIODriver::Attach() {
    m_serverGone.store(false, std::memory_order_release);
    m_ports.clear();
    for (int32_t c = 0; c < GetChannels(); ++c) {
        const std::string name = "out_" + std::to_string(c + 1);
        m_ports.push_back(
            jack_port_register(m_client, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0));
    }
    jack_set_process_callback(m_client, Process, this);
    jack_set_xrun_callback(m_client, Xrun, this);
    jack_on_info_shutdown(
        m_client, [](jack_status_t, const char* reason, void* argument) { Shutdown(reason, argument); },
        this);
    m_running.store(true, std::memory_order_release);
    if (jack_activate(m_client) != 0) {
        CloseClient();
        return false;
    }
    const std::vector<std::string> playback = PhysicalPlaybackPorts(m_client);
    // The latency: our period, then what the playback ports we feed add (their own latency is
    // set by the server's backend, while ours is recomputed by the server some time later).
    jack_nframes_t downstream = 0;
    for (size_t c = 0; c < m_ports.size() && c < playback.size(); ++c) {
        if (!m_ports[c]) continue;
        jack_connect(m_client, jack_port_name(m_ports[c]), playback[c].c_str());
        if (jack_port_t* port = jack_port_by_name(m_client, playback[c].c_str())) {
            jack_latency_range_t range{0, 0};
            jack_port_get_latency_range(port, JackPlaybackLatency, &range);
            downstream = std::max(downstream, range.max);
        }
    }
    m_latencyFrames = m_bufferSize + static_cast<int32_t>(std::min<jack_nframes_t>(downstream, 1u << 24));
    return true;
}

void CASIODriver::CloseClient() {
    m_running.store(false, std::memory_order_release);
    if (m_client) {
        // After a shutdown the client is only closed: there is no server left to deactivate it.
        if (!m_serverGone.load(std::memory_order_acquire)) jack_deactivate(m_client);
        jack_client_close(m_client);
    }
    m_client = nullptr;
    m_ports.clear();
}

DriverEvent CASIODriver::Watch() {
    DriverEvent event;
    std::lock_guard lock(m_mutex);
    if (!m_started) return event;
    const auto now = std::chrono::steady_clock::now();
    const std::string server = ServerName();
    if (!m_waiting) {
        if (!m_serverGone.load(std::memory_order_acquire)) return event;
        CloseClient();
        m_waiting = true;
        m_nextLook = now + std::chrono::seconds(1);
        event.kind = DriverEvent::Kind::Lost;
        event.text = platform::FormatText(
            "output driver \"ASIO\" stopped: JACK server \"%s\" shut down (%s); the studio runs on without "
            "sound and looks for the server every second",
            server.c_str(), m_goneReason[0] ? m_goneReason : "no reason given");
        return event;
    }
    if (now < m_nextLook) return event;
    m_nextLook = now + std::chrono::seconds(1);
    m_client = OpenClient(m_clientName.c_str());
    if (!m_client) return event;
    const auto rate = static_cast<int32_t>(jack_get_sample_rate(m_client));
    const auto period = static_cast<int32_t>(jack_get_buffer_size(m_client));
    if (rate != m_sampleRate || period != m_bufferSize) {
        // The studio must follow the new format before anything renders: the driver is bound
        // again (Stop, then Start through the binding) by its owner.
        m_serverGone.store(false);
        CloseClient();
        DriverRecord& record = m_drivers[static_cast<size_t>(m_current)];
        record.currentRate = rate;
        record.rateMask = audio_format::RateBit(rate);
        record.minimumSize = record.maximumSize = record.preferredSize = period;
        TakeFormat(record);
        // Stopped now: the next Start (through the binding) plays at the new format.
        m_waiting = false;
        m_started = false;
        event.kind = DriverEvent::Kind::Reformat;
        event.text = platform::FormatText("JACK server \"%s\" is back at %d Hz with %d frames per buffer",
                                          server.c_str(), rate, period);
        return event;
    }
    if (!Attach()) return event;
    m_waiting = false;
    event.kind = DriverEvent::Kind::Resumed;
    event.text = platform::FormatText(
        "sound resumes: output driver \"ASIO\" plays through JACK server \"%s\" again", server.c_str());
    return event;
}

int CASIODriver::Process(uint32_t frames, void* argument) {
    // The server's library may cancel this thread when the client closes; cancellation waits
    // until the buffer is done, so it never unwinds through the engine (whose locks and paired
    // waits it would leave behind) but only through the library's own wait for the next cycle.
    int previous = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous);
    // A server without real-time scheduling leaves its clients' threads at normal priority, where
    // any busy program delays the studio's buffers; the thread asks for it once itself (quietly
    // staying as it is where that is not permitted). A real-time server's thread keeps its own.
    static thread_local bool asked = false;
    if (!asked) {
        asked = true;
        int policy = SCHED_OTHER;
        sched_param parameters{};
        if (pthread_getschedparam(pthread_self(), &policy, &parameters) == 0 && policy == SCHED_OTHER)
            platform::SetCurrentThreadPriority(platform::ThreadPriority::AboveNormal);
    }
    static_cast<CASIODriver*>(argument)->BufferSwitch(frames);
    pthread_setcancelstate(previous, nullptr);
    return 0;
}

void CASIODriver::Shutdown(const char* reason, void* argument) {
    // Called like a signal handler: copy the reason, set the flags, nothing else.
    auto* driver = static_cast<CASIODriver*>(argument);
    size_t i = 0;
    for (; reason && reason[i] && i + 1 < sizeof driver->m_goneReason; ++i)
        driver->m_goneReason[i] = reason[i];
    driver->m_goneReason[i] = '\0';
    driver->m_running.store(false, std::memory_order_release);
    driver->m_serverGone.store(true, std::memory_order_release);
}

int CASIODriver::Xrun(void* argument) {
    static_cast<CASIODriver*>(argument)->CountXrun();
    return 0;
}

void CASIODriver::BufferSwitch(uint32_t frames) {
    const auto channels = static_cast<int32_t>(m_ports.size());
    if (!m_running.load(std::memory_order_acquire)) {
        for (jack_port_t* port : m_ports)
            if (port) std::memset(jack_port_get_buffer(port, frames), 0, sizeof(float) * frames);
        return;
    }
    const RenderCallback callback = m_callback.load(std::memory_order_acquire);
    // The engine renders buffers of our buffer size; a server period that changed underneath is
    // served in pieces of at most that size.
    uint32_t done = 0;
    while (done < frames) {
        const auto piece =
            static_cast<int32_t>(std::min<uint32_t>(frames - done, static_cast<uint32_t>(m_bufferSize)));
        callback(channels, m_channelPointers.data(), piece);
        for (int32_t c = 0; c < channels; ++c) {
            if (!m_ports[static_cast<size_t>(c)]) continue;
            auto* half =
                static_cast<float*>(jack_port_get_buffer(m_ports[static_cast<size_t>(c)], frames)) + done;
            audio_format::ConvertToAsio(m_sampleType, m_channelPointers[static_cast<size_t>(c)], half, piece);
        }
        done += static_cast<uint32_t>(piece);
    }
}

void CASIODriver::Stop() {
    std::lock_guard lock(m_mutex);
    m_started = false;
    m_waiting = false;
    CloseClient();
}
