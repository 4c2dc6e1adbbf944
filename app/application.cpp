#include "app/application.h"

#include "engine/master.h"
#include "host_machines/hd_track_machine.h"
#include "host_machines/midi_machines.h"
#include "host_machines/vst/vst_scan.h"
#include "machine_interface/library_loader.h"
#include "platform/cpu.h"
#include "platform/files.h"

void RegisterHostMachines(CVeskHost* host) {
    host->RegisterMachine(new CMasterInfo(host));
    host->RegisterMachine(new CMIDIInputInfo(host));
    host->RegisterMachine(new CMIDIOutputInfo(host));
    host->RegisterMachine(new CHDTrackMachineInfoMono(host));
    host->RegisterMachine(new CHDTrackMachineInfoStereo(host));
}

CApplication::CApplication(const Settings& settings)
    : m_registry(std::make_unique<MachineRegistry>()),
      m_host(std::make_unique<CVeskHost>(settings.sampleRate, settings.bufferSize, platform::ProcessorFeatures(),
                                         m_registry.get())) {
    RegisterHostMachines(m_host.get());
    const auto folder =
        settings.pluginFolder.empty() ? platform::ProgramFolder() / "PlugIns" : settings.pluginFolder;
    LoadMachineLibraries(folder, m_host.get());
    ScanVSTFolders(settings.vstFolders, m_host.get());
}

CApplication::~CApplication() {
    m_registry.reset();
    m_host.reset();
}
