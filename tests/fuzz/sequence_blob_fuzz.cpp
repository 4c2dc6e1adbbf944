// Sequence blobs from project files: a damaged blob raises its "Sequence Data ..." text and
// leaves the song as it was; whatever loads plays and writes back a blob that loads again.
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/event_machine.h"

namespace {

// Two machines with three patterns (serials 0, 1, 2 once written), as a project loads them
// before its song.
struct Rig {
    Rig() {
        CEventMachine* synth = rig.Add("Synth", 2, 3);
        CEventMachine* drums = rig.Add("Drums", 1, 5, 12);
        CPatternEditor& editor = rig.sequencer.Patterns();
        editor.CreatePattern(synth->Control(0), 4)->AddNote(0, 4, 60);
        editor.CreatePattern(synth->Control(1), 1)->AddNote(1, 2, 64);
        editor.CreatePattern(drums->Control(0), 2)->AddNote(0, 1, 3);
        rig.sequencer.WritePatternBlob(0); // numbers the serials
    }
    SequencerRig rig{44100, 1024};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Rig first;
    const std::vector<uint8_t> before = first.rig.sequencer.WriteSequenceBlob();
    if (!fuzz::Accepts([&] { first.rig.sequencer.ReadSequenceBlob(data, size); })) {
        fuzz::Check(first.rig.sequencer.WriteSequenceBlob() == before,
                    "a refused sequence blob leaves the song");
        return 0;
    }
    first.rig.sequencer.Song().PlaySong();
    first.rig.Buffers(4);
    first.rig.sequencer.Song().StopSong();
    first.rig.Buffers(1);
    const std::vector<uint8_t> blob = first.rig.sequencer.WriteSequenceBlob();
    Rig second;
    fuzz::Check(fuzz::Accepts([&] { second.rig.sequencer.ReadSequenceBlob(blob.data(), blob.size()); }),
                "a written sequence blob loads again");
    fuzz::Check(second.rig.sequencer.WriteSequenceBlob() == blob, "a sequence blob survives a round trip");
    return 0;
}
