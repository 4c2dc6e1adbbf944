// MIDI through the ALSA sequencer: readable ports of other clients are input devices, writable
// ones output devices. Opening an input creates a port of our own subscribed to the device; one
// reader thread per opened input turns the sequencer's events back into short messages.
// Output messages are sent directly (the sequencer delivers them at once).
#include "host_machines/midi/midi_devices.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

struct AlsaPort {
    int port = -1;
    snd_seq_addr_t device{};
    MIDIHook hook = nullptr;
    void* context = nullptr;
    snd_seq_t* seq = nullptr; // inputs: a client of their own, read by the reader thread
    std::atomic<bool> running{false};
    std::thread reader;
};

bool ParseAddress(const std::string& text, snd_seq_addr_t* address) {
    int client = 0;
    int port = 0;
    if (std::sscanf(text.c_str(), "%d:%d", &client, &port) != 2) return false;
    address->client = static_cast<unsigned char>(client);
    address->port = static_cast<unsigned char>(port);
    return true;
}

// Translates one sequencer event into a short message; false for events we do not pass on.
bool ToShortMessage(const snd_seq_event_t* event, uint8_t* status, uint8_t* data1, uint8_t* data2) {
    switch (event->type) {
    case SND_SEQ_EVENT_NOTEON:
        *status = static_cast<uint8_t>(0x90 | (event->data.note.channel & 0x0F));
        *data1 = event->data.note.note;
        *data2 = event->data.note.velocity;
        return true;
    case SND_SEQ_EVENT_NOTEOFF:
        *status = static_cast<uint8_t>(0x80 | (event->data.note.channel & 0x0F));
        *data1 = event->data.note.note;
        *data2 = event->data.note.velocity;
        return true;
    case SND_SEQ_EVENT_CONTROLLER:
        *status = static_cast<uint8_t>(0xB0 | (event->data.control.channel & 0x0F));
        *data1 = static_cast<uint8_t>(event->data.control.param);
        *data2 = static_cast<uint8_t>(event->data.control.value);
        return true;
    case SND_SEQ_EVENT_PGMCHANGE:
        *status = static_cast<uint8_t>(0xC0 | (event->data.control.channel & 0x0F));
        *data1 = static_cast<uint8_t>(event->data.control.value);
        *data2 = 0;
        return true;
    case SND_SEQ_EVENT_PITCHBEND: {
        const int value = event->data.control.value + 8192;
        *status = static_cast<uint8_t>(0xE0 | (event->data.control.channel & 0x0F));
        *data1 = static_cast<uint8_t>(value & 0x7F);
        *data2 = static_cast<uint8_t>((value >> 7) & 0x7F);
        return true;
    }
    default:
        return false;
    }
}

class CAlsaMIDIBackend : public CMIDIBackend {
public:
    explicit CAlsaMIDIBackend(snd_seq_t* seq) : m_seq(seq) {
        snd_seq_set_client_name(m_seq, "Tamborel");
        m_ownClient = snd_seq_client_id(m_seq);
    }
    ~CAlsaMIDIBackend() override { snd_seq_close(m_seq); }

    std::vector<PortInfo> InputPorts() override {
        return List(SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ);
    }
    std::vector<PortInfo> OutputPorts() override {
        return List(SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
    }

    int OpenInput(const PortInfo& info, MIDIHook hook, void* context, void** handle) override {
        auto* port = new AlsaPort;
        if (!ParseAddress(info.address, &port->device)) {
            delete port;
            return 1;
        }
        port->hook = hook;
        port->context = context;
        int error = snd_seq_open(&port->seq, "default", SND_SEQ_OPEN_INPUT, 0);
        if (error < 0) {
            delete port;
            return -error;
        }
        snd_seq_set_client_name(port->seq, "Tamborel MIDI In");
        port->port = snd_seq_create_simple_port(
            port->seq, "Input", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
            SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
        if (port->port < 0 || (error = snd_seq_connect_from(port->seq, port->port, port->device.client,
                                                            port->device.port)) < 0) {
            error = port->port < 0 ? port->port : error;
            snd_seq_close(port->seq);
            delete port;
            return -error;
        }
        *handle = port;
        return 0;
    }

    int StartInput(void* handle) override {
        auto* port = static_cast<AlsaPort*>(handle);
        port->running = true;
        port->reader = std::thread([port] { Read(port); });
        return 0;
    }

    int CloseInput(void* handle) override {
        auto* port = static_cast<AlsaPort*>(handle);
        port->running = false;
        if (port->reader.joinable()) port->reader.join();
        snd_seq_disconnect_from(port->seq, port->port, port->device.client, port->device.port);
        const int error = snd_seq_close(port->seq);
        delete port;
        return error < 0 ? -error : 0;
    }

    int OpenOutput(const PortInfo& info, void** handle) override {
        auto* port = new AlsaPort;
        if (!ParseAddress(info.address, &port->device)) {
            delete port;
            return 1;
        }
        port->port =
            snd_seq_create_simple_port(m_seq, "Output", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                       SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
        if (port->port < 0) {
            const int error = -port->port;
            delete port;
            return error;
        }
        if (int error = snd_seq_connect_to(m_seq, port->port, port->device.client, port->device.port);
            error < 0) {
            snd_seq_delete_simple_port(m_seq, port->port);
            delete port;
            return -error;
        }
        *handle = port;
        return 0;
    }

    int CloseOutput(void* handle) override {
        auto* port = static_cast<AlsaPort*>(handle);
        snd_seq_disconnect_to(m_seq, port->port, port->device.client, port->device.port);
        const int error = snd_seq_delete_simple_port(m_seq, port->port);
        delete port;
        return error < 0 ? -error : 0;
    }

    int Send(void* handle, uint32_t message, int64_t) override {
        auto* port = static_cast<AlsaPort*>(handle);
        const auto status = static_cast<uint8_t>(message);
        const auto data1 = static_cast<uint8_t>(message >> 8);
        const auto data2 = static_cast<uint8_t>(message >> 16);
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        snd_seq_ev_set_source(&event, port->port);
        snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        const uint8_t channel = status & 0x0F;
        switch (status & 0xF0) {
        case 0x90:
            snd_seq_ev_set_noteon(&event, channel, data1, data2);
            break;
        case 0x80:
            snd_seq_ev_set_noteoff(&event, channel, data1, data2);
            break;
        case 0xB0:
            snd_seq_ev_set_controller(&event, channel, data1, data2);
            break;
        default:
            return 0;
        }
        const int error = snd_seq_event_output_direct(m_seq, &event);
        return error < 0 ? -error : 0;
    }

private:
    std::vector<PortInfo> List(unsigned int capabilities) {
        std::vector<PortInfo> ports;
        snd_seq_client_info_t* client;
        snd_seq_port_info_t* port;
        snd_seq_client_info_alloca(&client);
        snd_seq_port_info_alloca(&port);
        snd_seq_client_info_set_client(client, -1);
        while (snd_seq_query_next_client(m_seq, client) >= 0) {
            const int id = snd_seq_client_info_get_client(client);
            if (id == SND_SEQ_CLIENT_SYSTEM || id == m_ownClient) continue;
            snd_seq_port_info_set_client(port, id);
            snd_seq_port_info_set_port(port, -1);
            while (snd_seq_query_next_port(m_seq, port) >= 0) {
                if ((snd_seq_port_info_get_capability(port) & capabilities) != capabilities) continue;
                if ((snd_seq_port_info_get_type(port) & SND_SEQ_PORT_TYPE_MIDI_GENERIC) == 0 &&
                    (snd_seq_port_info_get_type(port) & SND_SEQ_PORT_TYPE_APPLICATION) == 0)
                    continue;
                char address[32];
                std::snprintf(address, sizeof address, "%d:%d", id, snd_seq_port_info_get_port(port));
                ports.push_back({std::string(snd_seq_client_info_get_name(client)) + ": " +
                                     snd_seq_port_info_get_name(port),
                                 address});
            }
        }
        return ports;
    }

    static void Read(AlsaPort* port) {
        const int count = snd_seq_poll_descriptors_count(port->seq, POLLIN);
        std::vector<pollfd> fds(static_cast<size_t>(count));
        snd_seq_poll_descriptors(port->seq, fds.data(), static_cast<unsigned int>(count), POLLIN);
        while (port->running) {
            if (poll(fds.data(), fds.size(), 50) <= 0) continue;
            snd_seq_event_t* event = nullptr;
            while (snd_seq_event_input_pending(port->seq, 1) > 0 &&
                   snd_seq_event_input(port->seq, &event) >= 0) {
                uint8_t status = 0;
                uint8_t data1 = 0;
                uint8_t data2 = 0;
                if (event && ToShortMessage(event, &status, &data1, &data2))
                    port->hook(port->context, status, data1, data2);
            }
        }
    }

    snd_seq_t* m_seq;
    int m_ownClient = -1;
};

} // namespace

std::unique_ptr<CMIDIBackend> CreateAlsaMIDIBackend() {
    if (access("/dev/snd/seq", R_OK | W_OK) != 0) return nullptr;
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) return nullptr;
    return std::make_unique<CAlsaMIDIBackend>(seq);
}
