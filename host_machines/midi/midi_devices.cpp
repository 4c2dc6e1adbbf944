#include "host_machines/midi/midi_devices.h"

#include "platform/error.h"

#include <algorithm>

CMIDIInputDevice::CMIDIInputDevice(int32_t number, CMIDIBackend* backend, CMIDIBackend::PortInfo port)
    : m_number(number), m_backend(backend), m_port(std::move(port)) {}

CMIDIInputDevice::~CMIDIInputDevice() {
    try {
        CloseAll();
    } catch (const platform::CError&) {
        // Shut-down goes on; the device is gone either way.
    }
}

void CMIDIInputDevice::AddHook(MIDIHook hook, void* context) {
    std::lock_guard lock(m_hookMutex);
    for (const Hook& existing : m_hooks)
        if (existing.function == hook && existing.context == context)
            platform::Raise("AddHook: Hook Already Added");
    m_hooks.push_back({hook, context});
}

void CMIDIInputDevice::RemoveHook(MIDIHook hook, void* context) {
    std::lock_guard lock(m_hookMutex);
    const auto found = std::find_if(m_hooks.begin(), m_hooks.end(), [&](const Hook& existing) {
        return existing.function == hook && existing.context == context;
    });
    if (found == m_hooks.end()) platform::Raise("RemoveHook: Not Found");
    m_hooks.erase(found);
}

int32_t CMIDIInputDevice::HookCount() {
    std::lock_guard lock(m_hookMutex);
    return static_cast<int32_t>(m_hooks.size());
}

void CMIDIInputDevice::Callback(void* device, uint8_t status, uint8_t data1, uint8_t data2) {
    static_cast<CMIDIInputDevice*>(device)->Deliver(status, data1, data2);
}

void CMIDIInputDevice::Deliver(uint8_t status, uint8_t data1, uint8_t data2) {
    std::lock_guard lock(m_hookMutex);
    for (const Hook& hook : m_hooks)
        hook.function(hook.context, status, data1, data2);
}

void CMIDIInputDevice::OpenOnce() {
    if (m_openCount == 0) {
        void* handle = nullptr;
        if (int error = m_backend->OpenInput(m_port, &Callback, this, &handle); error != 0)
            platform::Raise("midiInOpen For Device <%s> Failed With Error Code 0x%x", m_port.name.c_str(),
                            error);
        if (int error = m_backend->StartInput(handle); error != 0) {
            m_backend->CloseInput(handle);
            platform::Raise("midiInStart For Device <%s> Failed With Error Code 0x%x", m_port.name.c_str(),
                            error);
        }
        m_handle = handle;
    }
    ++m_openCount;
}

void CMIDIInputDevice::CloseOnce() {
    if (m_openCount <= 0) return;
    if (--m_openCount > 0) return;
    void* handle = m_handle;
    m_handle = nullptr;
    if (int error = m_backend->CloseInput(handle); error != 0)
        platform::Raise("midiInClose For Device <%s> Failed With Error Code 0x%x", m_port.name.c_str(),
                        error);
}

void CMIDIInputDevice::CloseAll() {
    if (m_openCount > 0) {
        m_openCount = 1;
        CloseOnce();
    }
}

CMIDIOutputDevice::CMIDIOutputDevice(int32_t number, CMIDIBackend* backend, CMIDIBackend::PortInfo port)
    : m_number(number), m_backend(backend), m_port(std::move(port)) {}

CMIDIOutputDevice::~CMIDIOutputDevice() {
    try {
        CloseAll();
    } catch (const platform::CError&) {
    }
}

void CMIDIOutputDevice::OpenOnce() {
    if (m_openCount == 0) {
        void* handle = nullptr;
        if (int error = m_backend->OpenOutput(m_port, &handle); error != 0)
            platform::Raise("midiOutOpen For Device <%s> Failed With Error Code 0x%x", m_port.name.c_str(),
                            error);
        m_handle = handle;
    }
    ++m_openCount;
}

void CMIDIOutputDevice::CloseOnce() {
    if (m_openCount <= 0) return;
    if (--m_openCount > 0) return;
    void* handle = m_handle;
    m_handle = nullptr;
    if (int error = m_backend->CloseOutput(handle); error != 0)
        platform::Raise("midiOutClose For Device <%s> Failed With Error Code 0x%x", m_port.name.c_str(),
                        error);
}

void CMIDIOutputDevice::CloseAll() {
    if (m_openCount > 0) {
        m_openCount = 1;
        CloseOnce();
    }
}

void CMIDIOutputDevice::Write(uint8_t status, uint8_t data1, uint8_t data2, int64_t due) {
    if (!m_handle)
        platform::Raise("MIDIOutputDevice[%s]::Write() Called But Device Is Not Open", m_port.name.c_str());
    const uint32_t message = static_cast<uint32_t>(status) | (static_cast<uint32_t>(data1) << 8) |
                             (static_cast<uint32_t>(data2) << 16);
    m_backend->Send(m_handle, message, due);
}

CMIDIDeviceRegistry::CMIDIDeviceRegistry() {
    if (auto alsa = CreateAlsaMIDIBackend()) m_backends.push_back(std::move(alsa));
    if (auto jack = CreateJackMIDIBackend()) m_backends.push_back(std::move(jack));
    ListDevices();
}

CMIDIDeviceRegistry::CMIDIDeviceRegistry(std::vector<std::unique_ptr<CMIDIBackend>> backends)
    : m_backends(std::move(backends)) {
    ListDevices();
}

CMIDIDeviceRegistry::~CMIDIDeviceRegistry() {
    // Devices close before their backends go.
    m_inputs.clear();
    m_outputs.clear();
    m_backends.clear();
}

void CMIDIDeviceRegistry::ListDevices() {
    for (const auto& backend : m_backends) {
        for (auto& port : backend->InputPorts())
            m_inputs.push_back(
                std::make_unique<CMIDIInputDevice>(InputCount(), backend.get(), std::move(port)));
        for (auto& port : backend->OutputPorts())
            m_outputs.push_back(
                std::make_unique<CMIDIOutputDevice>(OutputCount(), backend.get(), std::move(port)));
    }
}

CMIDIInputDevice* CMIDIDeviceRegistry::Input(int32_t number) const {
    return number >= 0 && number < InputCount() ? m_inputs[static_cast<size_t>(number)].get() : nullptr;
}

CMIDIOutputDevice* CMIDIDeviceRegistry::Output(int32_t number) const {
    return number >= 0 && number < OutputCount() ? m_outputs[static_cast<size_t>(number)].get() : nullptr;
}

namespace {
std::unique_ptr<CMIDIDeviceRegistry>& StudioRegistry() {
    static std::unique_ptr<CMIDIDeviceRegistry> registry;
    return registry;
}
std::mutex g_studioMutex;
} // namespace

CMIDIDeviceRegistry& CMIDIDeviceRegistry::Studio() {
    std::lock_guard lock(g_studioMutex);
    auto& registry = StudioRegistry();
    if (!registry) registry = std::make_unique<CMIDIDeviceRegistry>();
    return *registry;
}

void CMIDIDeviceRegistry::SetStudio(std::unique_ptr<CMIDIDeviceRegistry> registry) {
    std::lock_guard lock(g_studioMutex);
    StudioRegistry() = std::move(registry);
}

void CMIDIDeviceRegistry::ShutDownStudio() {
    SetStudio(nullptr);
}
