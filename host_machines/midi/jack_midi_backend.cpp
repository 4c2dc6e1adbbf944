// MIDI through a running JACK server: every JACK MIDI port of other clients is a device. Opening
// a device registers a port of our own ("Tamborel MIDI" client) and connects it. Input messages
// are read in JACK's process callback and handed to the device's hooks there; output messages
// wait in a queue until the cycle in which they are due.
#include "host_machines/midi/midi_devices.h"

#include "platform/clock.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

constexpr int kMaxPorts = 64;

struct QueuedMessage {
    uint32_t message;
    int64_t due;
};

struct JackPort {
    jack_port_t* port = nullptr;
    bool input = false;
    MIDIHook hook = nullptr;
    void* context = nullptr;
    std::atomic<bool> running{false};
    // Output only: messages handed over by the processing threads (any number of them, one at a
    // time through the mutex) to JACK's thread, which alone moves the read position.
    static constexpr uint32_t kQueueSize = 1024;
    std::mutex senders;
    QueuedMessage queue[kQueueSize];
    std::atomic<uint32_t> written{0};
    std::atomic<uint32_t> read{0};
    // Output messages taken from the queue but not yet due.
    QueuedMessage waiting[256];
    int waitingCount = 0;
    std::string source;
};

void SilentError(const char*) {}

class CJackMIDIBackend : public CMIDIBackend {
public:
    explicit CJackMIDIBackend(jack_client_t* client) : m_client(client) {
        jack_set_process_callback(m_client, &CJackMIDIBackend::ProcessCallback, this);
        jack_activate(m_client);
    }

    ~CJackMIDIBackend() override {
        jack_deactivate(m_client);
        for (auto& slot : m_slots) {
            JackPort* port = slot.load();
            if (!port) continue;
            delete port;
        }
        jack_client_close(m_client);
    }

    std::vector<PortInfo> InputPorts() override { return List(JackPortIsOutput); }
    std::vector<PortInfo> OutputPorts() override { return List(JackPortIsInput); }

    int OpenInput(const PortInfo& info, MIDIHook hook, void* context, void** handle) override {
        auto* port = new JackPort;
        port->input = true;
        port->hook = hook;
        port->context = context;
        port->source = info.address;
        const int error = Register(port, JackPortIsInput);
        if (error != 0) return error;
        if (int connect = jack_connect(m_client, info.address.c_str(), jack_port_name(port->port));
            connect != 0) {
            Unregister(port);
            return connect;
        }
        *handle = port;
        return 0;
    }

    int StartInput(void* handle) override {
        static_cast<JackPort*>(handle)->running = true;
        return 0;
    }

    int CloseInput(void* handle) override {
        Unregister(static_cast<JackPort*>(handle));
        return 0;
    }

    int OpenOutput(const PortInfo& info, void** handle) override {
        auto* port = new JackPort;
        const int error = Register(port, JackPortIsOutput);
        if (error != 0) return error;
        if (int connect = jack_connect(m_client, jack_port_name(port->port), info.address.c_str());
            connect != 0) {
            Unregister(port);
            return connect;
        }
        port->running = true;
        *handle = port;
        return 0;
    }

    int CloseOutput(void* handle) override {
        Unregister(static_cast<JackPort*>(handle));
        return 0;
    }

    int Send(void* handle, uint32_t message, int64_t due) override {
        auto* port = static_cast<JackPort*>(handle);
        std::lock_guard lock(port->senders);
        const uint32_t at = port->written.load(std::memory_order_relaxed);
        if (at - port->read.load(std::memory_order_acquire) >= JackPort::kQueueSize) return 1; // full
        port->queue[at % JackPort::kQueueSize] = {message, due};
        port->written.store(at + 1, std::memory_order_release);
        return 0;
    }

private:
    std::vector<PortInfo> List(unsigned long direction) {
        std::vector<PortInfo> ports;
        const char** names = jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, direction);
        if (!names) return ports;
        const std::string own = std::string(jack_get_client_name(m_client)) + ":";
        for (const char** name = names; *name; ++name) {
            if (std::strncmp(*name, own.c_str(), own.size()) == 0) continue;
            ports.push_back({std::string("JACK ") + *name, *name});
        }
        jack_free(names);
        return ports;
    }

    int Register(JackPort* port, unsigned long direction) {
        int slot = -1;
        for (int i = 0; i < kMaxPorts && slot < 0; ++i)
            if (!m_slots[i].load()) slot = i;
        const std::string name = (port->input ? "in_" : "out_") + std::to_string(++m_serial);
        if (slot >= 0)
            port->port = jack_port_register(m_client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, direction, 0);
        if (!port->port) {
            delete port;
            return 1;
        }
        m_slots[slot].store(port);
        return 0;
    }

    void Unregister(JackPort* port) {
        port->running = false;
        for (auto& slot : m_slots) {
            JackPort* expected = port;
            slot.compare_exchange_strong(expected, nullptr);
        }
        // A cycle that began before the slot was cleared may still use the port: wait until it
        // has ended. (The callback raises m_inCycle before it reads the slots, so a cycle that
        // reads them after the clear never sees the port.)
        const uint64_t cycle = m_cycles.load();
        for (int waited = 0; m_inCycle.load() && m_cycles.load() == cycle && waited < 2000; ++waited)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        jack_port_unregister(m_client, port->port);
        delete port;
    }

    static int ProcessCallback(jack_nframes_t frames, void* argument) {
        auto* self = static_cast<CJackMIDIBackend*>(argument);
        self->m_inCycle.store(true);
        const int64_t cycleEnd = platform::HighResCounter() + static_cast<int64_t>(frames) * 1'000'000'000 /
                                                                  jack_get_sample_rate(self->m_client);
        for (auto& slot : self->m_slots) {
            JackPort* port = slot.load();
            if (!port || !port->running) continue;
            void* buffer = jack_port_get_buffer(port->port, frames);
            if (port->input) {
                const jack_nframes_t count = jack_midi_get_event_count(buffer);
                for (jack_nframes_t i = 0; i < count; ++i) {
                    jack_midi_event_t event;
                    if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0) continue;
                    const uint8_t status = event.buffer[0];
                    if (status < 0x80 || status >= 0xF0) continue; // short channel messages only
                    port->hook(port->context, status, event.size > 1 ? event.buffer[1] : 0,
                               event.size > 2 ? event.buffer[2] : 0);
                }
            } else {
                jack_midi_clear_buffer(buffer);
                uint32_t at = port->read.load(std::memory_order_relaxed);
                const uint32_t end = port->written.load(std::memory_order_acquire);
                for (; at != end && port->waitingCount < 256; ++at)
                    port->waiting[port->waitingCount++] = port->queue[at % JackPort::kQueueSize];
                port->read.store(at, std::memory_order_release);
                int kept = 0;
                for (int i = 0; i < port->waitingCount; ++i) {
                    const QueuedMessage& message = port->waiting[i];
                    if (message.due > cycleEnd) {
                        port->waiting[kept++] = message;
                        continue;
                    }
                    const uint8_t bytes[3] = {static_cast<uint8_t>(message.message),
                                              static_cast<uint8_t>(message.message >> 8),
                                              static_cast<uint8_t>(message.message >> 16)};
                    jack_midi_event_write(buffer, 0, bytes,
                                          (bytes[0] & 0xF0) == 0xC0 || (bytes[0] & 0xF0) == 0xD0 ? 2 : 3);
                }
                port->waitingCount = kept;
            }
        }
        self->m_cycles.fetch_add(1);
        self->m_inCycle.store(false);
        return 0;
    }

    jack_client_t* m_client;
    std::atomic<JackPort*> m_slots[kMaxPorts] = {};
    std::atomic<bool> m_inCycle{false};
    std::atomic<uint64_t> m_cycles{0};
    int m_serial = 0;
};

} // namespace

std::unique_ptr<CMIDIBackend> CreateJackMIDIBackend() {
    // No server means no JACK devices; we never start one, and keep its complaints off stderr.
    jack_set_error_function(&SilentError);
    jack_set_info_function(&SilentError);
    jack_status_t status{};
    jack_client_t* client = jack_client_open("Tamborel MIDI", JackNoStartServer, &status);
    if (!client) return nullptr;
    return std::make_unique<CJackMIDIBackend>(client);
}
