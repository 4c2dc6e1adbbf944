#include "host_machines/vst/vst_cache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kCacheHeader = "Tamborel Studio VST cache 1";
constexpr size_t kFactFields = 15;
constexpr size_t kLongestText = 128;

// Texts go into tab-separated lines: control characters become spaces, and the length is capped.
std::string Clean(const std::string& text) {
    std::string clean = text.substr(0, kLongestText);
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return clean;
}

std::vector<std::string> SplitTabs(const std::string& line, size_t fields) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (parts.size() + 1 < fields) {
        const size_t tab = line.find('\t', start);
        if (tab == std::string::npos) break;
        parts.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    parts.push_back(line.substr(start)); // the last field keeps any tabs it holds
    return parts;
}

bool ToInt(const std::string& text, int64_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return end && *end == '\0';
}

} // namespace

const char* VSTCategoryName(int32_t category) {
    switch (category) {
    case 1:
        return "effect";
    case 2:
        return "instrument";
    case 3:
        return "analysis";
    case 4:
        return "mastering";
    case 5:
        return "spatializer";
    case 6:
        return "room effect";
    case 7:
        return "surround effect";
    case 8:
        return "restoration";
    case 9:
        return "offline process";
    case 10:
        return "shell";
    case 11:
        return "generator";
    default:
        return "unknown";
    }
}

VSTFileStamp StampOfFile(const fs::path& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return {};
    return {static_cast<uintmax_t>(status.st_size),
            static_cast<int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

std::string FactsToLine(const VSTLibraryFacts& facts) {
    std::ostringstream line;
    line << static_cast<int32_t>(facts.kind) << '\t' << facts.uniqueId << '\t' << facts.category << '\t'
         << facts.inputs << '\t' << facts.outputs << '\t' << facts.parameters << '\t' << facts.programs
         << '\t' << facts.flags << '\t' << facts.vendorVersion << '\t' << (facts.takesMidi ? 1 : 0) << '\t'
         << (facts.pluginMain ? 1 : 0) << '\t' << Clean(facts.effectName) << '\t' << Clean(facts.vendor)
         << '\t' << Clean(facts.product) << '\t' << Clean(facts.reason);
    return line.str();
}

bool FactsFromLine(const std::string& line, VSTLibraryFacts& facts) {
    const std::vector<std::string> parts = SplitTabs(line, kFactFields);
    if (parts.size() != kFactFields) return false;
    int64_t numbers[11];
    for (size_t i = 0; i < 11; ++i)
        if (!ToInt(parts[i], numbers[i]) || numbers[i] < INT32_MIN || numbers[i] > INT32_MAX) return false;
    if (numbers[0] < 0 || numbers[0] > static_cast<int64_t>(VSTLibraryFacts::Kind::Hung)) return false;
    VSTLibraryFacts read;
    read.kind = static_cast<VSTLibraryFacts::Kind>(numbers[0]);
    read.uniqueId = static_cast<int32_t>(numbers[1]);
    read.category = static_cast<int32_t>(numbers[2]);
    read.inputs = static_cast<int32_t>(numbers[3]);
    read.outputs = static_cast<int32_t>(numbers[4]);
    read.parameters = static_cast<int32_t>(numbers[5]);
    read.programs = static_cast<int32_t>(numbers[6]);
    read.flags = static_cast<int32_t>(numbers[7]);
    read.vendorVersion = static_cast<int32_t>(numbers[8]);
    read.takesMidi = numbers[9] != 0;
    read.pluginMain = numbers[10] != 0;
    read.effectName = parts[11];
    read.vendor = parts[12];
    read.product = parts[13];
    read.reason = parts[14];
    facts = read;
    return true;
}

// One line per library: size, modification time, the facts, then the real path (last, so it
// may hold tabs).
void CVSTCache::Load(const fs::path& file) {
    m_entries.clear();
    std::ifstream in(file);
    std::string line;
    if (!std::getline(in, line) || line != kCacheHeader) return;
    while (std::getline(in, line)) {
        const std::vector<std::string> parts = SplitTabs(line, kFactFields + 3);
        if (parts.size() != kFactFields + 3 || parts.back().empty()) continue;
        int64_t size = 0;
        int64_t modified = 0;
        if (!ToInt(parts[0], size) || !ToInt(parts[1], modified) || size < 0) continue;
        std::string factsLine = parts[2];
        for (size_t i = 3; i < kFactFields + 2; ++i)
            factsLine += '\t' + parts[i];
        VSTLibraryFacts facts;
        if (!FactsFromLine(factsLine, facts)) continue;
        m_entries[parts.back()] = {{static_cast<uintmax_t>(size), modified}, facts};
    }
}

bool CVSTCache::Save(const fs::path& file) const {
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    const fs::path temporary = file.string() + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << kCacheHeader << '\n';
        for (const auto& [path, entry] : m_entries)
            out << entry.stamp.size << '\t' << entry.stamp.modified << '\t' << FactsToLine(entry.facts)
                << '\t' << path << '\n';
        out.flush();
        if (!out) {
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::rename(temporary, file, error);
    if (error) fs::remove(temporary, error);
    return !error;
}

const VSTLibraryFacts* CVSTCache::Find(const std::string& realPath, const VSTFileStamp& stamp) const {
    const auto found = m_entries.find(realPath);
    if (found == m_entries.end() || !(found->second.stamp == stamp)) return nullptr;
    return &found->second.facts;
}

void CVSTCache::Put(const std::string& realPath, const VSTFileStamp& stamp, const VSTLibraryFacts& facts) {
    // A path the one-line format cannot hold is simply not remembered.
    if (realPath.empty() || realPath.find('\n') != std::string::npos) return;
    m_entries[realPath] = {stamp, facts};
}

bool CVSTCache::ForgetMissing() {
    bool dropped = false;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        std::error_code error;
        if (!fs::exists(it->first, error) && !error) {
            it = m_entries.erase(it);
            dropped = true;
        } else {
            ++it;
        }
    }
    return dropped;
}
