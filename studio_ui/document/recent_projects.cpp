#include "studio_ui/document/recent_projects.h"

#include "persistence/options_file.h"
#include "persistence/safe_save.h"
#include "platform/error.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// One spelling per file, so a project reached as "./a.tbp" and "/home/me/a.tbp" is one entry.
fs::path Normal(const fs::path& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return (error ? path : absolute).lexically_normal();
}

bool IsFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

} // namespace

fs::path RecentProjectsFilePath() {
    return OptionsFilePath().parent_path() / "RecentProjects.txt";
}

CRecentProjects::CRecentProjects(fs::path file) : m_file(std::move(file)) {
    Read();
}

void CRecentProjects::Read() {
    m_entries.clear();
    std::ifstream in(m_file, std::ios::binary);
    std::string line;
    while (m_entries.size() < kMaxEntries && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const fs::path entry = Normal(line);
        if (!IsFile(entry)) continue;
        if (std::find(m_entries.begin(), m_entries.end(), entry) != m_entries.end()) continue;
        m_entries.push_back(entry);
    }
}

bool CRecentProjects::Add(const fs::path& project) {
    const fs::path entry = Normal(project);
    const std::string text = entry.string();
    if (text.empty() || text.find_first_of("\r\n") != std::string::npos) return false;
    m_entries.erase(std::remove(m_entries.begin(), m_entries.end(), entry), m_entries.end());
    m_entries.insert(m_entries.begin(), entry);
    if (m_entries.size() > kMaxEntries) m_entries.resize(kMaxEntries);
    return Write();
}

bool CRecentProjects::Write() const {
    std::vector<uint8_t> bytes;
    for (const fs::path& entry : m_entries) {
        const std::string line = entry.string();
        bytes.insert(bytes.end(), line.begin(), line.end());
        bytes.push_back('\n');
    }
    std::error_code error;
    fs::create_directories(m_file.parent_path(), error);
    try {
        WriteFileSafely(m_file, bytes, OldFile::Drop);
    } catch (const platform::CError&) {
        return false;
    }
    return true;
}
