// Project files: any file either loads or raises one of the reader's texts; whatever loads saves
// to bytes that load again into an equal project.
#include "persistence/project_file.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/reliability/song_studio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static song_studio::Studio first(256);
    static song_studio::Studio second(256);
    first.studio->Clear();
    std::string info;
    if (!fuzz::Accepts(
            [&] { info = ReadProjectBytes(*first.studio, *first.sequencer, data, size, "fuzz.tbp"); }))
        return 0;
    first.Render();
    const std::vector<uint8_t> bytes = WriteProjectBytes(*first.studio, *first.sequencer, info);
    second.studio->Clear();
    std::string again;
    fuzz::Check(fuzz::Accepts([&] {
                    again = ReadProjectBytes(*second.studio, *second.sequencer, bytes.data(), bytes.size(),
                                             "again.tbp");
                }),
                "a written project loads again");
    fuzz::Check(again == info, "the project text survives a round trip");
    fuzz::Check(WriteProjectBytes(*second.studio, *second.sequencer, again) == bytes,
                "a project survives a round trip");
    return 0;
}
