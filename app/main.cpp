// tamborel: the studio program's command line.
//   tamborel [PROJECT] [--parallel]          the studio window with the project (or a new one);
//                                            without a display, as --headless
//   tamborel [PROJECT] --headless [--parallel]  play the project live without a window until Ctrl-C
//   tamborel render PROJECT -o OUT.wav ...   bounce the song to a WAV file
//   tamborel info PROJECT [--json]           describe a project
//   tamborel machines [--json]               list every machine type
#include "app/application.h"
#include "app/info_command.h"
#include "app/machines_command.h"
#include "app/render_command.h"
#include "app/window_models.h"
#include "audio_out/wave_out_driver.h"
#include "gui/dialog_service.h"
#include "platform/error.h"
#include "studio_ui/document/recent_projects.h"
#include "studio_ui/machine_panels/program_panel_factory.h"
#include "studio_ui/main_window/main_window.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

void PrintUsage(std::ostream& out) {
    out << "usage: tamborel [PROJECT] [--headless] [--parallel]\n"
           "       tamborel render PROJECT -o OUT.wav [--rate HZ] [--buffer FRAMES] [--format s16|f32]\n"
           "                       [--loops N] [--tail SECONDS] [--seed N] [--stems DIR]\n"
           "                       [--parallel] [--force]\n"
           "       tamborel info PROJECT [--json]\n"
           "       tamborel machines [--json]\n";
}

int RunMachines(const std::vector<std::string>& args) {
    bool json = false;
    for (const auto& arg : args) {
        if (arg == "--json")
            json = true;
        else
            platform::Raise("Unknown option '%s'", arg.c_str());
    }
    CApplication application(CApplication::Settings{});
    ListMachines(*application.Registry(), json, std::cout);
    return 0;
}

int RunRender(const std::vector<std::string>& args) {
    const RenderRequest request = ParseRenderArguments(args);
    RenderProject(request, std::cerr, isatty(STDERR_FILENO) != 0);
    return 0;
}

// Ctrl-C or SIGTERM asks the live studio to end (the main loop notices within one wait); a
// second one ends the program at once, the way the signal would without us.
std::atomic<int> g_stopSignals{0};
extern "C" void RequestStop(int signal) {
    if (g_stopSignals.fetch_add(1) > 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A device or server that goes away mid-write (an ALSA file device's pipe, a JACK socket)
    // must end in an error code, never kill the studio.
    std::signal(SIGPIPE, SIG_IGN);
}

// A path given on the command line, with surrounding double quotes removed when both are there.
std::string Unquote(std::string path) {
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    return path;
}

// Without a window the studio plays the project live through the selected driver until SIGINT
// or SIGTERM. Errors while loading are told and the program goes on with what was built. A
// server or device that stops during play is told about and waited for; the studio plays on.
// parallel: every machine on a worker thread of its own instead of all on the driver's thread.
int RunLive(const std::string& projectPath, bool parallel) {
    // A name that is no file at all is a mistyped command or path, not a project to half-load.
    if (!projectPath.empty() && !std::filesystem::is_regular_file(projectPath))
        platform::Raise("Failed To Open File '%s' For Reading", projectPath.c_str());
    CApplication::Settings settings;
    settings.audio = CApplication::Audio::Live;
    settings.newProject = projectPath.empty();
    CApplication application(settings);
    const std::string renderHint = "  tamborel render " +
                                   (projectPath.empty() ? std::string("PROJECT.tbp") : projectPath) +
                                   " -o OUT.wav\n";
    if (!application.DriverProblem().empty()) {
        std::cerr << "tamborel: no display is available and no sound device could be opened ("
                  << application.DriverProblem() << ").\n"
                  << "To hear a project, render it to a file:\n"
                  << renderHint;
        return 1;
    }
    if (parallel) application.Studio()->SetSingleThreaded(false);
    if (!projectPath.empty()) {
        try {
            application.Project().Open(projectPath);
            for (const std::string& note : application.Project().LoadNotes()) std::cerr << "tamborel: " << note << '\n';
        } catch (const std::exception& error) {
            std::cerr << "tamborel: " << error.what() << '\n';
        }
    }
    CatchStopSignals();
    if (application.PlaysOnNoSoundCard()) {
        const CWaveOutDriver* waveOut = application.Drivers()->WaveOut();
        const std::string device = waveOut->DeviceAt(waveOut->CurrentDevice()).name;
        if (waveOut->HasSoundCard())
            std::cerr << "tamborel: ALSA device \"" << device
                      << "\" chosen in the options is no sound card: it takes the sound and plays nothing.\n";
        else
            std::cerr << "tamborel: no sound card was found: ALSA device \"" << device
                      << "\", which takes the sound and plays nothing.\n";
        std::cerr << "The song runs on silently in real time. To hear it, render it to a file:\n"
                  << renderHint;
    }
    CSequenceEditor& song = application.Sequencer()->Song();
    song.SetLoop(true);
    song.PlaySong();
    std::cerr << "tamborel: playing " << (projectPath.empty() ? std::string("a new project") : projectPath)
              << " through " << application.DescribeOutput() << "; Ctrl-C ends" << std::endl;
    while (g_stopSignals.load() == 0) {
        application.WatchDriver();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    song.StopSong();
    std::cerr << "tamborel: stopped" << std::endl;
    return 0;
}

// Whether a window can be opened: a window system named by QT_QPA_PLATFORM whose platform
// plug-in is installed (and, for X11 and Wayland, whose display is named), else an X11 or Wayland
// display. Decided before any QApplication is made: one made without a usable platform stops the
// program.
bool HasDisplay() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    if (set("QT_QPA_PLATFORM")) {
        const std::string platform = std::string(std::getenv("QT_QPA_PLATFORM")).substr(
            0, std::string(std::getenv("QT_QPA_PLATFORM")).find(':'));
        if (platform == "xcb" && !set("DISPLAY")) return false;
        if (platform.rfind("wayland", 0) == 0 && !set("WAYLAND_DISPLAY")) return false;
        const QString plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms/";
        return QFileInfo::exists(plugins + "libq" + QString::fromStdString(platform) + ".so");
    }
    return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

// The studio window over the live studio until the user closes it. A project that cannot be
// loaded is told in the error box; the window stays with what was built.
int RunWindow(int& argc, char** argv, const std::string& projectPath, bool parallel) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName("Tamborel Studio");
    // The program's own machines (MIDI, VST plug-ins) get their panels made from here on.
    machine_panels::Install(&program_panels::ProgramPanelFactory());
    // A device or server that goes away mid-write must end in an error code, never kill the studio.
    std::signal(SIGPIPE, SIG_IGN);
    CApplication::Settings settings;
    settings.audio = CApplication::Audio::Live;
    settings.newProject = true;
    settings.window = true;
    CApplication application(settings);
    if (parallel) application.Studio()->SetSingleThreaded(false);
    CRecentProjects recent;

    main_window::CMainWindow::Models models = WindowModels(application, &recent);
    models.drivers = application.Drivers();
    models.optionHooks.switchDriver = [&application](int32_t index) { return application.SwitchDriver(index); };
    models.optionHooks.driverProblem = [&application] { return application.DriverProblem(); };
    models.optionHooks.saveOptions = [&application] { return application.SaveOptions(); };
    models.currentDriver = [&application]() -> CAudioOutputDriver* {
        return application.Drivers() ? application.Drivers()->Current() : nullptr;
    };
    models.driverProblem = [&application] { return application.DriverProblem(); };
    models.watchDriver = [&application] { application.WatchDriver(); };

    main_window::CMainWindow window(std::move(models));
    window.Build(1280, 800);
    window.Open(true);
    std::optional<std::filesystem::path> project;
    if (!projectPath.empty()) project = std::filesystem::path(projectPath);
    window.Start(project);
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
            PrintUsage(std::cout);
            return 0;
        }
        // The studio takes two options, --parallel and --headless, before or after the project.
        const bool subcommand = !args.empty() && (args[0] == "render" || args[0] == "info" || args[0] == "machines");
        const auto takeOption = [&](const char* name) {
            const auto option = std::find(args.begin(), args.end(), name);
            if (subcommand || option == args.end()) return false;
            args.erase(option);
            return true;
        };
        const bool parallel = takeOption("--parallel");
        const bool headless = takeOption("--headless");
        if (!args.empty() && subcommand) {
            const std::string command = args[0];
            std::vector<std::string> rest(args.begin() + 1, args.end());
            if (command == "machines") return RunMachines(rest);
            if (command == "render") return RunRender(rest);
            return RunInfo(rest, std::cout);
        }
        if (args.size() > 1 || (args.size() == 1 && !args[0].empty() && args[0][0] == '-')) {
            PrintUsage(std::cerr);
            return 2;
        }
        const std::string project = args.empty() ? std::string() : Unquote(args[0]);
        if (headless) return RunLive(project, parallel);
        if (!HasDisplay()) {
            std::cerr << "tamborel: no display is available; playing without a window, as with --headless\n";
            return RunLive(project, parallel);
        }
        return RunWindow(argc, argv, project, parallel);
    } catch (const std::exception& error) {
        std::cerr << "tamborel: " << error.what() << '\n';
        return 1;
    }
}
