// CRecentProjects: the Open menu's recent-projects list, at most eight project files, the most
// recently opened or saved first, each once. Kept in "RecentProjects.txt" beside the options
// file, one absolute path a line (UTF-8, as the file system spells it). User-interface thread.
#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

// <application-data>/Tamborel Studio/RecentProjects.txt (nothing is created).
std::filesystem::path RecentProjectsFilePath();

class CRecentProjects {
public:
    static constexpr size_t kMaxEntries = 8;

    // Reads the list at once (see Read).
    explicit CRecentProjects(std::filesystem::path file = RecentProjectsFilePath());

    // Reads the file again: entries whose files are gone, repeats and those past the eighth are
    // dropped. A missing or unreadable file gives an empty list.
    void Read();
    // The entries, most recent first.
    const std::vector<std::filesystem::path>& Entries() const { return m_entries; }
    // Puts the project first (as an absolute path, once) and writes the file through the safe
    // save, making its folder when needed. A path holding a line break cannot be stored and is
    // left out. False when the file could not be written (the list in memory holds the entry).
    bool Add(const std::filesystem::path& project);

private:
    bool Write() const;

    std::filesystem::path m_file;
    std::vector<std::filesystem::path> m_entries;
};
