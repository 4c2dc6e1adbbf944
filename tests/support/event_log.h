// A list of texts that machines and listeners on any thread add to, for tests that check what
// happened and in which order. Entries copies the list; Take empties it, so a test can check
// each step's news on its own.
#pragma once

#include <mutex>
#include <string>
#include <vector>

class CEventLog {
public:
    void Add(const std::string& entry) {
        std::lock_guard lock(m_mutex);
        m_entries.push_back(entry);
    }
    std::vector<std::string> Entries() {
        std::lock_guard lock(m_mutex);
        return m_entries;
    }
    std::vector<std::string> Take() {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> entries;
        entries.swap(m_entries);
        return entries;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_entries;
};
