// CApplication: the one application object, without windows. It owns the options, the machine
// registry, the host services, the output drivers, the studio and the periodic update thread,
// builds them at start-up and takes them down in reverse order. User-interface thread (the
// program's main thread).
//
// Start-up: options file; output drivers (live) or the offline renderer; host services at the
// driver's rate and buffer size; host machine descriptors, then every machine library in
// "PlugIns"; the studio; binding and starting the driver (a driver that fails leaves the program
// running silent, with the reason on stderr); the update thread; a new project with "Master".
// The sequencer (patterns and song) is attached to the studio before any machine is made.
// Shut-down: update thread, driver, studio with every machine, registry, host services, options.
// The live studio writes the options file back only when it was read whole or did not exist: a
// file that could not be read is kept as it is (and said so once at start-up) until SaveOptions.
#pragma once

#include "app/song_transport.h"
#include "audio_out/driver_manager.h"
#include "audio_out/offline_driver.h"
#include "engine/studio.h"
#include "engine/work_thread.h"
#include "host_machines/vst/vst_transport.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "persistence/options_file.h"
#include "persistence/project_file.h"
#include "sequencer/sequencer.h"

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CApplication {
public:
    enum class Audio {
        None,    // no drivers, no project (listing machines): needs no sound device or server
        Live,    // the driver list; the current driver is bound and started
        Offline, // the offline renderer only
    };

    struct Settings {
        int32_t sampleRate = 44100; // without a driver, and for Offline
        int32_t bufferSize = 256;
        int32_t offlineChannels = 2;
        std::filesystem::path pluginFolder; // empty: "PlugIns" next to the program
        Audio audio = Audio::None;
        bool newProject = true;           // start a new project (ignored for Audio::None)
        std::ostream* messages = nullptr; // where start-up problems are told; null: stderr
        // VST plug-in folders to scan; unset: the options' folders, then the entries of $VST_PATH.
        std::optional<std::vector<std::filesystem::path>> vstFolders;
        // A window's timer delivers the studio's queued news on the user-interface thread (its
        // listeners are widgets); without one, live mode's graphics thread delivers it.
        bool window = false;
    };

    explicit CApplication(const Settings& settings);
    ~CApplication();
    CApplication(const CApplication&) = delete;
    CApplication& operator=(const CApplication&) = delete;

    CVeskHost* Host() const { return m_host.get(); }
    MachineRegistry* Registry() const { return m_registry.get(); }
    CStudio* Studio() const { return m_studio.get(); }
    // The patterns and the song, attached to the studio for the whole life of the application.
    CSequencer* Sequencer() const { return m_sequencer.get(); }
    // The open project: path, project-information text, load state.
    CProject& Project() { return *m_project; }
    Options& ApplicationOptions() { return m_options; }
    // Live only (null otherwise).
    COutputDriverManager* Drivers() const { return m_drivers.get(); }
    // Offline only (null otherwise). Render with it; the update pass runs every 10 ms of audio.
    COfflineDriver* Offline() const { return m_offline.get(); }
    // Why the live driver is silent ("" when it plays or none was asked for).
    const std::string& DriverProblem() const { return m_driverProblem; }

    // Switches the live output to driver n (the options dialog's apply). False when it cannot
    // play; the reason is in DriverProblem().
    bool SwitchDriver(int32_t index);

    // Live only: looks after the output driver (a server or device that stopped, came back, or
    // plays faster than real time) and tells what happened on the messages stream. Call a few
    // times a second on the user-interface thread.
    void WatchDriver();
    // What the live output plays with, for the user: driver, device, rate, buffer size and
    // latency ("" without a live driver).
    std::string DescribeOutput() const;
    // Live only: the current driver plays on a device that is no sound card (ALSA's "null").
    bool PlaysOnNoSoundCard() const;
    // The options dialog's explicit save: writes the options file even over one that could not
    // be read, and from then on at shut-down as well. False when it could not be written.
    bool SaveOptions();
    // How the options file was read at start-up.
    const OptionsReadResult& OptionsRead() const { return m_optionsRead; }

private:
    bool BindCurrentDriver();
    std::ostream& Messages() const;

    Settings m_settings;
    Options m_options;
    OptionsReadResult m_optionsRead;
    std::unique_ptr<COutputDriverManager> m_drivers;
    std::unique_ptr<COfflineDriver> m_offline;
    std::unique_ptr<MachineRegistry> m_registry;
    std::unique_ptr<CVeskHost> m_host;
    std::unique_ptr<CSequencer> m_sequencer;
    // The VST plug-ins' view of the song's transport, fed once per buffer by the tap the studio
    // calls the sequencer through.
    CVSTTransport m_transport;
    std::unique_ptr<CSongTransportTap> m_transportTap;
    std::unique_ptr<CStudio> m_studio;
    std::unique_ptr<CProject> m_project;
    std::unique_ptr<CGraphicsThread> m_graphics;
    std::string m_driverProblem;
};

// An application with the project loaded. The VST folders are scanned only for a project that
// names a machine the host and the machine libraries do not have (the application is then built
// again with the scan); the scan loads no library, and only the plug-ins the project uses are
// loaded. Load errors are raised; what the load chose on its own (an ambiguous plug-in) is told
// on settings.messages (stderr when null).
std::unique_ptr<CApplication> OpenWithMachines(CApplication::Settings settings,
                                               const std::filesystem::path& project);

// Registers the host program's own machine types: master, MIDI input and output, the two HD
// recorder tracks.
void RegisterHostMachines(CVeskHost* host);
