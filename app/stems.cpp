#include "app/stems.h"

#include "engine/studio.h"
#include "host_machines/hd_recorder/hd_track.h"
#include "host_machines/hd_track_machine.h"
#include "platform/error.h"

#include <algorithm>
#include <set>
#include <string>

namespace {

// A track name as a file name: no folder separators, never empty, never hidden.
std::string StemFileName(const std::string& name, std::set<std::string>& taken) {
    std::string base = name.empty() ? "Track" : name;
    std::replace(base.begin(), base.end(), '/', '_');
    if (base[0] == '.') base[0] = '_';
    std::string candidate = base;
    for (int number = 2; taken.count(candidate) != 0; ++number)
        candidate = base + " (" + std::to_string(number) + ")";
    taken.insert(candidate);
    return candidate + ".wav";
}

// The frame's machine when it is an HD recorder track (a host machine: known by its descriptor).
CHDTrackMachine* TrackOf(const CMachineContainer* frame) {
    const CMachineInfo* info = frame->Info();
    const bool isTrack = dynamic_cast<const CHDTrackMachineInfoMono*>(info) != nullptr ||
                         dynamic_cast<const CHDTrackMachineInfoStereo*>(info) != nullptr;
    return isTrack ? static_cast<CHDTrackMachine*>(frame->Machine()) : nullptr;
}

} // namespace

std::vector<std::filesystem::path> StartStems(CStudio& studio, const std::filesystem::path& folder,
                                              bool floatSamples) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::vector<std::filesystem::path> files;
    std::set<std::string> taken;
    for (CMachineContainer* frame : studio.Frames()) {
        CHDTrackMachine* track = TrackOf(frame);
        if (!track) continue;
        const std::filesystem::path file = folder / StemFileName(frame->m_name, taken);
        track->Row()->ChooseFile(file.string(), floatSamples ? kWavFormatFloat : kWavFormatPcm);
        files.push_back(file);
    }
    CHDTrackList::Studio().MasterRecord(true);
    for (CMachineContainer* frame : studio.Frames()) {
        CHDTrackMachine* track = TrackOf(frame);
        if (track && !track->Row()->IsRecording()) {
            CHDTrackList::Studio().MasterRecord(false);
            platform::Raise("Can't Open File <%s>", track->Row()->Path().c_str());
        }
    }
    return files;
}

void StopStems() {
    CHDTrackList::Studio().MasterRecord(false);
}
