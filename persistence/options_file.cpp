#include "persistence/options_file.h"

#include "platform/files.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

namespace {

constexpr char kMagic[4] = {'p', 'O', 'b', 'T'};
constexpr int32_t kVersion = 0;

bool ReadInt(std::istream& in, int32_t& value) {
    unsigned char bytes[4];
    if (!in.read(reinterpret_cast<char*>(bytes), 4)) return false;
    value =
        static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                             static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
    return true;
}

void WriteInt(std::ostream& out, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    const char bytes[4] = {static_cast<char>(bits & 0xff), static_cast<char>((bits >> 8) & 0xff),
                           static_cast<char>((bits >> 16) & 0xff), static_cast<char>((bits >> 24) & 0xff)};
    out.write(bytes, 4);
}

} // namespace

std::vector<std::string> DefaultVstFolders() {
    const char* home = std::getenv("HOME");
    const std::filesystem::path homeFolder = home && *home ? home : "";
    std::vector<std::string> folders{(platform::ProgramFolder() / "vst").string()};
    if (!homeFolder.empty()) {
        folders.push_back((homeFolder / ".vst").string());
        folders.push_back((homeFolder / ".lxvst").string());
    }
    for (const char* folder :
         {"/usr/local/lib/vst", "/usr/local/lib/lxvst", "/usr/lib/vst", "/usr/lib/lxvst"})
        folders.emplace_back(folder);
    return folders;
}

Options DefaultOptions() {
    Options options;
    options.vstFolders = DefaultVstFolders();
    return options;
}

std::filesystem::path OptionsFilePath() {
    return platform::AppDataFolder() / "Tamborel Studio" / "Tamborel.opt";
}

void ReadOptions(Options& options, const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    char magic[4];
    int32_t version = 0;
    if (!in.read(magic, 4) || std::memcmp(magic, kMagic, 4) != 0 || !ReadInt(in, version) ||
        version != kVersion)
        return;
    for (int32_t* setting : {&options.driverIndex, &options.waveOutDevice, &options.waveOutLatency,
                             &options.waveOutFormat, &options.asioDevice, &options.reserved})
        if (!ReadInt(in, *setting)) return;
    options.vstFolders.clear();
    int32_t count = 0;
    if (!ReadInt(in, count)) return;
    // The data decides how far we read, never the counts: a damaged entry ends the list.
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    in.seekg(36);
    for (int32_t i = 0; i < count; ++i) {
        int32_t length = 0;
        if (!ReadInt(in, length) || length <= 0 || length > end - in.tellg()) return;
        std::string text(static_cast<size_t>(length), '\0');
        if (!in.read(text.data(), length)) return;
        text.resize(std::strlen(text.c_str()));
        options.vstFolders.push_back(std::move(text));
    }
}

bool WriteOptions(const Options& options, const std::filesystem::path& path) {
    std::error_code error;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(kMagic, 4);
    WriteInt(out, kVersion);
    for (int32_t setting : {options.driverIndex, options.waveOutDevice, options.waveOutLatency,
                            options.waveOutFormat, options.asioDevice, options.reserved})
        WriteInt(out, setting);
    WriteInt(out, static_cast<int32_t>(options.vstFolders.size()));
    for (const std::string& folder : options.vstFolders) {
        WriteInt(out, static_cast<int32_t>(folder.size() + 1));
        out.write(folder.c_str(), static_cast<std::streamsize>(folder.size() + 1));
    }
    return static_cast<bool>(out.flush());
}
