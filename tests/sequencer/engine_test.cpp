// Patterns and the song driving a machine through the studio's real processing cycle: the
// sequencer attached to a CStudio, a gate synthesizer cabled into the master, buffers rendered
// with CStudio::Render. The gate's output edges show where the events landed, to the sample.
#include "engine/master.h"
#include "engine/studio.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "sequencer/sequencer.h"
#include "tests/sequencer/gate_synth.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct EngineRig : ::testing::Test {
    static constexpr int32_t kBuffer = 4410;
    EngineRig() {
        host = std::make_unique<CVeskHost>(44100, kBuffer, 0, &registry);
        host->RegisterMachine(new CMasterInfo(host.get()));
        gateInfo = new CSimpleMachineInfo<CGateSynth>(host.get(), "Gate", "Gate");
        host->RegisterMachine(gateInfo);
        studio = std::make_unique<CStudio>(host.get());
        sequencer = std::make_unique<CSequencer>(host.get());
        studio->AttachSequencer(sequencer.get());
        CMachineContainer* master = studio->NewProject();
        CMachineContainer* frame = studio->AddMachine(gateInfo, 100, 100);
        gate = static_cast<CGateSynth*>(frame->Machine());
        EXPECT_TRUE(studio->Connect(frame->FindConnector("Out"), master->FindConnector("Line In")));
    }
    ~EngineRig() override {
        studio.reset(); // the frames (and machines) first; the sequencer only holds pointers
        sequencer.reset();
    }
    // Renders buffers, keeping the left channel.
    void Render(int count) {
        std::vector<float> left(kBuffer), right(kBuffer);
        float* channels[2] = {left.data(), right.data()};
        for (int i = 0; i < count; ++i) {
            studio->Render(2, channels, kBuffer);
            output.insert(output.end(), left.begin(), left.end());
        }
    }
    // The first sample at or after from whose level is above or below one half.
    int64_t Edge(int64_t from, bool rising) const {
        for (auto i = static_cast<size_t>(from); i < output.size(); ++i)
            if ((output[i] > 0.5f) == rising) return static_cast<int64_t>(i);
        return -1;
    }

    MachineRegistry registry;
    std::unique_ptr<CVeskHost> host;
    CMachineInfo* gateInfo;
    std::unique_ptr<CStudio> studio;
    std::unique_ptr<CSequencer> sequencer;
    CGateSynth* gate;
    std::vector<float> output;
};

TEST_F(EngineRig, PatternPlayedFromTheEditorGatesTheMachineToTheSample) {
    CPatternEditor& editor = sequencer->Patterns();
    ASSERT_EQ(editor.Machines().size(), 1u); // announced by the studio
    editor.SelectMachine(gate);
    Pattern* pattern = editor.AddPattern();
    ASSERT_NE(pattern, nullptr);
    editor.AddNoteAt(8, 60);  // 10080 .. 15120
    editor.AddNoteAt(20, 62); // 25200 .. 30240
    editor.SetPlayPattern(true);
    Render(8);
    EXPECT_EQ(Edge(0, true), 10080);
    EXPECT_EQ(Edge(10080, false), 15120);
    EXPECT_EQ(Edge(15120, true), 25200);
    EXPECT_EQ(Edge(25200, false), 30240);
    ASSERT_EQ(gate->events.size(), 4u);
    EXPECT_EQ(gate->events[1].kind, kEventNoteOff);
    EXPECT_EQ(gate->events[1].time, 15120);
}

TEST_F(EngineRig, SongPlacementStartingInsideABufferAndLoopingSong) {
    CPatternEditor& editor = sequencer->Patterns();
    Pattern* pattern = editor.CreatePattern(gate->m_ports[0], 1);
    pattern->AddNote(0, 2, 60); // one beat: on at its start for two steps
    CSequenceEditor& song = sequencer->Song();
    ASSERT_NE(song.PlacePattern(pattern, 4), nullptr); // step 16 = 20160, inside buffer 4
    song.SetLength(8);                                  // 32 steps = 40320 samples
    song.SetLoop(true);
    song.PlaySong();
    Render(15);
    EXPECT_EQ(Edge(0, true), 20160);
    EXPECT_EQ(Edge(20160, false), 22680);
    EXPECT_EQ(Edge(22680, true), 40320 + 20160); // the second time round
    EXPECT_TRUE(song.IsPlaying());
    song.StopSong();
    EXPECT_FALSE(song.IsPlaying());
}

TEST_F(EngineRig, SongWithoutLoopEndsAndRemovingTheMachineTakesItsPatterns) {
    Pattern* pattern = sequencer->Patterns().CreatePattern(gate->m_ports[0], 1);
    pattern->AddNote(3, 4, 60); // held past the song's end
    CSequenceEditor& song = sequencer->Song();
    song.PlacePattern(pattern, 0);
    song.SetLength(1); // 5040 samples
    song.PlaySong();
    Render(1);
    EXPECT_TRUE(song.IsPlaying());
    Render(1);
    EXPECT_FALSE(song.IsPlaying()); // a renderer knows the song is over
    Render(2);
    EXPECT_EQ(Edge(0, true), 3780);
    EXPECT_EQ(Edge(3780, false), 8820); // the note still ends after the song stopped

    studio->DeleteMachine(studio->FindFrame(gate));
    EXPECT_EQ(sequencer->Patterns().Patterns().Count(), 0);
    EXPECT_EQ(song.Song().TrackCount(), 0);
    Render(1);
}

TEST_F(EngineRig, NoNoteHangsWhereverTheSongOrThePatternStops) {
    // A looped two-beat song of overlapping long notes, one running past the pattern's end, is
    // stopped after every number of buffers from one to seven; then the pattern editor's playback
    // is stopped likewise. Every time the gate closes and every note-on has found its note-off.
    CPatternEditor& editor = sequencer->Patterns();
    Pattern* pattern = editor.CreatePattern(gate->m_ports[0], 2);
    pattern->AddNote(0, 6, 60);
    pattern->AddNote(3, 2, 62);
    pattern->AddNote(5, 9, 64); // ends six steps after the pattern
    CSequenceEditor& song = sequencer->Song();
    ASSERT_NE(song.PlacePattern(pattern, 0), nullptr);
    song.SetLength(2);
    song.SetLoop(true);
    auto expectAllReleased = [&](const char* what, int buffers) {
        int32_t ons = 0, offs = 0;
        for (const CGateSynth::Event& event : gate->events) {
            ons += event.kind == kEventNoteOn;
            offs += event.kind == kEventNoteOff;
        }
        EXPECT_EQ(ons, offs) << what << " stopped after " << buffers << " buffers";
        EXPECT_EQ(gate->m_held, 0) << what << " stopped after " << buffers << " buffers";
        EXPECT_EQ(output.back(), 0.0f) << what << " stopped after " << buffers << " buffers";
    };
    for (int buffers = 1; buffers <= 7; ++buffers) {
        song.PlaySong();
        Render(buffers);
        song.StopSong();
        Render(4); // the longest note lasts 11340 samples
        expectAllReleased("song", buffers);
    }

    editor.SelectMachine(gate);
    editor.SelectPattern(0);
    ASSERT_EQ(editor.CurrentPattern(), pattern);
    editor.SetLoopPattern(true);
    for (int buffers = 1; buffers <= 7; ++buffers) {
        editor.SetPlayPattern(true);
        Render(buffers);
        editor.StopPattern();
        Render(4);
        expectAllReleased("pattern", buffers);
    }
}

} // namespace
