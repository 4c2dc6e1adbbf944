#include "audio_out/driver_manager.h"

#include "audio_out/asio_driver.h"
#include "audio_out/wave_out_driver.h"

#include <atomic>

namespace {
std::atomic<COutputDriverManager*> g_manager{nullptr};
}

COutputDriverManager::COutputDriverManager(DriverOptions& options)
    : COutputDriverManager(options, std::make_unique<CWaveOutDriver>(options),
                           std::make_unique<CASIODriver>(options)) {}

COutputDriverManager::COutputDriverManager(DriverOptions& options, std::unique_ptr<CAudioOutputDriver> first,
                                           std::unique_ptr<CAudioOutputDriver> second)
    : m_options(options) {
    m_drivers.Add(first.release());
    m_drivers.Add(second.release());
    m_current = options.driverIndex < 0 || options.driverIndex > 1 ? 0 : options.driverIndex;
    g_manager.store(this);
}

COutputDriverManager::~COutputDriverManager() {
    COutputDriverManager* self = this;
    g_manager.compare_exchange_strong(self, nullptr);
    m_options.driverIndex = m_current;
    for (CAudioOutputDriver* driver : m_drivers) {
        driver->Stop();
        delete driver;
    }
}

CWaveOutDriver* COutputDriverManager::WaveOut() const {
    return dynamic_cast<CWaveOutDriver*>(m_drivers[0]);
}
CASIODriver* COutputDriverManager::Asio() const {
    return dynamic_cast<CASIODriver*>(m_drivers[1]);
}

bool COutputDriverManager::Bind(RenderCallback callback, const FormatHook& formatHook) {
    CAudioOutputDriver* driver = Current();
    if (!driver->IsAvailable()) return false;
    m_callback = callback;
    m_formatHook = formatHook;
    driver->SetCallback(callback);
    if (formatHook) formatHook(driver->GetSampleRate(), driver->GetBufferSize());
    driver->Start();
    return true;
}

void COutputDriverManager::MakeCurrent(int32_t index) {
    Current()->Stop();
    m_current = index < 0 || index >= m_drivers.Count() ? 0 : index;
    m_options.driverIndex = m_current;
}

bool COutputDriverManager::SwitchTo(int32_t index, RenderCallback callback, const FormatHook& formatHook) {
    MakeCurrent(index);
    return Bind(callback, formatHook);
}

DriverEvent COutputDriverManager::Watch() {
    DriverEvent event = Current()->Watch();
    if (event.kind != DriverEvent::Kind::Reformat) return event;
    CAudioOutputDriver* driver = Current();
    driver->Stop();
    try {
        const FormatHook& hook = m_formatChangeHook ? m_formatChangeHook : m_formatHook;
        if (hook) hook(driver->GetSampleRate(), driver->GetBufferSize());
        driver->SetCallback(m_callback);
        driver->Start();
        event.text += "; sound resumes at the new format";
    } catch (const std::exception& error) {
        event.text += "; the driver failed to start again: ";
        event.text += error.what();
    }
    return event;
}

int32_t COutputDriverManager::CurrentChannelCount() {
    COutputDriverManager* manager = g_manager.load();
    return manager ? manager->Current()->GetChannels() : 2;
}
