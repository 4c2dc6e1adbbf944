// The demo song's Mixer, QuadDelay and AntiAlias, fed what they heard in the song rendered with
// 64-frame buffers, give back the very samples the song got from them when they render the same
// signals in buffers of other sizes: their part of the song does not hang on the buffer size.
#include "app/application.h"
#include "audio_out/offline_driver.h"
#include "engine/studio.h"
#include "engine/studio_sequencer.h"
#include "machine_interface/audio_buffer.h"
#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/port.h"
#include "machine_interface/vesk_host.h"
#include "machines/antialias/antialias_filter.h"
#include "machines/mixer/mixer.h"
#include "machines/quaddelay/echo.h"
#include "sequencer/sequencer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int32_t kSongBuffer = 64;
constexpr int64_t kFrames = 4 * 44100;

// Both channels of every stereo audio port of the machines of interest, over the whole stretch.
struct Recording {
    std::map<std::string, std::vector<float>> left, right;
    std::map<std::string, std::vector<float>> parameters; // by frame name
};

std::string Key(const std::string& frame, const CPort* port) {
    return frame + "." + port->m_name;
}

// Stands between the studio and the sequencer; at each tick the machines' ports still hold the
// previous buffer's signals (inputs as mixed, outputs as rendered), which it keeps.
class CSignalTap : public CStudioSequencer {
public:
    CSignalTap(CSequencer& inner, CStudio& studio, std::vector<std::string> frames, Recording& recording)
        : m_inner(inner), m_studio(studio), m_frames(std::move(frames)), m_recording(recording) {}

    CMutex& EditorMutex() override { return m_inner.EditorMutex(); }
    void Tick() override {
        if (m_ticks++ > 0)
            for (const std::string& name : m_frames) {
                CMachine* machine = m_studio.FindFrame(name.c_str())->Machine();
                for (int32_t p = 0; p < machine->m_portCount; ++p) {
                    const CPort* port = machine->m_ports[p];
                    const CAudioBuffer* buffer = port->IsAudio() ? port->m_audioBuffer : nullptr;
                    if (!buffer || !buffer->m_channel2) continue;
                    auto& left = m_recording.left[Key(name, port)];
                    auto& right = m_recording.right[Key(name, port)];
                    left.insert(left.end(), buffer->m_channel1, buffer->m_channel1 + kSongBuffer);
                    right.insert(right.end(), buffer->m_channel2, buffer->m_channel2 + kSongBuffer);
                }
            }
        m_inner.Tick();
    }
    void MachineAdded(CMachine* machine) override { m_inner.MachineAdded(machine); }
    void MachineRemoved(CMachine* machine) override { m_inner.MachineRemoved(machine); }
    void Clear() override { m_inner.Clear(); }
    void SampleRateChanged(int32_t rate) override { m_inner.SampleRateChanged(rate); }
    void BufferSizeChanged(int32_t frames) override { m_inner.BufferSizeChanged(frames); }

private:
    CSequencer& m_inner;
    CStudio& m_studio;
    std::vector<std::string> m_frames;
    Recording& m_recording;
    int64_t m_ticks = 0;
};

const std::vector<std::string> kFramesOfInterest = {"Mixer", "Echo", "AntiAlias"};

Recording RecordDemo() {
    CApplication::Settings settings;
    settings.audio = CApplication::Audio::Offline;
    settings.bufferSize = kSongBuffer;
    settings.newProject = false;
    settings.pluginFolder = fs::path(TAMBOREL_BIN_DIR) / "PlugIns";
    settings.vstFolders = std::vector<fs::path>{};
    std::ostringstream messages;
    settings.messages = &messages;
    std::unique_ptr<CApplication> application =
        OpenWithMachines(settings, fs::path(TAMBOREL_SOURCE_DIR) / "examples" / "demo.tbp");
    CStudio& studio = *application->Studio();
    Recording recording;
    for (const std::string& name : kFramesOfInterest) {
        CMachineContainer* frame = studio.FindFrame(name.c_str());
        if (!frame) {
            ADD_FAILURE() << "the demo has no machine named " << name;
            return recording;
        }
        CMachine* machine = frame->Machine();
        for (int32_t i = 0; i < machine->m_parameterCount; ++i)
            recording.parameters[name].push_back(machine->GetParameter(i));
    }
    CSignalTap tap(*application->Sequencer(), studio, kFramesOfInterest, recording);
    studio.AttachSequencer(&tap);
    application->Sequencer()->Song().PlaySong();
    std::vector<float> left(kSongBuffer), right(kSongBuffer);
    float* channels[] = {left.data(), right.data()};
    // One buffer more than the stretch: the tap keeps a buffer when the next one starts.
    for (int64_t done = 0; done < kFrames + kSongBuffer; done += kSongBuffer)
        application->Offline()->Render(channels, 2, kSongBuffer);
    application->Sequencer()->Song().StopSong();
    studio.AttachSequencer(application->Sequencer());
    return recording;
}

const Recording& Demo() {
    static const Recording recording = RecordDemo();
    return recording;
}

// Renders the recorded inputs through a fresh machine with the song's settings in buffers of
// `frames`; returns every stereo output (sends as they leave Process, outputs after ProcessLate).
Recording Replay(const std::string& name, CMachine* machine, int32_t frames, int64_t total) {
    const Recording& song = Demo();
    for (int32_t i = 0; i < machine->m_parameterCount; ++i)
        machine->SetParameter(i, song.parameters.at(name)[static_cast<size_t>(i)]);
    machine->ResizePortBuffers(frames);
    machine->SetBufferSize(frames);
    Recording out;
    auto each = [&](bool input, bool sendReturn, const std::function<void(const std::string&, CAudioBuffer*)>& f) {
        for (int32_t p = 0; p < machine->m_portCount; ++p) {
            CPort* port = machine->m_ports[p];
            if (!port->IsAudio() || !port->m_audioBuffer || !port->m_audioBuffer->m_channel2) continue;
            if (port->IsInput() == input && port->IsSendReturn() == sendReturn) f(Key(name, port), port->m_audioBuffer);
        }
    };
    auto feed = [&](int64_t at) {
        return [&, at](const std::string& key, CAudioBuffer* buffer) {
            std::memcpy(buffer->m_channel1, song.left.at(key).data() + at, sizeof(float) * frames);
            std::memcpy(buffer->m_channel2, song.right.at(key).data() + at, sizeof(float) * frames);
        };
    };
    auto keep = [&](const std::string& key, CAudioBuffer* buffer) {
        out.left[key].insert(out.left[key].end(), buffer->m_channel1, buffer->m_channel1 + frames);
        out.right[key].insert(out.right[key].end(), buffer->m_channel2, buffer->m_channel2 + frames);
    };
    for (int64_t at = 0; at + frames <= total; at += frames) {
        each(true, false, feed(at));
        machine->Process();
        each(false, true, keep);
        each(true, true, feed(at)); // the returns as the song mixed them
        machine->ProcessLate();
        each(false, false, keep);
    }
    machine->Delete();
    return out;
}

void ExpectAsInTheSong(const Recording& replay, int32_t frames) {
    const Recording& song = Demo();
    ASSERT_FALSE(replay.left.empty());
    for (auto side : {&Recording::left, &Recording::right})
        for (const auto& [key, samples] : replay.*side) {
            const std::vector<float>& heard = (song.*side).at(key);
            ASSERT_LE(samples.size(), heard.size());
            size_t same = 0;
            while (same < samples.size() && std::memcmp(&samples[same], &heard[same], sizeof(float)) == 0)
                ++same;
            EXPECT_EQ(same, samples.size()) << key << " at " << frames << "-frame buffers differs from sample "
                                            << same;
        }
}

class SongEffectsSplit : public testing::TestWithParam<int32_t> {};

TEST_P(SongEffectsSplit, MachinesGiveTheSongsSamplesAtThisBufferSize) {
    const int32_t frames = GetParam();
    const Recording& song = Demo();
    const auto total = static_cast<int64_t>(song.left.at("Mixer.Output").size());
    ASSERT_GE(total, kFrames);
    // The song must have reached the effects for this to say anything.
    double energy = 0;
    for (float v : song.left.at("AntiAlias.Line Out"))
        energy += static_cast<double>(v) * v;
    ASSERT_GT(energy, 1.0);
    const int64_t usable = total / frames * frames;
    MachineRegistry registry;
    CVeskHost host{44100, frames, 0, &registry};
    ExpectAsInTheSong(Replay("Mixer", new CMixer(&host, 8, 2), frames, usable), frames);
    ExpectAsInTheSong(Replay("Echo", new CEcho(&host), frames, usable), frames);
    ExpectAsInTheSong(Replay("AntiAlias", new CAntiAliasFilter(&host), frames, usable), frames);
}

// 64 is the song's own size: the replay itself must match the song there.
INSTANTIATE_TEST_SUITE_P(BufferSizes, SongEffectsSplit, testing::Values(64, 1, 256, 1000, 4410, 8192));

} // namespace
