// CChangeCounter: how many edits the project has had since it was last saved, opened or made
// new; the basis of the "save changes?" question, the title's mark and autosave.
//
// Raised by every edit entry point (machines, cables, parameters moved by the user, patterns,
// the song, the tempo, the project text) and cleared only by a save that reached the disk or by
// a fresh project. Any thread may raise or read it; it never blocks and never allocates.
#pragma once

#include <atomic>
#include <cstdint>

class CChangeCounter {
public:
    void Raise() { m_count.fetch_add(1, std::memory_order_relaxed); }
    // Edits since the last Clear.
    uint64_t Count() const { return m_count.load(std::memory_order_relaxed); }
    bool HasChanges() const { return Count() != 0; }
    // A good save, an opened or a new project. User-interface thread.
    void Clear() { m_count.store(0, std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> m_count{0};
};
