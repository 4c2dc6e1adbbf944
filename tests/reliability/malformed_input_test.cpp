// Damaged files, made deterministically from valid ones: every truncation, and every size field
// set to 0, an odd value, 0x7FFFFFFF and a value past the end. Each case loads cleanly or ends in
// the reader's own error text, and no single allocation exceeds 64 MiB or what the input could
// justify.
#include "host_machines/wav/wav_file.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"
#include "machines/stock_machines.h"
#include "persistence/options_file.h"
#include "platform/error.h"
#include "tests/reliability/malformed_support.h"
#include "tests/support/event_machine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

using malformed::Attempt;
using malformed::Bytes;
using malformed::kAllocationCap;
using malformed::Outcome;
using malformed::StartsWith;
using malformed::Variants;

std::filesystem::path Scratch(const char* name) {
    return std::filesystem::path(TAMBOREL_TEST_BINARY_DIR) / name;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A synth (project index 0) with two patterns, notes and control tracks, and a song using them.
struct Song {
    Song() {
        synth = rig.Add("Synth", 2, 3);
        CPatternEditor& editor = rig.sequencer.Patterns();
        Pattern* verse = editor.CreatePattern(synth->Control(0), 1, "Verse");
        verse->AddNote(0, 2, 60);
        verse->AddNote(2, 2, 64);
        const int32_t cutoff = verse->AddControlTrack(0);
        verse->SetControlStep(cutoff, 1, 0.5f);
        Pattern* chorus = editor.CreatePattern(synth->Control(1), 1, "Chorus");
        chorus->AddNote(1, 1, 67);
        rig.sequencer.Song().Song().AddEntry(0, verse, 0);
        rig.sequencer.Song().Song().AddEntry(1, chorus, 2);
    }
    SequencerRig rig{44100, 256};
    CEventMachine* synth;
};

TEST(MalformedInput, PatternBlobsLoadOrRaiseTheirText) {
    Song song;
    const Bytes valid = song.rig.sequencer.WritePatternBlob(0);
    // count; per pattern: serial, length, name, notes, tracks, project, port; track: parameter, steps.
    const size_t second = 4 + 1048 + 2 * 12 + 8 + 4 * 6;
    ASSERT_EQ(valid.size(), second + 1048 + 12);
    const std::vector<size_t> fields{0, 1036, 1040, 4 + 1048 + 2 * 12 + 4, second + 1032, second + 1036};
    int loaded = 0, refused = 0;
    for (const auto& [name, bytes] : Variants(valid, fields)) {
        Song fresh;
        const Outcome outcome =
            Attempt([&] { fresh.rig.sequencer.ReadPatternBlob(bytes.data(), bytes.size()); });
        if (!outcome.loaded) {
            EXPECT_TRUE(StartsWith(outcome.error, "Pattern Data Truncated At Byte ") ||
                        StartsWith(outcome.error, "Pattern Data Corrupt: Invalid "))
                << name << ": " << outcome.error;
            EXPECT_EQ(fresh.rig.sequencer.Patterns().Patterns().Count(), 2)
                << name << ": a refused blob adds nothing";
        }
        EXPECT_LE(outcome.largest, kAllocationCap) << name;
        fresh.rig.Buffers(2);
        (outcome.loaded ? loaded : refused)++;
    }
    EXPECT_GT(refused, static_cast<int>(valid.size()) - 1); // every cut is refused
    EXPECT_GT(loaded, 0);
}

TEST(MalformedInput, SequenceBlobsLoadOrRaiseTheirText) {
    Song song;
    song.rig.sequencer.WritePatternBlob(0);
    const Bytes valid = song.rig.sequencer.WriteSequenceBlob();
    // length, row count, then per row: port index, entry count, (start, serial) pairs.
    ASSERT_EQ(valid.size(), 8u + 2 * (8 + 8));
    const std::vector<size_t> fields{0, 4, 12, 28};
    for (const auto& [name, bytes] : Variants(valid, fields)) {
        Song fresh;
        fresh.rig.sequencer.WritePatternBlob(0);
        const Bytes before = fresh.rig.sequencer.WriteSequenceBlob();
        const Outcome outcome =
            Attempt([&] { fresh.rig.sequencer.ReadSequenceBlob(bytes.data(), bytes.size()); });
        if (!outcome.loaded) {
            EXPECT_TRUE(StartsWith(outcome.error, "Sequence Data Truncated At Byte ") ||
                        StartsWith(outcome.error, "Sequence Data Corrupt: Invalid "))
                << name << ": " << outcome.error;
            EXPECT_EQ(fresh.rig.sequencer.WriteSequenceBlob(), before)
                << name << ": a refused blob leaves the song";
        }
        EXPECT_LE(outcome.largest, kAllocationCap) << name;
        fresh.rig.sequencer.Song().PlaySong();
        fresh.rig.Buffers(2);
    }
}

TEST(MalformedInput, OptionsFilesKeepWhatWasReadSoFar) {
    Options written = DefaultOptions();
    written.driverIndex = 1;
    written.vstFolders = {"/opt/vst", "/home/user/.vst"};
    const auto path = Scratch("malformed.opt");
    ASSERT_TRUE(WriteOptions(written, path));
    std::ifstream in(path, std::ios::binary);
    const Bytes valid{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // folder count, first and second folder lengths.
    const std::vector<size_t> fields{32, 36, 36 + 4 + 9};
    for (const auto& [name, bytes] : Variants(valid, fields)) {
        WriteFile(path, bytes);
        Options options = DefaultOptions();
        const Outcome outcome = Attempt([&] { ReadOptions(options, path); });
        ASSERT_TRUE(outcome.loaded) << name;
        EXPECT_LE(outcome.largest, valid.size() + 65536) << name; // the stream keeps a buffer of its own
        // The folders read are the written ones up to where the damage starts; a cut folder
        // text loses its end at most.
        if (options.vstFolders != DefaultVstFolders()) {
            ASSERT_LE(options.vstFolders.size(), 2u) << name;
            for (size_t i = 0; i < options.vstFolders.size(); ++i)
                EXPECT_EQ(written.vstFolders[i].rfind(options.vstFolders[i], 0), 0u) << name;
        }
    }
}

TEST(MalformedInput, WavFilesLoadOrRaiseTheirText) {
    std::vector<float> samples(300);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<float>(i % 50) / 50.0f - 0.5f;
    const CSampleBuffer source(static_cast<int32_t>(samples.size()), samples.data(), 44100);
    const auto path = Scratch("malformed.wav");
    source.Save(path.string());
    std::ifstream in(path, std::ios::binary);
    const Bytes valid{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(valid.size(), 44u + 600u);
    const char* texts[] = {"Unexpected End Of File Reading <",
                           "Invalid File Format Reading <",
                           "Format Chunk In File <",
                           "Can't Read Non-PCM Format WAV File <",
                           "Only 16 Bit WAV Files Supported, <",
                           "Only Mono WAV Files Supported, <"};
    // RIFF size, format chunk size, data chunk size.
    for (const auto& [name, bytes] : Variants(valid, {4, 16, 40})) {
        WriteFile(path, bytes);
        CSampleBuffer loaded(8, 44100);
        const Outcome outcome = Attempt([&] { loaded.Load(path.string()); });
        if (outcome.loaded) {
            EXPECT_LE(static_cast<size_t>(loaded.m_frameCount), samples.size()) << name;
        } else {
            bool known = false;
            for (const char* text : texts)
                known = known || StartsWith(outcome.error, text);
            EXPECT_TRUE(known) << name << ": " << outcome.error;
            EXPECT_EQ(loaded.m_frameCount, 0) << name;
        }
        EXPECT_LE(outcome.largest, 2 * valid.size() + 4096) << name;
    }
}

TEST(MalformedInput, StateBlocksApplyOnlyWhatTheyHoldAndTheMachineHas) {
    MachineRegistry registry;
    CVeskHost host(44100, 256, 0x16, &registry);
    RegisterStockMachines(&host);
    ASSERT_GT(registry.Count(), 0);
    for (int32_t m = 0; m < registry.Count(); ++m) {
        CMachine* machine = registry.At(m).info->CreateMachine();
        const void* data = nullptr;
        int32_t size = 0;
        bool list = false;
        machine->GetState(&data, &size, &list);
        const Bytes valid(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        for (const auto& [name, bytes] : Variants(valid, {4})) {
            CMachine* fresh = registry.At(m).info->CreateMachine();
            const Outcome outcome =
                Attempt([&] { fresh->SetState(bytes.data(), static_cast<int32_t>(bytes.size()), true); });
            EXPECT_TRUE(outcome.loaded) << name;
            fresh->Process();
            fresh->Delete();
        }
        machine->Delete();
    }
}

} // namespace
