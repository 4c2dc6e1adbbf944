// Plays the demo song through the application's offline renderer at a given buffer size and
// keeps every control event each machine receives from the sequencer, with the absolute sample it
// applies to, read in the order the machine reads them, and the samples the master played.
#pragma once

#include "app/application.h"
#include "audio_out/offline_driver.h"
#include "engine/studio.h"
#include "machine_interface/machine.h"
#include "machine_interface/port.h"
#include "platform/random.h"
#include "sequencer/sequencer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <filesystem>
#include <sstream>
#include <vector>

struct TappedEvent {
    int64_t time; // samples from the song's start
    size_t frame; // the machine's place in the studio
    int32_t port;
    int32_t kind;
    int32_t index;
    uint32_t valueBits;
    uint32_t frequencyBits;
    bool operator==(const TappedEvent&) const = default;
};

// Stands between the studio and the sequencer: after each tick, copies the events the sequencer
// wrote into every control input port.
class CEventTap : public CStudioSequencer {
public:
    CEventTap(CSequencer& inner, CStudio& studio, int32_t bufferSize)
        : m_inner(inner), m_studio(studio), m_bufferSize(bufferSize) {}

    CMutex& EditorMutex() override { return m_inner.EditorMutex(); }
    void Tick() override {
        m_inner.Tick();
        const std::vector<CMachineContainer*>& frames = m_studio.Frames();
        for (size_t f = 0; f < frames.size(); ++f) {
            CMachine* machine = frames[f]->Machine();
            for (int32_t p = 0; p < machine->m_portCount; ++p) {
                CPort* port = machine->m_ports[p];
                if (!port->IsControl() || !port->IsInput() || !port->m_controlBuffer) continue;
                CControlBuffer copy;
                port->m_controlBuffer->CopyTo(&copy);
                ControlEvent event;
                while (copy.GetNextEvent(&event)) {
                    TappedEvent tapped{m_ticks * m_bufferSize + event.time, f, p, event.kind, event.index, 0, 0};
                    std::memcpy(&tapped.valueBits, &event.value, 4);
                    std::memcpy(&tapped.frequencyBits, &event.frequency, 4);
                    events.push_back(tapped);
                }
            }
        }
        ++m_ticks;
    }
    void MachineAdded(CMachine* machine) override { m_inner.MachineAdded(machine); }
    void MachineRemoved(CMachine* machine) override { m_inner.MachineRemoved(machine); }
    void Clear() override { m_inner.Clear(); }
    void SampleRateChanged(int32_t rate) override { m_inner.SampleRateChanged(rate); }
    void BufferSizeChanged(int32_t frames) override { m_inner.BufferSizeChanged(frames); }

    std::vector<TappedEvent> events;

private:
    CSequencer& m_inner;
    CStudio& m_studio;
    int64_t m_ticks = 0;
    int64_t m_bufferSize;
};

struct TappedSong {
    std::vector<TappedEvent> events; // up to the end of the rendered stretch
    std::vector<float> left, right;  // what the master played
    int64_t songSamples = 0;
    float bpm = 0.0f;
};

// Renders the first `frames` frames of the demo song (the song alone, as `render` plays it, with
// one pass) at the buffer size; frames < 0 renders the whole song and one second after it.
// The process-wide generator is pinned first, so every render's machines draw the same noise.
inline TappedSong TapDemoSong(int32_t bufferSize, int64_t frames) {
    namespace fs = std::filesystem;
    platform::PinRandomSeed(1);
    CApplication::Settings settings;
    settings.audio = CApplication::Audio::Offline;
    settings.bufferSize = bufferSize;
    settings.newProject = false;
    settings.pluginFolder = fs::path(TAMBOREL_BIN_DIR) / "PlugIns";
    settings.vstFolders = std::vector<fs::path>{};
    std::ostringstream messages;
    settings.messages = &messages;
    std::unique_ptr<CApplication> application =
        OpenWithMachines(settings, fs::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp");
    CStudio& studio = *application->Studio();
    CEventTap tap(*application->Sequencer(), studio, bufferSize);
    studio.AttachSequencer(&tap);
    CSequenceEditor& song = application->Sequencer()->Song();
    TappedSong tapped;
    tapped.songSamples = song.SongSamples();
    tapped.bpm = application->Host()->GetBPM();
    if (frames < 0) frames = tapped.songSamples + 44100;
    song.PlaySong();
    constexpr int32_t kChunk = 4096;
    std::vector<float> left(kChunk), right(kChunk);
    float* channels[] = {left.data(), right.data()};
    for (int64_t done = 0; done < frames;) {
        const auto chunk = static_cast<int32_t>(std::min<int64_t>(kChunk, frames - done));
        application->Offline()->Render(channels, 2, chunk);
        tapped.left.insert(tapped.left.end(), left.begin(), left.begin() + chunk);
        tapped.right.insert(tapped.right.end(), right.begin(), right.begin() + chunk);
        done += chunk;
    }
    song.StopSong();
    studio.AttachSequencer(application->Sequencer());
    for (const TappedEvent& event : tap.events)
        if (event.time < frames) tapped.events.push_back(event);
    // One list in song time; each port's own order (the machine's) is kept at equal times.
    std::stable_sort(tapped.events.begin(), tapped.events.end(), [](const TappedEvent& a, const TappedEvent& b) {
        return std::tie(a.time, a.frame, a.port) < std::tie(b.time, b.frame, b.port);
    });
    return tapped;
}

// Every note-on, trigger and parameter change lies on a step: at trunc(i x rate x 4 / BPM) for
// an integer i (the demo's tempo is a whole number of BPM).
// The two renders' samples are the same, bit for bit, over the shorter of the two.
inline void ExpectTheSameSamples(const TappedSong& song, const TappedSong& reference, int32_t bufferSize) {
    const size_t frames = std::min(song.left.size(), reference.left.size());
    ASSERT_GT(frames, 0u);
    for (const auto& [a, b] : {std::pair{&song.left, &reference.left}, std::pair{&song.right, &reference.right}}) {
        const auto mismatch = std::mismatch(a->begin(), a->begin() + static_cast<std::ptrdiff_t>(frames), b->begin(),
                                            [](float x, float y) { return std::memcmp(&x, &y, sizeof x) == 0; });
        EXPECT_EQ(mismatch.first, a->begin() + static_cast<std::ptrdiff_t>(frames))
            << "buffer " << bufferSize << ": first different frame " << (mismatch.first - a->begin());
    }
    // Not silence: the comparison means something.
    EXPECT_GT(*std::max_element(song.left.begin(), song.left.begin() + static_cast<std::ptrdiff_t>(frames)), 0.05f);
}

inline void ExpectOnsetsOnTheSongsSteps(const TappedSong& song, int64_t rate) {
    const auto bpm = static_cast<int64_t>(song.bpm);
    ASSERT_EQ(static_cast<float>(bpm), song.bpm);
    const int64_t perStep = rate * 4; // step i begins at trunc(i x perStep / bpm)
    size_t checked = 0;
    for (const TappedEvent& event : song.events) {
        if (event.kind == kEventNoteOff || event.kind == kEventTriggerOff) continue;
        const int64_t step = (event.time * bpm + perStep - 1) / perStep; // the first step at or after
        EXPECT_EQ(event.time, step * perStep / bpm) << "kind " << event.kind << " at " << event.time;
        ++checked;
    }
    EXPECT_GE(checked, 4u);
}
