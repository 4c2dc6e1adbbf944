// MIDI through a real JACK server: jack_midiseq plays notes into "QX MIDI Input", and notes
// sent by "QX MIDI Output" are printed by jack_midi_dump. Skips when the tools are missing.
#include "host_machines/midi/midi_devices.h"
#include "host_machines/midi_machines.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "tests/support/processes.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool Have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

using processes::Spawn;

void Stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

template <typename Condition> bool WaitFor(Condition condition, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

int32_t FindDevice(int32_t count, const std::function<std::string(int32_t)>& name, const std::string& part) {
    for (int32_t i = 0; i < count; ++i)
        if (name(i).find(part) != std::string::npos) return i;
    return -1;
}

} // namespace

TEST(JackMIDI, NotesInFromMidiseqAndOutToMidiDump) {
    if (!Have("jackd") || !Have("jack_midiseq") || !Have("jack_midi_dump"))
        GTEST_SKIP() << "jackd, jack_midiseq or jack_midi_dump is not installed";
    const fs::path folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / "jack_midi";
    fs::create_directories(folder);
    const std::string server = "tamborel_test_" + std::to_string(getpid());
    setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    const pid_t jackd =
        Spawn({"jackd", "--no-realtime", "-n", server, "-d", "dummy", "-r", "48000", "-p", "256"},
              folder / "jackd.log");
    pid_t midiseq = -1;
    pid_t dump = -1;
    struct Cleanup {
        std::vector<pid_t*> pids;
        ~Cleanup() {
            for (auto it = pids.rbegin(); it != pids.rend(); ++it)
                Stop(**it);
            unsetenv("JACK_DEFAULT_SERVER");
        }
    } cleanup{{const_cast<pid_t*>(&jackd), &midiseq, &dump}};
    ASSERT_TRUE(WaitFor(
        [&] { return std::system(("jack_lsp -s " + server + " >/dev/null 2>&1").c_str()) == 0; }, 10000))
        << ReadAll(folder / "jackd.log");

    // A quarter-second loop with note 60 at its start.
    midiseq = Spawn({"jack_midiseq", "midiseq", "12000", "0", "60", "6000"}, folder / "midiseq.log");
    dump = Spawn({"jack_midi_dump", "midi_dump"}, folder / "dump.log");
    std::unique_ptr<CMIDIDeviceRegistry> registry;
    ASSERT_TRUE(WaitFor(
        [&] {
            registry = std::make_unique<CMIDIDeviceRegistry>();
            return FindDevice(
                       registry->InputCount(), [&](int32_t i) { return registry->Input(i)->Name(); },
                       "midiseq") >= 0 &&
                   FindDevice(
                       registry->OutputCount(), [&](int32_t i) { return registry->Output(i)->Name(); },
                       "midi_dump") >= 0;
        },
        10000));
    const int32_t source = FindDevice(
        registry->InputCount(), [&](int32_t i) { return registry->Input(i)->Name(); }, "midiseq");
    const int32_t sink = FindDevice(
        registry->OutputCount(), [&](int32_t i) { return registry->Output(i)->Name(); }, "midi_dump");

    MachineRegistry machines;
    CVeskHost host{48000, 256, 0x16, &machines};
    {
        CMIDIInput input(&host, registry.get());
        input.SelectDevice(source);
        // Render buffers in real time until notes come out of the input machine's port.
        std::vector<ControlEvent> events;
        for (int buffer = 0; buffer < 400 && events.size() < 2; ++buffer) {
            std::this_thread::sleep_for(std::chrono::microseconds(256 * 1'000'000 / 48000));
            input.Lock();
            input.Process();
            input.Unlock();
            ControlEvent event;
            while (input.m_ports[0]->m_controlBuffer->GetNextEvent(&event))
                events.push_back(event);
        }
        ASSERT_GE(events.size(), 2u);
        bool sawOn = false;
        bool sawOff = false;
        for (const ControlEvent& event : events) {
            EXPECT_EQ(event.index, 60);
            EXPECT_GE(event.time, 0);
            EXPECT_LT(event.time, 256);
            sawOn = sawOn || event.kind == kEventNoteOn;
            sawOff = sawOff || event.kind == kEventNoteOff;
        }
        EXPECT_TRUE(sawOn);
        EXPECT_TRUE(sawOff);
    }
    {
        CMIDIOutput output(&host, registry.get());
        output.SelectDevice(sink);
        ControlEvent on{32, 10, kEventNoteOn, {}, 72, 100.0f / 127.0f, 0.0f};
        ControlEvent off{32, 200, kEventNoteOff, {}, 72, 0.0f, 0.0f};
        // The connection to the dump's port is made by the server on its own time: under load a
        // buffer sent before it stands reaches nobody. The note is sent again each tenth of a
        // second until the dump has heard it (jack_midi_dump prints each event's bytes in hex:
        // "90 48 64" and "80 48 00").
        EXPECT_TRUE(WaitFor(
            [&] {
                output.m_ports[0]->m_controlBuffer->Clear();
                output.m_ports[0]->m_controlBuffer->AddEvent(&on);
                output.m_ports[0]->m_controlBuffer->AddEvent(&off);
                output.Process();
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                const std::string text = ReadAll(folder / "dump.log");
                return text.find("90 48 64") != std::string::npos &&
                       text.find("80 48 00") != std::string::npos;
            },
            2500)) // counted in 20 ms steps of the wait; each try takes 120 ms: about 15 s
            << ReadAll(folder / "dump.log");
        EXPECT_EQ(output.ErrorCount(), 0);
    }
}
