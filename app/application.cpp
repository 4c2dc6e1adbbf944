#include "app/application.h"

#include "audio_out/asio_driver.h"
#include "audio_out/wave_out_driver.h"

#include "engine/master.h"
#include "host_machines/hd_recorder/hd_track.h"
#include "host_machines/hd_track_machine.h"
#include "host_machines/midi/midi_devices.h"
#include "host_machines/midi_machines.h"
#include "host_machines/vst/vst_scan.h"
#include "machine_interface/library_loader.h"
#include "platform/cpu.h"
#include "platform/error.h"
#include "platform/files.h"

#include <atomic>
#include <iostream>

namespace {
std::atomic<int32_t> g_offlineChannels{2};
int32_t OfflineChannelCount() {
    return g_offlineChannels.load();
}
} // namespace

void RegisterHostMachines(CVeskHost* host) {
    host->RegisterMachine(new CMasterInfo(host));
    host->RegisterMachine(new CMIDIInputInfo(host));
    host->RegisterMachine(new CMIDIOutputInfo(host));
    host->RegisterMachine(new CHDTrackMachineInfoMono(host));
    host->RegisterMachine(new CHDTrackMachineInfoStereo(host));
}

CApplication::CApplication(const Settings& settings) : m_settings(settings), m_options(DefaultOptions()) {
    // Read for every mode (the VST folders come from it); written back only by the live studio,
    // and never over a file that could not be read.
    m_optionsRead = ReadOptions(m_options);
    if (settings.audio == Audio::Live && m_optionsRead.state == OptionsReadResult::State::Unreadable)
        Messages() << "tamborel: the options file \"" << OptionsFilePath().string()
                   << "\" could not be read (" << m_optionsRead.problem
                   << "); it is kept as it is and this run's settings are not saved to it\n";

    int32_t sampleRate = settings.sampleRate;
    int32_t bufferSize = settings.bufferSize;
    if (settings.audio == Audio::Live) {
        m_drivers = std::make_unique<COutputDriverManager>(m_options);
        CMaster::SetChannelCountSource(COutputDriverManager::CurrentChannelCount);
        if (m_drivers->Current()->IsAvailable()) {
            sampleRate = m_drivers->Current()->GetSampleRate();
            bufferSize = m_drivers->Current()->GetBufferSize();
        }
    } else if (settings.audio == Audio::Offline) {
        m_offline = std::make_unique<COfflineDriver>(sampleRate, bufferSize, settings.offlineChannels);
        g_offlineChannels.store(settings.offlineChannels);
        CMaster::SetChannelCountSource(OfflineChannelCount);
    }

    m_registry = std::make_unique<MachineRegistry>();
    m_host =
        std::make_unique<CVeskHost>(sampleRate, bufferSize, platform::ProcessorFeatures(), m_registry.get());
    RegisterHostMachines(m_host.get());
    const auto folder =
        settings.pluginFolder.empty() ? platform::ProgramFolder() / "PlugIns" : settings.pluginFolder;
    LoadMachineLibraries(folder, m_host.get());

    std::vector<std::filesystem::path> optionFolders(m_options.vstFolders.begin(),
                                                     m_options.vstFolders.end());
    VSTScanSettings scan;
    scan.transport = &m_transport;
    ScanVSTFolders(settings.vstFolders ? *settings.vstFolders : VSTScanFolders(optionFolders), m_host.get(),
                   scan);

    m_sequencer = std::make_unique<CSequencer>(m_host.get());
    // "Record Song" drives the HD recorder's rows.
    m_sequencer->Song().SetRecordTarget(&CHDTrackList::Studio());
    m_transportTap = std::make_unique<CSongTransportTap>(*m_sequencer, *m_host, m_transport);
    m_studio = std::make_unique<CStudio>(m_host.get());
    m_studio->AttachSequencer(m_transportTap.get());
    m_project = std::make_unique<CProject>(m_studio.get(), m_sequencer.get());
    if (settings.audio == Audio::None) return;
    CStudio::SetRenderTarget(m_studio.get());

    if (m_offline) {
        m_offline->SetCallback(CStudio::RenderCallback);
        m_studio->SetLiveDeadline(false);
        // Between buffers the offline renderer stands in for the user interface's timer too.
        m_offline->SetUpdatePass([studio = m_studio.get()] {
            studio->UpdatePass();
            studio->DeliverNotifications();
        });
        m_offline->Start();
    } else {
        // A server that comes back at another rate or buffer size: the studio follows, keeping
        // its cables (the channel count stays).
        m_drivers->SetFormatChangeHook([this](int32_t rate, int32_t size) {
            const int32_t oldRate = m_host->GetSampleRate();
            const int32_t oldSize = m_host->GetBufferSize();
            m_host->SetSampleRateAndBufferSize(rate, size);
            if (rate != oldRate) m_studio->SetSampleRate(rate);
            if (size != oldSize) m_studio->SetBufferSize(size);
        });
        BindCurrentDriver();
        m_graphics = std::make_unique<CGraphicsThread>(*m_studio);
        // Without a window the graphics thread stands in for the user interface's timer: it ages
        // the master meter's hold and delivers queued news to whatever listens. With one, the
        // listeners are widgets, which only the window's timer may reach.
        if (!settings.window)
            m_graphics->AddRefreshHook([studio = m_studio.get()] {
                studio->PeakMeter().Decay();
                studio->DeliverNotifications();
            });
        m_graphics->Start();
    }
    if (settings.newProject) m_project->New();
}

CApplication::~CApplication() {
    if (m_graphics) m_graphics->Stop();
    m_graphics.reset();
    // The driver stops before the machines it renders go away.
    m_drivers.reset();
    if (m_offline) m_offline->Stop();
    m_offline.reset();
    CStudio::SetRenderTarget(nullptr);
    // The machines go first, telling the sequencer, so no pattern outlives its port.
    m_studio->Clear();
    m_project.reset();
    m_studio.reset();
    m_transportTap.reset();
    m_sequencer.reset();
    // Every MIDI machine is gone: the devices (and a JACK client) close now, not at exit.
    CMIDIDeviceRegistry::ShutDownStudio();
    m_registry.reset();
    m_host.reset();
    CMaster::SetChannelCountSource(nullptr);
    if (m_settings.audio == Audio::Live && m_optionsRead.state != OptionsReadResult::State::Unreadable &&
        !WriteOptions(m_options))
        Messages() << "tamborel: the options could not be saved to \"" << OptionsFilePath().string()
                   << "\"\n";
}

std::ostream& CApplication::Messages() const {
    return m_settings.messages ? *m_settings.messages : std::cerr;
}

bool CApplication::SaveOptions() {
    if (!WriteOptions(m_options)) return false;
    m_optionsRead = {OptionsReadResult::State::Read, {}};
    return true;
}

bool CApplication::BindCurrentDriver() {
    CAudioOutputDriver* driver = m_drivers->Current();
    std::ostream& out = Messages();
    m_driverProblem.clear();
    try {
        if (m_drivers->Bind(CStudio::RenderCallback,
                            [this](int32_t rate, int32_t size) { m_studio->ApplyDriverFormat(rate, size); }))
            return true;
        const std::string problem = driver->GetProblem();
        m_driverProblem = platform::FormatText("output driver \"%s\": %s", driver->GetName(),
                                               problem.empty() ? "no device" : problem.c_str());
    } catch (const std::exception& error) {
        m_driverProblem =
            platform::FormatText("output driver \"%s\" failed on device \"%s\": %s", driver->GetName(),
                                 driver->GetDeviceName().c_str(), error.what());
    }
    out << "tamborel: " << m_driverProblem << "; running without sound\n";
    return false;
}

void CApplication::WatchDriver() {
    if (!m_drivers) return;
    const DriverEvent event = m_drivers->Watch();
    if (!event.text.empty()) Messages() << "tamborel: " << event.text << std::endl;
}

std::string CApplication::DescribeOutput() const {
    if (!m_drivers) return {};
    CAudioOutputDriver* driver = m_drivers->Current();
    const std::string device =
        driver == m_drivers->Asio()
            ? platform::FormatText("JACK server \"%s\"", CASIODriver::ServerName().c_str())
            : platform::FormatText("ALSA device \"%s\"", driver->GetDeviceName().c_str());
    const int32_t rate = driver->GetSampleRate();
    const int32_t latency = driver->GetOutputLatency();
    return platform::FormatText("\"%s\" on %s: %d Hz, %d frames per buffer, latency %.1f ms",
                                driver->GetName(), device.c_str(), rate, driver->GetBufferSize(),
                                rate > 0 ? 1000.0 * latency / rate : 0.0);
}

bool CApplication::PlaysOnNoSoundCard() const {
    return m_drivers && m_drivers->Current() == m_drivers->WaveOut() &&
           !m_drivers->WaveOut()->CurrentIsSoundCard();
}

bool CApplication::SwitchDriver(int32_t index) {
    if (!m_drivers) return false;
    m_drivers->MakeCurrent(index);
    return BindCurrentDriver();
}

namespace {
void TellLoadNotes(const CApplication::Settings& settings, CApplication& application) {
    std::ostream& out = settings.messages ? *settings.messages : std::cerr;
    for (const std::string& note : application.Project().LoadNotes()) out << "tamborel: " << note << '\n';
}
} // namespace

std::unique_ptr<CApplication> OpenWithMachines(CApplication::Settings settings,
                                               const std::filesystem::path& project) {
    const bool scanVst = !settings.vstFolders.has_value();
    if (scanVst) settings.vstFolders = std::vector<std::filesystem::path>{};
    auto application = std::make_unique<CApplication>(settings);
    try {
        application->Project().Open(project);
        TellLoadNotes(settings, *application);
        return application;
    } catch (const platform::CError& error) {
        // Only a missing machine type may be found among the plug-ins.
        if (!scanVst || std::string(error.what()).find("Could Not Be Loaded") == std::string::npos) throw;
    }
    application.reset();
    settings.vstFolders.reset();
    application = std::make_unique<CApplication>(settings);
    application->Project().Open(project);
    TellLoadNotes(settings, *application);
    return application;
}
