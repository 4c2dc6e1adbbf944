#include "persistence/options_file.h"

#include "persistence/safe_save.h"
#include "platform/error.h"
#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

namespace {

constexpr char kMagic[4] = {'p', 'O', 'b', 'T'};
constexpr int32_t kVersion = 0;

// Little-endian reading from the whole file held in memory; every read checks what remains.
class CReader {
public:
    explicit CReader(const std::vector<char>& bytes) : m_bytes(bytes) {}
    size_t Remaining() const { return m_bytes.size() - m_at; }
    bool Int(int32_t& value) {
        if (Remaining() < 4) return false;
        uint32_t bits = 0;
        for (int i = 0; i < 4; ++i)
            bits |= static_cast<uint32_t>(static_cast<uint8_t>(m_bytes[m_at + static_cast<size_t>(i)]))
                    << (8 * i);
        m_at += 4;
        value = static_cast<int32_t>(bits);
        return true;
    }
    const char* Take(size_t size) {
        if (Remaining() < size) return nullptr;
        const char* data = m_bytes.data() + m_at;
        m_at += size;
        return data;
    }

private:
    const std::vector<char>& m_bytes;
    size_t m_at = 0;
};

void PutInt(std::vector<uint8_t>& out, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

// A value inside lowest ... highest, else the setting's default.
int32_t Checked(int32_t value, int32_t lowest, int32_t highest, int32_t fallback) {
    return value >= lowest && value <= highest ? value : fallback;
}

OptionsReadResult Unreadable(const std::string& problem) {
    return {OptionsReadResult::State::Unreadable, problem};
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

OptionsReadResult ReadOptions(Options& options, const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return {};
    // Only a regular file is read: a folder, a pipe or a device (through a link, say) would
    // block or never end.
    if (status.type() != std::filesystem::file_type::regular) return Unreadable("it is not a regular file");
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return Unreadable(errno != 0 ? std::strerror(errno) : "it does not open");
    // The largest file worth reading: far more folders than anyone configures. Memory follows
    // the file's size, never more.
    constexpr uintmax_t kMaxFileSize = 1 << 20;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > kMaxFileSize) return Unreadable(error ? "its size is unknown" : "it is too big");
    std::vector<char> bytes(static_cast<size_t>(size) + 1); // one more shows a file that grew
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) return Unreadable("a read failed");
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (bytes.size() > size) return Unreadable("it changed while it was read");

    CReader reader(bytes);
    const char* magic = reader.Take(4);
    if (!magic || std::memcmp(magic, kMagic, 4) != 0) return Unreadable("it is not an options file");
    int32_t version = 0;
    if (!reader.Int(version)) return Unreadable("it is cut short");
    if (version != kVersion) return Unreadable(platform::FormatText("its version %d is not known", version));

    // Each setting is taken only when it lies in its range; values are never computed with
    // before this check (a huge latency overflowed the buffer arithmetic).
    using namespace driver_limits;
    const Options defaults;
    int32_t values[6] = {};
    size_t settingsRead = 0;
    while (settingsRead < 6 && reader.Int(values[settingsRead]))
        ++settingsRead;
    const auto read = [&](size_t index) { return settingsRead > index; };
    if (read(0)) options.driverIndex = Checked(values[0], 0, 1, defaults.driverIndex);
    if (read(1)) options.waveOutDevice = Checked(values[1], 0, kMaxDeviceIndex, defaults.waveOutDevice);
    if (read(2))
        options.waveOutLatency = Checked(values[2], kMinLatency, kMaxLatency, defaults.waveOutLatency);
    if (read(3)) options.waveOutFormat = IsFormatCode(values[3]) ? values[3] : defaults.waveOutFormat;
    if (read(4)) options.asioDevice = Checked(values[4], 0, kMaxDeviceIndex, defaults.asioDevice);
    if (read(5)) options.reserved = values[5]; // never used: any value is as good as another
    if (settingsRead < 6) return Unreadable("it is cut short");

    options.vstFolders.clear();
    int32_t count = 0;
    if (!reader.Int(count)) return Unreadable("it is cut short");
    if (count < 0) return Unreadable("its folder list is damaged");
    // The data decides how far we read, never the counts: a damaged entry ends the list.
    for (int32_t i = 0; i < count; ++i) {
        int32_t length = 0;
        if (!reader.Int(length)) return Unreadable("it is cut short");
        if (length <= 0) return Unreadable("its folder list is damaged");
        const char* text = reader.Take(static_cast<size_t>(length));
        if (!text) return Unreadable("it is cut short");
        options.vstFolders.emplace_back(text, strnlen(text, static_cast<size_t>(length)));
    }
    return {OptionsReadResult::State::Read, {}};
}

bool WriteOptions(const Options& options, const std::filesystem::path& path) {
    std::vector<uint8_t> bytes(kMagic, kMagic + 4);
    PutInt(bytes, kVersion);
    for (int32_t setting : {options.driverIndex, options.waveOutDevice, options.waveOutLatency,
                            options.waveOutFormat, options.asioDevice, options.reserved})
        PutInt(bytes, setting);
    PutInt(bytes, static_cast<int32_t>(options.vstFolders.size()));
    for (const std::string& folder : options.vstFolders) {
        PutInt(bytes, static_cast<int32_t>(folder.size() + 1));
        bytes.insert(bytes.end(), folder.begin(), folder.end());
        bytes.push_back(0);
    }
    std::error_code error;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), error);
    try {
        WriteFileSafely(path, bytes, OldFile::Drop);
        return true;
    } catch (const platform::CError&) {
        return false;
    }
}
