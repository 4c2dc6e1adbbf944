// CResettableCount: a count of events that happen on one or more real-time threads (a driver's
// playback thread, a sound server's notification thread, the render callback) and is read and
// reset by the user. Lock-free and allocation-free on every side.
//
// Threads: Add from any thread (usually a real-time one); Count and Reset on the user-interface
// thread. The reset never writes the event total: it moves a baseline that only the reading
// thread writes, so an event that happens during the reset is either counted before it (and
// cleared) or after it (and shown), never lost half-way.
#pragma once

#include <atomic>
#include <cstdint>

class CResettableCount {
public:
    CResettableCount() = default;
    CResettableCount(const CResettableCount&) = delete;
    CResettableCount& operator=(const CResettableCount&) = delete;

    // One more event (or several). Any thread; never blocks.
    void Add(uint64_t events = 1) { m_total.fetch_add(events, std::memory_order_relaxed); }
    // Events since the last Reset (since construction before the first).
    uint64_t Count() const {
        return m_total.load(std::memory_order_relaxed) - m_baseline.load(std::memory_order_relaxed);
    }
    // Events since construction, unaffected by Reset.
    uint64_t Total() const { return m_total.load(std::memory_order_relaxed); }
    // Count reads 0 until the next event. The reading thread only.
    void Reset() { m_baseline.store(m_total.load(std::memory_order_relaxed), std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> m_total{0};
    std::atomic<uint64_t> m_baseline{0};
};
