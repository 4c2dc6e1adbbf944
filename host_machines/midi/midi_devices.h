// The MIDI device registry: the system's MIDI input and output devices, each shared by every
// machine that uses it (opened on first use, closed when the last user lets go).
//
// Devices come from backends: the ALSA sequencer's ports (when /dev/snd/seq exists) and the
// MIDI ports of a running JACK server (never started by us). With neither the registry is empty.
// The registry is made once at start-up; device selection (open/close, hooks) runs on the
// user-interface thread; input messages arrive on a backend thread and go to the device's hooks
// under the device's hook mutex.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Called for every short message of an input device: status, data 1, data 2. Backend thread.
using MIDIHook = void (*)(void* context, uint8_t status, uint8_t data1, uint8_t data2);

// One MIDI system: lists its ports and opens, starts, closes and writes them. Results are 0 or
// the backend's error code.
class CMIDIBackend {
public:
    struct PortInfo {
        std::string name;    // readable name shown to the user
        std::string address; // the backend's own key for the port
    };
    virtual ~CMIDIBackend() = default;

    virtual std::vector<PortInfo> InputPorts() = 0;
    virtual std::vector<PortInfo> OutputPorts() = 0;
    // Subscribes to the port; each short message goes to hook(context, ...) on a backend thread.
    virtual int OpenInput(const PortInfo& port, MIDIHook hook, void* context, void** handle) = 0;
    virtual int StartInput(void* handle) = 0;
    virtual int CloseInput(void* handle) = 0;
    virtual int OpenOutput(const PortInfo& port, void** handle) = 0;
    virtual int CloseOutput(void* handle) = 0;
    // Sends one packed short message (status | data1 << 8 | data2 << 16) at the given
    // high-resolution counter time (now or later).
    virtual int Send(void* handle, uint32_t message, int64_t due) = 0;
};

// An input device: its hooks and how many machines hold it open.
class CMIDIInputDevice {
public:
    CMIDIInputDevice(int32_t number, CMIDIBackend* backend, CMIDIBackend::PortInfo port);
    ~CMIDIInputDevice();

    // Raises "AddHook: Hook Already Added" for a pair already present.
    void AddHook(MIDIHook hook, void* context);
    // Raises "RemoveHook: Not Found" for a pair not present.
    void RemoveHook(MIDIHook hook, void* context);
    int32_t HookCount();
    // Opens the device when nobody holds it, then counts one more user. Raises "midiInOpen For
    // Device <%s> Failed With Error Code 0x%x" / "midiInStart ...".
    void OpenOnce();
    // One user fewer; the last one closes the device ("midiInClose For Device <%s> Failed ...").
    void CloseOnce();
    // Closes however many users hold it (shut-down).
    void CloseAll();
    // Calls every hook in list order with the message. Backend thread (and tests).
    void Deliver(uint8_t status, uint8_t data1, uint8_t data2);

    int32_t Number() const { return m_number; }
    const std::string& Name() const { return m_port.name; }
    int32_t OpenCount() const { return m_openCount; }
    bool IsOpen() const { return m_handle != nullptr; }

private:
    struct Hook {
        MIDIHook function;
        void* context;
    };
    static void Callback(void* device, uint8_t status, uint8_t data1, uint8_t data2);

    int32_t m_number;
    CMIDIBackend* m_backend;
    CMIDIBackend::PortInfo m_port;
    int32_t m_openCount = 0;
    void* m_handle = nullptr;
    std::mutex m_hookMutex; // held while hooks run, so a removed hook is never called again
    std::vector<Hook> m_hooks;
};

class CMIDIOutputDevice {
public:
    CMIDIOutputDevice(int32_t number, CMIDIBackend* backend, CMIDIBackend::PortInfo port);
    ~CMIDIOutputDevice();

    // Raises "midiOutOpen For Device <%s> Failed With Error Code 0x%x".
    void OpenOnce();
    // Raises "midiOutClose For Device <%s> Failed With Error Code 0x%x".
    void CloseOnce();
    void CloseAll();
    // Sends status, data 1, data 2 at the given counter time. Raises
    // "MIDIOutputDevice[%s]::Write() Called But Device Is Not Open" when closed.
    void Write(uint8_t status, uint8_t data1, uint8_t data2, int64_t due);

    int32_t Number() const { return m_number; }
    const std::string& Name() const { return m_port.name; }
    int32_t OpenCount() const { return m_openCount; }
    bool IsOpen() const { return m_handle != nullptr; }

private:
    int32_t m_number;
    CMIDIBackend* m_backend;
    CMIDIBackend::PortInfo m_port;
    int32_t m_openCount = 0;
    void* m_handle = nullptr;
};

class CMIDIDeviceRegistry {
public:
    // The system's backends: ALSA when /dev/snd/seq exists, JACK when a server answers.
    CMIDIDeviceRegistry();
    // Given backends (tests); devices are listed backend by backend.
    explicit CMIDIDeviceRegistry(std::vector<std::unique_ptr<CMIDIBackend>> backends);
    // Closes every device still open, however often it was opened.
    ~CMIDIDeviceRegistry();
    CMIDIDeviceRegistry(const CMIDIDeviceRegistry&) = delete;
    CMIDIDeviceRegistry& operator=(const CMIDIDeviceRegistry&) = delete;

    int32_t InputCount() const { return static_cast<int32_t>(m_inputs.size()); }
    int32_t OutputCount() const { return static_cast<int32_t>(m_outputs.size()); }
    CMIDIInputDevice* Input(int32_t number) const; // null outside 0..count-1
    CMIDIOutputDevice* Output(int32_t number) const;

    // The program's registry, used by the MIDI machines. Made on first use with the system's
    // backends unless the program installed one (SetStudio); ShutDownStudio destroys it.
    static CMIDIDeviceRegistry& Studio();
    static void SetStudio(std::unique_ptr<CMIDIDeviceRegistry> registry);
    static void ShutDownStudio();

private:
    void ListDevices();

    std::vector<std::unique_ptr<CMIDIBackend>> m_backends;
    std::vector<std::unique_ptr<CMIDIInputDevice>> m_inputs;
    std::vector<std::unique_ptr<CMIDIOutputDevice>> m_outputs;
};

// Backend factories; null when the system is not there.
std::unique_ptr<CMIDIBackend> CreateAlsaMIDIBackend();
std::unique_ptr<CMIDIBackend> CreateJackMIDIBackend();
