#include "host_machines/hd_recorder/stems.h"

#include "host_machines/hd_recorder/hd_track.h"
#include "host_machines/hd_track_machine.h"
#include "platform/error.h"
#include "platform/text_encoding.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A track name as a file name: UTF-8, no folder separators, never empty, never hidden.
std::string StemFileName(const std::string& name, std::set<std::string>& taken) {
    std::string base = name.empty() ? "Track" : platform::EightBitToUtf8(name);
    std::replace(base.begin(), base.end(), '/', '_');
    if (base[0] == '.') base[0] = '_';
    std::string candidate = base;
    for (int number = 2; taken.count(candidate) != 0; ++number)
        candidate = base + " (" + std::to_string(number) + ")";
    taken.insert(candidate);
    return candidate + ".wav";
}

// The machine when it is an HD recorder track (a host machine: known by its descriptor).
CHDTrackMachine* TrackOf(const StemSource& source) {
    const CMachineInfo* info = source.info;
    const bool isTrack = dynamic_cast<const CHDTrackMachineInfoMono*>(info) != nullptr ||
                         dynamic_cast<const CHDTrackMachineInfoStereo*>(info) != nullptr;
    return isTrack ? static_cast<CHDTrackMachine*>(source.machine) : nullptr;
}

uint32_t Get32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

} // namespace

std::vector<StemFile> PlanStems(const std::vector<StemSource>& machines, const std::filesystem::path& folder) {
    std::vector<StemFile> stems;
    std::set<std::string> taken;
    for (const StemSource& source : machines) {
        CHDTrackMachine* track = TrackOf(source);
        if (!track) continue;
        StemFile stem;
        stem.file = folder / StemFileName(source.name, taken);
        stem.partial = stem.file.string() + ".part";
        stem.row = track->Row();
        stems.push_back(stem);
    }
    return stems;
}

void StartStems(const std::vector<StemFile>& stems, bool floatSamples) {
    for (const StemFile& stem : stems)
        stem.row->ChooseFile(stem.partial.string(), floatSamples ? kWavFormatFloat : kWavFormatPcm);
    CHDTrackList::Studio().MasterRecord(true);
    for (const StemFile& stem : stems) {
        if (!stem.row->IsRecording()) {
            CHDTrackList::Studio().MasterRecord(false);
            platform::Raise("Can't Open File <%s>", stem.partial.c_str());
        }
    }
}

void StopStems() {
    CHDTrackList::Studio().MasterRecord(false);
}

std::string CheckStem(const StemFile& stem, int64_t mixFrames) {
    // The recorder counts the frames it was given; its writer puts into the header only what
    // reached the file. Any write that failed on the way shows as a difference.
    const int fd = ::open(stem.partial.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    uint8_t header[kWavHeaderSize] = {};
    struct stat status {};
    if (::pread(fd, header, sizeof header, 0) != kWavHeaderSize || ::fstat(fd, &status) != 0) {
        ::close(fd);
        return "the file is shorter than its header";
    }
    const uint32_t align = static_cast<uint32_t>(header[32] | (header[33] << 8));
    const uint64_t expected = static_cast<uint64_t>(stem.row->FramesWritten()) * align;
    const uint32_t claimed = Get32(header + 40);
    if (claimed != expected || static_cast<uint64_t>(status.st_size) != kWavHeaderSize + expected) {
        ::close(fd);
        return platform::FormatText("only %u of %llu bytes of samples could be written", claimed,
                                    static_cast<unsigned long long>(expected));
    }
    bool done = true;
    const uint64_t wanted = static_cast<uint64_t>(std::max<int64_t>(0, mixFrames)) * align;
    if (wanted < expected) {
        // The same header as the recorder's writer makes, claiming the mix's frames only.
        WavHeaderFields fields;
        fields.formatTag = static_cast<uint16_t>(header[20] | (header[21] << 8));
        fields.channels = static_cast<uint16_t>(header[22] | (header[23] << 8));
        fields.sampleRate = Get32(header + 24);
        fields.bits = static_cast<uint16_t>(header[34] | (header[35] << 8));
        fields.dataSize = static_cast<uint32_t>(wanted);
        BuildWavHeader(fields, header);
        done = ::ftruncate(fd, static_cast<off_t>(kWavHeaderSize + wanted)) == 0 &&
               ::pwrite(fd, header, sizeof header, 0) == kWavHeaderSize;
    }
    done = done && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!done) return std::strerror(error);
    return {};
}
