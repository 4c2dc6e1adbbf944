// Pattern blobs from project files: a damaged blob raises its "Pattern Data ..." text, and
// whatever loads writes back a blob that loads again and plays.
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/event_machine.h"

namespace {

// A synth with three parameters and a drum machine with twelve named notes, as project indices
// 0 and 1, the way a project lays them out.
struct Rig {
    Rig() {
        rig.Add("Synth", 2, 3);
        rig.Add("Drums", 1, 5, 12);
    }
    SequencerRig rig{44100, 512};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Rig first;
    if (!fuzz::Accepts([&] { first.rig.sequencer.ReadPatternBlob(data, size); })) return 0;
    // Playing every loaded pattern touches each note and step that was accepted.
    // Playing a loaded pattern of each machine touches the notes and steps that were accepted.
    CPatternEditor& editor = first.rig.sequencer.Patterns();
    for (CEventMachine* machine : first.rig.machines) {
        editor.SelectMachine(machine);
        editor.SelectPattern(0);
        editor.SetLoopPattern(true);
        editor.SetPlayPattern(true);
        first.rig.Buffers(3);
        editor.StopPattern();
        first.rig.Buffers(1);
    }
    Rig second;
    for (int32_t machine = 0; machine < 2; ++machine) {
        const std::vector<uint8_t> blob = first.rig.sequencer.WritePatternBlob(machine);
        fuzz::Check(fuzz::Accepts([&] { second.rig.sequencer.ReadPatternBlob(blob.data(), blob.size()); }),
                    "a written pattern blob loads again");
    }
    return 0;
}
