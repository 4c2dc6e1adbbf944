// Stems for `tamborel render --stems DIR`: every HD recorder track of the studio records its
// stream to "DIR/<track name>.wav" while the song renders. Each stem is recorded under the
// temporary name "<file>.part" and renamed by the render only when every file of the render is
// complete. Main thread, between buffers.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

class CHDTrack;
class CMachine;
class CMachineInfo;

struct StemFile {
    std::filesystem::path file;    // "DIR/<track name>.wav"
    std::filesystem::path partial; // file + ".part", what the track records to
    CHDTrack* row = nullptr;       // the track's recorder row (owned by the recorder's list)
};

// A machine of the studio as the stems see it: its frame's name, its descriptor and the machine.
struct StemSource {
    std::string name;
    const CMachineInfo* info = nullptr;
    CMachine* machine = nullptr;
};

// One file per HD recorder track among the machines (in studio order), in their order. Track
// names become UTF-8 file names without folder separators, never empty, never hidden, numbered
// when two tracks share a name.
std::vector<StemFile> PlanStems(const std::vector<StemSource>& machines, const std::filesystem::path& folder);

// Points every track at its partial file and starts them all at once (the recorder's master
// button). Raises "Can't Open File <%s>" when a file cannot be made.
void StartStems(const std::vector<StemFile>& stems, bool floatSamples);
// Completes every file's header and closes it.
void StopStems();

// After StopStems: "" when the stem's partial file holds every frame its track recorded and is
// flushed to the disk; otherwise the reason it does not ("No space left on device", ...). The
// recorder records whole buffers, so a stem may run past the mix by the rest of the last buffer:
// it is cut to mixFrames, so every stem is as long as the mix whatever the buffer size.
std::string CheckStem(const StemFile& stem, int64_t mixFrames);
