// CApplication: the one application object. Builds the host services and the machine registry
// at start-up (host descriptors first, then every machine library in "PlugIns") and takes them
// down in reverse order. User-interface thread.
#pragma once

#include "host_machines/vst/vst_scan.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"

#include <filesystem>
#include <memory>
#include <vector>

class CApplication {
public:
    struct Settings {
        int32_t sampleRate = 44100;
        int32_t bufferSize = 256;
        std::filesystem::path pluginFolder;  // empty: "PlugIns" next to the program
        // VST plug-in folders: the options' list (the Linux defaults until it exists), then $VST_PATH.
        std::vector<std::filesystem::path> vstFolders = VSTScanFolders(DefaultVSTFolders());
    };

    explicit CApplication(const Settings& settings);
    // Machines must be gone before this: descriptors go first, then the host services.
    ~CApplication();
    CApplication(const CApplication&) = delete;
    CApplication& operator=(const CApplication&) = delete;

    CVeskHost* Host() const { return m_host.get(); }
    MachineRegistry* Registry() const { return m_registry.get(); }

private:
    std::unique_ptr<MachineRegistry> m_registry;
    std::unique_ptr<CVeskHost> m_host;
};

// Registers the host program's own machine types: master, MIDI input and output, the two HD
// recorder tracks.
void RegisterHostMachines(CVeskHost* host);
