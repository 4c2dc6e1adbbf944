// The driver thread renders buffers while the user-interface thread changes the studio under it:
// machines come and go, cables are made and removed, patterns are written and placed in the song,
// parameters and cable volumes change. Run under ThreadSanitizer, this is the race detector's
// workload; in every build it checks that the studio stays consistent and keeps rendering.
#include "tests/reliability/song_studio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <thread>

namespace {

using song_studio::Connectors;

TEST(Stress, EditingTheStudioWhileItRenders) {
    song_studio::Studio studio(128);
    studio.BuildSong();
    studio.Play();
    const std::vector<CMachineInfo*> kinds = studio.registry.AddableMachines();
    ASSERT_FALSE(kinds.empty());

    std::atomic<bool> done{false};
    std::atomic<long> buffers{0};
    std::atomic<bool> finite{true};
    std::thread driver([&] {
        while (!done.load()) {
            studio.Render();
            if (!std::isfinite(studio.left[0]) || !std::isfinite(studio.right[127])) finite = false;
            buffers.fetch_add(1);
        }
    });

    std::mt19937 random(20261207);
    auto pick = [&](size_t count) { return static_cast<size_t>(random() % count); };
    int done_operations[8] = {};
    CPatternEditor& patterns = studio.sequencer->Patterns();
    CSequenceEditor& song = studio.sequencer->Song();
    for (int operation = 0; operation < 1000; ++operation) {
        const std::vector<CMachineContainer*> frames = studio.studio->Frames();
        CMachineContainer* frame = frames[pick(frames.size())];
        const int kind = static_cast<int>(pick(8));
        switch (kind) {
        case 0: // add a machine
            if (frames.size() < 14) {
                studio.studio->AddMachine(kinds[pick(kinds.size())], 0, 0);
                ++done_operations[kind];
            }
            break;
        case 1: // delete a machine other than the master
            if (frame != studio.master && frames.size() > 3) {
                studio.studio->DeleteMachine(frame);
                ++done_operations[kind];
            }
            break;
        case 2: { // connect an output to an input somewhere
            const auto outs = Connectors(frame, false, true);
            CMachineContainer* other = frames[pick(frames.size())];
            const auto ins = Connectors(other, true, true);
            if (!outs.empty() && !ins.empty() &&
                studio.studio->Connect(outs[pick(outs.size())], ins[pick(ins.size())], 0.5f))
                ++done_operations[kind];
            break;
        }
        case 3: { // disconnect a cable
            for (CConnector* in : Connectors(frame, true, true))
                if (in->m_connections.Count() > 0) {
                    studio.studio->Disconnect(in, 0);
                    ++done_operations[kind];
                    break;
                }
            break;
        }
        case 4: { // write a pattern and place it in the song
            const auto controls = Connectors(frame, true, false);
            if (controls.empty()) break;
            Pattern* pattern = patterns.CreatePattern(controls[0]->m_port, 1 + static_cast<int32_t>(pick(4)));
            if (!pattern) break;
            const int32_t noteRange =
                frame->Machine()->m_namedNoteCount > 0 ? frame->Machine()->m_namedNoteCount : 128;
            pattern->AddNote(static_cast<int32_t>(pick(4)), 1 + static_cast<int32_t>(pick(3)),
                             static_cast<int32_t>(pick(static_cast<size_t>(noteRange))));
            if (frame->Machine()->m_parameterCount > 0) {
                const int32_t track = pattern->AddControlTrack(
                    static_cast<int32_t>(pick(static_cast<size_t>(frame->Machine()->m_parameterCount))));
                pattern->SetControlStep(track, 0, static_cast<float>(pick(100)) / 100.0f);
            }
            song.PlacePattern(pattern, static_cast<int32_t>(pick(8)));
            ++done_operations[kind];
            break;
        }
        case 5: { // remove a pattern or restart the transports
            const CArray<Pattern>& list = patterns.Patterns();
            if (list.Count() > 0 && pick(2) == 0) {
                patterns.DestroyPattern(list[static_cast<int32_t>(pick(static_cast<size_t>(list.Count())))]);
            } else {
                patterns.SelectMachine(frame->Machine());
                patterns.SelectPattern(0);
                studio.Play();
            }
            ++done_operations[kind];
            break;
        }
        case 6: { // turn a knob
            CMachine* machine = frame->Machine();
            if (machine->m_parameterCount == 0) break;
            machine->Lock();
            machine->SetParameter(static_cast<int32_t>(pick(static_cast<size_t>(machine->m_parameterCount))),
                                  static_cast<float>(pick(101)) / 100.0f);
            machine->Unlock();
            ++done_operations[kind];
            break;
        }
        case 7: { // a cable's volume and the master volume
            for (CConnector* in : Connectors(frame, true, true))
                if (in->m_connections.Count() > 0)
                    in->m_connections[0]->SetTargetVolume(static_cast<float>(pick(100)) / 100.0f);
            studio.studio->SetMasterVolume(0.5f + static_cast<float>(pick(50)) / 100.0f);
            ++done_operations[kind];
            break;
        }
        }
        if (operation % 16 == 0) std::this_thread::yield();
    }
    // Let the driver render a few more buffers over the final studio.
    const long before = buffers.load();
    while (buffers.load() < before + 10)
        std::this_thread::yield();
    done = true;
    driver.join();

    for (int kind = 0; kind < 8; ++kind)
        EXPECT_GT(done_operations[kind], 0) << "operation kind " << kind;
    EXPECT_TRUE(finite.load());
    EXPECT_EQ(studio.studio->RenderErrors().count, 0u) << studio.studio->RenderErrors().lastText;
    // Every remaining cable joins two frames still in the studio.
    const std::vector<CMachineContainer*> frames = studio.studio->Frames();
    for (CMachineContainer* frame : frames)
        for (CConnector* in : Connectors(frame, true, true))
            for (int32_t c = 0; c < in->m_connections.Count(); ++c)
                EXPECT_NE(std::find(frames.begin(), frames.end(), in->m_connections[c]->m_source->m_frame),
                          frames.end());
}

} // namespace
