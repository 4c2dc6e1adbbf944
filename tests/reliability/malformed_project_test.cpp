// Damaged project files, made deterministically from a valid one: cut at every byte, and every
// size field (machine count, state sizes, cable and pattern block sizes, song size, text length)
// set to 0, an odd value, 0x7FFFFFFF, a value past the end and -1. Each case loads or ends in the
// reader's own text, and no single allocation exceeds 64 MiB.
#include "persistence/project_file.h"
#include "platform/error.h"
#include "tests/reliability/malformed_support.h"
#include "tests/reliability/song_studio.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using malformed::Bytes;

int32_t Int32At(const Bytes& bytes, size_t offset) {
    int32_t value;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

// The offsets of every size field of a valid file, found by walking its items.
std::vector<size_t> SizeFields(const Bytes& file) {
    std::vector<size_t> fields{10};
    const int32_t machines = Int32At(file, 10);
    size_t at = 14;
    for (int32_t i = 0; i < machines; ++i) {
        fields.push_back(at + 2060);
        at += kMachineRecordSize + static_cast<size_t>(Int32At(file, at + 2060));
    }
    for (int32_t i = 0; i < machines; ++i)
        for (int block = 0; block < 2; ++block) { // cables, then patterns
            fields.push_back(at);
            at += 4 + static_cast<size_t>(Int32At(file, at));
        }
    fields.push_back(at); // song
    at += 4 + static_cast<size_t>(Int32At(file, at));
    fields.push_back(at); // text
    return fields;
}

TEST(MalformedInput, ProjectFilesLoadOrRaiseTheirText) {
    song_studio::Studio writer(256);
    CMachineContainer* kick = writer.studio->AddMachine(writer.registry.FindByName("QX Stomp"), 10, 20);
    ASSERT_NE(kick, nullptr);
    ASSERT_TRUE(writer.studio->Connect(song_studio::Connectors(kick, false, true).at(0),
                                       song_studio::Connectors(writer.master, true, true).at(0), 0.5f));
    Pattern* beat = writer.sequencer->Patterns().CreatePattern(
        song_studio::Connectors(kick, true, false).at(0)->m_port, 1);
    beat->AddNote(0, 1, 36);
    beat->AddNote(2, 1, 36);
    writer.sequencer->Song().PlacePattern(beat, 0);
    const Bytes valid = WriteProjectBytes(*writer.studio, *writer.sequencer, "Four on the floor");
    const std::vector<size_t> fields = SizeFields(valid);
    ASSERT_EQ(fields.size(), 1u + 2 + 4 + 2);
    ASSERT_EQ(fields.back() + 4 + 18, valid.size());

    song_studio::Studio reader(256);
    const std::string corrupt = "File 'damaged.tbp' Is Corrupt";
    int loaded = 0;
    for (const auto& [name, bytes] : malformed::Variants(valid, fields)) {
        reader.studio->Clear();
        const malformed::Outcome outcome = malformed::Attempt([&] {
            ReadProjectBytes(*reader.studio, *reader.sequencer, bytes.data(), bytes.size(), "damaged.tbp");
        });
        if (outcome.loaded) {
            ++loaded;
            reader.Render(); // whatever loaded plays
        } else {
            // A shifted record boundary can also name a machine type that does not exist.
            EXPECT_TRUE(malformed::StartsWith(outcome.error, corrupt.c_str()) ||
                        malformed::StartsWith(outcome.error, "Machine of Name '"))
                << name << ": " << outcome.error;
        }
        EXPECT_LE(outcome.largest, malformed::kAllocationCap) << name;
        if (name.rfind("cut at ", 0) == 0) {
            EXPECT_FALSE(outcome.loaded) << name;
        }
    }
    EXPECT_GT(loaded, 0); // a zero-length song or text, for instance, still loads
    reader.studio->Clear();
}

} // namespace
